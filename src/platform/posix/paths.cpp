// paths.cpp -- the drive table and the resolution of Win32 paths to host
// paths.
//
// A Win32 path is resolved in three steps:
//   1. its start: "X:\" is the root of drive X; "X:name" is relative to the
//      process's folder when X is the current drive and that folder lies on
//      it, else to X's root; "\name" is the root of the current drive; any
//      other path is relative to the process's folder;
//   2. its components, split at '\' and '/' (the later bytes of a multibyte
//      character are never separators): "." is dropped, ".." goes up (never
//      above "/"), trailing dots and spaces are cut off, as Win32 does;
//   3. each component is looked up in its folder: the exact UTF-8 form of
//      the ANSI name first, then every entry of the folder compared without
//      case in ANSI.  A missing folder on the way is ERROR_PATH_NOT_FOUND; a
//      missing last component is reported as such to the caller, which
//      decides (ERROR_FILE_NOT_FOUND, or a file to create).
// With POSIX names (extension mode) a name is looked up only as it is
// written, keeps trailing dots and spaces, : ? * " < > | are ordinary
// characters of a name, and only "X:\" and "X:/" start a drive path
// ("X:name" is a relative name).
#include "platform/posix/posix.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz::posix {

namespace {

Drive g_drives[26];
int   g_current = 'C';
DWORD g_serials = 0;

int letterIndex(int letter) {
    if (letter >= 'a' && letter <= 'z') letter -= 32;
    return (letter >= 'A' && letter <= 'Z') ? letter - 'A' : -1;
}

bool isSep(char c) { return c == '\\' || c == '/'; }

bool invalidChar(unsigned char c, bool wild) {
    if (c < 0x20) return true;
    if (posixNames()) return false;
    switch (c) {
    case '<': case '>': case ':': case '"': case '|': return true;
    case '*': case '?': return !wild;
    default: return false;
    }
}

// Appends "/name" to host; false when it does not fit.
bool append(char *host, size_t size, const char *name) {
    size_t n = strlen(host), m = strlen(name);
    if (n + 1 + m >= size) return false;
    host[n] = '/';
    memcpy(host + n + 1, name, m + 1);
    return true;
}

// Drops the last component of host, never going above its first floor
// bytes (the drive's root).
void up(char *host, size_t floor) {
    char *slash = strrchr(host, '/');
    if (slash && (size_t)(slash - host) >= floor) *slash = 0;
}

// The static table starts empty; the first use sets up the defaults.
bool g_ready = false;
void ready() {
    if (!g_ready) resetDrives();
}

// Looks name (ANSI) up in folder host without case; on success the entry's
// own name (host form) is in out.
bool findEntry(const char *host, const char *name, char *out, size_t size) {
    DIR *d = opendir(*host ? host : "/");
    if (!d) return false;
    bool found = false;
    char ansi[MAX_PATH * 2];
    while (struct dirent *e = readdir(d)) {
        if (!hostToAnsi(e->d_name, ansi, sizeof ansi)) continue;
        if (sameName(ansi, name) && strlen(e->d_name) < size) {
            strcpy(out, e->d_name);
            found = true;
            break;
        }
    }
    closedir(d);
    return found;
}

// The process folder, in host form without a trailing '/' ("" for "/").
bool processFolder(char *out, size_t size) {
    if (!getcwd(out, size)) return false;
    if (strcmp(out, "/") == 0) *out = 0;
    return true;
}

// True when host lies in (or is) the folder root ("" = "/").
bool liesIn(const char *host, const char *root) {
    size_t n = strlen(root);
    return strncmp(host, root, n) == 0 && (host[n] == 0 || host[n] == '/');
}

} // namespace

Drive *drive(int letter) {
    ready();
    int i = letterIndex(letter);
    return i < 0 ? nullptr : &g_drives[i];
}

int currentDrive() { return g_current; }

void setCurrentDrive(int letter) {
    if (letterIndex(letter) >= 0) g_current = 'A' + letterIndex(letter);
}

void resetDrives() {
    g_ready = true;
    memset(g_drives, 0, sizeof g_drives);
    Drive &c = g_drives['C' - 'A'];
    c.mapped = true;
    c.media = true;
    c.type = DRIVE_FIXED;
    c.serial = 0x1C0DE000u;
    g_current = 'C';
}

