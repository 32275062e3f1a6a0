// headers.cpp -- the three records of the archive format by name: the
// central directory header, the local file header and the end record.
//
// Each reader lists the record's fields in file order; nothing else in the
// library knows at which offset a field lies.
#include "archive/archive.h"

namespace qz {
namespace archive {

namespace {

// The run of fields that the central and the local header share, from the
// flags to the extra field's length.
template <class Header>
void readSharedFields(FieldReader &in, Header *out) {
    out->flags = in.get16();
    out->method = in.get16();
    out->dosTime = in.get16();
    out->dosDate = in.get16();
    out->crc32 = in.get32();
    out->compressedSize = in.get32();
    out->uncompressedSize = in.get32();
    out->nameLength = in.get16();
    out->extraLength = in.get16();
}

}  // namespace

bool decodeCentralHeader(const uint8_t *bytes, uint32_t length, QzEntryRecord *out) {
    FieldReader in(bytes, length);
    out->signature = in.get32();
    out->versionMadeBy = in.get16();
    out->versionNeeded = in.get16();
    readSharedFields(in, out);
    out->commentLength = in.get16();
    out->diskNumberStart = in.get16();
    out->internalAttributes = in.get16();
    out->externalAttributes = in.get32();
    out->localHeaderOffset = in.get32();
    return in.ok;
}

int16_t readLocalHeader(HANDLE file, LocalHeader *out) {
    uint8_t bytes[kLocalHeaderBytes];
    if (!readAll(file, bytes, sizeof bytes))
        return QZ_ERR_READ;
    FieldReader in(bytes, sizeof bytes);
    out->signature = in.get32();
    out->versionNeeded = in.get16();
    readSharedFields(in, out);
    return QZ_OK;
}

bool decodeEndRecord(const uint8_t *bytes, uint32_t length, EndRecord *out) {
    FieldReader in(bytes, length);
    out->signature = in.get32();
    out->disk = in.get16();
    out->directoryDisk = in.get16();
    out->diskEntries = in.get16();
    out->entries = in.get16();
    out->directorySize = in.get32();
    out->directoryOffset = in.get32();
    out->commentLength = in.get16();
    return in.ok;
}

bool decodeZip64Locator(const uint8_t *bytes, uint32_t length, Zip64Locator *out) {
    FieldReader in(bytes, length);
    out->signature = in.get32();
    out->endRecordDisk = in.get32();
    out->endRecordOffset = in.get64();
    out->disks = in.get32();
    return in.ok;
}

bool decodeZip64EndRecord(const uint8_t *bytes, uint32_t length, Zip64EndRecord *out) {
    FieldReader in(bytes, length);
    out->signature = in.get32();
    out->recordSize = in.get64();
    out->versionMadeBy = in.get16();
    out->versionNeeded = in.get16();
    out->disk = in.get32();
    out->directoryDisk = in.get32();
    out->diskEntries = in.get64();
    out->entries = in.get64();
    out->directorySize = in.get64();
    out->directoryOffset = in.get64();
    return in.ok;
}

void encodeEndRecord(const EndRecord &in, uint8_t out[kEndRecordBytes]) {
    FieldWriter to(out);
    to.put32(in.signature);
    to.put16(in.disk);
    to.put16(in.directoryDisk);
    to.put16(in.diskEntries);
    to.put16(in.entries);
    to.put32(in.directorySize);
    to.put32(in.directoryOffset);
    to.put16(in.commentLength);
}

int16_t readTail(HANDLE file, EndRecord *tail, uint64_t *fileSize) {
    uint64_t size;
    if (!seekToEnd(file, &size))
        return QZ_ERR_FILE;
    *fileSize = size;
    if (size < kEndRecordBytes)
        return QZ_ERR_NOT_ZIP;
    uint8_t bytes[kEndRecordBytes];
    if (!seekTo(file, size - kEndRecordBytes) || !readAll(file, bytes, sizeof bytes))
        return QZ_ERR_FILE;
    decodeEndRecord(bytes, sizeof bytes, tail);
    return QZ_OK;
}

}  // namespace archive
}  // namespace qz
