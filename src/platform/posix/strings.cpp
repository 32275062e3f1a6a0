// strings.cpp -- the lstr* functions and the user32 character functions.
//
// Comparisons: lstrcmpA compares bytes as unsigned values; lstrcmpiA folds
// both strings with the CharUpperA rules first (the bytes of multibyte
// characters are compared as they are).  Windows orders unequal strings by
// its linguistic sort instead; the two agree on equality and on the order of
// strings that differ only in letters of the same case or in digits, which
// is what the library relies on.
#include "platform/posix/posix.h"

#include <string.h>

using namespace qz::posix;

namespace {

// CharUpperA and its kin take a character instead of a string when the
// pointer's high bits are 0.
bool isSingleChar(const void *p) {
    return ((uintptr_t)p >> 16) == 0;
}

} // namespace

extern "C" {

LPSTR WINAPI lstrcpyA(LPSTR to, LPCSTR from) {
    if (!to || !from) return nullptr;
    memmove(to, from, strlen(from) + 1);
    return to;
}

LPSTR WINAPI lstrcpynA(LPSTR to, LPCSTR from, int max) {
    if (!to || !from) return nullptr;
    if (max <= 0) return to;
    int i = 0;
    for (; i < max - 1 && from[i]; ++i) to[i] = from[i];
    to[i] = 0;
    return to;
}

LPSTR WINAPI lstrcatA(LPSTR to, LPCSTR from) {
    if (!to || !from) return nullptr;
    memmove(to + strlen(to), from, strlen(from) + 1);
    return to;
}

int WINAPI lstrlenA(LPCSTR s) {
    return s ? (int)strlen(s) : 0;
}

int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
    if (!a || !b) return a ? 1 : (b ? -1 : 0);
    const unsigned char *p = (const unsigned char *)a, *q = (const unsigned char *)b;
    while (*p && *p == *q) { ++p; ++q; }
    return *p < *q ? -1 : (*p > *q ? 1 : 0);
}

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
    if (!a || !b) return a ? 1 : (b ? -1 : 0);
    const unsigned char *p = (const unsigned char *)a, *q = (const unsigned char *)b;
    for (;;) {
        unsigned char x = *p, y = *q;
        size_t len = charLength(p);
        if (len == 1) { x = upper(x); y = upper(y); }
        if (x != y || x == 0) return x < y ? -1 : (x > y ? 1 : 0);
        ++p;
        ++q;
        // The other bytes of a character are compared as they are.
        for (size_t i = 1; i < len; ++i) {
            if (*p != *q) return *p < *q ? -1 : 1;
            ++p;
            ++q;
        }
    }
}

// UTF-8 is no double-byte page: no byte is a lead byte in it.
BOOL WINAPI IsDBCSLeadByte(BYTE c) {
    return isLead(c) ? TRUE : FALSE;
}

BOOL WINAPI OemToCharA(LPCSTR from, LPSTR to) {
    if (!from || !to) return fail(ERROR_INVALID_PARAMETER);
    size_t i = 0;
    for (; from[i]; ++i) {
        unsigned char c = (unsigned char)from[i];
        to[i] = (char)(c < 0x80 ? c : oemToAnsi(c));   // ASCII is the same in both pages
    }
    to[i] = 0;
    return TRUE;
}

BOOL WINAPI CharToOemA(LPCSTR from, LPSTR to) {
    if (!from || !to) return fail(ERROR_INVALID_PARAMETER);
    size_t i = 0;
    for (; from[i]; ++i) {
        unsigned char c = (unsigned char)from[i];
        to[i] = (char)(c < 0x80 ? c : ansiToOem(c));   // ASCII is the same in both pages
    }
    to[i] = 0;
    return TRUE;
}

LPSTR WINAPI CharUpperA(LPSTR s) {
    if (isSingleChar(s)) {
        return (LPSTR)(uintptr_t)upper((unsigned char)(uintptr_t)s);
    }
    unsigned char *p = (unsigned char *)s;
    while (*p) {
        size_t len = charLength(p);
        if (len == 1) *p = upper(*p);
        p += len;
    }
    return s;
}

LPSTR WINAPI CharNextA(LPCSTR s) {
    if (!s || !*s) return (LPSTR)s;
    return (LPSTR)(s + charLength((const unsigned char *)s));
}

LPSTR WINAPI CharPrevA(LPCSTR start, LPCSTR s) {
    if (!start || !s || s <= start) return (LPSTR)start;
    // Walk from the start so that a trail byte is never taken for a
    // character of its own.
    const char *p = start;
    for (;;) {
        const char *next = CharNextA(p);
        if (next >= s || next == p) return (LPSTR)p;
        p = next;
    }
}

} // extern "C"
