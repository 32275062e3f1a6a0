// names.h -- what every folder of the library shares about names and
// paths: the size of a name buffer and the separator conversion.
//
// It lives beside win32.h because every folder may include the platform
// layer and nothing lower, so the selection, the frame, archive access and
// the extraction all see one definition.  Nothing here calls more than the
// code-page stepping of win32.h.
#ifndef QZ_PLATFORM_NAMES_H
#define QZ_PLATFORM_NAMES_H

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

}  // namespace qz

#endif
