// backtrack_reference.h -- the wildcard rules as they are stated, two mutually recursive functions:
// exponential on many '*' runs, so only a reference on short inputs (tests, fuzzing, benchmark).
#ifndef QZ_TESTS_SELECT_BACKTRACK_REFERENCE_H
#define QZ_TESTS_SELECT_BACKTRACK_REFERENCE_H

#include "platform/win32.h"

namespace qztest::backtrack {

inline bool fits(const char *n, const char *p) {
    return *p == '/' || *p == '\\' ? *n == '/' || *n == '\\' : *n == *p;
}

inline bool core(const char *n, const char *p);

// p on a '*', the name not exhausted.
inline bool star(const char *n, const char *p) {
    for (; *p == '*' || *p == '?'; ++p) {
        if (*p == '?' && !*n)
            return false;
        n = *p == '?' ? CharNextA(n) : n;
    }
    if (!*p)
        return true;
    for (; *n; n = CharNextA(n)) {
        if (fits(n, p) && core(n, p))
            return true;
        if (fits(n, p) && p[-1] == '?')
            return false;
    }
    return false;
}

inline bool core(const char *n, const char *p) {
    if (!*p)
        return !*n;
    while (*n) {
        if (*p == '*')
            return star(n, p);
        if (*p != '?' && !fits(n, p))
            return false;
        n = CharNextA(n);
        p = CharNextA(p);
        if (!*p)
            return !*n;
    }
    return p[0] == '*' && p[1] == '\0';
}

}  // namespace qztest::backtrack

#endif
