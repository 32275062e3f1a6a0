// backtrack_reference.h -- the wildcard rules written down directly as two
// mutually recursive functions, the way they are stated.  It takes
// exponential time on patterns with many '*' runs, so it serves only as the
// reference that the library's matcher is compared with on short inputs
// (the property test) and as the baseline of the benchmark.
#ifndef QZ_TESTS_SELECT_BACKTRACK_REFERENCE_H
#define QZ_TESTS_SELECT_BACKTRACK_REFERENCE_H

#include "platform/win32.h"

namespace backtrack {

inline bool isSep(char c) { return c == '/' || c == '\\'; }

inline bool fits(const char *name, const char *c) {
    return isSep(*c) ? isSep(*name) : *name == *c;
}

inline bool core(const char *n, const char *p);

// p on a '*', the name not exhausted.
inline bool star(const char *n, const char *p) {
    while (*p == '*' || *p == '?') {
        if (*p == '?') {
            if (!*n) return false;
            n = CharNextA(n);
        }
        ++p;
    }
    if (!*p) return true;
    const char *c = p;
    const char b = p[-1];
    for (; *n; n = CharNextA(n)) {
        if (!fits(n, c)) continue;
        if (core(n, c)) return true;
        if (b == '?') return false;
    }
    return false;
}

inline bool core(const char *n, const char *p) {
    if (!*p) return !*n;
    for (;;) {
        if (!*n) return p[0] == '*' && p[1] == '\0';
        if (*p == '*') return star(n, p);
        if (isSep(*p)) {
            if (!isSep(*n)) return false;
        } else if (*p != '?' && *p != *n) {
            return false;
        }
        n = CharNextA(n);
        p = CharNextA(p);
        if (!*p) return !*n;
    }
}

}  // namespace backtrack

#endif
