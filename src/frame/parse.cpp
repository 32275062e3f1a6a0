// parse.cpp -- the command-string parser: PKUNZIP-like switches to the
// option flag word and the password.
//
// Two dialects share the switch letters and the flag bits; the parse type
// picks one for the whole library:
//   standard (0)  every switch has its own '-' or '/'; -S takes a delimited
//                 password (-s"pass word", -s/pa"ss/); -J names the
//                 attributes NOT to restore (-jhr).
//   compact (1)   only the first switch needs a dash (-don = -d -o -n);
//                 -S takes a quoted password or the run up to a blank;
//                 -J names the attributes TO restore, from all four
//                 stripped; J only capital, t only small.
//
// All reading happens in a 128-byte copy that ends with its NUL; every
// look-ahead stops at that NUL, so nothing past the copy is ever read.  On
// an error the parse place records the offset where the parser stopped,
// counted from the first byte of the caller's string.
#include "frame/frame.h"
#include "platform/win32.h"

namespace qz {
namespace frame {
namespace {

// A blank: any non-zero byte that is at most 32 read as a signed byte, so
// the control characters, the space and every byte from 128 to 255.
inline bool isBlank(char c) {
    return c != '\0' && static_cast<int8_t>(c) <= 32;
}

inline char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

inline bool isDash(char c) { return c == '-' || c == '/'; }

const uint32_t kStripAll = OPT_STRIP_H | OPT_STRIP_S | OPT_STRIP_R | OPT_STRIP_N;

uint32_t stripBit(char letter) {
    switch (upper(letter)) {
    case 'H': return OPT_STRIP_H;
    case 'N': return OPT_STRIP_N;
    case 'R': return OPT_STRIP_R;
    case 'S': return OPT_STRIP_S;
    default: return 0;
    }
}

struct Parser {
    const char *s;       // the work copy, NUL-terminated
    int pos;             // the byte being looked at
    uint32_t *flags;
    char *password;      // kPasswordBytes bytes
    bool compact;

    int16_t fail(int16_t code, int place) {
        g.parsePlace = static_cast<int16_t>(place);
        return code;
    }

    void skipBlanks() {
        while (isBlank(s[pos])) ++pos;
    }

    void takePassword(int from, int to) {
        int n = 0;
        for (int i = from; i < to && n < kPasswordBytes - 1; ++i) password[n++] = s[i];
        password[n] = '\0';
        *flags |= OPT_PASSWORD;
    }

    // -S with pos on the byte after the S.
    int16_t passwordStandard() {
        const char delimiter = s[pos];
        if (delimiter == '\0') return fail(QZ_ERR_SWITCH, pos);
        const int from = pos + 1;
        const char *p = s + from;
        while (*p && *p != delimiter) p = CharNextA(p);
        const int close = static_cast<int>(p - s);
        if (*p == '\0' || close == from) return fail(QZ_ERR_SWITCH, close);
        takePassword(from, close);
        pos = close + 1;
        return QZ_OK;
    }

    int16_t passwordCompact() {
        if (s[pos] == '"') {
            const int from = pos + 1;
            int close = from;
            while (s[close] && s[close] != '"') ++close;
            if (s[close] == '\0' || close == from) return fail(QZ_ERR_SWITCH, close);
            takePassword(from, close);
            pos = close + 1;
            return QZ_OK;
        }
        if (s[pos] == '\0') return fail(QZ_ERR_SWITCH, pos);
        const int from = pos;
        while (s[pos] && !isBlank(s[pos])) ++pos;
        takePassword(from, pos);
        return QZ_OK;
    }

    // -J with pos on the byte after the J.
    int16_t attributesStandard() {
        const int from = pos;
        while (s[pos] && s[pos] != ' ') {
            const uint32_t bit = stripBit(s[pos]);
            if (!bit) return fail(QZ_ERR_SWITCH, pos);
            *flags |= bit;
            ++pos;
        }
        if (pos == from) return fail(QZ_ERR_SWITCH, pos);
        return QZ_OK;
    }

    int16_t attributesCompact() {
        for (uint32_t bit; (bit = stripBit(s[pos])) != 0; ++pos) *flags &= ~bit;
        if ((*flags & kStripAll) == kStripAll) return fail(QZ_ERR_SWITCH, pos);
        return QZ_OK;
    }

