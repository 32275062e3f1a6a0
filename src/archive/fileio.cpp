// fileio.cpp -- the file primitives of archive access: opening by OEM
// name, whole-buffer reads and writes, seeks and temporary names.  Each
// transfer and seek says true when it did all it was asked.
//
// Seeks use the signed 32-bit form of SetFilePointer: an offset of
// 0xFFFFFFFF (left by a failed end record search) is a negative position
// and always fails, which the callers report as QZ_ERR_FILE.
#include "archive/archive.h"

namespace qz {
namespace archive {

HANDLE openOem(const char *oemName, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    char ansi[kNameBytes];
    lstrcpynA(ansi, oemName, kNameBytes);
    qz::oemToAnsi(ansi, ansi);
    return CreateFileA(ansi, access, share, NULL, disposition, flags, NULL);
}

bool writeAll(HANDLE file, const void *buffer, uint32_t count) {
    DWORD written = 0;
    return WriteFile(file, buffer, count, &written, NULL) && written == count;
}

bool readAll(HANDLE file, void *buffer, uint32_t count, uint32_t *got) {
    DWORD read = 0;
    if (!ReadFile(file, buffer, count, &read, NULL))
        read = 0;
    if (got)
        *got = read;
    return read == count;
}

bool seekTo(HANDLE file, uint32_t offset) {
    return SetFilePointer(file, (LONG)offset, NULL, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

bool seekBy(HANDLE file, int32_t distance) {
    return SetFilePointer(file, distance, NULL, FILE_CURRENT) != INVALID_SET_FILE_POINTER;
}

bool tell(HANDLE file, uint32_t *position) {
    *position = SetFilePointer(file, 0, NULL, FILE_CURRENT);
    return *position != INVALID_SET_FILE_POINTER;
}

char *makeTempName() {
    char *dir = (char *)heapAlloc(kNameBytes);
    char *name = (char *)heapAlloc(kNameBytes);
    if (!dir || !name) {
        heapFree(dir);
        heapFree(name);
        return nullptr;
    }
    DWORD n = GetTempPathA(kNameBytes, dir);
    if (n == 0 || n >= kNameBytes || GetTempFileNameA(dir, "QVW", 0, name) == 0) {
        heapFree(dir);
        heapFree(name);
        return nullptr;
    }
    heapFree(dir);
    // The name is kept at its own length.
    char *shrunk = (char *)HeapReAlloc(GetProcessHeap(), 0, name, (SIZE_T)lstrlenA(name) + 1);
    return shrunk ? shrunk : name;
}

}  // namespace archive
}  // namespace qz
