// find.cpp -- FindFirstFileA, FindNextFileA and FindClose.
//
// FindFirstFileA reads the whole folder at once, keeps the entries whose
// ANSI names match the pattern, sorts them ("." and ".." first, then by
// name without case, the order NTFS gives) and hands them out one by one.
//
// Matching follows the Win32 rules without case:
//   '*'  any run of characters, dots included ("*.*" matches every name,
//        also one without a dot);
//   '?'  one character; at the end of the pattern or before a '.' of the
//        pattern it may also match nothing ("a?" matches "a");
//   '.'  followed only by wildcards, or at the very end of the pattern,
//        also matches the end of a name without a dot ("x.*" matches "x").
// Short (8.3) names do not exist here and are never matched.  With POSIX
// names (extension mode) characters match only themselves, case included.
//
// A plain name (no wildcard) is looked up as written first, in the one
// lstat that resolves its path; only when it is not there is the folder
// searched without case, from a kept reading of the folder (paths.cpp),
// under the stat of the folder that the resolution took.
// With POSIX names and names that pass to the file system unchanged no
// other name can match, and nothing is searched.
#include "platform/posix/posix.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

using namespace qz::posix;

namespace {

bool onlyWildcards(const unsigned char *p) {
    for (; *p; ++p) if (*p != '*' && *p != '?') return false;
    return true;
}

bool match(const unsigned char *p, const unsigned char *n) {
    for (;;) {
        if (!*p) return !*n;
        if (*p == '*') {
            while (*p == '*') ++p;
            if (!*p) return true;
            for (const unsigned char *t = n;; t += charLength(t)) {
                if (match(p, t)) return true;
                if (!*t) return false;
            }
        }
        if (*p == '?') {
            if ((p[1] == 0 || p[1] == '.') && (!*n || *n == '.')) {
                ++p;                       // matches nothing here
                continue;
            }
            if (!*n) return false;
            ++p;
            n += charLength(n);
            continue;
        }
        if (*p == '.' && !*n && onlyWildcards(p + 1)) return true;
        size_t k = charLength(p);
        if (k > 1 || posixNames()) {
            for (size_t i = 0; i < k; ++i) {
                if (p[i] != n[i]) return false;
            }
        } else if (upper(*p) != upper(*n)) {
            return false;
        }
        p += k;
        n += k;
    }
}

bool hasWildcards(const char *s) {
    return strchr(s, '*') || strchr(s, '?');
}

void fill(WIN32_FIND_DATAA *d, const char *host, const struct stat &st, const char *ansi) {
    memset(d, 0, sizeof *d);
    d->dwFileAttributes = attributesFrom(host, st);
    uint64_t t[3] = {filetimeOf(st.st_ctim), filetimeOf(st.st_atim), filetimeOf(st.st_mtim)};
    FILETIME *f[3] = {&d->ftCreationTime, &d->ftLastAccessTime, &d->ftLastWriteTime};
    for (int i = 0; i < 3; ++i) {
        f[i]->dwLowDateTime = (DWORD)t[i];
        f[i]->dwHighDateTime = (DWORD)(t[i] >> 32);
    }
    if (!S_ISDIR(st.st_mode)) {
        d->nFileSizeHigh = (DWORD)((uint64_t)st.st_size >> 32);
        d->nFileSizeLow = (DWORD)st.st_size;
    }
    strcpy(d->cFileName, ansi);
}

int dots(const char *s) {
    return strcmp(s, ".") == 0 ? 1 : strcmp(s, "..") == 0 ? 2 : 0;
}

int byName(const void *a, const void *b) {
    const char *x = ((const WIN32_FIND_DATAA *)a)->cFileName;
    const char *y = ((const WIN32_FIND_DATAA *)b)->cFileName;
    int dx = dots(x), dy = dots(y);
    if (dx || dy) return (dx ? dx : 3) - (dy ? dy : 3);
    // Names that differ only in case (possible here) keep one order.
    int order = lstrcmpiA(x, y);
    return order ? order : lstrcmpA(x, y);
}

// Appends one entry, growing the array by doubling; false when memory runs
// out.
bool add(WIN32_FIND_DATAA **list, size_t *count, size_t *cap, const WIN32_FIND_DATAA &d) {
    if (*count == *cap) {
        size_t n = *cap ? *cap * 2 : 16;
        WIN32_FIND_DATAA *l = (WIN32_FIND_DATAA *)realloc(*list, n * sizeof *l);
        if (!l) return false;
        *list = l;
        *cap = n;
    }
    (*list)[(*count)++] = d;
    return true;
}

// Fills d for the entry name (host form) of folder; false when it is gone.
bool entryAt(const char *folder, const char *name, const char *ansi, WIN32_FIND_DATAA *d) {
    char host[kHostPath];
    int n = strcmp(folder, "/") == 0 ? snprintf(host, sizeof host, "/%s", name)
          : strcmp(folder, ".") == 0 ? snprintf(host, sizeof host, "%s", name)
                                     : snprintf(host, sizeof host, "%s/%s", folder, name);
    if (n < 0 || (size_t)n >= sizeof host) return false;
    struct stat st;
    if (stat(host, &st) != 0 && lstat(host, &st) != 0) return false;
    fill(d, host, st, ansi);
    return true;
}

// The entries of folder that fit pattern, in *list; false with *error set
// when the folder cannot be read or memory runs out.  A plain name comes
// here only when it is not there as written; its folder is then searched
// from a kept reading.
bool collect(const char *folder, const char *pattern, bool atRoot, WIN32_FIND_DATAA **list, size_t *count,
             DWORD *error, const struct stat *folderSt, bool current) {
    size_t cap = 0;
    *error = ERROR_NOT_ENOUGH_MEMORY;
    bool ok = true;
    char ansi[MAX_PATH * 2];
    if (!hasWildcards(pattern) && dots(pattern) == 0) {
        FolderNames f;
        struct stat st;
        if (folderSt) st = *folderSt;
        if (!folderNames(folder, &f, &st, folderSt != nullptr, current)) {
            *error = ERROR_PATH_NOT_FOUND;
            return false;
        }
        // Without wildcards only a final '.' lets a name match that is not
        // the pattern without case: other names need its key.
        size_t n = strlen(pattern);
        bool keyed = n > 0 && pattern[n - 1] != '.';
        uint32_t key = nameKey(pattern);
        for (size_t i = 0; i < f.count && ok; ++i) {
            if (keyed && f.entries[i].key != key) continue;
            if (!hostToAnsi(f.name(i), ansi, sizeof ansi) || strlen(ansi) >= MAX_PATH) continue;
            if (!match((const unsigned char *)pattern, (const unsigned char *)ansi)) continue;
            WIN32_FIND_DATAA d;
            if (entryAt(folder, f.name(i), ansi, &d)) ok = add(list, count, &cap, d);
        }
        return ok;
    }
    DIR *dir = opendir(folder);
    if (!dir) { *error = ERROR_PATH_NOT_FOUND; return false; }
    while (struct dirent *e = readdir(dir)) {
        if (dots(e->d_name) && atRoot) continue;
        if (!hostToAnsi(e->d_name, ansi, sizeof ansi) || strlen(ansi) >= MAX_PATH) continue;
        if (!match((const unsigned char *)pattern, (const unsigned char *)ansi)) continue;
        WIN32_FIND_DATAA d;
        if (!entryAt(folder, e->d_name, ansi, &d)) continue;
        if (!add(list, count, &cap, d)) { ok = false; break; }
    }
    closedir(dir);
    return ok;
}

HANDLE failFind(DWORD error) {
    fail(error);
    return INVALID_HANDLE_VALUE;
}

// Hands out the entries found, the first in *data.
HANDLE startSearch(WIN32_FIND_DATAA *list, size_t count, LPWIN32_FIND_DATAA data) {
    if (count == 0) {
        free(list);
        return failFind(ERROR_FILE_NOT_FOUND);
    }
    qsort(list, count, sizeof *list, byName);
    Slot *slot;
    HANDLE h = slotOpen(kSlotFind, &slot);
    if (!h) {
        free(list);
        return failFind(ERROR_TOO_MANY_OPEN_FILES);
    }
    slot->entries = list;
    slot->count = count;
    slot->next = 1;
    *data = list[0];
    SetLastError(ERROR_SUCCESS);
    return h;
}

} // namespace

