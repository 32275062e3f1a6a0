// text.cpp -- code page conversion, result texts, number formats.
#include "text.h"

#include <stdio.h>

#include "qzunpack.h"
#include "qzunpack_ext.h"

namespace qzunzip {

#ifdef _WIN32

bool ansiFromHost(const std::string &host, std::string *ansi) {
    *ansi = host;
    return true;
}

std::string hostFromAnsi(const std::string &ansi) {
    return ansi;
}

std::string displayPath(const std::string &ansi) {
    return ansi;
}

#else

namespace {

// Unicode of the bytes 0x80-0x9F of page 1252; the five bytes the page
// leaves undefined stand for the C1 controls of the same value.  Bytes
// 0xA0-0xFF are U+00A0-U+00FF.
const uint16_t kCp1252C1[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void putUtf8(uint32_t u, std::string &out) {
    if (u < 0x80) {
        out += (char)u;
    } else if (u < 0x800) {
        out += (char)(0xC0 | u >> 6);
        out += (char)(0x80 | (u & 0x3F));
    } else {
        out += (char)(0xE0 | u >> 12);
        out += (char)(0x80 | (u >> 6 & 0x3F));
        out += (char)(0x80 | (u & 0x3F));
    }
}

// One character of UTF-8 at s[i]; i moves past it.  A malformed sequence
// gives 0xFFFD for its first byte.
uint32_t getUtf8(const std::string &s, size_t &i) {
    const unsigned char c = (unsigned char)s[i++];
    if (c < 0x80)
        return c;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (more < 0 || i + more > s.size())
        return 0xFFFD;
    uint32_t u = c & (0x3F >> more);
    for (int k = 0; k < more; ++k) {
        const unsigned char t = (unsigned char)s[i + k];
        if ((t & 0xC0) != 0x80)
            return 0xFFFD;
        u = u << 6 | (t & 0x3F);
    }
    i += more;
    return u;
}

int ansiByte(uint32_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return (int)u;
    for (int k = 0; k < 32; ++k)
        if (kCp1252C1[k] == u)
            return 0x80 + k;
    return -1;
}

// Names read as UTF-8 make UTF-8 the library's ANSI page: nothing to convert.
bool utf8Page() {
    return (QzGetExtensions() & QZ_EXT_UTF8_NAMES) != 0;
}

}  // namespace

bool ansiFromHost(const std::string &host, std::string *ansi) {
    if (utf8Page()) {
        *ansi = host;
        return true;
    }
    bool exact = true;
    ansi->clear();
    for (size_t i = 0; i < host.size();) {
        int b = ansiByte(getUtf8(host, i));
        if (b < 0) {
            b = '?';
            exact = false;
        }
        *ansi += (char)b;
    }
    return exact;
}

std::string hostFromAnsi(const std::string &ansi) {
    if (utf8Page())
        return ansi;
    std::string out;
    for (unsigned char c : ansi)
        putUtf8(c >= 0x80 && c < 0xA0 ? kCp1252C1[c - 0x80] : c, out);
    return out;
}

std::string displayPath(const std::string &ansi) {
    std::string s = hostFromAnsi(ansi);
    for (char &c : s)
        if (c == '\\')
            c = '/';
    return s;
}

#endif

std::string resultName(int16_t code) {
    const char *text = "unknown result";
#define QZUNZIP_TEXT_(name, value, words) \
    if (code == (value))                  \
        text = words;
    QZ_RESULT_CODES(QZUNZIP_TEXT_)
#undef QZUNZIP_TEXT_
    return std::to_string(code) + " " + text;
}

std::string shortSize(uint64_t bytes) {
    if (bytes < 10000)
        return std::to_string(bytes);
    static const char *units[] = {"KB", "MB", "GB"};
    double v = (double)bytes / 1000.0;
    int u = 0;
    while (v >= 1000.0 && u < 2) {
        v /= 1000.0;
        ++u;
    }
    char buf[32];
    snprintf(buf, sizeof buf, v < 100.0 ? "%.1f %s" : "%.0f %s", v, units[u]);
    return buf;
}

std::string dosDateTime(uint16_t date, uint16_t time) {
    char buf[32];
    snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u", 1980u + (date >> 9), (date >> 5) & 15u, date & 31u,
             time >> 11, (time >> 5) & 63u);
    return buf;
}

}  // namespace qzunzip
