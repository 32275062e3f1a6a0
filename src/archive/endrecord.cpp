// endrecord.cpp -- locating the end record of an open archive.
//
// The end record normally fills the last 22 bytes.  When the archive has a
// comment it lies further back, at most 65,535 bytes; then a window of
// 65,557 bytes (or the whole file) is scanned from its start, and the first
// signature whose directory size and offset fit the file and whose offset
// holds a central directory header wins.  A search that accepts nothing
// still succeeds, with both offsets 0xFFFFFFFF: the next seek to them fails.
#include "archive/archive.h"
#include "frame/frame.h"

namespace qz {
namespace archive {

namespace {

enum : uint32_t { kWindowBytes = kEndRecordBytes + kMaxCommentBytes };

// Scans the window; *found is the accepted candidate's position in the
// window, or stays -1.
int16_t scanWindow(HANDLE file, const uint8_t *window, uint32_t length, uint32_t fileSize,
                   int32_t *found, uint32_t *dirOffset) {
    if (length < kEndRecordBytes + 1)
        return QZ_OK;
    uint32_t last = length - (kEndRecordBytes + 1);
    for (uint32_t i = 0; i <= last; ++i) {
        // Every candidate up to `last` has its 22 bytes inside the window.
        EndRecord end;
        decodeEndRecord(window + i, length - i, &end);
        if (end.signature != kSigEnd)
            continue;
        int32_t size = (int32_t)end.directorySize;
        int32_t offset = (int32_t)end.directoryOffset;
        if (size >= (int32_t)fileSize || offset >= (int32_t)fileSize)
            continue;
        uint8_t signature[4];
        if (!seekTo(file, (uint32_t)offset) || !readAll(file, signature, sizeof signature))
            return QZ_ERR_FILE;
        if (FieldReader(signature, sizeof signature).get32() != kSigCentral)
            continue;
        *found = (int32_t)i;
        *dirOffset = (uint32_t)offset;
        return QZ_OK;
    }
    return QZ_OK;
}

// The search behind a comment: the window that ends the file, scanned
// from its start.
int16_t searchWindow(HANDLE file, uint32_t size, uint32_t *endOffset, uint32_t *dirOffset) {
    uint32_t length = size < kWindowBytes ? size : kWindowBytes;
    frame::LockedBlock block;
    if (!block.allocate(length))
        return QZ_ERR_MEMORY;
    int16_t result = QZ_OK;
    int32_t found = -1;
    uint32_t dir = 0xFFFFFFFFu;
    if (!seekTo(file, size - length) || !readAll(file, block.p, length))
        result = QZ_ERR_FILE;
    else
        result = scanWindow(file, (const uint8_t *)block.p, length, size, &found, &dir);
    block.release();
    if (result == QZ_OK && found >= 0) {
        *endOffset = size - length + (uint32_t)found;
        *dirOffset = dir;
    }
    return result;
}

}  // namespace

int16_t ensureLocated(Archive *a) {
    if (a->flags & kFlagLocated)
        return QZ_OK;
    return locateEndRecord(a);
}

int16_t locateEndRecord(Archive *a) {
    a->flags &= (uint16_t)~kFlagLocated;
    HANDLE file = directoryHandle(a);
    uint32_t endOffset = 0xFFFFFFFFu, dirOffset = 0xFFFFFFFFu;
    EndRecord tail;
    uint32_t size;
    int16_t result = readTail(file, &tail, &size);
    if (result != QZ_OK)
        return result;
    if (tail.signature == kSigEnd) {
        endOffset = size - kEndRecordBytes;
        dirOffset = tail.directoryOffset;
    } else {
        result = searchWindow(file, size, &endOffset, &dirOffset);
        if (result != QZ_OK)
            return result;
    }
    a->endOffset = endOffset;
    a->dirOffset = dirOffset;
    a->flags |= kFlagLocated;
    return QZ_OK;
}

}  // namespace archive
}  // namespace qz
