// The layouts: what Qz4IdentifyFile calls a file, whether Qz4ZipOpen takes
// it, and what the walk and Qz4ZipComment then find.  Damaged archives and
// the search for the end record behind a comment are rows of the same table.
#include <gtest/gtest.h>

#include "archive/suite.h"

using namespace qztest;

namespace {

const int16_t kNotOpened = 1;   // the row is identified only

std::string endOf(uint16_t disk) { return endRecord(disk, disk, 0, 0, 0, 0, ""); }
std::string qzvwHead(char kind) { return std::string("QZVW") + kind + std::string(7, '\0'); }
std::string at(std::string s, size_t i, char c) { s[i] = c; return s; }

std::string letters(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += (char)('a' + i % 26);
    return s;
}

struct Layout {
    const char *name;
    std::string bytes;
    int16_t identified;
    uint16_t type;
    uint32_t mode;       // for Qz4ZipOpen
    int16_t opened;
    size_t entries;      // listed before the walk ends with `end`
    int16_t end;
    std::string comment;
};

std::vector<Layout> layouts()
{
    const int16_t L = QZ_ERR_LAYOUT, R = QZ_ERR_READ, N = QZ_NO_MORE_ENTRIES, F = QZ_ERR_FILE;
    std::vector<Entry> e3 = threeEntries();
    std::string two = buildZip({Entry("a", "1"), Entry("b", "2")});
    const size_t cd = 64;   // the directory of `two`
    std::string central;
    for (const Entry &e : e3)
        central += writeEntry(e).central;
    std::string inner = buildZip({Entry("a", "1")});
    std::string innerEnd = inner.substr(inner.size() - 22);
    // End records in a comment: one points past the file, one at no central header.
    std::string bad = "PK\x05\x06" + std::string(8, '\0') + std::string("\x01\0\0\0\xF0\xFF\xFF\x00", 8) +
                      std::string(2, '\0') + "PK\x05\x06" + std::string(8, '\0') +
                      std::string("\x01\0\0\0\x02\0\0\0\0\0", 10);
    std::string qzvw = buildQzvw(2, e3);
    return {
        {"plain", buildZip(e3), 0, QZ_TYPE_ZIP, 0, 0, 3, N, ""},
        {"empty file", "", 0, QZ_TYPE_ZIP, 0, QZ_ERR_NOT_ZIP, 0, 0, ""},
        {"empty file, relaxed", "", 0, QZ_TYPE_ZIP, 4, 0, 0, QZ_ERR_NOT_ZIP, ""},
        {"end record only", endOf(0), 0, QZ_TYPE_ZIP, 0, 0, 0, N, ""},
        {"10 bytes", "PK\x05\x06" + std::string(6, '\0'), 0, QZ_TYPE_ZIP, 0, QZ_ERR_NOT_ZIP, 0, 0, ""},
        {"10 bytes, relaxed", "PK\x05\x06" + std::string(6, '\0'), 0, 1, 1, 0, 0, QZ_ERR_NOT_ZIP, ""},
        {"junk", std::string(500, 'j'), L, 0, 0, L, 0, 0, ""},
        {"junk, relaxed", std::string(500, 'j'), L, 0, 2, L, 0, 0, ""},
        {"short junk", std::string(21, 'x'), L, 0, 1, L, 0, 0, ""},
        {"P", "P", L, 0, 0, kNotOpened, 0, 0, ""},
        {"PK 03", "PK\x03", L, 0, 0, kNotOpened, 0, 0, ""},
        {"comment in OEM", buildZip(e3, ZipOptions{"gr\x81n", "", ""}), 0, 1, 0, 0, 3, N, "gr\xFCn"},
        {"sfx with PKLITE", buildSfx(e3, true, "c"), 0, QZ_TYPE_SFX, 0, 0, 3, N, "c"},
        {"sfx", buildSfx(e3, false), 0, QZ_TYPE_SFX, 0, 0, 3, N, ""},
        {"sfx with a comment", buildSfx(e3, false, "c"), L, 0, 0, L, 0, 0, ""},
        {"bare MZ", "MZ" + std::string(40, '\0'), L, 0, 0, L, 0, 0, ""},
        {"qzvw 1", buildQzvw(1, e3), 0, QZ_TYPE_QZVW, 0, 0, 3, N, ""},
        {"qzvw 2", qzvw, 0, QZ_TYPE_QZVW, 0, 0, 3, N, ""},
        {"qzvw 3", buildQzvw(3, e3), 0, QZ_TYPE_QZVW3, 0, 0, 3, N, ""},
        {"qzvw 3 empty, relaxed", buildQzvw(3, {}), 0, QZ_TYPE_QZVW3, 1, 0, 0, N, ""},
        {"qzvw 4", qzvwHead(4) + endOf(0), L, 0, 0, L, 0, 0, ""},
        {"qzvw 0", qzvwHead(0) + endOf(0), L, 0, 0, L, 0, 0, ""},
        {"qzvw cut in its header", "QZVW\x01", L, 0, 1, L, 0, 0, ""},
        {"qzvw counting too many records", at(qzvw, 6, 50), 0, QZ_TYPE_QZVW, 0, R, 0, 0, ""},
        {"qzvw with its variable parts cut", qzvw.substr(0, 12 + 46 * 3 + 4), 0, 2, 0, R, 0, 0, ""},
        {"qzvw header only, relaxed", qzvw.substr(0, 12) + std::string(10, '\0'), 0, 2, 1, R, 0, 0, ""},
        {"directory first", buildDirFirst(e3, "not read"), 0, QZ_TYPE_DIR_FIRST, 0, 0, 3, N, ""},
        {"directory first, bare end record", central + endRecord(0, 0, 3, 3, 0, 0, ""), 0, 4, 0, 0, 3, N, ""},
        {"directory first, end record under 46 bytes", central + endRecord(0, 0, 3, 3, 0, 0, letters(20)),
         0, 4, 0, 0, 3, N, ""},
        {"directory first, one header cut", central.substr(0, 40), 0, 4, 1, 0, 0, N, ""},
        {"directory first, names past the volume", central.substr(0, 50), 0, 4, 0, QZ_CANCELLED, 0, 0, ""},
        {"spanned, first disk", buildSpanned(e3, 1000)[0], 0, QZ_TYPE_SPANNED, 0, kNotOpened, 0, 0, ""},
        {"spanned, last disk", buildSpanned(e3, 300).back(), 0, QZ_TYPE_SPANNED, 0, kNotOpened, 0, 0, ""},
        {"end record of disk 2", std::string(100, 'j') + endOf(2), 0, 3, 0, kNotOpened, 0, 0, ""},
        {"end record of disk 0", std::string(100, 'j') + endOf(0), L, 0, 0, L, 0, 0, ""},
        {"central header first", "PK\x01\x02" + std::string(100, 'j') + endOf(2), 0, 4, 0, kNotOpened, 0, 0, ""},
        {"second header lost its signature", at(two, cd + 47, 'X'), 0, 1, 0, 0, 1, QZ_ERR_NOT_ZIP, ""},
        {"name past the end of the file", at(two, cd + 28, (char)200), 0, 1, 0, 0, 0, R, ""},
        {"directory cut in a header", two.substr(0, cd + 20) + endRecord(0, 0, 2, 2, 94, cd, ""),
         0, 1, 0, 0, 0, R, ""},
        {"longest comment", buildZip({Entry("a", "1")}, ZipOptions{letters(65535), "", ""}),
         0, 1, 0, 0, 1, N, letters(65535)},
        {"end record one byte too far", buildZip({Entry("a", "1")}, ZipOptions{letters(65535), "", "X"}),
         0, 1, 0, 0, 0, F, ""},
        {"end record in the comment", buildZip({Entry("a", "1")}, ZipOptions{"lead " + innerEnd + " tail", "", ""}),
         0, 1, 0, 0, 1, N, "lead " + innerEnd.substr(0, 4)},
        {"bad end records in the comment", buildZip({Entry("a", "1")}, ZipOptions{bad + "tail", "", ""}),
         0, 1, 0, 0, 1, N, bad.substr(0, 4)},
        {"only bad end records", inner.substr(0, inner.size() - 22) + "junk" + bad + "tail",
         0, 1, 0, 0, 0, F, ""},
        {"bad end record in the last bytes", buildZip({Entry("a", "1")}, ZipOptions{bad, "", ""}),
         0, 1, 0, 0, 0, QZ_ERR_NOT_ZIP, ""},
    };
}

TEST(Layouts, IdentifiedOpenedAndWalked)
{
    Scratch dir;
    size_t temps = tempFiles().size();
    for (const Layout &row : layouts()) {
        std::string path = dir.add(row.bytes, ".bin");
        uint16_t type = 0xBEEF;
        EXPECT_EQ(Qz4IdentifyFile(path.c_str(), &type), row.identified) << row.name;
        EXPECT_EQ(type, row.type) << row.name;
        if (row.opened == kNotOpened)
            continue;
        OpenArchive a(path, row.mode);
        EXPECT_EQ(a.result, row.opened) << row.name;
        if (a.result != 0) {
            EXPECT_EQ(a.h, QZ_INVALID_HANDLE) << row.name;
            EXPECT_EQ(tempFiles().size(), temps) << row.name;
            continue;
        }
        Listing l = listAll(a.h);
        EXPECT_EQ(l.names.size(), row.entries) << row.name;
        EXPECT_EQ(l.end, row.end) << row.name;
        std::string text(0xFFFF, 'Z');
        int16_t r = Qz4ZipComment(a.h, &text[0], 0xFFFF);
        if (row.end == QZ_NO_MORE_ENTRIES) {
            EXPECT_EQ(r, row.comment.size() < 0xFFFF ? 0 : QZ_TOO_LONG) << row.name;
            EXPECT_EQ(std::string(text.c_str()), row.comment.substr(0, 0xFFFE)) << row.name;
        } else if (row.end == QZ_ERR_FILE) {
            EXPECT_EQ(r, QZ_ERR_FILE) << row.name;
        }
    }
    uint16_t type = 77;
    EXPECT_EQ(Qz4IdentifyFile(dir.file("missing.zip").c_str(), &type), QZ_ERR_FILE);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(Qz4IdentifyFile(nullptr, &type), QZ_ERR_FILE);
}

TEST(Layouts, CommentCutToTheBuffer)
{
    Scratch dir;
    OpenArchive a(dir.add(buildZip({Entry("a", "1")}, ZipOptions{letters(30), "", ""})));
    std::string text(100, 'Z');
    EXPECT_EQ(Qz4ZipComment(a.h, &text[0], 10), QZ_TOO_LONG);
    EXPECT_EQ(std::string(text.c_str()), letters(9));
    EXPECT_EQ(Qz4ZipComment(a.h, &text[0], 31), 0);
    EXPECT_EQ(std::string(text.c_str()), letters(30));
    EXPECT_EQ(Qz4ZipComment(a.h, &text[0], 30), QZ_TOO_LONG);
    text[0] = 'Z';
    EXPECT_EQ(Qz4ZipComment(a.h, &text[0], 0), QZ_TOO_LONG);
    EXPECT_EQ(text[0], 'Z');
    EXPECT_EQ(Qz4ZipComment(a.h, nullptr, 100), 0);
}

}  // namespace
