// readcdr.cpp -- the directory reader and the two walks over it.
//
// readEntry reads one central directory header at a directory offset with
// its name, extra field and comment, and leaves the offset at the next
// header.  The built-in walk (Qz4ZipFindFirst, Qz4ZipFindNext) keeps that
// offset in the archive record; the caller-held walk (Qz4ReadCDR) in the
// caller's variable.  The VB32 forms only translate the record layout.
//
// A call that fails leaves the offset alone, so the next call reads the
// same header again; a cut extra field or comment (QZ_TOO_LONG) still
// advances it.
#include "archive/archive.h"
#include "crypt/crypt.h"
#include "frame/frame.h"
#include "platform/extensions.h"

namespace qz {
namespace archive {

namespace {

// The fixed part of the header at the file's position, into the record.
int16_t readHeader(HANDLE file, QzEntryRecord *record) {
    uint8_t bytes[kCentralHeaderBytes];
    uint32_t got = 0;
    readAll(file, bytes, sizeof bytes, &got);
    QzEntryRecord header;
    if (!decodeCentralHeader(bytes, got, &header)) {
        // A read that ends early (at the end record that closes most
        // directories) leaves what it read in the record, byte for byte.
        for (uint32_t i = 0; i < got; ++i)
            ((uint8_t *)record)[i] = bytes[i];
        return header.signature == kSigEnd ? QZ_NO_MORE_ENTRIES : QZ_ERR_READ;
    }
    *record = header;
    // With ZIP64 read, its end record may follow the directory instead.
    if (header.signature == kSigEnd || (header.signature == kSigZip64End && qz::extensionOn(QZ_EXT_ZIP64)))
        return QZ_NO_MORE_ENTRIES;
    return header.signature == kSigCentral ? QZ_OK : QZ_ERR_NOT_ZIP;
}

// The stored name, converted to the ANSI code page and to forward slashes,
// the form in which every caller compares names.  With UTF-8 names it is
// left as stored: convertName turns it once the extra field is read.
int16_t readName(HANDLE file, uint16_t length, char *name) {
    if (length > 0 && !readAll(file, name, length)) {
        name[0] = 0;
        return QZ_ERR_READ;
    }
    name[length] = 0;
    if (qz::extensionOn(QZ_EXT_UTF8_NAMES))
        return QZ_OK;
    qz::oemToAnsi(name, name);
    qz::replaceChar(name, '\\', '/');
    return QZ_OK;
}

// The UTF-8 name of an Info-ZIP Unicode Path block ("up": version 1, the
// CRC-32 of the stored name, the name) that belongs to the stored name: a
// block whose CRC differs was written for a name since changed by another
// tool, and is ignored.
bool unicodePath(const uint8_t *field, uint16_t length, const char *stored, uint16_t storedLength,
                 const char **name, uint16_t *nameLength) {
    const uint8_t *block = findExtraBlock(field, length, 9, [](const uint8_t *b, uint32_t) {
        return b[0] == 0x75 && b[1] == 0x70 && b[4] == 1;
    });
    if (!block)
        return false;
    uint16_t size = extraBlockDataSize(block);
    uint32_t room = (uint32_t)(field + length - block) - 4;
    if (size < 5 || size > room)
        return false;
    uint32_t crc = ~crypt::crc32((const uint8_t *)stored, storedLength, 0xFFFFFFFFu);
    if (FieldReader(block + 5, 4).get32() != crc)
        return false;
    *name = (const char *)block + 9;
    *nameLength = (uint16_t)(size - 5);
    return true;
}

// With UTF-8 names: the stored name in name (storedLength bytes) becomes
// its ANSI form, from UTF-8 when flag bit 11 says so or a Unicode Path
// block gives it, from the OEM page otherwise.  False, with the stored
// name left, when the converted name does not fit the name buffer.
bool convertName(const QzEntryRecord &record, const uint8_t *field, uint16_t fieldLength, char *name,
                 uint16_t storedLength) {
    char stored[kNameBytes + 1];
    lstrcpynA(stored, name, sizeof stored);
    const char *from = stored;
    uint16_t fromLength = storedLength;
    bool utf8 = (record.flags & kEntryUtf8) != 0;
    if (!utf8 && field && unicodePath(field, fieldLength, stored, storedLength, &from, &fromLength))
        utf8 = true;
    if (!platform::storedToAnsi(from, fromLength, utf8, name, kNameBytes + 1)) {
        lstrcpyA(name, stored);
        return false;
    }
    qz::replaceChar(name, '\\', '/');
    return true;
}

// How many bytes of an extra field of length bytes the caller's buffer
// takes (none without a buffer); a cut sets QZ_TOO_LONG in *warning.
uint16_t extraToCopy(uint16_t length, const EntryBuffers &out, int16_t *warning) {
    if (!out.extra || out.extraSize == 0xFFFF)
        return 0;
    uint16_t n = length < out.extraSize ? length : (uint16_t)out.extraSize;
    if (n < length)
        *warning = QZ_TOO_LONG;
    return n;
}

// The extra field into the caller's buffer as far as it fits; the rest is
// passed over.
int16_t readExtra(HANDLE file, uint16_t length, const EntryBuffers &out, int16_t *warning) {
    uint16_t n = extraToCopy(length, out, warning);
    if (n > 0 && !readAll(file, out.extra, n))
        return QZ_ERR_READ;
    if (n < length && !seekBy(file, length - n))
        return QZ_ERR_READ;
    return QZ_OK;
}

// The whole extra field, for the names it may carry, into a block the
// caller releases; the caller's buffer gets what fits.
int16_t readWholeExtra(HANDLE file, uint16_t length, const EntryBuffers &out, frame::LockedBlock *block,
                       int16_t *warning) {
    if (!block->allocate(length))
        return QZ_ERR_MEMORY;
    if (!readAll(file, block->p, length))
        return QZ_ERR_READ;
    uint16_t n = extraToCopy(length, out, warning);
    for (uint16_t i = 0; i < n; ++i)
        ((uint8_t *)out.extra)[i] = ((const uint8_t *)block->p)[i];
    return QZ_OK;
}

// The comment into the caller's buffer, cut to it (QZ_TOO_LONG in
// *warning) and converted to the ANSI code page (from UTF-8 when utf8 and
// names are read as UTF-8); the rest is passed over.
int16_t readComment(HANDLE file, uint16_t length, const EntryBuffers &out, bool utf8, int16_t *warning) {
    uint16_t size = (uint16_t)out.commentSize;
    uint32_t n = 0;
    if (out.comment && size != 0xFFFF) {
        if (length >= size) {
            *warning = QZ_TOO_LONG;
            n = size ? size - 1u : 0;
        } else {
            n = length;
        }
        if (n > 0 && !readAll(file, out.comment, n)) {
            out.comment[0] = 0;
            return QZ_ERR_READ;
        }
        if (size != 0) {
            out.comment[n] = 0;
            qz::oemToAnsi(out.comment, out.comment);
            if (qz::extensionOn(QZ_EXT_UTF8_NAMES) && !textToAnsi(out.comment, n, size, utf8))
                *warning = QZ_TOO_LONG;
        }
    }
    if (n < length && !seekBy(file, (int32_t)(length - n)))
        return QZ_ERR_READ;
    return QZ_OK;
}

// The external attributes mean what the system that made the entry says
// (the high byte of versionMadeBy).  Only for MS-DOS (0) are they the DOS
// attribute bits that extraction restores; any other system keeps its own
// there (a Unix writer its mode bits in the high half), which read as DOS
// bits would make files read-only, hidden, system or directories by
// accident.  So such entries report none, unless the Unix modes are read:
// then a Unix entry keeps its mode in the high half and gets the DOS bits
// it implies (a directory, a file without write permission), and a name
// ending in '/' is a directory whoever wrote it.
void describeAttributes(QzEntryRecord *record, const char *name) {
    uint8_t system = (uint8_t)(record->versionMadeBy >> 8);
    if (!qz::extensionOn(QZ_EXT_UNIX_MODES)) {
        if (system != kSystemDos)
            record->externalAttributes = 0;
        return;
    }
    uint32_t attributes = system == kSystemDos ? record->externalAttributes : 0;
    if (system == kSystemUnix) {
        uint32_t mode = record->externalAttributes >> 16;
        attributes = mode << 16;
        if ((mode & kModeType) == kModeDirectory)
            attributes |= FILE_ATTRIBUTE_DIRECTORY;
        else if (mode != 0 && !(mode & kModeOwnerWrite))
            attributes |= FILE_ATTRIBUTE_READONLY;
    }
    int length = lstrlenA(name);
    if (length > 0 && name[length - 1] == '/')
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    record->externalAttributes = attributes;
}

// The entry's sizes and place: the record's 32-bit fields, or where they
// are full (0xFFFFFFFF, a disk 0xFFFF) and ZIP64 is read, the values of the
// ZIP64 extra field, in its order; values that fit go into the record too.
// The local header's offset is moved by the archive's shift.
void placeEntry(Archive *a, QzEntryRecord *record, const uint8_t *field, uint16_t fieldLength) {
    EntryPlace &place = a->entry;
    place.uncompressedSize = record->uncompressedSize;
    place.compressedSize = record->compressedSize;
    place.localHeaderOffset = record->localHeaderOffset;
    place.diskNumberStart = record->diskNumberStart;
    const uint8_t *block = nullptr;
    if (field && qz::extensionOn(QZ_EXT_ZIP64))
        block = findExtraBlock(field, fieldLength, 4, [](const uint8_t *b, uint32_t) {
            return b[0] == 1 && b[1] == 0;
        });
    if (block) {
        uint32_t room = (uint32_t)(field + fieldLength - block) - 4;
        uint16_t size = extraBlockDataSize(block);
        FieldReader in(block + 4, size < room ? size : room);
        uint64_t full = 0xFFFFFFFFu;
        uint64_t *fields[] = {&place.uncompressedSize, &place.compressedSize, &place.localHeaderOffset};
        for (uint64_t *value : fields) {
            if (*value == full) {
                uint64_t whole = in.get64();
                if (in.ok)
                    *value = whole;
            }
        }
        if (record->diskNumberStart == 0xFFFF) {
            uint32_t disk = in.get32();
            if (in.ok)
                place.diskNumberStart = disk;
        }
    }
    place.localHeaderOffset += (uint64_t)a->shift;
    auto fit = [](uint64_t v) { return v < 0xFFFFFFFFu ? (uint32_t)v : 0xFFFFFFFFu; };
    if (block || a->shift) {
        record->uncompressedSize = fit(place.uncompressedSize);
        record->compressedSize = fit(place.compressedSize);
        record->localHeaderOffset = fit(place.localHeaderOffset);
        if (place.diskNumberStart < 0xFFFF)
            record->diskNumberStart = (uint16_t)place.diskNumberStart;
    }
    a->haveEntry = true;
}

// Reads the header at *offset with its name, extra field and comment into
// out, whose record and name are not null, and moves *offset to the next
// header.  With UTF-8 names, a name too long for the name buffer is a
// warning (QZ_TOO_LONG) that still moves the offset, so a walk can go on
// past the entry; the name then holds what fits of the stored one.
int16_t readEntryBody(Archive *a, uint64_t *offset, const EntryBuffers &out, bool keepNameLength) {
    HANDLE file = directoryHandle(a);
    if (!seekTo(file, *offset))
        return QZ_ERR_FILE;
    int16_t result = readHeader(file, out.record);
    if (result != QZ_OK)
        return result;
    QzEntryRecord &record = *out.record;
    uint16_t storedLength = record.nameLength, extraLength = record.extraLength;
    uint16_t commentLength = record.commentLength;
    bool utf8Names = qz::extensionOn(QZ_EXT_UTF8_NAMES);
    bool zip64 = qz::extensionOn(QZ_EXT_ZIP64);
    int16_t warning = QZ_OK;
    uint16_t nameBytes = storedLength;
    if (storedLength > kNameBytes) {
        if (!utf8Names)
            return QZ_TOO_LONG;
        warning = QZ_TOO_LONG;
        nameBytes = kNameBytes;
    }
    result = readName(file, nameBytes, out.name);
    if (result == QZ_OK && nameBytes < storedLength && !seekBy(file, storedLength - nameBytes))
        result = QZ_ERR_READ;
    if (result != QZ_OK)
        return result;

    // The names an extra field may carry need all of it.
    bool effective = (a->flags & kFlagEffectiveNames) != 0;
    frame::LockedBlock field;
    if (extraLength != 0) {
        if (effective || utf8Names || zip64)
            result = readWholeExtra(file, extraLength, out, &field, &warning);
        else
            result = readExtra(file, extraLength, out, &warning);
    }
    if (result == QZ_OK && utf8Names && warning == QZ_OK &&
        !convertName(record, (const uint8_t *)field.p, extraLength, out.name, storedLength))
        warning = QZ_TOO_LONG;
    if (result == QZ_OK && effective && field.p)
        Qz4EffectiveFileName(out.name, field.p, extraLength, out.name);
    if (result == QZ_OK)
        placeEntry(a, &record, (const uint8_t *)field.p, extraLength);
    field.release();
    if (result != QZ_OK)
        return result;
    if (((effective && extraLength != 0) || utf8Names) && !keepNameLength)
        record.nameLength = (uint16_t)lstrlenA(out.name);

    if (commentLength != 0) {
        result = readComment(file, commentLength, out, (record.flags & kEntryUtf8) != 0, &warning);
        if (result != QZ_OK)
            return result;
    }
    describeAttributes(&record, out.name);

    uint64_t next;
    if (!tell(file, &next)) {
        *offset = 0xFFFFFFFFu;
        return QZ_ERR_FILE;
    }
    *offset = next;
    return warning;
}

// Empties the caller's name and comment buffers (a comment buffer of size 0
// or 0xFFFF receives nothing).
void emptyBuffers(char *name, char *comment, uint32_t commentSize) {
    uint16_t cSize = (uint16_t)commentSize;
    if (name)
        name[0] = 0;
    if (comment && cSize >= 1 && cSize <= 0xFFFE)
        comment[0] = 0;
}

}  // namespace

bool textToAnsi(char *text, uint32_t length, uint32_t size, bool utf8) {
    frame::LockedBlock converted;
    if (!converted.allocate(size))
        return false;
    bool fits = platform::storedToAnsi(text, length, utf8, (char *)converted.p, size);
    if (fits)
        lstrcpyA(text, (const char *)converted.p);
    converted.release();
    return fits;
}

int16_t readEntry(Archive *a, uint64_t *offset, const EntryBuffers &out, bool keepNameLength) {
    QzEntryRecord scratchRecord;
    char scratchName[kNameBytes + 1];
    uint64_t scratchOffset = 0;
    EntryBuffers own = out;
    if (!own.record)
        own.record = &scratchRecord;
    if (!own.name)
        own.name = scratchName;
    if (!offset)
        offset = &scratchOffset;
    // Sizes count in their low 16 bits; a missing buffer has size 0xFFFF.
    own.extraSize = own.extra ? (uint16_t)own.extraSize : 0xFFFF;
    own.commentSize = own.comment ? (uint16_t)own.commentSize : 0xFFFF;
    emptyBuffers(own.name, out.comment, out.commentSize);
    return readEntryBody(a, offset, own, keepNameLength);
}

int16_t findEntry(Archive *a, bool first, const EntryBuffers &out, bool keepNameLength) {
    if (first) {
        int16_t located = ensureLocated(a);
        if (located != QZ_OK)
            return located;
        a->cursor = a->dirOffset;
    } else if (!(a->flags & kFlagLocated)) {
        return QZ_ERR_NOT_LOCATED;
    }
    return readEntry(a, &a->cursor, out, keepNameLength);
}

}  // namespace archive
}  // namespace qz

