// The inflate engine in lockstep: one with the fast loop and one that decodes byte-wise, fed
// the same pieces of input and room, must return, write and keep the same. They run on
// hand-built streams (what zlib cannot check), random streams, streams of zlib and libdeflate,
// and their damaged forms; then on call scripts of suspended streams, deliveries and offsets.
#include <gtest/gtest.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decode/decode.h"
#if defined(QZ_TEST_HAVE_ZLIB)
#include <zlib.h>
#endif
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;
namespace dc = qz::decode;

// A sample of n under valgrind and the mutation runner (QZ_UNDER_VALGRIND set).
int runs(int n) { return getenv("QZ_UNDER_VALGRIND") ? (n + 15) / 16 : n; }

Bytes randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes v(n);
    for (auto &b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

std::vector<std::string> split(const std::string &s, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(s);
    for (std::string part; std::getline(in, part, separator);)
        parts.push_back(part);
    return parts;
}

// The extra bits and the first length (3 to 258) or distance (1 to 32768) of code i.
int extra(bool dist, int i) { return dist ? std::max(0, i / 2 - 1) : i < 8 || i == 28 ? 0 : (i - 4) / 4; }
int base(bool dist, int i) {
    if (dist)
        return i < 4 ? 1 + i : ((2 + i % 2) << extra(dist, i)) + 1;
    return i == 28 ? 258 : i < 8 ? 3 + i : ((4 + i % 4) << extra(dist, i)) + 3;
}

// Fields go in lowest bit first, Huffman codes highest bit first.
struct BitWriter {
    Bytes out;
    size_t count = 0;
    void bits(uint32_t value, int n) {
        for (int i = 0; i < n; ++i, ++count) {
            if (count % 8 == 0)
                out.push_back(0);
            uint32_t bit = i < 32 ? (value >> i) & 1 : 0;   // fields wider than 32 bits end in zeros
            out.back() |= static_cast<uint8_t>(bit << (count % 8));
        }
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
    void put(BitWriter &w, int sym) const {  // no code (outside a coded block): a byte
        if (len.empty())
            return w.bits(sym, 8);
        for (int i = len[sym] - 1; i >= 0; --i)
            w.bits(code[sym] >> i, 1);
    }
};

// n lengths, zero but for a list of sym=len (sym a number or one character).
std::vector<int> lengthList(size_t n, const std::string &pairs) {
    std::vector<int> v(n, 0);
    for (const std::string &p : split(pairs, ','))
        v[p[1] == '=' && !isdigit(p[0]) ? p[0] : std::stoi(p)] = std::stoi(p.substr(p.find('=') + 1));
    return v;
}

// A recipe (below) of a fixed or a dynamic block with random codes, of random literals and
// matches, some reaching beyond the data.
std::string randomBlock(uint32_t seed, bool final, bool dynamic, int ops) {
    std::mt19937 rng(seed);
    std::vector<int> used[2];  // the literal/length and the distance symbols in use
    std::string recipe = (dynamic ? "D" : "f") + std::to_string(final);
    for (int k = 0; k < 2; ++k) {
        int n = dynamic ? (k ? 1 : 257) + static_cast<int>(rng() % 30) : k ? 30 : 286;
        for (int s = 0; s < n; ++s)
            if (!dynamic || rng() % 3 != 0 || s == (k ? 0 : 256))
                used[k].push_back(s);
        // A random complete code up to 15 bits: leaves split at random (one symbol: any length).
        std::vector<int> len = {used[k].size() == 1 ? 1 + static_cast<int>(rng() % 15) : 0};
        while (len.size() < used[k].size()) {
            size_t i = rng() % len.size();
            if (len[i] >= 15)
                i = std::min_element(len.begin(), len.end()) - len.begin();
            len.push_back(++len[i]);
        }
        std::shuffle(len.begin(), len.end(), rng);
        recipe += dynamic ? ":" + std::to_string(n) + ":" : "";
        for (size_t i = 0; i < used[k].size() && dynamic; ++i)
            recipe += std::to_string(used[k][i]) + "=" + std::to_string(len[i]) + ",";
    }
    for (int i = 0; i < ops; ++i) {
        int s = used[0][rng() % used[0].size()], l = s - 257;
        int d = used[1][rng() % std::min<size_t>(used[1].size(), rng() % 4 ? 8 : 30)];
        if (s < 256)
            recipe += " c" + std::to_string(s);
        else if (s > 256)  // 258 is symbol 285, never 284 with all extra bits set
            recipe += " m" + std::to_string(base(0, l) + rng() % ((1 << extra(0, l)) - (l == 27))) + "," +
                      std::to_string(base(1, d) + rng() % (1 << extra(1, d)));
    }
    return recipe + " c256";
}

// A stream and what it decodes to, written from a recipe of tokens:
//   s<F>'<text>  s<F>#<n>@<seed>  a stored block (F: 1 if final) of text, or of n random bytes
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

Built build(const std::string &recipe) {
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    BitWriter w;
    Bytes out;
    Code lit, dist;  // of the current block; none outside a coded block
    size_t fault = SIZE_MAX;
    std::istringstream in(recipe);
    auto sym = [&](int s) {
        lit.put(w, s);
        if (s < 256)
            out.push_back(static_cast<uint8_t>(s));
    };
    for (std::string t; in >> t;) {
        int times = isdigit(t[0]) ? std::stoi(t) : 1, a = 0, b = 0;
        t = t.substr(isdigit(t[0]) ? t.find('*') + 1 : 0);
        bool final = t.size() > 1 && t[1] == '1';
        for (int i = 0; i < times; ++i) {
            if (t[0] == 's') {
                Bytes data(t.begin() + 3, t.end());
                if (t[2] == '#')
                    data = randomBytes(std::stoi(t.substr(3)), std::stoul(t.substr(t.find('@') + 1)));
                w.bits(final, 3);
                w.bits(0, (8 - w.count % 8) % 8);
                w.bits(static_cast<uint32_t>(data.size() | ~data.size() << 16), 32);
                lit = dist = Code();
                for (uint8_t x : data)
                    sym(x);
            } else if (t[0] == 'f') {
                std::vector<int> fixed(288, 8);
                std::fill(fixed.begin() + 144, fixed.begin() + 256, 9);
                std::fill(fixed.begin() + 256, fixed.begin() + 280, 7);
                w.bits(final | 2, 3);
                lit = Code(fixed);
                dist = Code(std::vector<int>(32, 5));
            } else if (t[0] == 'D') {
                std::vector<std::string> p = split(t, ':');  // D<F>, HLIT, lengths, HDIST, lengths, ...
                p.resize(8);
                lit = Code(lengthList(std::stoi(p[1]), p[2]));
                dist = Code(lengthList(std::stoi(p[3]), p[4]));
                std::vector<int> clen = lengthList(19, p[5]);
                if (p[5].empty()) {  // by default every length as it is, under a 4-bit code of 0 to 15
                    std::fill_n(clen.begin(), 16, 4);
                    for (const Code *code : {&lit, &dist})
                        for (int l : code->len)
                            p[6] += std::to_string(l) + ",";
                }
                int hclen = p[7].empty() ? 19 : std::stoi(p[7]);
                size_t fields = (lit.len.size() - 257) << 3 | (dist.len.size() - 1) << 8 | (hclen - 4) << 13;
                w.bits(static_cast<uint32_t>(fields) | final | 4, 17);  // BFINAL, BTYPE, HLIT, HDIST, HCLEN
                for (int j = 0; j < hclen; ++j)
                    w.bits(clen[order[j]], 3);
                Code clenCode(clen);
                for (const std::string &item : split(p[6], ',')) {
                    int s = std::stoi(item);
                    clenCode.put(w, s);
                    w.bits(std::stoi(item.substr(item.find('+') + 1)), s < 16 ? 0 : s == 18 ? 7 : s - 14);
                }
            } else if (t[0] == '\'') {
                for (size_t j = 1; j < t.size(); ++j)
                    sym(static_cast<uint8_t>(t[j]));
            } else if (t[0] == 'c') {
                sym(std::stoi(t.substr(1)));
            } else if (t[0] == 'd') {
                dist.put(w, std::stoi(t.substr(1)));
            } else if (sscanf(t.c_str(), "m%d,%d", &a, &b) == 2) {
                int l = 0, d = 0;
                while (l < 28 && base(0, l + 1) <= a)
                    ++l;
                while (d < 29 && base(1, d + 1) <= b)
                    ++d;
                lit.put(w, 257 + l);
                w.bits(a - base(0, l), extra(0, l));
                dist.put(w, d);
                w.bits(b - base(1, d), extra(1, d));
                for (int j = 0; j < a; ++j)
                    out.push_back(out.size() < static_cast<size_t>(b) ? 0 : out[out.size() - b]);
            } else if (sscanf(t.c_str(), "b%d,%d", &a, &b) == 2) {
                w.bits(a, b);
            } else if (t == "a") {
                w.bits(0, (8 - w.count % 8) % 8);
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

struct Ret {  // no padding: compared with memcmp
    int32_t result;
    uint32_t consumed, written, state;
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
    bool guarded() {
        uint8_t *end = block.data() + block.size();
        return std::count(block.data(), ws, 0x5C) + std::count(ws + size, end, 0x5C) == 64;
    }
    Ret call(const uint8_t *in, uint32_t n, uint8_t *out, uint32_t room, bool final) {
        Ret r = {0, n, room, 0};
        r.result = dc::Inflate(in, 0, &r.consumed, out, 0, &r.written, ws, final ? 1 : 0);
        r.state = dc::inflateState(ws);
        return r;
    }
};

// The state both must agree on: the filling window up to the write position, the previous
// fill, the fields before the resume record (the fast loop leaves no match there) and the
// tree walk.
bool sameWorkspaces(void *a, void *b) {
    using W = dc::engine::Workspace;
    const W &x = *dc::engine::workspaceAt(a), &y = *dc::engine::workspaceAt(b);
    size_t fields = offsetof(W, length) - offsetof(W, mode);
    bool same = memcmp(&x.mode, &y.mode, fields) == 0 && x.walk == y.walk;
    same = same && memcmp(x.window[x.filling], y.window[x.filling], x.writePos) == 0;
    size_t previous = std::min<size_t>(x.prevEnd, dc::engine::kWindowBytes);
    return same && memcmp(x.window[x.filling ^ 1], y.window[x.filling ^ 1], previous) == 0;
}

// Input and room of each call: in and out, or with a seed random sizes up to them.
struct Feed {
    std::string name;
    uint32_t in, out, seed;
};

struct Outcome {
    Bytes out;
    uint64_t consumed = 0;
    size_t calls = 0;
    std::vector<size_t> writing = {0};  // runs of calls that write (fed a byte of room: deliveries)
    std::string error;
};

// The final-input flag comes with the call that hands out the last byte.
Outcome lockstep(const Bytes &stream, const Feed &feed, size_t maxOutput) {
    Engine fast(false), slow(true);
    Bytes bufFast, bufSlow;  // 0xCD wherever nothing is expected
    Outcome run;
    std::mt19937 rng(feed.seed);
    auto size = [&](uint32_t max) {
        uint32_t bits = rng() % 32;
        return feed.seed == 0 ? max : 1 + rng() % (bits == 31 ? max : std::min(max, 1u << (bits % 18)));
    };
    for (size_t pos = 0;; pos = run.consumed) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(size(feed.in), stream.size() - pos));
        uint32_t room = static_cast<uint32_t>(std::min(size(feed.out) + run.out.size(), maxOutput + 70000));
        room -= static_cast<uint32_t>(run.out.size());
        if (room == 0)
            return run;  // as far as maxOutput
        bufFast.resize(std::max<size_t>(bufFast.size(), room + 16u), 0xCD);
        bufSlow.resize(bufFast.size(), 0xCD);
        Ret f = fast.call(stream.data() + pos, n, bufFast.data(), room, pos + n == stream.size());
        Ret s = slow.call(stream.data() + pos, n, bufSlow.data(), room, pos + n == stream.size());
        run.consumed += f.consumed;
        ++run.calls;
        if (f.written)
            ++run.writing.back();
        else if (run.writing.back())
            run.writing.push_back(0);
        size_t end = std::min<size_t>(room + 16u, f.written + 600u), start = std::min(f.written, room);
        long untouched = std::count(bufFast.data() + start, bufFast.data() + end, 0xCD);
        untouched += std::count(bufSlow.data() + start, bufSlow.data() + end, 0xCD);
        bool behind = untouched != static_cast<long>(2 * (end - start));
        bool failed = f.result == dc::kInflateSuspended && f.consumed == 0 && f.written == 0;
        failed |= f.result == 0 && f.state == dc::kInflateNeedInput && f.consumed != n;
        failed |= f.result == 0 && f.state == dc::kInflateNeedOutput && f.written != room;
        failed |= f.state > dc::kInflateNeedOutput || (f.result != 0 && f.result != dc::kInflateFinished);
        if (memcmp(&f, &s, sizeof f) != 0)
            run.error = "fast and byte-wise return differently";
        else if (f.consumed > n || f.written > room || failed)
            run.error = "the counts or state break the call protocol";
        else if (memcmp(bufFast.data(), bufSlow.data(), f.written) != 0 || behind)
            run.error = "the bytes written differ, or bytes behind them changed";
        else if (!fast.guarded() || !slow.guarded())
            run.error = "a byte around the workspace changed";
        else if (((feed.in > 1 && feed.out > 1000) || f.consumed >= dc::engine::kFastMinInput) &&
                 !sameWorkspaces(fast.ws, slow.ws))
            run.error = "the workspaces differ";
        if (!run.error.empty()) {
            run.error += " at call " + std::to_string(run.calls) + ", input at " + std::to_string(pos);
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
Outcome CheckEveryWay(const Bytes &stream, const Bytes *want, size_t maxOutput, const std::string &name,
                      bool bytes, bool valid) {
    uint32_t seed = static_cast<uint32_t>(stream.size() * 2654435761u) | 1;
    std::vector<Feed> feeds = {{"whole", ~0u, 0x7FFFFFFF, 0}, {"pipeline pieces", 65520, 65520, 0},
                               {"random pieces", 1 << 17, 1 << 17, seed},
                               {"small pieces", 160, 1 << 16, seed},  // around the fast loop's entry
                               {"small room", 1 << 16, 300, seed}};
    if (bytes)
        feeds.insert(feeds.end(), {{"a byte at a time", 1, 1, 0}, {"whole input, a byte of room", ~0u, 1, 0},
                                   {"a byte of input, wide room", 1, 70000, 0}});
    Outcome whole = lockstep(stream, feeds[0], maxOutput);
    for (const Feed &feed : feeds) {
        Outcome r = &feed == &feeds[0] ? whole : lockstep(stream, feed, maxOutput);
        EXPECT_EQ(r.error, "") << name << ", " << feed.name;
        EXPECT_TRUE(r.out == (want ? *want : whole.out)) << name << ", " << feed.name;
        EXPECT_TRUE(r.consumed == whole.consumed || !valid) << name << ", " << feed.name;
        const std::vector<size_t> &runs = r.writing;  // a byte of input and room: whole-window deliveries
        for (size_t i = 0; feed.in == 1 && feed.out == 1 && i + 2 < runs.size(); ++i)
            EXPECT_TRUE(runs[i] >= 32768 && runs[i] <= 33025) << name << ": a delivery of " << runs[i];
        if (::testing::Test::HasFailure())
            break;
    }
    return whole;
}


enum : uint32_t { kRest = 0xFFFFFFFFu };

struct Step {
    uint32_t in, room;  // in: bytes from where the last call stopped, or kRest
    bool final;
    int32_t result;  // F, or the state of a suspension (In, Out)
    uint32_t consumed, written;
    uint32_t times = 1;
};

struct Row {
    std::string name, recipe;
    std::vector<Step> steps = {};  // of a call script (whose calls all write the recipe's output)
};

std::string everyLengthAndDistanceCode() {
    std::string recipe = "s0#33000@31 f1";
    for (int len = 3; len <= 258; ++len) {
        int d = len % 30, distance = base(1, d) + len * 7919 % (1 << extra(1, d));
        recipe += " m" + std::to_string(len) + "," + std::to_string(distance);
    }
    return recipe + " m258,32768 c256";
}

const std::string kCodes1To15 = ":257:a=1,b=2,c=3,d=4,e=5,f=6,g=7,h=8,i=9,j=10,k=11,l=12,m=13,n=14,o=15,"
                                "256=15:1:0=1";
const std::string kAllNineteen = "D1:257:A=1,256=1:1:0=15:0=2,1=2,15=2,18=2:18+54,1,18+127,18+41,1,15";
const std::string kFullWindow = "s0#33000@4 f1 'x c260 !";

const std::vector<Row> kStreams = {
    {"an empty stored block", "s0' s1'ok"},
    {"stored blocks after every bit phase (9-bit literals move it by one)",
     "f0 c256 s0'a f0 c200 c256 s0'b f0 2*c200 c256 s0'c f0 3*c200 c256 s0'd f0 4*c200 c256 s0'e "
     "f0 5*c200 c256 s0'f f0 6*c200 c256 s0'g f0 7*c200 c256 s0'h f0 8*c200 c256 s1'i"},
    {"length 258 at distance 1", "f1 'z m258,1 m258,1 c256"},
    {"every length, a distance of every code", everyLengthAndDistanceCode()},
    {"all nineteen code-length lengths, a 15-bit distance code", kAllNineteen + " 'A c256"},
    {"repeat codes, a list that starts with 16",
     "D1:257:A=3,B=3,C=3,D=3,E=3,F=3,256=2:2:1=1:0=3,1=3,2=3,3=3,16=3,17=3,18=2:"
     "16+0,17+7,18+41,3,16+2,18+127,18+36,2,0,1 'FEDCBA c256"},
    {"a repeat across into the distance lengths",
     "D1:260:A=1,256=2,257=2:3:2=1:1=2,2=2,17=2,18=2:18+54,1,18+127,18+41,2,2,17+1,1 'A m3,3 c256"},
    {"HLIT 286 and HDIST 30", "D1:286:A=1,256=2,257=2:30:29=1 'A m3,24577 c256"},
    {"an empty distance code", "D1:257:A=1,256=1:1: 'AA c256"},
    {"codes of 1 to 15 bits in two blocks",
     "D0" + kCodes1To15 + " 200*'aobncmdlekfjgih c256 D1" + kCodes1To15 + " 'o c256"},
    {"back-references beyond the decoded bytes", "f1 'x m4,2 m3,30000 c256"},
    {"a match across the window start, one from the far end", "s0#32770@6 f1 m10,5 m20,32768 c256"},
    {"exactly one window from codes", "f1 'q 126*m258,1 m256,1 m3,1 c256"},
    {"matches from the far end of the last fill read right behind the match before",
     "s0#32768@8 f1 'ab m3,2 m20,32768 m20,2 m30,32760 m5,30 m40,32740 100*'x c256"},
    {"whole windows delivered from a long fixed block", randomBlock(12, true, false, 20000)},
    // Invalid data ('!' marks the fault; 8 bytes follow that it must not need)
    {"stored LEN 0 with NLEN 0", "! b1,3 a b0,32"},
    {"stored NLEN of another length", "s0'abc ! b1,3 a b5,16 b65531,16 b0,40"},
    {"block type 3 first", "! b7,3"},
    {"block type 3 after a stored block", "s0'before ! b7,3"},
    {"length symbol 286", "f1 'a ! c286"},
    {"length symbol 287", "f1 'a ! c287"},
    {"distance symbol 30", "f1 'a c257 ! d30"},
    {"distance symbol 31", "f1 'a c257 ! d31"},
    {"HCLEN 18 leaves the code-length code incomplete", "! " + kAllNineteen + ":18"},
    {"a repeat past the end of the list", "! D1:257:A=1,256=1:1:0=1:1=1,18=1:18+54,1,18+127,18+41,1,18+0"},
    {"HLIT 287", "s0'ok ! D1:287:A=1,256=1:1:0=1"},
    {"HLIT 288", "s0'ok ! D1:288:A=1,256=1:1:0=1"},
    {"HDIST 31", "! D1:257:A=1,256=1:31:0=1"},
    {"a length with an empty distance code", "D1:258:A=1,257=2,256=2:1: 'A ! c257"},
    {"the unused code of a one-symbol distance code", "D1:258:A=1,257=2,256=2:4:3=2 'A m3,4 ! c257 b2,2"},
    {"an incomplete literal/length code", "s0'pre ! D1:257:A=1,256=2:1:0=1"},
    {"an over-subscribed literal/length code", "s0'pre ! D1:257:A=1,B=1,256=1:1:0=1"},
    {"an incomplete code with 15-bit lengths", "s0'pre ! D1:257:A=1,B=2,256=15:1:0=1"},
    {"an incomplete code-length code", "! D1:257:A=1,256=1:1:0=1:1=2,18=2:18+54,1"},
    {"an empty code-length code", "! D1:257:A=1,256=1:1:0=1:0=0:"},
    {"a one-symbol 10-bit code, a 1 in the first byte", "D1:257:A=10:1: 'A ! b1,1"},
    {"a one-symbol 10-bit code, a 1 in the ninth bit", "D1:257:A=10:1: 'A ! b256,9"},
    {"distance symbol 30 after a full window", kFullWindow + " d30 a 200*b51,8"},
    {"distance symbol 31 after a full window", kFullWindow + " d31 a 200*b51,8"},
};

const int32_t F = dc::kInflateFinished, In = dc::kInflateNeedInput, Out = dc::kInflateNeedOutput;

const std::vector<Row> kScripts = {
    {"final input, exactly the stream", "f1 'hello c256", {{kRest, 1000, 1, F, 7, 5}}},
    {"the end waits for the final flag", "f1 'hello c256", {{7, 1000, 0, In, 7, 0}, {0, 1000, 1, F, 0, 5}}},
    {"or one more byte", "f1 'hello c256 a 3*b238,8", {{7, 1000, 0, In, 7, 0}, {kRest, 1000, 0, F, 1, 5}}},
    {"an empty fixed block looks one byte ahead", "f1 c256 a 4*b238,8", {{kRest, 100, 0, F, 3, 0}}},
    {"a stored block looks two bytes ahead", "s1' 4*b238,8", {{kRest, 100, 0, F, 7, 0}}},
    {"a stored block with data, final input", "s1'xyz 4*b238,8", {{kRest, 100, 1, F, 10, 3}}},
    {"long literals end with 16 bits in hand", "f1 6*c200 c256 4*b238,8", {{kRest, 100, 0, F, 10, 6}}},
    {"a final stored block waits two bytes", "s1'data", {{kRest, 100, 0, In, 9, 0}, {0, 100, 1, F, 0, 4}}},
    {"a stored block cut short: zero fill", "b1,3 a b6,16 b65529,16 'ab z2", {{kRest, 100, 1, F, 7, 4}}},
    {"a fixed block cut short ends", "f0 'ab", {{kRest, 100, 1, F, 3, 2}}},
    {"a small stream comes out at its end", "f1 1000*'a c256",
     {{1, 5000, 0, In, 1, 0, 1000}, {1, 5000, 1, F, 1, 1000}}},
    {"a window fills the room", "s1#32768@3", {{kRest, 32768, 1, Out, 32773, 32768}, {0, 1, 1, F, 0, 0}}},
    {"room for exactly a delivery, then input runs dry", "s1#40000@4",
     {{kRest, 32768, 0, Out, 32773, 32768}, {0, 100, 0, In, 0, 0}, {kRest, 100000, 1, F, 7232, 7232}}},
    {"a stored delivery comes with the byte that fills the window", "s1#50000@6",
     {{1, 100000, 0, In, 1, 0, 32772}, {1, 100000, 0, In, 1, 32768}, {kRest, 100000, 1, F, 17232, 17232}}},
    {"the largest delivery: a 258-byte match from the window's last byte",
     "s0#32767@5 f1 m258,300 m258,32768 c256",
     {{1, 100000, 0, In, 1, 0, 32775}, {1, 100000, 0, In, 1, 33025}, {kRest, 100000, 1, F, 3, 258}}},
    {"block type 3 in pieces", "b7,8 3*b85,8", {{1, 100, 0, In, 1, 0}, {kRest, 100, 0, F, 3, 0}}},
    {"invalid data delivers what came before", "s0'before b7,3 a b153,8",
     {{kRest, 4, 0, Out, 13, 4}, {0, 100, 0, F, 0, 2}}},
    {"a finished stream stays finished", "f1 'once c256 a 6*b238,8",
     {{6, 100, 1, F, 6, 4}, {kRest, 100, 1, F, 0, 0}}},
};

#if defined(QZ_TEST_HAVE_ZLIB)
// zlib's raw deflate at a level and strategy, or with level -1 its raw inflate: true if it ends.
bool zlib(int level, int strategy, const Bytes &in, Bytes &out) {
    z_stream z = {};
    z.next_in = const_cast<Bytef *>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    bool ended = level < 0 ? inflateInit2(&z, -15) == Z_OK && inflate(&z, Z_FINISH) == Z_STREAM_END
                           : deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy) == Z_OK &&
                                 deflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(z.total_out);
    level < 0 ? inflateEnd(&z) : deflateEnd(&z);
    return ended;
}

// A raw stream of zlib, or with strategy -1 of libdeflate.
Bytes compress(int level, int strategy, const Bytes &data) {
    Bytes out(data.size() + data.size() / 8 + 1024);
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
    if (strategy < 0) {
        libdeflate_compressor *lc = libdeflate_alloc_compressor(level);
        out.resize(libdeflate_deflate_compress(lc, data.data(), data.size(), out.data(), out.size()));
        libdeflate_free_compressor(lc);
        return out;
    }
#endif
    EXPECT_TRUE(zlib(level, strategy, data, out));
    return out;
}
#endif

}  // namespace

TEST(Inflate, EveryStreamAndItsDamagedFormsDecodeAlikeEveryWayInOneCallWhenWhole) {
    std::mt19937 rng(2024);
    int agreed = 0;
    auto check = [&](const std::string &name, const Built &b, bool valid, size_t byteFedUpTo) {
        if (HasFailure())
            return;
        bool bytes = b.stream.size() <= byteFedUpTo;
        Outcome whole = CheckEveryWay(b.stream, &b.out, b.out.size() + 1, name, bytes, valid);
        EXPECT_EQ(whole.calls, 1u) << name;
        EXPECT_EQ(whole.consumed, b.stream.size()) << name;
        for (int k = 0; k < (b.stream.size() > 40000 ? 0 : runs(6)); ++k) {
            Bytes damaged = b.stream, ref(4 * b.out.size() + 65536);
            for (int i = 0; i <= k % 3; ++i)
                damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
#if defined(QZ_TEST_HAVE_ZLIB)
            bool ended = zlib(-1, 0, damaged, ref);  // where zlib ends, the engine must agree
#else
            bool ended = false;
#endif
            agreed += ended;
            CheckEveryWay(damaged, ended ? &ref : nullptr, ref.size(), name + " damaged", false, false);
        }
    };
    for (const Row &row : kStreams) {  // fed a byte per call even under valgrind
        bool valid = row.recipe.find('!') == std::string::npos;  // else 8 bytes the fault must not need
        check(row.name, build(row.recipe + (valid ? "" : " b0,16 a 8*b165,8")), valid, 100000);
    }
    for (uint32_t seed = 1; seed <= static_cast<uint32_t>(runs(60)); ++seed) {
        std::mt19937 rng(seed);  // one to four blocks: random dynamic, fixed and stored ones
        std::string recipe;
        for (uint32_t b = 0, ops = seed % 6 ? 200 + seed * 97 % 3000 : 150; b <= seed % 4; ++b) {
            bool last = b == seed % 4;
            uint32_t kind = rng() % 5;
            recipe += kind == 1 ? " s" + std::to_string(last) + "#" + std::to_string(rng() % 3000) + "@1"
                                : " " + randomBlock(rng(), last, kind != 0, ops);
        }
        check("random stream " + std::to_string(seed), build(recipe), true, runs(256) * 40);
    }
#if defined(QZ_TEST_HAVE_ZLIB)
    std::vector<std::pair<int, int>> compressors = {{6, Z_FILTERED}, {6, Z_RLE}, {6, Z_HUFFMAN_ONLY},
                                                    {6, Z_FIXED}};  // levels with a strategy
    for (int level = 0; level <= 9; ++level)
        compressors.push_back({level, Z_DEFAULT_STRATEGY});
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
    compressors.push_back({12, -1});  // libdeflate
#endif
    const size_t large = runs(16) * (3 << 16);  // 3 MiB, under valgrind 192 KiB
    for (auto [level, strategy] : compressors) {
        for (size_t n : std::vector<size_t>{0, 1, 2, 17, 1000, 32767, 32768, 32769, 65536, 100003, large}) {
            if (n == large && (level % 3 != 0 || strategy > 0))
                continue;  // large inputs for levels 0, 3, 6, 9 and 12 only
            // Noise, and compressible data: the output of a random fixed block.
            Bytes random = randomBytes(n, 1), sample = build(randomBlock(2, true, false, n / 4 + 1)).out;
            sample.resize(n);
            std::string what = std::string(strategy < 0 ? "libdeflate" : "zlib") + " level " +
                               std::to_string(level) + " strategy " + std::to_string(strategy) + ", ";
            what += std::to_string(n) + " bytes of ";
            check(what + "noise", {compress(level, strategy, random), random}, true, runs(256) * 40);
            check(what + "sample data", {compress(level, strategy, sample), sample}, true, runs(256) * 40);
        }
    }
    EXPECT_GT(agreed, runs(100)) << "too few damaged streams to compare";
#endif
}

TEST(Inflate, CallScriptsReturnAndConsumeWhatTheyShould) {
    for (const Row &row : kScripts) {
        Built b = build(row.recipe);
        Engine e;
        Bytes out, room(1 << 17);
        size_t pos = 0;
        for (const Step &step : row.steps) {
            for (uint32_t t = 0; t < step.times; ++t) {
                uint32_t n = static_cast<uint32_t>(std::min<size_t>(step.in, b.stream.size() - pos));
                Ret r = e.call(b.stream.data() + pos, n, room.data(), step.room, step.final);
                uint32_t state = step.result == F ? r.state : step.result;
                Ret want = {std::min(step.result, 0), step.consumed, step.written, state};
                ASSERT_EQ(memcmp(&r, &want, sizeof r), 0)
                    << row.name << ", step " << &step - &row.steps[0] << ": returned " << r.result
                    << ", consumed " << r.consumed << ", wrote " << r.written << ", state " << r.state;
                pos += r.consumed;
                out.insert(out.end(), room.begin(), room.begin() + r.written);
            }
        }
        EXPECT_TRUE(out == b.out) << row.name;
    }
}

TEST(Inflate, OffsetsSelectWhereACallReadsAndWritesAndAWorkspaceMustBeReset) {
    Bytes stream = build("'junk f1 'hello c256").stream, out(20, '#'), junk(Engine().size, 0xFF);
    uint32_t in = static_cast<uint32_t>(stream.size() - 4), room = 10;
    ASSERT_EQ(dc::Inflate(stream.data(), 4, &in, out.data(), 3, &room, Engine().ws, 1), F);
    EXPECT_EQ(in, stream.size() - 4);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 10), "###hello##");
    in = static_cast<uint32_t>(stream.size() - 4);
    EXPECT_EQ(dc::Inflate(stream.data(), 4, &in, out.data(), 0, &room, junk.data(), 1), F);
    EXPECT_EQ(room, 0u);  // never reset: refused
}
