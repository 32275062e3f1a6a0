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
    kMagicQzvw = 0x57565A51u,   // the bytes "QZVW" in file order
};

enum : uint32_t {
    kLocalHeaderBytes = 30,
    kCentralHeaderBytes = 46,
    kEndRecordBytes = 22,
    kQzvwHeaderBytes = 12,
    kMaxCommentBytes = 65535,
    kCopyBufferBytes = 0x80000,   // the buffered copy starts with this much
};

inline uint16_t get16(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t get32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void put16(uint8_t *p, uint16_t v) { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); }
inline void put32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); p[2] = (uint8_t)(v >> 16); p[3] = (uint8_t)(v >> 24);
}

// The fields of a local file header that the extraction paths use.
struct LocalHeader {
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
    kFlagKeepNameLength = 0x1000,  // next read keeps the stored name length
    kFlagFileClosed = 0x8000,      // a failed volume change closed the file
    kDirFileMask = 0x0096,         // the directory is read from the directory file
};

struct Archive {
    uint32_t dirOffset;   // first central directory header (0xFFFFFFFF: none found)
    uint32_t endOffset;   // end record, in the same file
    uint32_t cursor;      // header that Qz4ZipFindNext reads next
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

// The record whose file handle equals handle: 0, or 106 with *out null.
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
// DeleteFileA on an OEM name; a failure is ignored.
void deleteOem(const char *oemName);
// 0 when all count bytes were written, 1 otherwise.
uint16_t writeAll(HANDLE file, const void *buffer, uint32_t count);
// Bytes read, 0 when ReadFile failed.
uint32_t readSome(HANDLE file, void *buffer, uint32_t count);
// Absolute seek (a signed 32-bit offset, so 0xFFFFFFFF always fails).
bool seekTo(HANDLE file, uint32_t offset);
// Relative seek; false on failure.
bool seekBy(HANDLE file, int32_t distance);
// The current position, or 0xFFFFFFFF on failure.
uint32_t tell(HANDLE file);
// A new empty temporary file "QVW....TMP" (ANSI name on the heap), or null.
char *makeTempName();
// Copies count bytes between the current positions: 0, 105 (invalid
// handle), 108, -11 (short read), -10 (write) or -4 (cancelled).
int16_t copyBytes(HANDLE from, HANDLE to, int32_t count);

// Reads the 30-byte local file header at the current position: 0 or -11.
int16_t readLocalHeader(HANDLE file, LocalHeader *out);

// ---------------------------------------------------------------------------
// The directory
// ---------------------------------------------------------------------------

// Locates the end record of an open archive (clears and, on success, sets
// kFlagLocated).  Both outputs may be null.
int16_t locateEndRecord(QzHandle handle, uint32_t *endOffset, uint32_t *dirOffset);

// Locates the end record unless an earlier call already did: 0 or its code.
int16_t ensureLocated(Archive *a, QzHandle handle);

// The reader under every walk (Qz4ReadCDR) for a known record.
int16_t readEntry(Archive *a, uint32_t *offset, QzEntryRecord *record, char *name,
                  void *extra, uint32_t extraSize, char *comment, uint32_t commentSize);

// Builds the directory file of an archive of type code 2, 3, 4 or 10.
// *file may be replaced by another volume's handle (or INVALID_HANDLE_VALUE
// when a volume request failed after closing it); on success *dirFile and
// *dirName hold the directory file and *volume the current volume.
int16_t buildDirectory(uint16_t type, const char *oemName, HANDLE *file, uint16_t *volume,
                       HANDLE *dirFile, char **dirName);

// ---------------------------------------------------------------------------
// Volumes
// ---------------------------------------------------------------------------

// Asks for a volume while opening (the number 10000, or any above 999 or
// 0, means the last volume of the set).  Closes *file first; on success
// stores the new volume's handle there.  0, -4, or 105 after a failed open.
int16_t requestVolume(uint16_t number, const char *oemName, HANDLE *file);

// Opens the volume named by a->volume for extraction: 0 with a->file
// replaced, 105 (cannot open on a fixed drive, or a number above 999), -4.
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
