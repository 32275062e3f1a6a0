// inflate_test.h -- Deflate streams written from recipes, and the lockstep: an
// engine with the fast loop and one that decodes byte-wise, fed the same pieces
// of input and room, must return, write and keep the same, within the protocol.
#ifndef QZ_TESTS_DECODE_INFLATE_TEST_H
#define QZ_TESTS_DECODE_INFLATE_TEST_H

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decode/decode.h"


namespace qz_test {

using Bytes = std::vector<uint8_t>;

// A sample of n under valgrind and the mutation runner (QZ_UNDER_VALGRIND set).
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

static const int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
static const int kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                  33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                  1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
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
            uint32_t bit = i < 32 ? (value >> i) & 1 : 0;   // fields wider than 32 bits end in zeros
            out.back() |= static_cast<uint8_t>(bit << (count % 8));
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

// n lengths, zero but for a list of sym=len (sym a number or one character).
inline std::vector<int> LengthList(size_t n, const std::string &pairs) {
    std::vector<int> v(n, 0);
    std::istringstream in(pairs);
    for (std::string p; std::getline(in, p, ',');)
        if (!p.empty())
            v[p[1] == '=' && !isdigit(p[0]) ? p[0] : std::stoi(p)] = std::stoi(p.substr(p.find('=') + 1));
    return v;
}

// A fixed block of random literals and matches within the data, as a recipe.
inline std::string RandomFixed(bool final, int ops, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string recipe = final ? "f1" : "f0";
    for (int i = 0, size = 0; i < ops; ++i) {
        if (size == 0 || rng() % 3 == 0) {
            recipe += " c" + std::to_string(rng() % 4 == 0 ? rng() % 256 : 'a' + rng() % 6);
            ++size;
            continue;
        }
        int length = 3 + static_cast<int>(rng() % (rng() % 8 == 0 ? 256 : 20));
        int most = std::min(32768, size), distance = 1 + rng() % (rng() % 4 ? std::min(most, 64) : most);
        recipe += " m" + std::to_string(length) + "," + std::to_string(distance);
        size += length;
    }
    return recipe + " c256";
}

// A stream and what it decodes to, written from a recipe of tokens:
//   s<F>'<text>  s<F>#<n>@<seed>  a stored block (F: 1 if final) of text, or of n random bytes
//   h<F>,<len>,<nlen>             a stored block header alone
//   f<F>                          a fixed-code block header
//   D<F>:<hlit>:<lit>:<hdist>:<dist>[:<clen>:<list>[:<hclen>]]   a dynamic block header (lengths
//                                 as LengthList pairs; a code-length code and list of sym[+extra])
//   '<text>  c<sym>  d<sym>  m<len>,<dist>   literals (bytes outside a block), symbols, a match
//   b<value>,<n>  a               n raw bits; zero bits up to the next byte
//   z<n>                          n zero bytes of output that no bits stand for (the zero fill)
//   !                             a fault: the output so far is all that comes out
//   <n>*<token>                   the token n times
struct Built {
    Bytes stream, out;
};

inline Built Build(const std::string &recipe) {
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    BitWriter w;
    Bytes out;
    Code lit, dist;  // of the current block; none outside a coded block
    size_t fault = SIZE_MAX;
    std::istringstream in(recipe);
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
                Bytes data = t[0] == 'h' ? Bytes() : Bytes(t.begin() + 3, t.end());
                if (t[0] == 's' && t[2] == '#')
                    data = RandomBytes(std::stoi(t.substr(3)), std::stoul(t.substr(t.find('@') + 1)));
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
                std::vector<std::string> p(8);  // D<F>, HLIT, lengths, HDIST, lengths, clen, list, HCLEN
                std::istringstream fields(t);
                for (size_t j = 0; j < p.size() && std::getline(fields, p[j], ':');)
                    ++j;
                size_t given = std::count(t.begin(), t.end(), ':') + 1;
                lit = Code(LengthList(std::stoi(p[1]), p[2]));
                dist = Code(LengthList(std::stoi(p[3]), p[4]));
                // By default every length is sent as it is, under a code over all 19 symbols.
                std::vector<int> clen = LengthList(19, given > 5 ? p[5] : "13=5,14=5,15=5,16=5,17=5,18=5");
                std::replace(clen.begin(), clen.begin() + 13 * (given <= 5), 0, 4);
                std::vector<std::string> items;
                std::istringstream listItems(p[6]);
                for (std::string item; std::getline(listItems, item, ',');)
                    items.push_back(item);
                if (given <= 5) {
                    size_t n = lit.len.size();
                    items.assign(n + dist.len.size(), "");
                    for (size_t j = 0; j < items.size(); ++j)
                        items[j] = std::to_string(j < n ? lit.len[j] : dist.len[j - n]);
                }
                int hclen = given > 7 ? std::stoi(p[7]) : 19;
                w.Bits(final | 4, 3);
                w.Bits(static_cast<uint32_t>(lit.len.size() - 257), 5);
                w.Bits(static_cast<uint32_t>(dist.len.size() - 1), 5);
                w.Bits(hclen - 4, 4);
                for (int j = 0; j < hclen; ++j)
                    w.Bits(clen[order[j]], 3);
                Code clenCode(clen);
                for (const std::string &item : items) {
                    int sym = std::stoi(item);
                    clenCode.Put(w, sym);
                    int extra = std::stoi(item.substr(item.find('+') + 1));
                    w.Bits(extra, sym == 16 ? 2 : sym == 17 ? 3 : sym == 18 ? 7 : 0);
                }
            } else if (t[0] == '\'') {
                for (size_t j = 1; j < t.size(); ++j)
                    sym(static_cast<uint8_t>(t[j]));
            } else if (t[0] == 'c') {
                sym(std::stoi(t.substr(1)));
            } else if (t[0] == 'd') {
                dist.Put(w, std::stoi(t.substr(1)));
            } else if (sscanf(t.c_str(), "m%d,%d", &a, &b) == 2) {
                int l = static_cast<int>(std::upper_bound(kLengthBase, kLengthBase + 29, a) - kLengthBase);
                int d = static_cast<int>(std::upper_bound(kDistBase, kDistBase + 30, b) - kDistBase);
                l -= 1;
                d -= 1;
                lit.Put(w, 257 + l);
                w.Bits(a - kLengthBase[l], LengthExtra(l));
                dist.Put(w, d);
                w.Bits(b - kDistBase[d], DistExtra(d));
                for (int j = 0; j < a; ++j)
                    out.push_back(out.size() < static_cast<size_t>(b) ? 0 : out[out.size() - b]);
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
    return {w.out, out};
}

// Compressible data: the output of a random fixed block.
inline Bytes SampleData(size_t n, uint32_t seed) {
    Bytes data = Build(RandomFixed(true, static_cast<int>(n / 8 + 1), seed)).out;
    data.resize(n);
    return data;
}

namespace dc = qz::decode;

struct Ret {
    int32_t result;
    uint32_t consumed, written;
    uint16_t state;
    bool operator!=(const Ret &o) const {
        return result != o.result || consumed != o.consumed || written != o.written || state != o.state;
    }
};

// A workspace at an odd address for the byte-wise engine, amid guard bytes.
struct Engine {
    const uint32_t size = dc::InflateWorkspaceSize();
    Bytes block = Bytes(size + 64, 0x5C);
    uint8_t *ws;
    explicit Engine(bool byteWise = false)
        : ws(&block[32] + ((reinterpret_cast<uintptr_t>(&block[32]) & 1) != byteWise)) {
        dc::InflateReset(ws);
        dc::inflateSetByteWise(ws, byteWise);
    }
    bool Guarded() {
        uint8_t *end = block.data() + block.size();
        return std::count(block.data(), ws, 0x5C) + std::count(ws + size, end, 0x5C) == 64;
    }
    Ret Call(const uint8_t *in, uint32_t n, uint8_t *out, uint32_t room, bool final) {
        Ret r = {0, n, room, 0};
        r.result = dc::Inflate(in, 0, &r.consumed, out, 0, &r.written, ws, final ? 1 : 0);
        r.state = dc::inflateState(ws);
        return r;
    }
};

// Input and room of each call: in and out, or with a seed random sizes up to them.
struct Feed {
    std::string name;
    uint32_t in, out, seed;
};

// The state both must agree on (the fast loop leaves no match in the resume record).
inline std::string CompareWorkspaces(void *a, void *b) {
    using W = dc::engine::Workspace;
    const W &x = *dc::engine::workspaceAt(a), &y = *dc::engine::workspaceAt(b);
    static uint16_t W::*const fields[] = {&W::mode,     &W::state,   &W::bits,       &W::bitCount,
                                          &W::zeroFill, &W::writePos, &W::prevEnd,   &W::deliverPos,
                                          &W::afterDeliver, &W::walk, &W::finalBlock};
    for (size_t i = 0; i < sizeof fields / sizeof *fields; ++i)
        if (x.*fields[i] != y.*fields[i])
            return "workspace field " + std::to_string(i) + " differs";
    return memcmp(x.window, y.window, sizeof x.window) == 0 ? "" : "window differs";
}

struct Outcome {
    Bytes out;
    uint64_t consumed = 0;
    std::vector<Ret> rets;
    std::string error;
};

// The final-input flag comes with the call that hands out the last byte.
inline Outcome Lockstep(const Bytes &stream, const Feed &feed, size_t maxOutput) {
    Engine fast(false), slow(true);
    Bytes bufFast, bufSlow;  // 0xCD wherever nothing is expected
    Outcome run;
    std::mt19937 rng(feed.seed);
    auto size = [&](uint32_t max) {
        uint32_t bits = rng() % 32;
        return feed.seed == 0 ? max : 1 + rng() % (bits == 31 ? max : std::min(max, 1u << (bits % 18)));
    };
    for (size_t pos = 0;; pos += run.rets.back().consumed) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(size(feed.in), stream.size() - pos));
        uint32_t room = static_cast<uint32_t>(std::min(size(feed.out) + run.out.size(), maxOutput + 70000));
        room -= static_cast<uint32_t>(run.out.size());
        if (room == 0)
            return run;  // as far as maxOutput
        bufFast.resize(std::max<size_t>(bufFast.size(), room + 16u), 0xCD);
        bufSlow.resize(bufFast.size(), 0xCD);
        Ret f = fast.Call(stream.data() + pos, n, bufFast.data(), room, pos + n == stream.size());
        Ret s = slow.Call(stream.data() + pos, n, bufSlow.data(), room, pos + n == stream.size());
        run.rets.push_back(f);
        run.consumed += f.consumed;
        size_t end = std::min<size_t>(room + 16u, f.written + 600u), start = std::min(f.written, room);
        long untouched = std::count(bufFast.data() + start, bufFast.data() + end, 0xCD);
        untouched += std::count(bufSlow.data() + start, bufSlow.data() + end, 0xCD);
        bool behind = untouched != static_cast<long>(2 * (end - start));
        bool failed = f.result == dc::kInflateSuspended && f.consumed == 0 && f.written == 0;
        failed |= f.result == 0 && f.state == dc::kInflateNeedInput && f.consumed != n;
        failed |= f.result == 0 && f.state == dc::kInflateNeedOutput && f.written != room;
        failed |= f.state > dc::kInflateNeedOutput || (f.result != 0 && f.result != dc::kInflateFinished);
        std::string at = " at call " + std::to_string(run.rets.size()) + ", input at " + std::to_string(pos);
        if (f != s)
            run.error = "fast and byte-wise return differently";
        else if (f.consumed > n || f.written > room || failed)
            run.error = "the counts or state break the call protocol";
        else if (memcmp(bufFast.data(), bufSlow.data(), f.written) != 0 || behind)
            run.error = "the bytes written differ, or bytes behind them changed";
        else if (!fast.Guarded() || !slow.Guarded())
            run.error = "a byte around the workspace changed";
        else if ((feed.in > 1 && feed.out > 1000) || f.consumed >= dc::engine::kFastMinInput)
            run.error = CompareWorkspaces(fast.ws, slow.ws);
        if (!run.error.empty()) {
            run.error += at;
            return run;
        }
        run.out.insert(run.out.end(), bufFast.begin(), bufFast.begin() + f.written);
        memset(bufFast.data(), 0xCD, end);
        memset(bufSlow.data(), 0xCD, end);
        if (f.result == dc::kInflateFinished)
            return run;
    }
}

