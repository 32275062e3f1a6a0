// streams.h -- what the decode suite feeds the engine: a bit writer for
// hand-built Deflate streams, a model of their decoded bytes, sample data and
// (where installed) zlib and libdeflate as compressors.
#ifndef QZ_TESTS_DECODE_STREAMS_H
#define QZ_TESTS_DECODE_STREAMS_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <random>
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

inline Bytes Text(const std::string &s) { return Bytes(s.begin(), s.end()); }

inline Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes v(n);
    for (auto &b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// Compressible data: words, zero runs, counters, noise and copies from far back.
inline Bytes SampleData(size_t n, uint32_t seed) {
    static const char *words[] = {"the", "archive", "entry", "window", "stream", "decode", "Huffman",
                                  "length", "distance", "block", "and", "to", "QZUNPACK", "directory"};
    std::mt19937 rng(seed);
    Bytes v;
    while (v.size() < n) {
        uint32_t kind = rng() % 8;
        if (kind < 4) {
            std::string w = words[rng() % 14];
            v.insert(v.end(), w.begin(), w.end());
            v.push_back(rng() % 10 == 0 ? '\n' : ' ');
        } else if (kind == 4) {
            v.insert(v.end(), rng() % 300, 0);
        } else if (kind == 5) {
            for (uint32_t c = rng(), i = 0; i < 32; ++i, c += 1 + rng() % 3)
                v.push_back(static_cast<uint8_t>(c >> (8 * (i % 4))));
        } else if (kind == 6 || v.size() < 100) {
            for (int i = rng() % 64; i >= 0; --i)
                v.push_back(static_cast<uint8_t>(rng()));
        } else {
            size_t from = rng() % v.size(), len = 10 + rng() % 400;
            for (size_t i = 0; i < len; ++i)
                v.push_back(v[from + i % (v.size() - from)]);
        }
    }
    v.resize(n);
    return v;
}

// Fields go in lowest bit first, Huffman codes highest bit first.
class BitWriter {
public:
    void Bits(uint32_t value, int n) {
        for (int i = 0; i < n; ++i)
            Bit(i < 32 ? (value >> i) & 1 : 0);
    }
    void Code(uint32_t code, int len) {
        for (int i = len - 1; i >= 0; --i)
            Bit((code >> i) & 1);
    }
    size_t BitCount() const { return bits_; }
    const Bytes &Out() const { return bytes_; }

    void StoredHeader(bool final, uint16_t len, uint16_t nlen) {
        Bits(final, 3);
        while (bits_ % 8 != 0)
            Bit(0);
        Bits(len, 16);
        Bits(nlen, 16);
    }
    void Stored(bool final, const Bytes &data) {
        StoredHeader(final, static_cast<uint16_t>(data.size()), static_cast<uint16_t>(~data.size()));
        for (uint8_t b : data)
            Bits(b, 8);
    }
    void FixedHeader(bool final) { Bits(final | 2, 3); }
    void Fixed(int sym) {  // any literal/length symbol 0 to 287
        if (sym < 144)
            Code(0x30 + sym, 8);
        else if (sym < 256)
            Code(0x190 + sym - 144, 9);
        else if (sym < 280)
            Code(sym - 256, 7);
        else
            Code(0xC0 + sym - 280, 8);
    }
    void FixedMatch(int length, int distance) {
        Symbol(length, 257, kLengthBase, 29, [this](int s) { Fixed(s); });
        Symbol(distance, 0, kDistBase, 30, [this](int s) { Code(s, 5); });
    }
    // The symbol of a length or distance value, written by code, then its extra bits.
    template <class F> void Symbol(int value, int first, const int *base, int n, F code) {
        int i = n - 1;
        while (base[i] > value)
            --i;
        code(first + i);
        int extra = first ? (i < 8 || i == 28 ? 0 : (i - 4) / 4) : (i < 4 ? 0 : i / 2 - 1);
        Bits(value - base[i], extra);
    }
    static constexpr int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                            31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr int kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                          33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                          1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};

private:
    void Bit(uint32_t b) {
        if (bits_ % 8 == 0)
            bytes_.push_back(0);
        bytes_.back() |= static_cast<uint8_t>(b << (bits_ % 8));
        ++bits_;
    }
    Bytes bytes_;
    size_t bits_ = 0;
};

// Canonical codes of a set of code lengths; unused symbols get code 0.
inline std::vector<uint32_t> CanonicalCodes(const std::vector<int> &lengths) {
    uint32_t count[16] = {}, next[16] = {}, code = 0;
    for (int l : lengths)
        count[l] += l != 0;
    for (int l = 1; l < 16; ++l)
        next[l] = code = (code + count[l - 1]) << 1;
    std::vector<uint32_t> codes(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s)
        codes[s] = lengths[s] ? next[lengths[s]]++ : 0;
    return codes;
}

// A dynamic block: literal/length and distance code lengths (their sizes are
// HLIT and HDIST), sent by default as a plain list (one symbol per length)
// under a complete code-length code over the symbols the list uses.
struct DynamicBlock {
    struct Token {
        int sym, extra;
    };
    std::vector<int> lit, dist, clen = std::vector<int>(19, 0);
    std::vector<uint32_t> litCodes, distCodes;
    std::vector<Token> list;
    int hclen = 0;  // 0: the shortest that covers the code-length code

