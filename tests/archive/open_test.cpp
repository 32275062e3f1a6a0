// Archives in one file: layouts, damaged archives and the end record search
// as rows of one table; buffers cut, names, passwords, handles, unloading.
#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>

#include "archive/archive.h"
#include "qzunpack_ext.h"
#include "support/archive_helpers.h"
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include "platform/host.h"
#endif

using namespace qztest;
namespace fs = std::filesystem;

namespace {

std::string endOf(uint16_t disk) { return endRecord(disk, disk, 0, 0, 0, 0, ""); }
std::string at(std::string s, size_t i, char c) {
    s[i] = c;
    return s;
}
std::string withComment(const std::string &comment, const std::string &trailer = "") {
    return buildZip({Entry("a", "1")}, comment, "", trailer);
}
std::vector<fs::path> tempFiles() {
    std::vector<fs::path> found;
    for (const fs::directory_entry &f : fs::directory_iterator(fs::temp_directory_path()))
        if (f.path().filename().string().rfind("QVW", 0) == 0)
            found.push_back(f.path());
    return found;
}

struct Layout {
    const char *name;    // also the file's name; Qz4ZipOpen adds ".ZIP"
    std::string bytes;
    uint16_t type;       // 0: Qz4IdentifyFile answers -1
    int16_t opened;
    size_t entries = 0;  // listed before the walk ends with `end`
    int16_t end = 0;
    std::string comment = "";
};

TEST(Open, Layouts) {
    const int16_t R = QZ_ERR_READ, N = QZ_NO_MORE_ENTRIES, F = QZ_ERR_FILE, Z = QZ_ERR_NOT_ZIP;
    Entry c("third\\c.txt", std::string(2000, 'c'), 8);
    c.extra = extraBlock(0x1234, "xyz");
    std::vector<Entry> e3 = {Entry("a.txt", "alpha"), Entry("b.txt", "beta beta"), c};
    std::string two = buildZip({Entry("a", "1"), Entry("b", "2")}), qzvw = buildQzvw(2, e3), cut = two;
    std::string innerEnd = endRecord(0, 0, 1, 1, 47, 32, "");   // of withComment("")
    const size_t cd = 64;   // the directory of `two`
    // End records that point past the file, and at no central header.
    std::string bad = "PK\x05\x06" + std::string(8, '\0') + std::string("\x01\0\0\0\xF0\xFF\xFF\0\0\0", 10) +
                      "PK\x05\x06" + std::string(8, '\0') + std::string("\x01\0\0\0\x02\0\0\0\0\0", 10);
    const Layout rows[] = {
        {"plain", buildZip(e3), QZ_TYPE_ZIP, 0, 3, N},
        {"empty file", "", QZ_TYPE_ZIP, Z},
        {"comment in OEM", buildZip(e3, "gr\x81n"), 1, 0, 3, N, "gr\xFCn"},
        {"sfx with PKLITE", buildSfx(e3, true, "c"), QZ_TYPE_SFX, 0, 3, N, "c"},
        {"sfx", buildSfx(e3, false), QZ_TYPE_SFX, 0, 3, N},
        {"sfx with a comment", buildSfx(e3, false, "c"), 0, QZ_ERR_LAYOUT},
        {"qzvw kind 2", qzvw, QZ_TYPE_QZVW, 0, 3, N},
        {"qzvw kind 3", buildQzvw(3, e3), QZ_TYPE_QZVW3, 0, 3, N},
        {"qzvw kind 4", at(qzvw, 4, 4), 0, QZ_ERR_LAYOUT},
        {"qzvw counting too many records", at(qzvw, 6, 50), QZ_TYPE_QZVW, R},
        {"directory first", buildDirFirst(e3, "not read"), QZ_TYPE_DIR_FIRST, 0, 3, N},
        {"directory first, names past the volume", writeEntry(e3[0]).central.substr(0, 50), 4, QZ_CANCELLED},
        {"spanned on one disk", buildSpanned(e3, 10000)[0], QZ_TYPE_SPANNED, 0, 3, N},
        {"end record of disk 2", std::string(100, 'j') + endOf(2), QZ_TYPE_SPANNED, 0, 0, N},
        {"end record of disk 0", std::string(100, 'j') + endOf(0), 0, QZ_ERR_LAYOUT},
        {"second header lost its signature", at(two, cd + 47, 'X'), 1, 0, 1, Z},
        {"name past the end of the file", at(two, cd + 28, (char)200), 1, 0, 0, R},
        {"directory cut in a header", cut.erase(cd + 20) + endRecord(0, 0, 2, 2, 94, cd, ""), 1, 0, 0, R},
        {"longest comment", withComment(std::string(65535, 'c')), 1, 0, 1, N, std::string(65535, 'c')},
        {"end record one byte too far", withComment(std::string(65535, 'c'), "X"), 1, 0, 0, F},
        {"end record in the comment", withComment("lead " + innerEnd + " tail"), 1, 0, 1, N, "lead PK\5\6"},
        {"bad end records in the comment", withComment(bad + "tail"), 1, 0, 1, N, "PK\5\6"},
    };
    TempDir dir;
    size_t temps = tempFiles().size();
    for (const Layout &row : rows) {
        std::string path = put(dir, row.name + std::string(".ZIP"), row.bytes);
        uint16_t type = 0xBEEF;
        EXPECT_EQ(Qz4IdentifyFile(path.c_str(), &type), row.type ? 0 : QZ_ERR_LAYOUT) << row.name;
        EXPECT_EQ(type, row.type) << row.name;
        OpenArchive a(dir.file(row.name));
        EXPECT_EQ(a.result, row.opened) << row.name;
        bool dirFile = a.result == 0 && row.type != QZ_TYPE_ZIP && row.type != QZ_TYPE_SFX;
        EXPECT_EQ(tempFiles().size(), temps + dirFile) << row.name;
        Listing l = listAll(a.h);
        EXPECT_EQ(l.names.size(), row.entries) << row.name;
        EXPECT_EQ(a.result ? 0 : l.end, row.end) << row.name;
        std::string text(0xFFFF, 'Z');
        int16_t r = Qz4ZipComment(a.h, &text[0], 0xFFFF);
        EXPECT_EQ(std::string(text.c_str()), row.comment.substr(0, 0xFFFE)) << row.name;
        int16_t want = row.end == F ? F : row.end != N ? r : row.comment.size() < 0xFFFF ? 0 : QZ_TOO_LONG;
        EXPECT_EQ(r, want) << row.name;   // the comment cannot be read without the end record
    }
}

// The first entry read with buffers of a size (kNone: no buffer); the walk
// goes on whatever was cut, and stays on a name too long for 260 bytes.
TEST(Open, EntriesAndTheirPartsCutToTheBuffers) {
    const uint32_t kNone = 0xFFFFFFFF;
    const int16_t T = QZ_TOO_LONG;
    TempDir dir;
    Entry e("x", "y"), unix_("dir\\m\x81ller", "z"), tooLong(std::string(261, 'n'), "");
    e.extra = extraBlock(0x5455, "\x01\x02\x03\x04\x05");
    e.comment = "caf\x82 au lait";
    unix_.host = 3;
    unix_.externalAttributes = 0x81A40000u;
    unix_.extra = extraBlock(1, "1234") + extendedNameBlock("\\A long name");
    std::string bytes = buildZip({e, unix_, tooLong});
    OpenArchive a(put(dir, "a.zip", bytes)), b(put(dir, "b.zip", bytes), QZ_OPEN_LONG_NAMES);
    QzEntryRecord rec;
    char name[300], comment[64] = "Z";
    const struct {
        uint32_t extraSize, commentSize;
        int16_t result;
        size_t extraBytes;
        std::string text;
    } rows[] = {
        {4, kNone, T, 4, "Z"}, {16, kNone, 0, 9, "Z"}, {0xFFFF, kNone, 0, 0, "Z"},
        {0x10004, kNone, T, 4, "Z"}, {kNone, 64, 0, 0, "caf\xE9 au lait"},
        {kNone, 1, T, 0, ""}, {kNone, 5, T, 0, "caf\xE9"}, {kNone, 0, T, 0, "Z"},
    };
    for (const auto &row : rows) {
        uint8_t extra[16];
        memset(extra, 0xEE, sizeof extra);
        EXPECT_EQ(Qz4ZipFindFirst(a.h, &rec, name, row.extraSize == kNone ? nullptr : extra, row.extraSize,
                                  row.commentSize == kNone ? 0 : comment, row.commentSize), row.result);
        EXPECT_EQ(std::string((char *)extra, row.extraBytes + 1) + comment,
                  e.extra.substr(0, row.extraBytes) + "\xEE" + row.text);
        EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, comment, sizeof comment), 0);
        EXPECT_EQ(std::string(name) + comment, "dir/m\xFCller");   // converted to ANSI
        EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_TOO_LONG);
        EXPECT_EQ(Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0), QZ_TOO_LONG);
        EXPECT_STREQ(name, "");
        strcpy(comment, "Z");
    }
    Listing l = listAll(b.h);   // with effective names
    ASSERT_EQ(l.names, (std::vector<std::string>{"x", "A long name"}));
    EXPECT_EQ(+l.records[1].nameLength, 11);
    EXPECT_EQ(+l.records[1].externalAttributes, 0u);   // meaningless from a foreign host
    uint32_t off = (uint32_t)Qz4GetCDR(a.h);
    EXPECT_EQ(Qz4ReadCDR(a.h, &off, &rec, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(memcmp(&rec, bytes.data() + Qz4GetCDR(a.h), 46), 0);
    Qz4EffectiveFileName(name, nullptr, 0, comment);
    EXPECT_STREQ(comment, "x");
}

// Read as today's writers write them: UTF-8 names by flag or Unicode Path
// block, names converted from code page 437, attributes from Unix modes, a
// name too long for the buffer that the walk steps over, and sizes kept in
// the ZIP64 extra field.
TEST(Open, NamesAndAttributesInTheExtensionMode) {
#ifdef _WIN32
    const char *cafe = "caf\xE9/_.txt", *muller = "m\xFCller", *naive = "na\xEFve.txt";
#else
    const char *cafe = "caf\xC3\xA9/\xE4\xB8\xAD.txt", *muller = "m\xC3\xBCller", *naive = "na\xC3\xAFve.txt";
#endif
    const struct {
        Entry entry;
        std::string name;
        uint32_t attributes;
    } rows[] = {
        {Entry("caf\xC3\xA9/\xE4\xB8\xAD.txt", "1"), cafe, 0x20},
        {Entry("m\x81ller", "2"), muller, 0x20},
        {Entry("naive.txt", "3"), naive, 0x20},
        {Entry("stale.txt", "4"), "stale.txt", 0x20},
        {Entry("d/", ""), "d/", 0x41ED0010},
        {Entry("ro", "5"), "ro", 0x81240001},
        {Entry("x/", ""), "x/", 0x30},
        {Entry(std::string(300, 'n'), ""), std::string(260, 'n'), 0x20},
        {Entry("end", "6"), "end", 0x20},
    };
    std::vector<Entry> entries;
    for (const auto &row : rows)
        entries.push_back(row.entry);
    entries[0].flags = 0x0800;
    entries[2].extra = extraBlock(0x7075, "\x01" + std::string(4, '\0') + "na\xC3\xAFve.txt");
    uint32_t crc = crc32("naive.txt");
    memcpy(&entries[2].extra[5], &crc, 4);
    entries[3].extra = extraBlock(0x7075, "\x01" + std::string(4, '\0') + "new.txt");
    entries[4].host = entries[5].host = 3;
    entries[4].externalAttributes = 0x41ED0000;
    entries[5].externalAttributes = 0x81240000;
    entries[8].extra = extraBlock(1, std::string("\x01\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0", 16));
    std::string bytes = buildZip(entries);
    size_t last = bytes.rfind("PK\x01\x02");
    bytes.replace(last + 20, 8, 8, '\xFF');   // its sizes: in the extra field
    TempDir dir;
    OpenArchive a(put(dir, "a.zip", bytes));
    EXPECT_EQ(listAll(a.h).end, QZ_TOO_LONG);
    EXPECT_EQ(listAll(a.h).names.size(), 7u);
    QzSetExtensions(QZ_EXT_ALL);
    QzEntryRecord rec;
    char name[300];
    int16_t r = Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0);
    for (const auto &row : rows) {
        EXPECT_EQ(r, row.name.size() == 260 ? QZ_TOO_LONG : 0) << row.name;
        EXPECT_EQ(name, row.name);
        EXPECT_EQ(+rec.externalAttributes, row.attributes) << row.name;
        QzEntry64 place;
        ASSERT_EQ(QzGetEntry64(a.h, &place), 0);
        EXPECT_EQ(place.compressedSize + place.uncompressedSize + rec.compressedSize + rec.uncompressedSize,
                  4 * row.entry.data.size()) << row.name;
        EXPECT_EQ(place.localHeaderOffset, +rec.localHeaderOffset);
        r = Qz4ZipFindNext(a.h, &rec, name, nullptr, 0, nullptr, 0);
    }
    EXPECT_EQ(r, QZ_NO_MORE_ENTRIES);
    QzSetExtensions(0);
}

