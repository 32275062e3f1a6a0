// copy.cpp -- the buffered copy of a byte count from one open file to
// another, used for central directories and for the entry data of spanned
// sets.
//
// The buffer is as large as memory allows up to 512 KiB: each failed
// allocation halves the request, so the copy still works under memory
// pressure.  It is allocated once per copy.  The message pump runs after
// every chunk and the cancel flag is looked at before each one.
#include "archive/archive.h"
#include "frame/frame.h"

namespace qz {
namespace archive {

int16_t copyBytes(HANDLE from, HANDLE to, int32_t count)
{
    if (from == INVALID_HANDLE_VALUE || to == INVALID_HANDLE_VALUE)
        return QZ_ERR_FILE;
    if (count <= 0)
        return QZ_OK;

    uint32_t size = kCopyBufferBytes;
    HGLOBAL memory = nullptr;
    while (size > 0 && !(memory = GlobalAlloc(GMEM_MOVEABLE, size)))
        size /= 2;
    if (!memory)
        return QZ_ERR_MEMORY;
    uint8_t *buffer = (uint8_t *)GlobalLock(memory);

    int16_t result = QZ_OK;
    uint32_t left = (uint32_t)count;
    while (left > 0 && result == QZ_OK && !frame::g.cancel) {
        uint32_t chunk = left < size ? left : size;
        if (!buffer || readSome(from, buffer, chunk) != chunk)
            result = QZ_ERR_READ;
        else if (writeAll(to, buffer, chunk) != 0)
            result = QZ_ERR_WRITE;
        else
            left -= chunk;
        frame::pump();
    }

    GlobalUnlock(memory);
    GlobalFree(memory);
    if (frame::takeCancel())
        return QZ_CANCELLED;
    return result;
}

}  // namespace archive
}  // namespace qz
