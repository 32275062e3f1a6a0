/*
 * win32.h -- the Win32 subset the library calls, and the only header in src/
 * that reaches the operating system.
 *
 * On Windows it includes <windows.h>.  Elsewhere it declares the same names,
 * types and constants for exactly the calls listed here; src/platform/posix/
 * implements them so that, as far as the library can observe, they behave
 * as Windows does.  The comment on each declaration is the contract that the
 * POSIX backend reproduces (results, error codes, short reads, end of file).
 *
 * What the library may rely on, on both platforms:
 *   - Handles are non-zero values that fit in 32 bits; INVALID_HANDLE_VALUE
 *     has all bits set.  HandleToLong / LongToHandle convert losslessly.
 *   - '\' and '/' both separate path components; "X:" selects a drive.
 *   - Every failing call sets the error that GetLastError reports.
 */
#ifndef QZ_PLATFORM_WIN32_H
#define QZ_PLATFORM_WIN32_H

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#else /* POSIX */

#include <stddef.h>
#include <stdint.h>

/* ------------------------------------------------------------------------
 * Types
 * ------------------------------------------------------------------------ */

#define WINAPI
#define CALLBACK

typedef int            BOOL;
typedef uint8_t        BYTE;
typedef uint16_t       WORD;
typedef uint32_t       DWORD;
typedef int32_t        LONG;
typedef uint32_t       UINT;
typedef int32_t        INT;
typedef char           CHAR;
typedef char          *LPSTR;
typedef const char    *LPCSTR;
typedef void          *LPVOID;
typedef const void    *LPCVOID;
typedef DWORD         *LPDWORD;
typedef LONG          *PLONG;
typedef WORD          *LPWORD;
typedef BYTE          *LPBYTE;
typedef size_t         SIZE_T;
typedef uintptr_t      UINT_PTR;
typedef intptr_t       LONG_PTR;
typedef uintptr_t      ULONG_PTR;
typedef uintptr_t      WPARAM;
typedef intptr_t       LPARAM;

typedef void          *HANDLE;
typedef HANDLE         HGLOBAL;
typedef HANDLE         HWND;
typedef HANDLE         HINSTANCE;
typedef HANDLE         HMODULE;

#define TRUE  1
#define FALSE 0
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

static inline long HandleToLong(const void *h) { return (long)(LONG)(LONG_PTR)h; }
static inline void *LongToHandle(const long h) { return (void *)(LONG_PTR)h; }

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;
typedef const FILETIME *LPCFILETIME;

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

