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

// A dynamic block over random codes (at most 286 and 30 symbols), then random
// literals and matches whose distances may reach beyond the data.
std::string RandomDynamic(bool final, std::mt19937 &rng, int ops) {
    std::vector<int> lits, lens, dists;
    for (int s = 0, n = 257 + rng() % 30; s < n; ++s)
        if (s == 256 || rng() % 3 != 0)
            (s < 256 ? lits : lens).push_back(s);
    for (int s = 0, n = 1 + rng() % 30; s < n; ++s)
        if (rng() % 4 != 0 || (dists.empty() && s + 1 == n))
            dists.push_back(s);
    bool skewed = rng() % 2 == 0;
    std::vector<int> ll = RandomCompleteLengths(lits.size() + lens.size(), rng, skewed);
    std::vector<int> dl = RandomCompleteLengths(dists.size(), rng, skewed);
    std::string spec = final ? "D1:" : "D0:";
    spec += std::to_string(lens.back() + 1) + ":";
    for (size_t i = 0; i < ll.size(); ++i)
        spec += std::to_string(i < lits.size() ? lits[i] : lens[i - lits.size()]) + "=" + std::to_string(ll[i]) + ",";
    spec += ":" + std::to_string(dists.back() + 1) + ":";
    for (size_t i = 0; i < dl.size(); ++i)
        spec += std::to_string(dists[i]) + "=" + std::to_string(dl[i]) + ",";
    lens.erase(lens.begin());  // the end of block
    for (int i = 0; i < ops && !(lits.empty() && lens.empty()); ++i) {
        if (!lits.empty() && (lens.empty() || rng() % 3 == 0)) {
            spec += " c" + std::to_string(lits[rng() % lits.size()]);
            continue;
        }
        int l = lens[rng() % lens.size()] - 257, d = dists[0];
        for (int s : dists)  // mostly near distances, which the data can supply
            d = (s < 20 && rng() % 2) || rng() % 16 == 0 ? s : d;
        int length = kLengthBase[l] + rng() % ((1 << LengthExtra(l)) - (l == 27));  // 258 is symbol 285
        spec += " m" + std::to_string(length) + "," + std::to_string(kDistBase[d] + rng() % (1 << DistExtra(d)));
    }
    return spec + " c256";
}

// Several blocks: random dynamic ones, random fixed ones and stored ones.
Bytes RandomStream(uint32_t seed, int blocks, int ops) {
    std::mt19937 rng(seed);
    std::string spec;
    for (int b = 0; b < blocks; ++b) {
        bool final = b + 1 == blocks;
        uint32_t kind = rng() % 5;
        if (kind == 0)
            spec += " " + RandomFixed(final, ops, rng());
        else if (kind == 1)
            spec += " s" + std::to_string(final) + "#" + std::to_string(rng() % 3000) + "@" + std::to_string(rng());
        else
            spec += " " + RandomDynamic(final, rng, ops);
    }
    return Build(spec).stream;
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

#if defined(QZ_TEST_HAVE_ZLIB)

// zlib's raw inflate of a whole stream: the bytes, if it decodes to the end.
bool ZlibInflate(const Bytes &stream, Bytes &out) {
    z_stream z = {};
    inflateInit2(&z, -15);
    z.next_in = const_cast<uint8_t *>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    bool ended = inflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(z.total_out);
    inflateEnd(&z);
    return ended;
}

TEST(Lockstep, ReferenceStreamsAndDamagedOnesDecodeAsZlibDoes) {
    std::vector<std::pair<std::string, Bytes>> samples;
    for (size_t n : {0, 1, 2, 17, 1000, 32767, 32768, 32769, 65536, 100003}) {
        samples.push_back({"random " + std::to_string(n), RandomBytes(n, static_cast<uint32_t>(n))});
        samples.push_back({"sample " + std::to_string(n), SampleData(n, static_cast<uint32_t>(n))});
    }
    const size_t large = Runs(16) * (3 << 16);  // 3 MiB, under valgrind 192 KiB
    samples.push_back({"large random", RandomBytes(large, 1)});
    samples.push_back({"large sample", SampleData(large, 2)});
    std::mt19937 rng(2024);
    int agreed = 0;
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
            // Where zlib decodes a damaged stream to its end, the engine must agree.
            for (int k = 0; k < (isLarge || s.second.size() > 40000 ? 0 : 6); ++k) {
                Bytes damaged = Flip(stream, rng, 1 + k % 3), ref(4 * s.second.size() + 65536);
                bool ended = ZlibInflate(damaged, ref);
                agreed += ended;
                CheckEveryWay(damaged, ended ? &ref : nullptr, 4 * s.second.size() + 65536,
                              what + ", damaged " + std::to_string(k), false, 1);
            }
            if (HasFailure())
                return;
        }
    }
    EXPECT_GT(agreed, 100);  // the comparison did happen
}

#endif  // QZ_TEST_HAVE_ZLIB
