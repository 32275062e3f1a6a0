// The entry records and the walks over the central directory: the reader
// (Qz4ReadCDR), the built-in walk and its VB32 forms, names, extra fields,
// comments, foreign hosts and effective names.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "archive/archive.h"
#include "support/archive_helpers.h"

using namespace qztest;
namespace qa = qz::archive;

namespace {

class Enumerate : public ::testing::Test {
protected:
    TempDir dir;
    std::string path(const std::string &bytes) { return put(dir, "t" + std::to_string(n_++) + ".zip", bytes); }

private:
    int n_ = 0;
};

TEST_F(Enumerate, OneEntryThenTheEndWithOrWithoutAComment)
{
    for (std::string comment : {std::string(), std::string(500, 'c')}) {
        OpenArchive a(path(buildZip({Entry("only.txt", "x")}, ZipOptions{comment, "", ""})));
        ASSERT_EQ(a.result, 0);
        QzEntryRecord rec;
        char name[261];
        EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
        EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_NO_MORE_ENTRIES);
        EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_NO_MORE_ENTRIES);
    }
}

TEST_F(Enumerate, FindNextBeforeTheDirectoryIsLocated)
{
    OpenArchive a(path(buildZip({Entry("a", "x")})));
    ASSERT_EQ(a.result, 0);
    QzEntryRecord rec;
    char name[261];
    EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_NOT_LOCATED);
    EXPECT_EQ(Qz4GetCDR(a.h), 0);
    EXPECT_EQ(Qz4GetNextCDR(a.h), 0);
    // The comment locates the directory but does not start the walk: the
    // cursor still holds 0, where the first local header is.
    EXPECT_EQ(Qz4ZipComment(a.h, nullptr, 0), 0);
    EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_NOT_ZIP);
    EXPECT_STREQ(name, "");
}

TEST_F(Enumerate, RecordIsTheCentralHeaderAsStored)
{
    Entry e("dir\\sub\\file.txt", "some content here", 0);
    e.externalAttributes = 0x21;
    e.internalAttributes = 1;
    e.dosTime = 0x1234;
    e.dosDate = 0x5678;
    e.flags = 0x0002;
    std::string bytes = buildZip({Entry("first", "1"), e});
    OpenArchive a(path(bytes));
    ASSERT_EQ(a.result, 0);
    Listing l = listAll(a.h);
    ASSERT_EQ(l.names.size(), 2u);
    EXPECT_EQ(l.names[1], "dir/sub/file.txt");
    const QzEntryRecord &r = l.records[1];
    EXPECT_EQ(+r.signature, 0x02014B50u);
    EXPECT_EQ(+r.versionMadeBy, 20);
    EXPECT_EQ(+r.flags, 2);
    EXPECT_EQ(+r.dosTime, 0x1234);
    EXPECT_EQ(+r.dosDate, 0x5678);
    EXPECT_EQ(+r.crc32, crc32("some content here"));
    EXPECT_EQ(+r.compressedSize, 17u);
    EXPECT_EQ(+r.uncompressedSize, 17u);
    EXPECT_EQ(+r.nameLength, 16);
    EXPECT_EQ(+r.externalAttributes, 0x21u);
    EXPECT_EQ(+r.internalAttributes, 1);
    EXPECT_EQ(+r.localHeaderOffset, 30u + 5 + 1);
    // The record is byte for byte the header in the file.
    uint32_t cd = (uint32_t)Qz4GetCDR(a.h);
    size_t second = cd + 46 + 5;
    EXPECT_EQ(memcmp(&r, bytes.data() + second, 46), 0);
}

TEST_F(Enumerate, ForeignHostsLoseTheirExternalAttributes)
{
    Entry unix_("u", "x");
    unix_.host = 3;
    unix_.externalAttributes = 0x81A40000u;
    Entry dos("d", "x");
    dos.externalAttributes = 0x27;
    OpenArchive a(path(buildZip({unix_, dos})));
    Listing l = listAll(a.h);
    ASSERT_EQ(l.records.size(), 2u);
    EXPECT_EQ(+l.records[0].externalAttributes, 0u);
    EXPECT_EQ(l.records[0].versionMadeBy >> 8, 3);
    EXPECT_EQ(+l.records[1].externalAttributes, 0x27u);
}

