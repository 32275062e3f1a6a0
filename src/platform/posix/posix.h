// posix.h -- what the files of the POSIX backend share among themselves.
//
// Nothing outside src/platform/posix/ includes this header; the library sees
// only win32.h, and tests and tools see host.h.
//
// All state of the backend is plain static storage (arrays and integers, no
// constructors or destructors), so that every call stays usable from an ELF
// destructor while the process exits.  The backend serves one thread at a
// time, like the library; only the last error is per thread.
#ifndef QZ_PLATFORM_POSIX_POSIX_H
#define QZ_PLATFORM_POSIX_POSIX_H

#include "platform/win32.h"
#include "platform/host.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

namespace qz::posix {

// ---- errors and faults (errors.cpp) --------------------------------------

// The Win32 error for an errno value.
DWORD errorFromErrno(int e);

// Sets the last error and returns FALSE, for one-line failure exits.
BOOL fail(DWORD error);

// True when the host armed a failure of this call of the function; the
// error to report is stored in *error.  Each armed function counts its own
// calls from the moment it was armed.
bool callFails(qzhost_call call, DWORD *error);

// Every injected fault passes through here (and on to qzhost_fault).
void injected(const char *what);

void resetFaults();

// ---- counters (host.cpp) --------------------------------------------------

struct Counters {
    unsigned long allocations;   // allocations made since the reset
    long          blocks;        // blocks outstanding (absolute)
    long long     bytes;         // bytes outstanding (absolute)
    long          handles;       // file and search handles open (absolute)
    unsigned long reads, writes, pumps, boxes;
    long          blocksBase, handlesBase;
    long long     bytesBase;
    long long     bytesPeak;     // highest bytes outstanding since the reset (absolute)
};
extern Counters g_counters;

// Adds to the bytes outstanding and keeps the peak.
inline void countBytes(long long delta) {
    g_counters.bytes += delta;
    if (g_counters.bytes > g_counters.bytesPeak) g_counters.bytesPeak = g_counters.bytes;
}

// ---- code pages (codepage.cpp) --------------------------------------------

enum { kUtf8Page = 65001 };

// The ANSI code page in force: 1252 or 932 as the host chose, or kUtf8Page
// while the extension mode takes UTF-8 (then the OEM page is UTF-8 too).
int  ansiCodePage();
void setUtf8Page(bool on);

bool isLead(unsigned char c);           // lead byte of a double-byte character (932)
size_t multiByteLength(const unsigned char *s);   // charLength beyond ASCII
// Bytes of the character at s (1 at the terminator).
inline size_t charLength(const unsigned char *s) { return s[0] < 0x80 ? 1 : multiByteLength(s); }
unsigned char upper(unsigned char c);   // single-byte upper case (1252 rules; ASCII in 932 and UTF-8)
unsigned char oemToAnsi(unsigned char c);
unsigned char ansiToOem(unsigned char c);

// ANSI name <-> UTF-8 name on the file system.  In 932 and in the UTF-8
// page the bytes pass through.  Both return false when the output does not fit.
bool ansiToHost(const char *ansi, size_t n, char *out, size_t size);
bool hostToAnsi(const char *utf8, char *out, size_t size);

// True when names pass between the ANSI page and the file system unchanged
// (932 and the UTF-8 page).
bool bytesAsTheyAre();

// Case-insensitive equality of two ANSI names (multibyte-aware).
bool sameName(const char *a, const char *b);
// A hash of an ANSI name that is equal for names sameName finds equal, so
// that a search compares keys before names.  It depends on the code page.
uint32_t nameKey(const char *ansi);

// The length of the valid UTF-8 sequence that starts s (at most n bytes
// read), or 0 when s starts none: overlong forms, surrogates and code points
// above U+10FFFF are not valid.
size_t utf8Length(const unsigned char *s, size_t n);

// The Unicode character of a byte of the OEM page 437.
uint32_t oemUnicode(unsigned char c);

// Appends the UTF-8 form of u (below U+10000) at out + *at; false, with
// nothing written, when it and a terminator do not fit in size bytes.
bool appendUtf8(uint32_t u, char *out, size_t size, size_t *at);

void resetCodepage();

// ---- extension mode (extensions.cpp) --------------------------------------

// QZ_EXT_POSIX_NAMES: names are matched exactly, the characters Windows
// refuses in names are ordinary ones, and "X:name" is a relative name.
bool posixNames();

// QZ_EXT_UNIX_MODES: a file opened for writing or created is never reached
// through a symbolic link in the last component of its path.
bool noFollow();

// The umask read when the current extraction run began to write
// (qz::platform::beginOutput); false before any run has.
bool runUmask(mode_t *mask);

// Leaves the extension mode, in the library's flags as in the layer.
void resetExtensions();

// ---- drives and paths (paths.cpp) ------------------------------------------

enum { kHostPath = 4096 };

struct Drive {
    bool  mapped;
    bool  media;                 // false: removable drive without a disk
    UINT  type;
    DWORD serial;
    char  root[kHostPath];       // host folder, no trailing '/' ("" = "/")
    char  label[64];
};

Drive *drive(int letter);        // 'A'..'Z' (any case), else null
int    currentDrive();           // 'A'..'Z'
void   setCurrentDrive(int letter);
void   resetDrives();

// Result of resolving a Win32 path.
enum PathState {
    kPathExists,                 // host names an existing object
    kPathLastMissing,            // every directory exists, the last name does not
};

// How resolve looks a path up, and what it tells besides the host path.
struct Lookup {
    // The last component may hold '*' and '?'; it is then not looked up but
    // returned in ANSI form in last (and host names its directory).
    bool  wildcards = false;
    // With wildcards: when the last component is a plain name, it is looked
    // up as written (no search without case) and host names the entry;
    // entry tells whether that happened.
    bool  plainEntry = false;
    char *last = nullptr;
    bool *atRoot = nullptr;
    // Filled with the lstat of host when the state is kPathExists and
    // statted is set (a path that is only its drive's root or the process
    // folder is not looked at).
    struct stat *st = nullptr;
    bool  statted = false;
    bool  entry = false;
    // When the last name is missing and was looked up only as written:
    // the stat of its folder, if it was taken (folderStatted).
    struct stat folder;
    bool  folderStatted = false;
    // The folder's entries were read in the same lookup (folderNames may
    // then take them as they are).
    bool  folderRead = false;
};

// Resolves a Win32 path (ANSI) to a host path.  The path as written is
// tried first; directories on the way and the last component are then
// looked up case-insensitively (with POSIX names, exactly only).  Paths
// relative to the process folder stay relative: the host path is then
// relative too, and the process folder is asked for only when ".." climbs
// out of it.
// Returns 0 and fills host/state, or a Win32 error: ERROR_PATH_NOT_FOUND
// (a directory on the way is missing, unknown drive), ERROR_INVALID_NAME,
// ERROR_FILENAME_EXCED_RANGE, ERROR_NOT_READY (removable drive, no disk).
DWORD resolve(const char *path, char *host, size_t size, PathState *state, Lookup &how);

inline DWORD resolve(const char *path, char *host, size_t size, PathState *state,
                     bool wildcards = false, char *last = nullptr, bool *atRoot = nullptr) {
    Lookup how;
    how.wildcards = wildcards;
    how.last = last;
    how.atRoot = atRoot;
    return resolve(path, host, size, state, how);
}

// With POSIX names a path is looked up only as written: its host form
// without touching the file system, for calls that let the system call
// itself say whether it exists.  0, or the error resolve would give
// without looking (or ERROR_INVALID_FUNCTION when the path needs a look:
// ".." on the way, the process folder or a drive root alone).
DWORD exactHostPath(const char *path, char *host, size_t size);

// The folder of a host path ("." for a relative name alone, "/" for a name
// at the root); out has kHostPath bytes.
void folderOf(const char *host, char *out);

// The entries of a folder: count names in host form, one after another,
// each ended by a 0, and for each its place among them and the key
// (nameKey) of its ANSI form, 0 when it has none.  A search compares keys
// first: names that match without case, or exactly, have equal keys.
struct FolderEntry {
    uint32_t at;
    uint32_t key;
};
struct FolderNames {
    const char *names;
    const FolderEntry *entries;
    size_t count;
    const char *name(size_t i) const { return names + entries[i].at; }
};

// The entries of a folder, read with readdir or kept from an earlier
// reading while the folder has not changed since; false when the folder
// cannot be read.  *st receives the folder's stat (errno is set when it
// fails).  With statted, *st holds the folder's stat, taken in the same
// call; with current, the reading was brought up to date in that call too.
bool folderNames(const char *host, FolderNames *out, struct stat *st, bool statted = false, bool current = false);
// Forgets every kept reading: the layer has made, removed or renamed
// something.
void forgetFolders();

// A host path in the drive form "X:\..." (the drive whose folder holds it,
// the current drive preferred); false when it does not fit.
bool hostToWin(const char *host, char *out, size_t size);

// ---- attributes (attributes.cpp) --------------------------------------------

// Attributes of an existing host object (from stat, the owner write bit and
// the stored DOS bits); INVALID_FILE_ATTRIBUTES when it is missing.
DWORD attributesOf(const char *host);
DWORD attributesFrom(const char *host, const struct stat &st);
// READONLY and DIRECTORY alone: what the mode says, without the stored bits.
DWORD modeAttributes(const struct stat &st);

// Stores HIDDEN, SYSTEM, ARCHIVE and NORMAL of attrs for the object; the
// other bits are ignored.  fd >= 0 is used when given.
bool storeDosBits(const char *host, int fd, DWORD attrs);
// The part of attrs that storeDosBits keeps.
DWORD dosBitsOf(DWORD attrs);
// The permission bits mode with READONLY of attrs applied: every write bit
// cleared, or the owner's set.
mode_t modeWithAttributes(mode_t mode, DWORD attrs);
// Drops what the fallback table keeps for the object of st.
void forgetDosBits(const struct stat &st);
void resetAttributes();

// ---- handles (handles.cpp) ---------------------------------------------------

enum SlotKind { kSlotFree = 0, kSlotFile = 1, kSlotFind = 2 };

struct Slot {
    int    kind;
    // files
    int    fd;
    DWORD  access;
    DWORD  share;
    bool   known;                // dev and ino are known (fstat is asked lazily)
    dev_t  dev;
    ino_t  ino;
    int64_t pos;                 // the file position, kept here rather than in the kernel
    // two read-ahead windows (one malloc'd block) for handles that do not write
    char  *window;
    int64_t windowAt[2];
    size_t windowBytes[2];
    int    lastWindow;           // the window read last
    bool   noWindow;             // a handle of this process writes the file
    // what the layer knows of a file this open made, so that attributes and
    // a mode given through the handle cost a call only when they change
    bool   created;              // made by this open, with mode 0666 under the umask
    bool   dosKnown;             // dosBits holds what is stored for the file
    DWORD  dosBits;
    unsigned long knownAt;       // g_attributeChanges when they were learnt
    // searches
    WIN32_FIND_DATAA *entries;   // malloc'd, sorted
    size_t count;
    size_t next;
};

HANDLE slotOpen(int kind, Slot **out);   // null when the table is full
Slot  *slotGet(HANDLE h, int kind);      // null for an unknown handle
void   slotClose(HANDLE h);
Slot  *slotAt(size_t i);
size_t slotCapacity();

// Fills dev and ino of a file slot from its descriptor when not yet known;
// false when fstat fails.
bool slotIdentity(Slot &s);

// Visits every open file slot of the given file.
template <class F> void eachOpenFile(dev_t dev, ino_t ino, F f) {
    for (size_t i = 0; i < slotCapacity(); ++i) {
        Slot *s = slotAt(i);
        if (s->kind == kSlotFile && slotIdentity(*s) && s->dev == dev && s->ino == ino) f(*s);
    }
}

// Counts the changes of stored bits and modes the layer makes: what a slot
// knows of its file (created, dosKnown) holds only while the count is the
// one it was learnt at (knownAt).
extern unsigned long g_attributeChanges;
inline void attributesChanged() { ++g_attributeChanges; }

// ---- time (time.cpp) -----------------------------------------------------------

uint64_t filetimeOf(const struct timespec &ts);

struct timespec timespecOf(uint64_t ft);
void resetTime();

inline struct timespec coarseNow() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    return ts;
}

inline bool sameTime(const struct timespec &a, const struct timespec &b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// a lies more than two seconds (the coarsest file times) before b: a file
// time that old moves at any later change of what it stamps.
inline bool wellBefore(const struct timespec &a, const struct timespec &b) {
    return a.tv_sec + 2 < b.tv_sec;
}

// ---- memory, messages, temp, volumes -------------------------------------------

void resetMemoryFaults();
void resetMessages();
void resetTemp();
void resetIoFaults();

// I/O fault checks used by ReadFile/WriteFile (host.cpp).
DWORD readLimit(DWORD count);           // count, or fewer for a shortened read
DWORD writeLimit(DWORD count, bool *full);
void  noteWritten(DWORD n);

} // namespace qz::posix

#endif