namespace {

// Step 1: the folder that path starts from, in host form, in base; *rest is
// what follows the drive prefix, *floor the length of the drive's root,
// above which ".." does not go (0 for a path without a drive).
DWORD startOf(const char *path, const char **rest, char (&base)[kHostPath], size_t *floor) {
    *rest = path;
    *floor = 0;
    int letter = 0;
    bool drivePrefix = ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':';
    if (drivePrefix && posixNames() && !isSep(path[2])) drivePrefix = false;
    if (drivePrefix) {
        letter = path[0] & ~0x20;
        *rest = path + 2;
    } else if (isSep(path[0]) && isSep(path[1])) {
        return ERROR_BAD_NETPATH;   // no network paths here
    } else if (isSep(path[0])) {
        letter = g_current;
    }
    if (!letter) return processFolder(base, sizeof base) ? 0 : ERROR_PATH_NOT_FOUND;
    Drive *d = drive(letter);
    if (!d || !d->mapped) return ERROR_PATH_NOT_FOUND;
    if (!d->media) return ERROR_NOT_READY;
    if (strlen(d->root) >= sizeof base) return ERROR_FILENAME_EXCED_RANGE;
    strcpy(base, d->root);
    *floor = strlen(base);
    if (!isSep(**rest) && letter == g_current) {
        char cwd[kHostPath];
        if (processFolder(cwd, sizeof cwd) && liesIn(cwd, d->root)) strcpy(base, cwd);
    }
    return 0;
}

// Step 2: splits rest at its separators into copy (the trail byte of a
// double-byte character is never one); parts point into copy.  Returns the
// number of components.
int splitComponents(const char *rest, char *copy, char **parts) {
    strcpy(copy, rest);
    int count = 0;
    for (char *p = copy;;) {
        while (isSep(*p)) ++p;
        if (!*p) break;
        parts[count++] = p;
        while (*p && !isSep(*p)) p = CharNextA(p);
        if (!*p) break;
        *p++ = 0;
    }
    return count;
}

// False when name holds a character that no Win32 name may hold ('*' and
// '?' are allowed in a pattern); the bytes of multibyte characters pass.
bool validName(const char *name, bool pattern) {
    for (const unsigned char *q = (const unsigned char *)name; *q; q += charLength(q)) {
        if (charLength(q) == 1 && invalidChar(*q, pattern)) return false;
    }
    return true;
}

// Cuts the trailing dots and spaces off every component but "." and "..",
// as Win32 does (one of nothing else becomes "."); false when a component
// holds an invalid character.
bool trimComponents(char **parts, int count) {
    for (int i = 0; i < count; ++i) {
        char *c = parts[i];
        if (strcmp(c, ".") == 0 || strcmp(c, "..") == 0) continue;
        // Win32 drops trailing dots and spaces; POSIX names keep them.
        size_t n = strlen(c);
        while (!posixNames() && n > 0 && (c[n - 1] == '.' || c[n - 1] == ' ')) c[--n] = 0;
        if (n == 0) { parts[i] = (char *)"."; continue; }
        if (!validName(c, false)) return false;
    }
    return true;
}

// Step 3: looks the components up one by one below host, which holds the
// start; floor as startOf gives it.  When a pattern follows, the last
// component too must be an existing folder.
DWORD lookUp(char *host, size_t size, size_t floor, char *const *parts, int count, bool pattern,
             PathState *state) {
    *state = kPathExists;
    for (int i = 0; i < count; ++i) {
        const char *c = parts[i];
        if (strcmp(c, ".") == 0) continue;
        if (strcmp(c, "..") == 0) { up(host, floor); continue; }
        bool isLast = i == count - 1;
        if (*state == kPathLastMissing) return ERROR_PATH_NOT_FOUND;
        char name[kHostPath];
        if (!ansiToHost(c, strlen(c), name, sizeof name)) return ERROR_FILENAME_EXCED_RANGE;
        size_t at = strlen(host);
        if (!append(host, size, name)) return ERROR_FILENAME_EXCED_RANGE;
        struct stat st;
        if (lstat(host, &st) != 0) {
            host[at] = 0;
            char real[kHostPath];
            if (!posixNames() && findEntry(host, c, real, sizeof real)) {
                if (!append(host, size, real)) return ERROR_FILENAME_EXCED_RANGE;
            } else {
                append(host, size, name);
                if (!isLast || pattern) return ERROR_PATH_NOT_FOUND;
                *state = kPathLastMissing;
                continue;
            }
        }
        if ((!isLast || pattern) && (stat(host, &st) != 0 || !S_ISDIR(st.st_mode))) return ERROR_PATH_NOT_FOUND;
    }
    return 0;
}

} // namespace

