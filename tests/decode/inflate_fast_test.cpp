// The fast loop against the byte-wise steps: two engines, one with the fast
// loop and one forced to decode byte-wise, are fed the same stream in the
// same pieces, call by call, and must return the same result, consumed and
// written counts and state word, write the same bytes (and nothing beyond
// them), and leave the same window, bit buffer and positions behind.
//
// The streams: every stream of the reference suite (zlib at every level and
// strategy, libdeflate, damaged streams; where zlib is installed), the seeds
// of the inflate fuzz target, and hand-built streams with random complete
// codes of up to 15 bits, far and near distances, distances beyond the data,
// invalid symbols and stored blocks between coded ones; each also with
// random bit flips.  The feedings: everything at once, the entry pipeline's
// 65,520-byte pieces, a byte at a time, a whole input with a byte of output
// room per call and the reverse, and random pieces of input and output room.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bit_writer.h"
#include "decode/decode.h"
#include "inflate_driver.h"
#include "reference_streams.h"
#include "stream_model.h"

using namespace qz_test;
using qz::decode::InflateSetByteWise;
using qz::decode::kInflateFinished;
using qz::decode::kInflateSuspended;
namespace engine = qz::decode::engine;

namespace {

// The state both engines must agree on between calls.  The resume record's
// match fields are left out: the byte-wise steps leave the last match's
// values there and the fast loop does not; a difference that matters shows
// in the output of the next step.
std::string CompareWorkspaces(void *a, void *b) {
    const engine::Workspace &x = *engine::WorkspaceAt(a);
    const engine::Workspace &y = *engine::WorkspaceAt(b);
    if (memcmp(x.window, y.window, sizeof x.window) != 0) {
        size_t i = 0;
        while (x.window[i] == y.window[i])
            ++i;
        return "window differs at " + std::to_string(i);
    }
#define SAME(field)                                                                                   \
    if (x.field != y.field)                                                                           \
        return std::string(#field " differs: ") + std::to_string(x.field) + " (fast) against " + \
               std::to_string(y.field) + " (byte-wise)";
    SAME(mode)
    SAME(state)
    SAME(bits)
    SAME(bitCount)
    SAME(zeroFill)
    SAME(writePos)
    SAME(prevEnd)
    SAME(deliverPos)
    SAME(afterDeliver)
    SAME(walk)
    SAME(finalBlock)
#undef SAME
    return "";
}

struct Counts {
    size_t streams = 0, calls = 0;
};

// Runs the stream through both engines in lockstep; returns what differed,
// or an empty string.  Input and output room come from feed; the final
// flag comes with the last input byte.
std::string Lockstep(const std::vector<uint8_t> &stream, const Feed &feed, size_t maxOutput, Counts *counts,
                     bool compareWorkspaces = true) {
    Engine fast, slow;
    InflateSetByteWise(slow.workspace(), true);
    std::vector<uint8_t> roomFast, roomSlow;
    size_t pos = 0, total = 0;
    ++counts->streams;
    for (size_t call = 0;; ++call) {
        uint32_t nIn = static_cast<uint32_t>(std::min<uint64_t>(feed.in(), stream.size() - pos));
        bool final = pos + nIn == stream.size();
        uint32_t room = static_cast<uint32_t>(std::min<uint64_t>(feed.out(), maxOutput + 70000 - total));
        if (room == 0)
            return "";  // the output limit: as far as both went, they agreed
        roomFast.assign(room, 0xCD);
        roomSlow.assign(room, 0xCD);
        Engine::Ret f = fast.Call(stream.data() + pos, nIn, roomFast.data(), room, final);
        Engine::Ret s = slow.Call(stream.data() + pos, nIn, roomSlow.data(), room, final);
        ++counts->calls;
        std::string at = " at call " + std::to_string(call) + " (input at " + std::to_string(pos) + ", " +
                         std::to_string(nIn) + " given, room " + std::to_string(room) + ")";
        if (f.result != s.result)
            return "result " + std::to_string(f.result) + " against " + std::to_string(s.result) + at;
        if (f.consumed != s.consumed)
            return "consumed " + std::to_string(f.consumed) + " against " + std::to_string(s.consumed) + at;
        if (f.written != s.written)
            return "written " + std::to_string(f.written) + " against " + std::to_string(s.written) + at;
        if (f.state != s.state)
            return "state " + std::to_string(f.state) + " against " + std::to_string(s.state) + at;
        if (roomFast != roomSlow)
            return "output bytes differ" + at;
        if (compareWorkspaces || f.consumed >= engine::kFastMinInput) {
            std::string w = CompareWorkspaces(fast.workspace(), slow.workspace());
            if (!w.empty())
                return w + at;
        }
        if (f.consumed > nIn || f.written > room)
            return "counts beyond what was given" + at;
        pos += f.consumed;
        total += f.written;
        if (f.result == kInflateFinished)
            return "";
        if (f.result != kInflateSuspended)
            return "unknown result" + at;
        if (f.consumed == 0 && f.written == 0)
            return "no progress" + at;
    }
}

Feed Fixed(uint32_t in, uint32_t out) {
    return {[in] { return in; }, [out] { return out; }};
}

// Every feeding for one stream; bytes: also the feedings of one byte per call.
void CheckEveryWay(const std::vector<uint8_t> &stream, size_t maxOutput, const std::string &what, bool bytes,
                   int randomRuns, Counts *counts) {
    std::vector<std::pair<std::string, Feed>> feeds = {
        {"whole", Feed::Whole()},
        {"pipeline pieces", Fixed(65520, 65520)},
    };
    if (bytes) {
        feeds.push_back({"a byte at a time", Feed::Bytes()});
        feeds.push_back({"whole input, a byte of room", Fixed(0xFFFFFFFFu, 1)});
        // More room than a delivery needs, not the whole output: the room is
        // filled before every call to catch stray writes.
        feeds.push_back({"a byte of input, wide room", Fixed(1, 70000)});
    }
    uint32_t seed = static_cast<uint32_t>(stream.size() * 2654435761u);
    for (int i = 0; i < randomRuns; ++i) {
        feeds.push_back({"random pieces " + std::to_string(seed + i), Feed::Random(seed + i, 1 << 17, 1 << 17)});
        // Pieces around the fast loop's entry threshold and input margin.
        feeds.push_back({"small pieces " + std::to_string(seed + i), Feed::Random(seed + i, 160, 1 << 16)});
        feeds.push_back({"small room " + std::to_string(seed + i), Feed::Random(seed + i, 1 << 16, 300)});
    }
    for (auto &f : feeds) {
        bool wide = f.first.find("room") == std::string::npos && f.first != "a byte at a time";
        std::string d = Lockstep(stream, f.second, maxOutput, counts, wide);
        ASSERT_EQ(d, "") << what << ", " << f.first;
    }
}

std::vector<uint8_t> Flip(std::vector<uint8_t> s, std::mt19937 &rng, int flips) {
    if (s.empty())
        return s;
    for (int i = 0; i < flips; ++i)
        s[rng() % s.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
    return s;
}

// --- hand-built streams with random codes -------------------------------------

// Lengths of a random complete prefix code over `symbols` symbols: leaves
// split at random until there are enough, none deeper than 15 bits.  With
// one symbol the code has that one symbol.
std::vector<int> RandomCompleteLengths(int symbols, std::mt19937 &rng, bool skewed) {
    std::vector<int> depth = {0};
    if (symbols == 1)
        return {1 + static_cast<int>(rng() % 15)};
    while (static_cast<int>(depth.size()) < symbols) {
        // Skewed: split the deepest leaves more often, for long codes.
        size_t i = rng() % depth.size();
        if (skewed && rng() % 2) {
            size_t j = rng() % depth.size();
            if (depth[j] > depth[i])
                i = j;
        }
        if (depth[i] >= 15) {
            auto shallow = std::min_element(depth.begin(), depth.end());
            i = static_cast<size_t>(shallow - depth.begin());
        }
        int d = depth[i] + 1;
        depth[i] = d;
        depth.push_back(d);
    }
    return depth;
}

// A dynamic block over random codes: `litSymbols` literal/length symbols
// (always with the end of block), `distSymbols` distance symbols; then ops
// random literals and matches with random extra bits (so distances may reach
// beyond the data, and symbols 286 and 287 or distances 30 and 31 may be
// sent when allowed).
void RandomDynamicBlock(BitWriter &w, std::mt19937 &rng, bool final, int ops, bool allowInvalid) {
    int hlit = 257 + static_cast<int>(rng() % (allowInvalid ? 30 : 30));
    if (hlit > 286)
        hlit = 286;
    int hdist = 1 + static_cast<int>(rng() % 30);
    std::vector<int> litSyms, distSyms;
    for (int s = 0; s < hlit; ++s)
        if (s == 256 || rng() % 3 != 0)
            litSyms.push_back(s);
    for (int s = 0; s < hdist; ++s)
        if (rng() % 4 != 0 || distSyms.empty())
            distSyms.push_back(s);
    bool skewed = rng() % 2 == 0;
    std::vector<int> ll = RandomCompleteLengths(static_cast<int>(litSyms.size()), rng, skewed);
    std::vector<int> dl = RandomCompleteLengths(static_cast<int>(distSyms.size()), rng, skewed);
    std::shuffle(ll.begin(), ll.end(), rng);
    std::shuffle(dl.begin(), dl.end(), rng);
    std::vector<int> litlen(hlit, 0), dist(hdist, 0);
    for (size_t i = 0; i < litSyms.size(); ++i)
        litlen[litSyms[i]] = ll[i];
    for (size_t i = 0; i < distSyms.size(); ++i)
        dist[distSyms[i]] = dl[i];
    DynamicBlock b(litlen, dist);
    b.WriteHeader(w, final);
    std::vector<int> lits, lens;
    for (int s : litSyms)
        (s < 256 ? lits : lens).push_back(s);
    lens.erase(std::remove(lens.begin(), lens.end(), 256), lens.end());
    static const int kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    for (int i = 0; i < ops; ++i) {
        if (!lits.empty() && (lens.empty() || rng() % 3 == 0)) {
            b.Symbol(w, lits[rng() % lits.size()]);
            continue;
        }
        if (lens.empty())
            break;
        int ls = lens[rng() % lens.size()];
        b.Symbol(w, ls);
        if (ls <= 284)
            w.Bits(rng(), kLenExtra[ls - 257]);
        else if (ls > 285)
            break;  // 286 or 287: invalid, the rest does not matter
        int ds = distSyms[rng() % distSyms.size()];
        // Mostly near distances, which the data so far can supply.
        if (rng() % 4 != 0) {
            int near = distSyms[0];
            for (int s : distSyms)
                if (s < 20 && rng() % 2)
                    near = s;
            ds = near;
        }
        b.DistanceSymbol(w, ds);
        w.Bits(rng(), kDistExtra[ds]);
    }
    b.Symbol(w, 256);
}

// Streams of several blocks: random dynamic ones, fixed ones from the model
// generator, and stored ones between them.
std::vector<uint8_t> RandomStream(uint32_t seed, int blocks, int ops) {
    std::mt19937 rng(seed);
    BitWriter w;
    Lz77 m;
    for (int b = 0; b < blocks; ++b) {
        bool final = b == blocks - 1;
        switch (rng() % 5) {
        case 0:
            RandomFixedBlock(w, m, final, ops, rng());
            break;
        case 1:
            w.Stored(final, RandomBytes(rng() % 3000, rng()));
            break;
        default:
            RandomDynamicBlock(w, rng, final, ops, rng() % 8 == 0);
            break;
        }
    }
    return w.Bytes();
}

std::vector<std::vector<uint8_t>> FuzzSeeds() {
    std::vector<std::vector<uint8_t>> seeds;
    std::error_code ec;
    std::vector<std::filesystem::path> paths;
    for (auto &e : std::filesystem::directory_iterator(QZ_TEST_INFLATE_CORPUS, ec))
        paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());
    for (auto &p : paths) {
        std::ifstream f(p, std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    return seeds;
}

}  // namespace

TEST(InflateFast, TheCountRuleAndMarginsHold) {
    // The window slack takes the longest match from the last position plus
    // the two words the fast copy saves and restores behind it.
    EXPECT_GE(engine::kWindowSlack, 258u + 16u - 1u);
    EXPECT_GE(engine::kFastMinInput, 15u);
}

TEST(InflateFast, FuzzSeedsDecodeAlikeEveryWay) {
    std::vector<std::vector<uint8_t>> seeds = FuzzSeeds();
    ASSERT_FALSE(seeds.empty()) << "no seeds in " << QZ_TEST_INFLATE_CORPUS;
    Counts counts;
    std::mt19937 rng(5);
    for (size_t i = 0; i < seeds.size(); ++i) {
        // The fuzz target's layout: five bytes of feeding choices, then the
        // stream; the whole file is tried as a stream too.
        std::vector<uint8_t> stream(seeds[i].begin() + std::min<size_t>(5, seeds[i].size()), seeds[i].end());
        std::string what = "seed " + std::to_string(i);
        CheckEveryWay(stream, 4 << 20, what, stream.size() < 4096, 2, &counts);
        CheckEveryWay(seeds[i], 4 << 20, what + " as a whole", false, 1, &counts);
        for (int k = 0; k < 40; ++k) {
            std::vector<uint8_t> damaged = Flip(stream, rng, 1 + k % 3);
            CheckEveryWay(damaged, 4 << 20, what + ", flips " + std::to_string(k), false, 1, &counts);
        }
    }
    EXPECT_GT(counts.calls, 1000u);
}

TEST(InflateFast, RandomCodesDecodeAlikeEveryWay) {
    Counts counts;
    for (uint32_t seed = 1; seed <= (uint32_t)Runs(60); ++seed) {
        // Every sixth stream is short enough to be fed a byte at a time.
        bool bytes = seed % 6 == 0;
        int ops = bytes ? 150 : 200 + static_cast<int>(seed * 97 % 3000);
        std::vector<uint8_t> stream = RandomStream(seed, 1 + seed % 4, ops);
        CheckEveryWay(stream, 16 << 20, "random stream " + std::to_string(seed), bytes, 2, &counts);
    }
    EXPECT_GT(counts.streams, (unsigned)Runs(400));
}

TEST(InflateFast, DamagedRandomCodesDecodeAlike) {
    Counts counts;
    std::mt19937 rng(99);
    for (uint32_t seed = 1; seed <= (uint32_t)Runs(300); ++seed) {
        std::vector<uint8_t> stream = Flip(RandomStream(seed * 7919, 1 + seed % 3, 400), rng, 1 + seed % 4);
        CheckEveryWay(stream, 16 << 20, "damaged random stream " + std::to_string(seed), false, 1, &counts);
    }
}

TEST(InflateFast, AnInvalidDistanceAfterAFullWindowSuspendsAlike) {
    // Fixed codes send distance symbol 30 after more than a window of data:
    // the fast loop leaves the distance step to the byte-wise steps, which
    // find it invalid and deliver; with little output room the delivery
    // suspends, and the consumed count of that call shows the bit state.
    Counts counts;
    for (int sym : {30, 31}) {
        BitWriter w;
        Lz77 m;
        RandomFixedBlock(w, m, false, 30000, 4);
        w.FixedHeader(true);
        w.FixedSymbol('x');
        w.FixedSymbol(260);  // length 6
        w.FixedDistanceSymbol(sym);
        w.Bits(0x5A5A, 16);
        std::vector<uint8_t> s = w.Bytes();
        s.insert(s.end(), 200, 0x33);  // input left over, so the fast loop runs to the fault
        for (uint32_t room : {1u, 7u, 1000u, 65520u})
            ASSERT_EQ(Lockstep(s, Fixed(0xFFFFFFFFu, room), 1 << 20, &counts), "") << sym << ", room " << room;
        CheckEveryWay(s, 1 << 20, "distance symbol " + std::to_string(sym), false, 3, &counts);
    }
}

#if defined(QZ_TEST_HAVE_ZLIB)

TEST(InflateFast, ReferenceStreamsDecodeAlikeEveryWay) {
    Counts counts;
    const std::vector<Sample> samples = Samples({0, 1, 17, 1000, 32767, 32768, 32769, 65536, 100003});
    for (const Compressor &c : Compressors()) {
        for (const Sample &s : samples) {
            std::vector<uint8_t> stream = Compress(c, s.data);
            CheckEveryWay(stream, s.data.size() + 1, c.name + ", " + s.kind, s.data.size() <= Bytes(40000), 1, &counts);
            if (HasFatalFailure())
                return;
        }
    }
}

TEST(InflateFast, LargeReferenceStreamsDecodeAlike) {
    Counts counts;
    const std::vector<Sample> samples = Samples({Bytes(3 << 20)});
    for (const Compressor &c : Compressors()) {
        if (c.name != "zlib_level1" && c.name != "zlib_level6" && c.name != "zlib_level9" && c.name != "zlib_rle" &&
            c.name != "libdeflate_level12")
            continue;
        for (const Sample &s : samples) {
            std::vector<uint8_t> stream = Compress(c, s.data);
            CheckEveryWay(stream, s.data.size() + 1, c.name + ", " + s.kind, false, 1, &counts);
            if (HasFatalFailure())
                return;
        }
    }
}

TEST(InflateFast, DamagedReferenceStreamsDecodeAlike) {
    std::mt19937 rng(2024);
    Counts counts;
    for (int i = 0; i < Runs(1500); ++i) {
        std::vector<uint8_t> data = i % 2 ? TextData(200 + rng() % 30000, i) : BinaryData(200 + rng() % 30000, i);
        Compressor c = {"", static_cast<int>(rng() % 10), i % 5 == 0 ? Z_FIXED : Z_DEFAULT_STRATEGY, 0, false};
        std::vector<uint8_t> stream = Flip(ZlibRaw(c, data), rng, 1 + rng() % 3);
        std::string what = "mutation " + std::to_string(i);
        ASSERT_EQ(Lockstep(stream, Feed::Whole(), 4 << 20, &counts), "") << what;
        ASSERT_EQ(Lockstep(stream, Fixed(65520, 65520), 4 << 20, &counts), "") << what;
        ASSERT_EQ(Lockstep(stream, Feed::Random(i, 4096, 40000), 4 << 20, &counts), "") << what;
    }
}

#endif  // QZ_TEST_HAVE_ZLIB
