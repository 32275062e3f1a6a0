// The walks over the central directory (Qz4ZipFindFirst/Next, their VB32
// forms, Qz4ReadCDR), what they hand out, the buffers they cut, effective
// names, and the password check of encrypted entries.
#include <gtest/gtest.h>

#include <string.h>

#include <tuple>

#include "archive/suite.h"

using namespace qztest;

namespace {

TEST(Walk, RecordsAreTheCentralHeadersAsStored)
{
    Scratch dir;
    Entry e("dir\\m\x81ller.txt", "some content here");
    e.externalAttributes = 0x21;
    e.internalAttributes = 1;
    e.flags = 2;
    e.dosTime = 0x1234;
    e.dosDate = 0x5678;
    Entry unix_("u", "x", 8);
    unix_.host = 3;
    unix_.externalAttributes = 0x81A40000u;
    std::string bytes = buildZip({Entry("first", "1"), e, unix_});
    OpenArchive a(dir.add(bytes));
    Listing l = listAll(a.h);
    ASSERT_EQ(l.names, (std::vector<std::string>{"first", "dir/m\xFCller.txt", "u"}));
    uint32_t cd = (uint32_t)Qz4GetCDR(a.h);
    EXPECT_EQ(memcmp(&l.records[0], bytes.data() + cd, 46), 0);
    EXPECT_EQ(memcmp(&l.records[1], bytes.data() + cd + 46 + 5, 46), 0);
    EXPECT_EQ(l.records[2].versionMadeBy >> 8, 3);
    EXPECT_EQ(+l.records[2].externalAttributes, 0u);   // a foreign host's attributes mean nothing here
    auto fields = [](const auto &r) {
        return std::make_tuple(+r.signature, +r.versionMadeBy, +r.versionNeeded, +r.flags, +r.method,
                               +r.dosTime, +r.dosDate, +r.crc32, +r.compressedSize, +r.uncompressedSize,
                               +r.nameLength, +r.extraLength, +r.commentLength, +r.diskNumberStart,
                               +r.internalAttributes, +r.externalAttributes, +r.localHeaderOffset);
    };
    QzEntryRecordVB32 v;
    char name[261];
    for (size_t i = 0; i < 3; ++i) {
        auto walk = i ? Qz4ZipFindNextVB32 : Qz4ZipFindFirstVB32;
        ASSERT_EQ(walk(a.h, &v, name, nullptr, 0, nullptr, 0), 0) << i;
        EXPECT_EQ(name, l.names[i]);
        EXPECT_EQ(fields(v), fields(l.records[i])) << i;
    }
    EXPECT_EQ(Qz4ZipFindNextVB32(a.h, &v, name, nullptr, 0, nullptr, 0), QZ_NO_MORE_ENTRIES);
}

// Extra field and comment of the first entry read into buffers of a given
// size (kNone: no buffer); the next entry must be read whatever happened.
const uint32_t kNone = 0xFFFFFFFF;
struct Cut {
    const char *name;
    uint32_t extraSize, commentSize;
    int16_t result;
    size_t extraBytes;     // bytes written to the extra buffer
    const char *comment;   // null: the buffer is not touched
};

TEST(Walk, ExtraFieldAndCommentCutToTheBuffers)
{
    Scratch dir;
    Entry e("x", "y");
    e.extra = extraBlock(0x5455, "\x01\x02\x03\x04\x05");
    e.comment = "caf\x82 au lait";
    OpenArchive a(dir.add(buildZip({e, Entry("next", "z")})));
    const Cut cuts[] = {
        {"extra cut", 4, kNone, QZ_TOO_LONG, 4, nullptr},
        {"extra whole", 16, kNone, 0, 9, nullptr},
        {"extra size 0xFFFF is no buffer", 0xFFFF, kNone, 0, 0, nullptr},
        {"extra size counts 16 bits", 0x10004, kNone, QZ_TOO_LONG, 4, nullptr},
        {"comment whole and converted", kNone, 64, 0, 0, "caf\xE9 au lait"},
        {"comment cut to 1", kNone, 1, QZ_TOO_LONG, 0, ""},
        {"comment cut to 5", kNone, 5, QZ_TOO_LONG, 0, "caf\xE9"},
        {"comment size 0", kNone, 0, QZ_TOO_LONG, 0, nullptr},
    };
    for (const Cut &c : cuts) {
        QzEntryRecord rec;
        char name[261], comment[64];
        uint8_t extra[16];
        memset(extra, 0xEE, sizeof extra);
        memset(comment, 'Z', sizeof comment);
        int16_t r = Qz4ZipFindFirst(a.h, &rec, name, c.extraSize == kNone ? nullptr : extra, c.extraSize,
                                    c.commentSize == kNone ? nullptr : comment, c.commentSize);
        EXPECT_EQ(r, c.result) << c.name;
        EXPECT_EQ(memcmp(extra, e.extra.data(), c.extraBytes), 0) << c.name;
        EXPECT_EQ(extra[c.extraBytes], 0xEE) << c.name;
        EXPECT_EQ(c.comment ? std::string(comment) : std::string(1, comment[0]), c.comment ? c.comment : "Z")
            << c.name;
        memset(comment, 'Z', sizeof comment);
        EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, comment, sizeof comment), 0) << c.name;
        EXPECT_STREQ(name, "next") << c.name;
        EXPECT_STREQ(comment, "") << c.name;
    }
}

