// Opening and closing: the name rules of Qz4ZipOpen, the strict and relaxed
// modes, the list of open archives, the shared transfer buffers and the
// unload routine.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "support/archive_helpers.h"

using namespace qztest;
namespace qa = qz::archive;

namespace {

std::vector<Entry> twoEntries()
{
    return {Entry("a.txt", "hello, world\n"), Entry("dir\\b.txt", std::string(3000, 'b'), 8)};
}

TEST(Open, PlainArchiveOpensListsAndCloses)
{
    TempDir dir;
    std::string path = put(dir, "plain.zip", buildZip(twoEntries()));
    QzHandle h = 0;
    ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &h), 0);
    EXPECT_NE(h, QZ_INVALID_HANDLE);
    Listing l = listAll(h);
    EXPECT_EQ(l.end, QZ_NO_MORE_ENTRIES);
    ASSERT_EQ(l.names.size(), 2u);
    EXPECT_EQ(l.names[0], "a.txt");
    EXPECT_EQ(l.names[1], "dir/b.txt");
    EXPECT_EQ(+l.records[1].method, 8);
    Qz4ZipClose(&h);
    QzEntryRecord rec;
    char name[261];
    EXPECT_EQ(Qz4ZipFindFirst(h, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_HANDLE);
    EXPECT_EQ(qa::openCount(), 0);
}

TEST(Open, ExtensionIsAppendedOnlyWhenTheLastComponentHasNoDot)
{
    TempDir dir;
    std::string bytes = buildZip(twoEntries());
    put(dir, "noext.ZIP", bytes);
    std::string sub = dir.file("d.ir");
    ASSERT_TRUE(std::filesystem::create_directory(sub));
    writeFile(sub + "/arc.ZIP", bytes);
    put(dir, "data.bin", bytes);

    { OpenArchive a(dir.file("noext")); EXPECT_EQ(a.result, 0); }
    { OpenArchive a(sub + "/arc"); EXPECT_EQ(a.result, 0); }
    { OpenArchive a(dir.file("data.bin")); EXPECT_EQ(a.result, 0); }
    // "data" has no extension: data.ZIP does not exist.
    { OpenArchive a(dir.file("data")); EXPECT_EQ(a.result, QZ_ERR_NAME); EXPECT_EQ(a.h, QZ_INVALID_HANDLE); }
}

TEST(Open, NameRules)
{
    TempDir dir;
    std::string path = put(dir, "p.zip", buildZip(twoEntries()));
    QzHandle h = 123;
    EXPECT_EQ(Qz4ZipOpen(nullptr, 0, &h), QZ_ERR_NAME);
    EXPECT_EQ(h, QZ_INVALID_HANDLE);
    EXPECT_EQ(Qz4ZipOpen("  \t ", 0, &h), QZ_ERR_NAME);
    EXPECT_EQ(Qz4ZipOpen("", 0, &h), QZ_ERR_NAME);
    EXPECT_EQ(Qz4ZipOpen((dir.file("*.zip")).c_str(), 0, &h), QZ_ERR_NAME);
    EXPECT_EQ(Qz4ZipOpen((dir.file("p?zip")).c_str(), 0, &h), QZ_ERR_NAME);
    { OpenArchive a(" \t  " + path); EXPECT_EQ(a.result, 0); }
    { OpenArchive a(dir.file("missing.zip")); EXPECT_EQ(a.result, QZ_ERR_NAME); }
}

TEST(Open, NamesThatDoNotFitWithTheirExtensionAreRefused)
{
    std::string base = "C:\\";
    std::string fits = base + std::string(259 - base.size() - 4, 'n');            // 255 + ".ZIP" = 259
    std::string tooLong = base + std::string(259 - base.size() - 3, 'n');         // 256 + ".ZIP" = 260
    QzHandle h;
    EXPECT_EQ(Qz4ZipOpen(tooLong.c_str(), 0, &h), QZ_ERR_NAME);
    EXPECT_EQ(Qz4ZipOpen((base + std::string(400, 'x') + ".zip").c_str(), 0, &h), QZ_ERR_NAME);
    // Fits the buffer: refused only because the file is not there.
    EXPECT_EQ(Qz4ZipOpen(fits.c_str(), 0, &h), QZ_ERR_NAME);
    EXPECT_EQ(h, QZ_INVALID_HANDLE);
}

