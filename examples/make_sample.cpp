// make_sample.cpp -- writes the sample archive of examples/ from files of
// the repository, the same bytes on every build:
//
//   make_sample OUTPUT.zip SOURCE_DIR NAME...
//
// Each NAME (a path below SOURCE_DIR, with '/') becomes an entry; a NAME
// ending in '/' becomes a directory entry.  Files of more than 64 bytes are
// deflated, smaller ones stored.  Every entry carries the same fixed date
// and MS-DOS attributes, so nothing of the build machine (file times,
// owners, modes) reaches the archive.  The CRC-32 comes from the library
// (QzCrc32A); the Deflate encoder is a small one of our own: fixed Huffman
// codes and greedy matches, which is all a sample needs.
#include <stdint.h>
#include <stdio.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "qzunpack.h"

namespace {

// 2025-01-01 12:00:00 in MS-DOS form.
const uint16_t kDosDate = (2025 - 1980) << 9 | 1 << 5 | 1;
const uint16_t kDosTime = 12 << 11;
const char kComment[] = "QZUNPACK sample archive, made at build time from files of the repository.";

// ---- Deflate: one final block with the fixed codes ---------------------------------

class BitWriter {
public:
    // Extra bits and header fields go out least significant bit first.
    void put(uint32_t value, int bits) {
        acc_ |= (uint64_t)value << n_;
        n_ += bits;
        while (n_ >= 8) {
            out_ += (char)(acc_ & 0xFF);
            acc_ >>= 8;
            n_ -= 8;
        }
    }
    // Huffman codes go out most significant bit first.
    void putCode(uint32_t code, int bits) {
        uint32_t reversed = 0;
        for (int i = 0; i < bits; ++i)
            reversed |= ((code >> i) & 1) << (bits - 1 - i);
        put(reversed, bits);
    }
    std::string finish() {
        if (n_ > 0)
            put(0, 8 - n_);
        return out_;
    }

private:
    uint64_t acc_ = 0;
    int n_ = 0;
    std::string out_;
};

void putSymbol(BitWriter &w, unsigned sym) {
    if (sym < 144)
        w.putCode(0x30 + sym, 8);
    else if (sym < 256)
        w.putCode(0x190 + sym - 144, 9);
    else if (sym < 280)
        w.putCode(sym - 256, 7);
    else
        w.putCode(0xC0 + sym - 280, 8);
}

const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void putMatch(BitWriter &w, unsigned length, unsigned distance) {
    int l = 28;
    while (kLengthBase[l] > length)
        --l;
    putSymbol(w, 257 + l);
    w.put(length - kLengthBase[l], kLengthExtra[l]);
    int d = 29;
    while (kDistBase[d] > distance)
        --d;
    w.putCode(d, 5);
    w.put(distance - kDistBase[d], kDistExtra[d]);
}

std::string deflate(const std::string &in) {
    const size_t kWindow = 32768, kChain = 128, kMaxMatch = 258;
    std::vector<int64_t> head(1 << 15, -1), prev(in.size(), -1);
    auto hash = [&](size_t i) {
        return ((unsigned char)in[i] << 10 ^ (unsigned char)in[i + 1] << 5 ^ (unsigned char)in[i + 2]) & 0x7FFF;
    };
    auto insert = [&](size_t i) {
        if (i + 2 < in.size()) {
            unsigned h = hash(i);
            prev[i] = head[h];
            head[h] = (int64_t)i;
        }
    };
    BitWriter w;
    w.put(1, 1);  // final block
    w.put(1, 2);  // fixed codes
    size_t i = 0;
    while (i < in.size()) {
        size_t best = 0, bestDist = 0;
        if (i + 2 < in.size()) {
            size_t tries = 0;
            for (int64_t c = head[hash(i)]; c >= 0 && i - (size_t)c <= kWindow && tries < kChain;
                 c = prev[(size_t)c], ++tries) {
                size_t n = 0;
                while (n < kMaxMatch && i + n < in.size() && in[(size_t)c + n] == in[i + n])
                    ++n;
                if (n > best) {
                    best = n;
                    bestDist = i - (size_t)c;
                }
            }
        }
        if (best >= 3) {
            putMatch(w, (unsigned)best, (unsigned)bestDist);
            for (size_t k = 0; k < best; ++k)
                insert(i + k);
            i += best;
        } else {
            putSymbol(w, (unsigned char)in[i]);
            insert(i);
            ++i;
        }
    }
    putSymbol(w, 256);
    return w.finish();
}

// ---- ZIP records ----------------------------------------------------------------------

void le(std::string &s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s += (char)(v >> (8 * i) & 0xFF);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: make_sample OUTPUT.zip SOURCE_DIR NAME...\n");
        return 2;
    }
    std::string archive, central;
    uint16_t count = 0;
    for (int a = 3; a < argc; ++a) {
        const std::string name = argv[a];
        const bool dir = name.back() == '/';
        std::string data;
        if (!dir) {
            std::ifstream f(std::string(argv[2]) + "/" + name, std::ios::binary);
            if (!f) {
                fprintf(stderr, "make_sample: cannot read %s\n", name.c_str());
                return 1;
            }
            data.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
        }
        // The ZIP convention: preset all ones, complement at the end.
    const uint32_t crc = ~QzCrc32A(data.data(), (uint32_t)data.size(), 0xFFFFFFFFu);
        const bool deflated = data.size() > 64;
        const std::string stored = deflated ? deflate(data) : data;
        const uint16_t method = deflated ? 8 : 0;

        std::string common;  // from "version needed" to the extra length
        le(common, 20, 2);
        le(common, 0, 2);
        le(common, method, 2);
        le(common, kDosTime, 2);
        le(common, kDosDate, 2);
        le(common, crc, 4);
        le(common, (uint32_t)stored.size(), 4);
        le(common, (uint32_t)data.size(), 4);
        le(common, (uint32_t)name.size(), 2);
        le(common, 0, 2);

        le(central, 0x02014B50, 4);
        le(central, 20, 2);  // made by MS-DOS, version 2.0
        central += common;
        le(central, 0, 2);                      // comment length
        le(central, 0, 2);                      // disk number start
        le(central, 0, 2);                      // internal attributes
        le(central, dir ? 0x10 : 0x20, 4);      // directory / archive
        le(central, (uint32_t)archive.size(), 4);
        central += name;

        le(archive, 0x04034B50, 4);
        archive += common + name + stored;
        ++count;
    }
    const uint32_t dirOffset = (uint32_t)archive.size();
    archive += central;
    le(archive, 0x06054B50, 4);
    le(archive, 0, 2);
    le(archive, 0, 2);
    le(archive, count, 2);
    le(archive, count, 2);
    le(archive, (uint32_t)central.size(), 4);
    le(archive, dirOffset, 4);
    le(archive, sizeof kComment - 1, 2);
    archive += kComment;

    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(archive.data(), (std::streamsize)archive.size());
    if (!out) {
        fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
