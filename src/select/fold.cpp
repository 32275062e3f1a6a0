// fold.cpp -- case-folded comparison of two OEM strings, whole or over a
// prefix, used wherever directories are compared.
//
// Both strings are copied into global memory, converted to ANSI and upper-
// cased by the ANSI code page's rules; the caller's strings never change.
// A copy that cannot be allocated makes the strings count as equal: the
// callers then fall back to the name match alone.
#include "select/select.h"

namespace qz {
namespace select {
namespace {

// An upper-cased ANSI copy of an OEM string in fixed global memory, or null.
char *foldedCopy(const char *s) {
    if (!s) s = "";
    const SIZE_T bytes = static_cast<SIZE_T>(lstrlenA(s)) + 1;
    char *copy = static_cast<char *>(GlobalAlloc(GMEM_FIXED, bytes));
    if (!copy) return nullptr;
    qz::oemToAnsi(s, copy);
    CharUpperA(copy);
    return copy;
}

void release(char *a, char *b) {
    if (a) GlobalFree(a);
    if (b) GlobalFree(b);
}

}  // namespace

int foldedCompare(const char *a, const char *b) {
    char *fa = foldedCopy(a);
    char *fb = foldedCopy(b);
    int result = 0;
    if (fa && fb) result = lstrcmpA(fa, fb);
    release(fa, fb);
    return result;
}

int foldedPrefixCompare(const char *a, const char *b, int n) {
    if (n <= 0) return 0;
    char *fa = foldedCopy(a);
    char *fb = foldedCopy(b);
    int result = 0;
    if (fa && fb) {
        const uint8_t *x = reinterpret_cast<const uint8_t *>(fa);
        const uint8_t *y = reinterpret_cast<const uint8_t *>(fb);
        for (int i = 0; i < n;) {
            // A double-byte character is one 16-bit unit; a lead byte right
            // before the terminator stands alone.
            const bool pair = IsDBCSLeadByte(x[i]) && x[i + 1] != 0;
            const int ux = pair ? (x[i] << 8) | x[i + 1] : x[i];
            const int uy = pair && y[i] != 0 ? (y[i] << 8) | y[i + 1] : y[i];
            if (ux != uy) {
                result = ux < uy ? -1 : 1;
                break;
            }
            if (x[i] == 0) break;  // both strings end here
            i += pair ? 2 : 1;
        }
    }
    release(fa, fb);
    return result;
}

}  // namespace select
}  // namespace qz