typedef struct _WIN32_FIND_DATAA {
    DWORD    dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD    nFileSizeHigh;
    DWORD    nFileSizeLow;
    DWORD    dwReserved0;
    DWORD    dwReserved1;
    CHAR     cFileName[MAX_PATH];
    CHAR     cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD  nLength;
    LPVOID lpSecurityDescriptor;
    BOOL   bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED; /* never used: always null */

typedef struct tagPOINT { LONG x; LONG y; } POINT;
typedef struct tagMSG {
    HWND   hwnd;
    UINT   message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD  time;
    POINT  pt;
} MSG, *LPMSG;

typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature;          /* 0xFEEF04BD */
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

/* ------------------------------------------------------------------------
 * Constants
 * ------------------------------------------------------------------------ */

#define GENERIC_READ             0x80000000u
#define GENERIC_WRITE            0x40000000u
#define FILE_SHARE_READ          0x00000001u
#define FILE_SHARE_WRITE         0x00000002u
#define FILE_SHARE_DELETE        0x00000004u

#define CREATE_NEW               1
#define CREATE_ALWAYS            2
#define OPEN_EXISTING            3
#define OPEN_ALWAYS              4
#define TRUNCATE_EXISTING        5

#define FILE_ATTRIBUTE_READONLY  0x00000001u
#define FILE_ATTRIBUTE_HIDDEN    0x00000002u
#define FILE_ATTRIBUTE_SYSTEM    0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE   0x00000020u
#define FILE_ATTRIBUTE_NORMAL    0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define FILE_FLAG_RANDOM_ACCESS  0x10000000u
#define INVALID_FILE_ATTRIBUTES  0xFFFFFFFFu

#define FILE_BEGIN               0
#define FILE_CURRENT             1
#define FILE_END                 2
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE        0xFFFFFFFFu

#define GMEM_FIXED               0x0000u
#define GMEM_MOVEABLE            0x0002u
#define GMEM_ZEROINIT            0x0040u
#define GHND                     (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR                     (GMEM_FIXED | GMEM_ZEROINIT)
#define HEAP_ZERO_MEMORY         0x00000008u

#define DRIVE_UNKNOWN            0
#define DRIVE_NO_ROOT_DIR        1
#define DRIVE_REMOVABLE          2
#define DRIVE_FIXED              3
#define DRIVE_REMOTE             4
#define DRIVE_CDROM              5
#define DRIVE_RAMDISK            6

#define MB_OK                    0x00000000u
#define MB_OKCANCEL              0x00000001u
#define MB_ABORTRETRYIGNORE      0x00000002u
#define MB_YESNOCANCEL           0x00000003u
#define MB_YESNO                 0x00000004u
#define MB_RETRYCANCEL           0x00000005u
#define MB_ICONHAND              0x00000010u
#define MB_ICONQUESTION          0x00000020u
#define MB_ICONEXCLAMATION       0x00000030u
#define MB_ICONASTERISK          0x00000040u
#define MB_DEFBUTTON1            0x00000000u
#define MB_DEFBUTTON2            0x00000100u
#define MB_DEFBUTTON3            0x00000200u
#define MB_TYPEMASK              0x0000000Fu
#define MB_DEFMASK               0x00000F00u

#define IDOK      1
#define IDCANCEL  2
#define IDABORT   3
#define IDRETRY   4
#define IDIGNORE  5
#define IDYES     6
#define IDNO      7

#define PM_NOREMOVE 0x0000u
#define PM_REMOVE   0x0001u

#define ERROR_SUCCESS                0
#define ERROR_INVALID_FUNCTION       1
#define ERROR_FILE_NOT_FOUND         2
#define ERROR_PATH_NOT_FOUND         3
#define ERROR_TOO_MANY_OPEN_FILES    4
#define ERROR_ACCESS_DENIED          5
#define ERROR_INVALID_HANDLE         6
#define ERROR_NOT_ENOUGH_MEMORY      8
#define ERROR_INVALID_DATA           13
#define ERROR_OUTOFMEMORY            14
#define ERROR_INVALID_DRIVE          15
#define ERROR_NO_MORE_FILES          18
#define ERROR_WRITE_PROTECT          19
#define ERROR_NOT_READY              21
#define ERROR_WRITE_FAULT            29
#define ERROR_READ_FAULT             30
#define ERROR_SHARING_VIOLATION      32
#define ERROR_HANDLE_EOF             38
#define ERROR_HANDLE_DISK_FULL       39
#define ERROR_NOT_SUPPORTED          50
#define ERROR_BAD_NETPATH            53
#define ERROR_FILE_EXISTS            80
#define ERROR_INVALID_PARAMETER      87
#define ERROR_BUFFER_OVERFLOW        111
#define ERROR_DISK_FULL              112
#define ERROR_CALL_NOT_IMPLEMENTED   120
#define ERROR_INSUFFICIENT_BUFFER    122
#define ERROR_INVALID_NAME           123
#define ERROR_NEGATIVE_SEEK          131
#define ERROR_DIR_NOT_EMPTY          145
#define ERROR_NOT_LOCKED             158
#define ERROR_ALREADY_EXISTS         183
#define ERROR_FILENAME_EXCED_RANGE   206
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------
 * Errors
 * ------------------------------------------------------------------------ */

/* The error of the last failing call on this thread.  Successful calls do
 * not necessarily clear it (as on Windows). */
DWORD WINAPI GetLastError(void);
void  WINAPI SetLastError(DWORD error);

/* ------------------------------------------------------------------------
 * Files and directories
 * ------------------------------------------------------------------------ */

/* Opens or creates a file.  Access is GENERIC_READ and/or GENERIC_WRITE;
 * share is the FILE_SHARE_ bits that other opens of the same file may ask
 * for; disposition is CREATE_NEW .. TRUNCATE_EXISTING.  flags holds the
 * attributes for a new file plus FILE_FLAG_ hints (ignored).
 * Windows behaviour that the backend reproduces:
 *   - an open conflicts with the share mode of the file's other open
 *     handles in this process: ERROR_SHARING_VIOLATION;
 *   - writing access or CREATE_ALWAYS / TRUNCATE_EXISTING on a read-only
 *     file: ERROR_ACCESS_DENIED (even for a privileged user);
 *   - CREATE_ALWAYS / TRUNCATE_EXISTING on a hidden or system file without
 *     those bits in flags: ERROR_ACCESS_DENIED;
 *   - a directory cannot be opened: ERROR_ACCESS_DENIED;
 *   - a missing file with OPEN_EXISTING: ERROR_FILE_NOT_FOUND; a missing
 *     directory on the way: ERROR_PATH_NOT_FOUND;
 *   - OPEN_ALWAYS and CREATE_ALWAYS on an existing file succeed and set
 *     ERROR_ALREADY_EXISTS; CREATE_NEW on an existing file fails with
 *     ERROR_FILE_EXISTS;
 *   - a created file gets the given attributes plus ARCHIVE.
 * Returns INVALID_HANDLE_VALUE on failure. */
HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share,
                          LPSECURITY_ATTRIBUTES security, DWORD disposition,
                          DWORD flags, HANDLE templateFile);

