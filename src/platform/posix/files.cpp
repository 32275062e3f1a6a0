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

    char host[kHostPath];
    PathState state;
    if (DWORD e = resolve(name, host, sizeof host, &state)) return failHandle(e);

    struct stat st;
    bool writes = (access & GENERIC_WRITE) != 0;
    bool guarded = noFollow() && (writes || disposition != OPEN_EXISTING);
    if (guarded && state == kPathExists && lstat(host, &st) == 0 && S_ISLNK(st.st_mode))
        return failHandle(ERROR_ACCESS_DENIED);
    bool exists = state == kPathExists && stat(host, &st) == 0;
    if (!exists && state == kPathExists && lstat(host, &st) == 0) return failHandle(ERROR_FILE_NOT_FOUND); // dangling link
    DWORD attrs = exists ? attributesFrom(host, st) : 0;
    bool replaces = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;

    if (exists) {
        if (S_ISDIR(st.st_mode)) return failHandle(ERROR_ACCESS_DENIED);
        if (disposition == CREATE_NEW) return failHandle(ERROR_FILE_EXISTS);
        if ((attrs & FILE_ATTRIBUTE_READONLY) && (writes || replaces)) return failHandle(ERROR_ACCESS_DENIED);
        if (disposition == CREATE_ALWAYS) {
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
    int fd = open(host, (oflags & O_ACCMODE) == O_RDONLY && !exists ? (oflags & ~O_ACCMODE) | O_RDWR : oflags, 0666);
    if (fd < 0) return failHandle(guarded && errno == ELOOP ? ERROR_ACCESS_DENIED : errorFromErrno(errno));
    if (!exists || disposition == CREATE_ALWAYS) {
        DWORD bits = ((exists ? attrs : 0) | (flags & kCreatedBits) | FILE_ATTRIBUTE_ARCHIVE) & ~FILE_ATTRIBUTE_READONLY;
        storeDosBits(host, fd, bits);
        if (flags & FILE_ATTRIBUTE_READONLY) {
            struct stat now;
            if (fstat(fd, &now) == 0) fchmod(fd, now.st_mode & 07555);
        }
    }
    if (fstat(fd, &st) != 0) {
        close(fd);
        return failHandle(errorFromErrno(errno));
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
    slot->dev = st.st_dev;
    slot->ino = st.st_ino;
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
    while (done < want) {
        ssize_t n = ::read(s->fd, (char *)buffer + done, want - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            *read = done;
            return fail(errorFromErrno(errno) == ERROR_INVALID_FUNCTION ? ERROR_READ_FAULT : errorFromErrno(errno));
        }
        if (n == 0) break;
        done += (DWORD)n;
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
        ssize_t n = ::write(s->fd, (const char *)buffer + done, want - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            *written = done;
            noteWritten(done);
            return fail(errno == ENOSPC ? ERROR_DISK_FULL : errorFromErrno(errno));
        }
        done += (DWORD)n;
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
    case FILE_CURRENT: from = lseek(s->fd, 0, SEEK_CUR); break;
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
    if (lseek(s->fd, to, SEEK_SET) < 0) { fail(errorFromErrno(errno)); return INVALID_SET_FILE_POINTER; }
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
    off_t at = lseek(s->fd, 0, SEEK_CUR);
    if (at < 0 || ftruncate(s->fd, at) != 0) return fail(errno == ENOSPC ? ERROR_DISK_FULL : errorFromErrno(errno));
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
    if (DWORD e = resolve(name, host, sizeof host, &state)) return fail(e);
    struct stat st;
    if (state != kPathExists || lstat(host, &st) != 0) return fail(ERROR_FILE_NOT_FOUND);
    if (S_ISDIR(st.st_mode)) return fail(ERROR_ACCESS_DENIED);
    if (!S_ISLNK(st.st_mode)) {
        if (attributesFrom(host, st) & FILE_ATTRIBUTE_READONLY) return fail(ERROR_ACCESS_DENIED);
        if (openWithoutShareDelete(st)) return fail(ERROR_SHARING_VIOLATION);
    }
    forgetDosBits(host);
    if (unlink(host) != 0) return fail(errorFromErrno(errno));
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES security) {
    (void)security;
    DWORD error;
    if (callFails(QZHOST_CreateDirectoryA, &error)) return fail(error);
    char host[kHostPath];
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