    // One switch, with pos on its letter.
    int16_t letter() {
        const int at = pos;
        const char raw = s[pos];
        if (raw == '\0') return fail(QZ_ERR_SWITCH, at + 1);
        ++pos;
        switch (upper(raw)) {
        case '$':
            if (*flags & OPT_LABEL) return fail(QZ_ERR_SWITCH_CONFLICT, at + 1);
            *flags |= OPT_LABEL;
            return QZ_OK;
        case '.': {
            const char modifier = upper(s[pos]);
            const int mat = pos;
            if (modifier == '\0') return fail(QZ_ERR_SWITCH, mat);
            ++pos;
            switch (modifier) {
            case 'D': *flags |= OPT_KEEP_DRIVE; return QZ_OK;
            case 'L': *flags |= OPT_LONG_NAMES; return QZ_OK;
            case 'O': *flags |= OPT_SKIP_LOCKED; return QZ_OK;
            case 'V':
                if (upper(s[pos]) == 'E') {
                    ++pos;
                    *flags |= OPT_VERSION_SAME;
                } else {
                    *flags |= OPT_VERSION_NEWER;
                }
                return QZ_OK;
            default: return fail(QZ_ERR_SWITCH, mat);
            }
        }
        case 'D': *flags |= OPT_DIRS; return QZ_OK;
        case 'F':
            if (*flags & OPT_NEWER) return fail(QZ_ERR_SWITCH_CONFLICT, at + 1);
            *flags |= OPT_FRESHEN;
            return QZ_OK;
        case 'N':
            *flags = (*flags & ~OPT_FRESHEN) | OPT_NEWER;
            return QZ_OK;
        case 'O':
            if (s[pos] == '-') {
                ++pos;
                *flags = (*flags & ~OPT_OVERWRITE) | OPT_NO_OVERWRITE;
            } else {
                *flags = (*flags & ~OPT_NO_OVERWRITE) | OPT_OVERWRITE;
            }
            return QZ_OK;
        case 'R':
            if (s[pos] == '-') {
                ++pos;
                *flags = (*flags & ~OPT_CLEAR_READONLY) | OPT_KEEP_READONLY;
            } else if (s[pos] == '+') {
                ++pos;
                *flags = (*flags & ~OPT_KEEP_READONLY) | OPT_CLEAR_READONLY;
            } else {
                *flags &= ~(OPT_CLEAR_READONLY | OPT_KEEP_READONLY);
            }
            return QZ_OK;
        case 'T':
            if (compact && raw != 't') return fail(QZ_ERR_SWITCH, at + 1);
            *flags |= OPT_TEST;
            return QZ_OK;
        case 'S':
            if (*flags & OPT_PASSWORD) return fail(QZ_ERR_SWITCH_CONFLICT, at + 1);
            return compact ? passwordCompact() : passwordStandard();
        case 'J':
            if (compact) {
                if (raw != 'J') return fail(QZ_ERR_SWITCH, at + 1);
                return attributesCompact();
            }
            return attributesStandard();
        default:
            return fail(QZ_ERR_SWITCH, at + 1);
        }
    }

    int16_t run() {
        skipBlanks();
        bool first = true;
        while (s[pos] != '\0') {
            if (isDash(s[pos])) {
                ++pos;
            } else if (first || !compact) {
                // Where a switch must start; the compact dialect takes any
                // other byte after the first switch as a further letter.
                return fail(QZ_ERR_SWITCH, pos + 1);
            }
            first = false;
            const int16_t result = letter();
            if (result != QZ_OK) return result;
            skipBlanks();
        }
        if (*flags & (OPT_FRESHEN | OPT_NEWER)) *flags &= ~(OPT_OVERWRITE | OPT_NO_OVERWRITE);
        return QZ_OK;
    }
};

}  // namespace

int16_t parse(const char *command, uint32_t *flags, char *password) {
    const bool compact = g.parseType;
    if (compact) *flags |= kStripAll;
    g.parsePlace = -1;
    password[0] = '\0';
    if (!command || command[0] == '\0') return QZ_OK;
    // Look at no more than the work buffer could hold.
    int length = 0;
    while (length < kCommandBytes && command[length] != '\0') ++length;
    if (length >= kCommandBytes) return QZ_TOO_LONG;

    char work[kCommandBytes];
    lstrcpynA(work, command, sizeof work);
    Parser parser{work, 0, flags, password, compact};
    return parser.run();
}

}  // namespace frame
}  // namespace qz
