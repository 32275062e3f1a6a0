// The Windows behaviours the library relies on, one row each.  The same
// table runs on the POSIX layer and under Wine against Windows' own calls;
// rows marked kNotWine show rules that Wine does not follow (it cannot
// refuse a root user a read-only file, it lets any handle set times and
// replace hidden files), and those are skipped there.
#include "platform_helpers.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using namespace qzplat;

// Every name a search yields, sorted and joined with ','; "!" and the error
// when it fails.
std::string find_all(const std::string &pattern) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return "!" + std::to_string(GetLastError());
    std::vector<std::string> names;
    do
        names.push_back(fd.cFileName);
    while (FindNextFileA(h, &fd));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
    FindClose(h);
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string &n : names)
        joined += (joined.empty() ? "" : ",") + n;
    return joined;
}

const uint64_t k1980 = 119600064000000000ull;   // 1980-01-01 00:00:00 in FILETIME ticks

const Row kBehaviours[] = {
    {"write, seek and truncate", 0, [](const qztest::TempDir &d) {
         HANDLE h = open(d.file("f"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
         DWORD n = 0;
         char buf[16];
         EXPECT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr) && n == 10);
         EXPECT_EQ(SetFilePointer(h, 3, nullptr, FILE_BEGIN), 3u);
         EXPECT_TRUE(ReadFile(h, buf, 4, &n, nullptr));
         EXPECT_EQ(std::string(buf, n), "3456");
         EXPECT_EQ(SetFilePointer(h, -2, nullptr, FILE_END), 8u);
         EXPECT_TRUE(ReadFile(h, buf, 16, &n, nullptr) && n == 2);   // up to the end
         EXPECT_TRUE(ReadFile(h, buf, 16, &n, nullptr) && n == 0);   // at the end: nothing, no error
         EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_CURRENT), 5u);
         EXPECT_TRUE(SetEndOfFile(h));
         EXPECT_EQ(GetFileSize(h, nullptr), 5u);
         EXPECT_EQ(SetFilePointer(h, -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);
         EXPECT_TRUE(CloseHandle(h));
         EXPECT_EQ(read_file(d.file("f")), "01234");
     }},
    {"dispositions", 0, [](const qztest::TempDir &d) {
         std::string f = d.file("f.txt");
         EXPECT_EQ(open_error(f, GENERIC_READ, 0, OPEN_EXISTING), (DWORD)ERROR_FILE_NOT_FOUND);
         EXPECT_EQ(open_error(d.file("no\\f"), GENERIC_READ, 0, OPEN_EXISTING), (DWORD)ERROR_PATH_NOT_FOUND);
         EXPECT_EQ(open_error(d.file("no\\f"), GENERIC_WRITE, 0, CREATE_ALWAYS), (DWORD)ERROR_PATH_NOT_FOUND);
         EXPECT_EQ(open_error(f, GENERIC_READ, 0, OPEN_ALWAYS), 0u);   // made
         EXPECT_EQ(open_error(f, GENERIC_READ, 0, OPEN_ALWAYS), (DWORD)ERROR_ALREADY_EXISTS);
         EXPECT_EQ(open_error(f, GENERIC_WRITE, 0, CREATE_NEW), (DWORD)ERROR_FILE_EXISTS);
         ASSERT_TRUE(write_file(f, "long content"));
         EXPECT_EQ(open_error(f, GENERIC_WRITE, 0, CREATE_ALWAYS), (DWORD)ERROR_ALREADY_EXISTS);
         EXPECT_EQ(read_file(f), "");
         ASSERT_TRUE(write_file(f, "abc"));
         EXPECT_EQ(open_error(f, GENERIC_WRITE, 0, TRUNCATE_EXISTING), 0u);
         EXPECT_EQ(read_file(f), "");
     }},
    {"share modes", 0, [](const qztest::TempDir &d) {
         std::string f = d.file("shared");
         ASSERT_TRUE(write_file(f, "x"));
         HANDLE a = open(f, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
         EXPECT_EQ(open_error(f, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), 0u);
         EXPECT_EQ(open_error(f, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING), (DWORD)ERROR_SHARING_VIOLATION);
         EXPECT_EQ(open_error(f, GENERIC_READ, 0, OPEN_EXISTING), (DWORD)ERROR_SHARING_VIOLATION);
         EXPECT_FALSE(DeleteFileA(f.c_str()));
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
         CloseHandle(a);
         a = open(f, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
         EXPECT_TRUE(DeleteFileA(f.c_str()));
         CloseHandle(a);
         EXPECT_EQ(GetFileAttributesA(f.c_str()), INVALID_FILE_ATTRIBUTES);
     }},
    {"access rights of a handle", kNotWine, [](const qztest::TempDir &d) {
         HANDLE h = open(d.file("f"), GENERIC_WRITE, 0, CREATE_ALWAYS);
         char buf[4];
         DWORD n = 77;
         EXPECT_FALSE(ReadFile(h, buf, 4, &n, nullptr));
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
         EXPECT_EQ(n, 0u);
         CloseHandle(h);
         h = open(d.file("f"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
         EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
         EXPECT_FALSE(SetEndOfFile(h));
         FILETIME ft = {0x12345678, 0x01D00000};
         EXPECT_FALSE(SetFileTime(h, nullptr, nullptr, &ft));
         EXPECT_TRUE(CloseHandle(h));
         EXPECT_FALSE(CloseHandle(h));
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
     }},
    {"read-only and hidden files", kNotWine, [](const qztest::TempDir &d) {
         std::string ro = d.file("ro");
         std::string hid = d.file("hid");
         ASSERT_TRUE(write_file(ro, "keep") && write_file(hid, "x"));
         ASSERT_TRUE(SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_READONLY));
         EXPECT_EQ(open_error(ro, GENERIC_WRITE, 0, OPEN_EXISTING), (DWORD)ERROR_ACCESS_DENIED);
         EXPECT_EQ(open_error(ro, GENERIC_WRITE, 0, CREATE_ALWAYS), (DWORD)ERROR_ACCESS_DENIED);
         EXPECT_FALSE(DeleteFileA(ro.c_str()));
         EXPECT_EQ(open_error(ro, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), 0u);
         ASSERT_TRUE(SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_NORMAL));
         EXPECT_TRUE(DeleteFileA(ro.c_str()));
         ASSERT_TRUE(SetFileAttributesA(hid.c_str(), FILE_ATTRIBUTE_HIDDEN));
         EXPECT_EQ(open_error(hid, GENERIC_WRITE, 0, CREATE_ALWAYS), (DWORD)ERROR_ACCESS_DENIED);
         EXPECT_EQ(open_error(hid, GENERIC_WRITE, 0, OPEN_EXISTING), 0u);
         EXPECT_EQ(open_error(hid, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN), (DWORD)ERROR_ALREADY_EXISTS);
         EXPECT_EQ(GetFileAttributesA(hid.c_str()), (DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
     }},
    {"attributes of new files and folders", kNotWine, [](const qztest::TempDir &d) {
         std::string f = d.file("a");
         ASSERT_TRUE(write_file(f, ""));
         EXPECT_EQ(GetFileAttributesA(f.c_str()), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
         ASSERT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL));
         EXPECT_EQ(GetFileAttributesA(f.c_str()), (DWORD)FILE_ATTRIBUTE_NORMAL);
         ASSERT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
         EXPECT_EQ(GetFileAttributesA(f.c_str()), (DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
         HANDLE h = open(d.file("new"), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
         DWORD n;
         EXPECT_TRUE(WriteFile(h, "ok", 2, &n, nullptr));   // the new handle may still write
         CloseHandle(h);
         EXPECT_EQ(GetFileAttributesA(d.file("new").c_str()), (DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
         std::string sub = d.file("sub");
         ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
         EXPECT_EQ(GetFileAttributesA(sub.c_str()), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
         EXPECT_FALSE(CreateDirectoryA(sub.c_str(), nullptr));
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
         EXPECT_FALSE(CreateDirectoryA(d.file("no\\sub").c_str(), nullptr));
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
         EXPECT_EQ(open_error(sub, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), (DWORD)ERROR_ACCESS_DENIED);
         EXPECT_EQ(GetFileAttributesA(d.file("no").c_str()), INVALID_FILE_ATTRIBUTES);
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
         EXPECT_EQ(GetFileAttributesA(d.file("no\\x").c_str()), INVALID_FILE_ATTRIBUTES);
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
     }},
    {"separators and dot components", 0, [](const qztest::TempDir &d) {
         ASSERT_TRUE(CreateDirectoryA(d.file("sub").c_str(), nullptr));
         ASSERT_TRUE(write_file(d.file("sub\\f.txt"), "slash"));
         EXPECT_EQ(read_file(d.path() + "/sub/f.txt"), "slash");
         EXPECT_EQ(read_file(d.path() + "\\sub\\.\\..\\sub\\f.txt"), "slash");
     }},
    // Each call given "name." or "name " reaches the file "name", so that
    // the search before a create sees the file the create will replace.
    {"trailing dots and blanks name the same file", 0, [](const qztest::TempDir &d) {
         std::string folder = "d";
         for (const std::string suffix : {".", " ", ". .", "..."}) {
             folder += "d";
             SCOPED_TRACE("[" + suffix + "]");
             std::string odd = d.file("f.txt" + suffix);
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
    {"search with wildcards and without case", 0, [](const qztest::TempDir &d) {
         for (const char *n : {"b.txt", "A.TXT", "c", "x.tar.gz"})
             ASSERT_TRUE(write_file(d.file(n), n));
         ASSERT_TRUE(CreateDirectoryA(d.file("sub").c_str(), nullptr));
         EXPECT_EQ(find_all(d.file("*.*")), ".,..,A.TXT,b.txt,c,sub,x.tar.gz");
         EXPECT_EQ(find_all(d.file("?.TXT")), "A.TXT,b.txt");
         EXPECT_EQ(find_all(d.file("*.gz")), "x.tar.gz");
         EXPECT_EQ(find_all(d.file("c.*")), "c");        // no extension at all
         EXPECT_EQ(find_all(d.file("B.TXT")), "b.txt");  // the name as stored
         EXPECT_EQ(find_all(d.file("zz*")), "!2");
         EXPECT_EQ(find_all(d.file("no\\*")), "!3");
         EXPECT_EQ(find_all(d.file("sub\\*")), ".,..");
         WIN32_FIND_DATAA fd;
         FindClose(FindFirstFileA(d.file("x.tar.gz").c_str(), &fd));
         EXPECT_EQ(fd.nFileSizeLow, 8u);
     }},
    {"file times", kNotWine, [](const qztest::TempDir &d) {
         FILETIME set, got;
         ASSERT_TRUE(DosDateTimeToFileTime(0x2C21, 0x6000, &set));   // 2002-01-01 12:00:00
         HANDLE h = open(d.file("t"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
         ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &set));
         ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &got));
         CloseHandle(h);
         EXPECT_EQ(CompareFileTime(&got, &set), 0);
         WIN32_FIND_DATAA fd;
         FindClose(FindFirstFileA(d.file("t").c_str(), &fd));
         EXPECT_EQ(CompareFileTime(&fd.ftLastWriteTime, &set), 0);
     }},
    {"MS-DOS dates and times", 0, [](const qztest::TempDir &) {
         FILETIME ft, mar1;
         WORD date, time;
         ASSERT_TRUE(DosDateTimeToFileTime(0x21, 0, &ft));
         EXPECT_EQ(ticks(ft), k1980);
         ASSERT_TRUE(DosDateTimeToFileTime((20 << 9) | (2 << 5) | 29, (12 << 11) | (34 << 5) | 28, &ft));
         EXPECT_EQ(ticks(ft), k1980 + 636294896ull * 10000000);   // 2000-02-29 12:34:56
         ft.dwLowDateTime += 1234567;
         ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
         EXPECT_EQ(date, (20 << 9) | (2 << 5) | 29);
         EXPECT_EQ(time, (12 << 11) | (34 << 5) | 28);
         EXPECT_FALSE(DosDateTimeToFileTime(0, 0, &ft));                  // month 0, day 0
         EXPECT_FALSE(DosDateTimeToFileTime((10 << 9) | (4 << 5) | 31, 0, &ft));
         EXPECT_FALSE(DosDateTimeToFileTime(0x21, 30, &ft));               // 60 seconds
         ASSERT_TRUE(DosDateTimeToFileTime((1 << 9) | (2 << 5) | 29, 0, &ft));
         ASSERT_TRUE(DosDateTimeToFileTime((1 << 9) | (3 << 5) | 1, 0, &mar1));
         EXPECT_EQ(CompareFileTime(&ft, &mar1), 0);   // 29 February of a common year
         FILETIME later = {0, mar1.dwHighDateTime + 1};
         EXPECT_EQ(CompareFileTime(&mar1, &later), -1);   // the high word decides first
         ASSERT_TRUE(LocalFileTimeToFileTime(&later, &ft));
         ASSERT_TRUE(FileTimeToLocalFileTime(&ft, &mar1));
         EXPECT_EQ(ticks(mar1), ticks(later));
     }},
    {"strings and page 1252", 0, [](const qztest::TempDir &) {
         char buf[8];
         lstrcpynA(buf, "abcdef", 4);   // at most max - 1 characters, terminated
         EXPECT_STREQ(buf, "abc");
         EXPECT_EQ(lstrcmpiA("\xE9t\xE9", "\xC9T\xC9"), 0);   // é and É
         EXPECT_LT(lstrcmpiA("ab", "ABC"), 0);
         EXPECT_NE(lstrcmpiA("e", "\xE9"), 0);
         EXPECT_GT(lstrcmpA("abd", "abc"), 0);
         for (int c = 1; c < 256; ++c) {
             bool lower = (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
             int want = lower ? c - 32 : c == 0x9A ? 0x8A : c == 0x9C ? 0x8C : c == 0x9E ? 0x8E : c == 0xFF ? 0x9F : c;
             char s[2] = {(char)c, 0};
             CharUpperA(s);
             EXPECT_EQ((unsigned char)s[0], want) << "byte " << c;
         }
         EXPECT_EQ((uintptr_t)CharUpperA((LPSTR)(uintptr_t)0xE9), 0xC9u);   // one character, not a string
         const char *s = "a\xE9";
         EXPECT_EQ(CharNextA(s + 2), s + 2);   // never past the terminator
         EXPECT_EQ(CharPrevA(s, s + 2), s + 1);
         EXPECT_EQ(CharPrevA(s, s), s);
     }},
    // Every byte whose character both pages have comes back unchanged.
    {"OEM and ANSI code pages", 0, [](const qztest::TempDir &) {
         int back = 0;
         for (int c = 1; c < 256; ++c) {
             char s[2] = {(char)c, 0};
             char a[2];
             char o[2];
             OemToCharA(s, a);
             CharToOemA(a, o);
             back += (unsigned char)o[0] == c;
         }
         EXPECT_EQ(back, 127 + 55);
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
         EXPECT_EQ(p[63], 0);
         strcpy(p, "kept");
         EXPECT_EQ(GlobalLock(h), p);
         EXPECT_TRUE(GlobalUnlock(h));   // still locked once
         EXPECT_FALSE(GlobalUnlock(h));
         EXPECT_EQ(GlobalReAlloc(h, 100000, GMEM_MOVEABLE | GMEM_ZEROINIT), h);
         p = (char *)GlobalLock(h);
         EXPECT_STREQ(p, "kept");
         EXPECT_EQ(p[99999], 0);
         EXPECT_EQ(GlobalFree(h), nullptr);
         HGLOBAL fixed = GlobalAlloc(GPTR, 10);
         EXPECT_EQ(GlobalLock(fixed), (void *)fixed);
         GlobalFree(fixed);
         p = (char *)HeapAlloc(GetProcessHeap(), 0, 5);
         strcpy(p, "heap");
         p = (char *)HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, p, 5000);
         EXPECT_STREQ(p, "heap");
         EXPECT_EQ(p[4999], 0);
         EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, p));
     }},
    {"temporary names and folders", 0, [](const qztest::TempDir &d) {
         char path[MAX_PATH];
         char name[MAX_PATH];
         DWORD n = GetTempPathA(sizeof path, path);
         EXPECT_EQ(path[n - 1], '\\');
         EXPECT_EQ(GetTempPathA(1, path), n + 1);   // too small: the size needed
         UINT number = GetTempFileNameA(d.path().c_str(), "QVWXYZ", 0, name);
         char want[MAX_PATH];
         sprintf(want, "%s\\QVW%X.TMP", d.path().c_str(), number);
         EXPECT_EQ(lstrcmpiA(name, want), 0) << name;
         EXPECT_EQ(read_file(name), "");   // made, empty
         EXPECT_EQ(GetTempFileNameA(d.path().c_str(), "QVW", 0x1A2B, name), 0x1A2Bu);
         EXPECT_EQ(GetFileAttributesA(name), INVALID_FILE_ATTRIBUTES);   // a given number makes nothing
         n = GetCurrentDirectoryA(sizeof path, path);
         EXPECT_EQ(std::string(path, 3).substr(1), ":\\");
         EXPECT_EQ(GetCurrentDirectoryA(2, path), n + 1);
     }},
#ifdef QZ_VERSION_DLL
    {"version record of a PE file", 0, [](const qztest::TempDir &) {
         DWORD size = GetFileVersionInfoSizeA(QZ_VERSION_DLL, nullptr);
         std::vector<char> data(size + 1);
         ASSERT_TRUE(GetFileVersionInfoA(QZ_VERSION_DLL, 0, size, data.data()));
         VS_FIXEDFILEINFO *info = nullptr;
         UINT length = 0;
         ASSERT_TRUE(VerQueryValueA(data.data(), "\\", (LPVOID *)&info, &length));
         EXPECT_EQ(info->dwFileVersionMS, 0x00040003u);   // 4.3.2.1
         EXPECT_EQ(info->dwFileVersionLS, 0x00020001u);
         EXPECT_EQ(info->dwProductVersionMS, 0x00050006u);
     }},
#endif
};

TEST(Platform, WindowsBehaviours) {
    run_rows(kBehaviours, sizeof kBehaviours / sizeof kBehaviours[0]);
}

}  // namespace
