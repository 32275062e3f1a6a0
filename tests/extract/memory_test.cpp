// Qz4UnZipPtr: which entry the specification picks, the window of skip and
// limit, passwords, methods, and what is reported.
#include <string>
#include <vector>

#include "extract_helpers.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

using namespace qztest;

namespace {

std::string pattern(size_t n)
{
    std::string s(n, 0);
    uint32_t x = 7;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        // Compressible, but not a plain run: short repeats of a few symbols.
        s[i] = (char)('a' + ((x >> 24) % 4) + (i / 4096) % 8);
    }
    return s;
}

class Memory : public Extraction {
protected:
    std::string big = pattern(1500000);
    QzHandle h = QZ_INVALID_HANDLE;

    void SetUp() override
    {
        Extraction::SetUp();
        Entry secret("secret.txt", "the secret text", 8);
        secret.password = "pw";
        Entry longName("SHORT.TXT", "by its long name");
        longName.extra = extendedNameBlock("Long name.txt");
        h = open({Entry("top.txt", "top level"), Entry("DOCS/a.txt", "in docs", 8),
                  Entry("DOCS/SUB/b.txt", "deeper"), Entry("big.bin", big, 8), Entry("stored.bin", big.substr(0, 200000)),
                  Entry("empty.txt", ""), secret, Entry("imploded.bin", "xx", 6), Entry("shrunk.bin", "yy", 1),
                  Entry("deflate64.bin", "zz", 9), longName});
    }

    // Decodes into a buffer of `room` bytes (filled with '#' first).
    std::string get(const char *spec, int32_t skip = 0, int32_t limit = -1, const char *command = "",
                    int16_t *result = nullptr, size_t room = 1600000)
    {
        std::vector<char> buffer(room, '#');
        int16_t r = Qz4UnZipPtr(h, buffer.data(), skip, limit, spec, command);
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, 0) << spec;
        std::string s(buffer.begin(), buffer.end());
        size_t end = s.find_last_not_of('#');
        return end == std::string::npos ? std::string() : s.substr(0, end + 1);
    }
};

TEST_F(Memory, DeliversWholeEntries)
{
    EXPECT_EQ(get("top.txt"), "top level");
    EXPECT_TRUE(get("big.bin") == big);
    EXPECT_TRUE(get("stored.bin") == big.substr(0, 200000));
    EXPECT_EQ(get("empty.txt"), "");
    EXPECT_EQ(get("secret.txt", 0, -1, "-s/pw/"), "the secret text");
}

TEST_F(Memory, DeliversAWindowOfTheStream)
{
    EXPECT_EQ(get("big.bin", 1234567, 10), big.substr(1234567, 10));
    EXPECT_EQ(get("big.bin", 65520, 5), big.substr(65520, 5));
    EXPECT_EQ(get("stored.bin", 65519, 3), big.substr(65519, 3));
    EXPECT_TRUE(get("big.bin", 1000000) == big.substr(1000000));
    EXPECT_EQ(get("big.bin", -5, 4), big.substr(0, 4));
    // Nothing to deliver is no error.
    EXPECT_EQ(get("big.bin", (int32_t)big.size(), 10), "");
    EXPECT_EQ(get("big.bin", 0x7FFFFFFF), "");
    EXPECT_EQ(get("big.bin", 0, 0), "");
}

#ifndef _WIN32
// Counts reads with the POSIX layer's counters.
TEST_F(Memory, StopsReadingOnceTheLimitIsReached)
{
    qzhost_reset_counters();
    EXPECT_EQ(get("big.bin", 100, 10), big.substr(100, 10));
    qzhost_counters early;
    qzhost_get_counters(&early);
    qzhost_reset_counters();
    EXPECT_EQ(get("big.bin", 1400000, 10), big.substr(1400000, 10));
    qzhost_counters late;
    qzhost_get_counters(&late);
    EXPECT_LT(early.reads + 3, late.reads);
    EXPECT_EQ(early.blocks, 0);
    EXPECT_EQ(late.handles, 0);
}
#endif

TEST_F(Memory, TheSpecificationNamesOneDirectory)
{
    int16_t r;
    get("a.txt", 0, -1, "", &r);
    EXPECT_EQ(r, QZ_NO_MORE_ENTRIES);
    EXPECT_EQ(get("DOCS/a.txt"), "in docs");
    EXPECT_EQ(get("DOCS\\*"), "in docs");
    EXPECT_EQ(get("DOCS/"), "in docs");
    EXPECT_EQ(get("DOCS/SUB/*.TXT"), "deeper");
    EXPECT_EQ(get("*.txt"), "top level");
}

TEST_F(Memory, PasswordsAreCheckedAndReported)
{
    RecordingCallback cb;
    int16_t r;
    std::string got = get("secret.txt", 0, -1, "-s/wrong/", &r);
    EXPECT_EQ(r, QZ_BAD_PASSWORD);
    EXPECT_EQ(got, "");
    EXPECT_EQ(cb.eventsOf(QZ_EVENT_MESSAGE, QZ_WRONG_PASSWORD).size(), 1u);
    get("secret.txt", 0, -1, "", &r);
    EXPECT_EQ(r, QZ_BAD_PASSWORD);
    // Testing checks the password and delivers nothing.
    got = get("secret.txt", 0, -1, "-t -s/pw/", &r);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(got, "");
}

TEST_F(Memory, MethodsTheLibraryCannotDecode)
{
    RecordingCallback cb;
    int16_t r;
    get("imploded.bin", 0, -1, "", &r);
    EXPECT_EQ(r, QZ_ERR_METHOD);
    get("shrunk.bin", 0, -1, "", &r);
    EXPECT_EQ(r, QZ_ERR_METHOD);
    EXPECT_TRUE(cb.eventsOf(QZ_EVENT_MESSAGE).empty());
    get("deflate64.bin", 0, -1, "", &r);
    EXPECT_EQ(r, QZ_ERR_METHOD);
    EXPECT_EQ(cb.eventsOf(QZ_EVENT_MESSAGE, QZ_ERR_METHOD).size(), 1u);
    // No progress is reported for memory extraction.
    EXPECT_TRUE(cb.eventsOf(QZ_EVENT_NOTIFICATION).empty());
}

TEST_F(Memory, BadArgumentsGiveTheirCodes)
{
    char b[16];
    EXPECT_EQ(Qz4UnZipPtr(0x4242, b, 0, -1, "top.txt", ""), QZ_ERR_HANDLE);
    EXPECT_EQ(Qz4UnZipPtr(h, b, 0, -1, "top.txt", "-w"), QZ_ERR_SWITCH);
    EXPECT_EQ(Qz4UnZipPtr(h, nullptr, 0, -1, "top.txt", ""), 0);
    EXPECT_EQ(Qz4UnZipPtr(h, b, 0, 16, nullptr, ""), 0);
}

TEST_F(Memory, LongNamesAreUsedOnceAskedFor)
{
    int16_t r;
    get("Long name.txt", 0, -1, "", &r);
    EXPECT_EQ(r, QZ_NO_MORE_ENTRIES);
    EXPECT_EQ(get("Long name.txt", 0, -1, "-.l"), "by its long name");
    EXPECT_EQ(get("Long name.txt"), "by its long name");
}

TEST_F(Memory, ACancelRequestEndsTheDecoding)
{
    Qz4Cancel();
    int16_t r;
    get("big.bin", 0, -1, "", &r);
    EXPECT_EQ(r, QZ_CANCELLED);
    EXPECT_TRUE(get("big.bin") == big);
}

}  // namespace
