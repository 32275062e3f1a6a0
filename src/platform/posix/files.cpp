// files.cpp -- opening, reading, writing, positioning and closing files,
// deleting them, making folders, and file times.
//
// Windows behaviour reproduced here (see win32.h for each call):
//   - share modes between the handles of this process: a new open must
//     allow the access of every open handle of the file and ask only for
//     what they allow (ERROR_SHARING_VIOLATION); deleting needs
//     FILE_SHARE_DELETE from every open handle;
//   - the read-only attribute (owner write bit clear) refuses writing
//     access, CREATE_ALWAYS, TRUNCATE_EXISTING and deletion with
//     ERROR_ACCESS_DENIED, whoever runs the process;
//   - replacing a hidden or system file needs those bits in the request;
//   - the access rights of a handle are checked by every call that needs
//     them.
// In the extension mode with Unix modes a file opened for writing, or one
// that may be created, is never reached through a symbolic link as the last
// component of its path: such a link is refused with ERROR_ACCESS_DENIED.
//
// System calls are spent sparingly: a handle keeps its own file position
// (pread and pwrite, no lseek); a handle that does not write reads ahead
// into two windows (one for each of two places read by turns, such as a
// central directory and the entries it points to), as long as no handle
// of this process writes the file; with POSIX names a new file or folder
// is made at once, its open or mkdir telling whether it was there; the
// identity of a new file (device and inode, for share modes) is asked for
// only when another open needs it; the handle of a new file remembers the
// bits stored for it and that its mode is the umask's, for attributes and
// modes given through the handle (extensions.cpp).
#include "platform/posix/posix.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz::posix;

