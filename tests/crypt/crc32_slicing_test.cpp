// CRC-32 eight bytes at a time (and folded, where the processor can) against
// the byte-at-a-time form and, where it is installed, zlib's crc32: every
// length and alignment around the steps, random registers to continue from,
// pieces, and large buffers.
#include <gtest/gtest.h>

#include <stdint.h>

#include <random>
#include <vector>

#if defined(QZ_TEST_HAVE_ZLIB)
#include <zlib.h>
#endif

#include "crypt/crypt.h"
#include "qzunpack.h"

namespace {

std::vector<uint8_t> Random(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v)
        b = (uint8_t)rng();
    return v;
}

TEST(Crc32Slicing, EveryShortLengthAtEveryAlignment)
{
    std::vector<uint8_t> data = Random(4096, 1);
    std::mt19937 rng(2);
    for (size_t align = 0; align < 16; ++align) {
        for (size_t n = 0; n <= 100; ++n) {
            uint32_t start = rng();
            const uint8_t *p = data.data() + align;
            ASSERT_EQ(QzCrc32A(p, (uint32_t)n, start), qz::crypt::crc32Bytewise(p, n, start))
                << "alignment " << align << ", length " << n;
        }
    }
}

TEST(Crc32Slicing, LengthsAroundTheFoldingSteps)
{
    // Where the processor multiplies without carries, long buffers are folded
    // 64 and 16 bytes at a time with a tail of bytes: every remainder of
    // those steps, at every alignment, from lengths below the first fold on.
    std::vector<uint8_t> data = Random(2048, 8);
    std::mt19937 rng(9);
    for (size_t align = 0; align < 16; ++align) {
        for (size_t n = 200; n <= 700; ++n) {
            uint32_t start = rng();
            const uint8_t *p = data.data() + align;
            ASSERT_EQ(QzCrc32A(p, (uint32_t)n, start), qz::crypt::crc32Bytewise(p, n, start))
                << "alignment " << align << ", length " << n;
        }
    }
}

TEST(Crc32Slicing, RandomLengthsAndOffsets)
{
    std::vector<uint8_t> data = Random(1 << 20, 3);
    std::mt19937 rng(4);
    for (int i = 0; i < 2000; ++i) {
        size_t at = rng() % data.size();
        size_t n = rng() % (data.size() - at + 1);
        if (i % 50 != 0)
            n %= 70000;
        uint32_t start = rng();
        ASSERT_EQ(QzCrc32A(data.data() + at, (uint32_t)n, start),
                  qz::crypt::crc32Bytewise(data.data() + at, n, start))
            << "offset " << at << ", length " << n;
    }
}

TEST(Crc32Slicing, ADifferenceInAnyByteChangesTheRegister)
{
    // A slicing table applied to the wrong byte position would still give the
    // right result for some data; changing each byte of a 64-byte buffer in
    // turn must change the result and match the byte-wise form every time.
    std::vector<uint8_t> data = Random(64, 5);
    uint32_t base = QzCrc32A(data.data(), 64, 0xFFFFFFFFu);
    for (size_t i = 0; i < data.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            data[i] ^= (uint8_t)(1u << bit);
            uint32_t crc = QzCrc32A(data.data(), 64, 0xFFFFFFFFu);
            EXPECT_NE(crc, base) << i << ", bit " << bit;
            EXPECT_EQ(crc, qz::crypt::crc32Bytewise(data.data(), 64, 0xFFFFFFFFu)) << i << ", bit " << bit;
            data[i] ^= (uint8_t)(1u << bit);
        }
    }
}

#if defined(QZ_TEST_HAVE_ZLIB)

TEST(Crc32Slicing, SameAsZlibOnRandomLengthsAndAlignments)
{
    // zlib applies the preset and the final inversion itself: its crc32(c, ...)
    // is the complement of QzCrc32A continued from the complement of c.
    std::vector<uint8_t> data = Random(3 << 20, 6);
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        size_t at = rng() % 64;
        size_t n = rng() % (i % 10 == 0 ? data.size() - at : 5000);
        uint32_t c = rng();
        uint32_t ours = QzCrc32A(data.data() + at, (uint32_t)n, ~c);
        uint32_t theirs = (uint32_t)crc32(c, data.data() + at, (uInt)n);
        ASSERT_EQ(~ours, theirs) << "offset " << at << ", length " << n;
    }
    // A whole buffer in the pipeline's pieces, against zlib in one call.
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t at = 0; at < data.size(); at += 65520) {
        uint32_t n = (uint32_t)std::min<size_t>(65520, data.size() - at);
        crc = QzCrc32A(data.data() + at, n, crc);
    }
    EXPECT_EQ(~crc, (uint32_t)crc32(0, data.data(), (uInt)data.size()));
}

#endif

}  // namespace
