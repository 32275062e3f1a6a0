// dirfile.cpp -- the directory file: a temporary file holding a standard
// central directory and an end record, built at open time for every layout
// whose directory is not a plain ZIP directory in the archive file itself.
//
//   QZVW (types 2, 10): fixed 46-byte records, then all variable parts;
//     each record gets its signature back and is followed by its parts.
//   spanned set (type 3): the directory as stored, read from the volumes
//     it spans, with the end record of the last volume.
//   directory-first volume (type 4): the headers at the start of the
//     volume up to the first one without the signature.
//
// From then on every reader of the directory sees ZIP central directory
// headers only.
#include "archive/archive.h"

namespace qz {
namespace archive {

namespace {

enum : uint16_t { kLastVolume = 10000 };

int16_t writeEndRecord(HANDLE dir, const uint8_t *model, uint16_t entries, uint32_t size)
{
    uint8_t end[kEndRecordBytes] = {0};
    if (model) {
        for (uint32_t i = 0; i < kEndRecordBytes; ++i)
            end[i] = model[i];
    } else {
        put32(end, kSigEnd);
        put16(end + 8, entries);
        put16(end + 10, entries);
        put32(end + 12, size);
    }
    put32(end + 16, 0);   // the directory starts the directory file
    put16(end + 20, 0);   // and it carries no comment
    return writeAll(dir, end, sizeof end) ? QZ_ERR_WRITE : QZ_OK;
}

int16_t buildQzvw(HANDLE file, HANDLE dir, uint16_t *volume)
{
    uint8_t head[kQzvwHeaderBytes];
    if (!seekTo(file, 0) || readSome(file, head, sizeof head) != sizeof head)
        return QZ_ERR_FILE;
    uint16_t kind = get16(head + 4);
    if (get32(head) != kMagicQzvw || kind < 1 || kind > 3)
        return QZ_ERR_LAYOUT;
    uint16_t n = get16(head + 6);
    uint32_t first = get16(head + 10);
    uint32_t cursor = first + kCentralHeaderBytes * (uint32_t)n;
    uint32_t size = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t rec[kCentralHeaderBytes];
        if (!seekTo(file, first + kCentralHeaderBytes * i))
            return QZ_ERR_FILE;
        if (readSome(file, rec, sizeof rec) != sizeof rec)
            return QZ_ERR_READ;
        put32(rec, kSigCentral);
        if (writeAll(dir, rec, sizeof rec))
            return QZ_ERR_WRITE;
        uint32_t parts = (uint32_t)get16(rec + 28) + get16(rec + 30) + get16(rec + 32);
        if (!seekTo(file, cursor))
            return QZ_ERR_FILE;
        int16_t result = copyBytes(file, dir, (int32_t)parts);
        if (result != QZ_OK)
            return result;
        cursor += parts;
        size += kCentralHeaderBytes + parts;
    }
    *volume = 1;
    return writeEndRecord(dir, nullptr, n, size);
}

// Copies count bytes from the current position of the current volume,
// asking for the next volume each time one ends.
int16_t copySpanning(const char *oemName, HANDLE *file, uint16_t *volume, HANDLE dir, uint32_t count)
{
    while (count > 0) {
        DWORD size = GetFileSize(*file, NULL);
        uint32_t pos = tell(*file);
        if (size == INVALID_FILE_SIZE || pos == 0xFFFFFFFFu)
            return QZ_ERR_FILE;
        uint32_t left = pos < size ? size - pos : 0;
        uint32_t chunk = left < count ? left : count;
        int16_t result = copyBytes(*file, dir, (int32_t)chunk);
        if (result != QZ_OK)
            return result;
        count -= chunk;
        if (count > 0) {
            ++*volume;
            result = requestVolume(*volume, oemName, file);
            if (result != QZ_OK)
                return result;
        }
    }
    return QZ_OK;
}

// Reads the last 22 bytes of the volume: 0 and the end record, 1 when the
// volume holds none, 105 when a seek or read fails.
int16_t readLastEndRecord(HANDLE file, uint8_t end[kEndRecordBytes])
{
    uint32_t size = SetFilePointer(file, 0, NULL, FILE_END);
    if (size == INVALID_SET_FILE_POINTER)
        return QZ_ERR_FILE;
    if (size < kEndRecordBytes)
        return 1;
    if (!seekTo(file, size - kEndRecordBytes) || readSome(file, end, kEndRecordBytes) != kEndRecordBytes)
        return QZ_ERR_FILE;
    return get32(end) == kSigEnd ? QZ_OK : 1;
}

int16_t buildSpanned(const char *oemName, HANDLE *file, uint16_t *volume, HANDLE dir)
{
    uint8_t end[kEndRecordBytes];
    for (;;) {
        int16_t found = readLastEndRecord(*file, end);
        if (found == QZ_OK)
            break;
        if (found != 1)
            return found;
        int16_t result = requestVolume(kLastVolume, oemName, file);
        if (result != QZ_OK)
            return result;
    }
    *volume = (uint16_t)(get16(end + 4) + 1);
    uint16_t start = (uint16_t)(get16(end + 6) + 1);
    if (*volume != start) {
        int16_t result = requestVolume(start, oemName, file);
        if (result != QZ_OK)
            return result;
        *volume = start;
    }
    if (!seekTo(*file, get32(end + 16)))
        return QZ_ERR_FILE;
    int16_t result = copySpanning(oemName, file, volume, dir, get32(end + 12));
    if (result != QZ_OK)
        return result;
    return writeEndRecord(dir, end, 0, 0);
}

int16_t buildDirFirst(const char *oemName, HANDLE *file, uint16_t *volume, HANDLE dir)
{
    *volume = 0;
    if (!seekTo(*file, 0))
        return QZ_ERR_FILE;
    uint32_t count = 0, size = 0;
    for (;;) {
        uint8_t rec[kCentralHeaderBytes];
        // A record shorter than a header (the end record at the end of the
        // volume) ends the walk like one without the signature.
        if (readSome(*file, rec, sizeof rec) != sizeof rec || get32(rec) != kSigCentral)
            break;
        if (writeAll(dir, rec, sizeof rec))
            return QZ_ERR_WRITE;
        uint32_t parts = (uint32_t)get16(rec + 28) + get16(rec + 30) + get16(rec + 32);
        int16_t result = copySpanning(oemName, file, volume, dir, parts);
        if (result != QZ_OK)
            return result;
        ++count;
        size += kCentralHeaderBytes + parts;
    }
    return writeEndRecord(dir, nullptr, (uint16_t)count, size);
}

}  // namespace

int16_t buildDirectory(uint16_t type, const char *oemName, HANDLE *file, uint16_t *volume,
                       HANDLE *dirFile, char **dirName)
{
    *dirFile = INVALID_HANDLE_VALUE;
    *dirName = makeTempName();
    if (!*dirName)
        return QZ_ERR_FILE;
    HANDLE dir = CreateFileA(*dirName, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                             FILE_FLAG_RANDOM_ACCESS, NULL);
    if (dir == INVALID_HANDLE_VALUE) {
        DeleteFileA(*dirName);
        heapFree(*dirName);
        *dirName = nullptr;
        return QZ_ERR_FILE;
    }

    int16_t result;
    switch (type) {
    case QZ_TYPE_QZVW:
    case QZ_TYPE_QZVW3:
        result = buildQzvw(*file, dir, volume);
        break;
    case QZ_TYPE_SPANNED:
        result = buildSpanned(oemName, file, volume, dir);
        break;
    case QZ_TYPE_DIR_FIRST:
        result = buildDirFirst(oemName, file, volume, dir);
        break;
    default:
        result = QZ_ERR_LAYOUT;
        break;
    }

    if (result != QZ_OK) {
        CloseHandle(dir);
        DeleteFileA(*dirName);
        heapFree(*dirName);
        *dirName = nullptr;
        return result;
    }
    *dirFile = dir;
    return QZ_OK;
}

}  // namespace archive
}  // namespace qz
