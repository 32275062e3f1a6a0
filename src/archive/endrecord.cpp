// endrecord.cpp -- locating the end record of an open archive.
//
// The end record normally fills the last 22 bytes.  When the archive has a
// comment it lies further back, at most 65,535 bytes; then a window of
// 65,557 bytes (or the whole file) is scanned from its start, and the first
// signature whose directory size and offset fit the file and whose offset
// holds a central directory header wins.  A search that accepts nothing
// still succeeds, with both offsets 0xFFFFFFFF: the next seek to them fails.
#include "archive/archive.h"

namespace qz {
namespace archive {

namespace {

enum : uint32_t { kWindowBytes = kEndRecordBytes + kMaxCommentBytes };

// Scans the window; *found is the accepted candidate's position in the
// window, or stays -1.
int16_t scanWindow(HANDLE file, const uint8_t *window, uint32_t length, uint32_t fileSize,
                   int32_t *found, uint32_t *dirOffset)
{
    if (length < kEndRecordBytes + 1)
        return QZ_OK;
    uint32_t last = length - (kEndRecordBytes + 1);
    for (uint32_t i = 0; i <= last; ++i) {
        if (get32(window + i) != kSigEnd)
            continue;
        // Every candidate before `last` has its 22 bytes inside the window.
        int32_t size = (int32_t)get32(window + i + 12);
        int32_t offset = (int32_t)get32(window + i + 16);
        if (size >= (int32_t)fileSize || offset >= (int32_t)fileSize)
            continue;
        uint8_t sig[4];
        if (!seekTo(file, (uint32_t)offset) || readSome(file, sig, 4) != 4)
            return QZ_ERR_FILE;
        if (get32(sig) != kSigCentral)
            continue;
        *found = (int32_t)i;
        *dirOffset = (uint32_t)offset;
        return QZ_OK;
    }
    return QZ_OK;
}

}  // namespace

int16_t ensureLocated(Archive *a, QzHandle handle)
{
    if (a->flags & kFlagLocated)
        return QZ_OK;
    return locateEndRecord(handle, nullptr, nullptr);
}

int16_t locateEndRecord(QzHandle handle, uint32_t *endOffset, uint32_t *dirOffset)
{
    uint32_t endOut = 0xFFFFFFFFu, dirOut = 0xFFFFFFFFu;
    if (endOffset)
        *endOffset = endOut;
    if (dirOffset)
        *dirOffset = dirOut;
    Archive *a;
    if (findArchive(handle, &a) != QZ_OK)
        return QZ_ERR_HANDLE;
    a->flags &= (uint16_t)~kFlagLocated;
    HANDLE file = directoryHandle(a);

    uint32_t size = SetFilePointer(file, 0, NULL, FILE_END);
    if (size == INVALID_SET_FILE_POINTER)
        return QZ_ERR_FILE;
    if (size < kEndRecordBytes)
        return QZ_ERR_NOT_ZIP;

    uint8_t tail[kEndRecordBytes];
    if (!seekTo(file, size - kEndRecordBytes) || readSome(file, tail, kEndRecordBytes) != kEndRecordBytes)
        return QZ_ERR_FILE;
    if (get32(tail) == kSigEnd) {
        endOut = size - kEndRecordBytes;
        dirOut = get32(tail + 16);
    } else {
        uint32_t length = size < kWindowBytes ? size : kWindowBytes;
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, length);
        if (!memory)
            return QZ_ERR_MEMORY;
        uint8_t *window = (uint8_t *)GlobalLock(memory);
        int16_t result = QZ_OK;
        int32_t found = -1;
        uint32_t dir = 0xFFFFFFFFu;
        if (!window || !seekTo(file, size - length) || readSome(file, window, length) != length)
            result = QZ_ERR_FILE;
        else
            result = scanWindow(file, window, length, size, &found, &dir);
        GlobalUnlock(memory);
        GlobalFree(memory);
        if (result != QZ_OK)
            return result;
        if (found >= 0) {
            endOut = size - length + (uint32_t)found;
            dirOut = dir;
        }
    }

    a->endOffset = endOut;
    a->dirOffset = dirOut;
    a->flags |= kFlagLocated;
    if (endOffset)
        *endOffset = endOut;
    if (dirOffset)
        *dirOffset = dirOut;
    return QZ_OK;
}

}  // namespace archive
}  // namespace qz
