// listing.cpp -- the entry listing and the archive comment.
#include "listing.h"

#include <stdio.h>

#include <vector>

#include "text.h"

namespace qzunzip {

std::string methodName(const QzEntryRecord &r) {
    switch (r.method) {
    case 0: return "Stored";
    case 1: return "Shrunk";
    case 2: case 3: case 4: case 5: return "Reduce" + std::to_string(r.method - 1);
    case 6: return "Implode";
    case 8: return std::string("Defl:") + "NXFS"[(r.flags >> 1) & 3];
    case 9: return "Defl64";
    case 12: return "BZip2";
    case 14: return "LZMA";
    case 93: return "Zstd";
    case 95: return "XZ";
    case 98: return "PPMd";
    case 99: return "AES";
    default: return "Unk:" + std::to_string(r.method);
    }
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

const char *files(size_t n) {
    return n == 1 ? "file" : "files";
}

}  // namespace

void printListing(std::ostream &out, const std::vector<const ArchiveEntry *> &entries, bool verbose) {
    char line[256];
    if (verbose)
        out << " Length   Method    Size  Cmpr    Date    Time   CRC-32   Name\n"
               "--------  ------  ------- ---- ---------- ----- --------  ----\n";
    else
        out << "  Length      Date    Time    Name\n"
               "---------  ---------- -----   ----\n";
    uint64_t size = 0, packed = 0;
    for (const ArchiveEntry *e : entries) {
        const QzEntryRecord &r = e->record;
        const std::string when = dosDateTime(r.dosDate, r.dosTime);
        if (verbose)
            snprintf(line, sizeof line, "%8llu  %-6s %8llu %3d%% %s %08lx  ", (unsigned long long)e->size,
                     methodName(r).c_str(), (unsigned long long)e->packed, ratio(e->size, e->packed),
                     when.c_str(), (unsigned long)r.crc32);
        else
            snprintf(line, sizeof line, "%9llu  %s   ", (unsigned long long)e->size, when.c_str());
        out << line << hostFromAnsi(e->name) << "\n";
        size += e->size;
        packed += e->packed;
    }
    if (verbose)
        snprintf(line, sizeof line,
                 "--------          -------  ---                            -------\n"
                 "%8llu         %8llu %3d%%                            %lu %s\n",
                 (unsigned long long)size, (unsigned long long)packed, ratio(size, packed),
                 (unsigned long)entries.size(), files(entries.size()));
    else
        snprintf(line, sizeof line,
                 "---------                     -------\n"
                 "%9llu                     %lu %s\n",
                 (unsigned long long)size, (unsigned long)entries.size(), files(entries.size()));
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
