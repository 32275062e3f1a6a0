// fileio.cpp -- the file primitives of archive access: opening by OEM
// name, whole-buffer reads and writes, seeks and temporary names.  Each
// transfer and seek says true when it did all it was asked.
//
// Seeks use the signed 32-bit form of SetFilePointer: an offset of
// 0xFFFFFFFF (left by a failed end record search) is a negative position
// and always fails, which the callers report as QZ_ERR_FILE.  With ZIP64
// read, positions are 64-bit.
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

namespace {

// SetFilePointer with the high half: the new position, or false.
bool seekWide(HANDLE file, int64_t distance, DWORD method, uint64_t *position) {
    LONG high = (LONG)(distance >> 32);
    DWORD low = SetFilePointer(file, (LONG)(uint32_t)distance, &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS)
        return false;
    *position = (uint64_t)(uint32_t)high << 32 | low;
    return true;
}

}  // namespace

bool seekTo(HANDLE file, uint64_t offset) {
    uint64_t at;
    if (qz::extensionOn(QZ_EXT_ZIP64))
        return offset <= (uint64_t)INT64_MAX && seekWide(file, (int64_t)offset, FILE_BEGIN, &at);
    return offset <= 0xFFFFFFFFu &&
           SetFilePointer(file, (LONG)(uint32_t)offset, NULL, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

bool seekBy(HANDLE file, int32_t distance) {
    return SetFilePointer(file, distance, NULL, FILE_CURRENT) != INVALID_SET_FILE_POINTER;
}

bool tell(HANDLE file, uint64_t *position) {
    if (qz::extensionOn(QZ_EXT_ZIP64))
        return seekWide(file, 0, FILE_CURRENT, position);
    DWORD at = SetFilePointer(file, 0, NULL, FILE_CURRENT);
    *position = at;
    return at != INVALID_SET_FILE_POINTER;
}

bool seekToEnd(HANDLE file, uint64_t *size) {
    if (qz::extensionOn(QZ_EXT_ZIP64))
        return seekWide(file, 0, FILE_END, size);
    DWORD at = SetFilePointer(file, 0, NULL, FILE_END);
    *size = at;
    return at != INVALID_SET_FILE_POINTER;
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
