// The engine against the references: streams made by zlib (every level and
// strategy) and libdeflate (level 12) over random, text and binary data,
// decoded whole, byte by byte and in random chunks; and damaged streams that
// zlib's raw inflate decodes to the end, which the engine must decode alike.
// Built only where the references are installed.
#if defined(QZ_TEST_HAVE_ZLIB)

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decode/decode.h"
#include "inflate_driver.h"
#include "reference_streams.h"

using namespace qz_test;
using qz::decode::kInflateFinished;

namespace {

// zlib's raw inflate over a whole stream: Z_STREAM_END, or an error code.
int ZlibInflate(const std::vector<uint8_t> &stream, std::vector<uint8_t> *out, size_t limit,
                size_t *consumed = nullptr) {
    z_stream s = {};
    inflateInit2(&s, -15);
    out->assign(limit, 0);
    s.next_in = const_cast<Bytef *>(stream.data());
    s.avail_in = static_cast<uInt>(stream.size());
    s.next_out = out->data();
    s.avail_out = static_cast<uInt>(out->size());
    int rc = inflate(&s, Z_FINISH);
    out->resize(s.total_out);
    if (consumed)
        *consumed = s.total_in;
    inflateEnd(&s);
    return rc;
}

// Decodes the stream every way and compares with the original and zlib.
void CheckStream(const std::vector<uint8_t> &stream, const std::vector<uint8_t> &data,
                 const std::string &what, bool bytes, int chunkRuns) {
    std::vector<uint8_t> ref;
    size_t refConsumed = 0;
    ASSERT_EQ(ZlibInflate(stream, &ref, data.size() + 1, &refConsumed), Z_STREAM_END) << what;
    ASSERT_TRUE(ref == data) << what;

    DriveResult whole = Drive(stream, Feed::Whole(), true, data.size() + 1);
    ASSERT_EQ(whole.error, "") << what;
    EXPECT_EQ(whole.result, kInflateFinished) << what;
    EXPECT_EQ(whole.calls, 1u) << what;
    EXPECT_EQ(whole.consumed, refConsumed) << what;
    ASSERT_TRUE(whole.out == data) << what << ": whole";

    if (bytes) {
        DriveResult b = Drive(stream, Feed::Bytes());
        ASSERT_EQ(b.error, "") << what;
        EXPECT_EQ(b.consumed, refConsumed) << what;
        ASSERT_TRUE(b.out == data) << what << ": byte at a time";
    }
    for (int i = 0; i < chunkRuns; ++i) {
        uint32_t seed = static_cast<uint32_t>(stream.size() * 31 + i);
        DriveResult c = Drive(stream, Feed::Random(seed, 1 << 17, 1 << 17));
        ASSERT_EQ(c.error, "") << what;
        EXPECT_EQ(c.consumed, refConsumed) << what;
        ASSERT_TRUE(c.out == data) << what << ": random chunks, seed " << seed;
    }
}

class InflateReference : public ::testing::TestWithParam<Compressor> {};

}  // namespace

TEST_P(InflateReference, SmallAndMediumStreamsEveryWay) {
    const Compressor &c = GetParam();
    static const std::vector<Sample> samples =
        Samples({0, 1, 2, 3, 17, 1000, 32767, 32768, 32769, 65536, 100003});
    for (auto &s : samples) {
        std::vector<uint8_t> stream = Compress(c, s.data);
        CheckStream(stream, s.data, c.name + ", " + s.kind, s.data.size() <= 40000, 2);
    }
}

TEST_P(InflateReference, LargeStreamsWholeAndInChunks) {
    const Compressor &c = GetParam();
    // Several megabytes for a few of the compressors; the others decode the
    // same block kinds already.
    if (c.name != "zlib_level1" && c.name != "zlib_level6" && c.name != "zlib_level9" &&
        c.name != "zlib_huffman_only" && c.name != "zlib_rle" && c.name != "libdeflate_level12")
        GTEST_SKIP() << "large inputs run for a subset of the compressors";
    static const std::vector<Sample> samples = Samples({Bytes(3 << 20)});
    for (auto &s : samples) {
        std::vector<uint8_t> stream = Compress(c, s.data);
        CheckStream(stream, s.data, c.name + ", " + s.kind, false, 1);
    }
}

TEST_P(InflateReference, BytesBehindTheStreamAreLeftAlone) {
    // zlib stops at the stream's last byte; the engine takes one or two more.
    const Compressor &c = GetParam();
    for (auto &s : Samples({0, 5, 3000})) {
        std::vector<uint8_t> stream = Compress(c, s.data);
        std::vector<uint8_t> padded = stream;
        padded.insert(padded.end(), 10, 0x5A);
        DriveResult r = Drive(padded, Feed::Whole(), true, s.data.size() + 1);
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(r.result, kInflateFinished);
        EXPECT_TRUE(r.out == s.data) << c.name << ", " << s.kind;
        EXPECT_GE(r.consumed, stream.size() + 1) << c.name << ", " << s.kind;
        EXPECT_LE(r.consumed, stream.size() + 2) << c.name << ", " << s.kind;
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, InflateReference, ::testing::ValuesIn(Compressors()),
                         [](const ::testing::TestParamInfo<Compressor> &info) { return info.param.name; });

TEST(InflateDamaged, WhereZlibDecodesToTheEndTheEngineDecodesTheSame) {
    // Flip bits of small streams.  Whatever zlib's raw inflate accepts and
    // ends (the engine accepts a superset of codes), the engine must decode to
    // the same bytes; everything else must simply end, whatever the feeding.
    std::mt19937 rng(2024);
    int agreed = 0;
    for (int i = 0; i < 3000; ++i) {
        std::vector<uint8_t> data = i % 2 ? TextData(200 + rng() % 3000, i) : BinaryData(200 + rng() % 3000, i);
        Compressor c = {"", static_cast<int>(rng() % 10), i % 5 == 0 ? Z_FIXED : Z_DEFAULT_STRATEGY, 0, false};
        std::vector<uint8_t> stream = ZlibRaw(c, data);
        for (int f = 1 + rng() % 3; f > 0; --f)
            stream[rng() % stream.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        std::vector<uint8_t> ref;
        int rc = ZlibInflate(stream, &ref, 4 * data.size() + 65536);
        DriveResult whole = Drive(stream, {[] { return 0xFFFFFFFFu; }, [] { return 65536u; }}, true, 4 << 20);
        ASSERT_EQ(whole.error, "") << i;
        ASSERT_EQ(whole.result, kInflateFinished) << i;
        if (rc == Z_STREAM_END) {
            ++agreed;
            ASSERT_TRUE(whole.out == ref) << "mutation " << i;
        }
        DriveResult chunks = Drive(stream, Feed::Random(i, 64, 4096), true, 4 << 20);
        ASSERT_EQ(chunks.error, "") << i;
        ASSERT_TRUE(chunks.out == whole.out) << "mutation " << i;
    }
    EXPECT_GT(agreed, 100);  // the comparison did happen
}

#endif  // QZ_TEST_HAVE_ZLIB
