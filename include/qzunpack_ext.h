/*
 * qzunpack_ext.h -- the extension mode of QZUNPACK.
 *
 * The library's interface (qzunpack.h) reads archives as DOS-era writers
 * made them: names in code page 437, the password checked against the CRC,
 * any odd entry ending the run, Windows rules for file names.  The
 * extension mode reads archives as today's writers make them.  Each
 * behaviour is one flag; all are off when the library loads, so a host
 * written for qzunpack.h alone gets exactly what it always got.  A host
 * that wants today's archives read as other readers read them sets
 * QZ_EXT_ALL before it opens an archive.
 *
 * The flags are library-wide, like every other setting: they apply to
 * every call made after they are set.
 */
#ifndef QZUNPACK_EXT_H
#define QZUNPACK_EXT_H

#include "qzunpack.h"

/* Names and comments of entries that carry general-purpose flag bit 11 are
 * UTF-8, and an Info-ZIP Unicode Path extra field (0x7075) whose CRC-32
 * matches the stored name gives the entry's UTF-8 name.  Names reach the
 * host and the file system in the platform's encoding: UTF-8 on POSIX
 * (where the mode takes UTF-8 as the ANSI code page, so nothing is lost),
 * the ANSI code page on Windows (characters it lacks become '_').  A name
 * that does not fit the 260-byte name buffer is reported for its entry
 * (QZ_TOO_LONG), which is skipped; the walk goes on. */
#define QZ_EXT_UTF8_NAMES     0x0001u

/* Passwords are checked as other readers check them: for entries with flag
 * bit 3 (sizes after the data) the check byte is the high byte of the DOS
 * time.  AES (method 99) and other strong encryption are reported as an
 * unsupported method (QZ_ERR_METHOD), not as a wrong password. */
#define QZ_EXT_PASSWORDS      0x0002u

/* A problem with one entry stays with that entry: an unsupported method,
 * a directory or file the file system refuses, a path that cannot be made
 * or would be cut to fit 260 bytes is a message for it; the entry is
 * skipped, the more status records the problem and the run goes on to end
 * with QZ_SKIPPED.  An invalid DOS date or time leaves the file with the
 * current time and sends QZ_EXT_INVALID_TIME.  Names stay below the
 * destination: leading separators are dropped (unless the drive is kept),
 * and an entry with a ".." component sends QZ_EXT_UNSAFE_NAME and is
 * skipped.  Cancellation, memory, read and write errors still end the run. */
#define QZ_EXT_ENTRY_PROBLEMS 0x0004u

/* POSIX only: names are case-sensitive (two names that differ in case are
 * two files), the characters Windows refuses (: ? * " < > |) are ordinary
 * characters of a name, and no entry name is read as a drive prefix. */
#define QZ_EXT_POSIX_NAMES    0x0008u

/* POSIX only: entries made on Unix hosts get their permission bits (the
 * high word of the external attributes, without setuid, setgid and sticky,
 * under the umask); a symbolic link entry is written as a regular file that
 * holds the link's target, and no output file is written through a link
 * that stands in its place.  On every platform, such entries are described
 * by their mode: a directory mode or a name ending in '/' is a directory
 * entry, a mode without write permission a read-only one. */
#define QZ_EXT_UNIX_MODES     0x0010u

/* ZIP64: the ZIP64 end record and its locator, the ZIP64 extra field for
 * sizes, offsets and disk numbers, and 64-bit file positions, so that
 * archives and entries beyond 4 GiB extract.  The entry records keep their
 * 32-bit fields: a size or offset beyond them reads 0xFFFFFFFF there, and
 * QzGetEntry64 gives the whole values. */
#define QZ_EXT_ZIP64          0x0020u

/* An archive behind a stub that did not adjust its offsets (a
 * self-extractor, an ELF stub, a script line): the shift between the
 * directory's recorded and real position is found from the end record
 * and applied to every offset, those handed out included. */
#define QZ_EXT_STUB_OFFSETS   0x0040u

/* Split archives on fixed disks (zip -s: NAME.z01, NAME.z02, ..., NAME.zip):
 * the volumes are found by name beside the one opened, with no disk
 * question.  Opening NAME.z01 opens NAME.zip for its directory; a volume
 * that is not there fails with QZ_ERR_NAME, the print block's archive name
 * saying which file is missing. */
#define QZ_EXT_SPLIT_ARCHIVES 0x0080u

#define QZ_EXT_ALL            0x00FFu

/* The message of an entry whose DOS date or time is not a valid one: the
 * file was written and keeps the time it was written at. */
#define QZ_EXT_INVALID_TIME   (-30)

/* The message of an entry whose name would lead out of the destination
 * (a ".." component): nothing was written for it. */
#define QZ_EXT_UNSAFE_NAME    (-31)

/* Sets the extension flags (bits outside QZ_EXT_ALL are ignored) and
 * returns those now in force. */
QZ_API(uint32_t) QzSetExtensions(uint32_t flags);

/* The extension flags in force: 0 until a host sets some. */
QZ_API(uint32_t) QzGetExtensions(void);

/* An entry's sizes and place in full. */
typedef struct QzEntry64 {
    uint64_t compressedSize;
    uint64_t uncompressedSize;
    uint64_t localHeaderOffset;  /* where its local header is in the archive file */
    uint32_t diskNumberStart;
    uint32_t reserved;           /* 0 */
} QzEntry64;

/* The sizes and place of the entry that the last enumeration call on the
 * archive read (Qz4ZipFindFirst, Qz4ZipFindNext, their VB32 forms,
 * Qz4ReadCDR): QZ_OK, QZ_ERR_HANDLE, or QZ_NO_MORE_ENTRIES before any
 * entry was read. */
QZ_API(int16_t) QzGetEntry64(QzHandle archive, QzEntry64 *entry);

/* The exports of the extension mode, in the form of QZ_EXPORT_TABLE: the
 * 32-bit DLL gives them ordinals from 100, after the 39 of qzunpack.h. */
#define QZ_EXT_EXPORT_TABLE(X)          \
    X(100, QzSetExtensions,        4)   \
    X(101, QzGetExtensions,        0)   \
    X(102, QzGetEntry64,           8)

#endif /* QZUNPACK_EXT_H */
