// match.cpp -- the wildcard matcher and its export QzMatchFile.
//
// The rules, on characters (one byte, or a lead byte and its trail byte):
//
//   core(n, p)  name from character n against pattern from character p
//     pattern exhausted         -> fits when the name is exhausted too
//     repeat:
//       name exhausted          -> fits when the rest of the pattern is one '*'
//       '*'                     -> star(n, p)
//       '/' or '\'              -> the name character must be a separator
//       '?'                     -> any name character
//       other                   -> same first byte
//       advance both; pattern exhausted -> fits when the name is too
//
//   star(n, p)  p on a '*', name not exhausted
//     skip the run of '*' and '?' (each '?' takes one name character and
//     fails on an exhausted name); pattern exhausted -> fits.
//     c = the character after the run, b = the last one of the run.
//     At each name position from n whose character fits c: core(there, c)
//     fits -> fits; else if b is '?' -> no fit (only the first fitting
//     position is tried); else go on.  Name exhausted -> no fit.
//
// Written as the two mutually recursive functions this takes exponential
// time on names and patterns with many '*' runs.  We evaluate the same
// function bottom-up instead.  A pattern is a chain of segments: a run of
// non-'*' characters (the literal part) followed by a wildcard run.  core()
// at the start of a segment depends only on core() at the start of the next
// segment, so we keep one row per segment (the answer for every name
// position) and compute the rows from the last segment to the first:
//
//   b == '*':  star fits  <=>  some position t >= n' has core(t, next) true
//              (core(t, next) true implies that t fits c), a suffix OR;
//   b == '?':  star fits  <=>  core(f, next) for the first f >= n' that
//              fits c, a suffix "first fitting position".
//
// With m name and k pattern characters that is O(m * k) time, two rows of
// m + 1 flags on the stack, no recursion and no allocation.
#include "select/select.h"

namespace qz {
namespace select {
namespace {

enum { kMaxBytes = kNameBytes - 1 };

// The characters of a string of at most kMaxBytes bytes, as found by
// CharNextA: first[i] is the first byte of character i.
struct Chars {
    int count;
    uint8_t first[kNameBytes];
};

void scanChars(const char *s, Chars &out) {
    int n = 0;
    const char *p = s;
    while (*p && p - s < kMaxBytes) {
        const uint8_t b = static_cast<uint8_t>(*p);
        out.first[n++] = b;
        // No code page has a lead byte below 0x81, so ASCII steps by one
        // without asking; everything else is stepped by CharNextA.
        if (b < 0x80) {
            ++p;
            continue;
        }
        const char *q = CharNextA(p);
        if (q == p) break;
        p = q;
    }
    out.count = n;
}

// Does the name character fit the pattern character c (no wildcard)?
inline bool fitsLiteral(uint8_t c, uint8_t nameChar) {
    return isPathSeparator((char)c) ? isPathSeparator((char)nameChar) : c == nameChar;
}

}  // namespace

bool matchCore(const char *name, const char *pattern) {
    Chars nm, pt;
    scanChars(name, nm);
    scanChars(pattern, pt);
    const int m = nm.count, k = pt.count;
    const uint8_t *N = nm.first, *P = pt.first;
    if (k == 0) return m == 0;

    // Segment boundaries: segment s has its literal part [start, run) and
    // its wildcard run [run, end); run == k for the last one when the
    // pattern does not end with '*'.  At most one segment per two pattern
    // characters, plus one.
    uint16_t segStart[kNameBytes / 2 + 2], segRun[kNameBytes / 2 + 2],
             segEnd[kNameBytes / 2 + 2], segQ[kNameBytes / 2 + 2],
             segBefore[kNameBytes / 2 + 2];
    int segs = 0, fixed = 0;  // fixed: pattern characters that take one name character
    for (int j = 0;;) {
        int q = j;
        while (q < k && P[q] != '*') ++q;
        int e = q, marks = 0;
        while (e < k && (P[e] == '*' || P[e] == '?')) {
            if (P[e] == '?') ++marks;
            ++e;
        }
        segStart[segs] = static_cast<uint16_t>(j);
        segRun[segs] = static_cast<uint16_t>(q);
        segEnd[segs] = static_cast<uint16_t>(e);
        segQ[segs] = static_cast<uint16_t>(marks);
        segBefore[segs] = static_cast<uint16_t>(fixed);
        fixed += q - j + marks;
        ++segs;
        if (e >= k) break;
        j = e;
    }

    // next[t]: core(t, start of the following segment).  hit[t]: for a run
    // ending in '*', whether next[] holds anywhere from t on; for a run
    // ending in '?', the first position from t on that fits the character
    // after the run (m when none).
    bool rowA[kNameBytes + 1], rowB[kNameBytes + 1];
    bool *next = rowA, *cur = rowB;
    uint16_t hit[kNameBytes + 1];

    for (int s = segs - 1; s >= 0; --s) {
        const int r = segStart[s], q = segRun[s], e = segEnd[s], marks = segQ[s];
        const bool hasRun = q < k;
        const bool runToEnd = hasRun && e == k;
        const bool lastIsMark = hasRun && P[e - 1] == '?';
        if (hasRun && !runToEnd) {
            if (lastIsMark) {
                hit[m] = static_cast<uint16_t>(m);
                for (int t = m - 1; t >= 0; --t)
                    hit[t] = fitsLiteral(P[e], N[t]) ? static_cast<uint16_t>(t) : hit[t + 1];
            } else {
                hit[m] = next[m];
                for (int t = m - 1; t >= 0; --t) hit[t] = next[t] || hit[t + 1];
            }
        }
        // Every character before the segment takes one name character, and
        // so does every one from it on: outside [tBegin, tEnd] core() is
        // false or never asked for.  Only position 0 matters for the first
        // segment.
        const int tBegin = segBefore[s];
        const int tEnd = s == 0 ? 0 : m - (fixed - segBefore[s]);
        for (int t = 0; t <= m; ++t) cur[t] = false;
        bool any = false;
        for (int t = tBegin; t <= tEnd; ++t) {
            int i = t, j = r;
            bool fit;
            for (;;) {
                if (i == m) {
                    fit = P[j] == '*' && j + 1 == k;
                    break;
                }
                if (j == q) {  // on the '*' of the run: star(i, q)
                    const int i2 = i + marks;
                    if (i2 > m) fit = false;
                    else if (runToEnd) fit = true;
                    else if (lastIsMark) fit = hit[i2] < m && next[hit[i2]];
                    else fit = hit[i2] != 0;
                    break;
                }
                const uint8_t c = P[j];
                if (c != '?' && !fitsLiteral(c, N[i])) {
                    fit = false;
                    break;
                }
                ++i;
                ++j;
                if (j == k) {
                    fit = i == m;
                    break;
                }
            }
            cur[t] = fit;
            any = any || fit;
        }
        if (s == 0) return cur[0];
        // A segment before this one can only fit through its run, and so
        // only where this row holds somewhere.
        if (!any) return false;
        bool *done = next;
        next = cur;
        cur = done;
    }
    return false;  // not reached: segment 0 returns
}

}  // namespace select
}  // namespace qz