namespace {

bool shareConflict(const Slot &open, DWORD access, DWORD share) {
    if ((access & GENERIC_READ) && !(open.share & FILE_SHARE_READ)) return true;
    if ((access & GENERIC_WRITE) && !(open.share & FILE_SHARE_WRITE)) return true;
    if ((open.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
    if ((open.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
    return false;
}

bool openConflicts(const struct stat &st, DWORD access, DWORD share) {
    bool conflict = false;
    eachOpenFile(st.st_dev, st.st_ino, [&](const Slot &s) {
        if (shareConflict(s, access, share)) conflict = true;
    });
    return conflict;
}

bool openWithoutShareDelete(const struct stat &st) {
    bool found = false;
    eachOpenFile(st.st_dev, st.st_ino, [&](const Slot &s) {
        if (!(s.share & FILE_SHARE_DELETE)) found = true;
    });
    return found;
}

HANDLE failHandle(DWORD error) {
    fail(error);
    return INVALID_HANDLE_VALUE;
}

const DWORD kCreatedBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE;

enum : size_t { kWindow = 64 * 1024 };

void dropWindows(Slot &s) {
    free(s.window);
    s.window = nullptr;
    s.windowBytes[0] = s.windowBytes[1] = 0;
}

// Handles that write a file and handles that read it ahead exclude each
// other: a handle opened with write access ends the windows of the others
// and keeps them from opening new ones.
void shareWithWriters(const struct stat &st, Slot &slot) {
    eachOpenFile(st.st_dev, st.st_ino, [&](Slot &other) {
        if (&other == &slot) return;
        if (slot.access & GENERIC_WRITE) {
            dropWindows(other);
            other.noWindow = true;
        }
        if (other.access & GENERIC_WRITE) slot.noWindow = true;
    });
}

// Opens a new file for the handle without looking first: with POSIX names
// the name is taken as written, and O_EXCL says whether it was there.
// Returns the descriptor, -1 with *error set to the answer, or -1 with
// *error 0 when the ordinary way must decide (the file exists, or the path
// needs a look).
int createAtOnce(const char *name, char *host, size_t size, DWORD access, DWORD disposition, bool guarded,
                 DWORD *error) {
    *error = 0;
    if (!posixNames() || disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) return -1;
    if (exactHostPath(name, host, size) != 0) return -1;
    bool writes = (access & GENERIC_WRITE) != 0;
    int oflags = O_CLOEXEC | O_CREAT | O_EXCL | ((writes && !(access & GENERIC_READ)) ? O_WRONLY : O_RDWR);
    if (guarded) oflags |= O_NOFOLLOW;
    int fd = open(host, oflags, 0666);
    if (fd >= 0) return fd;
    if (errno == ENOENT || errno == ENOTDIR) *error = ERROR_PATH_NOT_FOUND;
    return -1;
}

// Reads count bytes at the handle's position through its windows; false
// with errno set when the file cannot be read.
bool readAhead(Slot &s, char *buffer, DWORD count, DWORD *done) {
    *done = 0;
    for (int i = 0; i < 2; ++i) {
        int64_t at = s.pos - s.windowAt[i];
        if (s.window && at >= 0 && at < (int64_t)s.windowBytes[i]) {
            size_t n = s.windowBytes[i] - (size_t)at;
            if (n >= count || s.windowBytes[i] < kWindow) {
                // All of it, or all the file has from here.
                if (n > count) n = count;
                memcpy(buffer, s.window + i * kWindow + at, n);
                *done = (DWORD)n;
                s.lastWindow = i;
                return true;
            }
        }
    }
    if (!s.window) s.window = (char *)malloc(2 * kWindow);
    if (!s.window) return false;
    int i = 1 - s.lastWindow;
    ssize_t n;
    do {
        n = pread(s.fd, s.window + i * kWindow, kWindow, s.pos);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        s.windowBytes[i] = 0;
        return false;
    }
    s.windowAt[i] = s.pos;
    s.windowBytes[i] = (size_t)n;
    s.lastWindow = i;
    size_t take = (size_t)n < count ? (size_t)n : count;
    memcpy(buffer, s.window + i * kWindow, take);
    *done = (DWORD)take;
    return true;
}

} // namespace

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
    (void)security;
    (void)templateFile;
    DWORD error;
    if (callFails(QZHOST_CreateFileA, &error)) return failHandle(error);
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return failHandle(ERROR_INVALID_PARAMETER);
    if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) return failHandle(ERROR_INVALID_PARAMETER);

    bool writes = (access & GENERIC_WRITE) != 0;
    bool guarded = noFollow() && (writes || disposition != OPEN_EXISTING);
    char host[kHostPath];
    struct stat st;
    bool exists = false;
    DWORD attrs = 0;
    int fd = createAtOnce(name, host, sizeof host, access, disposition, guarded, &error);
    if (error) return failHandle(error);
    if (fd < 0) {
        PathState state;
        Lookup how;
        how.st = &st;
        if (DWORD e = resolve(name, host, sizeof host, &state, how)) return failHandle(e);
        if (state == kPathExists && !how.statted && lstat(host, &st) != 0) state = kPathLastMissing;
        if (state == kPathExists) {
            if (S_ISLNK(st.st_mode)) {
                if (guarded) return failHandle(ERROR_ACCESS_DENIED);
                if (stat(host, &st) != 0) return failHandle(ERROR_FILE_NOT_FOUND);   // dangling link
            }
            exists = true;
        }
        bool replaces = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
        if (exists) {
            if (S_ISDIR(st.st_mode)) return failHandle(ERROR_ACCESS_DENIED);
            if (disposition == CREATE_NEW) return failHandle(ERROR_FILE_EXISTS);
            attrs = modeAttributes(st);
            if ((attrs & FILE_ATTRIBUTE_READONLY) && (writes || replaces))
                return failHandle(ERROR_ACCESS_DENIED);
            if (disposition == CREATE_ALWAYS) {
                // Only replacing looks at the stored bits: hidden and system
                // must be asked for, and the bits carry over.
                attrs = attributesFrom(host, st);
                DWORD hs = attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
                if ((hs & flags) != hs) return failHandle(ERROR_ACCESS_DENIED);
            }
            if (openConflicts(st, access, share)) return failHandle(ERROR_SHARING_VIOLATION);
        } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
            return failHandle(ERROR_FILE_NOT_FOUND);
        }

        int oflags = O_CLOEXEC | (writes ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY);
        if (replaces && exists) oflags |= O_TRUNC;
        if (!exists) oflags |= O_CREAT | O_EXCL;
        if (guarded) oflags |= O_NOFOLLOW;
        // Opening for writing needs the permission bits even for a file that
        // is about to be created read-only: create it writable, then fix it.
        if ((oflags & O_ACCMODE) == O_RDONLY && !exists) oflags = (oflags & ~O_ACCMODE) | O_RDWR;
        fd = open(host, oflags, 0666);
        if (fd < 0)
            return failHandle(guarded && errno == ELOOP ? ERROR_ACCESS_DENIED : errorFromErrno(errno));
    }
    if (!exists) forgetFolders();
    DWORD bits = 0;
    bool stored = false;
    if (!exists || disposition == CREATE_ALWAYS) {
        bits = ((exists ? attrs : 0) | (flags & kCreatedBits) | FILE_ATTRIBUTE_ARCHIVE) &
               ~FILE_ATTRIBUTE_READONLY;
        stored = storeDosBits(host, fd, bits);
        if (flags & FILE_ATTRIBUTE_READONLY) {
            struct stat now;
            if (fstat(fd, &now) == 0) fchmod(fd, now.st_mode & 07555);
        }
    }
    Slot *slot;
    HANDLE h = slotOpen(kSlotFile, &slot);
    if (!h) {
        close(fd);
        return failHandle(ERROR_TOO_MANY_OPEN_FILES);
    }
    slot->fd = fd;
    slot->access = access & (GENERIC_READ | GENERIC_WRITE);
    slot->share = share;
    slot->created = !exists && !(flags & FILE_ATTRIBUTE_READONLY);
    slot->dosKnown = stored;
    slot->dosBits = dosBitsOf(bits);
    slot->knownAt = g_attributeChanges;
    // A file that was there has its identity; a new one is asked for it
    // only when another open needs it.
    if (exists) {
        slot->dev = st.st_dev;
        slot->ino = st.st_ino;
        slot->known = true;
        shareWithWriters(st, *slot);
    }
    SetLastError(exists && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                       : ERROR_SUCCESS);
    return h;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) {
    (void)overlapped;
    if (read) *read = 0;
    DWORD error;
    if (callFails(QZHOST_ReadFile, &error)) { ++g_counters.reads; return fail(error); }
    Slot *s = slotGet(file, kSlotFile);
    if (!s) { ++g_counters.reads; return fail(ERROR_INVALID_HANDLE); }
    if (!(s->access & GENERIC_READ)) { ++g_counters.reads; return fail(ERROR_ACCESS_DENIED); }
    if (!read) { ++g_counters.reads; return fail(ERROR_INVALID_PARAMETER); }
    DWORD want = readLimit(count), done = 0;
    bool windowed = !(s->access & GENERIC_WRITE) && !s->noWindow && want < kWindow / 2;
    while (done < want) {
        ssize_t n;
        if (windowed) {
            DWORD got;
            n = readAhead(*s, (char *)buffer + done, want - done, &got) ? (ssize_t)got : -1;
        } else {
            n = pread(s->fd, (char *)buffer + done, want - done, s->pos);
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            *read = done;
            return fail(errorFromErrno(errno) == ERROR_INVALID_FUNCTION ? ERROR_READ_FAULT : errorFromErrno(errno));
        }
        if (n == 0) break;
        done += (DWORD)n;
        s->pos += n;
    }
    *read = done;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
    (void)overlapped;
    if (written) *written = 0;
    DWORD error;
    if (callFails(QZHOST_WriteFile, &error)) { ++g_counters.writes; return fail(error); }
    Slot *s = slotGet(file, kSlotFile);
    if (!s) { ++g_counters.writes; return fail(ERROR_INVALID_HANDLE); }
    if (!(s->access & GENERIC_WRITE)) { ++g_counters.writes; return fail(ERROR_ACCESS_DENIED); }
    if (!written) { ++g_counters.writes; return fail(ERROR_INVALID_PARAMETER); }
    bool full;
    DWORD want = writeLimit(count, &full), done = 0;
    while (done < want) {
        ssize_t n = pwrite(s->fd, (const char *)buffer + done, want - done, s->pos);
        if (n < 0) {
            if (errno == EINTR) continue;
            *written = done;
            noteWritten(done);
            return fail(errno == ENOSPC ? ERROR_DISK_FULL : errorFromErrno(errno));
        }
        done += (DWORD)n;
        s->pos += n;
    }
    *written = done;
    noteWritten(done);
    if (full) return fail(ERROR_DISK_FULL);
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    DWORD error;
    if (callFails(QZHOST_SetFilePointer, &error)) { fail(error); return INVALID_SET_FILE_POINTER; }
    Slot *s = slotGet(file, kSlotFile);
    if (!s) { fail(ERROR_INVALID_HANDLE); return INVALID_SET_FILE_POINTER; }
    int64_t move = distanceHigh ? (int64_t)(((uint64_t)(uint32_t)*distanceHigh << 32) | (uint32_t)distance)
                                : (int64_t)distance;
    int64_t from;
    switch (method) {
    case FILE_BEGIN:   from = 0; break;
    case FILE_CURRENT: from = s->pos; break;
    case FILE_END: {
        struct stat st;
        from = fstat(s->fd, &st) == 0 ? st.st_size : -1;
        break;
    }
    default: fail(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER;
    }
    if (from < 0) { fail(errorFromErrno(errno)); return INVALID_SET_FILE_POINTER; }
    int64_t to = from + move;
    if (to < 0) { fail(ERROR_NEGATIVE_SEEK); return INVALID_SET_FILE_POINTER; }
    if (!distanceHigh && to > 0xFFFFFFFELL) { fail(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER; }
    s->pos = to;
    if (distanceHigh) *distanceHigh = (LONG)(to >> 32);
    SetLastError(ERROR_SUCCESS);
    return (DWORD)to;
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD high) {
    DWORD error;
    if (callFails(QZHOST_GetFileSize, &error)) { fail(error); return INVALID_FILE_SIZE; }
    Slot *s = slotGet(file, kSlotFile);
    if (!s) { fail(ERROR_INVALID_HANDLE); return INVALID_FILE_SIZE; }
    struct stat st;
    if (fstat(s->fd, &st) != 0) { fail(errorFromErrno(errno)); return INVALID_FILE_SIZE; }
    if (high) *high = (DWORD)((uint64_t)st.st_size >> 32);
    SetLastError(ERROR_SUCCESS);
    return (DWORD)st.st_size;
}

BOOL WINAPI SetEndOfFile(HANDLE file) {
    DWORD error;
    if (callFails(QZHOST_SetEndOfFile, &error)) return fail(error);
    Slot *s = slotGet(file, kSlotFile);
    if (!s) return fail(ERROR_INVALID_HANDLE);
    if (!(s->access & GENERIC_WRITE)) return fail(ERROR_ACCESS_DENIED);
    if (ftruncate(s->fd, s->pos) != 0) return fail(errno == ENOSPC ? ERROR_DISK_FULL : errorFromErrno(errno));
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object) {
    DWORD error;
    if (callFails(QZHOST_CloseHandle, &error)) return fail(error);
    if (!slotGet(object, kSlotFile)) return fail(ERROR_INVALID_HANDLE);
    slotClose(object);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
    DWORD error;
    if (callFails(QZHOST_DeleteFileA, &error)) return fail(error);
    char host[kHostPath];
    PathState state;
    struct stat st;
    Lookup how;
    how.st = &st;
    if (DWORD e = resolve(name, host, sizeof host, &state, how)) return fail(e);
    if (state != kPathExists || (!how.statted && lstat(host, &st) != 0)) return fail(ERROR_FILE_NOT_FOUND);
    if (S_ISDIR(st.st_mode)) return fail(ERROR_ACCESS_DENIED);
    if (!S_ISLNK(st.st_mode)) {
        if (modeAttributes(st) & FILE_ATTRIBUTE_READONLY) return fail(ERROR_ACCESS_DENIED);
        if (openWithoutShareDelete(st)) return fail(ERROR_SHARING_VIOLATION);
    }
    forgetDosBits(st);
    forgetFolders();
    if (unlink(host) != 0) return fail(errorFromErrno(errno));
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES security) {
    (void)security;
    DWORD error;
    if (callFails(QZHOST_CreateDirectoryA, &error)) return fail(error);
    char host[kHostPath];
    forgetFolders();
    // With POSIX names the name is taken as written: mkdir says whether it
    // was there.
    if (posixNames() && exactHostPath(name, host, sizeof host) == 0) {
        if (mkdir(host, 0777) == 0) return TRUE;
        if (errno == EEXIST) return fail(ERROR_ALREADY_EXISTS);
        if (errno == ENOENT || errno == ENOTDIR) return fail(ERROR_PATH_NOT_FOUND);
    }
    PathState state;
    if (DWORD e = resolve(name, host, sizeof host, &state)) return fail(e);
    if (state == kPathExists) return fail(ERROR_ALREADY_EXISTS);
    if (mkdir(host, 0777) != 0) return fail(errorFromErrno(errno));
    return TRUE;
}

BOOL WINAPI SetFileTime(HANDLE file, const FILETIME *creation, const FILETIME *lastAccess,
                        const FILETIME *lastWrite) {
    (void)creation;   // a POSIX file system keeps no settable creation time
    DWORD error;
    if (callFails(QZHOST_SetFileTime, &error)) return fail(error);
    Slot *s = slotGet(file, kSlotFile);
    if (!s) return fail(ERROR_INVALID_HANDLE);
    if (!(s->access & GENERIC_WRITE)) return fail(ERROR_ACCESS_DENIED);
    struct timespec ts[2];
    const FILETIME *given[2] = {lastAccess, lastWrite};
    for (int i = 0; i < 2; ++i) {
        // A null pointer or a zero time leaves that time alone.
        if (!given[i] || (given[i]->dwLowDateTime == 0 && given[i]->dwHighDateTime == 0)) {
            ts[i].tv_sec = 0;
            ts[i].tv_nsec = UTIME_OMIT;
        } else {
            ts[i] = timespecOf(((uint64_t)given[i]->dwHighDateTime << 32) | given[i]->dwLowDateTime);
        }
    }
    if (futimens(s->fd, ts) != 0) return fail(errorFromErrno(errno));
    return TRUE;
}

BOOL WINAPI GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME lastAccess, LPFILETIME lastWrite) {
    Slot *s = slotGet(file, kSlotFile);
    if (!s) return fail(ERROR_INVALID_HANDLE);
    struct stat st;
    if (fstat(s->fd, &st) != 0) return fail(errorFromErrno(errno));
    // The status-change time stands in for the creation time: it is when
    // the file came into this folder or was last stamped.
    const struct timespec *src[3] = {&st.st_ctim, &st.st_atim, &st.st_mtim};
    LPFILETIME dst[3] = {creation, lastAccess, lastWrite};
    for (int i = 0; i < 3; ++i) {
        if (!dst[i]) continue;
        uint64_t t = filetimeOf(*src[i]);
        dst[i]->dwLowDateTime = (DWORD)t;
        dst[i]->dwHighDateTime = (DWORD)(t >> 32);
    }
    return TRUE;
}

} // extern "C"
