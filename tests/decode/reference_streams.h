// reference_streams.h -- the streams the decode suites share: sample data
// (random, text-like and binary-like) and, where zlib is installed, the
// same data compressed by zlib at every level and strategy and by
// libdeflate at level 12.
#ifndef QZ_TESTS_DECODE_REFERENCE_STREAMS_H
#define QZ_TESTS_DECODE_REFERENCE_STREAMS_H

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#if defined(QZ_TEST_HAVE_ZLIB)
#include <gtest/gtest.h>
#include <zlib.h>
#endif
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#endif

#include "stream_model.h"

namespace qz_test {

// --- how much to run ---------------------------------------------------------

// Under valgrind (the suites run with QZ_UNDER_VALGRIND set) the longest
// tests take a sample of their inputs: memory checking needs every code
// path, not every stream, and runs some fifty times slower.
inline bool UnderValgrind() {
    static const bool under = getenv("QZ_UNDER_VALGRIND") != nullptr;
    return under;
}
// A count of repetitions, or a size of input, as far as this run goes.
inline int Runs(int n) { return UnderValgrind() ? (n + 15) / 16 : n; }
inline size_t Bytes(size_t n) { return UnderValgrind() ? n / 16 : n; }

// --- data ------------------------------------------------------------------

inline std::vector<uint8_t> TextData(size_t n, uint32_t seed) {
    static const char *words[] = {"the",   "archive", "entry",  "of",      "a",       "window",
                                  "bytes", "stream",  "decode", "Huffman", "length",  "distance",
                                  "block", "and",     "to",     "is",      "QZUNPACK", "extraction",
                                  "file",  "that",    "with",   "in",      "directory", "volume"};
    std::mt19937 rng(seed);
    std::vector<uint8_t> v;
    v.reserve(n + 16);
    while (v.size() < n) {
        const char *w = words[rng() % (sizeof words / sizeof *words)];
        v.insert(v.end(), w, w + strlen(w));
        uint32_t r = rng() % 20;
        v.push_back(r == 0 ? '\n' : r == 1 ? ',' : r == 2 ? '.' : ' ');
        if (rng() % 500 == 0)  // a number now and then
            for (int i = rng() % 8; i >= 0; --i)
                v.push_back(static_cast<uint8_t>('0' + rng() % 10));
    }
    v.resize(n);
    return v;
}

// Records of little-endian counters, small deltas, zero runs and noise.
inline std::vector<uint8_t> BinaryData(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v;
    v.reserve(n + 64);
    uint32_t counter = rng();
    while (v.size() < n) {
        switch (rng() % 4) {
        case 0:
            for (int i = 0; i < 16; ++i, counter += 1 + rng() % 3)
                for (int k = 0; k < 4; ++k)
                    v.push_back(static_cast<uint8_t>(counter >> (8 * k)));
            break;
        case 1:
            v.insert(v.end(), rng() % 300, 0);
            break;
        case 2:
            for (int i = rng() % 64; i >= 0; --i)
                v.push_back(static_cast<uint8_t>(rng()));
            break;
        default: {
            // A copy of something earlier, far back or near.
            if (v.size() > 100) {
                size_t from = rng() % v.size();
                size_t len = 10 + rng() % 400;
                for (size_t i = 0; i < len; ++i)
                    v.push_back(v[from + i % (v.size() - from)]);
            }
        }
        }
    }
    v.resize(n);
    return v;
}

#if defined(QZ_TEST_HAVE_ZLIB)

// --- compressors -----------------------------------------------------------

struct Compressor {
    std::string name;
    int level;       // zlib level, or libdeflate level when libdeflate is set
    int strategy;
    size_t flushEvery;  // 0: one deflate call; else Z_SYNC_FLUSH at that spacing
    bool libdeflate;
};

// GoogleTest names parameterised cases with this; its fallback would print
// the struct's bytes, padding included, which valgrind rightly calls
// uninitialised.
inline void PrintTo(const Compressor &c, std::ostream *os) { *os << c.name; }

inline std::vector<uint8_t> ZlibRaw(const Compressor &c, const std::vector<uint8_t> &data) {
    z_stream s = {};
    EXPECT_EQ(deflateInit2(&s, c.level, Z_DEFLATED, -15, 9, c.strategy), Z_OK);
    std::vector<uint8_t> out(deflateBound(&s, data.size()) + 64 + data.size() / 100);
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    size_t pos = 0;
    for (;;) {
        size_t n = c.flushEvery ? std::min(c.flushEvery, data.size() - pos) : data.size() - pos;
        s.next_in = const_cast<Bytef *>(data.data() + pos);
        s.avail_in = static_cast<uInt>(n);
        pos += n;
        int flush = pos == data.size() ? Z_FINISH : Z_SYNC_FLUSH;
        int rc = deflate(&s, flush);
        if (flush == Z_FINISH) {
            EXPECT_EQ(rc, Z_STREAM_END);
            break;
        }
    }
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

inline std::vector<uint8_t> Compress(const Compressor &c, const std::vector<uint8_t> &data) {
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
    if (c.libdeflate) {
        libdeflate_compressor *lc = libdeflate_alloc_compressor(c.level);
        std::vector<uint8_t> out(libdeflate_deflate_compress_bound(lc, data.size()));
        size_t n = libdeflate_deflate_compress(lc, data.data(), data.size(), out.data(), out.size());
        libdeflate_free_compressor(lc);
        EXPECT_GT(n, 0u);
        out.resize(n);
        return out;
    }
#endif
    return ZlibRaw(c, data);
}

inline std::vector<Compressor> Compressors() {
    std::vector<Compressor> v;
    for (int level = 0; level <= 9; ++level)
        v.push_back({"zlib_level" + std::to_string(level), level, Z_DEFAULT_STRATEGY, 0, false});
    v.push_back({"zlib_default", Z_DEFAULT_COMPRESSION, Z_DEFAULT_STRATEGY, 0, false});
    v.push_back({"zlib_filtered", 6, Z_FILTERED, 0, false});
    v.push_back({"zlib_huffman_only", 6, Z_HUFFMAN_ONLY, 0, false});
    v.push_back({"zlib_rle", 6, Z_RLE, 0, false});
    v.push_back({"zlib_fixed", 6, Z_FIXED, 0, false});
    v.push_back({"zlib_sync_flushes", 6, Z_DEFAULT_STRATEGY, 7001, false});
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
    v.push_back({"libdeflate_level12", 12, 0, 0, true});
#endif
    return v;
}

#endif  // QZ_TEST_HAVE_ZLIB

struct Sample {
    std::string kind;
    std::vector<uint8_t> data;
};

inline std::vector<Sample> Samples(const std::vector<size_t> &sizes) {
    std::vector<Sample> v;
    uint32_t seed = 100;
    for (size_t n : sizes) {
        v.push_back({"random " + std::to_string(n), RandomBytes(n, ++seed)});
        v.push_back({"text " + std::to_string(n), TextData(n, ++seed)});
        v.push_back({"binary " + std::to_string(n), BinaryData(n, ++seed)});
    }
    return v;
}

}  // namespace qz_test

#endif
