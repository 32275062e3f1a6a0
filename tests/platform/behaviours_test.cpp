// The Windows behaviours the library relies on.  The same tables run on the
// POSIX layer and under Wine against Windows' own calls; rows marked
// kNotWine show rules that Wine does not follow (it does not refuse a root
// user a read-only file, lets any handle set times and replaces hidden
// files), and are skipped there.
#include "platform_helpers.h"

#include <cstring>

namespace {

using namespace qzplat;

// One call on a folder holding f.txt ("data"), ro (read-only), hid (hidden),
// A.TXT, x.tar.gz and sub\g.txt, while the handle `hold` names (if any) is
// open.  Opens are "access/share/disposition" (r, w, rw / r, w, d, - /
// N new, A always, E existing, O open always, T truncate) and give the last
// error and the file's contents after; finds give the names sorted.
struct FileRow {
    const char *name;
    unsigned marks;
    const char *hold, *op, *path, *arg, *want;
};

const FileRow kFiles[] = {
    {"open a missing file", 0, "", "open", "no.txt", "r/r/E", "2 <missing>"},
    {"open in a missing folder", 0, "", "open", "no\\f", "r/r/E", "3 <missing>"},
    {"create in a missing folder", 0, "", "open", "no\\f", "w/-/A", "3 <missing>"},
    {"open always makes a file", 0, "", "open", "new", "r/r/O", "0 "},
    {"open always finds a file", 0, "", "open", "f.txt", "r/r/O", "183 data"},
    {"create new over a file", 0, "", "open", "f.txt", "w/-/N", "80 data"},
    {"create always replaces", 0, "", "open", "f.txt", "w/-/A", "183 "},
    {"truncate existing", 0, "", "open", "f.txt", "w/-/T", "0 "},
    {"readers sharing reading", 0, "r/r/E f.txt", "open", "f.txt", "r/r/E", "0 data"},
    {"a writer among readers", 0, "r/r/E f.txt", "open", "f.txt", "w/r/E", "32 data"},
    {"denying the open readers", 0, "r/r/E f.txt", "open", "f.txt", "r/-/E", "32 data"},
    {"reading beside a sole writer", 0, "rw/-/E f.txt", "open", "f.txt", "r/rw/E", "32 <missing>"},
    {"deleting an open file", 0, "r/r/E f.txt", "delete", "f.txt", "", "32"},
    {"deleting a file shared for it", 0, "r/rd/E f.txt", "delete", "f.txt", "", "0"},
    {"writing a read-only file", kNotWine, "", "open", "ro", "w/-/E", "5 ro"},
    {"replacing a read-only file", kNotWine, "", "open", "ro", "w/-/A", "5 ro"},
    {"reading a read-only file", 0, "", "open", "ro", "r/r/E", "0 ro"},
    {"deleting a read-only file", kNotWine, "", "delete", "ro", "", "5"},
    {"replacing a hidden file", kNotWine, "", "open", "hid", "w/-/A", "5 h"},
    {"writing a hidden file", 0, "", "open", "hid", "w/-/E", "0 h"},
    {"replacing it as hidden", 0, "", "open", "hid", "w/-/A/2", "183 "},
    {"a new file is to be archived", 0, "", "make", "new", "w/-/N", "20"},
    {"a new file made read-only", kNotWine, "", "make", "new", "w/-/N/1", "21"},
    {"a hidden file replaced as hidden", 0, "", "make", "hid", "w/-/A/2", "22"},
    {"opening a folder", 0, "", "open", "sub", "r/r/E", "5 <missing>"},
    {"deleting a missing file", 0, "", "delete", "no.txt", "", "2"},
    {"a new file", 0, "", "attr", "f.txt", "", "20"},
    {"a file made read-only", 0, "", "attr", "ro", "", "1"},
    {"a folder", 0, "", "attr", "sub", "", "10"},
    {"a missing file", 0, "", "attr", "no", "", "!2"},
    {"a file in a missing folder", 0, "", "attr", "no\\x", "", "!3"},
    {"normal alone", kNotWine, "", "setattr", "f.txt", "80", "80"},
    {"hidden and system", kNotWine, "", "setattr", "f.txt", "6", "6"},
    {"a folder again", 0, "", "mkdir", "sub", "", "183"},
    {"a folder in a missing folder", 0, "", "mkdir", "no\\sub", "", "3"},
    {"slashes", 0, "", "read", "sub/g.txt", "", "g"},
    {"dot components", 0, "", "read", "sub\\.\\..\\sub\\g.txt", "", "g"},
    {"everything with dot entries", 0, "", "find", "*.*", "", ".,..,A.TXT,f.txt,hid,ro,sub,x.tar.gz"},
    {"one mark without case", 0, "", "find", "?.txt", "", "A.TXT,f.txt"},
    {"the last extension", 0, "", "find", "*.gz", "", "x.tar.gz"},
    {"no extension at all", 0, "", "find", "ro.*", "", "ro"},
    {"a plain name as stored", 0, "", "find", "F.TXT", "", "f.txt"},
    {"nothing found", 0, "", "find", "zz*", "", "!2"},
    {"a missing folder", 0, "", "find", "no\\*", "", "!3"},
};

DWORD bits(const std::string &letters, DWORD r, DWORD w, DWORD d) {
    DWORD b = 0;
    for (char c : letters)
        b |= c == 'r' ? r : c == 'w' ? w : c == 'd' ? d : 0;
    return b;
}

// "access/share/disposition[/attributes]" opened; the handle or INVALID_HANDLE_VALUE.
HANDLE open_spec(const std::string &spec, const std::string &name) {
    size_t a = spec.find('/');
    size_t b = spec.find('/', a + 1);
    DWORD access = bits(spec.substr(0, a), GENERIC_READ, GENERIC_WRITE, 0);
    DWORD share = bits(spec.substr(a + 1, b - a - 1), FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_DELETE);
    DWORD disposition = std::string("?NAEOT").find(spec[b + 1]);
    DWORD attrs = spec.size() > b + 2 ? strtoul(spec.c_str() + b + 3, nullptr, 16) : 0;
    return open_file(name, access, share, disposition, attrs);
}

std::string perform(const qztest::TempDir &d, const FileRow &row) {
    std::string p = d.file(row.path);
    std::string op = row.op;
    SetLastError(0);
    if (op == "open" || op == "make") {
        HANDLE h = open_spec(row.arg, p);
        DWORD error = GetLastError();
        CloseHandle(h);
        if (op == "open")
            return std::to_string(error) + " " + read_file(p);
    }
    if (op == "delete")
        return DeleteFileA(p.c_str()) ? "0" : std::to_string(GetLastError());
    if (op == "mkdir")
        return CreateDirectoryA(p.c_str(), nullptr) ? "0" : std::to_string(GetLastError());
    if (op == "setattr")
        SetFileAttributesA(p.c_str(), strtoul(row.arg, nullptr, 16));
    if (op == "attr" || op == "setattr" || op == "make") {
        DWORD a = GetFileAttributesA(p.c_str());
        char hex[16];
        snprintf(hex, sizeof hex, "%lx", (unsigned long)a);
        return a == INVALID_FILE_ATTRIBUTES ? "!" + std::to_string(GetLastError()) : hex;
    }
    return op == "read" ? read_file(p) : find_all(p);
}

TEST(Platform, FileCalls) {
    for (const FileRow &row : kFiles) {
        if ((row.marks & kNotWine) && under_wine())
            continue;
        qztest::TempDir d;
        for (const char *n : {"f.txt/data", "ro/ro", "hid/h", "A.TXT/", "x.tar.gz/", "sub\\g.txt/g"}) {
            std::string s = n;
            CreateDirectoryA(d.file("sub").c_str(), nullptr);
            write_file(d.file(s.substr(0, s.find('/'))), s.substr(s.find('/') + 1));
        }
        SetFileAttributesA(d.file("ro").c_str(), FILE_ATTRIBUTE_READONLY);
        SetFileAttributesA(d.file("hid").c_str(), FILE_ATTRIBUTE_HIDDEN);
        std::string hold = row.hold;
        size_t blank = hold.find(' ');
        std::string holdName = d.file(hold.substr(blank + 1));
        HANDLE held = hold.empty() ? nullptr : open_spec(hold.substr(0, blank), holdName);
        EXPECT_EQ(perform(d, row), row.want) << row.name;
        CloseHandle(held);
        clear_attributes(d);
    }
}

const Row kCalls[] = {
    {"write, seek and truncate", 0, [](const qztest::TempDir &d) {
         HANDLE h = open_file(d.file("f"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
         DWORD n = 0;
         char buf[16];
         EXPECT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr) && n == 10);
         LONG high = 0;
         EXPECT_EQ(SetFilePointer(h, 7, &high, FILE_BEGIN), 7u);
         EXPECT_EQ(SetFilePointer(h, -4, nullptr, FILE_END), 6u);
         EXPECT_TRUE(ReadFile(h, buf, 16, &n, nullptr) && n == 4);   // up to the end
         EXPECT_TRUE(ReadFile(h, buf, 16, &n, nullptr) && n == 0);   // at the end: nothing, no error
         EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_CURRENT), 5u);
         EXPECT_TRUE(SetEndOfFile(h));
         EXPECT_EQ(GetFileSize(h, nullptr), 5u);
         EXPECT_EQ(SetFilePointer(h, -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);
         HANDLE w = open_file(d.file("w"), GENERIC_WRITE, 0, CREATE_NEW);
         EXPECT_FALSE(ReadFile(w, buf, 1, &n, nullptr));
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
         CloseHandle(w);
         EXPECT_TRUE(CloseHandle(h));
         EXPECT_FALSE(CloseHandle(h));
         EXPECT_EQ(read_file(d.file("f")), "01234");
     }},
    // Each call given "name." or "name " reaches the file "name", so that
    // the search before a create sees the file the create will replace.
    {"trailing dots and blanks name the same file", 0, [](const qztest::TempDir &d) {
         std::string folder = "d";
         for (const std::string suffix : {".", " ", ". .", "..."}) {
             SCOPED_TRACE("[" + suffix + "]");
             std::string odd = d.file("f.txt" + suffix);
             folder += "d";
             ASSERT_TRUE(write_file(d.file("f.txt"), "data"));
             EXPECT_EQ(find_all(odd), "f.txt");
             EXPECT_EQ(read_file(odd), "data");
             EXPECT_EQ(open_error(odd, GENERIC_WRITE, 0, CREATE_NEW), (DWORD)ERROR_FILE_EXISTS);
             EXPECT_TRUE(SetFileAttributesA(odd.c_str(), FILE_ATTRIBUTE_HIDDEN));
             EXPECT_TRUE(GetFileAttributesA(d.file("f.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN);
             EXPECT_TRUE(DeleteFileA(odd.c_str()));
             EXPECT_EQ(GetFileAttributesA(d.file("f.txt").c_str()), INVALID_FILE_ATTRIBUTES);
             EXPECT_TRUE(CreateDirectoryA(d.file(folder + suffix).c_str(), nullptr));
             EXPECT_EQ(GetFileAttributesA(d.file(folder).c_str()), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
         }
     }},
    {"times", kNotWine, [](const qztest::TempDir &d) {
         FILETIME set;
         FILETIME bad;
         ASSERT_TRUE(DosDateTimeToFileTime(0x2C21, 0x6000, &set));   // 2002-01-01 12:00:00
         FILETIME want = {0xD6996000, 0x01C192BB};
         EXPECT_EQ(CompareFileTime(&set, &want), 0);
         EXPECT_FALSE(DosDateTimeToFileTime((10 << 9) | (4 << 5) | 31, 0, &bad));   // 31 April
         EXPECT_FALSE(DosDateTimeToFileTime(0x21, 30, &bad));                     // 60 seconds
         HANDLE h = open_file(d.file("t"), GENERIC_READ, 0, CREATE_ALWAYS);
         EXPECT_FALSE(SetFileTime(h, nullptr, nullptr, &set));   // needs write access
         CloseHandle(h);
         h = open_file(d.file("t"), GENERIC_WRITE, 0, CREATE_ALWAYS);
         ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &set));
         CloseHandle(h);
         WIN32_FIND_DATAA fd;
         FindClose(FindFirstFileA(d.file("t").c_str(), &fd));
         EXPECT_EQ(CompareFileTime(&fd.ftLastWriteTime, &set), 0);
         FILETIME later = {0, set.dwHighDateTime + 1};
         EXPECT_EQ(CompareFileTime(&set, &later), -1);   // the high word decides first
     }},
    {"strings and page 1252", 0, [](const qztest::TempDir &) {
         char buf[8];
         lstrcpynA(buf, "abcdef", 4);   // at most max - 1 characters, terminated
         EXPECT_STREQ(buf, "abc");
         EXPECT_GT(lstrcmpA("abd", "abc"), 0);
         for (int c = 1; c < 256; ++c) {
             bool lower = (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
             int odd = c == 0x9A ? 0x8A : c == 0x9C ? 0x8C : c == 0x9E ? 0x8E : c == 0xFF ? 0x9F : c;
             char s[2] = {(char)c, 0};
             CharUpperA(s);
             EXPECT_EQ((unsigned char)s[0], lower ? c - 32 : odd) << "byte " << c;
         }
         EXPECT_EQ((uintptr_t)CharUpperA((LPSTR)(uintptr_t)0xE9), 0xC9u);   // one character, not a string
         const char *s = "a\xE9";
         EXPECT_EQ(CharNextA(s + 2), s + 2);   // never past the terminator
         EXPECT_EQ(CharPrevA(s, s + 2), s + 1);
         EXPECT_EQ(CharPrevA(s, s), s);
     }},
    {"OEM and ANSI code pages", 0, [](const qztest::TempDir &) {
         char text[] = "\x81\x8E\xE1\xC9\xCD";   // üÄß╔═
         OemToCharA(text, text);
         EXPECT_STREQ(text, "\xFC\xC4\xDF+-");
         char euro[] = "\x80\xC0";   // € has no equivalent, À becomes A
         CharToOemA(euro, euro);
         EXPECT_STREQ(euro, "?A");
     }},
    {"global and heap memory", 0, [](const qztest::TempDir &) {
         HGLOBAL h = GlobalAlloc(GHND, 64);
         char *p = (char *)GlobalLock(h);
         strcpy(p, "kept");
         EXPECT_TRUE(GlobalUnlock(h) == FALSE && GetLastError() == 0);
         EXPECT_EQ(GlobalReAlloc(h, 100000, GMEM_MOVEABLE | GMEM_ZEROINIT), h);
         p = (char *)GlobalLock(h);
         EXPECT_STREQ(p, "kept");
         EXPECT_EQ(p[99999], 0);
         EXPECT_EQ(GlobalFree(h), nullptr);
         p = (char *)HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, HeapAlloc(GetProcessHeap(), 0, 5), 5000);
         EXPECT_EQ(p[4999], 0);
         EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, p));
     }},
    {"temporary names and folders", 0, [](const qztest::TempDir &d) {
         char path[MAX_PATH];
         char name[MAX_PATH];
         DWORD n = GetTempPathA(sizeof path, path);
         EXPECT_EQ(path[n - 1], '\\');
         ASSERT_NE(GetTempFileNameA(d.path().c_str(), "QVWXYZ", 0, name), 0u);
         EXPECT_EQ(read_file(name), "");   // made, empty
         EXPECT_NE(find_all(d.file("QVW*.TMP")), "!2");
         EXPECT_EQ(find_all(d.file("QVWX*")), "!2");   // only the prefix's first three characters
         EXPECT_EQ(GetTempFileNameA(d.path().c_str(), "QVW", 0x1A2B, name), 0x1A2Bu);
         EXPECT_EQ(GetFileAttributesA(name), INVALID_FILE_ATTRIBUTES);   // a given number makes nothing
         n = GetCurrentDirectoryA(sizeof path, path);
         EXPECT_EQ(std::string(path, 3).substr(1), ":\\");
         EXPECT_EQ(GetCurrentDirectoryA(2, path), n + 1);   // too small: the size needed
     }},
};

TEST(Platform, OtherCalls) {
    run_rows(kCalls, sizeof kCalls / sizeof kCalls[0]);
}

}  // namespace