// Qz4ZipCheckPassword and its VB32 form, with the archive at the entry's data.
TEST(Open, PasswordCheck) {
    const int16_t B = QZ_BAD_PASSWORD;
    const struct {
        const char *stored, *given;   // stored "": not encrypted
        uint32_t spoil;               // spoils the check bytes of the encryption header
        int16_t result, read;
    } rows[] = {
        {"", "any", 0, 0, 0}, {"pw", "pw", 0, 0, 12}, {"pw", "wp", 0, B, 12}, {"pw", "PW", 0, B, 12},
        {"pw", nullptr, 0, B, 0}, {"pw", "", 0, B, 0},
        {"pw", "pw", 0xFF0000, 0, 12}, {"pw", "pw", 1u << 24, B, 12},
    };
    TempDir dir;
    for (const auto &row : rows) {
        Entry e("secret.txt", "The quick brown fox");
        e.password = row.stored;
        e.overrideHeaderCrc = true;
        e.headerCrc = crc32(e.data) ^ row.spoil;
        OpenArchive a(put(dir, "a.zip", buildZip({e})));
        HANDLE file = (HANDLE)(intptr_t)(int32_t)a.h;
        Listing l = listAll(a.h);
        QzEntryRecordVB32 v;
        char name[261];
        ASSERT_EQ(Qz4ZipFindFirstVB32(a.h, &v, name, nullptr, 0, nullptr, 0), 0);
        uint32_t size = v.compressedSize, data = SetFilePointer(file, 30 + 10, NULL, FILE_BEGIN);
        EXPECT_EQ(Qz4ZipCheckPassword(a.h, &l.records[0], row.given), row.result) << row.given;
        EXPECT_EQ(SetFilePointer(file, 0, NULL, FILE_CURRENT), data + row.read) << row.given;
        EXPECT_EQ(l.records[0].compressedSize, size - (row.result ? 0 : row.read)) << row.given;
        SetFilePointer(file, 30 + 10, NULL, FILE_BEGIN);
        EXPECT_EQ(Qz4ZipCheckPasswordVB32(a.h, &v, row.given), row.result) << row.given;
        EXPECT_EQ(v.compressedSize, size);   // the VB32 record is left alone
    }
}

