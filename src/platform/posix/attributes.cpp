// attributes.cpp -- DOS file attributes on a POSIX file system.
//
//   READONLY   the owner's write bit is clear (checked by this layer itself,
//              so that it holds for root too);
//   DIRECTORY  the file type;
//   HIDDEN, SYSTEM, ARCHIVE, NORMAL
//              kept in the extended attribute user.DOSATTRIB as the text
//              "0x%x" (the form Samba uses); where the file system has no
//              user attributes, in a small table of this process keyed by
//              device and inode.
// NORMAL is reported alone when no other bit is set.  The attribute is
// written only when it holds a bit: without one, a file reads as what its
// mode says, so storing nothing (or removing what was stored) does.
#include "platform/posix/posix.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace qz::posix {

unsigned long g_attributeChanges = 0;

namespace {

const char  kName[] = "user.DOSATTRIB";
const DWORD kStored = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                      FILE_ATTRIBUTE_NORMAL;

struct Fallback {
    bool  used;
    dev_t dev;
    ino_t ino;
    DWORD bits;
};
enum { kFallbacks = 512 };
Fallback g_fallback[kFallbacks];

Fallback *fallbackOf(const struct stat &st, bool create) {
    Fallback *free = nullptr;
    for (Fallback &f : g_fallback) {
        if (f.used && f.dev == st.st_dev && f.ino == st.st_ino) return &f;
        if (!f.used && !free) free = &f;
    }
    if (!create || !free) return nullptr;
    free->used = true;
    free->dev = st.st_dev;
    free->ino = st.st_ino;
    free->bits = 0;
    return free;
}

bool unsupported(int e) { return e == ENOTSUP || e == EOPNOTSUPP || e == ENOSYS; }

// Stored bits read before, each under the status-change time its object
// had then.  Changing the attribute moves that time, so an entry serves
// while the time is the same, provided the time had settled before the
// reading (a change in the same clock tick would leave it as it was).
struct Known {
    bool  used;
    dev_t dev;
    ino_t ino;
    struct timespec ctime;
    DWORD bits;
};
enum { kKnown = 256 };
Known g_known[kKnown];

// A status-change time t that lies this far before now moves at any later
// change: in general two seconds (the coarsest file times), but twenty
// milliseconds for a time with digits below the millisecond, which only a
// file system keeping fine times gives (a clock tick is at most ten).
bool settled(const struct timespec &t, const struct timespec &now) {
    if (t.tv_nsec % 1000000 == 0) return wellBefore(t, now);
    long long ms = (long long)(now.tv_sec - t.tv_sec) * 1000 + (now.tv_nsec - t.tv_nsec) / 1000000;
    return ms > 20;
}

Known &knownSlot(const struct stat &st) {
    return g_known[(st.st_ino ^ st.st_dev) % kKnown];
}

DWORD storedBits(const char *host, const struct stat &st) {
    Known &k = knownSlot(st);
    if (k.used && k.dev == st.st_dev && k.ino == st.st_ino && sameTime(k.ctime, st.st_ctim)) return k.bits;
    struct timespec taken = coarseNow();
    char text[32];
    ssize_t n = getxattr(host, kName, text, sizeof text - 1);
    if (n >= 0 || errno == ENODATA) {
        text[n > 0 ? n : 0] = 0;
        DWORD bits = (DWORD)strtoul(text, nullptr, 16) & kStored;
        if (settled(st.st_ctim, taken)) k = {true, st.st_dev, st.st_ino, st.st_ctim, bits};
        return bits;
    }
    if (n < 0 && unsupported(errno)) {
        Fallback *f = fallbackOf(st, false);
        return f ? f->bits : 0;
    }
    return 0;
}

} // namespace

