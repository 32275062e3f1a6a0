// find.cpp -- the filtered search of files on disk: find first and find
// next over FindFirstFileA / FindNextFileA, passing only files whose
// attributes the caller accepts and whose name fits the name part of the
// search path.
//
// The extraction driver asks with the mask 6 (hidden and system) whether a
// destination file exists: plain, read-only, archive, hidden and system
// files count, directories do not.
#include "select/select.h"

namespace qz {
namespace select {
namespace {

// The attribute and name filter of one found file.
bool passes(const WIN32_FIND_DATAA &found, DWORD mask, const char *namePattern) {
    const DWORD requested = mask & ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE);
    const DWORD have = found.dwFileAttributes &
                       ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE |
                                           FILE_ATTRIBUTE_NORMAL);
    if (requested == 0 || requested == FILE_ATTRIBUTE_NORMAL) {
        if (have != 0) return false;
    } else if ((have & ~requested) != 0) {
        return false;
    }
    const char *n = found.cFileName;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) return false;
    return QzMatchFile(n, namePattern) != 0;
}

// The search path in ANSI and its name part.
void searchParts(const char *path, char *ansi, char *namePattern) {
    char oem[kNameBytes];
    lstrcpynA(oem, path ? path : "", sizeof oem);
    qz::oemToAnsi(oem, ansi);
    splitPath(ansi, nullptr, nullptr, namePattern);
}

}  // namespace

HANDLE findFirst(const char *path, DWORD mask, WIN32_FIND_DATAA *data) {
    char ansi[kNameBytes], namePattern[kNameBytes];
    searchParts(path, ansi, namePattern);
    HANDLE h = FindFirstFileA(ansi, data);
    if (h == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
    if (passes(*data, mask, namePattern)) return h;
    if (findNext(&h, path, mask, data)) return h;
    return INVALID_HANDLE_VALUE;
}

bool findNext(HANDLE *handle, const char *path, DWORD mask, WIN32_FIND_DATAA *data) {
    char ansi[kNameBytes], namePattern[kNameBytes];
    searchParts(path, ansi, namePattern);
    while (*handle != INVALID_HANDLE_VALUE) {
        if (!FindNextFileA(*handle, data)) {
            FindClose(*handle);
            *handle = INVALID_HANDLE_VALUE;
            return false;
        }
        if (passes(*data, mask, namePattern)) return true;
    }
    return false;
}

}  // namespace select
}  // namespace qz
