// archive_builder.cpp -- the byte-by-byte archive writer of the tests.
#include "support/archive_builder.h"

#include <fstream>
#include <iterator>

#include "qzunpack.h"

namespace qztest {

namespace {

std::string le(uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s += (char)(v >> 8 * i);
    return s;
}

void set(std::string &s, size_t at, uint32_t v, int bytes) {
    s.replace(at, bytes, le(v, bytes));
}

// Fixed Huffman codes with greedy matches found through a hash of three bytes.
class FixedDeflate {
public:
    std::string run(const std::string &data) {
        const uint8_t *p = (const uint8_t *)data.data();
        const size_t n = data.size();
        std::vector<int64_t> last(1 << 15, -1);
        auto hash = [p](size_t i) { return ((p[i] << 10) ^ (p[i + 1] << 5) ^ p[i + 2]) & 0x7FFF; };
        bits(3, 3);   // final block, fixed codes
        for (size_t i = 0; i < n;) {
            size_t length = 0, candidate = 0;
            if (i + 3 <= n) {
                int64_t seen = last[hash(i)];
                last[hash(i)] = (int64_t)i;
                candidate = seen >= 0 && i - (size_t)seen <= 32768 ? (size_t)seen : i;
                while (candidate < i && length < 258 && i + length < n &&
                       p[candidate + length] == p[i + length])
                    ++length;
            }
            if (length < 3) {
                literal(p[i++]);
                continue;
            }
            match((unsigned)length, (unsigned)(i - candidate));
            for (size_t k = i + 1; k < i + length && k + 3 <= n; ++k)
                last[hash(k)] = (int64_t)k;
            i += length;
        }
        literal(256);
        if (count_)
            bits(0, 8 - count_);
        return out_;
    }

private:
    void bits(uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            acc_ |= ((v >> i) & 1u) << count_;
            if (++count_ == 8) {
                out_ += (char)acc_;
                acc_ = count_ = 0;
            }
        }
    }
    void code(uint32_t c, int n) {
        for (int i = n - 1; i >= 0; --i)
            bits(c >> i, 1);
    }
    void literal(unsigned sym) {
        if (sym < 144)
            code(0x30 + sym, 8);
        else if (sym < 256)
            code(0x190 + sym - 144, 9);
        else if (sym < 280)
            code(sym - 256, 7);
        else
            code(0xC0 + sym - 280, 8);
    }
    // Base values double every four codes (lengths from code 265, distances from code 4).
    void match(unsigned length, unsigned distance) {
        unsigned sym = 0, base = 3, extra = 0;
        while (sym < 27 && length >= base + (1u << extra)) {
            base += 1u << extra;
            extra = ++sym < 8 ? 0 : sym / 4 - 1;
        }
        sym = length == 258 ? 28 : sym;
        literal(257 + sym);
        bits(length - (sym == 28 ? 258 : base), sym == 28 ? 0 : extra);
        unsigned d = 0, dbase = 1, dextra = 0;
        while (distance >= dbase + (1u << dextra)) {
            dbase += 1u << dextra;
            dextra = ++d < 4 ? 0 : d / 2 - 1;
        }
        code(d, 5);
        bits(distance - dbase, dextra);
    }
    std::string out_;
    uint32_t acc_ = 0;
    int count_ = 0;
};

}  // namespace

uint32_t crc32(const std::string &data) {
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) {
        c ^= b;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}

std::string extraBlock(uint16_t id, const std::string &data) {
    return le(id, 2) + le((uint32_t)data.size(), 2) + data;
}

std::string extendedNameBlock(const std::string &name) {
    return extraBlock('T' | 'H' << 8, "Vw" + name);
}

WrittenEntry writeEntry(const Entry &e) {
    uint32_t crc = e.overrideCrc ? e.crc : crc32(e.data);
    std::string stored = e.method == 8 ? FixedDeflate().run(e.data) : e.data;
    if (!e.password.empty()) {
        uint32_t check = e.overrideHeaderCrc ? e.headerCrc : crc;
        stored = "QZunpack!\n" + le(check >> 16, 2) + stored;
        QzInitKeys(e.password.data(), (uint32_t)e.password.size());
        QzEncryptData(&stored[0], (uint32_t)stored.size());
    }
    // From version needed to the name length, both headers are the same.
    std::string common = le(20, 2) + le(e.flags | !e.password.empty(), 2) + le(e.method, 2) + le(e.dosTime, 2) +
                         le(e.dosDate, 2) + le(crc, 4) + le((uint32_t)stored.size(), 4) +
                         le((uint32_t)e.data.size(), 4) + le((uint32_t)e.name.size(), 2) +
                         le((uint32_t)e.extra.size(), 2);
    WrittenEntry w;
    w.local = le(0x04034B50u, 4) + common + e.name + e.extra + stored;
    w.central = le(0x02014B50u, 4) + le(20 | e.host << 8, 2) + common + le((uint32_t)e.comment.size(), 2) +
                le(0, 2) + le(0, 2) + le(e.externalAttributes, 4) + le(0, 4) + e.name +
                e.extra + e.comment;
    return w;
}

