// endrecord.cpp -- locating the end record of an open archive.
//
// The end record normally fills the last 22 bytes.  When the archive has a
// comment it lies further back, at most 65,535 bytes; then a window of
// 65,557 bytes (or the whole file) is scanned from its start, and the first
// signature whose directory size and offset fit the file and whose offset
// holds a central directory header wins.  A search that accepts nothing
// still succeeds, with both offsets 0xFFFFFFFF: the next seek to them fails.
//
// Read as today's writers write archives, two more rules find the
// directory: with ZIP64, a locator in front of the end record points at the
// ZIP64 end record, whose fields are whole where the end record's are
// 0xFFFF or 0xFFFFFFFF; behind a stub that did not adjust the offsets, the
// directory is found where it really is, right in front of the (ZIP64) end
// record, and the difference to its recorded place is the shift every
// offset of the archive needs.
#include "archive/archive.h"
#include "frame/frame.h"

namespace qz {
namespace archive {

namespace {

enum : uint32_t { kWindowBytes = kEndRecordBytes + kMaxCommentBytes };

// True when a central directory header starts at offset.
bool centralHeaderAt(HANDLE file, uint64_t offset) {
    uint8_t signature[4];
    return seekTo(file, offset) && readAll(file, signature, sizeof signature) &&
           FieldReader(signature, sizeof signature).get32() == kSigCentral;
}

bool zip64EndRecordAt(HANDLE file, uint64_t offset, Zip64EndRecord *out) {
    uint8_t bytes[kZip64EndRecordBytes];
    return seekTo(file, offset) && readAll(file, bytes, sizeof bytes) &&
           decodeZip64EndRecord(bytes, sizeof bytes, out) && out->signature == kSigZip64End;
}

// The directory of the end record at endAt by the rules of today's
// archives (ZIP64 records, a stub's shift): true with *dirOffset and
// *shift when a central directory header is where they say.
bool findDirectory(HANDLE file, uint64_t endAt, const EndRecord &end, uint64_t *dirOffset, int64_t *shift) {
    uint64_t recorded = end.directoryOffset, size = end.directorySize, before = endAt;
    bool stub = qz::extensionOn(QZ_EXT_STUB_OFFSETS);
    uint8_t bytes[kZip64LocatorBytes];
    Zip64Locator locator;
    if (qz::extensionOn(QZ_EXT_ZIP64) && endAt >= kZip64LocatorBytes && seekTo(file, endAt - kZip64LocatorBytes) &&
        readAll(file, bytes, sizeof bytes) && decodeZip64Locator(bytes, sizeof bytes, &locator) &&
        locator.signature == kSigZip64Locator) {
        // Behind a stub the locator's offset is shifted too; the record
        // then lies right in front of the locator.
        uint64_t at = locator.endRecordOffset, inFront = endAt - kZip64LocatorBytes - kZip64EndRecordBytes;
        Zip64EndRecord record;
        bool found = zip64EndRecordAt(file, at, &record);
        if (!found && stub && endAt >= kZip64LocatorBytes + kZip64EndRecordBytes) {
            at = inFront;
            found = zip64EndRecordAt(file, at, &record);
        }
        if (found) {
            recorded = record.directoryOffset;
            size = record.directorySize;
            before = at;
        }
    }
    if (centralHeaderAt(file, recorded)) {
        *dirOffset = recorded;
        *shift = 0;
        return true;
    }
    if (!stub || size > before)
        return false;
    uint64_t real = before - size;
    if (real == recorded || !(size == 0 || centralHeaderAt(file, real)))
        return false;
    *dirOffset = real;
    *shift = (int64_t)(real - recorded);
    return true;
}

bool todaysRules() {
    return qz::extensionOn(QZ_EXT_ZIP64 | QZ_EXT_STUB_OFFSETS);
}

// Scans the window; *found is the accepted candidate's position in the
// window, or stays -1.
int16_t scanWindow(HANDLE file, const uint8_t *window, uint32_t length, uint64_t windowAt, uint64_t fileSize,
                   int32_t *found, uint64_t *dirOffset, int64_t *shift) {
    if (length < kEndRecordBytes + 1)
        return QZ_OK;
    uint32_t last = length - (kEndRecordBytes + 1);
    for (uint32_t i = 0; i <= last; ++i) {
        // Every candidate up to `last` has its 22 bytes inside the window.
        EndRecord end;
        decodeEndRecord(window + i, length - i, &end);
        if (end.signature != kSigEnd)
            continue;
        if (todaysRules() && findDirectory(file, windowAt + i, end, dirOffset, shift)) {
            *found = (int32_t)i;
            return QZ_OK;
        }
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
int16_t searchWindow(HANDLE file, uint64_t size, uint64_t *endOffset, uint64_t *dirOffset, int64_t *shift) {
    uint32_t length = size < kWindowBytes ? (uint32_t)size : kWindowBytes;
    frame::LockedBlock block;
    if (!block.allocate(length))
        return QZ_ERR_MEMORY;
    int16_t result = QZ_OK;
    int32_t found = -1;
    uint64_t dir = 0xFFFFFFFFu;
    if (!seekTo(file, size - length) || !readAll(file, block.p, length))
        result = QZ_ERR_FILE;
    else
        result = scanWindow(file, (const uint8_t *)block.p, length, size - length, size, &found, &dir, shift);
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
    uint64_t endOffset = 0xFFFFFFFFu, dirOffset = 0xFFFFFFFFu;
    int64_t shift = 0;
    EndRecord tail;
    uint64_t size;
    int16_t result = readTail(file, &tail, &size);
    if (result != QZ_OK)
        return result;
    if (tail.signature == kSigEnd) {
        endOffset = size - kEndRecordBytes;
        dirOffset = tail.directoryOffset;
        if (todaysRules())
            findDirectory(file, endOffset, tail, &dirOffset, &shift);
    } else {
        result = searchWindow(file, size, &endOffset, &dirOffset, &shift);
        if (result != QZ_OK)
            return result;
    }
    a->endOffset = endOffset;
    a->dirOffset = dirOffset;
    a->shift = shift;
    a->flags |= kFlagLocated;
    return QZ_OK;
}

}  // namespace archive
}  // namespace qz