/* Reads up to count bytes at the file position.  At or past the end of the
 * file it succeeds with 0 bytes read.  Fails (FALSE, *read = 0) on an
 * unknown handle (ERROR_INVALID_HANDLE) or a handle without read access
 * (ERROR_ACCESS_DENIED).  overlapped is always null. */
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read,
                     LPOVERLAPPED overlapped);

/* Writes count bytes at the file position, extending the file.  When the
 * disk is full it writes what fits, sets *written to that and fails with
 * ERROR_DISK_FULL.  A handle without write access fails with
 * ERROR_ACCESS_DENIED. */
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
                      LPOVERLAPPED overlapped);

/* Moves the file position.  With distanceHigh null the distance is a
 * signed 32-bit value.  Returns the low 32 bits of the new position (and
 * the high ones in *distanceHigh).  A position before the start fails with
 * ERROR_NEGATIVE_SEEK; on failure the result is INVALID_SET_FILE_POINTER and
 * GetLastError is not 0.  Positions past the end are allowed. */
DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);

/* The size of the file: low 32 bits as the result, high ones in *high.
 * INVALID_FILE_SIZE with an error on failure. */
DWORD WINAPI GetFileSize(HANDLE file, LPDWORD high);

/* Cuts or extends the file to its current position. */
BOOL WINAPI SetEndOfFile(HANDLE file);

/* Closes a file handle.  An unknown handle fails with ERROR_INVALID_HANDLE
 * (the backend never aborts on it). */
BOOL WINAPI CloseHandle(HANDLE object);

/* Deletes a file.  Fails on a read-only file (ERROR_ACCESS_DENIED), on a
 * directory (ERROR_ACCESS_DENIED), on a file open in this process without
 * FILE_SHARE_DELETE (ERROR_SHARING_VIOLATION) and on a missing file
 * (ERROR_FILE_NOT_FOUND). */
BOOL WINAPI DeleteFileA(LPCSTR name);

/* Creates one directory; the parent must exist (ERROR_PATH_NOT_FOUND) and
 * the name must be free (ERROR_ALREADY_EXISTS). */
BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES security);

/* Starts a search.  The last component of pattern may hold '*' and '?'
 * (matched case-insensitively, "*.*" matching every name); the rest names a
 * directory.  Fills *data with the first match and returns a search handle,
 * or INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND (nothing matches) or
 * ERROR_PATH_NOT_FOUND (no such directory).  Names come in the ANSI code
 * page; "." and ".." are reported for directories other than a root. */
HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);

/* Next match of a search; FALSE with ERROR_NO_MORE_FILES at the end. */
BOOL WINAPI FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA data);

/* Ends a search. */
BOOL WINAPI FindClose(HANDLE search);

/* File attributes: READONLY, HIDDEN, SYSTEM, DIRECTORY, ARCHIVE and NORMAL
 * (the latter reported alone when no other bit is set).
 * INVALID_FILE_ATTRIBUTES on failure. */
