// codepage.cpp -- the ANSI and OEM code pages: conversion tables, lead
// bytes, upper case, and the translation of names between the ANSI code
// page of the interface and UTF-8 on the file system.
//
// Conversions between OEM and ANSI go through Unicode, as on Windows: the
// OEM byte becomes its Unicode character, which becomes the ANSI byte of
// the same character or, failing that, the byte of the best-fit table, or
// '?'.  The best-fit tables hold the substitutes Windows makes for the
// characters of one page that the other lacks (for example the box-drawing
// characters of page 437 become '+', '-' and the broken bar of page 1252).
// They were measured byte by byte on the Win32 conversion.
//
// In the UTF-8 page (the extension mode's) both pages are UTF-8: OEM and
// ANSI conversions copy, names reach the file system as they are, and a
// character is a whole UTF-8 sequence (a byte that starts none stands
// alone).  The page chosen before comes back when the mode ends.
#include "platform/posix/posix.h"

#include <string.h>

namespace qz::posix {

namespace {

// Unicode of the bytes 0x80-0xFF of page 1252.  The five bytes that the page
// leaves undefined map to the C1 controls of the same value, as on Windows.
const uint16_t kCp1252High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

// Unicode of the bytes 0x80-0xFF of page 437.  Bytes below 0x80 are ASCII
// (the controls stay controls; glyphs are not substituted).
const uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

struct BestFit {
    uint16_t unicode;
    uint8_t  byte;
};

// Characters of page 437 that page 1252 lacks, and what they become there.
const BestFit kBestFit1252[] = {
    {0x0393, 0x47}, {0x0398, 0x54}, {0x03A3, 0x53}, {0x03A6, 0x46},
    {0x03A9, 0x4F}, {0x03B1, 0x61}, {0x03B4, 0x64}, {0x03B5, 0x65},
    {0x03C0, 0x70}, {0x03C3, 0x73}, {0x03C4, 0x74}, {0x03C6, 0x66},
    {0x207F, 0x6E}, {0x20A7, 0x50}, {0x2219, 0xB7}, {0x221A, 0x76},
    {0x221E, 0x38}, {0x2229, 0x6E}, {0x2248, 0x98}, {0x2261, 0x3D},
    {0x2264, 0x3D}, {0x2265, 0x3D}, {0x2310, 0xAC}, {0x2320, 0x28},
    {0x2321, 0x29}, {0x2500, 0x2D}, {0x2502, 0xA6}, {0x250C, 0x2B},
    {0x2510, 0x2B}, {0x2514, 0x2B}, {0x2518, 0x2B}, {0x251C, 0x2B},
    {0x2524, 0xA6}, {0x252C, 0x2D}, {0x2534, 0x2D}, {0x253C, 0x2B},
    {0x2550, 0x2D}, {0x2551, 0xA6}, {0x2552, 0x2B}, {0x2553, 0x2B},
    {0x2554, 0x2B}, {0x2555, 0x2B}, {0x2556, 0x2B}, {0x2557, 0x2B},
    {0x2558, 0x2B}, {0x2559, 0x2B}, {0x255A, 0x2B}, {0x255B, 0x2B},
    {0x255C, 0x2B}, {0x255D, 0x2B}, {0x255E, 0xA6}, {0x255F, 0xA6},
    {0x2560, 0xA6}, {0x2561, 0xA6}, {0x2562, 0xA6}, {0x2563, 0xA6},
    {0x2564, 0x2D}, {0x2565, 0x2D}, {0x2566, 0x2D}, {0x2567, 0x2D},
    {0x2568, 0x2D}, {0x2569, 0x2D}, {0x256A, 0x2B}, {0x256B, 0x2B},
    {0x256C, 0x2B}, {0x2580, 0xAF}, {0x2584, 0x5F}, {0x2588, 0xA6},
    {0x258C, 0xA6}, {0x2590, 0xA6}, {0x2591, 0xA6}, {0x2592, 0xA6},
    {0x2593, 0xA6}, {0x25A0, 0xA6},
};

// Characters of page 1252 that page 437 lacks, and what they become there.
const BestFit kBestFit437[] = {
    {0x0081, 0x3F}, {0x008D, 0x3F}, {0x008F, 0x3F}, {0x0090, 0x3F},
    {0x009D, 0x3F}, {0x00A4, 0x0F}, {0x00A6, 0xDD}, {0x00A7, 0x15},
    {0x00A8, 0x22}, {0x00A9, 0x63}, {0x00AD, 0x2D}, {0x00AE, 0x72},
    {0x00AF, 0x5F}, {0x00B3, 0x33}, {0x00B4, 0x27}, {0x00B6, 0x14},
    {0x00B8, 0x2C}, {0x00B9, 0x31}, {0x00BE, 0x5F}, {0x00C0, 0x41},
    {0x00C1, 0x41}, {0x00C2, 0x41}, {0x00C3, 0x41}, {0x00C8, 0x45},
    {0x00CA, 0x45}, {0x00CB, 0x45}, {0x00CC, 0x49}, {0x00CD, 0x49},
    {0x00CE, 0x49}, {0x00CF, 0x49}, {0x00D0, 0x44}, {0x00D2, 0x4F},
    {0x00D3, 0x4F}, {0x00D4, 0x4F}, {0x00D5, 0x4F}, {0x00D7, 0x78},
    {0x00D8, 0x4F}, {0x00D9, 0x55}, {0x00DA, 0x55}, {0x00DB, 0x55},
    {0x00DD, 0x59}, {0x00DE, 0x5F}, {0x00E3, 0x61}, {0x00F0, 0x64},
    {0x00F5, 0x6F}, {0x00F8, 0x6F}, {0x00FD, 0x79}, {0x00FE, 0x5F},
    {0x0152, 0x4F}, {0x0153, 0x6F}, {0x0160, 0x53}, {0x0161, 0x73},
    {0x0178, 0x59}, {0x017D, 0x5A}, {0x017E, 0x7A}, {0x02C6, 0x5E},
    {0x02DC, 0x7E}, {0x2013, 0x2D}, {0x2014, 0x2D}, {0x2018, 0x60},
    {0x2019, 0x27}, {0x201A, 0x2C}, {0x201C, 0x22}, {0x201D, 0x22},
    {0x201E, 0x2C}, {0x2020, 0x2B}, {0x2021, 0xD8}, {0x2022, 0x07},
    {0x2026, 0x2E}, {0x2030, 0x25}, {0x2039, 0x3C}, {0x203A, 0x3E},
    {0x20AC, 0x3F}, {0x2122, 0x54},
};

int  g_ansi = 1252;     // the page chosen by the host: 1252 or 932
bool g_utf8 = false;    // the UTF-8 page is in force over it


int unicodeTo1252(uint32_t u) {
    if (u < 0x80) return (int)u;
    for (int i = 0; i < 128; ++i) {
        if (kCp1252High[i] == u) return 0x80 + i;
    }
    return -1;
}

int unicodeTo437(uint32_t u) {
    if (u < 0x80) return (int)u;
    for (int i = 0; i < 128; ++i) {
        if (kCp437High[i] == u) return 0x80 + i;
    }
    return -1;
}

int bestFit(const BestFit *table, size_t n, uint32_t u) {
    for (size_t i = 0; i < n; ++i) {
        if (table[i].unicode == u) return table[i].byte;
    }
    return '?';
}

// Decodes one UTF-8 character at s; malformed input gives U+FFFD and moves
// one byte.
uint32_t getUtf8(const unsigned char *s, size_t *len) {
    unsigned char c = s[0];
    if (c < 0x80) { *len = 1; return c; }
    int n = (c >= 0xF0 && c < 0xF8) ? 4 : (c >= 0xE0) && c < 0xF0 ? 3 : (c >= 0xC2 && c < 0xE0) ? 2 : 0;
    if (n == 0) { *len = 1; return 0xFFFD; }
    uint32_t u = c & (0x3F >> (n - 1));
    for (int i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) { *len = 1; return 0xFFFD; }
        u = (u << 6) | (s[i] & 0x3F);
    }
    *len = (size_t)n;
    return u;
}

} // namespace

