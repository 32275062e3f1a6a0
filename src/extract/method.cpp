// method.cpp -- the internal method code of an entry, and the small
// character and path helpers the extraction paths share.
#include "extract/extract.h"

namespace qz {
namespace extract {

int16_t methodCode(int16_t zipMethod, uint16_t flags) {
    switch (zipMethod) {
    case 0:  return 0;                                  // stored
    case 1:  return 9;                                  // shrunk
    case 6:  return 6;                                  // imploded
    case 8:  return (int16_t)(1 + ((flags >> 1) & 3));  // Deflate: normal, maximum, fast, super fast
    case 10: return 5;
    case 11: return 7;
    case 12: return 8;
    default: return 0;
    }
}

bool knownMethod(uint16_t zipMethod) {
    switch (zipMethod) {
    case 0: case 1: case 6: case 8: case 10: case 11: case 12:
        return true;
    default:
        return false;
    }
}

bool decodedMethod(uint16_t zipMethod) {
    return zipMethod == 0 || zipMethod == 8;
}

bool appendPath(char *path, const char *s) {
    int at = lstrlenA(path);
    if (!s)
        return true;
    while (*s) {
        const char *next = CharNextA(s);
        int n = (int)(next - s);
        if (n <= 0 || at + n > kNameBytes - 1)
            break;
        while (s < next)
            path[at++] = *s++;
    }
    path[at] = 0;
    return *s == 0;
}

void joinPath(char out[kNameBytes], const char *drive, const char *dir, const char *name) {
    out[0] = 0;
    appendPath(out, drive);
    appendPath(out, dir);
    appendPath(out, name);
}

void endWithSeparator(char *s) {
    const char *last = nullptr;
    for (const char *p = s; *p; p = CharNextA(p))
        last = p;
    if (!last || (*last != '/' && *last != ':' && *last != '\\'))
        lstrcatA(s, "/");
}

}  // namespace extract
}  // namespace qz
