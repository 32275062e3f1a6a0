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
 * is a message for it; the entry is skipped, the more status records the
 * problem and the run goes on to end with QZ_SKIPPED.  An invalid DOS date
 * or time leaves the file with the current time and sends
 * QZ_EXT_INVALID_TIME.  Cancellation, memory, read and write errors still
 * end the run. */
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

#define QZ_EXT_ALL            0x001Fu

/* The message of an entry whose DOS date or time is not a valid one: the
 * file was written and keeps the time it was written at. */
#define QZ_EXT_INVALID_TIME   (-30)

/* Sets the extension flags (bits outside QZ_EXT_ALL are ignored) and
 * returns those now in force. */
QZ_API(uint32_t) QzSetExtensions(uint32_t flags);

/* The extension flags in force: 0 until a host sets some. */
QZ_API(uint32_t) QzGetExtensions(void);

/* The exports of the extension mode, in the form of QZ_EXPORT_TABLE: the
 * 32-bit DLL gives them ordinals from 100, after the 39 of qzunpack.h. */
#define QZ_EXT_EXPORT_TABLE(X)          \
    X(100, QzSetExtensions,        4)   \
    X(101, QzGetExtensions,        0)

#endif /* QZUNPACK_EXT_H */
