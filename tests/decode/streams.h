// streams.h -- what the decode suite feeds the engine: Deflate streams written
// bit by bit from specs (with the bytes they decode to), sample data and,
// where installed, zlib and libdeflate as compressors.
#ifndef QZ_TESTS_DECODE_STREAMS_H
#define QZ_TESTS_DECODE_STREAMS_H

#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#if defined(QZ_TEST_HAVE_ZLIB)
#include <zlib.h>
#endif
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#endif

namespace qz_test {

using Bytes = std::vector<uint8_t>;

// Under valgrind and the mutation runner (QZ_UNDER_VALGRIND set) the long
// loops take a sample: every code path, not every stream.
inline int Runs(int n) {
    static const bool sample = getenv("QZ_UNDER_VALGRIND") != nullptr;
    return sample ? (n + 15) / 16 : n;
}

inline Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes v(n);
    for (auto &b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// Compressible data: words, zero runs, noise and copies from near and far.
inline Bytes SampleData(size_t n, uint32_t seed) {
    static const std::string words[] = {"the ", "archive ", "window\n", "Huffman ", "QZUNPACK ", "block "};
    std::mt19937 rng(seed);
    Bytes v;
    while (v.size() < n) {
        uint32_t kind = rng() % 8;
        const std::string &word = words[rng() % 6];
        if (kind < 4)
            v.insert(v.end(), word.begin(), word.end());
        else if (kind == 4)
            v.insert(v.end(), rng() % 300, 0);
        else if (kind == 5 || v.size() < 100)
            v.push_back(static_cast<uint8_t>(rng()));
        else
            for (size_t from = rng() % v.size(), len = 10 + rng() % 400; len > 0; --len)
                v.push_back(v[from++]);
    }
    v.resize(n);
    return v;
}

static const int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
static const int kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                  193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline int LengthExtra(int i) { return i < 8 || i == 28 ? 0 : (i - 4) / 4; }
inline int DistExtra(int i) { return i < 4 ? 0 : i / 2 - 1; }

// Fields go in lowest bit first, Huffman codes highest bit first.
struct BitWriter {
    Bytes out;
    size_t count = 0;
    void Bits(uint32_t value, int n) {
        for (int i = 0; i < n; ++i, ++count) {
            if (count % 8 == 0)
                out.push_back(0);
            out.back() |= static_cast<uint8_t>(((value >> i) & 1) << (count % 8));
        }
    }
    void Code(uint32_t code, int len) {
        for (int i = len - 1; i >= 0; --i)
            Bits(code >> i, 1);
    }
};

// The canonical code of a list of code lengths; unused symbols have length 0.
struct Code {
    std::vector<int> len;
    std::vector<uint32_t> code;
    explicit Code(const std::vector<int> &lengths = {}) : len(lengths), code(lengths.size()) {
        uint32_t count[16] = {}, next[16] = {}, c = 0;
        for (int l : len)
            count[l] += l != 0;
        for (int l = 1; l < 16; ++l)
            next[l] = c = (c + count[l - 1]) << 1;
        for (size_t s = 0; s < len.size(); ++s)
            code[s] = len[s] ? next[len[s]]++ : 0;
    }
    void Put(BitWriter &w, int sym) const { w.Code(code[sym], len[sym]); }
};

inline std::vector<std::string> Split(const std::string &s, char c) {
    std::vector<std::string> parts(1);
    for (char x : s) {
        if (x == c)
            parts.emplace_back();
        else
            parts.back().push_back(x);
    }
    return parts;
}

// n lengths, zero but for a list of sym=len (sym a number or one character).
inline std::vector<int> LengthList(size_t n, const std::string &pairs) {
    std::vector<int> v(n, 0);
    for (const std::string &p : Split(pairs, ','))
        if (!p.empty())
            v[p[1] == '=' && !isdigit(p[0]) ? p[0] : std::stoi(p)] = std::stoi(p.substr(p.find('=') + 1));
    return v;
}

// A fixed block of random literals and matches within the data, as a spec.
inline std::string RandomFixed(bool final, int ops, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string spec = final ? "f1" : "f0";
    for (int i = 0, size = 0; i < ops; ++i) {
        if (size == 0 || rng() % 3 == 0) {
            spec += " c" + std::to_string(rng() % 4 == 0 ? rng() % 256 : 'a' + rng() % 6);
            ++size;
            continue;
        }
        int length = 3 + static_cast<int>(rng() % (rng() % 8 == 0 ? 256 : 20));
        int most = std::min(32768, size), distance = 1 + rng() % (rng() % 4 == 0 ? most : std::min(most, 64));
        spec += " m" + std::to_string(length) + "," + std::to_string(distance);
        size += length;
    }
    return spec + " c256";
}

// A stream and what it decodes to, written from a spec of tokens:
//   s<F>'<text>  s<F>#<n>@<seed>  a stored block (F: 1 if final) of text, or of n random bytes
//   h<F>,<len>,<nlen>             a stored block header alone
//   f<F>                          a fixed-code block header
//   D<F>:<hlit>:<lit>:<hdist>:<dist>[:<clen>:<list>[:<hclen>]]
//                                 a dynamic block header: code lengths as LengthList pairs, by
//                                 default sent one by one under a complete code-length code;
//                                 else that code and a list of sym or sym+extra items
//   '<text>  c<sym>  d<sym>  m<len>,<dist>   literals (plain bytes outside a coded block), a
//                                 literal/length or distance symbol, a match
//   r<F>,<ops>,<seed>             a random fixed block (RandomFixed)
//   b<value>,<n>  a               n raw bits; zero bits up to the next byte
//   z<n>                          n zero bytes of output that no bits stand for (the zero fill)
//   !                             a fault: the output so far is all that comes out
//   <n>*<token>                   the token n times
struct Built {
    Bytes stream, out;
    size_t bits = 0;
};

inline Built Build(const std::string &spec) {
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    BitWriter w;
    Bytes out;
    Code lit, dist;  // of the current block; none outside a coded block
    size_t fault = SIZE_MAX;
    std::istringstream in(spec);
    std::vector<std::string> tokens{std::istream_iterator<std::string>(in), {}};
    auto sym = [&](int s) {
        if (lit.len.empty())
            w.Bits(s, 8);
        else
            lit.Put(w, s);
        if (s < 256)
            out.push_back(static_cast<uint8_t>(s));
    };
    for (size_t k = 0; k < tokens.size(); ++k) {
        std::string t = tokens[k];
        int times = isdigit(t[0]) ? std::stoi(t) : 1, a = 0, b = 0, c = 0;
        t = t.substr(isdigit(t[0]) ? t.find('*') + 1 : 0);
        bool final = t.size() > 1 && t[1] == '1';
        for (int i = 0; i < times; ++i) {
            if (t[0] == 's' || sscanf(t.c_str(), "h%d,%d,%d", &a, &b, &c) == 3) {
                Bytes data = t[0] == 'h' ? Bytes() : t[2] == '#' ? RandomBytes(std::stoi(t.substr(3)),
                                                                               std::stoul(t.substr(t.find('@') + 1)))
                                                                 : Bytes(t.begin() + 3, t.end());
                w.Bits(final, 3);
                w.Bits(0, (8 - w.count % 8) % 8);
                w.Bits(t[0] == 'h' ? b : data.size(), 16);
                w.Bits(t[0] == 'h' ? c : ~data.size(), 16);
                lit = dist = Code();
                for (uint8_t x : data)
                    sym(x);
            } else if (t[0] == 'f') {
                std::vector<int> fixed(288, 8);
                std::fill(fixed.begin() + 144, fixed.begin() + 256, 9);
                std::fill(fixed.begin() + 256, fixed.begin() + 280, 7);
                w.Bits(final | 2, 3);
                lit = Code(fixed);
                dist = Code(std::vector<int>(32, 5));
            } else if (t[0] == 'D') {
                std::vector<std::string> p = Split(t, ':');
                lit = Code(LengthList(std::stoi(p[1]), p[2]));
                dist = Code(LengthList(std::stoi(p[3]), p[4]));
                std::vector<int> clen(19, 0), list(lit.len), extra;
                list.insert(list.end(), dist.len.begin(), dist.len.end());
                extra.assign(list.size(), 0);
                std::vector<int> used;  // a complete code over the plain list's symbols
                for (int s : list)
                    if (std::find(used.begin(), used.end(), s) == used.end())
                        used.push_back(s);
                int n = static_cast<int>(used.size()), bits = 0;
                while ((1 << bits) < n)
                    ++bits;
                for (int j = 0; j < n; ++j)
                    clen[used[j]] = n == 1 ? 1 : j < (1 << bits) - n ? bits - 1 : bits;
                if (p.size() > 5) {
                    clen = LengthList(19, p[5]);
                    list.clear();
                    extra.clear();
                    for (const std::string &item : Split(p[6], ',')) {
                        if (item.empty())
                            continue;
                        list.push_back(std::stoi(item));
                        extra.push_back(std::stoi(item.substr(item.find('+') + 1)));
                    }
                }
                int hclen = p.size() > 7 ? std::stoi(p[7]) : 4;
                for (int j = 0; j < 19 && p.size() <= 7; ++j)
                    hclen = clen[order[j]] ? std::max(hclen, j + 1) : hclen;
                w.Bits(final | 4, 3);
                w.Bits(static_cast<uint32_t>(lit.len.size() - 257), 5);
                w.Bits(static_cast<uint32_t>(dist.len.size() - 1), 5);
                w.Bits(hclen - 4, 4);
                for (int j = 0; j < hclen; ++j)
                    w.Bits(clen[order[j]], 3);
                Code clenCode(clen);
                for (size_t j = 0; j < list.size(); ++j) {
                    clenCode.Put(w, list[j]);
                    w.Bits(extra[j], list[j] == 16 ? 2 : list[j] == 17 ? 3 : list[j] == 18 ? 7 : 0);
                }
            } else if (t[0] == '\'') {
                for (size_t j = 1; j < t.size(); ++j)
                    sym(static_cast<uint8_t>(t[j]));
            } else if (t[0] == 'c') {
                sym(std::stoi(t.substr(1)));
            } else if (t[0] == 'd') {
                dist.Put(w, std::stoi(t.substr(1)));
            } else if (sscanf(t.c_str(), "m%d,%d", &a, &b) == 2) {
                int l = 28, d = 29;
                while (kLengthBase[l] > a)
                    --l;
                while (kDistBase[d] > b)
                    --d;
                lit.Put(w, 257 + l);
                w.Bits(a - kLengthBase[l], LengthExtra(l));
                dist.Put(w, d);
                w.Bits(b - kDistBase[d], DistExtra(d));
                for (int j = 0; j < a; ++j)
                    out.push_back(out.size() < static_cast<size_t>(b) ? 0 : out[out.size() - b]);
            } else if (sscanf(t.c_str(), "r%d,%d,%d", &a, &b, &c) == 3) {
                std::istringstream more(RandomFixed(a, b, c));
                tokens.insert(tokens.begin() + k + 1, std::istream_iterator<std::string>(more), {});
            } else if (sscanf(t.c_str(), "b%d,%d", &a, &b) == 2) {
                w.Bits(a, b);
            } else if (t == "a") {
                w.Bits(0, (8 - w.count % 8) % 8);
            } else if (t[0] == 'z') {
                out.insert(out.end(), std::stoi(t.substr(1)), 0);
            } else if (t == "!") {
                fault = out.size();
            } else {
                ADD_FAILURE() << "unknown token " << t;
            }
        }
    }
    out.resize(std::min(fault, out.size()));
    return {w.out, out, w.count};
}

#if defined(QZ_TEST_HAVE_ZLIB)
struct Compressor {
    std::string name;
    int level, strategy;
    size_t flushEvery;  // 0: one deflate call; else a sync flush at that spacing
};

inline Bytes Compress(const Compressor &c, const Bytes &data) {
    Bytes out(data.size() + data.size() / 8 + 1024);
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
    if (c.strategy < 0) {
        libdeflate_compressor *lc = libdeflate_alloc_compressor(c.level);
        out.resize(libdeflate_deflate_compress(lc, data.data(), data.size(), out.data(), out.size()));
        libdeflate_free_compressor(lc);
        return out;
    }
#endif
    z_stream s = {};
    deflateInit2(&s, c.level, Z_DEFLATED, -15, 9, c.strategy);
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    for (size_t pos = 0, n; pos < data.size() || s.total_in == 0; pos += n) {
        n = c.flushEvery ? std::min(c.flushEvery, data.size() - pos) : data.size() - pos;
        s.next_in = const_cast<Bytef *>(data.data() + pos);
        s.avail_in = static_cast<uInt>(n);
        if (deflate(&s, pos + n == data.size() ? Z_FINISH : Z_SYNC_FLUSH) == Z_STREAM_END)
            break;
    }
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// zlib at every level and strategy, and libdeflate (strategy -1) where installed.
inline std::vector<Compressor> Compressors() {
    std::vector<Compressor> v = {{"zlib filtered", 6, Z_FILTERED, 0},  {"zlib Huffman only", 6, Z_HUFFMAN_ONLY, 0},
                                 {"zlib RLE", 6, Z_RLE, 0},            {"zlib fixed", 6, Z_FIXED, 0},
                                 {"zlib sync flushes", 6, 0, 7001}};
    for (int level = 0; level <= 9; ++level)
        v.push_back({"zlib level " + std::to_string(level), level, Z_DEFAULT_STRATEGY, 0});
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
    v.push_back({"libdeflate level 12", 12, -1, 0});
#endif
    return v;
}
#endif  // QZ_TEST_HAVE_ZLIB

}  // namespace qz_test

#endif
