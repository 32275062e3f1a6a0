// comment.cpp -- Qz4ZipComment: the archive comment behind the end record.
//
// The comment is cut to the buffer (the warning QZ_TOO_LONG) and converted
// from the OEM to the ANSI code page.  Archives read through a directory
// file have no comment here: that file's end record never carries one.
#include "archive/archive.h"

using namespace qz::archive;

QZ_API(int16_t) Qz4ZipComment(QzHandle handle, char *comment, uint32_t size) {
    uint16_t bytes = (uint16_t)size;
    if (comment && bytes != 0)
        comment[0] = 0;
    Archive *a;
    if (findArchive(handle, &a) != QZ_OK)
        return QZ_ERR_HANDLE;
    int16_t located = ensureLocated(a);
    if (located != QZ_OK)
        return located;
    HANDLE file = directoryHandle(a);
    uint8_t record[kEndRecordBytes];
    if (!seekTo(file, a->endOffset))
        return QZ_ERR_FILE;
    if (!readAll(file, record, sizeof record))
        return QZ_ERR_READ;
    EndRecord end;
    decodeEndRecord(record, sizeof record, &end);
    uint16_t length = end.commentLength;
    if (length == 0 || !comment)
        return QZ_OK;

    int16_t result = QZ_OK;
    uint32_t count = length;
    if (length >= bytes) {
        result = QZ_TOO_LONG;
        if (bytes == 0)
            return result;
        count = bytes - 1u;
    }
    if (count > 0 && !readAll(file, comment, count)) {
        comment[0] = 0;
        return QZ_ERR_READ;
    }
    comment[count] = 0;
    qz::oemToAnsi(comment, comment);
    if (qz::extensionOn(QZ_EXT_UTF8_NAMES) && !textToAnsi(comment, count, bytes, false))
        result = QZ_TOO_LONG;
    return result;
}