    DynamicBlock(std::vector<int> litlen, std::vector<int> distlen)
        : lit(litlen), dist(distlen), litCodes(CanonicalCodes(lit)), distCodes(CanonicalCodes(dist)) {
        std::vector<int> used;
        for (int l : lit)
            list.push_back({l, 0});
        for (int l : dist)
            list.push_back({l, 0});
        for (auto &t : list)
            if (std::find(used.begin(), used.end(), t.sym) == used.end())
                used.push_back(t.sym);
        int k = static_cast<int>(used.size()), m = 0;
        while ((1 << m) < k)
            ++m;
        for (int i = 0; i < k; ++i)
            clen[used[i]] = k == 1 ? 1 : i < (1 << m) - k ? m - 1 : m;
    }
    void Header(BitWriter &w, bool final) const {
        static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        int n = 4;
        for (int i = 0; i < 19; ++i)
            n = clen[order[i]] ? std::max(n, i + 1) : n;
        n = hclen ? hclen : n;
        w.Bits(final | 4, 3);
        w.Bits(static_cast<uint32_t>(lit.size() - 257), 5);
        w.Bits(static_cast<uint32_t>(dist.size() - 1), 5);
        w.Bits(n - 4, 4);
        for (int i = 0; i < n; ++i)
            w.Bits(clen[order[i]], 3);
        std::vector<uint32_t> codes = CanonicalCodes(clen);
        for (auto &t : list) {
            w.Code(codes[t.sym], clen[t.sym]);
            w.Bits(t.extra, t.sym == 16 ? 2 : t.sym == 17 ? 3 : t.sym == 18 ? 7 : 0);
        }
    }
    void Lit(BitWriter &w, int sym) const { w.Code(litCodes[sym], lit[sym]); }
    void Dist(BitWriter &w, int sym) const { w.Code(distCodes[sym], dist[sym]); }
    void Match(BitWriter &w, int length, int distance) const {
        w.Symbol(length, 257, BitWriter::kLengthBase, 29, [&](int s) { Lit(w, s); });
        w.Symbol(distance, 0, BitWriter::kDistBase, 30, [&](int s) { Dist(w, s); });
    }
};

// The decoded bytes of a hand-built stream; zeros stand before the first byte.
struct Model {
    Bytes out;
    void Add(const Bytes &b) { out.insert(out.end(), b.begin(), b.end()); }
    void Match(int length, int distance) {
        for (int i = 0; i < length; ++i)
            out.push_back(out.size() < static_cast<size_t>(distance) ? 0 : out[out.size() - distance]);
    }
};

// A fixed block of random literals and matches (distances within the data).
inline void RandomFixedBlock(BitWriter &w, Model &m, bool final, int ops, uint32_t seed) {
    std::mt19937 rng(seed);
    w.FixedHeader(final);
    for (int i = 0; i < ops; ++i) {
        if (m.out.empty() || rng() % 3 == 0) {
            uint8_t c = static_cast<uint8_t>(rng() % 4 == 0 ? rng() : 'a' + rng() % 6);
            w.Fixed(c);
            m.out.push_back(c);
        } else {
            int length = 3 + static_cast<int>(rng() % (rng() % 8 == 0 ? 256 : 20));
            long most = std::min<long>(32768, static_cast<long>(m.out.size()));
            int distance = 1 + static_cast<int>(rng() % (rng() % 4 == 0 ? most : std::min<long>(most, 64)));
            w.FixedMatch(length, distance);
            m.Match(length, distance);
        }
    }
    w.Fixed(256);
}

