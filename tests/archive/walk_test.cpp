// The walks over the central directory (built-in, VB32 and caller-held), the
// buffers they cut, effective names, and the password check of an entry.
#include <gtest/gtest.h>

#include <string.h>

#include <tuple>

#include "platform/win32.h"
#include "support/archive_helpers.h"

using namespace qztest;

namespace {

TEST(Walk, RecordsAreTheCentralHeadersAsStored)
{
    TempDir dir;
    Entry e("dir\\m\x81ller.txt", "some content", 8);
    e.externalAttributes = 0x21;
    e.dosTime = 0x1234;
    Entry unix_("u", "x");
    unix_.host = 3;
    unix_.externalAttributes = 0x81A40000u;
    std::string bytes = buildZip({Entry("first", "1"), e, unix_});
    OpenArchive a(put(dir, "a.zip", bytes));
    Listing l = listAll(a.h);
    ASSERT_EQ(l.names, (std::vector<std::string>{"first", "dir/m\xFCller.txt", "u"}));
    EXPECT_EQ(memcmp(&l.records[1], bytes.data() + Qz4GetCDR(a.h) + 46 + 5, 46), 0);
    EXPECT_EQ(+l.records[2].externalAttributes, 0u);   // meaningless from a foreign host
    auto fields = [](const auto &r) {
        return std::make_tuple(+r.signature, +r.versionMadeBy, +r.versionNeeded, +r.flags, +r.method, +r.dosTime,
                               +r.dosDate, +r.crc32, +r.compressedSize, +r.uncompressedSize, +r.nameLength,
                               +r.extraLength, +r.commentLength, +r.diskNumberStart, +r.internalAttributes,
                               +r.externalAttributes, +r.localHeaderOffset);
    };
    QzEntryRecordVB32 v;
    char name[261];
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_EQ((i ? Qz4ZipFindNextVB32 : Qz4ZipFindFirstVB32)(a.h, &v, name, nullptr, 0, nullptr, 0), 0);
        EXPECT_EQ(fields(v), fields(l.records[i])) << i;
    }
    EXPECT_EQ(Qz4ZipFindNextVB32(a.h, &v, name, nullptr, 0, nullptr, 0), QZ_NO_MORE_ENTRIES);
}

// The first entry's extra field and comment read into buffers of a size
// (kNone: no buffer); the next entry is read whatever happened.
const uint32_t kNone = 0xFFFFFFFF;

TEST(Walk, ExtraFieldCommentAndNameCutToTheBuffers)
{
    TempDir dir;
    Entry e("x", "y");
    e.extra = extraBlock(0x5455, "\x01\x02\x03\x04\x05");
    e.comment = "caf\x82 au lait";
    OpenArchive a(put(dir, "a.zip", buildZip({e, Entry("next", "z"), Entry(std::string(261, 'n'), "")})));
    const struct {
        uint32_t extraSize, commentSize;
        int16_t result;
        size_t extraBytes;     // written to the extra buffer
        const char *comment;   // null: not touched
    } rows[] = {
        {4, kNone, QZ_TOO_LONG, 4, nullptr}, {16, kNone, 0, 9, nullptr}, {0xFFFF, kNone, 0, 0, nullptr},
        {0x10004, kNone, QZ_TOO_LONG, 4, nullptr}, {kNone, 64, 0, 0, "caf\xE9 au lait"},
        {kNone, 1, QZ_TOO_LONG, 0, ""}, {kNone, 5, QZ_TOO_LONG, 0, "caf\xE9"}, {kNone, 0, QZ_TOO_LONG, 0, nullptr},
    };
    for (const auto &row : rows) {
        QzEntryRecord rec;
        char name[300], comment[64];
        uint8_t extra[16];
        memset(extra, 0xEE, sizeof extra);
        memset(comment, 'Z', sizeof comment);
        EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, row.extraSize == kNone ? nullptr : extra, row.extraSize,
                                  row.commentSize == kNone ? nullptr : comment, row.commentSize), row.result);
        std::string got = std::string((char *)extra, row.extraBytes + 1) + (row.comment ? comment : "Z");
        EXPECT_EQ(got, e.extra.substr(0, row.extraBytes) + "\xEE" + (row.comment ? row.comment : "Z"));
        memset(comment, 'Z', sizeof comment);
        EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, comment, sizeof comment), 0);
        EXPECT_EQ(std::string(name) + comment, "next");
        // A name over 260 bytes is refused and the walk stays on it.
        EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_TOO_LONG);
        EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_TOO_LONG);
        EXPECT_STREQ(name, "");
    }
}

TEST(Walk, CallerHeldAndBuiltInWalks)
{
    TempDir dir;
    OpenArchive a(put(dir, "a.zip", buildZip({Entry("a", "1"), Entry("b", "2"), Entry("c", "3")})));
    QzEntryRecord rec;
    char name[261];
    EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_NOT_LOCATED);
    EXPECT_EQ(Qz4ZipComment(a.h, nullptr, 0), 0);   // locates the directory, the cursor stays at 0
    EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_NOT_ZIP);
    ASSERT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
    uint32_t off = (uint32_t)Qz4GetNextCDR(a.h);
    std::string names;
    while (Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0) == 0)
        names += name;
    EXPECT_EQ(names, "bc");
    EXPECT_EQ(Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0), QZ_NO_MORE_ENTRIES);
    ASSERT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);   // not moved by the caller's walk
    EXPECT_STREQ(name, "b");
    off = 3;
    EXPECT_EQ(Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_NOT_ZIP);
    off = 0xFFFFFFFFu;
    EXPECT_EQ(Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_FILE);
}

