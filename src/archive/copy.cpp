// copy.cpp -- the buffered copy of a byte count from one open file to
// another, used for central directories and for the entry data of spanned
// sets, and the same copy across the end of volumes.
//
// The buffer is as large as memory allows up to 512 KiB: each failed
// allocation halves the request, so the copy still works under memory
// pressure.  It is allocated once per copy.  The message pump runs after
// every chunk and the cancel flag is looked at before each one.
#include "archive/archive.h"
#include "frame/frame.h"

namespace qz {
namespace archive {

int16_t copyBytes(HANDLE from, HANDLE to, int32_t count) {
    if (from == INVALID_HANDLE_VALUE || to == INVALID_HANDLE_VALUE)
        return QZ_ERR_FILE;
    if (count <= 0)
        return QZ_OK;

    uint32_t size = kCopyBufferBytes;
    frame::LockedBlock block;
    while (size > 0 && !block.allocate(size))
        size /= 2;
    if (!block.p)
        return QZ_ERR_MEMORY;
    uint8_t *buffer = (uint8_t *)block.p;

    int16_t result = QZ_OK;
    uint32_t left = (uint32_t)count;
    while (left > 0 && result == QZ_OK && !frame::g.cancel) {
        uint32_t chunk = left < size ? left : size;
        if (!readAll(from, buffer, chunk))
            result = QZ_ERR_READ;
        else if (!writeAll(to, buffer, chunk))
            result = QZ_ERR_WRITE;
        else
            left -= chunk;
        frame::pump();
    }

    block.release();
    if (frame::takeCancel())
        return QZ_CANCELLED;
    return result;
}

int16_t copySpanning(HANDLE *file, HANDLE to, uint32_t count, NextVolume next, void *context) {
    while (count > 0) {
        DWORD size = GetFileSize(*file, NULL);
        uint64_t pos;
        if (size == INVALID_FILE_SIZE || !tell(*file, &pos))
            return QZ_ERR_FILE;
        uint32_t left = pos < size ? size - (uint32_t)pos : 0;
        if (left >= count)
            return copyBytes(*file, to, (int32_t)count);
        int16_t result = copyBytes(*file, to, (int32_t)left);
        if (result != QZ_OK)
            return result;
        count -= left;
        result = next(context, file);
        if (result != QZ_OK)
            return result;
    }
    return QZ_OK;
}

}  // namespace archive
}  // namespace qz