// Every feeding gives the wanted output, or the same as a whole one, and for a valid
// stream the same input count (invalid data takes all input of its call).
inline Outcome CheckEveryWay(const Bytes &stream, const Bytes *want, size_t maxOutput,
                             const std::string &name, bool bytes, int randomRuns, bool valid = false) {
    std::vector<Feed> feeds = {{"whole", ~0u, 0x7FFFFFFF, 0}, {"pipeline pieces", 65520, 65520, 0}};
    if (bytes)
        feeds.insert(feeds.end(), {{"a byte at a time", 1, 1, 0}, {"whole input, a byte of room", ~0u, 1, 0},
                                   {"a byte of input, wide room", 1, 70000, 0}});
    for (uint32_t i = 1; i <= static_cast<uint32_t>(randomRuns); ++i) {
        uint32_t seed = static_cast<uint32_t>(stream.size() * 2654435761u) | i;
        feeds.insert(feeds.end(), {{"random pieces", 1 << 17, 1 << 17, seed},
                                   {"small pieces", 160, 1 << 16, seed},  // around the fast loop's entry
                                   {"small room", 1 << 16, 300, seed}});
    }
    Outcome whole = Lockstep(stream, feeds[0], maxOutput);
    for (const Feed &feed : feeds) {
        Outcome r = &feed == &feeds[0] ? whole : Lockstep(stream, feed, maxOutput);
        std::string how = name + ", " + feed.name + " " + std::to_string(feed.seed);
        EXPECT_EQ(r.error, "") << how;
        EXPECT_TRUE(r.out == (want ? *want : whole.out)) << how;
        EXPECT_TRUE(r.consumed == whole.consumed || !valid) << how;
        if (::testing::Test::HasFailure())
            break;
    }
    return whole;
}

}  // namespace qz_test

#endif