bool bytesAsTheyAre() {
    return g_utf8 || g_ansi == 932;
}

int ansiCodePage() {
    return g_utf8 ? kUtf8Page : g_ansi;
}

void setUtf8Page(bool on) {
    g_utf8 = on;
}

uint32_t oemUnicode(unsigned char c) {
    return c < 0x80 ? c : kCp437High[c - 0x80];
}

bool appendUtf8(uint32_t u, char *out, size_t size, size_t *at) {
    unsigned char b[4];
    size_t n;
    if (u < 0x80) { b[0] = (unsigned char)u; n = 1; }
    else if (u < 0x800) { b[0] = 0xC0 | (u >> 6); b[1] = 0x80 | (u & 0x3F); n = 2; }
    else { b[0] = 0xE0 | (u >> 12); b[1] = 0x80 | ((u >> 6) & 0x3F); b[2] = 0x80 | (u & 0x3F); n = 3; }
    if (*at + n >= size) return false;
    memcpy(out + *at, b, n);
    *at += n;
    return true;
}

size_t utf8Length(const unsigned char *s, size_t n) {
    if (n == 0) return 0;
    unsigned char c = s[0];
    if (c < 0x80) return 1;
    // The range of the second byte depends on the first: it keeps out
    // overlong forms, surrogates and code points above U+10FFFF.
    size_t len;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c >= 0xE0 && c <= 0xEF) len = 3;
    else if (c >= 0xF0 && c <= 0xF4) len = 4;
    else return 0;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
    if (n < len || s[1] < low || s[1] > high) return 0;
    for (size_t i = 2; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
    }
    return len;
}

