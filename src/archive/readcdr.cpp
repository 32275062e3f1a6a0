// readcdr.cpp -- the directory reader and the two walks over it.
//
// readEntry reads one central directory header at a directory offset with
// its name, extra field and comment, and leaves the offset at the next
// header.  The built-in walk (Qz4ZipFindFirst, Qz4ZipFindNext) keeps that
// offset in the archive record; the caller-held walk (Qz4ReadCDR) in the
// caller's variable.  The VB32 forms only translate the record layout.
//
// A call that fails leaves the offset alone, so the next call reads the
// same header again; a cut extra field or comment (-18) still advances it.
#include "archive/archive.h"
#include "frame/frame.h"

namespace qz {
namespace archive {

namespace {

void forwardSlashes(char *s)
{
    for (char *p = s; *p; p = CharNextA(p))
        if (*p == '\\')
            *p = '/';
}

int16_t readEntryBody(Archive *a, uint32_t *offset, QzEntryRecord *record, char *name,
                      void *extra, uint16_t extraSize, char *comment, uint16_t commentSize)
{
    HANDLE file = directoryHandle(a);
    uint8_t *rec = (uint8_t *)record;
    if (!seekTo(file, *offset))
        return QZ_ERR_FILE;
    uint32_t got = readSome(file, rec, kCentralHeaderBytes);
    if (got != kCentralHeaderBytes)
        return (got >= 4 && get32(rec) == kSigEnd) ? QZ_NO_MORE_ENTRIES : QZ_ERR_READ;
    uint32_t sig = get32(rec);
    if (sig == kSigEnd)
        return QZ_NO_MORE_ENTRIES;
    if (sig != kSigCentral)
        return QZ_ERR_NOT_ZIP;

    uint16_t nameLength = get16(rec + 28);
    uint16_t extraLength = get16(rec + 30);
    uint16_t commentLength = get16(rec + 32);
    if (nameLength > kNameBytes)
        return QZ_TOO_LONG;

    if (nameLength > 0 && readSome(file, name, nameLength) != nameLength) {
        name[0] = 0;
        return QZ_ERR_READ;
    }
    name[nameLength] = 0;
    OemToCharA(name, name);
    forwardSlashes(name);

    int16_t warning = QZ_OK;
    bool hasExtra = extra && extraSize != 0xFFFF;
    if (extraLength != 0) {
        if (a->flags & kFlagEffectiveNames) {
            frame::LockedBlock block;
            if (!block.allocate(extraLength))
                return QZ_ERR_MEMORY;
            uint8_t *field = (uint8_t *)block.p;
            int16_t result = QZ_OK;
            if (readSome(file, field, extraLength) != extraLength) {
                result = QZ_ERR_READ;
            } else {
                if (hasExtra) {
                    uint16_t n = extraLength < extraSize ? extraLength : extraSize;
                    for (uint16_t i = 0; i < n; ++i)
                        ((uint8_t *)extra)[i] = field[i];
                    if (n < extraLength)
                        warning = QZ_TOO_LONG;
                }
                Qz4EffectiveFileName(name, field, extraLength, name);
                if (!(a->flags & kFlagKeepNameLength))
                    put16(rec + 28, (uint16_t)lstrlenA(name));
            }
            block.release();
            if (result != QZ_OK)
                return result;
        } else {
            uint16_t n = 0;
            if (hasExtra) {
                n = extraLength < extraSize ? extraLength : extraSize;
                if (n > 0 && readSome(file, extra, n) != n)
                    return QZ_ERR_READ;
                if (n < extraLength)
                    warning = QZ_TOO_LONG;
            }
            if (n < extraLength && !seekBy(file, extraLength - n))
                return QZ_ERR_READ;
        }
    }

    if (commentLength != 0) {
        bool hasComment = comment && commentSize != 0xFFFF;
        uint32_t n = 0;
        if (hasComment) {
            if (commentLength >= commentSize) {
                warning = QZ_TOO_LONG;
                n = commentSize ? commentSize - 1u : 0;
            } else {
                n = commentLength;
            }
            if (n > 0 && readSome(file, comment, n) != n) {
                comment[0] = 0;
                return QZ_ERR_READ;
            }
            if (commentSize != 0) {
                comment[n] = 0;
                OemToCharA(comment, comment);
            }
        }
        if (n < commentLength && !seekBy(file, (int32_t)(commentLength - n)))
            return QZ_ERR_READ;
    }

    if (rec[5] != 0)
        put32(rec + 38, 0);

    uint32_t next = tell(file);
    if (next == 0xFFFFFFFFu) {
        *offset = 0xFFFFFFFFu;
        return QZ_ERR_FILE;
    }
    *offset = next;
    return warning;
}

void toPacked(const QzEntryRecordVB32 *v, QzEntryRecord *p)
{
    p->signature = v->signature;
    p->versionMadeBy = v->versionMadeBy;
    p->versionNeeded = v->versionNeeded;
    p->flags = v->flags;
    p->method = v->method;
    p->dosTime = v->dosTime;
    p->dosDate = v->dosDate;
    p->crc32 = v->crc32;
    p->compressedSize = v->compressedSize;
    p->uncompressedSize = v->uncompressedSize;
    p->nameLength = v->nameLength;
    p->extraLength = v->extraLength;
    p->commentLength = v->commentLength;
    p->diskNumberStart = v->diskNumberStart;
    p->internalAttributes = v->internalAttributes;
    p->externalAttributes = v->externalAttributes;
    p->localHeaderOffset = v->localHeaderOffset;
}

void toAligned(const QzEntryRecord *p, QzEntryRecordVB32 *v)
{
    v->signature = p->signature;
    v->crc32 = p->crc32;
    v->compressedSize = p->compressedSize;
    v->uncompressedSize = p->uncompressedSize;
    v->externalAttributes = p->externalAttributes;
    v->localHeaderOffset = p->localHeaderOffset;
    v->versionMadeBy = p->versionMadeBy;
    v->versionNeeded = p->versionNeeded;
    v->flags = p->flags;
    v->method = p->method;
    v->dosTime = p->dosTime;
    v->dosDate = p->dosDate;
    v->nameLength = p->nameLength;
    v->extraLength = p->extraLength;
    v->commentLength = p->commentLength;
    v->diskNumberStart = p->diskNumberStart;
    v->internalAttributes = p->internalAttributes;
}

// Empties the caller's name and comment buffers (a comment buffer of size 0
// or 0xFFFF receives nothing).
void emptyBuffers(char *name, char *comment, uint32_t commentSize)
{
    uint16_t cSize = (uint16_t)commentSize;
    if (name)
        name[0] = 0;
    if (comment && cSize >= 1 && cSize <= 0xFFFE)
        comment[0] = 0;
}

}  // namespace

int16_t readEntry(Archive *a, uint32_t *offset, QzEntryRecord *record, char *name,
                  void *extra, uint32_t extraSize, char *comment, uint32_t commentSize)
{
    QzEntryRecord scratchRecord;
    char scratchName[kNameBytes + 1];
    uint32_t scratchOffset = 0;
    if (!record)
        record = &scratchRecord;
    if (!name)
        name = scratchName;
    if (!offset)
        offset = &scratchOffset;
    uint16_t xSize = extra ? (uint16_t)extraSize : 0xFFFF;
    uint16_t cSize = comment ? (uint16_t)commentSize : 0xFFFF;
    emptyBuffers(name, comment, commentSize);
    int16_t result = readEntryBody(a, offset, record, name, extra, xSize, comment, cSize);
    a->flags &= (uint16_t)~kFlagKeepNameLength;
    return result;
}

}  // namespace archive
}  // namespace qz