using namespace qz::archive;

QZ_API(int16_t) Qz4ReadCDR(QzHandle handle, uint32_t *offset, QzEntryRecord *record,
                           char *name, void *extra, uint32_t extraSize,
                           char *comment, uint32_t commentSize) {
    // Emptied before the lookup, so that they hold nothing stale even when
    // the handle is unknown.
    emptyBuffers(name, comment, commentSize);
    Archive *a;
    if (findArchive(handle, &a) != QZ_OK)
        return QZ_ERR_HANDLE;
    // The caller's offset is a 32-bit one.
    uint64_t at = offset ? *offset : 0;
    int16_t r = readEntry(a, offset ? &at : nullptr, {record, name, extra, extraSize, comment, commentSize},
                          false);
    if (offset)
        *offset = (uint32_t)at;
    return r;
}

namespace {

int16_t find(QzHandle handle, bool first, const EntryBuffers &out) {
    Archive *a;
    if (findArchive(handle, &a) != QZ_OK)
        return QZ_ERR_HANDLE;
    return findEntry(a, first, out, false);
}

// The VB32 forms walk with a packed copy of the caller's aligned record.
int16_t findVB32(QzHandle handle, bool first, QzEntryRecordVB32 *record, const EntryBuffers &out) {
    QzEntryRecord packed = {};
    if (record)
        copyEntryFields(&packed, *record);
    EntryBuffers packedOut = out;
    packedOut.record = &packed;
    int16_t r = find(handle, first, packedOut);
    if (record)
        copyEntryFields(record, packed);
    return r;
}

}  // namespace