size_t multiByteLength(const unsigned char *s) {
    if (g_utf8) {
        size_t len = utf8Length(s, 4);
        return len ? len : 1;
    }
    return (isLead(s[0]) && s[1]) ? 2 : 1;
}

bool isLead(unsigned char c) {
    return !g_utf8 && g_ansi == 932 && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

unsigned char upper(unsigned char c) {
    if (c >= 'a' && c <= 'z') return (unsigned char)(c - 32);
    if (bytesAsTheyAre()) return c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return (unsigned char)(c - 32);
    switch (c) {
    case 0x9A: return 0x8A;  // s caron
    case 0x9C: return 0x8C;  // oe
    case 0x9E: return 0x8E;  // z caron
    case 0xFF: return 0x9F;  // y diaeresis
    default:   return c;
    }
}

unsigned char oemToAnsi(unsigned char c) {
    if (c < 0x80 || bytesAsTheyAre()) return c;
    uint32_t u = kCp437High[c - 0x80];
    int a = unicodeTo1252(u);
    if (a < 0) a = bestFit(kBestFit1252, sizeof kBestFit1252 / sizeof kBestFit1252[0], u);
    return (unsigned char)a;
}

unsigned char ansiToOem(unsigned char c) {
    if (c < 0x80 || bytesAsTheyAre()) return c;
    uint32_t u = kCp1252High[c - 0x80];
    int o = unicodeTo437(u);
    if (o < 0) o = bestFit(kBestFit437, sizeof kBestFit437 / sizeof kBestFit437[0], u);
    return (unsigned char)o;
}

bool ansiToHost(const char *ansi, size_t n, char *out, size_t size) {
    size_t at = 0;
    bool copy = bytesAsTheyAre();
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = (unsigned char)ansi[i];
        uint32_t u = (c < 0x80 || copy) ? c : kCp1252High[c - 0x80];
        if (u < 0x80 || copy) {
            if (at + 1 >= size) return false;
            out[at++] = (char)c;
        } else if (!appendUtf8(u, out, size, &at)) {
            return false;
        }
    }
    if (at >= size) return false;
    out[at] = 0;
    return true;
}

bool hostToAnsi(const char *utf8, char *out, size_t size) {
    const unsigned char *s = (const unsigned char *)utf8;
    size_t at = 0;
    while (*s) {
        if (at + 1 >= size) return false;
        if (*s < 0x80 || bytesAsTheyAre()) {
            out[at++] = (char)*s++;
            continue;
        }
        size_t len;
        uint32_t u = getUtf8(s, &len);
        s += len;
        int a = unicodeTo1252(u);
        if (a < 0) a = bestFit(kBestFit1252, sizeof kBestFit1252 / sizeof kBestFit1252[0], u);
        out[at++] = (char)a;
    }
    out[at] = 0;
    return true;
}

bool sameName(const char *a, const char *b) {
    const unsigned char *p = (const unsigned char *)a, *q = (const unsigned char *)b;
    while (*p && *q) {
        size_t len = charLength(p);
        if (len > 1) {
            for (size_t i = 0; i < len; ++i) {
                if (p[i] != q[i]) return false;
            }
            p += len;
            q += len;
            continue;
        }
        if (upper(*p) != upper(*q)) return false;
        ++p;
        ++q;
    }
    return *p == *q;
}

uint32_t nameKey(const char *ansi) {
    uint32_t key = 2166136261u;   // FNV-1a over the name as sameName sees it
    for (const unsigned char *p = (const unsigned char *)ansi; *p;) {
        size_t len = charLength(p);
        for (size_t i = 0; i < len; ++i, ++p) key = (key ^ (len == 1 ? upper(*p) : *p)) * 16777619u;
    }
    return key;
}

void resetCodepage() {
    g_ansi = 1252;
    g_utf8 = false;
}

} // namespace qz::posix

extern "C" int qzhost_set_codepage(int ansi) {
    if (ansi != 1252 && ansi != 932) return -1;
    qz::posix::g_ansi = ansi;
    return 0;
}