DWORD resolve(const char *path, char *host, size_t size, PathState *state,
              bool wildcards, char *last, bool *atRoot) {
    if (!path || !*path) return ERROR_PATH_NOT_FOUND;
    size_t len = strlen(path);
    if (len >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    ready();
    const char *rest;
    char base[kHostPath];
    size_t floor;
    if (DWORD error = startOf(path, &rest, base, &floor)) return error;
    if (strlen(base) >= size) return ERROR_FILENAME_EXCED_RANGE;
    strcpy(host, base);

    char copy[MAX_PATH];
    char *parts[MAX_PATH];
    int count = splitComponents(rest, copy, parts);
    // In wildcard mode the last component is whatever follows the last
    // separator, possibly nothing.
    const char *pattern = nullptr;
    if (wildcards) {
        if (count > 0 && !isSep(path[len - 1])) pattern = parts[--count];
        else pattern = "";
    }
    if (!trimComponents(parts, count) || (pattern && !validName(pattern, true))) return ERROR_INVALID_NAME;
    if (DWORD error = lookUp(host, size, floor, parts, count, pattern != nullptr, state)) return error;

    if (!*host) strcpy(host, "/");
    if (pattern && last) strcpy(last, pattern);
    if (atRoot) {
        *atRoot = strcmp(host, "/") == 0;
        for (const Drive &d : g_drives) {
            if (d.mapped && *d.root && strcmp(d.root, host) == 0) *atRoot = true;
        }
    }
    return 0;
}

bool hostToWin(const char *host, char *out, size_t size) {
    ready();
    int best = -1;
    size_t bestLen = 0;
    for (int i = 0; i < 26; ++i) {
        const Drive &d = g_drives[i];
        if (!d.mapped || !liesIn(strcmp(host, "/") == 0 ? "" : host, d.root)) continue;
        size_t n = strlen(d.root);
        if (best < 0 || n > bestLen || (n == bestLen && 'A' + i == g_current)) {
            best = i;
            bestLen = n;
        }
    }
    if (best < 0) return false;
    const char *rest = host + bestLen;
    while (*rest == '/') ++rest;
    char ansi[kHostPath];
    if (!hostToAnsi(rest, ansi, sizeof ansi)) return false;
    if (strlen(ansi) + 4 > size) return false;
    out[0] = (char)('A' + best);
    out[1] = ':';
    out[2] = '\\';
    size_t j = 3;
    for (const char *p = ansi; *p; ++p) out[j++] = *p == '/' ? '\\' : *p;
    out[j] = 0;
    return true;
}

} // namespace qz::posix

using namespace qz::posix;

extern "C" {

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    char cwd[kHostPath], win[kHostPath + 8];
    if (!getcwd(cwd, sizeof cwd)) { fail(errorFromErrno(errno)); return 0; }
    if (!hostToWin(cwd, win, sizeof win)) {
        // Not on any drive: the current drive's letter and the host path.
        snprintf(win, sizeof win, "%c:%s", currentDrive(), cwd);
        for (char *p = win; *p; ++p) if (*p == '/') *p = '\\';
    }
    DWORD n = (DWORD)strlen(win);
    if (!buffer || size <= n) return n + 1;
    memcpy(buffer, win, n + 1);
    return n;
}

int qzhost_map_drive(char letter, const char *folder, UINT type, const char *label) {
    Drive *d = drive(letter);
    if (!d || !folder || type > DRIVE_RAMDISK) return -1;
    char abs[kHostPath];
    if (folder[0] == '/') {
        if (strlen(folder) >= sizeof abs) return -1;
        strcpy(abs, folder);
    } else {
        char cwd[kHostPath];
        if (!getcwd(cwd, sizeof cwd) || strlen(cwd) + 1 + strlen(folder) >= sizeof abs) return -1;
        size_t c = strlen(cwd);
        memcpy(abs, cwd, c);
        abs[c] = '/';
        strcpy(abs + c + 1, folder);
    }
    size_t n = strlen(abs);
    while (n > 0 && abs[n - 1] == '/') abs[--n] = 0;
    if (label && strlen(label) >= sizeof d->label) return -1;
    memset(d, 0, sizeof *d);
    d->mapped = true;
    d->media = true;
    d->type = type;
    d->serial = 0x5EED0000u + (DWORD)(letterIndex(letter) << 8) + ++g_serials;
    strcpy(d->root, abs);
    if (label) strcpy(d->label, label);
    return 0;
}

int qzhost_unmap_drive(char letter) {
    Drive *d = drive(letter);
    if (!d) return -1;
    memset(d, 0, sizeof *d);
    return 0;
}

int qzhost_set_label(char letter, const char *label) {
    Drive *d = drive(letter);
    if (!d || !d->mapped || (label && strlen(label) >= sizeof d->label)) return -1;
    strcpy(d->label, label ? label : "");
    d->media = true;
    d->serial += 0x10000u;             // a new disk: a new serial number
    return 0;
}

int qzhost_set_media(char letter, int present) {
    Drive *d = drive(letter);
    if (!d || !d->mapped) return -1;
    d->media = present != 0;
    return 0;
}

int qzhost_set_current_drive(char letter) {
    Drive *d = drive(letter);
    if (!d) return -1;
    setCurrentDrive(letter);
    return 0;
}

} // extern "C"
