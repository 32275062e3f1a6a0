// Opening archives: the layout Qz4IdentifyFile sees, whether Qz4ZipOpen takes
// it, what the walk and Qz4ZipComment then find (damaged archives and the end
// record search are rows too); names, handles, transfer buffers, unloading.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "archive/archive.h"
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
std::string at(std::string s, size_t i, char c) { s[i] = c; return s; }
std::string letters(size_t n)
{
    std::string s;
    while (s.size() < n)
        s += (char)('a' + s.size() % 26);
    return s;
}
std::string withComment(const std::string &comment, const std::string &trailer = "")
{
    return buildZip({Entry("a", "1")}, ZipOptions{comment, "", trailer});
}
std::vector<Entry> threeEntries()
{
    Entry c("third\\c.txt", std::string(2000, 'c'), 8);
    c.extra = extraBlock(0x1234, "xyz");
    c.comment = "entry comment";
    return {Entry("a.txt", "alpha"), Entry("b.txt", "beta beta"), c};
}
// The library's temporary files: the directory files of open archives.
std::vector<fs::path> tempFiles()
{
    std::vector<fs::path> found;
    for (const fs::directory_entry &f : fs::directory_iterator(fs::temp_directory_path()))
        if (f.path().filename().string().rfind("QVW", 0) == 0)
            found.push_back(f.path());
    return found;
}

const int16_t kNotOpened = 1;   // the row is identified only

struct Layout {
    const char *name;
    std::string bytes;
    uint16_t type;       // 0: Qz4IdentifyFile answers -1
    uint32_t mode;
    int16_t opened;
    size_t entries = 0;  // listed before the walk ends with `end`
    int16_t end = 0;
    std::string comment = "";
};

