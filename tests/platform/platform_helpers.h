// Helpers of the platform tables: files reached through the Win32 calls, and
// rows of behaviours run in a fresh folder each.
#ifndef QZ_TESTS_PLATFORM_HELPERS_H
#define QZ_TESTS_PLATFORM_HELPERS_H

#include "platform/win32.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace qzplat {

inline HANDLE open_file(const std::string &name, DWORD access, DWORD share, DWORD disposition,
                        DWORD attrs = 0) {
    return CreateFileA(name.c_str(), access, share, nullptr, disposition, attrs, nullptr);
}

// The last error after an open (0 or ERROR_ALREADY_EXISTS when it worked).
inline DWORD open_error(const std::string &name, DWORD access, DWORD share, DWORD disposition,
                        DWORD attrs = 0) {
    SetLastError(0);
    HANDLE h = open_file(name, access, share, disposition, attrs);
    DWORD error = GetLastError();
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    return error;
}

inline bool write_file(const std::string &name, const std::string &data) {
    HANDLE h = open_file(name, GENERIC_WRITE, 0, CREATE_ALWAYS);
    DWORD written = 0;
    bool ok = h != INVALID_HANDLE_VALUE && WriteFile(h, data.data(), (DWORD)data.size(), &written, nullptr);
    CloseHandle(h);
    return ok && written == data.size();
}

inline std::string read_file(const std::string &name) {
    HANDLE h = open_file(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buf[4096];
    DWORD got = 0;
    std::string out;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

inline std::string find_all(const std::string &pattern) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return "!" + std::to_string(GetLastError());
    std::vector<std::string> names;
    do
        names.push_back(fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string &n : names)
        joined += (joined.empty() ? "" : ",") + n;
    return joined;
}

// Windows keeps a folder that holds a read-only file.
inline void clear_attributes(const qztest::TempDir &dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(dir.file("*").c_str(), &fd);
    while (h != INVALID_HANDLE_VALUE && FindNextFileA(h, &fd))
        SetFileAttributesA(dir.file(fd.cFileName).c_str(), FILE_ATTRIBUTE_NORMAL);
    FindClose(h);
}

// Wine does not follow a few of the rules (see the rows marked kNotWine).
inline bool under_wine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

enum { kNotWine = 1 };

struct Row {
    const char *name;
    unsigned marks;
    void (*run)(const qztest::TempDir &dir);
};

// Runs each row in a folder of its own.
inline void run_rows(const Row *rows, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if ((rows[i].marks & kNotWine) && under_wine())
            continue;
        SCOPED_TRACE(rows[i].name);
        qztest::TempDir dir;
        rows[i].run(dir);
        clear_attributes(dir);
    }
}

}  // namespace qzplat

#endif