TEST(Open, StrictModeNeedsAKnownLayoutOfAtLeast22Bytes)
{
    TempDir dir;
    std::string ten = put(dir, "ten.zip", "PK\x05\x06" + std::string(6, '\0'));
    std::string junk = put(dir, "junk.zip", std::string(100, 'j'));
    std::string empty = put(dir, "empty.zip", "");

    { OpenArchive a(ten); EXPECT_EQ(a.result, QZ_ERR_NOT_ZIP); }
    { OpenArchive a(empty); EXPECT_EQ(a.result, QZ_ERR_NOT_ZIP); }
    { OpenArchive a(junk); EXPECT_EQ(a.result, QZ_ERR_LAYOUT); }
    // Relaxed: a short file is classified (type 1) and opened; the walk then
    // finds no end record in it.
    {
        OpenArchive a(ten, 1);
        ASSERT_EQ(a.result, 0);
        EXPECT_EQ(listAll(a.h).end, QZ_ERR_NOT_ZIP);
    }
    { OpenArchive a(empty, 4); EXPECT_EQ(a.result, 0); }
    { OpenArchive a(junk, 2); EXPECT_EQ(a.result, QZ_ERR_LAYOUT); }
    EXPECT_EQ(qa::openCount(), 0);
}

TEST(Open, RecordTakesFlagsFromTheLayoutAndTheMode)
{
    TempDir dir;
    std::string zip = put(dir, "p.zip", buildZip(twoEntries()));
    std::string sfx = put(dir, "s.exe", buildSfx(twoEntries(), true));
    {
        OpenArchive a(zip, QZ_OPEN_LONG_NAMES | QZ_OPEN_SHARE_WRITE);
        ASSERT_EQ(a.result, 0);
        qa::Archive *rec;
        ASSERT_EQ(qa::findArchive(a.h, &rec), 0);
        EXPECT_EQ(rec->flags, qa::kFlagEffectiveNames);
        EXPECT_EQ(rec->share, 3u);
        EXPECT_EQ(rec->access, 0x80000000u);
        EXPECT_EQ(rec->dirFile, INVALID_HANDLE_VALUE);
        EXPECT_EQ(rec->dirName, nullptr);
        EXPECT_EQ(rec->volume, 0);
    }
    {
        OpenArchive a(sfx);
        ASSERT_EQ(a.result, 0);
        qa::Archive *rec;
        ASSERT_EQ(qa::findArchive(a.h, &rec), 0);
        EXPECT_EQ(rec->flags, qa::kFlagSfx);
        EXPECT_EQ(rec->share, 1u);
        EXPECT_EQ(listAll(a.h).names.size(), 2u);
    }
}

TEST(Open, TwoHandlesOnOneArchive)
{
    TempDir dir;
    std::string path = put(dir, "p.zip", buildZip(twoEntries()));
    QzHandle h1, h2;
    ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &h1), 0);
    ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &h2), 0);
    EXPECT_NE(h1, h2);
    EXPECT_EQ(qa::openCount(), 2);
    // The newest record is at the head.
    EXPECT_EQ(qa::toArchiveHandle(qa::listHead()->file), h2);
    Qz4ZipClose(&h1);
    EXPECT_EQ(listAll(h2).names.size(), 2u);
    EXPECT_EQ(listAll(h1).end, QZ_ERR_HANDLE);
    Qz4ZipClose(&h2);
    EXPECT_EQ(qa::openCount(), 0);
}

TEST(Open, ClosingTwiceDoesNothingTheSecondTime)
{
    TempDir dir;
    std::string path = put(dir, "p.zip", buildZip(twoEntries()));
    QzHandle h, other;
    ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &h), 0);
    ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &other), 0);
    QzHandle copy = h;
    Qz4ZipClose(&h);
    EXPECT_EQ(h, copy);  // the variable is left as it was
    Qz4ZipClose(&h);
    EXPECT_EQ(qa::openCount(), 1);
    EXPECT_EQ(listAll(other).names.size(), 2u);
    Qz4ZipClose(nullptr);
    QzHandle bogus = 0x1234;
    Qz4ZipClose(&bogus);
    EXPECT_EQ(qa::openCount(), 1);
    Qz4ZipClose(&other);
}

