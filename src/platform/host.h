/*
 * host.h -- the control side of the POSIX platform layer (POSIX only).
 *
 * Tests and tools use these calls to set up the world the library sees
 * through win32.h: simulated drives with types and labels, the code pages,
 * the temporary folder, the answers of message boxes, the message pump, the
 * clock, and injected faults.  The library itself never includes this file.
 *
 * Every setting lasts until changed or until qzhost_reset().  Counters of
 * calls count from the last qzhost_reset_counters(); counts of things
 * outstanding (blocks, bytes, handles) are reported both absolutely and
 * relative to the reset, so that a test can check that a call left nothing
 * behind.
 */
#ifndef QZ_PLATFORM_HOST_H
#define QZ_PLATFORM_HOST_H

#if defined(_WIN32)
#error "host.h is the control side of the POSIX layer; it has no Windows form"
#endif

#include "platform/win32.h"

/* The controls stay visible in the shared library too, so that a tool
 * loading it can set up drives and answers. */
#define QZHOST_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* ---- everything ------------------------------------------------------------- */

/* Back to the defaults: drive C: is "/" (fixed, no label) and current,
 * code pages 1252/437, temporary folder from TMPDIR or /tmp, no responder,
 * no pump hook, real clock, process time zone, no faults, the extension
 * mode off; counters reset.  Open handles and blocks are left alone. */
QZHOST_API void qzhost_reset(void);

/* ---- drives ----------------------------------------------------------------- */

/* Maps drive letter (A-Z) to a host folder with a type (DRIVE_FIXED,
 * DRIVE_REMOVABLE, ...) and a volume label (null = none).  Returns 0, or -1
 * for a bad letter, a folder that is too long or a type out of range. */
QZHOST_API int  qzhost_map_drive(char letter, const char *folder, UINT type, const char *label);
/* Removes the mapping; the drive then reports DRIVE_NO_ROOT_DIR. */
QZHOST_API int  qzhost_unmap_drive(char letter);
/* Sets the label of a mapped drive ("insert a disk" with that label). */
QZHOST_API int  qzhost_set_label(char letter, const char *label);
/* Removes (present 0) or inserts (present 1) the disk of a removable drive;
 * without a disk, its files and its label give ERROR_NOT_READY. */
QZHOST_API int  qzhost_set_media(char letter, int present);
/* The current drive (paths beginning with a separator use its root). */
QZHOST_API int  qzhost_set_current_drive(char letter);

/* ---- code pages -------------------------------------------------------------- */

/* 1252 (ANSI 1252, OEM 437: the default) or 932 (both Shift-JIS: lead
 * bytes 0x81-0x9F and 0xE0-0xFC; OEM and ANSI are the same, conversions
 * copy; names pass to the file system unchanged).  -1 for other values. */
QZHOST_API int  qzhost_set_codepage(int ansi);

/* ---- temporary folder -------------------------------------------------------- */

/* What GetTempPathA reports, given as a Win32 path ("C:\tmp\x") or a host
 * path ("/tmp/x", turned into the drive form); a trailing '\' is added.
 * Null returns to the default. */
QZHOST_API int  qzhost_set_temp_path(const char *path);

/* ---- message boxes and the message pump --------------------------------------- */

/* Answers MessageBoxA: gets the owner, text, caption and style, returns the
 * button (IDOK, ...).  Null removes the responder; then a terminal prompt
 * (stdin and stderr both terminals) answers, an empty line taking the
 * default button.  With no terminal, or at the end of its input, the box is
 * answered Cancel, else No, else Abort, else OK: nobody there can act. */
typedef int (*qzhost_responder)(void *context, HWND owner, const char *text,
                                const char *caption, UINT style);
QZHOST_API void qzhost_set_responder(qzhost_responder responder, void *context);

/* The default button of a box of this style (what Enter chooses). */
QZHOST_API int  qzhost_default_button(UINT style);

/* Runs at every PeekMessageA (for example to call Qz4Cancel). */
typedef void (*qzhost_pump_hook)(void *context);
QZHOST_API void qzhost_set_pump_hook(qzhost_pump_hook hook, void *context);

/* ---- clock and time zone ------------------------------------------------------- */

/* Fixes what GetSystemTime reports (null: back to the real clock). */
QZHOST_API void qzhost_set_system_time(const SYSTEMTIME *utc);
/* Fixes the time-zone bias in minutes (local = UTC - bias, as Windows
 * counts it: Berlin in winter is -60); enabled 0 returns to the process's
 * time zone. */
