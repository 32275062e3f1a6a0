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

}  // namespace

int16_t createDirectories(const char *ansiPath) {
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
        bool failed = !Qz4DirExist(path) && !CreateDirectoryA(path, NULL);
        *sep = '\\';
        if (failed)
            return QZ_ERR_MKDIR;
        if (!sep[1])
            return QZ_OK;
        sep = nextBackslash(sep + 1);
        if (!sep)
            return QZ_OK;
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