namespace {

// Is c a single-byte character at offset at of s, that is a character
// boundary whose next character starts one byte later?
bool singleByteAt(const char *s, const char *at, char c) {
    return at >= s && *at == c && CharNextA(at) == at + 1;
}

}  // namespace

QZ_API(int16_t) QzMatchFile(const char *name, const char *pattern) {
    char n[qz::kNameBytes], p[qz::kNameBytes];
    lstrcpynA(n, name ? name : "", sizeof n);
    lstrcpynA(p, pattern ? pattern : "", sizeof p);
    CharUpperA(n);
    CharUpperA(p);

    const int plen = lstrlenA(p);
    if (plen >= 2) {
        char *end = p + plen;
        char *last = CharPrevA(p, end);
        char *before = last > p ? CharPrevA(p, last) : p;
        const bool dotLast = last == end - 1 && singleByteAt(p, last, '.');
        const bool starDot = dotLast && before == last - 1 && singleByteAt(p, before, '*');
        if (starDot) {
            // The no-extension form: the last component of the name must
            // have no dot; then "X*." works as "X*".  The last of '.', '\',
            // '/' and ':' in the name decides; we find it walking forward,
            // since stepping back over multibyte text walks from the start.
            char lastMark = '\0';
            for (const char *c = n; *c; c = CharNextA(c))
                if (*c == '.' || *c == '\\' || *c == '/' || *c == ':') lastMark = *c;
            if (lastMark == '.') return 0;
            *last = '\0';
        } else if (plen >= 3 && last == end - 1 && singleByteAt(p, last, '*')) {
            // "X*.*": a name with or without a dot; works as "X*".
            char *dot = before;
            char *star = dot > p ? CharPrevA(p, dot) : p;
            if (dot == last - 1 && singleByteAt(p, dot, '.') && star == dot - 1 &&
                singleByteAt(p, star, '*'))
                *dot = '\0';
        }
    }
    return qz::select::matchCore(n, p) ? 1 : 0;
}