TEST_F(Enumerate, ExtraFieldCutToTheBuffer)
{
    Entry e("x", "y");
    e.extra = extraBlock(0x5455, std::string("\x01\x02\x03\x04\x05", 5));   // 9 bytes
    OpenArchive a(path(buildZip({e, Entry("next", "z")})));
    QzEntryRecord rec;
    char name[261];
    uint8_t extra[16];
    memset(extra, 0xEE, sizeof extra);
    EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, extra, 4, nullptr, 0), QZ_TOO_LONG);
    EXPECT_EQ(memcmp(extra, e.extra.data(), 4), 0);
    EXPECT_EQ(extra[4], 0xEE);
    // The cut still advances: the next call reads the next entry.
    EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, extra, 4, nullptr, 0), 0);
    EXPECT_STREQ(name, "next");

    memset(extra, 0xEE, sizeof extra);
    EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, extra, 16, nullptr, 0), 0);
    EXPECT_EQ(memcmp(extra, e.extra.data(), 9), 0);
    EXPECT_EQ(extra[9], 0xEE);
    memset(extra, 0xEE, sizeof extra);
    EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, extra, 0xFFFF, nullptr, 0), 0);
    EXPECT_EQ(extra[0], 0xEE);
    EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 4, nullptr, 0), 0);
    // Only the low 16 bits of the size count.
    EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, extra, 0x10004, nullptr, 0), QZ_TOO_LONG);
}

TEST_F(Enumerate, EntryCommentsCutTerminatedAndConverted)
{
    Entry e("x", "y");
    e.comment = "caf\x82 au lait";   // 0x82 is e acute in 437
    OpenArchive a(path(buildZip({e, Entry("n", "")})));
    QzEntryRecord rec;
    char name[261], comment[64];
    ASSERT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, comment, sizeof comment), 0);
    EXPECT_STREQ(comment, "caf\xE9 au lait");
    memset(comment, 'Z', sizeof comment);
    EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, comment, 1), QZ_TOO_LONG);
    EXPECT_STREQ(comment, "");
    EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, comment, 5), QZ_TOO_LONG);
    EXPECT_STREQ(comment, "caf\xE9");
    memset(comment, 'Z', sizeof comment);
    EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, comment, 0), QZ_TOO_LONG);
    EXPECT_EQ(comment[0], 'Z');
    EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, comment, 0), 0);
    EXPECT_STREQ(name, "n");
    // An entry without a comment empties the buffer.
    memset(comment, 'Z', sizeof comment);
    EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, comment, sizeof comment), 0);
    EXPECT_STREQ(comment, "");
}

TEST_F(Enumerate, NamesAreConvertedToAnsi)
{
    OpenArchive a(path(buildZip({Entry("m\x81ller\\\x84rger.txt", "x")})));
    Listing l = listAll(a.h);
    ASSERT_EQ(l.names.size(), 1u);
    EXPECT_EQ(l.names[0], "m\xFCller/\xE4rger.txt");
}