TEST(Open, ReadCDREmptiesNameAndCommentForAnUnknownHandle) {
    TempDir dir;
    std::string path = put(dir, "a.zip", withComment("note"));
#ifndef _WIN32
    qzhost_reset_counters();
#endif
    std::vector<QzHandle> hs(300);
    for (QzHandle &h : hs)
        ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &h), 0);
    uint8_t *in = qz::archive::transferInput();   // shared by the open archives
    ASSERT_TRUE(in && qz::archive::transferOutput());
    for (size_t i = 0; i < hs.size(); ++i) {
        QzHandle &h = hs[i * 7 % hs.size()];   // from the middle of the list as well
        EXPECT_EQ(listAll(h).names.size(), 1u) << i;
        Qz4ZipClose(&h);
        Qz4ZipClose(&h);   // the variable keeps the handle: the second close does nothing
        EXPECT_EQ(qz::archive::transferInput(), i + 1 < hs.size() ? in : nullptr) << i;
    }
    QzEntryRecord rec;
    char name[261] = "stale", text[64] = "stale";
    EXPECT_EQ(Qz4ReadCDR(hs[0], nullptr, &rec, name, nullptr, 0, text, sizeof text), QZ_ERR_HANDLE);
    EXPECT_STREQ(name, "");
    EXPECT_STREQ(text, "");
#ifndef _WIN32
    qzhost_counters c;   // every record, name and file closed
    qzhost_get_counters(&c);
    EXPECT_EQ(c.blocks + c.handles, 0);
#endif
}

#ifndef _WIN32
// A process that ends with archives open: the library's unload routine closes
// them, and their directory files are deleted.
TEST(Open, ArchivesOpenAtExitAreClosedWhenTheLibraryUnloads) {
    TempDir dir;
    std::string path = put(dir, "a.qzv", buildQzvw(2, {Entry("a", "1")}));
    size_t before = tempFiles().size();
    fflush(nullptr);
    pid_t child = fork();
    QzHandle h;
    for (int i = 0; child == 0 && i < 3; ++i)
        if (Qz4ZipOpen(path.c_str(), 0, &h) != 0 || tempFiles().size() != before + i + 1)
            _exit(2);
    if (child == 0)
        exit(0);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tempFiles().size(), before);
}
#endif

}  // namespace
