// What only the POSIX layer has: its drive table and labels, names found
// without case, ANSI names kept as UTF-8, the DOS bits, the handle table and
// the answers of message boxes.  Its controls (platform/host.h) have no
// Windows form.
#ifndef _WIN32

#include "platform_helpers.h"
#include "platform/host.h"
#include "support/no_terminal.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace {

using namespace qzplat;

void host_write(const std::string &name, const std::string &data) { std::ofstream(name) << data; }

std::string label_of(const char *root, DWORD *serial = nullptr) {
    char label[32];
    if (!GetVolumeInformationA(root, label, sizeof label, serial, nullptr, nullptr, nullptr, 0))
        return "!" + std::to_string(GetLastError());
    return label;
}

int respond(void *seen, HWND, const char *text, const char *caption, UINT style) {
    *(std::string *)seen = std::string(text) + "|" + caption + "|" + std::to_string(style);
    return IDRETRY;
}

const Row kHost[] = {
    {"drives map to folders", 0, [](const qztest::TempDir &d) {
         ASSERT_EQ(qzhost_map_drive('d', d.path().c_str(), DRIVE_FIXED, "DATA"), 0);
         ASSERT_TRUE(write_file("D:\\one.txt", "on d"));
         EXPECT_EQ(read_file(d.file("one.txt")), "on d");
         EXPECT_EQ(read_file("d:/../../one.txt"), "on d");   // ".." stops at the root
         EXPECT_EQ(GetDriveTypeA("D:\\"), (UINT)DRIVE_FIXED);
         EXPECT_EQ(GetDriveTypeA("Q:\\"), (UINT)DRIVE_NO_ROOT_DIR);
         EXPECT_EQ(GetFileAttributesA("Q:\\x"), INVALID_FILE_ATTRIBUTES);
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
         ASSERT_EQ(qzhost_set_current_drive('D'), 0);
         EXPECT_EQ(read_file("\\one.txt"), "on d");
         EXPECT_EQ(find_all("D:\\*.*"), "one.txt");   // no dot entries in a root
         ASSERT_EQ(qzhost_unmap_drive('D'), 0);
         EXPECT_EQ(GetDriveTypeA("D:\\"), (UINT)DRIVE_NO_ROOT_DIR);
     }},
    {"labels of removable disks", 0, [](const qztest::TempDir &d) {
         ASSERT_EQ(qzhost_map_drive('A', d.path().c_str(), DRIVE_REMOVABLE, "PKBACK# 001"), 0);
         DWORD serial = 0;
         EXPECT_EQ(label_of("A:\\", &serial), "PKBACK# 001");
         ASSERT_EQ(qzhost_set_label('A', "PKBACK# 002"), 0);   // another disk, another serial number
         DWORD first = serial;
         EXPECT_EQ(label_of("A:\\", &serial), "PKBACK# 002");
         EXPECT_NE(serial, first);
         ASSERT_TRUE(SetVolumeLabelA("A:\\", "PKBACK# 003"));
         EXPECT_FALSE(SetVolumeLabelA("A:\\", "TWELVE CHARS"));   // FAT labels hold 11
         EXPECT_EQ(label_of("a:\\"), "PKBACK# 003");
         ASSERT_EQ(qzhost_set_current_drive('A'), 0);
         ASSERT_TRUE(SetVolumeLabelA(nullptr, "CURRENT"));   // null: the current drive
         EXPECT_EQ(label_of("A:\\"), "CURRENT");
         ASSERT_EQ(qzhost_set_media('A', 0), 0);
         EXPECT_EQ(label_of("A:\\"), "!21");   // not ready
         EXPECT_EQ(GetFileAttributesA("A:\\x"), INVALID_FILE_ATTRIBUTES);
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_READY);
     }},
    // A plain name finds the host name written exactly so first; written in
    // neither case it finds both, as a wildcard would.
    {"names without case, the exact one first", 0, [](const qztest::TempDir &d) {
         std::filesystem::create_directories(d.path() + "/Mixed/Deeper");
         host_write(d.file("Mixed/Deeper/File.TXT"), "found");
         host_write(d.file("Mixed/abc"), "lower");
         host_write(d.file("Mixed/ABC"), "upper");
         EXPECT_EQ(read_file(d.file("mixed\\DEEPER\\file.txt")), "found");
         EXPECT_EQ(read_file(d.file("MIXED\\abc")), "lower");
         EXPECT_EQ(read_file(d.file("MIXED\\ABC")), "upper");
         EXPECT_EQ(find_all(d.file("mixed\\abc")), "abc");
         EXPECT_EQ(find_all(d.file("mixed\\ABC")), "ABC");
         EXPECT_EQ(open_error(d.file("mixed\\deeper\\FILE.txt"), GENERIC_READ, 0, OPEN_ALWAYS),
                   (DWORD)ERROR_ALREADY_EXISTS);
         EXPECT_FALSE(std::filesystem::exists(d.path() + "/Mixed/Deeper/FILE.txt"));
     }},
    {"ANSI names are UTF-8 on disk", 0, [](const qztest::TempDir &d) {
         ASSERT_TRUE(write_file(d.file("caf\xE9"), "accent"));   // é in page 1252
         EXPECT_TRUE(std::filesystem::exists(d.path() + "/caf\xC3\xA9"));
         EXPECT_EQ(read_file(d.file("CAF\xC9")), "accent");      // É finds é
         host_write(d.file("\xE2\x82\xAC.txt"), "euro");
         EXPECT_EQ(find_all(d.file("?.txt")), "\x80.txt");
         std::filesystem::remove(d.path() + "/\xE2\x82\xAC.txt");
         host_write(d.file("\xE3\x81\x82.txt"), "kana");          // not in page 1252
         EXPECT_EQ(find_all(d.file("*.txt")), "?.txt");
         ASSERT_EQ(qzhost_set_codepage(932), 0);                  // bytes as they are
         ASSERT_TRUE(write_file(d.file("\x95\x5C.txt"), "sjis"));   // trail 0x5C is no separator
         EXPECT_TRUE(std::filesystem::exists(d.path() + "/\x95\x5C.txt"));
     }},
    {"DOS bits in the extended attribute, and without it", 0, [](const qztest::TempDir &d) {
         std::string f = d.file("attr");
         char text[32] = {};
         ASSERT_TRUE(write_file(f, "x"));
         if (getxattr(f.c_str(), "user.DOSATTRIB", text, sizeof text - 1) < 0)
             GTEST_SKIP() << "no user extended attributes here";
         EXPECT_STREQ(text, "0x20");
         ASSERT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
         EXPECT_EQ(getxattr(f.c_str(), "user.DOSATTRIB", text, sizeof text - 1), 3);
         EXPECT_EQ(std::string(text, 3), "0x6");
         setxattr(f.c_str(), "user.DOSATTRIB", "0x22", 4, 0);
         chmod(f.c_str(), 0444);   // read-only is the owner's write bit, whoever we are
         EXPECT_EQ(GetFileAttributesA(f.c_str()), 0x23u);   // hidden, archive, read-only
         EXPECT_FALSE(DeleteFileA(f.c_str()));
         host_write(d.file("plain"), "p");   // made by someone else: no stored bits
         EXPECT_EQ(GetFileAttributesA(d.file("plain").c_str()), (DWORD)FILE_ATTRIBUTE_NORMAL);
         chmod(d.file("plain").c_str(), 0444);
         EXPECT_EQ(GetFileAttributesA(d.file("plain").c_str()), (DWORD)FILE_ATTRIBUTE_READONLY);
         std::filesystem::create_directory(d.path() + "/dir");
         EXPECT_EQ(GetFileAttributesA(d.file("dir").c_str()), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
     }},
    // Handles are small multiples of four; a closed one is not handed out
    // again at once (a stale handle fails), and its slot is free again.
    {"handle slots", 0, [](const qztest::TempDir &d) {
         qzhost_counters c;
         HANDLE a = open_file(d.file("h"), GENERIC_WRITE, 0, CREATE_ALWAYS);
         EXPECT_LT((uintptr_t)a, 0x10000u);
         EXPECT_EQ((uintptr_t)a % 4, 0u);
         CloseHandle(a);
         HANDLE b = open_file(d.file("h"), GENERIC_WRITE, 0, CREATE_ALWAYS);
         EXPECT_NE(b, a);
         DWORD n;
         EXPECT_FALSE(WriteFile(a, "x", 1, &n, nullptr));
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
         WIN32_FIND_DATAA fd;
         HANDLE f = FindFirstFileA(d.file("*").c_str(), &fd);
         EXPECT_FALSE(CloseHandle(f));   // not a file handle
         EXPECT_FALSE(FindClose(b));     // not a search handle
         FindClose(f);
         CloseHandle(b);
         for (int i = 0; i < 5000; ++i)
             ASSERT_EQ(open_error(d.file("h"), GENERIC_READ, 0, OPEN_EXISTING), 0u) << i;
         qzhost_get_counters(&c);
         EXPECT_EQ(c.handles, 0);
     }},
    // WriteFile on a full disk writes what fits and fails with ERROR_DISK_FULL.
    {"a full disk", 0, [](const qztest::TempDir &d) {
         HANDLE h = open_file(d.file("f"), GENERIC_WRITE, 0, CREATE_NEW);
         DWORD n;
         qzhost_disk_full_after(5);
         ASSERT_TRUE(WriteFile(h, "abc", 3, &n, nullptr));
         EXPECT_FALSE(WriteFile(h, "defg", 4, &n, nullptr));
         EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
         EXPECT_EQ(n, 2u);
         CloseHandle(h);
     }},
    {"a temporary folder given as a host path", 0, [](const qztest::TempDir &d) {
         char path[MAX_PATH];
         char name[MAX_PATH];
         ASSERT_EQ(qzhost_set_temp_path(d.path().c_str()), 0);
         ASSERT_NE(GetTempPathA(sizeof path, path), 0u);
         ASSERT_NE(GetTempFileNameA(path, "QVW", 0, name), 0u);
         EXPECT_NE(find_all(d.file("QVW*.TMP")), "!2") << path;
         EXPECT_EQ(std::string(path, 3), "C:\\");   // in the drive form
     }},
    // The version record is found by its key anywhere in a file, here at
    // its very start.
    {"version record of any file", 0, [](const qztest::TempDir &d) {
         const char key[] = "V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0\0\0\0\0";
         std::string record = std::string("\x5C\0\x34\0\0\0", 6) + std::string(key, 34);
         uint32_t fixed[13] = {0xFEEF04BDu, 0x10000u, 0x10002u, 0x30004u};
         record.append((const char *)fixed, sizeof fixed);
         ASSERT_TRUE(write_file(d.file("v.bin"), record + std::string(100, 'y')));
         std::vector<char> data(GetFileVersionInfoSizeA(d.file("v.bin").c_str(), nullptr) + 1);
         ASSERT_TRUE(GetFileVersionInfoA(d.file("v.bin").c_str(), 0, (DWORD)data.size(), data.data()));
         VS_FIXEDFILEINFO *info = nullptr;
         UINT length = 0;
         ASSERT_TRUE(VerQueryValueA(data.data(), "\\", (LPVOID *)&info, &length));
         EXPECT_EQ(info->dwFileVersionLS, 0x30004u);
     }},
    // With no responder and no terminal nobody can act on a box: it is
    // answered with the button that changes nothing, whatever the default.
    {"message boxes; with nobody to ask the box changes nothing", 0, [](const qztest::TempDir &) {
         std::string seen;
         qzhost_set_responder(respond, &seen);
         EXPECT_EQ(MessageBoxA(nullptr, "Insert disk # 2", "QZUNPACK", MB_OKCANCEL), IDRETRY);
         EXPECT_EQ(seen, "Insert disk # 2|QZUNPACK|1");
         EXPECT_EQ(qzhost_default_button(MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDIGNORE);
         EXPECT_EQ(qzhost_default_button(MB_OK | MB_DEFBUTTON3), IDOK);   // no third button
         qzhost_set_responder(nullptr, nullptr);
         qztest::NoTerminalInput noTerminal;
         EXPECT_EQ(MessageBoxA(nullptr, "x", nullptr, MB_OK), IDOK);
         EXPECT_EQ(MessageBoxA(nullptr, "x", nullptr, MB_OKCANCEL), IDCANCEL);
         EXPECT_EQ(MessageBoxA(nullptr, "x", nullptr, MB_YESNO), IDNO);
         EXPECT_EQ(MessageBoxA(nullptr, "x", nullptr, MB_YESNOCANCEL), IDCANCEL);
         EXPECT_EQ(MessageBoxA(nullptr, "x", nullptr, MB_RETRYCANCEL), IDCANCEL);
         EXPECT_EQ(MessageBoxA(nullptr, "x", nullptr, MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDABORT);
     }},
    {"code page 932", 0, [](const qztest::TempDir &) {
         ASSERT_EQ(qzhost_set_codepage(932), 0);
         EXPECT_TRUE(IsDBCSLeadByte(0x81) && IsDBCSLeadByte(0xFC) && !IsDBCSLeadByte(0xA0));
         const char s[] = "a\x95\x5C\\b";   // 0x95 0x5C is one character whose trail byte is '\'
         EXPECT_EQ(CharNextA(s + 1), s + 3);
         EXPECT_EQ(CharPrevA(s, s + 3), s + 1);
         EXPECT_EQ(CharPrevA(s, s + 4), s + 3);
         char upper[] = "ab\x82\x61z\xE9";
         CharUpperA(upper);
         EXPECT_STREQ(upper, "AB\x82\x61Z\xE9");   // the trail 'a' stays
         EXPECT_NE(lstrcmpiA("x\x82\x61", "X\x82\x41"), 0);
     }},
};

TEST(Platform, PosixLayer) {
    for (const Row &row : kHost) {
        qzhost_reset();
        run_rows(&row, 1u);
    }
    qzhost_reset();
}

// The layer keeps no state that is torn down at exit: an ELF destructor
// (where the library closes the archives still open) may still call it.  A
// failure here turns the exit status of the test program into 97.
__attribute__((destructor)) void use_the_layer_while_exiting() {
    char tmp[MAX_PATH];
    char name[MAX_PATH];
    bool ok = GetTempPathA(sizeof tmp, tmp) > 0 && GetTempFileNameA(tmp, "QVW", 0, name) != 0;
    HANDLE h = ok ? qzplat::open_file(name, GENERIC_WRITE, 0, OPEN_EXISTING) : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE || !CloseHandle(h) || !DeleteFileA(name))
        _exit(97);
}

}  // namespace

#endif
