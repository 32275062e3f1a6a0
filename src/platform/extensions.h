// extensions.h -- the extension flags as every folder of the library sees
// them, and the few platform services the extension mode needs that the
// Win32 subset of win32.h does not offer.
//
// The flags word is set by QzSetExtensions (frame/state.cpp).  Code whose
// behaviour differs in the mode tests its flag at the one place where it
// differs; everything else is the same code with or without the mode.
#ifndef QZ_PLATFORM_EXTENSIONS_H
#define QZ_PLATFORM_EXTENSIONS_H

#include <stddef.h>
#include <stdint.h>

#include "platform/win32.h"
#include "qzunpack_ext.h"

namespace qz {

// The QZ_EXT_ flags in force; 0 at load.
extern uint32_t gExtensions;

inline bool extensionOn(uint32_t flag) {
    return (gExtensions & flag) != 0;
}

namespace platform {

// Tells the platform layer the flags in force.  The POSIX layer takes
// UTF-8 as its ANSI and OEM code page under QZ_EXT_UTF8_NAMES, and applies
// the name rules of QZ_EXT_POSIX_NAMES and the link rule of
// QZ_EXT_UNIX_MODES; on Windows nothing changes.
void applyExtensions(uint32_t flags);

// The stored name or comment of an entry (n bytes, UTF-8 when utf8, else
// in the OEM code page of the archive) in the ANSI code page, terminated:
// on Windows through the wide API with '_' for characters the page lacks,
// on POSIX (where the mode's ANSI page is UTF-8) without loss.  False when
// it does not fit in size bytes.
bool storedToAnsi(const char *stored, size_t n, bool utf8, char *out, size_t size);

// Gives a file the library has open for writing (at ansiPath) DOS
// attributes, or the permission bits of a Unix mode (setuid, setgid and
// sticky dropped, the run's umask applied), through its handle before it
// is closed: no look at the path, and on POSIX a call only when something
// changes.  beginOutput is called when a
// run starts writing files; the POSIX layer then reads the umask the run's
// files are made under.  Attributes are those of SetFileAttributesA, which
// Windows versions without SetFileInformationByHandle are given the path
// for.  True on success; setOpenFileMode does nothing on Windows.
void beginOutput();
bool setOpenFileAttributes(HANDLE file, const char *ansiPath, DWORD attributes);
bool setOpenFileMode(HANDLE file, uint32_t mode);

}  // namespace platform
}  // namespace qz

#endif
