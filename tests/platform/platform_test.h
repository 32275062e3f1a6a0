// Shared helpers of the platform tests: a fresh folder per test, reached
// through the Win32 names, and small file helpers.
#ifndef QZ_TESTS_PLATFORM_TEST_H
#define QZ_TESTS_PLATFORM_TEST_H

#include "platform/win32.h"
#if !defined(_WIN32)
#include "platform/host.h"
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

namespace qzplat {

// A new empty folder, removed again with everything in it (read-only files
// included).  path() is its Win32 form without a trailing separator.
class TempDir {
public:
    TempDir() {
        static std::atomic<unsigned> counter{0};
        auto base = std::filesystem::temp_directory_path();
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir_ = base / ("qzplat-" + std::to_string(stamp % 1000000007) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(dir_);
        path_ = dir_.string();
    }
    ~TempDir() {
        std::error_code ec;
        for (auto &e : std::filesystem::recursive_directory_iterator(dir_, ec)) {
            SetFileAttributesA(e.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "\\" + name; }
    const std::filesystem::path &fs() const { return dir_; }

private:
    std::filesystem::path dir_;
    std::string path_;
};

// Writes a file through the Win32 calls; false on any failure.
inline bool write_file(const std::string &name, const std::string &data, DWORD attrs = FILE_ATTRIBUTE_NORMAL) {
    HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attrs, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, data.data(), (DWORD)data.size(), &written, nullptr);
    CloseHandle(h);
    return ok && written == data.size();
}

inline std::string read_file(const std::string &name) {
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    CloseHandle(h);
    return out;
}

// Wine runs the Windows build of the tests; a few Windows rules it does not
// reproduce (it cannot refuse a root user a read-only file, it lets any
// handle set times and replace hidden files, and it reports ARCHIVE on
// every file).  Those checks are left out there.
inline bool under_wine() {
#if defined(_WIN32)
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

} // namespace qzplat

#if defined(_WIN32)
#define QZ_POSIX_ONLY() GTEST_SKIP() << "needs the POSIX layer's host controls"
#else
#define QZ_POSIX_ONLY() qzhost_reset()
#endif

#endif
