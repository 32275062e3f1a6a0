// names.h -- what every folder of the library shares about names and
// paths: the size of a name buffer and the separator conversion.
//
// It lives beside win32.h because every folder may include the platform
// layer and nothing lower, so the selection, the frame, archive access and
// the extraction all see one definition.  Nothing here calls more than the
// code-page stepping of win32.h.
#ifndef QZ_PLATFORM_NAMES_H
#define QZ_PLATFORM_NAMES_H

#include "platform/extensions.h"
#include "platform/win32.h"

namespace qz {

// Every name, path and path part is held in a buffer of this size: 259
// characters and the terminator, as for any Win32 path.
enum { kNameBytes = MAX_PATH };

// '\' and '/' both separate the parts of a path.
inline bool isPathSeparator(char c) {
    return c == '\\' || c == '/';
}

// Replaces every `find` in s by `put` ('/' by '\' or the reverse), stepping
// by characters of the active code page so that the trail byte of a
// double-byte character is never taken for a separator.  Null is left alone.
inline void replaceChar(char *s, char find, char put) {
    if (!s)
        return;
    for (char *p = s; *p; p = CharNextA(p))
        if (*p == find)
            *p = put;
}

// A name's OEM form to its ANSI form and back, in place or not.  Names of
// entries live in the OEM code page inside the library; with UTF-8 names
// they are converted once, when read, to the ANSI code page and stay in it,
// so then both directions copy.
inline void oemToAnsi(const char *from, char *to) {
    if (!extensionOn(QZ_EXT_UTF8_NAMES))
        OemToCharA(from, to);
    else if (from != to)
        lstrcpyA(to, from);
}

inline void ansiToOem(const char *from, char *to) {
    if (!extensionOn(QZ_EXT_UTF8_NAMES))
        CharToOemA(from, to);
    else if (from != to)
        lstrcpyA(to, from);
}

}  // namespace qz

#endif
