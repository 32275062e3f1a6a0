// Files and folders through the Win32 calls: dispositions, sharing,
// read-only and hidden files, access rights, positions, attributes, times.
#include "platform_test.h"

#include <string>

namespace {

using qzplat::TempDir;
using qzplat::read_file;
using qzplat::write_file;

HANDLE open_file(const std::string &name, DWORD access, DWORD share, DWORD disposition,
                 DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return CreateFileA(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

TEST(Files, WriteReadSeekAndTruncate) {
    TempDir dir;
    std::string name = dir / "data.bin";
    HANDLE h = open_file(name, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_NE(h, nullptr);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr));
    EXPECT_EQ(n, 10u);
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(h, &high), 10u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(SetFilePointer(h, 3, nullptr, FILE_BEGIN), 3u);
    char buf[16] = {};
    ASSERT_TRUE(ReadFile(h, buf, 4, &n, nullptr));
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::string(buf, 4), "3456");
    EXPECT_EQ(SetFilePointer(h, -2, nullptr, FILE_END), 8u);
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(n, 2u);                                    // up to the end
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(n, 0u);                                    // at the end: success, nothing read
    EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_CURRENT), 5u);
    ASSERT_TRUE(SetEndOfFile(h));
    EXPECT_EQ(GetFileSize(h, nullptr), 5u);
    SetLastError(0);
    EXPECT_EQ(SetFilePointer(h, -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(h, 100, nullptr, FILE_BEGIN), 100u);   // past the end is allowed
    LONG hi = 0;
    EXPECT_EQ(SetFilePointer(h, 7, &hi, FILE_BEGIN), 7u);
    EXPECT_EQ(hi, 0);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(read_file(name), "01234");
}

