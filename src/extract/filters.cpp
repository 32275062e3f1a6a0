// filters.cpp -- path filters: pairs of directory prefixes with which a
// caller remaps destination paths (Qz4AddUnZipPathFilter), applied by the
// next extraction run when it keeps drives (OPT_KEEP_DRIVE), and dropped
// when that run ends.
//
// The list is one NUL-terminated string in global memory,
// "from1|to1|from2|to2...", every field OEM with '/' separators and ending
// in '/' or ':' (or empty).  Only the first pair that matches a path is
// used, in the order the pairs were added.
#include "extract/extract.h"
#include "select/select.h"

namespace qz {
namespace extract {

namespace {

HGLOBAL filterList = nullptr;

// A caller's field as stored: null is empty; anything else ends with a
// separator ('/' added unless it ends in '/', ':' or '\'), is OEM and has
// '/' for every '\'.
void storedField(const char *given, char out[kNameBytes]) {
    out[0] = 0;
    if (!given)
        return;
    lstrcpynA(out, given, kNameBytes - 1);
    endWithSeparator(out);
    qz::ansiToOem(out, out);
    replaceChar(out, '\\', '/');
}

// Copies the field at p (up to '|' or the end) into out and returns where
// the next field starts.
const char *readField(const char *p, char out[kNameBytes]) {
    int n = 0;
    while (*p && *p != '|') {
        const char *next = CharNextA(p);
        if (next == p)
            break;
        if (n + (next - p) <= kNameBytes - 1)
            while (p < next)
                out[n++] = *p++;
        else
            p = next;
    }
    out[n] = 0;
    return *p == '|' ? p + 1 : p;
}

}  // namespace

bool havePathFilters() { return filterList != nullptr; }

void releasePathFilters() {
    if (filterList)
        GlobalFree(filterList);
    filterList = nullptr;
}

void applyPathFilters(char oemPath[kNameBytes]) {
    if (!filterList)
        return;
    const char *list = (const char *)GlobalLock(filterList);
    if (!list)
        return;

    char drive[kNameBytes], dir[kNameBytes], name[kNameBytes];
    select::splitPath(oemPath, drive, dir, name);
    char from[kNameBytes], to[kNameBytes];
    bool applied = false;
    const char *p = list;
    for (;;) {
        p = readField(p, from);
        p = readField(p, to);
        if (!from[0] && !to[0])
            break;
        char fromDrive[kNameBytes], fromDir[kNameBytes], toDrive[kNameBytes], toDir[kNameBytes];
        select::splitPath(from, fromDrive, fromDir, nullptr);
        select::splitPath(to, toDrive, toDir, nullptr);
        int prefix = lstrlenA(fromDir);
        bool startsWith = lstrlenA(dir) >= prefix && select::foldedPrefixCompare(dir, fromDir, prefix) == 0;
        if (startsWith && select::foldedCompare(fromDrive, drive) == 0) {
            lstrcpyA(drive, toDrive);
            applied = true;
        } else if (startsWith && !fromDrive[0]) {
            applied = true;
        }
        if (applied) {
            char rest[kNameBytes];
            lstrcpyA(rest, dir + prefix);
            lstrcpyA(dir, toDir);
            appendPath(dir, rest);
            break;
        }
    }
    GlobalUnlock(filterList);

    if (applied)
        joinPath(oemPath, drive, dir, name);
}

}  // namespace extract
}  // namespace qz

using namespace qz::extract;

QZ_API(int16_t) Qz4AddUnZipPathFilter(const char *from, const char *to) {
    char f[qz::kNameBytes], t[qz::kNameBytes];
    storedField(from, f);
    storedField(to, t);
    uint16_t fromLength = (uint16_t)lstrlenA(f), toLength = (uint16_t)lstrlenA(t);
    if ((uint16_t)(fromLength + toLength) == 0)
        return QZ_ERR_EMPTY_FILTER;
    uint16_t more = (uint16_t)(fromLength + toLength + 4);

    if (!filterList) {
        filterList = GlobalAlloc(GMEM_MOVEABLE, more);
        char *list = filterList ? (char *)GlobalLock(filterList) : nullptr;
        if (!list) {
            releasePathFilters();
            return QZ_ERR_MEMORY;
        }
        lstrcpyA(list, f);
        lstrcatA(list, "|");
        lstrcatA(list, t);
        GlobalUnlock(filterList);
        return QZ_OK;
    }

    // A list that cannot grow is dropped whole: half a set of filters would
    // send files where the caller did not mean them to go.
    HGLOBAL larger = GlobalReAlloc(filterList, GlobalSize(filterList) + more, GMEM_MOVEABLE);
    char *list = larger ? (char *)GlobalLock(larger) : nullptr;
    if (!list) {
        if (larger)
            filterList = larger;
        releasePathFilters();
        return QZ_ERR_MEMORY;
    }
    filterList = larger;
    lstrcatA(list, "|");
    lstrcatA(list, f);
    lstrcatA(list, "|");
    lstrcatA(list, t);
    GlobalUnlock(filterList);
    return QZ_OK;
}
