// archive.h -- archive access as the other subsystems see it: the archive
// record and the list of open archives, the file primitives and the
// buffered copy, the end record, the directory reader and the moving
// between the volumes of spanned and multi-volume archives.
//
// Names of archives and entries are held in the OEM code page; every
// primitive that hands a name to the operating system converts it to the
// ANSI code page first.  All state is static and unguarded: one operation
// runs at a time on the caller's thread.
#ifndef QZ_ARCHIVE_ARCHIVE_H
#define QZ_ARCHIVE_ARCHIVE_H

#include <stdint.h>

#include "frame/frame.h"
#include "platform/names.h"
#include "platform/win32.h"
#include "qzunpack.h"

namespace qz {
namespace archive {

// Name buffers are kNameBytes (names.h); files that take the archive
// namespace whole see it through this.
using qz::kNameBytes;

// ---------------------------------------------------------------------------
// On-disk records
// ---------------------------------------------------------------------------

enum : uint32_t {
    kSigLocal = 0x04034B50u,    // "PK" 03 04, local file header
    kSigCentral = 0x02014B50u,  // "PK" 01 02, central directory header
    kSigEnd = 0x06054B50u,      // "PK" 05 06, end record
    kSigSpan = 0x08074B50u,     // "PK" 07 08, first bytes of a spanned set
    kSigZip64End = 0x06064B50u,      // "PK" 06 06, ZIP64 end record
    kSigZip64Locator = 0x07064B50u,  // "PK" 06 07, its locator
    kMagicQzvw = 0x57565A51u,   // the bytes "QZVW" in file order
};

// Bits of an entry's general-purpose flag, the system that made it (the
// high byte of versionMadeBy) and the Unix mode bits its external
// attributes may carry in their high half.
enum : uint16_t {
    kEntryEncrypted = 0x0001,
    kEntrySizesAfterData = 0x0008,   // the password check byte is the time's high byte
    kEntryStrongEncryption = 0x0040,
    kEntryUtf8 = 0x0800,             // name and comment are UTF-8
};
enum : uint8_t { kSystemDos = 0, kSystemUnix = 3 };
enum : uint32_t { kModeType = 0170000, kModeDirectory = 0040000, kModeRegular = 0100000, kModeOwnerWrite = 0200 };

// The AES method of WinZip and 7-Zip, refused by name as strong encryption.
enum : uint16_t { kMethodAes = 99 };

enum : uint32_t {
    kLocalHeaderBytes = 30,
    kCentralHeaderBytes = 46,
    kEndRecordBytes = 22,
    kQzvwHeaderBytes = 12,
    kMaxCommentBytes = 65535,
    kCopyBufferBytes = 0x80000,   // the buffered copy starts with this much
};

// Little-endian fields taken in file order from a byte record, the way each
// record reader below lists them.  A field that runs past the end reads as 0
// and clears ok, which stays cleared: a reader checks once, after its last
// field.
struct FieldReader {
    const uint8_t *at;
    uint32_t left;
    bool ok = true;

    FieldReader(const uint8_t *bytes, uint32_t length) : at(bytes), left(length) {}
    uint16_t get16() { return (uint16_t)take(2); }
    uint32_t get32() { return take(4); }
    uint64_t get64() {
        uint64_t low = take(4);
        return low | (uint64_t)take(4) << 32;
    }

private:
    uint32_t take(uint32_t bytes) {
        if (!ok || left < bytes) {
            ok = false;
            return 0;
        }
        uint32_t v = 0;
        for (uint32_t i = bytes; i-- > 0;)
            v = (v << 8) | at[i];
        at += bytes;
        left -= bytes;
        return v;
    }
};

// The same in the other direction, for the directory file's records.
struct FieldWriter {
    uint8_t *at;

