// Opening and closing plain archives, the name rules of Qz4ZipOpen, the
// list of open archives and the unload routine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "support/archive_builder.h"
#include "support/temp_dir.h"
#include "qzunpack.h"

using namespace qztest;

namespace {

std::vector<Entry> twoEntries()
{
    return {Entry("a.txt", "hello, world\n"), Entry("dir\\b.txt", std::string(3000, 'b'), 8)};
}

TEST(Open, PlainArchiveOpensListsAndCloses)
{
    TempDir dir;
    std::string path = dir.file("plain.zip");
    ASSERT_TRUE(writeFile(path, buildZip(twoEntries())));

    QzHandle h = 0;
    ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &h), 0);
    EXPECT_NE(h, QZ_INVALID_HANDLE);

    QzEntryRecord rec;
    char name[261];
    ASSERT_EQ(Qz4ZipFindFirst(h, &rec, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(name, "a.txt");
    EXPECT_EQ(rec.uncompressedSize, 13u);
    ASSERT_EQ(Qz4ZipFindNext(h, &rec, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(name, "dir/b.txt");
    EXPECT_EQ(rec.method, 8);
    EXPECT_EQ(Qz4ZipFindNext(h, &rec, name, nullptr, 0, nullptr, 0), QZ_NO_MORE_ENTRIES);
    Qz4ZipClose(&h);
    EXPECT_EQ(Qz4ZipFindFirst(h, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_HANDLE);
}

}  // namespace
