// extensions.cpp -- the extension mode's platform services on POSIX.
//
// The mode's rules live where they apply (the UTF-8 page in codepage.cpp,
// exact and permissive names in paths.cpp and find.cpp); this file keeps
// the switches they read and the services the library asks for by name.
#include "platform/extensions.h"
#include "platform/posix/posix.h"

#include <string.h>

namespace qz::posix {

namespace {

bool g_posixNames = false;

} // namespace

bool posixNames() { return g_posixNames; }

void resetExtensions() {
    qz::gExtensions = 0;
    qz::platform::applyExtensions(0);
}

} // namespace qz::posix

namespace qz {
namespace platform {

using namespace qz::posix;

void applyExtensions(uint32_t flags) {
    setUtf8Page((flags & QZ_EXT_UTF8_NAMES) != 0);
    g_posixNames = (flags & QZ_EXT_POSIX_NAMES) != 0;
}

bool storedToAnsi(const char *stored, size_t n, bool utf8, char *out, size_t size) {
    if (size == 0) return false;
    const unsigned char *s = (const unsigned char *)stored;
    size_t at = 0;
    bool whole = true;
    for (size_t i = 0; i < n && whole;) {
        if (!utf8) {
            whole = appendUtf8(oemUnicode(s[i]), out, size, &at);
            ++i;
            continue;
        }
        // A byte that starts no valid sequence stands for a character the
        // writer did not encode; it becomes '_' rather than a broken name.
        size_t len = utf8Length(s + i, n - i);
        const char *from = len ? stored + i : "_";
        size_t count = len ? len : 1;
        whole = at + count < size;
        if (whole) {
            memcpy(out + at, from, count);
            at += count;
        }
        i += count;
    }
    out[at] = 0;
    return whole;
}

bool setUnixMode(const char *, uint32_t) {
    return true;
}

}  // namespace platform
}  // namespace qz