using namespace qz::archive;

QZ_API(int16_t) Qz4ReadCDR(QzHandle handle, uint32_t *offset, QzEntryRecord *record,
                           char *name, void *extra, uint32_t extraSize,
                           char *comment, uint32_t commentSize)
{
    // Emptied before the lookup, so that they hold nothing stale even when
    // the handle is unknown.
    emptyBuffers(name, comment, commentSize);
    Archive *a;
    if (findArchive(handle, &a) != QZ_OK)
        return QZ_ERR_HANDLE;
    return readEntry(a, offset, record, name, extra, extraSize, comment, commentSize);
}

QZ_API(int16_t) Qz4ZipFindFirst(QzHandle handle, QzEntryRecord *record, char *name,
                                void *extra, uint32_t extraSize,
                                char *comment, uint32_t commentSize)
{
    Archive *a;
    if (findArchive(handle, &a) != QZ_OK)
        return QZ_ERR_HANDLE;
    int16_t located = ensureLocated(a, handle);
    if (located != QZ_OK)
        return located;
    a->cursor = a->dirOffset;
    return readEntry(a, &a->cursor, record, name, extra, extraSize, comment, commentSize);
}

QZ_API(int16_t) Qz4ZipFindNext(QzHandle handle, QzEntryRecord *record, char *name,
                               void *extra, uint32_t extraSize,
                               char *comment, uint32_t commentSize)
{
    Archive *a;
    if (findArchive(handle, &a) != QZ_OK)
        return QZ_ERR_HANDLE;
    if (!(a->flags & kFlagLocated))
        return QZ_ERR_NOT_LOCATED;
    return readEntry(a, &a->cursor, record, name, extra, extraSize, comment, commentSize);
}

QZ_API(int16_t) Qz4ZipFindFirstVB32(QzHandle handle, QzEntryRecordVB32 *record, char *name,
                                    void *extra, uint32_t extraSize,
                                    char *comment, uint32_t commentSize)
{
    QzEntryRecord packed = {};
    if (record)
        toPacked(record, &packed);
    int16_t r = Qz4ZipFindFirst(handle, &packed, name, extra, extraSize, comment, commentSize);
    if (record)
        toAligned(&packed, record);
    return r;
}

QZ_API(int16_t) Qz4ZipFindNextVB32(QzHandle handle, QzEntryRecordVB32 *record, char *name,
                                   void *extra, uint32_t extraSize,
                                   char *comment, uint32_t commentSize)
{
    QzEntryRecord packed = {};
    if (record)
        toPacked(record, &packed);
    int16_t r = Qz4ZipFindNext(handle, &packed, name, extra, extraSize, comment, commentSize);
    if (record)
        toAligned(&packed, record);
    return r;
}

QZ_API(int32_t) Qz4GetCDR(QzHandle handle)
{
    Archive *a;
    if (findArchive(handle, &a) != QZ_OK)
        return -1;
    return (int32_t)a->dirOffset;
}

QZ_API(int32_t) Qz4GetNextCDR(QzHandle handle)
{
    Archive *a;
    if (findArchive(handle, &a) != QZ_OK)
        return -1;
    return (int32_t)a->cursor;
}
