// directories.cpp -- Qz4DirExist and the creation of the directories on the
// way to a destination file.
#include "extract/extract.h"

namespace qz {
namespace extract {

namespace {

// The next '\' at or after p, or null.
char *nextBackslash(char *p) {
    for (; *p; p = CharNextA(p))
        if (*p == '\\')
            return p;
    return nullptr;
}

// True when the directory path, cut at n bytes, is the known one or one of
// its parents ("a\b" in "a\b\c\").
bool inKnown(const char *known, const char *path, size_t n) {
    size_t i = 0;
    while (i < n && known[i] && known[i] == path[i])
        ++i;
    return i == n && known[n] == '\\';
}

}  // namespace

int16_t createDirectories(const char *ansiPath, char *known) {
    char path[kNameBytes];
    lstrcpynA(path, ansiPath ? ansiPath : "", kNameBytes);
    replaceChar(path, '/', '\\');
    if (!path[0])
        return QZ_OK;

    // A leading '\' is the root, not a directory to make.
    char *sep = nextBackslash(CharNextA(path));
    if (!sep)
        return QZ_OK;
    if (CharPrevA(path, sep)[0] == ':') {
        sep = nextBackslash(sep + 1);
        if (!sep)
            return QZ_OK;
    }
    for (;;) {
        *sep = 0;
        bool failed;
        if (known) {
            // Made at once: the look comes only when something is there.
            failed = !inKnown(known, path, (size_t)(sep - path)) && !CreateDirectoryA(path, NULL) &&
                     !(GetLastError() == ERROR_ALREADY_EXISTS && Qz4DirExist(path));
        } else {
            failed = !Qz4DirExist(path) && !CreateDirectoryA(path, NULL);
        }
        *sep = '\\';
        if (failed) {
            if (known)
                known[0] = 0;
            return QZ_ERR_MKDIR;
        }
        char *next = sep[1] ? nextBackslash(sep + 1) : nullptr;
        if (!next) {
            if (known)
                lstrcpynA(known, path, (int)(sep - path) + 2);
            return QZ_OK;
        }
        sep = next;
    }
}

}  // namespace extract
}  // namespace qz

QZ_API(int16_t) Qz4DirExist(const char *path) {
    if (!path)
        return 0;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path, &data);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}
