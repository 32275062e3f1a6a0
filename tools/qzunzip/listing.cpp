// listing.cpp -- the entry listing and the archive comment.
#include "listing.h"

#include <stdio.h>

#include <vector>

#include "text.h"

namespace qzunzip {

std::string methodName(const QzEntryRecord &r) {
    std::string m;
    switch (r.method) {
    case 0: m = "Stored"; break;
    case 1: m = "Shrunk"; break;
    case 2: case 3: case 4: case 5: m = "Reduce" + std::to_string(r.method - 1); break;
    case 6: m = "Implode"; break;
    case 8: m = std::string("Defl:") + "NXFS"[(r.flags >> 1) & 3]; break;
    case 9: m = "Defl64"; break;
    case 12: m = "BZip2"; break;
    case 14: m = "LZMA"; break;
    case 93: m = "Zstd"; break;
    case 95: m = "XZ"; break;
    case 98: m = "PPMd"; break;
    case 99: m = "AES"; break;
    default: m = "Unk:" + std::to_string(r.method); break;
    }
    if (r.flags & 1)
        m += '*';
    return m;
}

std::string attributeLetters(uint32_t a) {
    static const struct {
        uint32_t bit;
        char letter;
    } kLetters[] = {{0x01, 'r'}, {0x02, 'h'}, {0x04, 's'}, {0x08, 'v'}, {0x10, 'd'}, {0x20, 'a'}};
    std::string s;
    for (const auto &l : kLetters)
        s += (a & l.bit) ? l.letter : '-';
    return s;
}

namespace {

// The share saved by compression, through the library's formula: with the
// packed size as the part, Qz4ZipPercent gives what is left out.  Sizes
// above 2 GB are halved together until they fit its 32-bit arguments.
int ratio(uint64_t size, uint64_t packed) {
    while (size > 0x7FFFFFFF) {
        size >>= 1;
        packed >>= 1;
    }
    if (packed > size)
        packed = size;
    return Qz4ZipPercent((int32_t)size, (int32_t)packed);
}

}  // namespace

void printListing(std::ostream &out, const std::vector<const ArchiveEntry *> &entries) {
    char line[256];
    out << "      Size     Packed Ratio Method   Date       Time  CRC-32   Attr   Name\n"
           "---------- ---------- ----- -------- ---------------- -------- ------ ----\n";
    uint64_t size = 0, packed = 0;
    for (const ArchiveEntry *e : entries) {
        const QzEntryRecord &r = e->record;
        snprintf(line, sizeof line, "%10llu %10llu %4d%% %-8s %s %08lx %s ", (unsigned long long)e->size,
                 (unsigned long long)e->packed, ratio(e->size, e->packed), methodName(r).c_str(),
                 dosDateTime(r.dosDate, r.dosTime).c_str(), (unsigned long)r.crc32,
                 attributeLetters(r.externalAttributes).c_str());
        out << line << hostFromAnsi(e->name) << "\n";
        size += e->size;
        packed += e->packed;
    }
    snprintf(line, sizeof line,
             "---------- ---------- -----                                           ----\n"
             "%10llu %10llu %4d%%                                           %lu %s\n",
             (unsigned long long)size, (unsigned long long)packed, ratio(size, packed),
             (unsigned long)entries.size(), entries.size() == 1 ? "entry" : "entries");
    out << line;
}

int16_t printComment(std::ostream &out, QzHandle archive) {
    // 0xFFFF would mean "no buffer"; the longest comment is 65,535 bytes.
    std::vector<char> comment(0xFFFE + 1, '\0');
    const int16_t r = Qz4ZipComment(archive, comment.data(), 0xFFFE);
    if (r == QZ_OK || r == QZ_TOO_LONG) {
        std::string text = hostFromAnsi(comment.data());
        out << text;
        if (!text.empty() && text.back() != '\n')
            out << "\n";
    }
    return r;
}

}  // namespace qzunzip
