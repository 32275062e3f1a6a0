// CRC-32 and the traditional cipher through the exports.
#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <vector>

#include "crypt/crypt.h"
#include "qzunpack.h"

namespace {

TEST(Crc32, CheckValues)
{
    EXPECT_EQ(QzCrc32A("123456789", 9, 0xFFFFFFFFu), 0x340BC6D9u);
    EXPECT_EQ(~QzCrc32A("123456789", 9, 0xFFFFFFFFu), 0xCBF43926u);
    EXPECT_EQ(QzCrc32A("abc", 3, 0xFFFFFFFFu), 0xCADBBE3Du);
    EXPECT_EQ(qz::crypt::kCrcTable[1], 0x77073096u);
    EXPECT_EQ(qz::crypt::kCrcTable[255], 0x2D02EF8Du);
}

TEST(Crc32, ZeroLengthLeavesTheRegisterAndIgnoresTheBuffer)
{
    EXPECT_EQ(QzCrc32A(nullptr, 0, 0x12345678u), 0x12345678u);
}

TEST(Crc32, PiecesGiveTheSameRegisterAsOneCall)
{
    std::vector<unsigned char> data(100000);
    std::mt19937 rng(7);
    for (auto &b : data)
        b = (unsigned char)rng();
    uint32_t whole = QzCrc32A(data.data(), (uint32_t)data.size(), 0xFFFFFFFFu);
    uint32_t crc = 0xFFFFFFFFu;
    size_t at = 0;
    while (at < data.size()) {
        size_t n = std::min<size_t>(rng() % 5000, data.size() - at);
        crc = QzCrc32A(data.data() + at, (uint32_t)n, crc);
        at += n;
    }
    EXPECT_EQ(crc, whole);
}

TEST(Cipher, FirstKeystreamByteOfTheInitialKeys)
{
    QzInitKeys("", 0);
    unsigned char b = 0;
    QzDecryptData(&b, 1);
    EXPECT_EQ(b, 0xAB);
    // Only the low 16 bits of the length count.
    QzInitKeys("password", 0x10000);
    b = 0;
    QzDecryptData(&b, 1);
    EXPECT_EQ(b, 0xAB);
}

TEST(Cipher, EncryptThenDecryptRestoresAndLeavesEqualKeys)
{
    const char secret[] = "s\0ecret";   // counted: the NUL is a password byte
    unsigned char data[300], copy[300];
    for (int i = 0; i < 300; i++)
        data[i] = copy[i] = (unsigned char)(i * 7);
    QzInitKeys(secret, 7);
    QzEncryptData(data, sizeof data);
    EXPECT_NE(memcmp(data, copy, sizeof data), 0);
    unsigned char probeA = 0;
    QzEncryptData(&probeA, 1);          // a byte of the keystream after the run

    unsigned char cipher[300];
    memcpy(cipher, data, sizeof data);
    QzInitKeys(secret, 7);
    QzDecryptData(data, sizeof data);
    EXPECT_EQ(memcmp(data, copy, sizeof data), 0);
    unsigned char probeB = 0;
    QzEncryptData(&probeB, 1);
    EXPECT_EQ(probeA, probeB);

    // Without the NUL byte the password is another one.
    QzInitKeys(secret, 1);
    QzDecryptData(cipher, sizeof cipher);
    EXPECT_NE(memcmp(cipher, copy, sizeof copy), 0);
}

TEST(Cipher, ZeroCountDoesNothing)
{
    QzInitKeys("k", 1);
    unsigned char b = 0x55;
    QzDecryptData(&b, 0);
    EXPECT_EQ(b, 0x55);
}

TEST(InitHeader, CrcBytesAtTheEnd)
{
    unsigned char header[12];
    QzInitHeader(header, 0xA1B2C3D4u);
    EXPECT_EQ(header[10], 0xB2);
    EXPECT_EQ(header[11], 0xA1);
}

}  // namespace
