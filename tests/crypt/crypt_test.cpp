// CRC-32 and the traditional cipher through the exports, and the CRC's two ways.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "crypt/crypt.h"
#include "qzunpack.h"

TEST(Crc32, KnownValues) {
    EXPECT_EQ(~QzCrc32A("123456789", 9, 0xFFFFFFFFu), 0xCBF43926u);
    EXPECT_EQ(QzCrc32A(nullptr, 0, 0x12345678u), 0x12345678u);
}

// Where the processor folds with carry-less multiplication, from 256 bytes on.
TEST(Crc32, FoldingAndTheByteTablesAgreeOnOddLengthsAndEveryAlignment) {
    std::mt19937 rng(11);
    std::vector<uint8_t> data(1040);
    std::generate(data.begin(), data.end(), std::ref(rng));
    for (size_t n = 251; n <= 1023; n += 2) {
        for (size_t at = 0; at < 16; ++at) {
            uint32_t start = rng();
            uint32_t want = qz::crypt::crc32Portable(data.data() + at, n, start);
            ASSERT_EQ(qz::crypt::crc32(data.data() + at, n, start), want) << n << " bytes at " << at;
        }
    }
}

#if defined(QZ_TEST_HAVE_ZLIB)
#include <zlib.h>
TEST(Crc32, EveryLengthAlignmentAndFoldingStepAgreesWithZlib) {  // the folding starts at 256 bytes
    std::mt19937 rng(7);
    std::vector<uint8_t> data(1 << 20);
    std::generate(data.begin(), data.end(), std::ref(rng));
    for (size_t i = 0; i <= 402; ++i) {
        size_t n = i <= 400 ? i : i == 401 ? 100003 : data.size() - 16;
        for (uint8_t *p = data.data(); p < data.data() + 16; ++p) {
            uint32_t start = rng();
            p[rng() % (n + 1)] ^= static_cast<uint8_t>(1 + rng() % 255);
            ASSERT_EQ(~QzCrc32A(p, (uint32_t)n, start), crc32(~start, p, (uInt)n)) << n;
        }
    }
}
#endif

TEST(Cipher, AKnownVectorEnciphersAndDeciphers) {  // worked by hand, checked with Python's zipfile
    const uint8_t plain[] = "The quick brown fox\0\xff";
    const uint8_t cipher[] = {67, 234, 161, 36, 49, 146, 98, 13, 201, 63, 24,
                              95, 88, 34, 40, 51, 220, 181, 254, 241, 238};
    std::vector<uint8_t> buffer(plain, plain + 21);
    QzInitKeys("qzunpack", 8);
    QzEncryptData(buffer.data(), 21);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), cipher));
    QzInitKeys("qzunpack\x01", 0x10008);  // only the low 16 bits of the length count
    QzDecryptData(buffer.data(), 21);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), plain));
}

#ifndef _WIN32
#include "platform/host.h"
TEST(InitHeader, TenBytesFromTheMillisecondsThenTheCrcHighBytes) {
    const uint8_t want[2][12] = {{70, 167, 166, 153, 168, 183, 184, 51, 228, 127, 0x34, 0x12},
                                 {233, 30, 231, 146, 63, 224, 95, 120, 125, 146, 0x34, 0x12}};
    for (WORD ms : {0, 999}) {
        SYSTEMTIME t = {2024, 5, 0, 17, 0, 0, 0, ms};
        uint8_t header[12];
        qzhost_set_system_time(&t);
        QzInitHeader(header, 0x12345678u);
        EXPECT_TRUE(std::equal(header, header + 12, want[ms != 0])) << ms;
    }
    qzhost_set_system_time(nullptr);
}
#endif