QZHOST_API void qzhost_set_time_zone_bias(int enabled, LONG biasMinutes);

/* ---- fault injection ------------------------------------------------------------ */

/* Fails the nth allocation from now (GlobalAlloc, GlobalReAlloc, HeapAlloc,
 * HeapReAlloc count; 1 = the next one); persistent != 0 fails every
 * allocation from the nth on.  nth 0 disarms. */
QZHOST_API void qzhost_fail_alloc(unsigned long nth, int persistent);
/* Fails every allocation of more than bytes (0 disarms). */
QZHOST_API void qzhost_fail_alloc_above(SIZE_T bytes);
/* The nth ReadFile (WriteFile) from now transfers at most bytes, and
 * succeeds.  nth 0 disarms. */
QZHOST_API void qzhost_short_read(unsigned long nth, DWORD bytes);
QZHOST_API void qzhost_short_write(unsigned long nth, DWORD bytes);
/* After bytes more bytes written by WriteFile (any file) the disk is full:
 * WriteFile writes what fits and fails with ERROR_DISK_FULL.  -1 disarms. */
QZHOST_API void qzhost_disk_full_after(long long bytes);
/* The Win32 calls whose failure a test can arm, one name each, so that a
 * misspelt call does not compile.  The layer's table of names is checked
 * against this list when it is built. */
typedef enum qzhost_call {
    QZHOST_CreateFileA,
    QZHOST_ReadFile,
    QZHOST_WriteFile,
    QZHOST_SetFilePointer,
    QZHOST_GetFileSize,
    QZHOST_SetEndOfFile,
    QZHOST_CloseHandle,
    QZHOST_DeleteFileA,
    QZHOST_CreateDirectoryA,
    QZHOST_SetFileTime,
    QZHOST_GetFileAttributesA,
    QZHOST_SetFileAttributesA,
    QZHOST_FindFirstFileA,
    QZHOST_FindNextFileA,
    QZHOST_GetVolumeInformationA,
    QZHOST_SetVolumeLabelA,
    QZHOST_GetTempPathA,
    QZHOST_GetTempFileNameA,
    QZHOST_MessageBoxA,
    QZHOST_GetFileVersionInfoSizeA,
    QZHOST_GetFileVersionInfoA,
    QZHOST_CALL_COUNT
} qzhost_call;

/* Fails the nth call from now of the function with error; persistent != 0
 * fails every call from the nth on.  Every call can be armed at once, each
 * counting its own calls from the moment it was armed; nth 0 disarms it.
 * Returns -1 for a value that names no call. */
QZHOST_API int  qzhost_fail_call(qzhost_call call, unsigned long nth, DWORD error, int persistent);
/* The Win32 name of the call ("CreateFileA"), or null for a value that names
 * no call. */
QZHOST_API const char *qzhost_call_name(qzhost_call call);
/* Disarms every fault. */
QZHOST_API void qzhost_clear_faults(void);

/* Every injected fault calls this; a place for a breakpoint.  Returns the
 * number of faults injected since the last reset of counters. */
QZHOST_API unsigned long qzhost_fault(const char *what);

/* ---- counters -------------------------------------------------------------------- */

typedef struct qzhost_counters {
    unsigned long allocations;   /* Global/Heap allocations and reallocations made */
    long          blocks;        /* blocks outstanding, relative to the reset */
    long long     bytes;         /* bytes outstanding, relative to the reset */
    long          handles;       /* file and search handles open, relative to the reset */
    long          blocks_total;  /* blocks outstanding, absolute */
    long long     bytes_total;   /* bytes outstanding, absolute */
    long          handles_total; /* handles open, absolute */
    unsigned long reads;         /* ReadFile calls */
    unsigned long writes;        /* WriteFile calls */
    unsigned long pumps;         /* PeekMessageA calls */
    unsigned long boxes;         /* MessageBoxA calls */
    unsigned long faults;        /* faults injected */
    long long     bytes_peak;    /* most bytes outstanding at once since the reset */
} qzhost_counters;

QZHOST_API void qzhost_get_counters(qzhost_counters *out);
QZHOST_API void qzhost_reset_counters(void);
/* PeekMessageA calls since the reset (the same as counters.pumps). */
QZHOST_API unsigned long qzhost_pump_count(void);

#ifdef __cplusplus
}
#endif

#endif /* QZ_PLATFORM_HOST_H */
