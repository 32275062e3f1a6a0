// Locating the end record (the last 22 bytes, or the window search behind
// an archive comment) and Qz4ZipComment.
#include <gtest/gtest.h>

#include <string>

#include "archive/archive.h"
#include "support/archive_helpers.h"

using namespace qztest;
namespace qa = qz::archive;

namespace {

std::string commentOf(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += (char)('a' + i % 26);
    return s;
}

TEST(EndRecord, FoundInTheLastBytesWithoutAComment)
{
    TempDir dir;
    std::string bytes = buildZip({Entry("a", "1"), Entry("b", "22")});
    OpenArchive a(put(dir, "a.zip", bytes));
    ASSERT_EQ(a.result, 0);
    uint32_t end = 0, cd = 0;
    ASSERT_EQ(qa::locateEndRecord(a.h, &end, &cd), 0);
    EXPECT_EQ(end, bytes.size() - 22);
    EXPECT_EQ(cd, 31u + 1 + 31 + 2);
    qa::Archive *rec;
    ASSERT_EQ(qa::findArchive(a.h, &rec), 0);
    EXPECT_TRUE(rec->flags & qa::kFlagLocated);
    EXPECT_EQ(Qz4GetCDR(a.h), (int32_t)cd);
}

TEST(EndRecord, WindowSearchFindsItBehindTheLongestComment)
{
    TempDir dir;
    std::string comment = commentOf(65535);
    std::string bytes = buildZip({Entry("a", "1")}, ZipOptions{comment, "", ""});
    OpenArchive a(put(dir, "a.zip", bytes));
    ASSERT_EQ(a.result, 0);
    Listing l = listAll(a.h);
    ASSERT_EQ(l.names.size(), 1u);
    EXPECT_EQ(l.end, QZ_NO_MORE_ENTRIES);
    std::string got(70000, '\0');
    EXPECT_EQ(Qz4ZipComment(a.h, &got[0], 0xFFFF), QZ_TOO_LONG);   // 65,534 bytes fit
    EXPECT_EQ(std::string(got.c_str()), comment.substr(0, 65534));
}

TEST(EndRecord, OneByteTooFarIsNotFoundAndTheWalkReports105)
{
    TempDir dir;
    std::string bytes = buildZip({Entry("a", "1")}, ZipOptions{commentOf(65535), "", "X"});
    OpenArchive a(put(dir, "a.zip", bytes));
    ASSERT_EQ(a.result, 0);
    uint32_t end = 0, cd = 0;
    ASSERT_EQ(qa::locateEndRecord(a.h, &end, &cd), 0);
    EXPECT_EQ(end, 0xFFFFFFFFu);
    EXPECT_EQ(cd, 0xFFFFFFFFu);
    EXPECT_EQ(listAll(a.h).end, QZ_ERR_FILE);
    char text[16];
    EXPECT_EQ(Qz4ZipComment(a.h, text, sizeof text), QZ_ERR_FILE);
}

TEST(EndRecord, TheEarlierOfTwoAcceptedCandidatesWins)
{
    TempDir dir;
    // The archive comment holds a second, valid-looking end record that
    // points at the same directory; the real one comes first.
    std::string inner = buildZip({Entry("a", "1")});
    std::string fakeEnd = inner.substr(inner.size() - 22);
    std::string bytes = buildZip({Entry("a", "1")}, ZipOptions{"lead " + fakeEnd + " tail", "", ""});
    OpenArchive a(put(dir, "a.zip", bytes));
    ASSERT_EQ(a.result, 0);
    uint32_t end = 0, cd = 0;
    ASSERT_EQ(qa::locateEndRecord(a.h, &end, &cd), 0);
    EXPECT_EQ(end, inner.size() - 22);
    char text[100];
    EXPECT_EQ(Qz4ZipComment(a.h, text, sizeof text), 0);
    EXPECT_EQ(std::string(text, 5), "lead ");
}

TEST(EndRecord, CandidatesThatDoNotPointAtADirectoryAreSkipped)
{
    TempDir dir;
    std::string inner = buildZip({Entry("a", "1")});
    // A signature in the comment whose offset field points past the file,
    // another whose offset holds no central header: neither is taken.
    std::string bad1 = "PK\x05\x06" + std::string(8, '\0') + std::string("\x01\0\0\0\xF0\xFF\xFF\x00", 8) + std::string(2, '\0');
    std::string bad2 = "PK\x05\x06" + std::string(8, '\0') + std::string("\x01\0\0\0\x02\0\0\0", 8) + std::string(2, '\0');
    // The real end record comes first and is taken; the bad candidates in
    // its comment are never looked at.
    std::string withBad = buildZip({Entry("a", "1")}, ZipOptions{bad1 + bad2 + "tail", "", ""});
    OpenArchive a(put(dir, "a.zip", withBad));
    ASSERT_EQ(a.result, 0);
    uint32_t end = 0, cd = 0;
    ASSERT_EQ(qa::locateEndRecord(a.h, &end, &cd), 0);
    EXPECT_EQ(end, inner.size() - 22);

    // Without the real one in front, the bad candidates alone give nothing.
    std::string onlyBad = inner.substr(0, inner.size() - 22) + "junk" + bad1 + bad2 + "tail";
    OpenArchive b(put(dir, "b.zip", onlyBad));
    ASSERT_EQ(b.result, 0);
    ASSERT_EQ(qa::locateEndRecord(b.h, &end, &cd), 0);
    EXPECT_EQ(end, 0xFFFFFFFFu);

    // In the last 22 bytes a signature is taken as it is.
    std::string lastBytes = buildZip({Entry("a", "1")}, ZipOptions{bad1 + bad2, "", ""});
    OpenArchive c(put(dir, "c.zip", lastBytes));
    ASSERT_EQ(c.result, 0);
    ASSERT_EQ(qa::locateEndRecord(c.h, &end, &cd), 0);
    EXPECT_EQ(end, lastBytes.size() - 22);
    EXPECT_EQ(cd, 2u);
    EXPECT_EQ(listAll(c.h).end, QZ_ERR_NOT_ZIP);
}

TEST(Comment, CutToTheBufferAndTerminated)
{
    TempDir dir;
    std::string comment = commentOf(30);
    OpenArchive a(put(dir, "a.zip", buildZip({Entry("a", "1")}, ZipOptions{comment, "", ""})));
    ASSERT_EQ(a.result, 0);
    char text[40];
    memset(text, 'Z', sizeof text);
    EXPECT_EQ(Qz4ZipComment(a.h, text, 10), QZ_TOO_LONG);
    EXPECT_STREQ(text, comment.substr(0, 9).c_str());
    EXPECT_EQ(Qz4ZipComment(a.h, text, 31), 0);
    EXPECT_EQ(std::string(text), comment);
    EXPECT_EQ(Qz4ZipComment(a.h, text, 30), QZ_TOO_LONG);
    memset(text, 'Z', sizeof text);
    EXPECT_EQ(Qz4ZipComment(a.h, text, 0), QZ_TOO_LONG);
    EXPECT_EQ(text[0], 'Z');   // size 0 receives nothing
    EXPECT_EQ(Qz4ZipComment(a.h, nullptr, 100), 0);
}

TEST(Comment, ConvertedFromOemToAnsi)
{
    TempDir dir;
    // 0x81 is u with diaeresis in code page 437, 0xFC in 1252.
    OpenArchive a(put(dir, "a.zip", buildZip({Entry("a", "1")}, ZipOptions{"gr\x81n", "", ""})));
    ASSERT_EQ(a.result, 0);
    char text[10];
    ASSERT_EQ(Qz4ZipComment(a.h, text, sizeof text), 0);
    EXPECT_EQ(std::string(text), "gr\xFCn");
}

TEST(Comment, ArchiveWithoutCommentGivesAnEmptyString)
{
    TempDir dir;
    OpenArchive a(put(dir, "a.zip", buildZip({Entry("a", "1")})));
    ASSERT_EQ(a.result, 0);
    char text[10] = "xxxx";
    EXPECT_EQ(Qz4ZipComment(a.h, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
}

}  // namespace