TEST_F(Enumerate, NameLongerThan260BytesIsRefusedWithoutAdvancing)
{
    std::string longName(261, 'n');
    OpenArchive a(path(buildZip({Entry(longName, "x"), Entry("after", "y")})));
    QzEntryRecord rec;
    char name[300];
    EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_TOO_LONG);
    EXPECT_STREQ(name, "");
    uint32_t cursor = (uint32_t)Qz4GetNextCDR(a.h);
    EXPECT_EQ(cursor, (uint32_t)Qz4GetCDR(a.h));
    EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_TOO_LONG);
    EXPECT_EQ((uint32_t)Qz4GetNextCDR(a.h), cursor);

    // 260 bytes still fit a buffer of 261.
    std::string exact(260, 'e');
    OpenArchive b(path(buildZip({Entry(exact, "x")})));
    EXPECT_EQ(Qz4ZipFindFirst(b.h, &rec, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(std::string(name), exact);
}

TEST_F(Enumerate, CallerHeldWalk)
{
    OpenArchive a(path(buildZip({Entry("a", "1"), Entry("b", "2"), Entry("c", "3")})));
    EXPECT_EQ(Qz4ZipComment(a.h, nullptr, 0), 0);
    uint32_t off = (uint32_t)Qz4GetCDR(a.h);
    QzEntryRecord rec;
    char name[261];
    std::string names;
    int16_t r;
    while ((r = Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0)) == 0)
        names += name;
    EXPECT_EQ(r, QZ_NO_MORE_ENTRIES);
    EXPECT_EQ(names, "abc");
    // The built-in walk was not moved by the caller's.
    EXPECT_EQ(Qz4GetNextCDR(a.h), 0);

    // Switching from the built-in walk to the caller's.
    ASSERT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
    off = (uint32_t)Qz4GetNextCDR(a.h);
    ASSERT_EQ(Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(name, "b");
    // An offset in the middle of nowhere.
    off = 3;
    EXPECT_EQ(Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_NOT_ZIP);
    EXPECT_EQ(off, 3u);
    off = 0xFFFFFFFFu;
    EXPECT_EQ(Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_FILE);
}

TEST_F(Enumerate, TwoCallersShareTheBuiltInCursor)
{
    OpenArchive a(path(buildZip({Entry("a", "1"), Entry("b", "2"), Entry("c", "3")})));
    QzEntryRecord rec;
    char name[261];
    ASSERT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
    ASSERT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(name, "b");
    ASSERT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(name, "a");
}

TEST_F(Enumerate, VB32FormsHoldTheSameValues)
{
    Entry e("vb\\name", "data data data", 8);
    e.extra = extraBlock(1, "abc");
    e.comment = "c";
    e.externalAttributes = 0x12345678;
    e.internalAttributes = 7;
    OpenArchive a(path(buildZip({Entry("a", "x"), e})));
    QzEntryRecord p[2];
    QzEntryRecordVB32 v[2];
    char name[261], vname[261];
    ASSERT_EQ(Qz4ZipFindFirst(a.h, &p[0], name, nullptr, 0, nullptr, 0), 0);
    ASSERT_EQ(Qz4ZipFindNext(a.h, &p[1], name, nullptr, 0, nullptr, 0), 0);
    memset(v, 0xCC, sizeof v);
    ASSERT_EQ(Qz4ZipFindFirstVB32(a.h, &v[0], vname, nullptr, 0, nullptr, 0), 0);
    ASSERT_EQ(Qz4ZipFindNextVB32(a.h, &v[1], vname, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(name, vname);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(v[i].signature, +p[i].signature);
        EXPECT_EQ(v[i].crc32, +p[i].crc32);
        EXPECT_EQ(v[i].compressedSize, +p[i].compressedSize);
        EXPECT_EQ(v[i].uncompressedSize, +p[i].uncompressedSize);
        EXPECT_EQ(v[i].externalAttributes, +p[i].externalAttributes);
        EXPECT_EQ(v[i].localHeaderOffset, +p[i].localHeaderOffset);
        EXPECT_EQ(v[i].versionMadeBy, +p[i].versionMadeBy);
        EXPECT_EQ(v[i].versionNeeded, +p[i].versionNeeded);
        EXPECT_EQ(v[i].flags, +p[i].flags);
        EXPECT_EQ(v[i].method, +p[i].method);
        EXPECT_EQ(v[i].dosTime, +p[i].dosTime);
        EXPECT_EQ(v[i].dosDate, +p[i].dosDate);
        EXPECT_EQ(v[i].nameLength, +p[i].nameLength);
        EXPECT_EQ(v[i].extraLength, +p[i].extraLength);
        EXPECT_EQ(v[i].commentLength, +p[i].commentLength);
        EXPECT_EQ(v[i].diskNumberStart, +p[i].diskNumberStart);
        EXPECT_EQ(v[i].internalAttributes, +p[i].internalAttributes);
    }
    EXPECT_EQ(v[1].externalAttributes, 0x12345678u);
    EXPECT_EQ(v[1].extraLength, 7);
    EXPECT_EQ(Qz4ZipFindNextVB32(a.h, &v[1], vname, nullptr, 0, nullptr, 0), QZ_NO_MORE_ENTRIES);
}

TEST_F(Enumerate, DamagedDirectories)
{
    std::string good = buildZip({Entry("a", "1"), Entry("b", "2")});
    size_t cd = 31 + 1 + 31 + 1;
    {
        // The second header lost its signature.
        std::string bytes = good;
        bytes[cd + 47] = 'X';
        OpenArchive a(path(bytes));
        Listing l = listAll(a.h);
        EXPECT_EQ(l.names.size(), 1u);
        EXPECT_EQ(l.end, QZ_ERR_NOT_ZIP);
    }
    {
        // A name length that runs past the end of the file.
        std::string bytes = good;
        bytes[cd + 28] = (char)200;
        OpenArchive a(path(bytes));
        Listing l = listAll(a.h);
        EXPECT_EQ(l.end, QZ_ERR_READ);
    }
    {
        // The directory is cut in the middle of a header.
        std::string bytes = good.substr(0, cd + 20);
        bytes += endRecord(0, 0, 2, 2, 94, (uint32_t)cd, "");
        OpenArchive a(path(bytes));
        EXPECT_EQ(listAll(a.h).end, QZ_ERR_READ);
    }
}

TEST_F(Enumerate, EffectiveNames)
{
    Entry plain("stored\\plain", "x");
    Entry longName("SHORT~1.TXT", "y");
    longName.extra = extendedNameBlock("\\A long name.txt");   // 16 bytes, one leading backslash
    Entry second("S2", "z");
    second.extra = extraBlock(0x000A, std::string(12, '\0')) + extraBlock(0x5455, "t") +
                   extendedNameBlock("dir\\Long \x81.txt");
    std::string bytes = buildZip({plain, longName, second});
    {
        OpenArchive a(path(bytes), QZ_OPEN_LONG_NAMES);
        ASSERT_EQ(a.result, 0);
        Listing l = listAll(a.h);
        ASSERT_EQ(l.names.size(), 3u);
        EXPECT_EQ(l.names[0], "stored/plain");
        EXPECT_EQ(+l.records[0].nameLength, 12);
        EXPECT_EQ(l.names[1], "A long name.txt");
        EXPECT_EQ(+l.records[1].nameLength, 15);
        EXPECT_EQ(l.names[2], "dir/Long \xFC.txt");
        // The extra field is still handed out whole.
        QzEntryRecord rec;
        char name[261];
        uint8_t extra[64];
        ASSERT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
        ASSERT_EQ(Qz4ZipFindNext(a.h, &rec, name, extra, sizeof extra, nullptr, 0), 0);
        EXPECT_EQ(memcmp(extra, longName.extra.data(), longName.extra.size()), 0);
        EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, extra, 4, nullptr, 0), QZ_TOO_LONG);
        EXPECT_EQ(std::string(name), "dir/Long \xFC.txt");
        // The keep-length flag lasts one read.
        qa::Archive *r;
        ASSERT_EQ(qa::findArchive(a.h, &r), 0);
        ASSERT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
        r->flags |= qa::kFlagKeepNameLength;
        ASSERT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
        EXPECT_EQ(+rec.nameLength, 11);
        EXPECT_FALSE(r->flags & qa::kFlagKeepNameLength);
        EXPECT_EQ(std::string(name), "A long name.txt");
    }
    {
        OpenArchive a(path(bytes));
        Listing l = listAll(a.h);
        ASSERT_EQ(l.names.size(), 3u);
        EXPECT_EQ(l.names[1], "SHORT~1.TXT");
        EXPECT_EQ(+l.records[1].nameLength, 11);
    }
}

