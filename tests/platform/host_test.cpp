// The POSIX layer's own world: drives, case-insensitive lookup, names in
// UTF-8, the DOS attribute store, volumes and the handle table.
#include "platform_test.h"

#if !defined(_WIN32)

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

using qzplat::TempDir;
using qzplat::read_file;
using qzplat::write_file;

class Host : public ::testing::Test {
protected:
    void SetUp() override { qzhost_reset(); }
    void TearDown() override { qzhost_reset(); }
    TempDir dir;
    void host_write(const std::string &rel, const std::string &data) {
        std::ofstream((dir.fs() / rel).string()) << data;
    }
};

TEST_F(Host, DrivesMapToFolders) {
    ASSERT_EQ(qzhost_map_drive('d', dir.path().c_str(), DRIVE_FIXED, "DATA"), 0);
    ASSERT_TRUE(write_file("D:\\one.txt", "on d"));
    EXPECT_EQ(read_file(dir.path() + "/one.txt"), "on d");
    EXPECT_EQ(read_file("d:/one.txt"), "on d");
    EXPECT_EQ(read_file("D:\\..\\..\\one.txt"), "on d");   // ".." stops at the drive's root
    EXPECT_EQ(GetDriveTypeA("D:\\"), (UINT)DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("C:\\"), (UINT)DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("Q:\\"), (UINT)DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetFileAttributesA("Q:\\x"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);

    ASSERT_EQ(qzhost_set_current_drive('D'), 0);
    EXPECT_EQ(read_file("\\one.txt"), "on d");           // the current drive's root
    EXPECT_EQ(GetDriveTypeA(nullptr), (UINT)DRIVE_FIXED);
    ASSERT_EQ(qzhost_unmap_drive('D'), 0);
    EXPECT_EQ(GetDriveTypeA("D:\\"), (UINT)DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(qzhost_map_drive('1', "/", DRIVE_FIXED, nullptr), -1);
    EXPECT_EQ(qzhost_map_drive('E', "/", 99, nullptr), -1);
}

TEST_F(Host, RootsOfDrivesHaveNoDotEntries) {
    ASSERT_EQ(qzhost_map_drive('F', dir.path().c_str(), DRIVE_REMOVABLE, "PKBACK# 001"), 0);
    ASSERT_TRUE(write_file("F:\\a", "x"));
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA("F:\\*.*", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(fd.cFileName, "a");
    EXPECT_FALSE(FindNextFileA(h, &fd));
    FindClose(h);
}

TEST_F(Host, VolumesAndLabels) {
    ASSERT_EQ(qzhost_map_drive('A', dir.path().c_str(), DRIVE_REMOVABLE, "PKBACK# 001"), 0);
    char label[260], fs[32];
    DWORD serial1 = 0, serial2 = 0;
    ASSERT_TRUE(GetVolumeInformationA("A:\\", label, sizeof label, &serial1, nullptr, nullptr, fs, sizeof fs));
    EXPECT_STREQ(label, "PKBACK# 001");
    EXPECT_STREQ(fs, "FAT");
    ASSERT_EQ(qzhost_set_label('A', "PKBACK# 002"), 0);  // another disk
    ASSERT_TRUE(GetVolumeInformationA("A:\\", label, sizeof label, &serial2, nullptr, nullptr, nullptr, 0));
    EXPECT_STREQ(label, "PKBACK# 002");
    EXPECT_NE(serial1, serial2);
    ASSERT_TRUE(SetVolumeLabelA("A:\\", "PKBACK# 003"));
    ASSERT_TRUE(GetVolumeInformationA("A:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_STREQ(label, "PKBACK# 003");
    EXPECT_FALSE(SetVolumeLabelA("A:\\", "TWELVE CHARS"));   // FAT labels hold 11
    EXPECT_FALSE(GetVolumeInformationA("R:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_FALSE(SetVolumeLabelA("R:\\", "X"));

    ASSERT_EQ(qzhost_set_media('A', 0), 0);              // disk out
    EXPECT_FALSE(GetVolumeInformationA("A:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_READY);
    EXPECT_EQ(GetFileAttributesA("A:\\x"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_READY);
    ASSERT_EQ(qzhost_set_label('A', "PKBACK# 004"), 0);  // inserting a disk
    EXPECT_TRUE(GetVolumeInformationA("A:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));

    // null root: the current drive
    ASSERT_EQ(qzhost_set_current_drive('A'), 0);
    ASSERT_TRUE(SetVolumeLabelA(nullptr, "CURRENT"));
    ASSERT_TRUE(GetVolumeInformationA("a:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_STREQ(label, "CURRENT");
}

TEST_F(Host, ComponentsAreFoundWithoutCaseExactFirst) {
    std::filesystem::create_directories(dir.fs() / "Mixed" / "Deeper");
    host_write("Mixed/Deeper/File.TXT", "found");
    host_write("Mixed/abc", "lower");
    host_write("Mixed/ABC", "upper");
    EXPECT_EQ(read_file(dir / "mixed\\DEEPER\\file.txt"), "found");
    EXPECT_EQ(read_file(dir / "MIXED\\abc"), "lower");
    EXPECT_EQ(read_file(dir / "MIXED\\ABC"), "upper");
    std::string any = read_file(dir / "mixed\\Abc");
    EXPECT_TRUE(any == "lower" || any == "upper");
    // Creating beside a name of another case opens the existing file.
    HANDLE h = CreateFileA((dir / "mixed\\deeper\\FILE.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    CloseHandle(h);
    EXPECT_FALSE(std::filesystem::exists(dir.fs() / "Mixed" / "Deeper" / "FILE.txt"));
}

TEST_F(Host, AnsiNamesAreUtf8OnDisk) {
    ASSERT_TRUE(write_file(dir / "caf\xE9.txt", "accent"));   // é in page 1252
    EXPECT_TRUE(std::filesystem::exists(dir.fs() / "caf\xC3\xA9.txt"));
    EXPECT_EQ(read_file(dir / "CAF\xC9.TXT"), "accent");      // É finds é
    host_write("\xE2\x82\xAC.txt", "euro");                   // € on disk
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir / "?.txt").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(fd.cFileName, "\x80.txt");
    FindClose(h);
    host_write("\xE3\x81\x82.txt", "kana");                   // not in page 1252: '?'
    h = FindFirstFileA((dir / "*.txt").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    bool sawQuestion = false;
    do sawQuestion = sawQuestion || std::strcmp(fd.cFileName, "?.txt") == 0; while (FindNextFileA(h, &fd));
    FindClose(h);
    EXPECT_TRUE(sawQuestion);

    // In 932 mode the bytes go to the file system as they are.
    ASSERT_EQ(qzhost_set_codepage(932), 0);
    ASSERT_TRUE(write_file(dir / "\x95\x5C.txt", "sjis"));    // trail byte 0x5C is no separator
    EXPECT_TRUE(std::filesystem::exists(dir.fs() / "\x95\x5C.txt"));
}

TEST_F(Host, DosBitsLiveInTheExtendedAttribute) {
    std::string name = dir / "attr.txt";
    ASSERT_TRUE(write_file(name, "x"));
    std::string host = (dir.fs() / "attr.txt").string();
    char text[32] = {};
    ssize_t n = getxattr(host.c_str(), "user.DOSATTRIB", text, sizeof text - 1);
    if (n < 0) GTEST_SKIP() << "no user extended attributes here";
    EXPECT_STREQ(text, "0x20");
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    n = getxattr(host.c_str(), "user.DOSATTRIB", text, sizeof text - 1);
    ASSERT_GT(n, 0);
    text[n] = 0;
    EXPECT_STREQ(text, "0x6");
    setxattr(host.c_str(), "user.DOSATTRIB", "0x22", 4, 0);
    EXPECT_EQ(GetFileAttributesA(name.c_str()), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    // Read-only is the owner's write bit, whoever we are.
    chmod(host.c_str(), 0444);
    EXPECT_EQ(GetFileAttributesA(name.c_str()),
              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(DeleteFileA(name.c_str()));
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL));
    struct stat st;
    ASSERT_EQ(stat(host.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
    // A file made by someone else has no stored bits.
    host_write("plain", "p");
    EXPECT_EQ(GetFileAttributesA((dir / "plain").c_str()), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Host, HandlesAreSmallCountedAndNotReusedAtOnce) {
    qzhost_counters c;
    std::string name = dir / "h.txt";
    HANDLE a = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    EXPECT_LT((uintptr_t)a, 0x10000u);
    EXPECT_EQ((uintptr_t)a % 4, 0u);
    qzhost_get_counters(&c);
    EXPECT_EQ(c.handles, 1);
    CloseHandle(a);
    HANDLE b = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(b, a);
    DWORD n;
    EXPECT_FALSE(WriteFile(a, "x", 1, &n, nullptr));     // the stale handle stays dead
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    WIN32_FIND_DATAA fd;
    HANDLE f = FindFirstFileA((dir / "*").c_str(), &fd);
    qzhost_get_counters(&c);
    EXPECT_EQ(c.handles, 2);
    EXPECT_FALSE(CloseHandle(f));                        // not a file handle
    EXPECT_FALSE(FindClose(b));                          // not a search handle
    FindClose(f);
    CloseHandle(b);
    qzhost_get_counters(&c);
    EXPECT_EQ(c.handles, 0);
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(CloseHandle(nullptr));
}

TEST_F(Host, TempPathIsSettable) {
    ASSERT_EQ(qzhost_set_temp_path(dir.path().c_str()), 0);
    char path[MAX_PATH];
    DWORD n = GetTempPathA(sizeof path, path);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(path[n - 1], '\\');
    char name[MAX_PATH];
    ASSERT_NE(GetTempFileNameA(path, "QVW", 0, name), 0u);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(dir.fs()) / (std::string(name).substr(n))));
    ASSERT_EQ(qzhost_set_temp_path("C:\\somewhere"), 0);
    GetTempPathA(sizeof path, path);
    EXPECT_STREQ(path, "C:\\somewhere\\");
    ASSERT_EQ(qzhost_set_temp_path(nullptr), 0);
    GetTempPathA(sizeof path, path);
    EXPECT_STRNE(path, "C:\\somewhere\\");
}

TEST_F(Host, CurrentDirectoryNamesTheProcessFolder) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    char buf[MAX_PATH * 4];
    GetCurrentDirectoryA(sizeof buf, buf);
    std::string want = std::string("C:") + cwd;
    for (char &ch : want) if (ch == '/') ch = '\\';
    if (want == "C:\\") want = "C:\\";
    EXPECT_EQ(std::string(buf), want);
}

// The layer keeps no state that is torn down at exit: an ELF destructor
// (where the library closes what is still open) may still call it.  A
// failure here turns the exit status of the test program into 97.
__attribute__((destructor)) void use_the_layer_while_exiting() {
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, 64);
    char tmp[MAX_PATH], name[MAX_PATH];
    bool ok = g && GlobalLock(g) && GetTempPathA(sizeof tmp, tmp) > 0 &&
              GetTempFileNameA(tmp, "QVW", 0, name) != 0;
    HANDLE h = ok ? CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr) : INVALID_HANDLE_VALUE;
    ok = ok && h != INVALID_HANDLE_VALUE && CloseHandle(h) && DeleteFileA(name) && GlobalFree(g) == nullptr;
    if (!ok) _exit(97);
}

} // namespace

#endif
