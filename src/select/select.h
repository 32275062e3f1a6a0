// select.h -- file selection: wildcard matching, case-folded comparisons,
// specification lists, path splitting and the filtered search of files on
// disk, as the other subsystems see them.
//
// Nothing here keeps state between calls; every operation works on its
// arguments and on private copies.  Strings are NUL-terminated multibyte
// strings walked with CharNextA / CharPrevA, so a trail byte is never taken
// for a separator, a quote or a wildcard.  Names and paths are at most 259
// bytes (260-byte buffers); longer inputs are cut to that length, never
// overrun.
#ifndef QZ_SELECT_SELECT_H
#define QZ_SELECT_SELECT_H

#include <stdint.h>

#include "platform/names.h"
#include "platform/win32.h"
#include "qzunpack.h"

namespace qz {
namespace select {

// Every name, path and path part handed in or out is a buffer of
// kNameBytes (names.h).

// ---- matching (match.cpp) ----------------------------------------------

// The case-sensitive core match of a whole name against a whole pattern:
// '*' any run (also across separators), '?' one character, '/' and '\'
// fit either separator, anything else fits a character with the same first
// byte.  A run of wildcards that ends in '?' tries the literal after it at
// the first fitting position only.  Takes time proportional to the product
// of the two lengths, uses no recursion and allocates nothing.  QzMatchFile
// (the export) folds case and handles the "*." and "*.*" forms before it.
bool matchCore(const char *name, const char *pattern);

// ---- case-folded comparisons (fold.cpp) ----------------------------------

// OEM strings, converted to ANSI and upper-cased on private copies; 0 when
// equal, nonzero otherwise.  If a copy cannot be allocated the answer is 0.
int foldedCompare(const char *a, const char *b);

// The same over the first n bytes; a double-byte character is compared as
// one unit, and the comparison ends early where both strings end.  0 when
// n is 0.
int foldedPrefixCompare(const char *a, const char *b, int n);

// ---- specification lists (tokenize.cpp, selection.cpp) -------------------

// Takes the next specification from a writable list copy: skips bytes 1 to
// 32; a specification in double quotes runs to the closing quote (or the
// end), any other to the next byte 0 to 32.  The byte that ends it is
// overwritten with NUL and *cursor moves past it.  Returns null when the
// list is used up.  "" gives an empty specification.
char *nextSpec(char **cursor);

// Does the entry (its directory, which may be null or empty, and its name)
// fit one specification (its directory, which may be null, and its name
// pattern)?  With recurse on and a wildcard in the pattern the
// specification's directory only has to begin the entry's.
bool entryTest(const char *entryDir, const char *entryName, const char *specDir, const char *pattern,
               bool recurse);

// Is the entry selected by the include list and not deselected by the
// exclude list?  Lists are the caller's (ANSI, never changed); the entry's
// directory and name are OEM.  A null or empty include list selects
// nothing; a failed allocation answers false.
bool selectionTest(const char *entryDir, const char *entryName, const char *include,
                   const char *exclude, bool recurse);

// ---- path splitting (split.cpp) ------------------------------------------

// Cuts a path into drive ("C:" or the \\server\share prefix of a UNC path),
// directory (through the last separator), base name and extension (from
// the last '.' of the last component).  Every output is a kNameBytes buffer
// or null; directory, base name and extension are cut to 255 bytes.
void splitPath(const char *path, char *drive, char *dir, char *base, char *ext);

// The same with base name and extension joined into name.
void splitPath(const char *path, char *drive, char *dir, char *name);

// ---- disk search (find.cpp) ------------------------------------------------

// Starts a search for an OEM path with wildcards and returns its handle when
// a file passes the attribute and name filter (its record is in *data), or
// INVALID_HANDLE_VALUE (nothing open) when none does.  The caller closes a
// handle it receives with FindClose.
//
// The filter: the mask less the archive bit is what the caller accepts;
// 0 and 0x80 accept only files with no attribute beyond read-only,
// archive and normal.  "." and ".." never pass, and the found name must fit
// the name part of the path under QzMatchFile.
HANDLE findFirst(const char *path, DWORD mask, WIN32_FIND_DATAA *data);

// The next file of a search that passes the filter: true and *data filled,
// or false when the search is over; then the handle has been closed and
// *handle is INVALID_HANDLE_VALUE.  A handle that is INVALID_HANDLE_VALUE
// gives false.
bool findNext(HANDLE *handle, const char *path, DWORD mask, WIN32_FIND_DATAA *data);

}  // namespace select
}  // namespace qz

#endif
