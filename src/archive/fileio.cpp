// fileio.cpp -- the file primitives of archive access: opening and deleting
// by OEM name, whole-buffer reads and writes with fixed result conventions,
// seeks, temporary names and the local file header.
//
// Seeks use the signed 32-bit form of SetFilePointer: an offset of
// 0xFFFFFFFF (left by a failed end record search) is a negative position
// and always fails, which the callers report as 105.
#include "archive/archive.h"

namespace qz {
namespace archive {

HANDLE openOem(const char *oemName, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    char ansi[kNameBytes];
    lstrcpynA(ansi, oemName, kNameBytes);
    OemToCharA(ansi, ansi);
    return CreateFileA(ansi, access, share, NULL, disposition, flags, NULL);
}

void deleteOem(const char *oemName)
{
    char ansi[kNameBytes];
    lstrcpynA(ansi, oemName, kNameBytes);
    OemToCharA(ansi, ansi);
    DeleteFileA(ansi);
}

uint16_t writeAll(HANDLE file, const void *buffer, uint32_t count)
{
    DWORD written = 0;
    if (!WriteFile(file, buffer, count, &written, NULL) || written != count)
        return 1;
    return 0;
}

uint32_t readSome(HANDLE file, void *buffer, uint32_t count)
{
    DWORD got = 0;
    if (!ReadFile(file, buffer, count, &got, NULL))
        return 0;
    return got;
}

bool seekTo(HANDLE file, uint32_t offset)
{
    return SetFilePointer(file, (LONG)offset, NULL, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

bool seekBy(HANDLE file, int32_t distance)
{
    return SetFilePointer(file, distance, NULL, FILE_CURRENT) != INVALID_SET_FILE_POINTER;
}

uint32_t tell(HANDLE file)
{
    return SetFilePointer(file, 0, NULL, FILE_CURRENT);
}

char *makeTempName()
{
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

int16_t readLocalHeader(HANDLE file, LocalHeader *out)
{
    uint8_t b[kLocalHeaderBytes];
    if (readSome(file, b, sizeof b) != sizeof b)
        return QZ_ERR_READ;
    out->versionNeeded = get16(b + 4);
    out->flags = get16(b + 6);
    out->method = get16(b + 8);
    out->dosTime = get16(b + 10);
    out->dosDate = get16(b + 12);
    out->crc32 = get32(b + 14);
    out->compressedSize = get32(b + 18);
    out->uncompressedSize = get32(b + 22);
    out->nameLength = get16(b + 26);
    out->extraLength = get16(b + 28);
    return QZ_OK;
}

}  // namespace archive
}  // namespace qz
