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
// Step 3 starts with the whole path as written, in one lstat: when it is
// there, every component matched exactly, which is what the walk would
// have found.  When only the last name is missing, its folder alone is
// searched; any other failure walks the components one by one.  The
// entries of a searched folder are kept (folderNames) while the folder's
// times say it has not changed and the layer has made or removed nothing.
// A path relative to the process folder stays relative in host form, so
// that no call asks where the process is; only ".." does.
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
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
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

bool invalidChar(unsigned char c, bool wild, bool posix) {
    if (c < 0x20) return true;
    if (posix) return false;
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

// ---- kept folder readings ----
//
// A folder searched without case is read once and kept.  While the kernel
// watches it for this process (inotify), every change to its entries, by
// the layer or by anyone, arrives as an event before the call that made it
// returns; the events are applied to the kept names at each use, and a
// folder that is removed or moved, or an overflowing queue, drops the
// reading.  Where no watch can be had, a reading is used again only when
// the folder has the same times as when it was read and its modification
// time lies well before the reading (any later change of its entries then
// moves that time, even on file systems that keep coarse times); the
// layer's own changes drop such readings.  Either way the path must still
// name the same folder (device and inode).

struct Reading {
    bool   used;
    char   folder[kHostPath];
    dev_t  dev;
    ino_t  ino;
    struct timespec mtime, ctime, taken;
    int    watch;                // inotify watch, or -1
    char  *names;                // each ended by a 0
    FolderEntry *entries;        // count of them
    size_t count, bytes, cap, entryCap;
    int    keyPage;              // the code page the keys were made in
    unsigned long use;
};
enum { kReadings = 4 };
Reading       g_readings[kReadings];
unsigned long g_uses = 0;
int           g_notify = -1;     // the inotify descriptor
bool          g_notifyTried = false;

bool stillValid(const Reading &r, const struct stat &st) {
    if (r.dev != st.st_dev || r.ino != st.st_ino) return false;
    if (r.watch >= 0) return true;
    return sameTime(r.mtime, st.st_mtim) && sameTime(r.ctime, st.st_ctim) && wellBefore(r.mtime, r.taken);
}

void drop(Reading &r) {
    if (r.used && r.watch >= 0) {
        bool shared = false;   // one folder reached by two paths has one watch
        for (const Reading &o : g_readings) {
            if (&o != &r && o.used && o.watch == r.watch) shared = true;
        }
        if (!shared) inotify_rm_watch(g_notify, r.watch);
    }
    free(r.names);
    free(r.entries);
    memset(&r, 0, sizeof r);
    r.watch = -1;
}

void dropAll() {
    for (Reading &r : g_readings) drop(r);
}

// A child of fork shares the parent's inotify queue: it reads its own.
void afterFork() {
    if (g_notify >= 0) close(g_notify);
    g_notify = -1;
    g_notifyTried = false;
    for (Reading &r : g_readings) r.watch = -1;
    dropAll();
}

int notifier() {
    if (!g_notifyTried) {
        static bool registered = false;
        if (!registered) registered = pthread_atfork(nullptr, nullptr, afterFork) == 0;
        g_notifyTried = registered;
        if (registered) g_notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    return g_notify;
}

// The key of a host name: nameKey of its ANSI form, 0 when it has none.
uint32_t hostKey(const char *host) {
    char ansi[MAX_PATH * 2];
    return hostToAnsi(host, ansi, sizeof ansi) ? nameKey(ansi) : 0;
}

// The names of a reading as searches see them.
FolderNames namesOf(const Reading &r) { return {r.names, r.entries, r.count}; }

// The index of the name that is host exactly (key its hostKey), or count.
size_t exactIndex(const FolderNames &f, const char *host, uint32_t key) {
    size_t i = 0;
    while (i < f.count && (f.entries[i].key != key || strcmp(f.name(i), host) != 0)) ++i;
    return i;
}

// The keys follow the code page, which the host may change.
void rekey(Reading &r) {
    if (r.keyPage == ansiCodePage()) return;
    for (size_t i = 0; i < r.count; ++i) r.entries[i].key = hostKey(r.names + r.entries[i].at);
    r.keyPage = ansiCodePage();
}

bool appendName(Reading &r, const char *name, uint32_t key) {
    size_t n = strlen(name) + 1;
    if (r.bytes + n > r.cap) {
        size_t c = r.cap ? r.cap * 2 : 4096;
        while (c < r.bytes + n) c *= 2;
        char *grown = (char *)realloc(r.names, c);
        if (!grown) return false;
        r.names = grown;
        r.cap = c;
    }
    if (r.count == r.entryCap) {
        size_t c = r.entryCap ? r.entryCap * 2 : 256;
        FolderEntry *grown = (FolderEntry *)realloc(r.entries, c * sizeof *grown);
        if (!grown) return false;
        r.entries = grown;
        r.entryCap = c;
    }
    memcpy(r.names + r.bytes, name, n);
    r.entries[r.count++] = {(uint32_t)r.bytes, key};
    r.bytes += n;
    return true;
}

// Adds a name not kept yet (events may repeat what was read).
bool addName(Reading &r, const char *name) {
    rekey(r);
    uint32_t key = hostKey(name);
    return exactIndex(namesOf(r), name, key) < r.count || appendName(r, name, key);
}

void removeName(Reading &r, const char *name) {
    rekey(r);
    size_t i = exactIndex(namesOf(r), name, hostKey(name));
    if (i == r.count) return;
    uint32_t at = r.entries[i].at, n = (uint32_t)strlen(name) + 1;
    memmove(r.names + at, r.names + at + n, r.bytes - at - n);
    r.bytes -= n;
    memmove(r.entries + i, r.entries + i + 1, (r.count - i - 1) * sizeof *r.entries);
    --r.count;
    for (size_t k = i; k < r.count; ++k) r.entries[k].at -= n;
}

// Applies the events waiting for the watched readings.
void applyEvents() {
    if (g_notify < 0) return;
    bool watched = false;
    for (const Reading &r : g_readings) {
        if (r.used && r.watch >= 0) watched = true;
    }
    if (!watched) return;
    alignas(struct inotify_event) char buf[8192];
    for (;;) {
        ssize_t n = read(g_notify, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n < 0 && errno != EAGAIN) dropAll();
            return;
        }
        // Room left for the largest event: the queue was empty.
        bool drained = sizeof buf - (size_t)n >= sizeof(struct inotify_event) + NAME_MAX + 1;
        for (char *p = buf; p < buf + n;) {
            const struct inotify_event *e = (const struct inotify_event *)p;
            p += sizeof *e + e->len;
            if (e->mask & IN_Q_OVERFLOW) {
                dropAll();
                continue;
            }
            for (Reading &r : g_readings) {
                if (!r.used || r.watch != e->wd) continue;
                bool kept = true;
                if (e->mask & (IN_CREATE | IN_MOVED_TO)) kept = e->len > 0 && addName(r, e->name);
                else if (e->mask & (IN_DELETE | IN_MOVED_FROM)) removeName(r, e->name);
                else if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) kept = false;
                if (!kept) drop(r);
            }
        }
        if (drained) return;
    }
}