DWORD WINAPI GetFileAttributesA(LPCSTR name);

/* Sets READONLY, HIDDEN, SYSTEM, ARCHIVE and NORMAL; other bits are
 * ignored.  Fails on a missing file. */
BOOL WINAPI SetFileAttributesA(LPCSTR name, DWORD attributes);

/* Sets the times of an open file; a null pointer leaves that time alone.
 * Needs write access (ERROR_ACCESS_DENIED otherwise). */
BOOL WINAPI SetFileTime(HANDLE file, const FILETIME *creation, const FILETIME *lastAccess,
                        const FILETIME *lastWrite);

/* Reads the times of an open file. */
BOOL WINAPI GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME lastAccess,
                        LPFILETIME lastWrite);

/* The temporary directory, ending with a separator.  Returns its length,
 * or the size needed (terminator included) when size is too small, or 0. */
DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer);

/* Makes the name path + prefix (first three characters) + hex number +
 * ".TMP" in buffer (MAX_PATH bytes).  With unique 0 it picks a number whose
 * file does not exist yet and creates that file empty; returns the number,
 * or 0 on failure. */
UINT WINAPI GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR buffer);

/* The current directory, in the form "X:\DIR\...".  Returns its length, or
 * the size needed when size is too small. */
DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer);

/* ------------------------------------------------------------------------
 * Volumes
 * ------------------------------------------------------------------------ */

/* Type of the drive named by root ("A:\"): DRIVE_REMOVABLE, DRIVE_FIXED,
 * ..., DRIVE_NO_ROOT_DIR when no such drive exists. */
UINT WINAPI GetDriveTypeA(LPCSTR root);

/* The volume label of root ("A:\") into label (labelSize bytes).  The
 * other outputs are filled when not null.  FALSE for an unknown drive. */
BOOL WINAPI GetVolumeInformationA(LPCSTR root, LPSTR label, DWORD labelSize,
                                  LPDWORD serial, LPDWORD maxComponent, LPDWORD fsFlags,
                                  LPSTR fsName, DWORD fsNameSize);

/* Sets the volume label of root ("A:\"); null root means the current
 * drive.  FALSE for an unknown drive. */
BOOL WINAPI SetVolumeLabelA(LPCSTR root, LPCSTR label);

/* ------------------------------------------------------------------------
 * Time
 * ------------------------------------------------------------------------ */

/* MS-DOS date and time (local, two-second resolution) to a FILETIME in the
 * same time zone.  FALSE for a month outside 1-12, a day outside the
 * month, an hour above 23, a minute above 59 or seconds above 59.  As on
 * Windows, February accepts a 29th day in every year (a common year's
 * 29 February is 1 March). */
BOOL WINAPI DosDateTimeToFileTime(WORD date, WORD time, LPFILETIME fileTime);

/* FILETIME to MS-DOS date and time; FALSE outside 1980-2107. */
BOOL WINAPI FileTimeToDosDateTime(const FILETIME *fileTime, LPWORD date, LPWORD time);

/* -1, 0 or 1 as a is earlier than, equal to or later than b. */
LONG WINAPI CompareFileTime(const FILETIME *a, const FILETIME *b);

/* Local time to UTC and back, with the process's current time-zone bias. */
BOOL WINAPI LocalFileTimeToFileTime(const FILETIME *local, LPFILETIME utc);
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME *utc, LPFILETIME local);

/* The current time in UTC. */
void WINAPI GetSystemTime(LPSYSTEMTIME time);

/* ------------------------------------------------------------------------
 * Memory
 * ------------------------------------------------------------------------ */