TEST(EffectiveFileName, BlocksAreWalkedByTheirSizes)
{
    char name[261], dest[261];
    strcpy(name, "a\\b\\c");
    Qz4EffectiveFileName(name, nullptr, 0, dest);
    EXPECT_STREQ(dest, "a/b/c");
    EXPECT_STREQ(name, "a/b/c");   // changed in place

    std::string extra = extraBlock(0x0001, "12345678") + extendedNameBlock("x\\y");
    strcpy(name, "short");
    Qz4EffectiveFileName(name, extra.data(), (uint16_t)extra.size(), dest);
    EXPECT_STREQ(dest, "x/y");
    EXPECT_STREQ(name, "short");

    // A block whose size runs past the field ends the walk.
    std::string broken = extraBlock(0x0001, "1234");
    broken[2] = 100;
    broken += extendedNameBlock("never");
    strcpy(name, "kept");
    Qz4EffectiveFileName(name, broken.data(), (uint16_t)broken.size(), dest);
    EXPECT_STREQ(dest, "kept");

    // "TH" without "Vw" is just another block.
    std::string other = extraBlock((uint16_t)('T' | ('H' << 8)), "XXabc") + extendedNameBlock("real");
    Qz4EffectiveFileName(name, other.data(), (uint16_t)other.size(), dest);
    EXPECT_STREQ(dest, "real");
}

TEST(EffectiveFileName, LongAndTruncatedBlocksStayInsideTheField)
{
    char name[261] = "n", dest[300];
    // An extended name of 400 bytes is cut to 259.
    std::string big = extendedNameBlock(std::string(400, 'L'));
    Qz4EffectiveFileName(name, big.data(), (uint16_t)big.size(), dest);
    EXPECT_EQ(std::string(dest), std::string(259, 'L'));
    // A block that claims more data than the field holds gives what is there.
    std::string cut = extendedNameBlock("abcdefgh").substr(0, 10);   // header, "Vw", "abcd"
    Qz4EffectiveFileName(name, cut.data(), (uint16_t)cut.size(), dest);
    EXPECT_STREQ(dest, "abcd");
    // Data size below 2: an empty name.
    std::string tiny = "THVw\0\0\0";
    tiny[2] = 1;
    tiny[3] = 0;
    tiny = std::string("TH\x01\x00Vw\x00", 7);
    Qz4EffectiveFileName(name, tiny.data(), (uint16_t)tiny.size(), dest);
    EXPECT_STREQ(dest, "");
}

}  // namespace
