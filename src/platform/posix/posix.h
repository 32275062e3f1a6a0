/*
 * posix.h -- what the files of the POSIX backend share among themselves.
 *
 * Nothing outside src/platform/posix/ includes this header; the library sees
 * only win32.h, and tests and tools see host.h.
 *
 * All state of the backend is plain static storage (arrays and integers, no
 * constructors or destructors), so that every call stays usable from an ELF
 * destructor while the process exits.  The backend serves one thread at a
 * time, like the library; only the last error is per thread.
 */
#ifndef QZ_PLATFORM_POSIX_POSIX_H
#define QZ_PLATFORM_POSIX_POSIX_H

#include "platform/win32.h"
#include "platform/host.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

namespace qz::posix {

/* ---- errors and faults (errors.cpp) -------------------------------------- */

/* The Win32 error for an errno value. */
DWORD error_from_errno(int e);

/* Sets the last error and returns FALSE, for one-line failure exits. */
BOOL fail(DWORD error);

/* True when the host armed a failure of this call of the named function; the
 * error to report is stored in *error.  Each armed function counts its own
 * calls from the moment it was armed. */
bool call_fails(const char *name, DWORD *error);

/* Every injected fault passes through here (and on to qzhost_fault). */
void injected(const char *what);

void reset_faults();

/* ---- counters (host.cpp) -------------------------------------------------- */

struct Counters {
    unsigned long allocations;   /* allocations made since the reset */
    long          blocks;        /* blocks outstanding (absolute) */
    long long     bytes;         /* bytes outstanding (absolute) */
    long          handles;       /* file and search handles open (absolute) */
    unsigned long reads, writes, pumps, boxes;
    long          blocks_base, handles_base;
    long long     bytes_base;
    long long     bytes_peak;    /* highest bytes outstanding since the reset (absolute) */
};
extern Counters g_counters;

/* Adds to the bytes outstanding and keeps the peak. */
inline void count_bytes(long long delta) {
    g_counters.bytes += delta;
    if (g_counters.bytes > g_counters.bytes_peak) g_counters.bytes_peak = g_counters.bytes;
}

/* ---- code pages (codepage.cpp) -------------------------------------------- */

int  ansi_cp();                          /* 1252 or 932 */
int  oem_cp();                           /* 437 or 932 */
bool is_lead(unsigned char c);           /* lead byte of the ANSI code page */
unsigned char upper(unsigned char c);    /* single-byte upper case (1252 rules) */
unsigned char oem_to_ansi(unsigned char c);
unsigned char ansi_to_oem(unsigned char c);

/* ANSI name <-> UTF-8 name on the file system.  In 932 mode the bytes pass
 * through.  Both return false when the output does not fit. */
bool ansi_to_host(const char *ansi, size_t n, char *out, size_t size);
bool host_to_ansi(const char *utf8, char *out, size_t size);

/* Case-insensitive equality of two ANSI names (multibyte-aware). */
bool same_name(const char *a, const char *b);

void reset_codepage();

/* ---- drives and paths (paths.cpp) ------------------------------------------ */

enum { HOST_PATH = 4096 };

struct Drive {
    bool  mapped;
    bool  media;                 /* false: removable drive without a disk */
    UINT  type;
    DWORD serial;
    char  root[HOST_PATH];       /* host folder, no trailing '/' ("" = "/") */
    char  label[64];
};

Drive *drive(int letter);        /* 'A'..'Z' (any case), else null */
int    current_drive();          /* 'A'..'Z' */
void   set_current_drive(int letter);
void   reset_drives();

/* Result of resolving a Win32 path. */
enum PathState {
    PATH_EXISTS,                 /* host names an existing object */
    PATH_LAST_MISSING,           /* every directory exists, the last name does not */
};

/* Resolves a Win32 path (ANSI) to a host path.  Directories on the way and
 * the last component are looked up case-insensitively (exact match first).
 * Returns 0 and fills host/state, or a Win32 error: ERROR_PATH_NOT_FOUND
 * (a directory on the way is missing, unknown drive), ERROR_INVALID_NAME,
 * ERROR_FILENAME_EXCED_RANGE, ERROR_NOT_READY (removable drive, no disk).
 * With wildcards true the last component may hold '*' and '?'; it is then
 * not looked up but returned in ANSI form in *last (and host names its
 * directory). */
DWORD resolve(const char *path, char *host, size_t size, PathState *state,
              bool wildcards = false, char *last = nullptr, bool *atRoot = nullptr);

/* A host path in the drive form "X:\..." (the drive whose folder holds it,
 * the current drive preferred); false when it does not fit. */
bool host_to_win(const char *host, char *out, size_t size);

/* ---- attributes (attributes.cpp) -------------------------------------------- */

/* Attributes of an existing host object (from stat, the owner write bit and
 * the stored DOS bits); INVALID_FILE_ATTRIBUTES when it is missing. */
DWORD attributes_of(const char *host);
DWORD attributes_from(const char *host, const struct stat &st);

/* Stores HIDDEN, SYSTEM, ARCHIVE and NORMAL of attrs for the object; the
 * other bits are ignored.  fd >= 0 is used when given. */
bool store_dos_bits(const char *host, int fd, DWORD attrs);
void forget_dos_bits(const char *host);
void reset_attributes();

/* ---- handles (handles.cpp) --------------------------------------------------- */

enum SlotKind { SLOT_FREE = 0, SLOT_FILE = 1, SLOT_FIND = 2 };

struct Slot {
    int    kind;
    /* files */
    int    fd;
    DWORD  access;
    DWORD  share;
    dev_t  dev;
    ino_t  ino;
    /* searches */
    WIN32_FIND_DATAA *entries;   /* malloc'd, sorted */
    size_t count;
    size_t next;
};

HANDLE slot_open(int kind, Slot **out);   /* null when the table is full */
Slot  *slot_get(HANDLE h, int kind);      /* null for an unknown handle */
void   slot_close(HANDLE h);
Slot  *slot_at(size_t i);
size_t slot_capacity();
void   reset_handles();

/* Visits every open file slot of the given file. */
template <class F> void each_open_file(dev_t dev, ino_t ino, F f) {
    for (size_t i = 0; i < slot_capacity(); ++i) {
        Slot *s = slot_at(i);
        if (s->kind == SLOT_FILE && s->dev == dev && s->ino == ino) f(*s);
    }
}

/* ---- time (time.cpp) ----------------------------------------------------------- */

uint64_t filetime_of(const struct timespec &ts);
struct timespec timespec_of(uint64_t ft);
void reset_time();

/* ---- memory, messages, temp, volumes ------------------------------------------- */

void reset_memory_faults();
void reset_messages();
void reset_temp();
void reset_io_faults();

/* I/O fault checks used by ReadFile/WriteFile (io_faults in host.cpp). */
DWORD read_limit(DWORD count);           /* count, or fewer for a shortened read */
DWORD write_limit(DWORD count, bool *full);
void  note_written(DWORD n);

} // namespace qz::posix

#endif