TEST(Walk, EffectiveNames)
{
    std::string ext = extendedNameBlock("x\\y"), broken = extraBlock(1, "1234") + ext;
    broken[2] = 100;
    const std::pair<std::string, std::string> rows[] = {
        {"", "a/b/c"}, {extraBlock(1, "12345678") + ext, "x/y"}, {broken, "a/b/c"},
        {extraBlock('T' | 'H' << 8, "XXabc") + ext, "x/y"}, {extendedNameBlock(std::string(400, 'L')), std::string(259, 'L')},
        {extendedNameBlock("abcdefgh").substr(0, 10), "abcd"}, {std::string("TH\x01\x00Vw\x00", 7), ""},
    };
    for (const auto &row : rows) {
        char name[261] = "a\\b\\c", dest[300];
        Qz4EffectiveFileName(name, row.first.data(), (uint16_t)row.first.size(), dest);
        EXPECT_EQ(std::string(dest) + "|" + name, row.second + (row.second == "a/b/c" ? "|a/b/c" : "|a\\b\\c"));
    }
    TempDir dir;
    Entry shortName("SHORT~1.TXT", "y");
    shortName.extra = extendedNameBlock("\\A long name.txt");
    std::string bytes = buildZip({Entry("plain", "x"), shortName});
    OpenArchive a(put(dir, "a.zip", bytes), QZ_OPEN_LONG_NAMES), b(put(dir, "b.zip", bytes));
    Listing l = listAll(a.h);
    EXPECT_EQ(l.names, (std::vector<std::string>{"plain", "A long name.txt"}));
    EXPECT_EQ(+l.records.at(1).nameLength, 15);
    EXPECT_EQ(listAll(b.h).names.at(1), "SHORT~1.TXT");
}

// Qz4ZipCheckPassword (and its VB32 form) with the archive at the entry's data.
TEST(Walk, PasswordCheck)
{
    const struct {
        const char *stored, *given;   // "": not encrypted
        uint32_t headerXor;           // spoils the check bytes of the encryption header
        int16_t result;
        uint32_t read;
    } rows[] = {
        {"", "any", 0, 0, 0}, {"pw", "pw", 0, 0, 12}, {"pw", "wp", 0, QZ_BAD_PASSWORD, 12},
        {"pw", "PW", 0, QZ_BAD_PASSWORD, 12}, {"pw", nullptr, 0, QZ_BAD_PASSWORD, 0}, {"pw", "", 0, QZ_BAD_PASSWORD, 0},
        {"pw", "pw", 0x00FF0000u, 0, 12}, {"pw", "pw", 0x01000000u, QZ_BAD_PASSWORD, 12},
    };
    TempDir dir;
    for (const auto &row : rows) {
        for (bool vb32 : {false, true}) {
            Entry e("secret.txt", "The quick brown fox");
            e.password = row.stored;
            e.overrideHeaderCrc = true;
            e.headerCrc = crc32(e.data) ^ row.headerXor;
            OpenArchive a(put(dir, "a.zip", buildZip({e})));
            HANDLE file = (HANDLE)(intptr_t)(int32_t)a.h;
            QzEntryRecord rec;
            QzEntryRecordVB32 v;
            char name[261];
            ASSERT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
            ASSERT_EQ(Qz4ZipFindFirstVB32(a.h, &v, name, nullptr, 0, nullptr, 0), 0);
            uint32_t size = rec.compressedSize, data = SetFilePointer(file, 30 + 10, NULL, FILE_BEGIN);
            int16_t r = vb32 ? Qz4ZipCheckPasswordVB32(a.h, &v, row.given) : Qz4ZipCheckPassword(a.h, &rec, row.given);
            EXPECT_EQ(r, row.result) << row.given << vb32;
            EXPECT_EQ(SetFilePointer(file, 0, NULL, FILE_CURRENT), data + row.read) << row.given << vb32;
            EXPECT_EQ(rec.compressedSize + (r == 0 && !vb32 ? row.read : 0), size) << row.given << vb32;
            std::string got(size - row.read, '\0');
            DWORD n = 0;
            if (r == 0 && row.read && ReadFile(file, &got[0], (DWORD)got.size(), &n, NULL))
                QzDecryptData(&got[0], n);
            EXPECT_EQ(got, r == 0 && row.read ? e.data : std::string(got.size(), '\0')) << row.given;
        }
    }
    Entry e("x", "");
    e.password = "pw";
    OpenArchive a(put(dir, "b.zip", buildZip({e})));
    Listing l = listAll(a.h);
    SetFilePointer((HANDLE)(intptr_t)(int32_t)a.h, -5, NULL, FILE_END);
    EXPECT_EQ(Qz4ZipCheckPassword(a.h, &l.records.at(0), "pw"), QZ_ERR_READ);
}

}  // namespace
