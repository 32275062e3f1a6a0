// The engine against the references and its own byte-wise steps: streams
// made by zlib (every level and strategy) and libdeflate, random codes of up
// to 15 bits, the seeds of the inflate fuzz target, and all of them damaged,
// each decoded in lockstep (lockstep.h) in every feeding.  Where zlib's raw
// inflate decodes a damaged stream to its end, the engine must give the same.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "lockstep.h"

using namespace qz_test;

namespace {

Bytes Flip(Bytes s, std::mt19937 &rng, int flips) {
    for (int i = 0; i < flips && !s.empty(); ++i)
        s[rng() % s.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
    return s;
}

// Lengths of a random complete prefix code over n symbols, none over 15 bits
// (skewed: deep leaves split more often, for long codes).
std::vector<int> RandomCompleteLengths(size_t n, std::mt19937 &rng, bool skewed) {
    if (n == 1)
        return {1 + static_cast<int>(rng() % 15)};
    std::vector<int> depth = {0};
    while (depth.size() < n) {
        size_t i = rng() % depth.size(), j = rng() % depth.size();
        if (skewed && rng() % 2 && depth[j] > depth[i])
            i = j;
        if (depth[i] >= 15)
            i = std::min_element(depth.begin(), depth.end()) - depth.begin();
        depth.push_back(++depth[i]);
    }
    std::shuffle(depth.begin(), depth.end(), rng);
    return depth;
}

// A dynamic block over random codes, then random literals and matches with
// random extra bits: distances may reach beyond the data.
void RandomDynamicBlock(BitWriter &w, std::mt19937 &rng, bool final, int ops) {
    std::vector<int> lit(257 + rng() % 30, 0), dist(1 + rng() % 30, 0), lits, lens, dists;
    for (int s = 0; s < static_cast<int>(lit.size()); ++s)
        if (s == 256 || rng() % 3 != 0)
            (s < 256 ? lits : lens).push_back(s);
    for (int s = 0; s < static_cast<int>(dist.size()); ++s)
        if (rng() % 4 != 0 || (dists.empty() && s + 1 == static_cast<int>(dist.size())))
            dists.push_back(s);
    bool skewed = rng() % 2 == 0;
    std::vector<int> ll = RandomCompleteLengths(lits.size() + lens.size(), rng, skewed);
    std::vector<int> dl = RandomCompleteLengths(dists.size(), rng, skewed);
    for (size_t i = 0; i < lits.size() + lens.size(); ++i)
        lit[i < lits.size() ? lits[i] : lens[i - lits.size()]] = ll[i];
    for (size_t i = 0; i < dists.size(); ++i)
        dist[dists[i]] = dl[i];
    lens.erase(lens.begin());  // the end of block
    DynamicBlock b(lit, dist);
    b.Header(w, final);
    for (int i = 0; i < ops && !(lits.empty() && lens.empty()); ++i) {
        if (!lits.empty() && (lens.empty() || rng() % 3 == 0)) {
            b.Lit(w, lits[rng() % lits.size()]);
            continue;
        }
        int ls = lens[rng() % lens.size()], ds = dists[0];
        b.Lit(w, ls);
        w.Bits(rng(), ls < 265 || ls == 285 ? 0 : (ls - 261) / 4);
        for (int s : dists)  // mostly near distances, which the data can supply
            ds = (s < 20 && rng() % 2) || rng() % 16 == 0 ? s : ds;
        b.Dist(w, ds);
        w.Bits(rng(), ds < 4 ? 0 : ds / 2 - 1);
    }
    b.Lit(w, 256);
}

// Several blocks: random dynamic ones, random fixed ones and stored ones.
Bytes RandomStream(uint32_t seed, int blocks, int ops) {
    std::mt19937 rng(seed);
    BitWriter w;
    Model m;
    for (int b = 0; b < blocks; ++b) {
        uint32_t kind = rng() % 5;
        if (kind == 0)
            RandomFixedBlock(w, m, b + 1 == blocks, ops, rng());
        else if (kind == 1)
            w.Stored(b + 1 == blocks, RandomBytes(rng() % 3000, rng()));
        else
            RandomDynamicBlock(w, rng, b + 1 == blocks, ops);
    }
    return w.Out();
}

}  // namespace

TEST(Lockstep, RandomCodesDecodeAlikeEveryWay) {
    std::mt19937 rng(99);
    for (uint32_t seed = 1; seed <= static_cast<uint32_t>(Runs(60)); ++seed) {
        bool bytes = seed % 6 == 0;  // short enough for a byte per call
        Bytes stream = RandomStream(seed, 1 + seed % 4, bytes ? 150 : 200 + seed * 97 % 3000);
        CheckEveryWay(stream, nullptr, 4 << 20, "random stream " + std::to_string(seed), bytes, 2);
        for (int k = 0; k < 5 && !HasFailure(); ++k)
            CheckEveryWay(Flip(RandomStream(seed * 7919 + k, 1 + k % 3, 400), rng, 1 + k % 4), nullptr, 4 << 20,
                          "damaged random stream " + std::to_string(seed) + "." + std::to_string(k), false, 1);
        if (HasFailure())
            return;
    }
}

TEST(Lockstep, FuzzSeedsDecodeAlikeEveryWay) {
    std::vector<std::filesystem::path> paths;
    std::error_code ec;
    for (auto &e : std::filesystem::directory_iterator(QZ_TEST_INFLATE_CORPUS, ec))
        paths.push_back(e.path());
    ASSERT_FALSE(paths.empty()) << "no seeds in " << QZ_TEST_INFLATE_CORPUS;
    std::sort(paths.begin(), paths.end());
    std::mt19937 rng(5);
    for (auto &path : paths) {
        std::ifstream f(path, std::ios::binary);
        Bytes seed((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        // The fuzz target reads five bytes of feeding choices, then the stream.
        Bytes stream(seed.begin() + std::min<size_t>(5, seed.size()), seed.end());
        std::string what = path.filename().string();
        CheckEveryWay(stream, nullptr, 4 << 20, what, stream.size() < 4096, 2);
        CheckEveryWay(seed, nullptr, 4 << 20, what + " as a whole", false, 1);
        for (int k = 0; k < Runs(40) && !HasFailure(); ++k)
            CheckEveryWay(Flip(stream, rng, 1 + k % 3), nullptr, 4 << 20, what + ", flips " + std::to_string(k),
                          false, 1);
    }
}

TEST(Lockstep, AnInvalidDistanceAfterAFullWindowSuspendsAlike) {
    // The fast loop leaves the distance to the byte-wise steps, which find it
    // invalid and deliver; with little room the delivery suspends, and the
    // consumed count of that call shows the bit state.
    for (int sym : {30, 31}) {
        // Input left over behind the fault: the fast loop runs up to it.
        Bytes s = Build("r0,4000,4 f1 'x c260 d" + std::to_string(sym) + " b23130,16 a 200*b51,8").stream;
        for (uint32_t room : {1u, 7u, 1000u})
            EXPECT_EQ(Lockstep(s, Fixed("room", 0xFFFFFFFFu, room), 1 << 20).error, "") << sym << ", " << room;
        CheckEveryWay(s, nullptr, 1 << 20, "distance symbol " + std::to_string(sym), false, 3);
    }
}

#if defined(QZ_TEST_HAVE_ZLIB)

TEST(Lockstep, ReferenceStreamsDecodeToTheirDataEveryWay) {
    std::vector<std::pair<std::string, Bytes>> samples;
    for (size_t n : {0, 1, 2, 17, 1000, 32767, 32768, 32769, 65536, 100003}) {
        samples.push_back({"random " + std::to_string(n), RandomBytes(n, static_cast<uint32_t>(n))});
        samples.push_back({"sample " + std::to_string(n), SampleData(n, static_cast<uint32_t>(n))});
    }
    const size_t large = Runs(16) * (3 << 16);  // 3 MiB, under valgrind 192 KiB
    samples.push_back({"large random", RandomBytes(large, 1)});
    samples.push_back({"large sample", SampleData(large, 2)});
    for (const Compressor &c : Compressors()) {
        for (const auto &s : samples) {
            bool isLarge = s.second.size() == large;
            if (isLarge && c.name != "zlib level 1" && c.name != "zlib level 6" && c.name != "zlib level 9" &&
                c.name != "zlib Huffman only" && c.name != "zlib RLE" && c.name != "libdeflate level 12")
                continue;  // these decode the same block kinds
            Bytes stream = Compress(c, s.second);
            std::string what = c.name + ", " + s.first;
            bool bytes = s.second.size() <= static_cast<size_t>(Runs(16) * 2500);
            Outcome whole = CheckEveryWay(stream, &s.second, s.second.size() + 1, what, bytes, 1, true);
            EXPECT_EQ(whole.rets.size(), 1u) << what;
            EXPECT_EQ(whole.consumed, stream.size()) << what;
            if (s.second.size() <= 3000) {
                // Bytes behind the stream are left alone, bar one or two of lookahead.
                stream.insert(stream.end(), 10, 0x5A);
                Outcome padded = Lockstep(stream, Fixed("whole", 0xFFFFFFFFu, 1 << 20), 1 << 20);
                EXPECT_TRUE(padded.out == s.second) << what;
                EXPECT_GE(padded.consumed, stream.size() - 9) << what;
                EXPECT_LE(padded.consumed, stream.size() - 8) << what;
            }
            if (HasFailure())
                return;
        }
    }
}

TEST(Lockstep, DamagedStreamsDecodeAsZlibDoesWhereItEnds) {
    std::mt19937 rng(2024);
    int agreed = 0;
    for (int i = 0; i < Runs(2000); ++i) {
        Bytes data = SampleData(200 + rng() % (i % 2 ? 3000 : 30000), i);
        Compressor c = {"", static_cast<int>(rng() % 10), i % 5 == 0 ? Z_FIXED : Z_DEFAULT_STRATEGY, 0, false};
        Bytes stream = Flip(Compress(c, data), rng, 1 + rng() % 3);
        Bytes ref(4 * data.size() + 65536);
        z_stream z = {};
        inflateInit2(&z, -15);
        z.next_in = stream.data();
        z.avail_in = static_cast<uInt>(stream.size());
        z.next_out = ref.data();
        z.avail_out = static_cast<uInt>(ref.size());
        bool ended = inflate(&z, Z_FINISH) == Z_STREAM_END;
        ref.resize(z.total_out);
        inflateEnd(&z);
        std::string what = "damaged stream " + std::to_string(i);
        std::vector<Feed> feeds = {Fixed("whole", 0xFFFFFFFFu, 65536), Fixed("pipeline pieces", 65520, 65520),
                                   RandomFeed("random", i, 64, 4096), RandomFeed("random", i, 4096, 40000)};
        for (const Feed &feed : feeds) {
            Outcome r = Lockstep(stream, feed, 4 << 20);
            ASSERT_EQ(r.error, "") << what << ", " << feed.name;
            ASSERT_TRUE(r.truncated || r.rets.back().result == dc::kInflateFinished) << what;
            if (ended)
                ASSERT_TRUE(r.out == ref) << what << ", " << feed.name;
        }
        agreed += ended;
    }
    EXPECT_GT(agreed, Runs(2000) / 30);  // the comparison did happen
}

#endif  // QZ_TEST_HAVE_ZLIB