QZ_API(int16_t) Qz4ZipFindFirst(QzHandle handle, QzEntryRecord *record, char *name,
                                void *extra, uint32_t extraSize,
                                char *comment, uint32_t commentSize) {
    return find(handle, true, {record, name, extra, extraSize, comment, commentSize});
}

QZ_API(int16_t) Qz4ZipFindNext(QzHandle handle, QzEntryRecord *record, char *name,
                               void *extra, uint32_t extraSize,
                               char *comment, uint32_t commentSize) {
    return find(handle, false, {record, name, extra, extraSize, comment, commentSize});
}

QZ_API(int16_t) Qz4ZipFindFirstVB32(QzHandle handle, QzEntryRecordVB32 *record, char *name,
                                    void *extra, uint32_t extraSize,
                                    char *comment, uint32_t commentSize) {
    return findVB32(handle, true, record, {nullptr, name, extra, extraSize, comment, commentSize});
}

QZ_API(int16_t) Qz4ZipFindNextVB32(QzHandle handle, QzEntryRecordVB32 *record, char *name,
                                   void *extra, uint32_t extraSize,
                                   char *comment, uint32_t commentSize) {
    return findVB32(handle, false, record, {nullptr, name, extra, extraSize, comment, commentSize});
}

QZ_API(int32_t) Qz4GetCDR(QzHandle handle) {
    Archive *a;
    if (findArchive(handle, &a) != QZ_OK)
        return -1;
    return (int32_t)a->dirOffset;
}

QZ_API(int32_t) Qz4GetNextCDR(QzHandle handle) {
    Archive *a;
    if (findArchive(handle, &a) != QZ_OK)
        return -1;
    return (int32_t)a->cursor;
}

QZ_API(int16_t) QzGetEntry64(QzHandle handle, QzEntry64 *entry) {
    Archive *a;
    if (findArchive(handle, &a) != QZ_OK)
        return QZ_ERR_HANDLE;
    if (!a->haveEntry)
        return QZ_NO_MORE_ENTRIES;
    if (entry) {
        entry->compressedSize = a->entry.compressedSize;
        entry->uncompressedSize = a->entry.uncompressedSize;
        entry->localHeaderOffset = a->entry.localHeaderOffset;
        entry->diskNumberStart = a->entry.diskNumberStart;
        entry->reserved = 0;
    }
    return QZ_OK;
}
