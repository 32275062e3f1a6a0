// extensions.cpp -- the extension mode's platform services on POSIX.
//
// The mode's rules live where they apply (the UTF-8 page in codepage.cpp,
// exact and permissive names in paths.cpp and find.cpp, the refusal of
// links in files.cpp); this file keeps the switches they read and the two
// services the library asks for by name.
#include "platform/extensions.h"
#include "platform/posix/posix.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

namespace qz::posix {

namespace {

bool g_posixNames = false;
bool g_noFollow = false;
bool g_umaskRead = false;
mode_t g_umask = 0;

} // namespace

bool posixNames() { return g_posixNames; }

bool noFollow() { return g_noFollow; }

bool runUmask(mode_t *mask) {
    *mask = g_umask;
    return g_umaskRead;
}

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
    g_noFollow = (flags & QZ_EXT_UNIX_MODES) != 0;
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

void beginOutput() {
    // umask can only be read by setting it: put it straight back.
    g_umask = umask(0);
    umask(g_umask);
    g_umaskRead = true;
}

namespace {

// The permission bits of the file open in s: those it was made with when
// this open made it under the run's umask, else what fstat says.
bool currentMode(Slot &s, mode_t *mode) {
    mode_t mask;
    if (s.created && s.knownAt == g_attributeChanges && runUmask(&mask)) {
        *mode = 0666 & ~mask;
        return true;
    }
    struct stat st;
    if (fstat(s.fd, &st) != 0) return fail(errorFromErrno(errno));
    *mode = st.st_mode & 07777;
    return true;
}

// The slot of a file handle open for writing; null (and the error set)
// for any other.
Slot *writableFile(HANDLE file) {
    Slot *s = slotGet(file, kSlotFile);
    if (!s) {
        fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!(s->access & GENERIC_WRITE)) {
        fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return s;
}

// Gives the file open in s the permission bits mode.
bool changeMode(Slot &s, mode_t from, mode_t to) {
    if (from == to) return true;
    if (fchmod(s.fd, to) != 0) return fail(errorFromErrno(errno));
    attributesChanged();
    s.created = false;
    s.knownAt = g_attributeChanges;
    return true;
}

} // namespace

bool setOpenFileAttributes(HANDLE file, const char *, DWORD attributes) {
    Slot *s = writableFile(file);
    if (!s) return false;
    mode_t mode;
    if (!currentMode(*s, &mode)) return false;
    if (!changeMode(*s, mode, modeWithAttributes(mode, attributes))) return false;
    DWORD bits = dosBitsOf(attributes);
    if (s->dosKnown && s->knownAt == g_attributeChanges && s->dosBits == bits) return true;
    if (!storeDosBits("", s->fd, bits)) return fail(errorFromErrno(errno));
    s->dosKnown = true;
    s->dosBits = bits;
    s->knownAt = g_attributeChanges;
    return true;
}

bool setOpenFileMode(HANDLE file, uint32_t mode) {
    Slot *s = writableFile(file);
    if (!s) return false;
    mode_t mask, now;
    if (!runUmask(&mask)) {
        beginOutput();
        runUmask(&mask);
    }
    if (!currentMode(*s, &now)) return false;
    return changeMode(*s, now, (mode_t)(mode & 0777) & ~mask);
}

}  // namespace platform
}  // namespace qz
