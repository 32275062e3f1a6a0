// tokenize.cpp -- the specification tokenizer: cuts a writable copy of a
// specification list into its specifications, in place.
//
// Specifications are separated by runs of bytes 1 to 32.  One that holds
// such bytes is written between double quotes; quotes are not escaped, and
// a quote inside an unquoted specification is an ordinary character.  A
// quote that is never closed takes the rest of the list.
#include "select/select.h"

namespace qz {
namespace select {
namespace {

inline bool isSeparator(char c) {
    const uint8_t b = static_cast<uint8_t>(c);
    return b >= 1 && b <= 32;
}

}  // namespace

char *nextSpec(char **cursor) {
    if (!cursor || !*cursor) return nullptr;
    char *p = *cursor;
    while (isSeparator(*p)) ++p;
    if (*p == '\0') {
        *cursor = p;
        return nullptr;
    }
    char *token;
    if (*p == '"') {
        token = ++p;
        while (*p && *p != '"') p = CharNextA(p);
    } else {
        token = p;
        while (*p && static_cast<uint8_t>(*p) > 32) p = CharNextA(p);
    }
    if (*p) *p++ = '\0';  // the closing quote or the separating byte
    *cursor = p;
    return token;
}

}  // namespace select
}  // namespace qz
