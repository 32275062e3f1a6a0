// extensions.cpp -- the extension mode's platform services on POSIX.
#include "platform/extensions.h"
#include "platform/posix/posix.h"

#include <string.h>

namespace qz {
namespace platform {

void applyExtensions(uint32_t) {}

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