    explicit FieldWriter(uint8_t *bytes) : at(bytes) {}
    void put16(uint16_t v) { put(v, 2); }
    void put32(uint32_t v) { put(v, 4); }

private:
    void put(uint32_t v, uint32_t bytes) {
        for (uint32_t i = 0; i < bytes; ++i, v >>= 8)
            *at++ = (uint8_t)v;
    }
};

// A central directory header: the entry record holds its fields by name.
// False when length is short of a whole header; the fields that fit are
// read all the same (the signature first).
bool decodeCentralHeader(const uint8_t *bytes, uint32_t length, QzEntryRecord *out);
// The bytes that follow a central directory header: name, extra field and
// comment.
inline uint32_t variableBytes(const QzEntryRecord &header) {
    return (uint32_t)header.nameLength + header.extraLength + header.commentLength;
}

// The fields of a local file header that the extraction paths use.
struct LocalHeader {
    uint32_t signature;
    uint16_t versionNeeded;
    uint16_t flags;
    uint16_t method;
    uint16_t dosTime;
    uint16_t dosDate;
    uint32_t crc32;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint16_t nameLength;
    uint16_t extraLength;
};

// Reads the 30-byte local file header at the current position: QZ_OK, or
// QZ_ERR_READ when fewer bytes could be read.
int16_t readLocalHeader(HANDLE file, LocalHeader *out);

// The end record.  A directory file's end record is written from one of
// these, so its layout is read and written in one place.
struct EndRecord {
    uint32_t signature;
    uint16_t disk;              // number of the disk that holds this record
    uint16_t directoryDisk;     // disk where the central directory starts
    uint16_t diskEntries;       // directory entries on this disk
    uint16_t entries;           // directory entries in all
    uint32_t directorySize;
    uint32_t directoryOffset;   // on the disk where the directory starts
    uint16_t commentLength;
};

// False when length is short of a whole record.
bool decodeEndRecord(const uint8_t *bytes, uint32_t length, EndRecord *out);
void encodeEndRecord(const EndRecord &in, uint8_t out[kEndRecordBytes]);

// Reads the last 22 bytes of a file, where an end record without a comment
// lies, and sets *fileSize: QZ_OK, QZ_ERR_NOT_ZIP for a shorter file, or
// QZ_ERR_FILE when the size, the seek or the read fails.  The caller looks
// at the signature.
int16_t readTail(HANDLE file, EndRecord *tail, uint64_t *fileSize);

// The ZIP64 end record and the locator in front of the end record that
// points at it; their 0xFFFF and 0xFFFFFFFF fields of the end record are
// whole here.
struct Zip64Locator {
    uint32_t signature;
    uint32_t endRecordDisk;
    uint64_t endRecordOffset;
    uint32_t disks;
};
struct Zip64EndRecord {
    uint32_t signature;
    uint64_t recordSize;        // the bytes after this field
    uint16_t versionMadeBy;
    uint16_t versionNeeded;
    uint32_t disk;
    uint32_t directoryDisk;
    uint64_t diskEntries;
    uint64_t entries;
    uint64_t directorySize;
    uint64_t directoryOffset;
};
enum : uint32_t { kZip64LocatorBytes = 20, kZip64EndRecordBytes = 56 };
bool decodeZip64Locator(const uint8_t *bytes, uint32_t length, Zip64Locator *out);
bool decodeZip64EndRecord(const uint8_t *bytes, uint32_t length, Zip64EndRecord *out);

// With UTF-8 names: the first length bytes of a name or comment read into
// text (a buffer of size bytes), UTF-8 when utf8 and otherwise in the OEM
// page, become their ANSI form in place.  False, with the text left as
// read, when that form does not fit.
bool textToAnsi(char *text, uint32_t length, uint32_t size, bool utf8);

// An extra-field block is its 2-byte id, its 2-byte data size and the data.
inline uint16_t extraBlockDataSize(const uint8_t *block) {
    return FieldReader(block + 2, 2).get16();
}

// The first block of an extra field for which match(block, room) is true,
// where room counts the bytes from the block's start to the end of the
// field, or null.  Blocks are visited while at least minBytes remain, and a
// block whose data would reach the end of the field ends the walk.
template <class Match>
const uint8_t *findExtraBlock(const uint8_t *field, uint32_t length, uint32_t minBytes, Match match) {
    uint32_t pos = 0;
    while (length - pos >= minBytes) {
        const uint8_t *block = field + pos;
        if (match(block, length - pos))
            return block;
        uint32_t step = 4u + extraBlockDataSize(block);
        if (step >= length - pos)
            break;
        pos += step;
    }
    return nullptr;
}

// The entry record's seventeen fields, one list for both layouts: the
// packed record of the directory and the aligned VB32 record.
template <class To, class From>
void copyEntryFields(To *to, const From &from) {
    to->signature = from.signature;
    to->versionMadeBy = from.versionMadeBy;
    to->versionNeeded = from.versionNeeded;
    to->flags = from.flags;
    to->method = from.method;
    to->dosTime = from.dosTime;
    to->dosDate = from.dosDate;
    to->crc32 = from.crc32;
    to->compressedSize = from.compressedSize;
    to->uncompressedSize = from.uncompressedSize;
    to->nameLength = from.nameLength;
    to->extraLength = from.extraLength;
    to->commentLength = from.commentLength;
    to->diskNumberStart = from.diskNumberStart;
    to->internalAttributes = from.internalAttributes;
    to->externalAttributes = from.externalAttributes;
    to->localHeaderOffset = from.localHeaderOffset;
}

// ---------------------------------------------------------------------------
// The archive record and the list of open archives
// ---------------------------------------------------------------------------

enum : uint16_t {
    kFlagSpanned = 0x0002,         // spanned ZIP volume (type 3)
    kFlagQzvw = 0x0004,            // QZVW archive of kind 1 or 2 (type 2)
    kFlagLocated = 0x0008,         // end record located, offsets valid
    kFlagDirFirst = 0x0010,        // directory-first volume (type 4)
    kFlagQzvw3 = 0x0080,           // QZVW archive of kind 3 (type 10)
    kFlagSfx = 0x0400,             // self-extracting executable (type 13)
    kFlagEffectiveNames = 0x0800,  // names from the extended-name block
    kFlagFileClosed = 0x8000,      // a failed volume change closed the file
    kDirFileMask = 0x0096,         // the directory is read from the directory file
};

// An entry's sizes and place as positions in the file: the 32-bit fields
// of its header or, with ZIP64 read, its ZIP64 extra field; the local
// header's offset moved by the archive's stub shift.
struct EntryPlace {
    uint64_t compressedSize;
    uint64_t uncompressedSize;
    uint64_t localHeaderOffset;
    uint32_t diskNumberStart;
};

struct Archive {
    uint64_t dirOffset;   // first central directory header (0xFFFFFFFF: none found)
    uint64_t endOffset;   // end record (or ZIP64 end record), in the same file
    uint64_t cursor;      // header that Qz4ZipFindNext reads next
    int64_t shift;        // real minus recorded offsets, for an archive behind a stub
    EntryPlace entry;     // the entry the last enumeration call read
    bool haveEntry;
    uint32_t access;      // always GENERIC_READ
    uint32_t share;       // 1, or 3 with the open mode's share bit
    HANDLE file;          // archive file or current volume; the key of the lookup
    HANDLE dirFile;       // directory file, or INVALID_HANDLE_VALUE
    char *name;           // OEM archive path, heap; current volume for QZVW sets
    char *dirName;        // ANSI path of the directory file, heap, or null
    Archive *next;        // next older archive
    uint16_t flags;
    uint16_t volume;      // 1-based current volume of multi-volume archives
};

// Archive handles cross the interface as 32-bit values.
inline QzHandle toArchiveHandle(HANDLE h) { return (QzHandle)HandleToLong(h); }
inline HANDLE toFileHandle(QzHandle h) { return (HANDLE)LongToHandle((long)(int32_t)h); }

// The record whose file handle equals handle: QZ_OK, or QZ_ERR_HANDLE with
// *out null.
int16_t findArchive(QzHandle handle, Archive **out);

// True when the central directory is read from the directory file.
inline bool hasDirectoryFile(const Archive *a) { return (a->flags & kDirFileMask) != 0; }
// The file that holds the central directory of the archive.
inline HANDLE directoryHandle(const Archive *a) { return hasDirectoryFile(a) ? a->dirFile : a->file; }

Archive *listHead();
uint16_t openCount();

// Puts a filled record at the head of the list and counts it.
void linkArchive(Archive *a);
// Closes one record as Qz4ZipClose does: file, directory file, names, record.
void closeArchive(Archive *a);
// The unload routine: closes the archives at the head of the list until
// none is open or 255 have been closed.
void unloadArchives();

// The two shared transfer buffers of kTransferBytes each (frame.h), which
// live while at least one archive is open: the first fixed (its handle is
// its address), the second movable (lock it for use).  Null when none is
// open.
using frame::kTransferBytes;
uint8_t *transferInput();
HGLOBAL transferOutput();
inline frame::TransferBuffers transferBuffers() { return {transferInput(), transferOutput()}; }
// Allocation and release, used by open and close.
bool allocTransferBuffers();
void freeTransferBuffers();

// Records and names on the process heap.
void *heapAlloc(uint32_t bytes);
void heapFree(void *p);
char *heapString(const char *s);

// ---------------------------------------------------------------------------
// File primitives
// ---------------------------------------------------------------------------

// CreateFileA on an OEM name (converted to ANSI first).
HANDLE openOem(const char *oemName, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// The transfers and seeks return true on success.  readAll also says in *got
// (when not null) how many bytes arrived, 0 when ReadFile failed.
bool writeAll(HANDLE file, const void *buffer, uint32_t count);
bool readAll(HANDLE file, void *buffer, uint32_t count, uint32_t *got = nullptr);
// Absolute seek.  Without ZIP64 read, offsets are signed 32-bit ones, so
// 0xFFFFFFFF (and anything from 2 GiB on) always fails; with it they are
// 64-bit positions.
bool seekTo(HANDLE file, uint64_t offset);
bool seekBy(HANDLE file, int32_t distance);
bool tell(HANDLE file, uint64_t *position);
// Moves to the end of the file and says its size; without ZIP64 read, a
// size beyond 32 bits fails.
bool seekToEnd(HANDLE file, uint64_t *size);
// A new empty temporary file "QVW....TMP" (ANSI name on the heap), or null.
char *makeTempName();
// Copies count bytes between the current positions: QZ_OK, QZ_ERR_FILE
// (an invalid handle), QZ_ERR_MEMORY, QZ_ERR_READ (a short read),
// QZ_ERR_WRITE or QZ_CANCELLED.
int16_t copyBytes(HANDLE from, HANDLE to, int32_t count);

// Moves a copy on to the next volume: QZ_OK with *file holding the new
// volume's handle, or the code that ends the copy.
typedef int16_t (*NextVolume)(void *context, HANDLE *file);
// Copies count bytes from the current position of *file into to, calling
// next whenever the current volume ends before the count does.
int16_t copySpanning(HANDLE *file, HANDLE to, uint32_t count, NextVolume next, void *context);

// ---------------------------------------------------------------------------
// The directory
// ---------------------------------------------------------------------------

// Locates the end record of an open archive: sets a->endOffset and
// a->dirOffset (clears kFlagLocated first and sets it on success).
int16_t locateEndRecord(Archive *a);

// Locates the end record unless an earlier call already did: QZ_OK or the
// code of the search.
int16_t ensureLocated(Archive *a);

// What one directory read fills in, as the exports take it: every pointer
// may be null, and an extra or comment size of 0xFFFF (in its low 16 bits)
// means no buffer.
struct EntryBuffers {
    QzEntryRecord *record;
    char *name;
    void *extra;
    uint32_t extraSize;
    char *comment;
    uint32_t commentSize;
};

// The reader under every walk (Qz4ReadCDR) for a known record.  With
// effective names, the record's name length becomes that of the effective
// name unless keepNameLength asks for the stored one.
int16_t readEntry(Archive *a, uint64_t *offset, const EntryBuffers &out, bool keepNameLength);

// The built-in walk (Qz4ZipFindFirst, Qz4ZipFindNext) on a known record.
int16_t findEntry(Archive *a, bool first, const EntryBuffers &out, bool keepNameLength);

// Builds the directory file of an archive of type code 2, 3, 4 or 10.
// *file may be replaced by another volume's handle (or INVALID_HANDLE_VALUE
// when a volume request failed after closing it); on success *dirFile and
// *dirName hold the directory file and *volume the current volume.
int16_t buildDirectory(uint16_t type, const char *oemName, HANDLE *file, uint16_t *volume,
                       HANDLE *dirFile, char **dirName);

// ---------------------------------------------------------------------------
// Volumes
// ---------------------------------------------------------------------------

// The number that asks requestVolume for the last volume of a set.
enum : uint16_t { kLastVolume = 10000 };

// Asks for a volume while opening (kLastVolume, or any number above 999 or
// 0, means the last volume of the set).  Closes *file first; on success
// stores the new volume's handle there.  QZ_OK, or when the question is
// not answered with OK, QZ_CANCELLED (QZ_ERR_FILE once an open has failed).
int16_t requestVolume(uint16_t number, const char *oemName, HANDLE *file);

// True for the name of a split set's volume on a fixed disk while split
// sets are read (its extension is "zip" or "z" and digits): its volumes
// are opened by name, without a question.
bool splitSet(const char *oemName);

// Opens the volume named by a->volume for extraction: QZ_OK with a->file
// replaced, QZ_ERR_FILE (cannot open on a fixed drive, or a number above
// 999) or QZ_CANCELLED.
int16_t changeVolume(Archive *a);

// The volume that holds an entry's local header, for archives with a
// directory file.
uint16_t wantedVolume(const Archive *a, const QzEntryRecord *record);

// Makes the volume an entry needs current: when it differs from a->volume,
// runs the volume change and writes the new handle into *callerHandle
// (when not null).
int16_t switchToEntryVolume(Archive *a, const QzEntryRecord *record, QzHandle *callerHandle);

// Copies count bytes from the archive's current position into to, moving
// on to the next volume (and writing its handle to *callerHandle) whenever
// the current one ends.
int16_t copyAcrossVolumes(Archive *a, HANDLE to, uint32_t count, QzHandle *callerHandle);

// "X:\" and a NUL: the root of the drive of path ("X:..."), or of the
// current drive.
void driveRoot(const char *path, char root[4]);
// The label of root ("X:\"), or an empty string.
void readVolumeLabel(const char *root, char label[kNameBytes]);
// The root of an ANSI path: "X:\" or "\\server\share\".
void volumeRoot(const char *ansiPath, char root[kNameBytes]);
// "PKBACK# " and the three-digit number (number 0..999).
void spannedLabel(uint16_t number, char label[12]);
// Writes number in three digits to out[0..2] (no terminator).
void threeDigits(uint16_t number, char *out);

}  // namespace archive
}  // namespace qz

#endif