TEST(Walk, NamesOver260BytesAreRefusedWithoutMovingOn)
{
    Scratch dir;
    OpenArchive a(dir.add(buildZip({Entry(std::string(261, 'n'), "x"), Entry(std::string(260, 'e'), "y")})));
    QzEntryRecord rec;
    char name[300] = "stale";
    EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_TOO_LONG);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(Qz4GetNextCDR(a.h), Qz4GetCDR(a.h));
    EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_TOO_LONG);
    uint32_t off = (uint32_t)Qz4GetCDR(a.h) + 46 + 261;
    EXPECT_EQ(Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(std::string(name), std::string(260, 'e'));
}

TEST(Walk, CallerHeldAndBuiltInWalks)
{
    Scratch dir;
    OpenArchive a(dir.add(buildZip({Entry("a", "1"), Entry("b", "2"), Entry("c", "3")})));
    QzEntryRecord rec;
    char name[261];
    // Before the directory is located the built-in walk cannot go on.
    EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_NOT_LOCATED);
    EXPECT_EQ(Qz4GetCDR(a.h), 0);
    EXPECT_EQ(Qz4ZipComment(a.h, nullptr, 0), 0);   // locates, but the cursor stays at 0
    EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_NOT_ZIP);
    uint32_t off = (uint32_t)Qz4GetCDR(a.h);
    std::string names;
    int16_t r;
    while ((r = Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0)) == 0)
        names += name;
    EXPECT_EQ(r, QZ_NO_MORE_ENTRIES);
    EXPECT_EQ(names, "abc");
    EXPECT_EQ(Qz4GetNextCDR(a.h), 0);   // the caller's walk does not move the built-in one
    ASSERT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
    ASSERT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
    off = (uint32_t)Qz4GetNextCDR(a.h);
    ASSERT_EQ(Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(name, "c");
    ASSERT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(name, "a");
    off = 3;
    EXPECT_EQ(Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_NOT_ZIP);
    EXPECT_EQ(off, 3u);
    off = 0xFFFFFFFFu;
    EXPECT_EQ(Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_FILE);
}

