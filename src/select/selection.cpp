// selection.cpp -- the entry test (one entry against one specification) and
// the selection test (one entry against the include and exclude lists).
//
// Directories end with their separator ("DOCS/"), the top level is the
// empty directory, and '\' counts as '/'.  Directories are compared with
// the folded comparisons, names with QzMatchFile.  Specifications come in
// the ANSI code page and are converted to OEM, the code page of entry
// names, before they are split.
#include "select/select.h"

namespace qz {
namespace select {
namespace {

// A copy of a directory (null: empty) with every '\' turned into '/'.
void slashCopy(char *out, const char *dir) {
    lstrcpynA(out, dir ? dir : "", kNameBytes);
    replaceChar(out, '\\', '/');
}

bool hasWildcard(const char *pattern) {
    for (const char *p = pattern; *p; p = CharNextA(p))
        if (*p == '*' || *p == '?') return true;
    return false;
}

// A specification, converted to OEM and cut into directory and pattern
// ("*" when the name part is empty).
struct Spec {
    char dir[kNameBytes];
    char pattern[kNameBytes];
};

void takeSpec(const char *token, Spec &spec) {
    char oem[kNameBytes];
    lstrcpynA(oem, token, sizeof oem);
    qz::ansiToOem(oem, oem);
    splitPath(oem, nullptr, spec.dir, spec.pattern);
    if (spec.pattern[0] == '\0') lstrcpyA(spec.pattern, "*");
}

// A writable copy of a list in fixed global memory, or null.
char *listCopy(const char *list) {
    const SIZE_T bytes = static_cast<SIZE_T>(lstrlenA(list)) + 1;
    char *copy = static_cast<char *>(GlobalAlloc(GMEM_FIXED, bytes));
    if (copy) lstrcpyA(copy, list);
    return copy;
}

}  // namespace

bool entryTest(const char *entryDir, const char *entryName, const char *specDir,
               const char *pattern, bool recurse) {
    char ed[kNameBytes], sd[kNameBytes];
    slashCopy(ed, entryDir);
    slashCopy(sd, specDir);
    if (!pattern) pattern = "";
    bool agree;
    if (recurse && hasWildcard(pattern))
        agree = foldedPrefixCompare(ed, sd, lstrlenA(sd)) == 0;
    else
        agree = foldedCompare(ed, sd) == 0;
    if (!agree) return false;
    return QzMatchFile(entryName, pattern) != 0;
}

bool selectionTest(const char *entryDir, const char *entryName, const char *include,
                   const char *exclude, bool recurse) {
    if (!include || !*include) return false;

    Spec spec;
    char *copy = listCopy(include);
    if (!copy) return false;
    bool selected = false;
    char *cursor = copy;
    for (char *token; !selected && (token = nextSpec(&cursor)) != nullptr;) {
        takeSpec(token, spec);
        selected = entryTest(entryDir, entryName, spec.dir, spec.pattern, recurse);
    }
    GlobalFree(copy);
    if (!selected) return false;

    if (!exclude || !*exclude) return true;
    copy = listCopy(exclude);
    if (!copy) return false;
    const bool entryHasDir = entryDir && *entryDir;
    bool excluded = false;
    cursor = copy;
    for (char *token; !excluded && (token = nextSpec(&cursor)) != nullptr;) {
        takeSpec(token, spec);
        // An exclusion without a directory applies by name in every
        // directory.
        if (spec.dir[0] == '\0' && entryHasDir)
            excluded = QzMatchFile(entryName, spec.pattern) != 0;
        else
            excluded = entryTest(entryDir, entryName, spec.dir, spec.pattern, recurse);
    }
    GlobalFree(copy);
    return !excluded;
}

}  // namespace select
}  // namespace qz
