// The Windows behaviours the library relies on, run on the POSIX layer and
// under Wine against Windows' own calls; then what only the POSIX layer has,
// through its controls (platform/host.h).
#include "platform/extensions.h"
#include "platform/win32.h"
#include "support/temp_dir.h"
#ifndef _WIN32
#include "platform/host.h"
#include "support/no_terminal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <string>
#include <set>
#include <vector>

namespace {

HANDLE open_file(const std::string &name, DWORD access, DWORD share, DWORD disposition, DWORD attrs = 0) {
    return CreateFileA(name.c_str(), access, share, nullptr, disposition, attrs, nullptr);
}

bool write_file(const std::string &name, const std::string &data) {
    HANDLE h = open_file(name, GENERIC_WRITE, 0, CREATE_ALWAYS);
    DWORD written = 0;
    bool ok = WriteFile(h, data.data(), (DWORD)data.size(), &written, nullptr);
    CloseHandle(h);
    return ok;
}

std::string read_file(const std::string &name) {
    HANDLE h = open_file(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    char buf[4096];
    DWORD got = 0;
    std::string out = h == INVALID_HANDLE_VALUE ? "<missing>" : "";
    while (h != INVALID_HANDLE_VALUE && ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

// The names found, sorted and joined by commas, or "!" and the error.
std::string find_all(const std::string &pattern) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return "!" + std::to_string(GetLastError());
    std::set<std::string> names;
    do
        names.insert(fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    std::string joined;
    for (const std::string &n : names)
        joined += (joined.empty() ? "" : ",") + n;
    return joined;
}

// One call in a folder holding f.txt ("data"), ro (read-only), hid (hidden),
// A.TXT, x.tar.gz and sub\g.txt, while f.txt is open as `hold` says (if at
// all).  Opens are "access/share/disposition[/attributes]" (r, w, rw / r, w,
// d, - / N new, A always, E existing, O open always) and give the last error
// and the contents after ("attr": the attributes after).
struct FileRow {
    const char *name, *hold, *op, *path, *arg, *want;
};

const FileRow kFiles[] = {
    {"open a missing file", "", "open", "no.txt", "r/r/E", "2 <missing>"},
    {"open in a missing folder", "", "open", "no\\f", "w/-/A", "3 <missing>"},
    {"open always finds a file", "", "open", "f.txt", "r/r/O", "183 data"},
    {"create always replaces", "", "open", "f.txt", "w/-/A", "183 "},
    {"a writer among readers", "r/r/E", "open", "f.txt", "w/r/E", "32 data"},
    {"denying the open readers", "r/r/E", "open", "f.txt", "r/-/E", "32 data"},
    {"reading beside a sole writer", "rw/-/E", "open", "f.txt", "r/rw/E", "32 <missing>"},
    {"deleting an open file", "r/r/E", "delete", "f.txt", "", "32"},
    {"replacing it as hidden", "", "open", "hid", "w/-/A/2", "183 "},
    {"a new file is to be archived", "", "attr", "new", "w/-/N", "20"},
    {"opening a folder", "", "open", "sub", "r/r/E", "5 <missing>"},
    {"dot components", "", "open", "sub/.\\..\\sub/g.txt", "", "0 g"},
    {"everything with dot entries", "", "find", "*.*", "", ".,..,A.TXT,f.txt,hid,ro,sub,x.tar.gz"},
    {"one mark without case", "", "find", "?.txt", "", "A.TXT,f.txt"},
    {"no extension at all", "", "find", "ro.*", "", "ro"},
    {"a plain name as stored", "", "find", "F.TXT", "", "f.txt"},
    {"nothing found", "", "find", "zz*", "", "!2"},
    {"a missing folder", "", "find", "no\\*", "", "!3"},
#ifndef _WIN32   // Wine lets a root user write a read-only file, and replaces hidden files
    {"writing a read-only file", "", "open", "ro", "w/-/E", "5 ro"},
    {"deleting a read-only file", "", "delete", "ro", "", "5"},
    {"replacing a hidden file", "", "open", "hid", "w/-/A", "5 h"},
    {"a new file made read-only", "", "attr", "new", "w/-/N/1", "21"},
#endif
};

DWORD bits(const std::string &letters, DWORD r, DWORD w, DWORD d) {
    DWORD b = 0;
    for (char c : letters)
        b |= c == 'r' ? r : c == 'w' ? w : c == 'd' ? d : 0;
    return b;
}

HANDLE open_with(const std::string &how, const std::string &name) {
    size_t a = how.find('/');
    size_t b = how.find('/', a + 1);
    DWORD access = bits(how.substr(0, a), GENERIC_READ, GENERIC_WRITE, 0);
    DWORD share = bits(how.substr(a + 1, b - a - 1), FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_DELETE);
    DWORD attrs = how.size() > b + 2 ? strtoul(how.c_str() + b + 3, nullptr, 16) : 0;
    return open_file(name, access, share, (DWORD)std::string("?NAEOT").find(how[b + 1]), attrs);
}

std::string perform(const std::string &p, const FileRow &row) {
    std::string op = row.op;
    SetLastError(0);
    if (op == "delete")
        return DeleteFileA(p.c_str()) ? "0" : std::to_string(GetLastError());
    if (op == "find")
        return find_all(p);
    HANDLE h = *row.arg ? open_with(row.arg, p) : INVALID_HANDLE_VALUE;
    DWORD error = GetLastError();
    CloseHandle(h);
    if (op == "open")
        return std::to_string(error) + " " + read_file(p);
    DWORD a = GetFileAttributesA(p.c_str());
    char hex[16];
    snprintf(hex, sizeof hex, "%lx", (unsigned long)a);
    return a == INVALID_FILE_ATTRIBUTES ? "!" + std::to_string(GetLastError()) : hex;
}

TEST(Platform, FileCalls) {
    for (const FileRow &row : kFiles) {
        qztest::TempDir d;
        CreateDirectoryA(d.file("sub").c_str(), nullptr);
        for (const char *n : {"f.txt/data", "ro/ro", "hid/h", "A.TXT/", "x.tar.gz/", "sub\\g.txt/g"}) {
            std::string s = n;
            write_file(d.file(s.substr(0, s.find('/'))), s.substr(s.find('/') + 1));
        }
        SetFileAttributesA(d.file("ro").c_str(), FILE_ATTRIBUTE_READONLY);
        SetFileAttributesA(d.file("hid").c_str(), FILE_ATTRIBUTE_HIDDEN);
        HANDLE held = *row.hold ? open_with(row.hold, d.file("f.txt")) : nullptr;
        EXPECT_EQ(perform(d.file(row.path), row), row.want) << row.name;
        CloseHandle(held);
        for (const char *n : {"ro", "new", "f.txt"})   // Windows keeps a folder holding a read-only file
            SetFileAttributesA(d.file(n).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// Attributes and a Unix mode given through the handle of a new file before
// it is closed, as extraction gives them, also after a change by name.
TEST(Platform, AttributesThroughTheHandle) {
    const struct {
        const char *name;
        DWORD byName, attributes;
        uint32_t mode;
        DWORD want;
        unsigned wantMode;   // on POSIX, under umask 022
    } rows[] = {
        {"archive", 0, 0x20, 0100644, 0x20, 0644},
        {"read-only, hidden and system", 0, 0x27, 0, 0x27, 0444},
        {"after hidden by name", FILE_ATTRIBUTE_HIDDEN, 0x20, 0, 0x20, 0644},
        {"mode under the umask", 0, 0x20, 0104777, 0x20, 0755},
        {"plain bits", 0, 0x20, 0755, 0x20, 0755},
    };
#ifndef _WIN32
    mode_t old = umask(022);
#endif
    qz::platform::beginOutput();
    qztest::TempDir d;
    for (const auto &row : rows) {
        std::string name = d.file("f");
        HANDLE h = open_file(name, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_ARCHIVE);
        if (row.byName)
            SetFileAttributesA(name.c_str(), row.byName);
        EXPECT_TRUE(qz::platform::setOpenFileAttributes(h, name.c_str(), row.attributes)) << row.name;
        if (row.mode)
            EXPECT_TRUE(qz::platform::setOpenFileMode(h, row.mode)) << row.name;
        CloseHandle(h);
        EXPECT_EQ(GetFileAttributesA(name.c_str()) & 0x27, row.want) << row.name;
#ifndef _WIN32
        struct stat st;
        EXPECT_EQ(stat(name.c_str(), &st) == 0 ? st.st_mode & 07777 : 0, row.wantMode) << row.name;
#endif
        SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(name.c_str());
    }
#ifndef _WIN32
    umask(old);
#endif
}

TEST(Platform, WriteSeekAndTruncate) {
    qztest::TempDir d;
    HANDLE h = open_file(d.file("f"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    DWORD n = 0;
    WriteFile(h, "0123456789", 10, &n, nullptr);
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(h, 7, &high, FILE_BEGIN), 7u);
    EXPECT_EQ(SetFilePointer(h, -4, nullptr, FILE_END), 6u);
    EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_CURRENT), 5u);
    EXPECT_TRUE(SetEndOfFile(h));
    EXPECT_EQ(SetFilePointer(h, -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);
#ifndef _WIN32
    qzhost_disk_full_after(5);   // what fits is written, then the disk is full
    EXPECT_TRUE(WriteFile(h, "abc", 3, &n, nullptr));
    EXPECT_FALSE(WriteFile(h, "defg", 4, &n, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    EXPECT_EQ(n, 2u);
    qzhost_reset();
#endif
    CloseHandle(h);
    EXPECT_EQ(read_file(d.file("f")).substr(0, 5), "01234");
}

// Each call given "name." or "name " reaches the file "name", so that the
// search before a create sees the file the create will replace.
TEST(Platform, TrailingDotsAndBlanksNameTheSameFile) {
    qztest::TempDir d;
    std::string folder = "d";
    for (const std::string suffix : {".", " ", ". .", "..."}) {
        SCOPED_TRACE("[" + suffix + "]");
        std::string odd = d.file("f.txt" + suffix);
        folder += "d";
        ASSERT_TRUE(write_file(d.file("f.txt"), "data"));
        EXPECT_EQ(find_all(odd), "f.txt");
        EXPECT_EQ(read_file(odd), "data");
        HANDLE h = open_file(odd, GENERIC_WRITE, 0, CREATE_NEW);
        EXPECT_EQ(h == INVALID_HANDLE_VALUE ? GetLastError() : 0, (DWORD)ERROR_FILE_EXISTS);
        EXPECT_TRUE(SetFileAttributesA(odd.c_str(), FILE_ATTRIBUTE_HIDDEN));
        EXPECT_TRUE(GetFileAttributesA(d.file("f.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN);
        EXPECT_TRUE(DeleteFileA(odd.c_str()));
        EXPECT_EQ(GetFileAttributesA(d.file("f.txt").c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(CreateDirectoryA(d.file(folder + suffix).c_str(), nullptr));
        EXPECT_EQ(GetFileAttributesA(d.file(folder).c_str()), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    }
}

TEST(Platform, TemporaryNames) {
    qztest::TempDir d;
    char path[MAX_PATH];
    char name[MAX_PATH];
    ASSERT_NE(GetTempFileNameA(d.path().c_str(), "QVWXYZ", 0, name), 0u);
    EXPECT_EQ(find_all(d.file("QVWX*")), "!2");   // only the prefix's first three characters
#ifndef _WIN32
    ASSERT_EQ(qzhost_set_temp_path(d.path().c_str()), 0);   // a host path, given in the drive form
#endif
    DWORD n = GetTempPathA(sizeof path, path);
    EXPECT_EQ(path[n - 1], '\\');
    EXPECT_EQ(path[1], ':') << path;
    ASSERT_NE(GetTempFileNameA(path, "QVW", 0, name), 0u);
    EXPECT_NE(find_all(std::string(path) + "QVW*.TMP"), "!2") << path;
    DeleteFileA(name);
#ifndef _WIN32
    qzhost_reset();
#endif
}

}  // namespace

// What only the POSIX layer has (its controls have no Windows form).
#ifndef _WIN32

namespace {

class Host : public testing::Test {
protected:
    void TearDown() override { qzhost_reset(); }
    qztest::TempDir d;
};

std::string label_of(const char *root) {
    char label[32] = "";
    GetVolumeInformationA(root, label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0);
    return label;
}

TEST_F(Host, Labels) {
    ASSERT_EQ(qzhost_map_drive('A', d.path().c_str(), DRIVE_REMOVABLE, "PKBACK# 001"), 0);
    EXPECT_EQ(label_of("a:\\"), "PKBACK# 001");
    EXPECT_FALSE(SetVolumeLabelA("A:\\", "TWELVE CHARS"));   // FAT labels hold 11
    ASSERT_EQ(qzhost_set_current_drive('A'), 0);
    ASSERT_TRUE(SetVolumeLabelA(nullptr, "CURRENT"));   // null: the current drive
    EXPECT_EQ(label_of("A:\\"), "CURRENT");
}

// A file made by someone else has no stored DOS bits; read-only is the
// owner's write bit, whoever we are.
TEST_F(Host, DosBitsWithoutTheExtendedAttribute) {
    std::ofstream(d.file("plain")) << "p";
    EXPECT_EQ(GetFileAttributesA(d.file("plain").c_str()), (DWORD)FILE_ATTRIBUTE_NORMAL);
    chmod(d.file("plain").c_str(), 0444);
    EXPECT_EQ(GetFileAttributesA(d.file("plain").c_str()), (DWORD)FILE_ATTRIBUTE_READONLY);
}

// A closed handle fails, and its slot is free again.
TEST_F(Host, HandleSlots) {
    HANDLE a = open_file(d.file("h"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    CloseHandle(a);
    EXPECT_FALSE(CloseHandle(a));
    for (int i = 0; i < 5000; ++i)
        CloseHandle(open_file(d.file("h"), GENERIC_READ, 0, OPEN_EXISTING));
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.handles, 0);
}

// The version record is found by its key anywhere in a file, here at its
// very start.
TEST_F(Host, VersionRecordOfAnyFile) {
    std::string record("\x5C\0\x34\0\0\0V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0\0\0\0\0", 40);
    uint32_t fixed[13] = {0xFEEF04BDu, 0x10000u, 0x10002u, 0x30004u};
    record.append((const char *)fixed, sizeof fixed);
    ASSERT_TRUE(write_file(d.file("v.bin"), record + std::string(100, 'y')));
    std::vector<char> data(GetFileVersionInfoSizeA(d.file("v.bin").c_str(), nullptr) + 1);
    ASSERT_TRUE(GetFileVersionInfoA(d.file("v.bin").c_str(), 0, (DWORD)data.size(), data.data()));
    VS_FIXEDFILEINFO *info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", (LPVOID *)&info, &length));
    EXPECT_EQ(info->dwFileVersionLS, 0x30004u);
}

// With no responder and no terminal nobody can act on a box: it is answered
// with the button that changes nothing, whatever the default.
TEST_F(Host, WithNobodyToAskTheBoxChangesNothing) {
    qztest::NoTerminalInput noTerminal;
    const UINT styles[] = {MB_OK, MB_OKCANCEL, MB_YESNO, MB_YESNOCANCEL,
                           MB_ABORTRETRYIGNORE | MB_DEFBUTTON3};
    const int answers[] = {IDOK, IDCANCEL, IDNO, IDCANCEL, IDABORT};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(MessageBoxA(nullptr, "x", nullptr, styles[i]), answers[i]) << styles[i];
}

// Files made in the extension mode, from the scratch folder as the process
// folder: what the file system then holds, and what a search finds.
struct ModeNameRow {
    const char *name;
    uint32_t flags;
    std::vector<std::string> creates;
    const char *pattern, *host, *found;
};

const ModeNameRow kModeNames[] = {
    {"UTF-8 names pass as they are", QZ_EXT_UTF8_NAMES, {"\xC3\xA9\xE4\xB8\xAD.txt"}, "??.txt",
     "\xC3\xA9\xE4\xB8\xAD.txt", "\xC3\xA9\xE4\xB8\xAD.txt"},
    {"two names that differ in case", QZ_EXT_POSIX_NAMES, {"A.txt", "a.txt"}, "a.*", "A.txt,a.txt", "a.txt"},
    {"without the mode they are one", 0, {"A.txt", "a.txt"}, "a.*", "A.txt", "A.txt"},
    {"characters Windows refuses", QZ_EXT_POSIX_NAMES, {"a:b?\"c"}, "a*", "a:b?\"c", "a:b?\"c"},
    {"a drive letter and a name", QZ_EXT_POSIX_NAMES, {"c:foo"}, "c:*", "c:foo", "c:foo"},
    {"trailing dots and spaces", QZ_EXT_POSIX_NAMES, {"end. "}, "end*", "end. ", "end. "},
};

TEST_F(Host, NamesInTheExtensionMode) {
    std::string home = std::filesystem::current_path();
    for (const ModeNameRow &row : kModeNames) {
        qztest::TempDir t;
        ASSERT_EQ(chdir(t.path().c_str()), 0);
        QzSetExtensions(row.flags);
        for (const std::string &n : row.creates)
            EXPECT_TRUE(write_file(n, "x")) << row.name << " " << GetLastError();
        std::set<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(t.path()))
            names.insert(e.path().filename());
        std::string host;
        for (const std::string &n : names)
            host += (host.empty() ? "" : ",") + n;
        EXPECT_EQ(host, row.host) << row.name;
        EXPECT_EQ(find_all(row.pattern), row.found) << row.name;
        QzSetExtensions(0);
        ASSERT_EQ(chdir(home.c_str()), 0);
    }
}

// The UTF-8 page has no double-byte characters; the page chosen before it
// comes back when the mode ends.
TEST_F(Host, TheChosenPageComesBack) {
    ASSERT_EQ(qzhost_set_codepage(932), 0);
    QzSetExtensions(QZ_EXT_UTF8_NAMES);
    EXPECT_FALSE(IsDBCSLeadByte(0x81));
    QzSetExtensions(0);
    EXPECT_TRUE(IsDBCSLeadByte(0x81));
}

// A folder read under one page is searched under the page chosen since.
TEST_F(Host, KeptReadingsFollowThePage) {
    std::ofstream(d.file("\xC3\xA9t\xC3\xA9.txt")) << "x";
    EXPECT_NE(GetFileAttributesA(d.file("\xC9T\xC9.TXT").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_EQ(qzhost_set_codepage(932), 0);
    EXPECT_NE(GetFileAttributesA(d.file("\xC3\xA9T\xC3\xA9.TXT").c_str()), INVALID_FILE_ATTRIBUTES);
}

struct StoredRow {
    const char *name, *stored;
    bool utf8;
    size_t size;
    const char *want;
    bool whole;
};

const StoredRow kStored[] = {
    {"page 437", "caf\x82 \xC9\xCD", false, 32, "caf\xC3\xA9 \xE2\x95\x94\xE2\x95\x90", true},
    {"page 437 without room", "caf\x82", false, 5, "caf", false},
    {"valid UTF-8", "\xC3\xA9\xE4\xB8\xAD", true, 32, "\xC3\xA9\xE4\xB8\xAD", true},
    {"invalid UTF-8", "a\xFF\xC3(\xED\xA0\x80", true, 32, "a__(___", true},
    {"UTF-8 without room", "\xE4\xB8\xAD\xE4\xB8\xAD", true, 5, "\xE4\xB8\xAD", false},
};

TEST_F(Host, StoredNamesInTheAnsiPage) {
    for (const StoredRow &row : kStored) {
        char out[32];
        bool whole = qz::platform::storedToAnsi(row.stored, strlen(row.stored), row.utf8, out, row.size);
        EXPECT_EQ(whole, row.whole) << row.name;
        EXPECT_EQ(std::string(out), row.want) << row.name;
    }
}

// With Unix modes read, a file is never written through a link.
TEST_F(Host, WritingNeverFollowsALink) {
    QzSetExtensions(QZ_EXT_UNIX_MODES);
    ASSERT_TRUE(write_file(d.file("m"), "m"));
    ASSERT_EQ(symlink(d.file("m").c_str(), d.file("link").c_str()), 0);
    HANDLE h = open_file(d.file("link"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(h == INVALID_HANDLE_VALUE ? GetLastError() : 0, (DWORD)ERROR_ACCESS_DENIED);
    CloseHandle(h);
    EXPECT_EQ(read_file(d.file("m")), "m");
    QzSetExtensions(0);
}

// A search without case after a change to the folder, by the layer or by
// another hand, finds what the folder then holds, although the folder was
// read (and its time set back, so that the reading may be kept) just before;
// so does a lookup of the name the search missed.
struct ChangeRow {
    const char *name, *change, *want;
};

const ChangeRow kChanges[] = {
    {"the layer makes a file", "make", "Late.txt"},
    {"the layer deletes it", "delete", "!2"},
    {"the layer makes a folder", "folder", "Late.txt"},
    {"another hand makes a file", "other make", "Late.txt"},
    {"another hand renames one", "other rename", "Late.txt"},
    {"another hand deletes it", "other delete", "!2"},
    {"another hand makes the folder anew", "other anew", "Late.txt"},
};

TEST_F(Host, SearchesSeeEveryChange) {
    for (const ChangeRow &row : kChanges) {
        qztest::TempDir t;
        std::string change = row.change, late = t.file("Late.txt");
        if (change == "delete" || change == "other delete" || change == "other rename")
            std::ofstream(change == "other rename" ? t.file("early") : late) << "x";
        struct timespec old[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, t.path().c_str(), old, 0), 0);
        find_all(t.file("LATE.TXT"));
        if (change == "make")
            EXPECT_TRUE(write_file(late, "x"));
        if (change == "delete")
            EXPECT_TRUE(DeleteFileA(late.c_str()));
        if (change == "folder")
            EXPECT_TRUE(CreateDirectoryA(late.c_str(), nullptr));
        if (change == "other make")
            std::ofstream(late) << "x";
        if (change == "other rename")
            std::filesystem::rename(t.file("early"), late);
        if (change == "other delete")
            std::filesystem::remove(late);
        if (change == "other anew") {
            std::filesystem::remove_all(t.path());
            std::filesystem::create_directory(t.path());
            std::ofstream(late) << "x";
        }
        EXPECT_EQ(GetFileAttributesA(t.file("LATE.TXT").c_str()) != INVALID_FILE_ATTRIBUTES, *row.want != '!')
            << row.name;
        EXPECT_EQ(find_all(t.file("LATE.TXT")), row.want) << row.name;
        EXPECT_EQ(GetFileAttributesA(t.file("late.txt").c_str()) != INVALID_FILE_ATTRIBUTES, *row.want != '!')
            << row.name;
    }
}

// A handle that only reads reads ahead; what another handle writes, before
// or after the reader opened, is what the reader gets.
TEST_F(Host, ReadersSeeWhatWritersWrite) {
    for (bool writerFirst : {false, true}) {
        ASSERT_TRUE(write_file(d.file("f"), "0123456789"));
        HANDLE w = writerFirst ? open_file(d.file("f"), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           OPEN_EXISTING) : nullptr;
        HANDLE r = open_file(d.file("f"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        char buf[5] = "";
        DWORD n = 0;
        EXPECT_TRUE(ReadFile(r, buf, 4, &n, nullptr));
        if (!writerFirst)
            w = open_file(d.file("f"), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        SetFilePointer(w, 4, nullptr, FILE_BEGIN);
        EXPECT_TRUE(WriteFile(w, "abcd", 4, &n, nullptr));
        SetFilePointer(r, 2, nullptr, FILE_BEGIN);
        EXPECT_TRUE(ReadFile(r, buf, 4, &n, nullptr));
        EXPECT_EQ(std::string(buf, n), "23ab") << (writerFirst ? "writer first" : "reader first");
        CloseHandle(r);
        CloseHandle(w);
    }
}

// With POSIX names files and folders are made without a look first: the
// answers are those of the look.
struct MadeRow {
    const char *name, *path;
    bool folder;
    DWORD want;
};

const MadeRow kMade[] = {
    {"a new file", "new", false, ERROR_SUCCESS},
    {"a file that is there", "f", false, ERROR_FILE_EXISTS},
    {"a file in a missing folder", "no/new", false, ERROR_PATH_NOT_FOUND},
    {"a file below a file", "f/new", false, ERROR_PATH_NOT_FOUND},
    {"a new folder", "dir", true, ERROR_SUCCESS},
    {"a folder that is there", "f", true, ERROR_ALREADY_EXISTS},
    {"a folder in a missing folder", "no/dir", true, ERROR_PATH_NOT_FOUND},
};

TEST_F(Host, MadeAtOnceWithPosixNames) {
    QzSetExtensions(QZ_EXT_POSIX_NAMES);
    for (const MadeRow &row : kMade) {
        qztest::TempDir t;
        std::ofstream(t.file("f")) << "f";
        SetLastError(0);
        std::string p = t.file(row.path);
        HANDLE h = row.folder ? nullptr : open_file(p, GENERIC_WRITE, 0, CREATE_NEW);
        if (row.folder)
            CreateDirectoryA(p.c_str(), nullptr);
        EXPECT_EQ(GetLastError(), row.want) << row.name;
        CloseHandle(h);
    }
    QzSetExtensions(0);
}

// The layer keeps no state that is torn down at exit: an ELF destructor
// (where the library closes the archives still open) may still call it.  A
// failure here turns the exit status of the test program into 97.
__attribute__((destructor)) void use_the_layer_while_exiting() {
    char tmp[MAX_PATH];
    char name[MAX_PATH];
    bool ok = GetTempPathA(sizeof tmp, tmp) > 0 && GetTempFileNameA(tmp, "QVW", 0, name) != 0;
    if (!ok || !DeleteFileA(name))
        _exit(97);
}

}  // namespace

#endif