TEST(Files, Dispositions) {
    TempDir dir;
    std::string name = dir / "f.txt";
    SetLastError(0);
    HANDLE h = open_file(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    h = open_file(dir / "nodir\\f.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    h = open_file(dir / "nodir\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);

    h = open_file(name, GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS);   // creates
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(h);
    h = open_file(name, GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    CloseHandle(h);
    h = open_file(name, GENERIC_WRITE, 0, CREATE_NEW);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);

    ASSERT_TRUE(write_file(name, "long content"));
    h = open_file(name, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(h, nullptr), 0u);              // replaced
    CloseHandle(h);
    ASSERT_TRUE(write_file(name, "abc"));
    h = open_file(name, GENERIC_WRITE, 0, TRUNCATE_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(h, nullptr), 0u);
    CloseHandle(h);
}

TEST(Files, ShareModesBetweenHandles) {
    TempDir dir;
    std::string name = dir / "shared.txt";
    ASSERT_TRUE(write_file(name, "x"));
    HANDLE a = open_file(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    HANDLE b = open_file(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(b, INVALID_HANDLE_VALUE);                  // readers that share reading
    HANDLE c = open_file(name, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(c, INVALID_HANDLE_VALUE);                  // nobody shares writing
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    HANDLE d = open_file(name, GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_EQ(d, INVALID_HANDLE_VALUE);                  // would deny the open readers
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(DeleteFileA(name.c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    CloseHandle(a);
    CloseHandle(b);

    HANDLE e = open_file(name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(e, INVALID_HANDLE_VALUE);
    HANDLE f = open_file(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_EQ(f, INVALID_HANDLE_VALUE);
    CloseHandle(e);

    HANDLE g = open_file(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
    ASSERT_NE(g, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(DeleteFileA(name.c_str()));              // shared for deletion
    CloseHandle(g);
    EXPECT_EQ(GetFileAttributesA(name.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Files, AccessRightsOfAHandle) {
    TempDir dir;
    std::string name = dir / "rights.txt";
    HANDLE w = open_file(name, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(w, INVALID_HANDLE_VALUE);
    char buf[4];
    DWORD n = 77;
    EXPECT_FALSE(ReadFile(w, buf, 4, &n, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(n, 0u);
    CloseHandle(w);
    HANDLE r = open_file(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(r, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteFile(r, "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_FALSE(SetEndOfFile(r));
    FILETIME ft = {0x12345678, 0x01D00000};
    if (!qzplat::under_wine()) {                         // setting times needs write access
        EXPECT_FALSE(SetFileTime(r, nullptr, nullptr, &ft));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    }
    EXPECT_TRUE(CloseHandle(r));
    EXPECT_FALSE(CloseHandle(r));                        // closed already
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(ReadFile(r, buf, 4, &n, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST(Files, ReadOnlyFilesRefuseChange) {
    TempDir dir;
    std::string name = dir / "ro.txt";
    ASSERT_TRUE(write_file(name, "keep"));
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesA(name.c_str()) & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
    if (qzplat::under_wine()) {
        SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "Wine does not refuse read-only files to every user";
    }
    EXPECT_EQ(open_file(name, GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(open_file(name, GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteFileA(name.c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    HANDLE r = open_file(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(r, INVALID_HANDLE_VALUE);                  // reading is fine
    CloseHandle(r);
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA(name.c_str()));
    EXPECT_FALSE(DeleteFileA(name.c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST(Files, ReplacingHiddenOrSystemFilesNeedsThoseBits) {
    TempDir dir;
    std::string name = dir / "h.txt";
    ASSERT_TRUE(write_file(name, "x"));
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_HIDDEN));
    if (qzplat::under_wine()) GTEST_SKIP() << "Wine replaces hidden files without the bit";
    EXPECT_EQ(open_file(name, GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    HANDLE h = open_file(name, GENERIC_WRITE, 0, OPEN_EXISTING);   // opening is fine
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    h = open_file(name, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(GetFileAttributesA(name.c_str()), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
}

// The attributes without ARCHIVE (and NORMAL) where Wine adds ARCHIVE.
DWORD attrs_of(const std::string &name) {
    DWORD a = GetFileAttributesA(name.c_str());
    if (qzplat::under_wine() && a != INVALID_FILE_ATTRIBUTES) {
        a &= ~FILE_ATTRIBUTE_ARCHIVE;
        if (a == 0) a = FILE_ATTRIBUTE_NORMAL;
    }
    return a;
}

TEST(Files, AttributesOfNewFilesAndFolders) {
    TempDir dir;
    std::string name = dir / "a.txt";
    ASSERT_TRUE(write_file(name, ""));
    EXPECT_EQ(GetFileAttributesA(name.c_str()), FILE_ATTRIBUTE_ARCHIVE);
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(attrs_of(name), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(attrs_of(name),
              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);

    HANDLE h = open_file(dir / "new.txt", GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n;
    EXPECT_TRUE(WriteFile(h, "ok", 2, &n, nullptr));    // the new handle may still write
    EXPECT_EQ(n, 2u);
    CloseHandle(h);
    EXPECT_EQ(GetFileAttributesA((dir / "new.txt").c_str()), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    SetFileAttributesA((dir / "new.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

    std::string sub = dir / "sub";
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    EXPECT_EQ(GetFileAttributesA(sub.c_str()) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(CreateDirectoryA(sub.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA((dir / "no\\sub").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(open_file(sub, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteFileA(sub.c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetFileAttributesA((dir / "missing").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA((dir / "missing\\x").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST(Files, BothSeparatorsAndDotComponents) {
    TempDir dir;
    ASSERT_TRUE(CreateDirectoryA((dir / "sub").c_str(), nullptr));
    ASSERT_TRUE(write_file(dir / "sub\\f.txt", "slash"));
    EXPECT_EQ(read_file(dir.path() + "/sub/f.txt"), "slash");
    EXPECT_EQ(read_file(dir.path() + "\\sub\\.\\..\\sub\\f.txt"), "slash");
    EXPECT_EQ(read_file(dir.path() + "\\sub\\f.txt."), "slash");   // trailing dots do not count
}

// Windows drops trailing dots and blanks of a name in every call: each
// call given "name." or "name " reaches the file "name", so that the search
// before a create sees the file the create will replace.
TEST(Files, TrailingDotsAndBlanksNameTheSameFile) {
    for (const char *suffix : {".", " ", ". .", "..."}) {
        TempDir dir;
        ASSERT_TRUE(write_file(dir / "f.txt", "data"));
        std::string odd = dir / (std::string("f.txt") + suffix);
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(odd.c_str(), &fd);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << "[" << suffix << "]";
        EXPECT_STREQ(fd.cFileName, "f.txt");
        FindClose(h);
        EXPECT_EQ(read_file(odd), "data") << "[" << suffix << "]";
        HANDLE again = CreateFileA(odd.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        EXPECT_EQ(again, INVALID_HANDLE_VALUE) << "[" << suffix << "]";
        EXPECT_TRUE(SetFileAttributesA(odd.c_str(), FILE_ATTRIBUTE_HIDDEN)) << "[" << suffix << "]";
        EXPECT_TRUE(GetFileAttributesA((dir / "f.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN);
        EXPECT_TRUE(DeleteFileA(odd.c_str())) << "[" << suffix << "]";
        EXPECT_EQ(GetFileAttributesA((dir / "f.txt").c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(CreateDirectoryA((dir / (std::string("d") + suffix)).c_str(), nullptr));
        EXPECT_EQ(GetFileAttributesA((dir / "d").c_str()), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    }
}

TEST(Files, LastWriteTimeRoundTrip) {
    TempDir dir;
    std::string name = dir / "t.txt";
    HANDLE h = open_file(name, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME set;
    ASSERT_TRUE(DosDateTimeToFileTime(0x2C21, 0x6000, &set));   // 2002-01-01 12:00:00
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &set));
    FILETIME got = {};
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &got));
    EXPECT_EQ(CompareFileTime(&got, &set), 0);
    CloseHandle(h);
    WIN32_FIND_DATAA fd;
    HANDLE s = FindFirstFileA(name.c_str(), &fd);
    ASSERT_NE(s, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CompareFileTime(&fd.ftLastWriteTime, &set), 0);
    FindClose(s);
}

TEST(Files, CurrentDirectoryHasDriveForm) {
    char buf[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
    ASSERT_GT(n, 2u);
    ASSERT_LT(n, sizeof buf);
    EXPECT_EQ(buf[1], ':');
    EXPECT_EQ(buf[2], '\\');
    EXPECT_EQ(GetCurrentDirectoryA(2, buf), n + 1);      // too small: the size needed
}

} // namespace
