// split.cpp -- cutting a path into drive, directory, base name and
// extension.
//
// A path that starts with two separators is a UNC path: its drive part is
// \\server\share (up to, not including, the separator after the share
// name) and the rest is split as if it followed a drive letter.  Otherwise a
// drive is the first two bytes when the second is ':'.  The directory runs
// through the last '/' or '\', the extension from the last '.' after it.
// Every part is taken at character boundaries, so a trail byte equal to '\'
// neither ends the directory nor is cut off from its lead byte.
#include "select/select.h"

namespace qz {
namespace select {
namespace {

enum { kPartBytes = 255, kMaxBytes = kNameBytes - 1 };

// Copies [from, to) into out (when not null), at most limit bytes, cut at a
// character boundary.
void putPart(char *out, const char *from, const char *to, int limit) {
    if (!out) return;
    const char *stop = from;
    while (stop < to) {
        const char *next = CharNextA(stop);
        if (next == stop || next > to || next - from > limit) break;
        stop = next;
    }
    int i = 0;
    for (const char *p = from; p < stop; ++p) out[i++] = *p;
    out[i] = '\0';
}

}  // namespace

void splitPath(const char *path, char *drive, char *dir, char *base, char *ext) {
    if (!path) path = "";
    // Never look past the bytes a 260-byte buffer could hold, and end on a
    // character: a lead byte as the 259th byte takes its trail byte with it
    // only if both fit, or the joined name would need a 261st byte.
    const char *end = path;
    while (*end) {
        const char *next = CharNextA(end);
        if (next == end || next - path > kMaxBytes) break;
        end = next;
    }

    const char *rest = path;
    if (end - path >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1])) {
        // \\server\share: the server runs to the next separator, the share
        // from after it to the next separator or the end.
        const char *p = path + 2;
        while (p < end && !isPathSeparator(*p)) p = CharNextA(p);
        if (p < end) {
            ++p;
            while (p < end && !isPathSeparator(*p)) p = CharNextA(p);
        }
        if (p > end) p = end;
        rest = p;
    } else if (end - path >= 2 && path[1] == ':' && CharNextA(path) == path + 1) {
        rest = path + 2;
    }
    putPart(drive, path, rest, kMaxBytes);

    // The last separator and the last dot after it, as characters.
    const char *afterDir = rest;
    const char *dot = nullptr;
    for (const char *p = rest; p < end;) {
        const char *next = CharNextA(p);
        if (next == p) break;
        if (isPathSeparator(*p)) {
            afterDir = next;
            dot = nullptr;
        } else if (*p == '.') {
            dot = p;
        }
        p = next;
    }
    if (afterDir > end) afterDir = end;
    putPart(dir, rest, afterDir, kPartBytes);
    if (!dot) dot = end;
    putPart(base, afterDir, dot, kPartBytes);
    putPart(ext, dot, end, kPartBytes);
}

void splitPath(const char *path, char *drive, char *dir, char *name) {
    char base[kNameBytes], ext[kNameBytes];
    splitPath(path, drive, dir, base, ext);
    if (name) {
        lstrcpyA(name, base);
        lstrcatA(name, ext);
    }
}

}  // namespace select
}  // namespace qz