std::string endRecord(uint16_t thisDisk, uint16_t dirDisk, uint16_t entriesHere, uint16_t entriesTotal,
                      uint32_t dirSize, uint32_t dirOffset, const std::string &comment) {
    return le(0x06054B50u, 4) + le(thisDisk, 2) + le(dirDisk, 2) + le(entriesHere, 2) + le(entriesTotal, 2) +
           le(dirSize, 4) + le(dirOffset, 4) + le((uint32_t)comment.size(), 2) + comment;
}

std::string buildZip(const std::vector<Entry> &entries, const std::string &comment,
                     const std::string &prefix, const std::string &trailer) {
    std::string out = prefix, dir;
    for (const Entry &e : entries) {
        WrittenEntry w = writeEntry(e);
        set(w.central, 42, (uint32_t)out.size(), 4);
        out += w.local;
        dir += w.central;
    }
    uint16_t n = (uint16_t)entries.size();
    return out + dir + endRecord(0, 0, n, n, (uint32_t)dir.size(), (uint32_t)out.size(), comment) + trailer;
}

std::string buildSfx(const std::vector<Entry> &entries, bool pklite, const std::string &comment) {
    std::string stub = "MZ" + std::string(62, '\0');
    if (pklite)
        stub.replace(30, 6, "PKLITE");
    return buildZip(entries, comment, stub);
}

std::vector<std::string> buildQzvwSet(uint16_t kind, const std::vector<std::vector<Entry>> &perVolume) {
    std::string fixed, variable;
    std::vector<std::string> volumes(perVolume.size());
    std::vector<std::pair<size_t, std::string>> locals;   // volume index, local header
    for (size_t v = 0; v < perVolume.size(); ++v)
        for (const Entry &e : perVolume[v]) {
            WrittenEntry w = writeEntry(e);
            fixed += w.central.substr(0, 46);
            variable += w.central.substr(46);
            locals.push_back({v, w.local});
        }
    volumes[0] = "QZVW" + le(kind, 2) + le((uint32_t)locals.size(), 2) + le(0, 2) + le(12,
        2) + fixed + variable;
    for (size_t i = 0; i < locals.size(); ++i) {
        // The fixed records carry no signature, but disk and offset of the entry.
        set(volumes[0], 12 + 46 * i, 0x31524551u, 4);
        set(volumes[0], 12 + 46 * i + 34, (uint32_t)locals[i].first + 1, 2);
        set(volumes[0], 12 + 46 * i + 42, (uint32_t)volumes[locals[i].first].size(), 4);
        volumes[locals[i].first] += locals[i].second;
    }
    return volumes;
}

std::vector<std::string> buildSpanned(const std::vector<Entry> &entries, uint32_t volumeSize,
                                      const std::string &comment) {
    std::string stream = le(0x08074B50u, 4), dir;
    std::vector<uint32_t> starts;   // of the central headers
    for (const Entry &e : entries) {
        WrittenEntry w = writeEntry(e);
        set(w.central, 34, (uint32_t)stream.size() / volumeSize, 2);
        set(w.central, 42, (uint32_t)stream.size() % volumeSize, 4);
        stream += w.local;
        starts.push_back((uint32_t)dir.size());
        dir += w.central;
    }
    uint32_t dirPos = (uint32_t)stream.size();
    stream += dir;
    std::vector<std::string> volumes;
    for (size_t pos = 0; pos < stream.size(); pos += volumeSize)
        volumes.push_back(stream.substr(pos, volumeSize));
    uint16_t last = (uint16_t)(volumes.size() - 1), here = 0;
    for (uint32_t start : starts)
        here += (dirPos + start) / volumeSize == last;
    volumes.back() += endRecord(last, (uint16_t)(dirPos / volumeSize), here, (uint16_t)entries.size(),
                                (uint32_t)dir.size(), dirPos % volumeSize, comment);
    return volumes;
}

std::string buildDirFirst(const std::vector<Entry> &entries, const std::string &comment) {
    std::vector<WrittenEntry> written;
    uint32_t dirSize = 0;
    for (const Entry &e : entries) {
        written.push_back(writeEntry(e));
        dirSize += (uint32_t)written.back().central.size();
    }
    std::string dir, data;
    for (WrittenEntry &w : written) {
        set(w.central, 42, dirSize + (uint32_t)data.size(), 4);
        dir += w.central;
        data += w.local;
    }
    uint16_t n = (uint16_t)entries.size();
    return dir + data + endRecord(0, 0, n, n, dirSize, 0, comment);
}

bool writeFile(const std::string &path, const std::string &bytes) {
    std::ofstream f(path, std::ios::binary);
    return (bool)f.write(bytes.data(), (std::streamsize)bytes.size());
}

std::string readFile(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

}  // namespace qztest
