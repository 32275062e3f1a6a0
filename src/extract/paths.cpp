// paths.cpp -- the destination path of an entry.
//
// The path is the entry's drive (kept only with OPT_KEEP_DRIVE), the
// destination directory, the entry's directory (with OPT_DIRS) and its
// name; or, when the caller names an output file, that name.  The whole
// path then goes to OEM and back, with the path filters applied on the way
// when OPT_KEEP_DRIVE is set: the file is searched in OEM and deleted,
// created and stamped in ANSI, so both forms must name the same file even
// where the caller's ANSI characters have no OEM form.  Last, the path is
// cut into its parts and joined again, which bounds every part.
#include "extract/extract.h"
#include "select/select.h"

namespace qz {
namespace extract {

void destinationDirectory(const char *given, char out[kNameBytes]) {
    out[0] = 0;
    if (!given || !given[0])
        return;
    lstrcpynA(out, given, kNameBytes - 1);
    endWithSeparator(out);
}

void dropLeadingSeparators(char *dir) {
    const char *rest = dir;
    while (*rest == '/' || *rest == '\\')
        ++rest;
    if (rest != dir)
        lstrcpyA(dir, rest);
}

bool leavesDirectory(const char *name) {
    // Windows drops trailing dots and blanks, so ".. " and "..." are ".." there.
    int dots = 0;
    bool others = false;
    for (const char *p = name;; p = CharNextA(p)) {
        if (*p == 0 || *p == '/' || *p == '\\') {
            if (dots >= 2 && !others)
                return true;
            if (*p == 0)
                return false;
            dots = 0;
            others = false;
        } else if (*p == '.') {
            ++dots;
        } else if (*p != ' ') {
            others = true;
        }
    }
}

bool destinationPath(const char *destDir, const char *outputName, const char *drive,
                     const char *dir, const char *name, uint32_t options,
                     char ansi[kNameBytes], char oem[kNameBytes]) {
    bool whole = true;
    // The entry's parts are OEM; each is converted on its way in.
    auto appendOem = [ansi, &whole](const char *part) {
        char converted[kNameBytes];
        lstrcpynA(converted, part, kNameBytes);
        qz::oemToAnsi(converted, converted);
        whole &= appendPath(ansi, converted);
    };
    ansi[0] = 0;
    if (outputName && outputName[0]) {
        whole &= appendPath(ansi, outputName);
    } else {
        if (options & OPT_KEEP_DRIVE)
            appendOem(drive);
        whole &= appendPath(ansi, destDir);
        if (options & OPT_DIRS)
            appendOem(dir);
        appendOem(name);
    }

    qz::ansiToOem(ansi, oem);
    if ((options & OPT_KEEP_DRIVE) && havePathFilters())
        applyPathFilters(oem);
    qz::oemToAnsi(oem, ansi);

    // Splitting cuts each part to 255 bytes.
    char d[kNameBytes], p[kNameBytes], n[kNameBytes];
    const int length = lstrlenA(ansi);
    select::splitPath(ansi, d, p, n);
    joinPath(ansi, d, p, n);
    qz::ansiToOem(ansi, oem);
    return whole && lstrlenA(ansi) == length;
}

}  // namespace extract
}  // namespace qz