/* Global memory.  GMEM_FIXED blocks are addressed by their handle; a
 * GMEM_MOVEABLE handle is not an address and must be locked (GlobalLock
 * returns the address, GlobalUnlock releases one lock).  GMEM_ZEROINIT
 * zeroes the block.  GlobalAlloc of 0 bytes is allowed.  GlobalFree returns
 * null on success and the handle on failure (a locked movable block is
 * freed all the same).  GlobalUnlock returns FALSE with error 0 when the
 * last lock goes, and FALSE with ERROR_NOT_LOCKED when there was none.
 * GlobalReAlloc keeps the contents (and zeroes the growth with
 * GMEM_ZEROINIT); it fails with null and leaves the block as it was.  A
 * fixed block grows only with GMEM_MOVEABLE in the flags (it may then
 * move); without it Windows can only grow in place, which the POSIX
 * backend always refuses. */
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL WINAPI GlobalReAlloc(HGLOBAL memory, SIZE_T bytes, UINT flags);
LPVOID  WINAPI GlobalLock(HGLOBAL memory);
BOOL    WINAPI GlobalUnlock(HGLOBAL memory);
HGLOBAL WINAPI GlobalFree(HGLOBAL memory);
SIZE_T  WINAPI GlobalSize(HGLOBAL memory);

/* The process heap: records and names. */
HANDLE  WINAPI GetProcessHeap(void);
LPVOID  WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID  WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID memory, SIZE_T bytes);
BOOL    WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID memory);

/* ------------------------------------------------------------------------
 * Strings and code pages
 *
 * The ANSI code page is 1252 and the OEM code page 437 by default; the host
 * may select 932 for both, in which case lead bytes 0x81-0x9F and 0xE0-0xFC
 * start two-byte characters.
 * ------------------------------------------------------------------------ */

/* lstrcmpA orders by unsigned byte values and lstrcmpiA by bytes folded
 * with the CharUpperA rules.  Windows orders unequal strings by its
 * linguistic sort instead; both agree on equality and on strings that
 * differ in letters of one case or in digits, which is all the library
 * relies on. */
LPSTR WINAPI lstrcpyA(LPSTR to, LPCSTR from);
/* Copies at most max - 1 bytes and always terminates (for max >= 1). */
LPSTR WINAPI lstrcpynA(LPSTR to, LPCSTR from, int max);
LPSTR WINAPI lstrcatA(LPSTR to, LPCSTR from);
int   WINAPI lstrlenA(LPCSTR s);           /* 0 for a null pointer */
int   WINAPI lstrcmpA(LPCSTR a, LPCSTR b); /* <0, 0, >0 */
int   WINAPI lstrcmpiA(LPCSTR a, LPCSTR b);

/* TRUE when c is a lead byte of the ANSI code page. */
BOOL  WINAPI IsDBCSLeadByte(BYTE c);

/* OEM to ANSI and back, whole strings; from and to may be the same buffer.
 * Characters without an equivalent become a close substitute or '?'. */
BOOL  WINAPI OemToCharA(LPCSTR from, LPSTR to);
BOOL  WINAPI CharToOemA(LPCSTR from, LPSTR to);

/* Upper case in place, by the ANSI code page's rules (trail bytes are left
 * alone); returns s. */
LPSTR WINAPI CharUpperA(LPSTR s);

/* Next character (does not move past the terminator) and previous
 * character (does not move before start). */
LPSTR WINAPI CharNextA(LPCSTR s);
LPSTR WINAPI CharPrevA(LPCSTR start, LPCSTR s);

/* ------------------------------------------------------------------------
 * Messages
 * ------------------------------------------------------------------------ */

/* Looks at the thread's message queue; with PM_NOREMOVE nothing is taken
 * from it.  FALSE when no message is waiting. */
BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove);

/* Shows a message box and returns the button pressed (IDOK, IDCANCEL,
 * IDYES, IDNO, ...). */
int  WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);

/* ------------------------------------------------------------------------
 * File versions
 * ------------------------------------------------------------------------ */

/* The size of the version resource of a file, 0 when it has none
 * (ERROR_RESOURCE_TYPE_NOT_FOUND) or cannot be read. */
DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR name, LPDWORD handle);

/* Copies the version resource (size bytes at most) into data. */
BOOL  WINAPI GetFileVersionInfoA(LPCSTR name, DWORD handle, DWORD size, LPVOID data);

/* With sub-block "\" gives the VS_FIXEDFILEINFO inside a version resource
 * copied by GetFileVersionInfoA. */
BOOL  WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID *value, UINT *length);

#ifdef __cplusplus
}
#endif

#endif /* POSIX */

#endif /* QZ_PLATFORM_WIN32_H */