TEST(Open, Layouts)
{
    const int16_t R = QZ_ERR_READ, N = QZ_NO_MORE_ENTRIES, F = QZ_ERR_FILE, Z = QZ_ERR_NOT_ZIP, L = QZ_ERR_LAYOUT;
    std::vector<Entry> e3 = threeEntries();
    std::string two = buildZip({Entry("a", "1"), Entry("b", "2")}), qzvw = buildQzvw(2, e3), central;
    const size_t cd = 64;   // the directory of `two`
    for (const Entry &e : e3)
        central += writeEntry(e).central;
    std::string inner = withComment(""), innerEnd = inner.substr(inner.size() - 22);
    // End records that point past the file, and at no central header.
    std::string bad = "PK\x05\x06" + std::string(8, '\0') + std::string("\x01\0\0\0\xF0\xFF\xFF\0\0\0", 10) +
                      "PK\x05\x06" + std::string(8, '\0') + std::string("\x01\0\0\0\x02\0\0\0\0\0", 10);
    const Layout rows[] = {
        {"plain", buildZip(e3), QZ_TYPE_ZIP, 0, 0, 3, N},
        {"empty file", "", QZ_TYPE_ZIP, 0, Z},
        {"empty file, relaxed", "", QZ_TYPE_ZIP, 4, 0, 0, Z},
        {"end record only", endOf(0), QZ_TYPE_ZIP, 0, 0, 0, N},
        {"10 bytes", endOf(0).substr(0, 10), QZ_TYPE_ZIP, 0, Z},
        {"junk", std::string(500, 'j'), 0, 2, L},
        {"comment in OEM", buildZip(e3, ZipOptions{"gr\x81n", "", ""}), 1, 0, 0, 3, N, "gr\xFCn"},
        {"sfx with PKLITE", buildSfx(e3, true, "c"), QZ_TYPE_SFX, 0, 0, 3, N, "c"},
        {"sfx", buildSfx(e3, false), QZ_TYPE_SFX, 0, 0, 3, N},
        {"sfx with a comment", buildSfx(e3, false, "c"), 0, 0, L},
        {"qzvw 1", buildQzvw(1, e3), QZ_TYPE_QZVW, 0, 0, 3, N},
        {"qzvw 2", qzvw, QZ_TYPE_QZVW, 0, 0, 3, N},
        {"qzvw 3", buildQzvw(3, e3), QZ_TYPE_QZVW3, 0, 0, 3, N},
        {"qzvw 3 empty, relaxed", buildQzvw(3, {}), QZ_TYPE_QZVW3, 1, 0, 0, N},
        {"qzvw 4", at(qzvw, 4, 4), 0, 0, L},
        {"qzvw counting too many records", at(qzvw, 6, 50), QZ_TYPE_QZVW, 0, R},
        {"qzvw with its variable parts cut", qzvw.substr(0, 12 + 46 * 3 + 4), QZ_TYPE_QZVW, 0, R},
        {"directory first", buildDirFirst(e3, "not read"), QZ_TYPE_DIR_FIRST, 0, 0, 3, N},
        {"directory first, end record under 46 bytes", central + endRecord(0, 0, 3, 3, 0, 0, "c"), 4, 0, 0, 3, N},
        {"directory first, names past the volume", central.substr(0, 50), 4, 0, QZ_CANCELLED},
        {"spanned, first disk", buildSpanned(e3, 1000)[0], QZ_TYPE_SPANNED, 0, kNotOpened},
        {"end record of disk 2", std::string(100, 'j') + endOf(2), QZ_TYPE_SPANNED, 0, kNotOpened},
        {"end record of disk 0", std::string(100, 'j') + endOf(0), 0, 0, L},
        {"second header lost its signature", at(two, cd + 47, 'X'), 1, 0, 0, 1, Z},
        {"name past the end of the file", at(two, cd + 28, (char)200), 1, 0, 0, 0, R},
        {"directory cut in a header", two.substr(0, cd + 20) + endRecord(0, 0, 2, 2, 94, cd, ""), 1, 0, 0, 0, R},
        {"longest comment", withComment(letters(65535)), 1, 0, 0, 1, N, letters(65535)},
        {"end record one byte too far", withComment(letters(65535), "X"), 1, 0, 0, 0, F},
        {"end record in the comment", withComment("lead " + innerEnd + " tail"), 1, 0, 0, 1, N, "lead PK\5\6"},
        {"bad end records in the comment", withComment(bad + "tail"), 1, 0, 0, 1, N, "PK\5\6"},
        {"only bad end records", inner.substr(0, inner.size() - 22) + "junk" + bad + "tail", 1, 0, 0, 0, F},
        {"bad end record in the last bytes", withComment(bad), 1, 0, 0, 0, Z},
    };
    TempDir dir;
    size_t temps = tempFiles().size();
    for (const Layout &row : rows) {
        std::string path = put(dir, row.name + std::string(".bin"), row.bytes);
        uint16_t type = 0xBEEF;
        EXPECT_EQ(Qz4IdentifyFile(path.c_str(), &type), row.type ? 0 : L) << row.name;
        EXPECT_EQ(type, row.type) << row.name;
        OpenArchive a(row.opened == kNotOpened ? "" : path, row.mode);
        if (row.opened == kNotOpened)
            continue;
        EXPECT_EQ(a.result, row.opened) << row.name;
        EXPECT_EQ(a.h == QZ_INVALID_HANDLE, a.result != 0) << row.name;
        bool dirFile = a.result == 0 && row.type != QZ_TYPE_ZIP && row.type != QZ_TYPE_SFX;
        EXPECT_EQ(tempFiles().size(), temps + dirFile) << row.name;
        Listing l = listAll(a.h);
        EXPECT_EQ(l.names.size(), row.entries) << row.name;
        EXPECT_EQ(a.result ? 0 : l.end, row.end) << row.name;
        std::string text(0xFFFF, 'Z');
        int16_t r = Qz4ZipComment(a.h, &text[0], 0xFFFF);
        EXPECT_EQ(std::string(text.c_str()), row.comment.substr(0, 0xFFFE)) << row.name;
        if (row.end == N || row.end == F)
            EXPECT_EQ(r, row.end == F ? F : row.comment.size() < 0xFFFF ? 0 : QZ_TOO_LONG) << row.name;
    }
    EXPECT_EQ(tempFiles().size(), temps);
    uint16_t type = 77;
    EXPECT_EQ(Qz4IdentifyFile(dir.file("missing").c_str(), &type), QZ_ERR_FILE);
    EXPECT_EQ(type, 0);
}