TEST(Open, ClosedHandlesAreUnknownEverywhere)
{
    TempDir dir;
    std::string path = put(dir, "p.zip", buildZip(twoEntries(), ZipOptions{"note", "", ""}));
    QzHandle h;
    ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &h), 0);
    Qz4ZipClose(&h);
    QzEntryRecord rec;
    QzEntryRecordVB32 vrec;
    char name[261], text[64];
    uint32_t off = 0;
    EXPECT_EQ(Qz4ZipFindFirst(h, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_HANDLE);
    EXPECT_EQ(Qz4ZipFindNext(h, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_HANDLE);
    EXPECT_EQ(Qz4ZipFindFirstVB32(h, &vrec, name, nullptr, 0, nullptr, 0), QZ_ERR_HANDLE);
    EXPECT_EQ(Qz4ZipFindNextVB32(h, &vrec, name, nullptr, 0, nullptr, 0), QZ_ERR_HANDLE);
    // The caller-held walk empties the name and comment buffers even so.
    strcpy(name, "stale");
    strcpy(text, "stale");
    EXPECT_EQ(Qz4ReadCDR(h, &off, &rec, name, nullptr, 0, text, sizeof text), QZ_ERR_HANDLE);
    EXPECT_STREQ(name, "");
    EXPECT_STREQ(text, "");
    EXPECT_EQ(Qz4ZipComment(h, text, sizeof text), QZ_ERR_HANDLE);
    EXPECT_EQ(Qz4GetCDR(h), -1);
    EXPECT_EQ(Qz4GetNextCDR(h), -1);
    qa::Archive *a = reinterpret_cast<qa::Archive *>(1);
    EXPECT_EQ(qa::findArchive(h, &a), QZ_ERR_HANDLE);
    EXPECT_EQ(a, nullptr);
}

TEST(Open, TransferBuffersLiveWhileAnArchiveIsOpen)
{
    TempDir dir;
    std::string path = put(dir, "p.zip", buildZip(twoEntries()));
    EXPECT_EQ(qa::transferInput(), nullptr);
    EXPECT_EQ(qa::transferOutput(), nullptr);
    QzHandle h1, h2;
    ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &h1), 0);
    uint8_t *in = qa::transferInput();
    ASSERT_NE(in, nullptr);
    ASSERT_NE(qa::transferOutput(), nullptr);
    EXPECT_GE(GlobalSize(qa::transferOutput()), (SIZE_T)qa::kTransferBytes);
    in[qa::kTransferBytes - 1] = 1;  // the whole block is ours
    ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &h2), 0);
    EXPECT_EQ(qa::transferInput(), in);  // shared, not made again
    Qz4ZipClose(&h1);
    EXPECT_NE(qa::transferInput(), nullptr);
    Qz4ZipClose(&h2);
    EXPECT_EQ(qa::transferInput(), nullptr);
    EXPECT_EQ(qa::transferOutput(), nullptr);
    // A failed open with nothing open leaves no buffers behind.
    QzHandle h3;
    EXPECT_EQ(Qz4ZipOpen(dir.file("none.zip").c_str(), 0, &h3), QZ_ERR_NAME);
    EXPECT_EQ(qa::transferInput(), nullptr);
}

TEST(Open, UnloadClosesAtMost255Archives)
{
    TempDir dir;
    std::string path = put(dir, "p.zip", buildZip(twoEntries()));
    std::vector<QzHandle> handles(300);
    for (QzHandle &h : handles)
        ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &h), 0);
    ASSERT_EQ(qa::openCount(), 300);
    qa::unloadArchives();
    EXPECT_EQ(qa::openCount(), 45);
    // The newest went first: the 45 oldest are still open and usable.
    for (size_t i = 0; i < 45; ++i)
        EXPECT_EQ(Qz4GetCDR(handles[i]), 0) << i;
    EXPECT_EQ(Qz4GetCDR(handles[45]), -1);
    EXPECT_NE(qa::transferInput(), nullptr);
    qa::unloadArchives();
    EXPECT_EQ(qa::openCount(), 0);
    EXPECT_EQ(qa::transferInput(), nullptr);
}

TEST(Open, UnloadWithThreeOpenClosesAllThree)
{
    TempDir dir;
    std::string path = put(dir, "p.zip", buildZip(twoEntries()));
    QzHandle h[3];
    for (QzHandle &x : h)
        ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &x), 0);
    qa::unloadArchives();
    EXPECT_EQ(qa::openCount(), 0);
    for (QzHandle &x : h)
        EXPECT_EQ(Qz4GetCDR(x), -1);
}

}  // namespace