TEST(Walk, EffectiveNames)
{
    std::string ext = extendedNameBlock("x\\y");
    std::string broken = extraBlock(1, "1234") + extendedNameBlock("never");
    broken[2] = 100;
    const struct {
        const char *name;
        std::string extra, expect;
    } rows[] = {
        {"no extra field", "", "a/b/c"},
        {"after another block", extraBlock(1, "12345678") + ext, "x/y"},
        {"block running past the field", broken, "a/b/c"},
        {"TH without Vw", extraBlock('T' | 'H' << 8, "XXabc") + ext, "x/y"},
        {"cut to 259 bytes", extendedNameBlock(std::string(400, 'L')), std::string(259, 'L')},
        {"block longer than the field", extendedNameBlock("abcdefgh").substr(0, 10), "abcd"},
        {"data size under 2", std::string("TH\x01\x00Vw\x00", 7), ""},
    };
    for (const auto &row : rows) {
        char name[261] = "a\\b\\c", dest[300];
        Qz4EffectiveFileName(name, row.extra.data(), (uint16_t)row.extra.size(), dest);
        EXPECT_EQ(std::string(dest), row.expect) << row.name;
        EXPECT_STREQ(name, row.expect == "a/b/c" ? "a/b/c" : "a\\b\\c") << row.name;
    }
    Scratch dir;
    Entry shortName("SHORT~1.TXT", "y");
    shortName.extra = extendedNameBlock("\\A long name.txt");
    Entry second("S2", "z");
    second.extra = extraBlock(10, std::string(12, '\0')) + extendedNameBlock("dir\\Long \x81.txt");
    std::string bytes = buildZip({Entry("stored\\plain", "x"), shortName, second});
    OpenArchive a(dir.add(bytes), QZ_OPEN_LONG_NAMES);
    Listing l = listAll(a.h);
    EXPECT_EQ(l.names, (std::vector<std::string>{"stored/plain", "A long name.txt", "dir/Long \xFC.txt"}));
    ASSERT_EQ(l.records.size(), 3u);
    EXPECT_EQ(+l.records[1].nameLength, 15);
    OpenArchive b(dir.add(bytes));
    EXPECT_EQ(listAll(b.h).names[1], "SHORT~1.TXT");
}

// Qz4ZipCheckPassword with the archive standing at the entry's data.
struct Check {
    const char *name;
    const char *stored;      // the entry's password, "" for none
    uint32_t headerXor;      // spoils the check bytes of the encryption header
    const char *given;
    int16_t result;
    uint32_t read;           // bytes consumed
};

TEST(Walk, PasswordCheck)
{
    const Check rows[] = {
        {"not encrypted", "", 0, "any", 0, 0},
        {"right", "pw", 0, "pw", 0, 12},
        {"wrong", "pw", 0, "wp", QZ_BAD_PASSWORD, 12},
        {"case matters", "pw", 0, "PW", QZ_BAD_PASSWORD, 12},
        {"missing", "pw", 0, nullptr, QZ_BAD_PASSWORD, 0},
        {"empty", "pw", 0, "", QZ_BAD_PASSWORD, 0},
        {"only the last header byte counts", "pw", 0x00FF0000u, "pw", 0, 12},
        {"last header byte wrong", "pw", 0x01000000u, "pw", QZ_BAD_PASSWORD, 12},
    };
    Scratch dir;
    for (const Check &row : rows) {
        for (bool vb32 : {false, true}) {
            Entry e("secret.txt", "The quick brown fox");
            e.password = row.stored;
            e.overrideHeaderCrc = true;
            e.headerCrc = crc32(e.data) ^ row.headerXor;
            OpenArchive a(dir.add(buildZip({e})));
            QzEntryRecord rec;
            QzEntryRecordVB32 v;
            char name[261];
            ASSERT_EQ(Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0), 0);
            ASSERT_EQ(Qz4ZipFindFirstVB32(a.h, &v, name, nullptr, 0, nullptr, 0), 0);
            uint32_t data = seekArchive(a.h, 30 + 10);
            QzEntryRecord before = rec;
            int16_t r = vb32 ? Qz4ZipCheckPasswordVB32(a.h, &v, row.given)
                             : Qz4ZipCheckPassword(a.h, &rec, row.given);
            EXPECT_EQ(r, row.result) << row.name << vb32;
            EXPECT_EQ(seekArchive(a.h, 0, FILE_CURRENT), data + row.read) << row.name << vb32;
            EXPECT_EQ(rec.compressedSize, before.compressedSize - (r == 0 && !vb32 ? row.read : 0)) << row.name;
            if (r != 0 || row.read == 0)
                continue;
            std::string got(rec.compressedSize - (vb32 ? 12 : 0), '\0');
            DWORD n = 0;
            ReadFile((HANDLE)(intptr_t)(int32_t)a.h, &got[0], (DWORD)got.size(), &n, NULL);
            QzDecryptData(&got[0], n);
            EXPECT_EQ(got, e.data) << row.name << vb32;
        }
    }
    Scratch d2;
    Entry e("x", "");
    e.password = "pw";
    OpenArchive a(d2.add(buildZip({e})));
    Listing l = listAll(a.h);
    seekArchive(a.h, -5, FILE_END);
    EXPECT_EQ(Qz4ZipCheckPassword(a.h, &l.records[0], "pw"), QZ_ERR_READ);
}

}  // namespace
