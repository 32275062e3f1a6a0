// extensions.cpp -- the extension mode's platform services on POSIX.
//
// The mode's rules live where they apply (the UTF-8 page in codepage.cpp);
// this file keeps the switches they read.
#include "platform/extensions.h"
#include "platform/posix/posix.h"

#include <string.h>

namespace qz::posix {

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
}

bool storedToAnsi(const char *stored, size_t n, bool, char *out, size_t size) {
    if (n >= size)
        return false;
    memcpy(out, stored, n);
    out[n] = 0;
    return true;
}

bool setUnixMode(const char *, uint32_t) {
    return true;
}

}  // namespace platform
}  // namespace qz
