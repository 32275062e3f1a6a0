// password.cpp -- the password check of an encrypted entry: the 12-byte
// encryption header in front of the entry's data is deciphered with the
// password, and its last byte must equal the high byte of the entry's
// CRC-32.  On success the file stands at the compressed data, the packed
// record's compressed size no longer counts the header and the key state
// is ready to decipher the data.
//
// Read as today's writers write them, an entry whose sizes follow its data
// (flag bit 3) is checked by the high byte of its DOS time instead, since
// its writer did not know the CRC when it wrote the header; and an entry
// under strong encryption (AES) is no traditional entry at all, so no
// password can fit: its method is what the library cannot decode.
#include "archive/archive.h"
#include "crypt/crypt.h"
#include "platform/extensions.h"

using namespace qz::archive;

QZ_API(int16_t) Qz4ZipCheckPassword(QzHandle file, QzEntryRecord *record, const char *password) {
    if (!record || !(record->flags & kEntryEncrypted))
        return QZ_OK;
    bool today = qz::extensionOn(QZ_EXT_PASSWORDS);
    if (today && (record->method == kMethodAes || (record->flags & kEntryStrongEncryption)))
        return QZ_ERR_METHOD;
    if (!password || !password[0])
        return QZ_BAD_PASSWORD;
    qz::crypt::initKeys((const uint8_t *)password, (size_t)lstrlenA(password));
    uint8_t header[qz::crypt::kHeaderBytes];
    if (!readAll(toFileHandle(file), header, sizeof header))
        return QZ_ERR_READ;
    qz::crypt::decrypt(header, sizeof header);
    bool byTime = today && (record->flags & kEntrySizesAfterData);
    if (header[11] != (uint8_t)(byTime ? record->dosTime >> 8 : record->crc32 >> 24))
        return QZ_BAD_PASSWORD;
    record->compressedSize -= qz::crypt::kHeaderBytes;
    return QZ_OK;
}

QZ_API(int16_t) Qz4ZipCheckPasswordVB32(QzHandle file, const QzEntryRecordVB32 *record,
                                        const char *password) {
    if (!record)
        return QZ_OK;
    QzEntryRecord packed;
    copyEntryFields(&packed, *record);
    return Qz4ZipCheckPassword(file, &packed, password);
}