// A stream written from a spec of tokens, each token a statement:
//   s<F>'<text>  s<F>#<n>@<seed>  a stored block (F: 1 if final) of text, or of n random bytes
//   h<F>,<len>,<nlen>             a stored block header; '<text> then writes plain bytes
//   f<F>                          a fixed-code block header
//   D<F>:<hlit>:<lit>:<hdist>:<dist>[:<clen>:<list>[:<hclen>]]
//                                 a dynamic block header; lengths as sym=len lists (sym a number or
//                                 one character), the code-length list as sym or sym+extra items
//   '<text>  c<sym>  d<sym>  m<len>,<dist>   in the current codes: literals, a literal/length or
//                                 distance symbol, a match
//   r<F>,<ops>,<seed>             a fixed block of random literals and matches
//   b<value>,<n>  a               n raw bits; zero bits up to the next byte
//   z<n>                          n zero bytes of output that no bits stand for (the zero fill)
//   !                             a fault: the output so far is all that comes out
//   <n>*<token>                   the token n times
struct Built {
    Bytes stream, out;
    size_t bits = 0;
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

inline std::vector<int> LengthList(size_t n, const std::string &pairs) {
    std::vector<int> v(n, 0);
    for (const std::string &p : Split(pairs, ','))
        if (!p.empty())
            v[p[1] == '=' && !isdigit(p[0]) ? p[0] : std::stoi(p)] = std::stoi(p.substr(p.find('=') + 1));
    return v;
}

inline Built Build(const std::string &spec) {
    BitWriter w;
    Model m;
    std::unique_ptr<DynamicBlock> dyn;
    bool fixed = false;
    size_t fault = SIZE_MAX;
    std::istringstream tokens(spec);
    std::string t;
    auto sym = [&](int s) {
        if (!fixed && !dyn)
            w.Bits(s, 8);
        else if (dyn)
            dyn->Lit(w, s);
        else
            w.Fixed(s);
        if (s < 256)
            m.out.push_back(static_cast<uint8_t>(s));
    };
    while (tokens >> t) {
        int times = 1;
        if (isdigit(t[0]) && t.find('*') != std::string::npos) {
            times = std::stoi(t);
            t = t.substr(t.find('*') + 1);
        }
        bool final = t.size() > 1 && t[1] == '1';
        int a = 0, b = 0, c = 0;
        for (int i = 0; i < times; ++i) {
            if (t[0] == 's' && t[2] == '#' && sscanf(t.c_str() + 3, "%d@%d", &a, &b) == 2) {
                w.Stored(final, RandomBytes(a, b));
                m.Add(RandomBytes(a, b));
            } else if (t[0] == 's') {
                w.Stored(final, Text(t.substr(3)));
                m.Add(Text(t.substr(3)));
            } else if (t[0] == 'h' && sscanf(t.c_str(), "h%d,%d,%d", &a, &b, &c) == 3) {
                w.StoredHeader(a, static_cast<uint16_t>(b), static_cast<uint16_t>(c));
                fixed = false;
                dyn.reset();
            } else if (t[0] == 'f') {
                w.FixedHeader(final);
                fixed = true;
                dyn.reset();
            } else if (t[0] == 'D') {
                std::vector<std::string> p = Split(t, ':');
                dyn.reset(new DynamicBlock(LengthList(std::stoi(p[1]), p[2]), LengthList(std::stoi(p[3]), p[4])));
                if (p.size() > 5) {
                    dyn->clen = LengthList(19, p[5]);
                    dyn->list.clear();
                    for (const std::string &item : Split(p[6], ','))
                        if (!item.empty())
                            dyn->list.push_back({std::stoi(item), std::stoi(item.substr(item.find('+') + 1))});
                }
                dyn->hclen = p.size() > 7 ? std::stoi(p[7]) : 0;
                dyn->Header(w, final);
            } else if (t[0] == '\'') {
                for (char ch : t.substr(1))
                    sym(static_cast<uint8_t>(ch));
            } else if (t[0] == 'c') {
                sym(std::stoi(t.substr(1)));
            } else if (t[0] == 'd') {
                dyn ? dyn->Dist(w, std::stoi(t.substr(1))) : w.Code(std::stoi(t.substr(1)), 5);
            } else if (sscanf(t.c_str(), "m%d,%d", &a, &b) == 2) {
                dyn ? dyn->Match(w, a, b) : w.FixedMatch(a, b);
                m.Match(a, b);
            } else if (sscanf(t.c_str(), "r%d,%d,%d", &a, &b, &c) == 3) {
                RandomFixedBlock(w, m, a, b, c);
            } else if (sscanf(t.c_str(), "b%d,%d", &a, &b) == 2) {
                w.Bits(a, b);
            } else if (t == "a") {
                w.Bits(0, (8 - w.BitCount() % 8) % 8);
            } else if (t[0] == 'z') {
                m.out.insert(m.out.end(), std::stoi(t.substr(1)), 0);
            } else if (t == "!") {
                fault = m.out.size();
            } else {
                ADD_FAILURE() << "unknown token " << t;
            }
        }
    }
    m.out.resize(std::min(fault, m.out.size()));
    return {w.Out(), m.out, w.BitCount()};
}

#if defined(QZ_TEST_HAVE_ZLIB)
struct Compressor {
    std::string name;
    int level, strategy;
    size_t flushEvery;  // 0: one deflate call; else a sync flush at that spacing
    bool libdeflate;
};

inline Bytes Compress(const Compressor &c, const Bytes &data) {
    Bytes out(data.size() + data.size() / 8 + 1024);
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
    if (c.libdeflate) {
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

inline std::vector<Compressor> Compressors() {
    std::vector<Compressor> v;
    for (int level = 0; level <= 9; ++level)
        v.push_back({"zlib level " + std::to_string(level), level, Z_DEFAULT_STRATEGY, 0, false});
    v.push_back({"zlib filtered", 6, Z_FILTERED, 0, false});
    v.push_back({"zlib Huffman only", 6, Z_HUFFMAN_ONLY, 0, false});
    v.push_back({"zlib RLE", 6, Z_RLE, 0, false});
    v.push_back({"zlib fixed", 6, Z_FIXED, 0, false});
    v.push_back({"zlib sync flushes", 6, Z_DEFAULT_STRATEGY, 7001, false});
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
    v.push_back({"libdeflate level 12", 12, 0, 0, true});
#endif
    return v;
}
#endif  // QZ_TEST_HAVE_ZLIB

}  // namespace qz_test

#endif