// ".ZIP" is added to a name without an extension; with it the name must fit 259 bytes.
TEST(Open, NameRules)
{
    TempDir dir;
    std::string stem = dir.file(std::string(255 - dir.file("").size(), 'n'));
    for (std::string name : {stem + ".ZIP", stem + "n.ZIP", dir.file("data"), dir.file("data.bin")})
        writeFile(name, withComment(""));
    for (std::string name : {std::string(" "), dir.file("*.zip"), dir.file("data"), stem + "n"})
        EXPECT_EQ(OpenArchive(name).result, QZ_ERR_NAME) << name;
    for (std::string name : {stem, dir.file("data.bin"), " \t" + dir.file("data.bin")})
        EXPECT_EQ(OpenArchive(name).result, 0) << name;
    QzHandle h = 123;
    EXPECT_EQ(Qz4ZipOpen(nullptr, 0, &h), QZ_ERR_NAME);
    EXPECT_EQ(h, QZ_INVALID_HANDLE);
}

TEST(Open, ClosedHandlesAreUnknownAndReadCDREmptiesNameAndComment)
{
    TempDir dir;
    std::string path = put(dir, "a.zip", withComment("note"));
#ifndef _WIN32
    qzhost_reset_counters();
#endif
    QzHandle h, other, copy;
    ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &h), 0);
    ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &other), 0);
    copy = h;
    Qz4ZipClose(&h);
    Qz4ZipClose(&h);
    EXPECT_EQ(h, copy);   // the caller's variable is left as it was
    QzEntryRecord rec;
    QzEntryRecordVB32 v;
    char name[261] = "stale", text[64] = "stale";
    uint32_t off = 0;
    EXPECT_EQ(Qz4ReadCDR(h, &off, &rec, name, nullptr, 0, text, sizeof text), QZ_ERR_HANDLE);
    EXPECT_STREQ(name, "");
    EXPECT_STREQ(text, "");
    EXPECT_EQ(Qz4ZipFindFirst(h, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_HANDLE);
    EXPECT_EQ(Qz4ZipFindNextVB32(h, &v, name, nullptr, 0, nullptr, 0), QZ_ERR_HANDLE);
    EXPECT_EQ(Qz4ZipComment(h, text, sizeof text), QZ_ERR_HANDLE);
    EXPECT_EQ(Qz4GetCDR(h), -1);
    EXPECT_EQ(listAll(other).names.size(), 1u);
    Qz4ZipClose(&other);
#ifndef _WIN32
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.blocks + c.handles, 0);
#endif
}

TEST(Open, ManyOpenShareTheTransferBuffersUntilTheLastCloses)
{
    TempDir dir;
    std::string path = put(dir, "a.zip", withComment(""));
    std::vector<QzHandle> hs(300);
    for (QzHandle &h : hs)
        ASSERT_EQ(Qz4ZipOpen(path.c_str(), 0, &h), 0);
    EXPECT_EQ(std::set<QzHandle>(hs.begin(), hs.end()).size(), hs.size());
    uint8_t *in = qz::archive::transferInput();
    ASSERT_TRUE(in && qz::archive::transferOutput());
    for (size_t i = 0; i < hs.size(); ++i) {
        QzHandle &h = hs[i * 7 % hs.size()];   // from the middle of the list as well
        EXPECT_EQ(listAll(h).names.size(), 1u) << i;
        Qz4ZipClose(&h);
        EXPECT_EQ(qz::archive::transferInput(), i + 1 < hs.size() ? in : nullptr) << i;
    }
}

#ifndef _WIN32
// A process that ends with archives open: the unload routine closes the
// newest 255 and deletes their directory files.
TEST(Open, ArchivesOpenAtExitAreClosedWhenTheLibraryUnloads)
{
    TempDir dir;
    std::string path = put(dir, "a.qzv", buildQzvw(2, threeEntries()));
    std::vector<fs::path> before = tempFiles();
    fflush(nullptr);
    pid_t child = fork();
    QzHandle h;
    for (int i = 0; child == 0 && i < 300; ++i)
        if (Qz4ZipOpen(path.c_str(), 0, &h) != 0)
            _exit(2);
    if (child == 0)
        exit(tempFiles().size() == before.size() + 300 ? 0 : 3);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    std::vector<fs::path> left = tempFiles();
    EXPECT_EQ(left.size(), before.size() + 45);
    for (const fs::path &name : left)
        if (std::find(before.begin(), before.end(), name) == before.end())
            fs::remove(name);
}
#endif

}  // namespace