DWORD modeAttributes(const struct stat &st) {
    DWORD a = 0;
    if (S_ISDIR(st.st_mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(st.st_mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
    return a;
}

DWORD attributesFrom(const char *host, const struct stat &st) {
    DWORD a = storedBits(host, st) | modeAttributes(st);
    if (a & ~FILE_ATTRIBUTE_NORMAL) a &= ~FILE_ATTRIBUTE_NORMAL;
    return a ? a : FILE_ATTRIBUTE_NORMAL;
}

DWORD attributesOf(const char *host) {
    struct stat st;
    if (stat(host, &st) != 0) return INVALID_FILE_ATTRIBUTES;
    return attributesFrom(host, st);
}

mode_t modeWithAttributes(mode_t mode, DWORD attrs) {
    if (attrs & FILE_ATTRIBUTE_READONLY) return mode & ~(mode_t)(S_IWUSR | S_IWGRP | S_IWOTH);
    return mode | S_IWUSR;
}

DWORD dosBitsOf(DWORD attrs) {
    return attrs & kStored & ~FILE_ATTRIBUTE_NORMAL;
}

bool storeDosBits(const char *host, int fd, DWORD attrs) {
    attributesChanged();
    DWORD bits = dosBitsOf(attrs);
    int r;
    if (bits) {
        char text[32];
        snprintf(text, sizeof text, "0x%x", (unsigned)bits);
        size_t n = strlen(text);
        r = fd >= 0 ? fsetxattr(fd, kName, text, n, 0) : setxattr(host, kName, text, n, 0);
    } else {
        r = fd >= 0 ? fremovexattr(fd, kName) : removexattr(host, kName);
        if (r != 0 && errno == ENODATA) r = 0;
    }
    if (r == 0) return true;
    if (!unsupported(errno)) return false;
    struct stat st;
    if ((fd >= 0 ? fstat(fd, &st) : stat(host, &st)) != 0) return false;
    Fallback *f = fallbackOf(st, true);
    if (!f) return false;
    f->bits = bits;
    return true;
}

void forgetDosBits(const struct stat &st) {
    if (Fallback *f = fallbackOf(st, false)) f->used = false;
}

void resetAttributes() {
    memset(g_fallback, 0, sizeof g_fallback);
    memset(g_known, 0, sizeof g_known);
}

} // namespace qz::posix

using namespace qz::posix;

extern "C" {

DWORD WINAPI GetFileAttributesA(LPCSTR name) {
    DWORD error;
    if (callFails(QZHOST_GetFileAttributesA, &error)) { fail(error); return INVALID_FILE_ATTRIBUTES; }
    char host[kHostPath];
    PathState state;
    struct stat st;
    Lookup how;
    how.st = &st;
    if (DWORD e = resolve(name, host, sizeof host, &state, how)) { fail(e); return INVALID_FILE_ATTRIBUTES; }
    if (state != kPathExists) { fail(ERROR_FILE_NOT_FOUND); return INVALID_FILE_ATTRIBUTES; }
    if ((!how.statted || S_ISLNK(st.st_mode)) && stat(host, &st) != 0) {
        fail(errorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributesFrom(host, st);
}

BOOL WINAPI SetFileAttributesA(LPCSTR name, DWORD attributes) {
    DWORD error;
    if (callFails(QZHOST_SetFileAttributesA, &error)) return fail(error);
    char host[kHostPath];
    PathState state;
    struct stat st;
    Lookup how;
    how.st = &st;
    if (DWORD e = resolve(name, host, sizeof host, &state, how)) return fail(e);
    if (state != kPathExists) return fail(ERROR_FILE_NOT_FOUND);
    if ((!how.statted || S_ISLNK(st.st_mode)) && stat(host, &st) != 0) return fail(errorFromErrno(errno));
    mode_t mode = modeWithAttributes(st.st_mode & 07777, attributes);
    if (mode != (st.st_mode & 07777) && chmod(host, mode) != 0) return fail(errorFromErrno(errno));
    attributesChanged();
    // Reading is cheaper than writing, and the bits asked for are mostly
    // the ones the file has (ARCHIVE, given when it was made).
    DWORD bits = dosBitsOf(attributes);
    if ((storedBits(host, st) & ~FILE_ATTRIBUTE_NORMAL) == bits) return TRUE;
    if (!storeDosBits(host, -1, bits)) return fail(errorFromErrno(errno));
    return TRUE;
}

} // extern "C"
