// extract.h -- the extraction subsystem's internal operations: the internal
// method code, destination paths and path filters, directory creation, the
// overwrite decision with file versions, and DOS times.
//
// The exports of this subsystem are Qz4UnZip and Qz4QUnZip (unzip.cpp),
// Qz4UnZipPtr (memory.cpp), Qz4AddUnZipPathFilter (filters.cpp) and
// Qz4DirExist (directories.cpp).
//
// Names travel in two code pages: entry names and the OEM form of a
// destination path go to the selection, the path filters and the open
// primitive of archive access; the ANSI form goes to the file system
// calls made here (delete, attributes, directories, versions).
#ifndef QZ_EXTRACT_EXTRACT_H
#define QZ_EXTRACT_EXTRACT_H

#include <stdint.h>

#include "archive/archive.h"
#include "platform/names.h"
#include "platform/win32.h"
#include "qzunpack.h"

namespace qz {
namespace extract {

// Every path and path part is handled in buffers of kNameBytes (names.h).

// ---- the walk over the entries (walk.cpp) ----------------------------------

// The extra field and the comment of each entry are read into buffers of
// this size (a longer one ends the walk with QZ_TOO_LONG).
enum : uint32_t { kWorkBufferBytes = 8192 };

// Once a run has asked for long names (OPT_LONG_NAMES), the open archive
// keeps them; a later run without the switch gets it from the archive.
void shareLongNames(archive::Archive *a, uint32_t *options);

// The first entry of the walk (first) or the next one, with the name length
// of the record kept as stored.  The walk's result: QZ_OK, QZ_NO_MORE_ENTRIES
// at the end, QZ_TOO_LONG, or the error that ends it.
int16_t walkEntries(archive::Archive *a, bool first, QzEntryRecord *record, char *name, void *extra,
                    char *comment);

// ---- methods (method.cpp) --------------------------------------------------

// The internal method code of a ZIP method and general-purpose flag:
// 0 stored, 1 to 4 Deflate (normal, maximum, fast, super fast), 5 method 10,
// 6 imploded, 7 method 11, 8 method 12, 9 shrunk; 0 for anything else.
int16_t methodCode(int16_t zipMethod, uint16_t flags);

// True for the ZIP methods the library recognises (0, 1, 6, 8, 10, 11, 12),
// of which only 0 and 8 are decoded.
bool knownMethod(uint16_t zipMethod);

// True for the ZIP methods the library decodes: stored and Deflate.
bool decodedMethod(uint16_t zipMethod);

// Appends s to path (a kNameBytes buffer) as far as it fits, never cutting
// a double-byte character in two; false when s was cut.
bool appendPath(char *path, const char *s);

// out = drive, directory and name joined, as far as they fit.
void joinPath(char out[kNameBytes], const char *drive, const char *dir, const char *name);

// Appends '/' unless s ends with '/', ':' or '\' (an empty s gets one);
// s has room for one more byte.
void endWithSeparator(char *s);

// ---- destination paths (paths.cpp) -----------------------------------------

// Removes the separators a directory part begins with.
void dropLeadingSeparators(char *dir);
// True when a name has a component of dots and blanks with two dots or more.
bool leavesDirectory(const char *name);

// The destination directory of a run: the caller's, completed with '/'
// unless empty or ending in ':', '\' or '/'.
void destinationDirectory(const char *given, char out[kNameBytes]);

// The path an entry is written to, in ANSI and OEM.  drive, dir and name
// are the entry's parts (OEM; drive empty unless OPT_KEEP_DRIVE); a
// non-empty outputName replaces the whole path.  With OPT_KEEP_DRIVE the
// path filters apply.  False when the path was cut to fit the buffer (the
// whole of it or one of the parts the path is split into).
bool destinationPath(const char *destDir, const char *outputName, const char *drive,
                     const char *dir, const char *name, uint32_t options,
                     char ansi[kNameBytes], char oem[kNameBytes]);

// ---- directories (directories.cpp) -----------------------------------------

// Creates every missing directory on the way to an ANSI file path (the
// part after the last separator is the file and is not created; a root
// "X:\" never is): QZ_OK, or QZ_ERR_MKDIR when one could not be created.
// Without known each directory is looked for, then made when missing.
// With known (a kNameBytes buffer, "" at first) the directories that lie
// on the way to the one it holds are taken as there, and the others are
// made straight away, looked for only when something of that name is
// there; it then holds this path's directory with its '\' (or "" after a
// failure).
int16_t createDirectories(const char *ansiPath, char *known = nullptr);

// ---- path filters (filters.cpp) --------------------------------------------

bool havePathFilters();
// Rewrites an OEM destination path with the first filter whose from field
// matches its drive and the start of its directory.
void applyPathFilters(char oemPath[kNameBytes]);
// Drops every filter; each extraction run does this when it ends.
void releasePathFilters();

// ---- overwrite decision (overwrite.cpp) ------------------------------------

enum class Decision { Replace, Keep, Cancel };

// What to do with an existing destination file, by the options in this
// order: never, always, by file version, by date (the entry's local time
// against the file's UTC time, as they are), yes-to-all, and finally the
// overwrite question to the host (which may set *yesToAll).
Decision decideOverwrite(uint32_t options, const uint8_t *extra, uint16_t extraLength,
                         uint16_t dosDate, uint16_t dosTime, const char *ansiPath,
                         const FILETIME &lastWrite, bool *yesToAll);

// DosDateTimeToFileTime, with 1 January 1980 for a date of 0: true when
// the date and time could be converted.
bool fileTimeFromDos(uint16_t dosDate, uint16_t dosTime, FILETIME *out);

// The 8-byte file version key of a version block ("TH", size 10, "VW",
// key) in an extra field: true with *key pointing into extra.  A key of
// all zero bytes counts as no block.
bool findVersionBlock(const uint8_t *extra, uint16_t length, const uint8_t **key);

// The file version key of a file's version resource: FileVersionMS, then
// FileVersionLS, each most significant byte first, so that keys order as
// unsigned byte strings.  QZ_OK, QZ_NO_VERSION or QZ_ERR_MEMORY.
int16_t fileVersionKey(const char *ansiPath, uint8_t key[8]);

}  // namespace extract
}  // namespace qz

#endif