extern "C" {

HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    DWORD error;
    if (callFails(QZHOST_FindFirstFileA, &error)) return failFind(error);
    char folder[kHostPath], last[MAX_PATH];
    PathState state;
    bool atRoot = false;
    struct stat st;
    Lookup how;
    how.wildcards = true;
    how.plainEntry = true;
    how.last = last;
    how.atRoot = &atRoot;
    how.st = &st;
    if (DWORD e = resolve(pattern, folder, sizeof folder, &state, how)) return failFind(e);
    if (!data) return failFind(ERROR_INVALID_PARAMETER);

    WIN32_FIND_DATAA *list = nullptr;
    size_t count = 0;
    if (how.entry) {
        // A plain name: folder names the entry itself.
        if (state == kPathExists) {
            if (!how.statted && lstat(folder, &st) != 0) return failFind(ERROR_FILE_NOT_FOUND);
            struct stat target;
            if (S_ISLNK(st.st_mode) && stat(folder, &target) == 0) st = target;   // a dangling link is itself
            list = (WIN32_FIND_DATAA *)malloc(sizeof *list);
            if (!list) return failFind(ERROR_NOT_ENOUGH_MEMORY);
            fill(list, folder, st, last);
            return startSearch(list, 1, data);
        }
        if (posixNames() && bytesAsTheyAre()) return failFind(ERROR_FILE_NOT_FOUND);
        char entry[kHostPath];
        strcpy(entry, folder);
        folderOf(entry, folder);
        atRoot = false;   // a plain name is never "." or ".."
    } else if (!hasWildcards(last)) {
        // A plain name: trailing dots and spaces do not count, as for any name.
        size_t n = strlen(last);
        while (n > 0 && (last[n - 1] == '.' || last[n - 1] == ' ') && dots(last) == 0) last[--n] = 0;
    }
    if (!*last) return failFind(ERROR_FILE_NOT_FOUND);

    // The folder of a missing plain name was looked at by the resolution.
    const struct stat *folderSt = how.entry && how.folderStatted ? &how.folder : nullptr;
    if (!collect(folder, last, atRoot, &list, &count, &error, folderSt, folderSt && how.folderRead)) {
        free(list);
        return failFind(error);
    }
    return startSearch(list, count, data);
}

BOOL WINAPI FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA data) {
    DWORD error;
    if (callFails(QZHOST_FindNextFileA, &error)) return fail(error);
    Slot *s = slotGet(search, kSlotFind);
    if (!s) return fail(ERROR_INVALID_HANDLE);
    if (s->next >= s->count) return fail(ERROR_NO_MORE_FILES);
    if (data) *data = s->entries[s->next];
    ++s->next;
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE search) {
    if (!slotGet(search, kSlotFind)) return fail(ERROR_INVALID_HANDLE);
    slotClose(search);
    return TRUE;
}

} // extern "C"