// Reads the folder into r, watching it first so that no change made while
// it is read is missed; false when it cannot be read.
bool readFolder(Reading &r, const char *host, const struct stat &st) {
    drop(r);
    struct timespec taken = coarseNow();
    int watch = notifier() < 0 ? -1
              : inotify_add_watch(g_notify, host, IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
    DIR *d = opendir(host);
    if (!d) {
        // A watch no reading uses is removed (drop does it for kept ones).
        if (watch >= 0) {
            r.used = true;
            r.watch = watch;
            drop(r);
        }
        return false;
    }
    r.used = true;
    r.watch = watch;
    bool ok = true;
    r.keyPage = ansiCodePage();
    while (struct dirent *e = readdir(d)) {
        if (!appendName(r, e->d_name, hostKey(e->d_name))) { ok = false; break; }
    }
    closedir(d);
    if (!ok) {
        drop(r);
        return false;
    }
    strcpy(r.folder, host);
    r.dev = st.st_dev;
    r.ino = st.st_ino;
    r.mtime = st.st_mtim;
    r.ctime = st.st_ctim;
    r.taken = taken;
    return true;
}

// The first of a folder's names that is name (ANSI) without case, or null.
const char *nameWithoutCase(const FolderNames &f, const char *name) {
    char ansi[MAX_PATH * 2];
    uint32_t key = nameKey(name);
    for (size_t i = 0; i < f.count; ++i) {
        if (f.entries[i].key == key && hostToAnsi(f.name(i), ansi, sizeof ansi) && sameName(ansi, name))
            return f.name(i);
    }
    return nullptr;
}

// The folder's name that is host exactly, or null.
const char *exactName(const FolderNames &f, const char *host) {
    size_t i = exactIndex(f, host, hostKey(host));
    return i < f.count ? f.name(i) : nullptr;
}

// Looks name (ANSI) up in folder host without case; on success the entry's
// own name (host form) is in out.  *st receives the folder's stat.
bool findEntry(const char *host, const char *name, char *out, size_t size, struct stat *st) {
    FolderNames f;
    const char *found = folderNames(*host ? host : "/", &f, st) ? nameWithoutCase(f, name) : nullptr;
    if (!found || strlen(found) >= size) return false;
    strcpy(out, found);
    return true;
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

bool folderNames(const char *host, FolderNames *out, struct stat *st, bool statted, bool current) {
    if (!statted && stat(host, st) != 0) return false;
    if (!S_ISDIR(st->st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    Reading *slot = nullptr;
    for (Reading &r : g_readings) {
        if (r.used && strcmp(r.folder, host) == 0) {
            slot = &r;
            break;
        }
    }
    if (!current) applyEvents();
    if (slot && (!slot->used || !stillValid(*slot, *st))) drop(*slot);
    if (!slot || !slot->used) {
        if (strlen(host) >= sizeof slot->folder) return false;
        if (!slot) {
            slot = &g_readings[0];
            for (Reading &r : g_readings) {
                if (!r.used) { slot = &r; break; }
                if (r.use < slot->use) slot = &r;
            }
        }
        if (!readFolder(*slot, host, *st)) return false;
    }
    rekey(*slot);
    slot->use = ++g_uses;
    *out = namesOf(*slot);
    return true;
}

namespace {

Reading *keptReading(const char *host) {
    for (Reading &r : g_readings) {
        if (r.used && strcmp(r.folder, host) == 0) return &r;
    }
    return nullptr;
}

// The host path of the last name that a search for it as written found
// missing.  Looked up again right after (to create it), it is likely still
// missing: when its folder's reading is watched, the folder is searched
// first, which settles a missing name in one call fewer than trying the
// name as written.  The order changes what the lookup costs, never what it
// finds.
char g_lastMissing[kHostPath];

bool expectMissing(const char *folder, const char *exact) {
    if (strcmp(g_lastMissing, exact) != 0) return false;
    *g_lastMissing = 0;
    const Reading *r = keptReading(folder);
    return r && r->watch >= 0;
}

void noteMissing(const char *exact) {
    strcpy(g_lastMissing, exact);
}

// The folder where the last search for a name as written found nothing (a
// folder being filled, when an extraction asks for each name before
// creating it): the next such search there reads the folder first too.
char g_filling[kHostPath];

bool expectFilling(const char *folder) {
    const Reading *r = strcmp(g_filling, folder) == 0 ? keptReading(folder) : nullptr;
    return r && r->watch >= 0;
}

// Null when a name was found.
void noteFilling(const char *folder) {
    strcpy(g_filling, folder ? folder : "");
}

} // namespace

void forgetFolders() {
    // Watched readings learn of the change from its event.
    for (Reading &r : g_readings) {
        if (r.used && r.watch < 0) drop(r);
    }
}

void resetDrives() {
    dropAll();
    *g_lastMissing = 0;
    *g_filling = 0;
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
// above which ".." does not go (0 for a path without a drive).  With
// relative set the process folder is "." (a relative host path) rather
// than asked for.
DWORD startOf(const char *path, const char **rest, char (&base)[kHostPath], size_t *floor, bool relative) {
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
    if (!letter) {
        if (relative) {
            strcpy(base, ".");
            return 0;
        }
        return processFolder(base, sizeof base) ? 0 : ERROR_PATH_NOT_FOUND;
    }
    Drive *d = drive(letter);
    if (!d || !d->mapped) return ERROR_PATH_NOT_FOUND;
    if (!d->media) return ERROR_NOT_READY;
    if (strlen(d->root) >= sizeof base) return ERROR_FILENAME_EXCED_RANGE;
    strcpy(base, d->root);
    *floor = strlen(base);
    if (!isSep(**rest) && letter == g_current) {
        // Every process folder lies on a drive whose root is "/".
        if (relative && !*d->root) {
            strcpy(base, ".");
            *floor = 0;
            return 0;
        }
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
        while (*p && !isSep(*p)) p += charLength((const unsigned char *)p);
        if (!*p) break;
        *p++ = 0;
    }
    return count;
}

// False when name holds a character that no Win32 name may hold ('*' and
// '?' are allowed in a pattern); the bytes of multibyte characters pass.
bool validName(const char *name, bool pattern) {
    bool posix = posixNames();
    for (const unsigned char *q = (const unsigned char *)name; *q;) {
        size_t len = charLength(q);
        if (len == 1 && invalidChar(*q, pattern, posix)) return false;
        q += len;
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

// Appends a component to a host path that may be the relative start ".".
bool appendPart(char *host, size_t size, const char *name) {
    if (strcmp(host, ".") == 0) {
        if (strlen(name) >= size) return false;
        strcpy(host, name);
        return true;
    }
    return append(host, size, name);
}

bool isLink(const struct stat &st) { return S_ISLNK(st.st_mode); }

// folder + '/' + name into out, where folder may be "." or "/".
bool joinPath(const char *folder, const char *name, char *out, size_t size) {
    int n;
    if (strcmp(folder, ".") == 0) n = snprintf(out, size, "%s", name);
    else if (strcmp(folder, "/") == 0) n = snprintf(out, size, "/%s", name);
    else n = snprintf(out, size, "%s/%s", folder, name);
    return n >= 0 && (size_t)n < size;
}

// A directory by stat (links followed).
bool isFolder(const char *host) {
    struct stat st;
    return stat(host, &st) == 0 && S_ISDIR(st.st_mode);
}

// Step 3, component by component, below host, which holds the start; floor
// as startOf gives it.  When a pattern follows, the last component too must
// be an existing folder; with lastExact the last is looked up only as
// written.
DWORD walk(char *host, size_t size, size_t floor, char *const *parts, int count, bool pattern, bool lastExact,
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
        char folder[kHostPath];
        strcpy(folder, host);
        if (!appendPart(host, size, name)) return ERROR_FILENAME_EXCED_RANGE;
        struct stat st;
        if (lstat(host, &st) != 0) {
            char real[kHostPath];
            if (!posixNames() && !(isLast && lastExact) && findEntry(folder, c, real, sizeof real, &st)) {
                if (!joinPath(*folder ? folder : "/", real, host, size)) return ERROR_FILENAME_EXCED_RANGE;
            } else {
                if (!isLast || pattern) return ERROR_PATH_NOT_FOUND;
                *state = kPathLastMissing;
                continue;
            }
        }
        if ((!isLast || pattern) && !isFolder(host)) return ERROR_PATH_NOT_FOUND;
    }
    return 0;
}

} // namespace

void folderOf(const char *host, char *out) {
    const char *slash = strrchr(host, '/');
    if (!slash) {
        strcpy(out, ".");
    } else if (slash == host) {
        strcpy(out, "/");
    } else {
        memcpy(out, host, (size_t)(slash - host));
        out[slash - host] = 0;
    }
}

namespace {

// Step 3 for a path without "..": the path as written in one lstat, then
// the folder of a missing last name; 0 with *done false when neither
// settles it and the walk must decide.  real counts the name components
// (not ".").
DWORD direct(char *host, size_t size, char *const *parts, int count, int real, bool pattern, bool lastExact,
             PathState *state, struct stat *st, bool *statted, struct stat *folderSt, bool *folderStatted,
             bool *folderRead, bool *done) {
    *done = false;
    char exact[kHostPath];
    strcpy(exact, host);
    for (int i = 0; i < count; ++i) {
        if (strcmp(parts[i], ".") == 0) continue;
        char name[kHostPath];
        if (!ansiToHost(parts[i], strlen(parts[i]), name, sizeof name)) return ERROR_FILENAME_EXCED_RANGE;
        if (!appendPart(exact, sizeof exact, name)) return ERROR_FILENAME_EXCED_RANGE;
    }
    if (strlen(exact) >= size) return ERROR_FILENAME_EXCED_RANGE;
    if (real == 0) {
        // The start alone: it is not looked at, as by the walk.
        *state = kPathExists;
        *done = true;
        return 0;
    }
    char *slash = strrchr(exact, '/');
    char folder[kHostPath];
    folderOf(exact, folder);
    // A name as written must be looked up exactly alone; others without case.
    bool searchFirst = !posixNames() && !pattern && real > 1 && strcmp(parts[count - 1], ".") != 0 &&
                       (lastExact ? expectFilling(folder) : expectMissing(folder, exact));
    if (searchFirst) {
        struct stat fst;
        FolderNames f;
        if (folderNames(folder, &f, &fst)) {
            // The name as written wins over names that differ from it in case.
            const char *found = exactName(f, slash ? slash + 1 : exact);
            if (!found && !lastExact) found = nameWithoutCase(f, parts[count - 1]);
            *done = true;
            if (!found) {
                strcpy(host, exact);
                *state = kPathLastMissing;
                if (lastExact) {
                    noteMissing(exact);
                    *folderSt = fst;
                    *folderStatted = true;
                    *folderRead = true;
                }
                return 0;
            }
            if (lastExact) noteFilling(nullptr);
            if (!joinPath(folder, found, host, size)) return ERROR_FILENAME_EXCED_RANGE;
            *state = kPathExists;
            *statted = lstat(host, st) == 0;
            return 0;
        }
    }
    if (lstat(exact, st) == 0) {
        // Before a pattern the last component must be a folder.
        if (pattern && !S_ISDIR(st->st_mode) && !(isLink(*st) && isFolder(exact)))
            return ERROR_PATH_NOT_FOUND;
        strcpy(host, exact);
        *state = kPathExists;
        *statted = true;
        *done = true;
        return 0;
    }
    if (errno == ENOTDIR) {
        *done = true;
        return ERROR_PATH_NOT_FOUND;
    }
    // Only a missing last name (not ".") is settled here.
    if (errno != ENOENT || pattern || strcmp(parts[count - 1], ".") == 0) return 0;
    if (lastExact) noteMissing(exact);
    // The start itself is not looked at, as by the walk.
    bool atStart = real == 1;
    struct stat fst;
    if (posixNames() || lastExact) {
        if (!atStart && stat(folder, &fst) != 0) {
            // Without POSIX names a folder on the way may differ in case.
            if (!posixNames() || (errno != ENOENT && errno != ENOTDIR)) return 0;
            *done = true;
            return ERROR_PATH_NOT_FOUND;
        }
        if (!atStart && !S_ISDIR(fst.st_mode)) {
            *done = true;
            return ERROR_PATH_NOT_FOUND;
        }
        *folderSt = fst;
        *folderStatted = !atStart;
        if (lastExact && !posixNames() && !atStart) noteFilling(folder);
    } else {
        FolderNames f;
        bool read = folderNames(folder, &f, &fst);
        if (!read && !atStart) return 0;
        if (const char *found = read ? nameWithoutCase(f, parts[count - 1]) : nullptr) {
            if (!joinPath(folder, found, host, size)) return ERROR_FILENAME_EXCED_RANGE;
            *state = kPathExists;
            *statted = lstat(host, st) == 0;
            *done = true;
            return 0;
        }
    }
    strcpy(host, exact);
    *state = kPathLastMissing;
    *done = true;
    return 0;
}

// Steps 1 and 2 for a Win32 path: where it starts and its components.
struct Parts {
    char copy[MAX_PATH];
    char *parts[MAX_PATH];
    const char *rest;
    char base[kHostPath];
    size_t floor;
    int count;
};

DWORD splitWinPath(const char *path, Parts &p) {
    if (!path || !*path) return ERROR_PATH_NOT_FOUND;
    if (strlen(path) >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    ready();
    if (DWORD error = startOf(path, &p.rest, p.base, &p.floor, true)) return error;
    p.count = splitComponents(p.rest, p.copy, p.parts);
    return 0;
}

} // namespace

DWORD resolve(const char *path, char *host, size_t size, PathState *state, Lookup &how) {
    how.statted = false;
    how.entry = false;
    how.folderStatted = false;
    how.folderRead = false;
    Parts split;
    if (DWORD error = splitWinPath(path, split)) return error;
    size_t len = strlen(path);
    char **parts = split.parts;
    char (&base)[kHostPath] = split.base;
    const char *rest = split.rest;
    size_t floor = split.floor;
    int count = split.count;
    // In wildcard mode the last component is whatever follows the last
    // separator, possibly nothing.
    const char *pattern = nullptr;
    if (how.wildcards) {
        if (count > 0 && !isSep(path[len - 1])) pattern = parts[--count];
        else pattern = "";
    }
    if (!trimComponents(parts, count) || (pattern && !validName(pattern, true))) return ERROR_INVALID_NAME;
    // A plain name as the pattern is looked up as the last component.
    bool lastExact = false;
    char plain[MAX_PATH];
    bool plainName = pattern && !strchr(pattern, '*') && !strchr(pattern, '?') && strcmp(pattern, ".") != 0 &&
                     strcmp(pattern, "..") != 0;
    if (how.plainEntry && plainName) {
        strcpy(plain, pattern);
        size_t n = strlen(plain);
        while (n > 0 && (plain[n - 1] == '.' || plain[n - 1] == ' ')) plain[--n] = 0;
        if (n > 0) {
            parts[count++] = plain;
            pattern = nullptr;
            lastExact = true;
            how.entry = true;
        }
    }
    int real = 0;
    bool climbs = false;
    for (int i = 0; i < count; ++i) {
        if (strcmp(parts[i], "..") == 0) climbs = true;
        else if (strcmp(parts[i], ".") != 0) ++real;
    }
    // ".." is followed name by name from an absolute start, as it always was.
    if (climbs && strcmp(base, ".") == 0) {
        if (DWORD error = startOf(path, &rest, base, &floor, false)) return error;
    }
    if (strlen(base) >= size) return ERROR_FILENAME_EXCED_RANGE;
    strcpy(host, base);

    struct stat own;
    struct stat *st = how.st ? how.st : &own;
    bool done = false;
    if (!climbs) {
        if (DWORD error = direct(host, size, parts, count, real, pattern != nullptr, lastExact, state, st,
                                 &how.statted, &how.folder, &how.folderStatted, &how.folderRead, &done))
            return error;
    }
    if (!done) {
        DWORD error = walk(host, size, floor, parts, count, pattern != nullptr, lastExact, state);
        if (error) return error;
    }

    if (!*host) strcpy(host, "/");
    if (pattern && how.last) strcpy(how.last, pattern);
    if (how.entry && how.last) strcpy(how.last, plain);
    if (how.atRoot && !how.entry) {
        char abs[kHostPath];
        const char *where = host;
        if (*host != '/') {
            // Relative: the process folder tells whether it is a root.
            char cwd[kHostPath];
            if (!processFolder(cwd, sizeof cwd)) return ERROR_PATH_NOT_FOUND;
            if (strcmp(host, ".") == 0) snprintf(abs, sizeof abs, "%s", *cwd ? cwd : "/");
            else snprintf(abs, sizeof abs, "%s/%s", cwd, host);
            where = abs;
        }
        *how.atRoot = strcmp(where, "/") == 0;
        for (const Drive &d : g_drives) {
            if (d.mapped && *d.root && strcmp(d.root, where) == 0) *how.atRoot = true;
        }
    }
    return 0;
}

DWORD exactHostPath(const char *path, char *host, size_t size) {
    Parts split;
    if (DWORD error = splitWinPath(path, split)) return error;
    char **parts = split.parts;
    const char *base = split.base;
    int count = split.count;
    if (!trimComponents(parts, count)) return ERROR_INVALID_NAME;
    if (count == 0 || strcmp(parts[count - 1], ".") == 0) return ERROR_INVALID_FUNCTION;
    if (strlen(base) >= size) return ERROR_FILENAME_EXCED_RANGE;
    strcpy(host, base);
    for (int i = 0; i < count; ++i) {
        if (strcmp(parts[i], "..") == 0) return ERROR_INVALID_FUNCTION;
        if (strcmp(parts[i], ".") == 0) continue;
        char name[kHostPath];
        if (!ansiToHost(parts[i], strlen(parts[i]), name, sizeof name) || !appendPart(host, size, name))
            return ERROR_FILENAME_EXCED_RANGE;
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
