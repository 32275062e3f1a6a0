// paths.cpp -- the destination path of an entry.
//
// The path is the entry's drive (kept only with OPT_KEEP_DRIVE), the
// destination directory, the entry's directory (with OPT_DIRS) and its
// name; or, when the caller names an output file, that name.  With
// OPT_KEEP_DRIVE the path filters may then rewrite it.  Last, the path is
// cut into its parts and joined again, which bounds every part.
#include "extract/extract.h"
#include "select/select.h"

namespace qz {
namespace extract {

void destinationDirectory(const char *given, char out[kNameBytes])
{
    out[0] = 0;
    if (!given || !given[0])
        return;
    lstrcpynA(out, given, kNameBytes - 1);
    const char *last = out;
    for (const char *p = out; *p; p = CharNextA(p))
        last = p;
    if (*last != ':' && *last != '\\' && *last != '/')
        lstrcatA(out, "/");
}

void destinationPath(const char *destDir, const char *outputName, const char *drive,
                     const char *dir, const char *name, uint32_t options,
                     char ansi[kNameBytes], char oem[kNameBytes])
{
    ansi[0] = 0;
    if (outputName && outputName[0]) {
        appendPath(ansi, outputName);
    } else {
        char part[kNameBytes];
        if (options & OPT_KEEP_DRIVE) {
            lstrcpynA(part, drive, kNameBytes);
            OemToCharA(part, part);
            appendPath(ansi, part);
        }
        appendPath(ansi, destDir);
        if (options & OPT_DIRS) {
            lstrcpynA(part, dir, kNameBytes);
            OemToCharA(part, part);
            appendPath(ansi, part);
        }
        lstrcpynA(part, name, kNameBytes);
        OemToCharA(part, part);
        appendPath(ansi, part);
    }

    if ((options & OPT_KEEP_DRIVE) && havePathFilters()) {
        CharToOemA(ansi, oem);
        applyPathFilters(oem);
        OemToCharA(oem, ansi);
    }

    char d[kNameBytes], p[kNameBytes], n[kNameBytes];
    select::splitPath(ansi, d, p, n);
    ansi[0] = 0;
    appendPath(ansi, d);
    appendPath(ansi, p);
    appendPath(ansi, n);
    CharToOemA(ansi, oem);
}

}  // namespace extract
}  // namespace qz
