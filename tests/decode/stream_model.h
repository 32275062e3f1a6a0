// stream_model.h -- the decoded form of hand-built streams: literals and
// back-references applied to a plain byte vector, with zeros standing before
// the first byte (which is what a fresh workspace's window holds).
#ifndef QZ_TESTS_DECODE_STREAM_MODEL_H
#define QZ_TESTS_DECODE_STREAM_MODEL_H

#include <stdint.h>

#include <random>
#include <string>
#include <vector>

#include "bit_writer.h"

namespace qz_test {

struct Lz77 {
    std::vector<uint8_t> out;
    void Literal(uint8_t c) { out.push_back(c); }
    void Bytes(const std::vector<uint8_t> &b) { out.insert(out.end(), b.begin(), b.end()); }
    void Match(int length, int distance) {
        for (int i = 0; i < length; ++i) {
            long from = static_cast<long>(out.size()) - distance;
            out.push_back(from < 0 ? 0 : out[from]);
        }
    }
};

inline std::vector<uint8_t> Text(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// A final block with fixed codes sending the given literals.
inline std::vector<uint8_t> FixedLiterals(const std::vector<uint8_t> &data, bool final = true) {
    BitWriter w;
    w.FixedHeader(final);
    for (uint8_t c : data)
        w.FixedSymbol(c);
    w.FixedEnd();
    return w.Bytes();
}

// Writes a fixed block of random literals and matches (distances within what
// came before) into w and the model.
inline void RandomFixedBlock(BitWriter &w, Lz77 &m, bool final, int ops, uint32_t seed) {
    std::mt19937 rng(seed);
    w.FixedHeader(final);
    for (int i = 0; i < ops; ++i) {
        if (m.out.empty() || rng() % 3 == 0) {
            uint8_t c = static_cast<uint8_t>(rng() % 4 == 0 ? rng() : 'a' + rng() % 6);
            w.FixedSymbol(c);
            m.Literal(c);
        } else {
            int length = 3 + static_cast<int>(rng() % (rng() % 8 == 0 ? 256 : 20));
            long maxd = std::min<long>(32768, static_cast<long>(m.out.size()));
            int distance = 1 + static_cast<int>(rng() % (rng() % 4 == 0 ? maxd : std::min<long>(maxd, 64)));
            w.FixedMatch(length, distance);
            m.Match(length, distance);
        }
    }
    w.FixedEnd();
}

}  // namespace qz_test

#endif
