// password.cpp -- the password check of an encrypted entry: the 12-byte
// encryption header in front of the entry's data is deciphered with the
// password, and its last byte must equal the high byte of the entry's
// CRC-32.  On success the file stands at the compressed data, the packed
// record's compressed size no longer counts the header and the key state
// is ready to decipher the data.
#include "archive/archive.h"
#include "crypt/crypt.h"

using namespace qz::archive;

QZ_API(int16_t) Qz4ZipCheckPassword(QzHandle file, QzEntryRecord *record, const char *password)
{
    if (!record || !(record->flags & 1))
        return QZ_OK;
    if (!password || !password[0])
        return QZ_BAD_PASSWORD;
    qz::crypt::initKeys((const uint8_t *)password, (size_t)lstrlenA(password));
    uint8_t header[qz::crypt::kHeaderBytes];
    if (!readAll(toFileHandle(file), header, sizeof header))
        return QZ_ERR_READ;
    qz::crypt::decrypt(header, sizeof header);
    if (header[11] != (uint8_t)(record->crc32 >> 24))
        return QZ_BAD_PASSWORD;
    record->compressedSize -= qz::crypt::kHeaderBytes;
    return QZ_OK;
}

QZ_API(int16_t) Qz4ZipCheckPasswordVB32(QzHandle file, const QzEntryRecordVB32 *record,
                                        const char *password)
{
    if (!record)
        return QZ_OK;
    QzEntryRecord packed;
    packed.signature = record->signature;
    packed.versionMadeBy = record->versionMadeBy;
    packed.versionNeeded = record->versionNeeded;
    packed.flags = record->flags;
    packed.method = record->method;
    packed.dosTime = record->dosTime;
    packed.dosDate = record->dosDate;
    packed.crc32 = record->crc32;
    packed.compressedSize = record->compressedSize;
    packed.uncompressedSize = record->uncompressedSize;
    packed.nameLength = record->nameLength;
    packed.extraLength = record->extraLength;
    packed.commentLength = record->commentLength;
    packed.diskNumberStart = record->diskNumberStart;
    packed.internalAttributes = record->internalAttributes;
    packed.externalAttributes = record->externalAttributes;
    packed.localHeaderOffset = record->localHeaderOffset;
    return Qz4ZipCheckPassword(file, &packed, password);
}
