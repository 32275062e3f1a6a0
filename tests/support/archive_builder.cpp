// archive_builder.cpp -- the byte-by-byte archive writer of the tests.
#include "support/archive_builder.h"

#include <stdio.h>

#include "qzunpack.h"

namespace qztest {

namespace {

void put16(std::string &s, uint16_t v)
{
    s += (char)(v & 0xFF);
    s += (char)(v >> 8);
}

void put32(std::string &s, uint32_t v)
{
    put16(s, (uint16_t)v);
    put16(s, (uint16_t)(v >> 16));
}

void set16(std::string &s, size_t at, uint16_t v)
{
    s[at] = (char)(v & 0xFF);
    s[at + 1] = (char)(v >> 8);
}

void set32(std::string &s, size_t at, uint32_t v)
{
    set16(s, at, (uint16_t)v);
    set16(s, at + 2, (uint16_t)(v >> 16));
}

// ---- Deflate ------------------------------------------------------------

class BitWriter {
public:
    // Writes n bits of v, least significant first.
    void bits(uint32_t v, int n)
    {
        for (int i = 0; i < n; ++i) {
            acc_ |= ((v >> i) & 1u) << count_;
            if (++count_ == 8)
                flushByte();
        }
    }
    // Writes a Huffman code of n bits, most significant first.
    void code(uint32_t c, int n)
    {
        for (int i = n - 1; i >= 0; --i)
            bits((c >> i) & 1u, 1);
    }
    void align()
    {
        if (count_)
            flushByte();
    }
    std::string &out() { return out_; }

private:
    void flushByte()
    {
        out_ += (char)acc_;
        acc_ = 0;
        count_ = 0;
    }
    std::string out_;
    uint32_t acc_ = 0;
    int count_ = 0;
};

void fixedLiteral(BitWriter &w, unsigned sym)
{
    if (sym < 144)
        w.code(0x30 + sym, 8);
    else if (sym < 256)
        w.code(0x190 + (sym - 144), 9);
    else if (sym < 280)
        w.code(sym - 256, 7);
    else
        w.code(0xC0 + (sym - 280), 8);
}

const uint16_t kLenBase[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
                               35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                               3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistBase[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129,
                                193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097,
                                6145, 8193, 12289, 16385, 24577};
const uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void fixedMatch(BitWriter &w, unsigned length, unsigned distance)
{
    int li = 28;
    while (kLenBase[li] > length)
        --li;
    fixedLiteral(w, 257 + li);
    w.bits(length - kLenBase[li], kLenExtra[li]);
    int di = 29;
    while (kDistBase[di] > distance)
        --di;
    w.code((uint32_t)di, 5);
    w.bits(distance - kDistBase[di], kDistExtra[di]);
}

std::string deflateFixed(const std::string &data)
{
    BitWriter w;
    w.bits(1, 1);   // final block
    w.bits(1, 2);   // fixed Huffman codes
    const uint8_t *p = (const uint8_t *)data.data();
    size_t n = data.size();
    std::vector<int64_t> last(1 << 15, -1);
    size_t i = 0;
    while (i < n) {
        unsigned bestLen = 0, bestDist = 0;
        if (i + 3 <= n) {
            uint32_t h = ((p[i] << 10) ^ (p[i + 1] << 5) ^ p[i + 2]) & 0x7FFF;
            int64_t cand = last[h];
            last[h] = (int64_t)i;
            if (cand >= 0 && i - (size_t)cand <= 32768) {
                unsigned len = 0;
                while (len < 258 && i + len < n && p[cand + len] == p[i + len])
                    ++len;
                if (len >= 3) {
                    bestLen = len;
                    bestDist = (unsigned)(i - (size_t)cand);
                }
            }
        }
        if (bestLen) {
            fixedMatch(w, bestLen, bestDist);
            for (size_t k = 1; k < bestLen && i + k + 3 <= n; ++k) {
                uint32_t h = ((p[i + k] << 10) ^ (p[i + k + 1] << 5) ^ p[i + k + 2]) & 0x7FFF;
                last[h] = (int64_t)(i + k);
            }
            i += bestLen;
        } else {
            fixedLiteral(w, p[i]);
            ++i;
        }
    }
    fixedLiteral(w, 256);
    w.align();
    return w.out();
}

std::string deflateStored(const std::string &data)
{
    std::string out;
    size_t pos = 0;
    do {
        size_t len = data.size() - pos < 65535 ? data.size() - pos : 65535;
        bool final = pos + len == data.size();
        out += (char)(final ? 1 : 0);
        put16(out, (uint16_t)len);
        put16(out, (uint16_t)~len);
        out.append(data, pos, len);
        pos += len;
    } while (pos < data.size());
    return out;
}

std::string header(uint32_t sig)
{
    std::string s;
    put32(s, sig);
    return s;
}

}  // namespace

uint32_t crc32(const std::string &data)
{
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data)
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::string deflate(const std::string &data, Deflate mode)
{
    return mode == Deflate::Stored ? deflateStored(data) : deflateFixed(data);
}

std::string extraBlock(uint16_t id, const std::string &data)
{
    std::string s;
    put16(s, id);
    put16(s, (uint16_t)data.size());
    return s + data;
}

std::string extendedNameBlock(const std::string &name)
{
    return extraBlock((uint16_t)('T' | ('H' << 8)), "Vw" + name);
}

WrittenEntry writeEntry(const Entry &e)
{
    WrittenEntry w;
    w.crc = e.overrideCrc ? e.crc : crc32(e.data);
    std::string stored = e.method == 8 ? deflate(e.data, e.deflateMode) : e.data;
    uint16_t flags = e.flags;
    if (!e.password.empty()) {
        flags |= 1;
        // Fixed header bytes, not QzInitHeader's clock-seeded ones: with
        // them every wrong password of the tests fails the check byte,
        // where a random header lets one pass in 256.
        uint32_t headerCrc = e.overrideHeaderCrc ? e.headerCrc : w.crc;
        uint8_t head[12] = {0x51, 0x5A, 0x75, 0x6E, 0x70, 0x61, 0x63, 0x6B, 0x21, 0x0A,
                            (uint8_t)(headerCrc >> 16), (uint8_t)(headerCrc >> 24)};
        QzInitKeys(e.password.data(), (uint32_t)e.password.size());
        QzEncryptData(head, 12);
        std::string body = stored;
        if (!body.empty())
            QzEncryptData(&body[0], (uint32_t)body.size());
        stored = std::string((const char *)head, 12) + body;
    }
    w.compressedSize = (uint32_t)stored.size();
    const std::string &localExtra = e.localExtraSame ? e.extra : e.localExtra;

    std::string &l = w.local;
    l = header(0x04034B50u);
    put16(l, e.versionNeeded);
    put16(l, flags);
    put16(l, e.method);
    put16(l, e.dosTime);
    put16(l, e.dosDate);
    put32(l, w.crc);
    put32(l, w.compressedSize);
    put32(l, (uint32_t)e.data.size());
    put16(l, (uint16_t)e.name.size());
    put16(l, (uint16_t)localExtra.size());
    l += e.name + localExtra + stored;

    std::string &c = w.central;
    c = header(0x02014B50u);
    put16(c, (uint16_t)(e.madeByVersion | (e.host << 8)));
    put16(c, e.versionNeeded);
    put16(c, flags);
    put16(c, e.method);
    put16(c, e.dosTime);
    put16(c, e.dosDate);
    put32(c, w.crc);
    put32(c, w.compressedSize);
    put32(c, (uint32_t)e.data.size());
    put16(c, (uint16_t)e.name.size());
    put16(c, (uint16_t)e.extra.size());
    put16(c, (uint16_t)e.comment.size());
    put16(c, 0);   // disk number start
    put16(c, e.internalAttributes);
    put32(c, e.externalAttributes);
    put32(c, 0);   // local header offset
    c += e.name + e.extra + e.comment;
    return w;
}

void setCentralPlace(std::string &central, uint16_t disk, uint32_t offset)
{
    set16(central, 34, disk);
    set32(central, 42, offset);
}

std::string endRecord(uint16_t thisDisk, uint16_t dirDisk, uint16_t entriesHere, uint16_t entriesTotal,
                      uint32_t dirSize, uint32_t dirOffset, const std::string &comment)
{
    std::string s = header(0x06054B50u);
    put16(s, thisDisk);
    put16(s, dirDisk);
    put16(s, entriesHere);
    put16(s, entriesTotal);
    put32(s, dirSize);
    put32(s, dirOffset);
    put16(s, (uint16_t)comment.size());
    return s + comment;
}

std::string buildZip(const std::vector<Entry> &entries, const ZipOptions &options)
{
    std::string out = options.prefix, dir;
    for (const Entry &e : entries) {
        WrittenEntry w = writeEntry(e);
        setCentralPlace(w.central, 0, (uint32_t)out.size());
        out += w.local;
        dir += w.central;
    }
    uint32_t dirOffset = (uint32_t)out.size();
    out += dir;
    out += endRecord(0, 0, (uint16_t)entries.size(), (uint16_t)entries.size(), (uint32_t)dir.size(),
                     dirOffset, options.comment);
    return out + options.trailer;
}

std::string buildSfx(const std::vector<Entry> &entries, bool pklite, const std::string &comment)
{
    std::string stub(64, '\0');
    stub[0] = 'M';
    stub[1] = 'Z';
    if (pklite)
        stub.replace(30, 6, "PKLITE");
    ZipOptions o;
    o.prefix = stub;
    o.comment = comment;
    return buildZip(entries, o);
}

std::string buildQzvw(uint16_t kind, const std::vector<Entry> &entries)
{
    return buildQzvwSet(kind, {entries})[0];
}

std::vector<std::string> buildQzvwSet(uint16_t kind, const std::vector<std::vector<Entry>> &perVolume)
{
    std::vector<WrittenEntry> written;
    std::vector<uint16_t> volumeOf;
    for (size_t v = 0; v < perVolume.size(); ++v)
        for (const Entry &e : perVolume[v]) {
            written.push_back(writeEntry(e));
            volumeOf.push_back((uint16_t)(v + 1));
        }
    // Volume 1: header, fixed records, variable parts, then its entries.
    std::string fixed, variable;
    for (const WrittenEntry &w : written) {
        fixed += w.central.substr(0, 46);
        variable += w.central.substr(46);
    }
    std::string head = "QZVW";
    put16(head, kind);
    put16(head, (uint16_t)written.size());
    put16(head, 0);
    put16(head, 12);
    std::vector<std::string> volumes(perVolume.size() ? perVolume.size() : 1);
    volumes[0] = head + fixed + variable;
    for (size_t i = 0; i < written.size(); ++i) {
        std::string &vol = volumes[volumeOf[i] - 1];
        uint32_t offset = (uint32_t)vol.size();
        vol += written[i].local;
        // Patch the fixed record in volume 1 (the signature slot stays as written).
        std::string &v1 = volumes[0];
        set16(v1, 12 + 46 * i + 34, volumeOf[i]);
        set32(v1, 12 + 46 * i + 42, offset);
    }
    // The fixed records' first four bytes are not a signature.
    for (size_t i = 0; i < written.size(); ++i)
        set32(volumes[0], 12 + 46 * i, 0x31524551u);
    return volumes;
}

std::vector<std::string> buildSpanned(const std::vector<Entry> &entries, uint32_t volumeSize,
                                      const std::string &comment)
{
    std::string stream = header(0x08074B50u);
    std::vector<WrittenEntry> written;
    for (const Entry &e : entries) {
        WrittenEntry w = writeEntry(e);
        uint32_t pos = (uint32_t)stream.size();
        setCentralPlace(w.central, (uint16_t)(pos / volumeSize), pos % volumeSize);
        stream += w.local;
        written.push_back(w);
    }
    uint32_t dirPos = (uint32_t)stream.size();
    std::string dir;
    for (const WrittenEntry &w : written)
        dir += w.central;
    stream += dir;
    std::vector<std::string> volumes;
    for (size_t pos = 0; pos < stream.size(); pos += volumeSize)
        volumes.push_back(stream.substr(pos, volumeSize));
    if (volumes.empty())
        volumes.push_back(std::string());
    uint16_t last = (uint16_t)(volumes.size() - 1);
    uint16_t dirDisk = (uint16_t)(dirPos / volumeSize);
    uint16_t here = 0;
    for (size_t i = 0; i < written.size(); ++i) {
        // Headers that start on the last disk.
        uint32_t at = dirPos;
        for (size_t k = 0; k < i; ++k)
            at += (uint32_t)written[k].central.size();
        if (at / volumeSize == last)
            ++here;
    }
    volumes.back() += endRecord(last, dirDisk, here, (uint16_t)entries.size(), (uint32_t)dir.size(),
                                dirPos % volumeSize, comment);
    return volumes;
}

std::string buildDirFirst(const std::vector<Entry> &entries, const std::string &comment)
{
    std::vector<WrittenEntry> written;
    uint32_t dirSize = 0;
    for (const Entry &e : entries) {
        written.push_back(writeEntry(e));
        dirSize += (uint32_t)written.back().central.size();
    }
    std::string dir, data;
    for (WrittenEntry &w : written) {
        setCentralPlace(w.central, 0, dirSize + (uint32_t)data.size());
        dir += w.central;
        data += w.local;
    }
    return dir + data + endRecord(0, 0, (uint16_t)entries.size(), (uint16_t)entries.size(), dirSize, 0, comment);
}

bool writeFile(const std::string &path, const std::string &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

std::string readFile(const std::string &path)
{
    std::string out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}

}  // namespace qztest
