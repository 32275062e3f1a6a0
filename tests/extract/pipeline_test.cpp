// The entry decoding pipeline on its own: chunks of 65,520 bytes, the steps
// inside a chunk, progress reports, CRC, and how reads, writes, methods and
// cancellation end it.
#include <string>
#include <vector>

#include "decode/pipeline.h"
#include "extract_helpers.h"
#include "frame/frame.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

using namespace qztest;
namespace qd = qz::decode;

namespace {

class Pipeline : public ::testing::Test {
protected:
    TempDir dir;
    HGLOBAL input = GlobalAlloc(GMEM_FIXED, qd::kChunkBytes);
    HGLOBAL output = GlobalAlloc(GMEM_MOVEABLE, qd::kChunkBytes);
    RecordingCallback cb;
    uint32_t crc = 0xDEADBEEF;

    ~Pipeline() override
    {
        GlobalFree(input);
        GlobalFree(output);
    }

    // Decodes `stored` (the entry's stored bytes) from a file, into a file
    // unless testing; returns the result and leaves the output in *decoded.
    int16_t decode(const std::string &stored, int16_t method, uint32_t size, std::string *decoded = nullptr,
                   bool test = false, int32_t compressedSize = -1)
    {
        writeFile(dir.file("in.bin"), stored);
        HANDLE in = CreateFileA(dir.file("in.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        HANDLE out = test ? INVALID_HANDLE_VALUE
                          : CreateFileA(dir.file("out.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                        CREATE_ALWAYS, 0, NULL);
        qd::TransferBuffers buffers = {(uint8_t *)input, output};
        int16_t r = qd::DecodeEntry(in, out, compressedSize < 0 ? (int32_t)stored.size() : compressedSize, size,
                                    method, &crc, 0, buffers);
        CloseHandle(in);
        if (out != INVALID_HANDLE_VALUE)
            CloseHandle(out);
        if (decoded)
            *decoded = test ? std::string() : readFile(dir.file("out.bin"));
        return r;
    }

    std::vector<uint32_t> progress() const
    {
        std::vector<uint32_t> p;
        for (const QzPrintBlock &b : cb.eventsOf(QZ_EVENT_NOTIFICATION))
            p.push_back(uint32_t(b.bytesDone));
        return p;
    }
};

TEST_F(Pipeline, StoredDataTakesOneStepPerChunk)
{
    std::string data = noise(65520), out;
    ASSERT_EQ(decode(data, 0, (uint32_t)data.size(), &out), 0);
    EXPECT_TRUE(out == data);
    EXPECT_EQ(crc, crc32(data));
    // First report, one step, last report.
    EXPECT_EQ(progress(), (std::vector<uint32_t>{0, 0, 65520}));

    cb.clear();
    data += "!";
    ASSERT_EQ(decode(data, 0, (uint32_t)data.size(), &out), 0);
    EXPECT_TRUE(out == data);
    EXPECT_EQ(progress(), (std::vector<uint32_t>{0, 0, 65520, 65521}));
}

TEST_F(Pipeline, DeflateDataTakesAStepPerDelivery)
{
    std::string data(1000000, 'z'), out;
    std::string packed = deflate(data);
    ASSERT_LT(packed.size(), 65520u);
    ASSERT_EQ(decode(packed, 1, (uint32_t)data.size(), &out), 0);
    EXPECT_TRUE(out == data);
    EXPECT_EQ(crc, crc32(data));
    std::vector<uint32_t> p = progress();
    // Each step has room for 65,520 bytes and gets at least one delivery.
    EXPECT_GE(p.size(), 2 + data.size() / 65520);
    EXPECT_LE(p.size(), 2 + data.size() / 32768 + 1);
    EXPECT_EQ(p.back(), data.size());
}

TEST_F(Pipeline, TestModeReportsNoBytesUntilTheEnd)
{
    std::string data = noise(200000);
    ASSERT_EQ(decode(deflate(data, Deflate::Stored), 2, (uint32_t)data.size(), nullptr, true), 0);
    EXPECT_EQ(crc, crc32(data));
    std::vector<uint32_t> p = progress();
    ASSERT_GE(p.size(), 5u);
    for (size_t i = 0; i + 1 < p.size(); ++i)
        EXPECT_EQ(p[i], 0u);
    EXPECT_EQ(p.back(), data.size());
}

TEST_F(Pipeline, NothingToDecode)
{
    EXPECT_EQ(decode("", 1, 0), 0);
    EXPECT_EQ(crc, 0u);
    EXPECT_EQ(progress(), (std::vector<uint32_t>{0}));
    // Unknown method codes are refused before anything is read.
    cb.clear();
    EXPECT_EQ(decode("xxxx", 6, 4), QZ_ERR_METHOD);
    EXPECT_EQ(crc, 0u);
    EXPECT_EQ(progress(), (std::vector<uint32_t>{0}));
    EXPECT_EQ(decode("xxxx", 9, 4), QZ_ERR_METHOD);
    EXPECT_EQ(decode("xxxx", -1, 4), QZ_ERR_METHOD);
}

TEST_F(Pipeline, BytesAfterTheEndOfTheStreamAreNotRead)
{
    std::string data = "short stream", out;
    std::string stored = deflate(data);
    stored += std::string(131040 - stored.size(), '\x55');
#ifndef _WIN32
    qzhost_reset_counters();
#endif
    ASSERT_EQ(decode(stored, 1, (uint32_t)data.size(), &out), 0);
    EXPECT_EQ(out, data);
    EXPECT_EQ(crc, crc32(data));
#ifndef _WIN32
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.reads, 1u);   // the first chunk only
#endif
}

TEST_F(Pipeline, AShortReadEndsWithWhatWasDecoded)
{
    std::string data = noise(100000), out;
    // Two chunks are announced, but the file ends inside the second.
    ASSERT_EQ(decode(data.substr(0, 70000), 0, (uint32_t)data.size(), &out, false, (int32_t)data.size()),
              QZ_ERR_READ);
    EXPECT_TRUE(out == data.substr(0, 65520));
    EXPECT_EQ(crc, crc32(data.substr(0, 65520)));
    EXPECT_EQ(progress().back(), data.size());
    // A first chunk that is short already.
    cb.clear();
    ASSERT_EQ(decode("abc", 0, 10, &out, false, 10), QZ_ERR_READ);
    EXPECT_EQ(out, "");
    EXPECT_EQ(progress(), (std::vector<uint32_t>{0, 10}));
}

TEST_F(Pipeline, ACancelDuringTheLastChunkTurnsSuccessIntoCancelled)
{
    std::string data = noise(70000), out;
    int reports = 0;
    cb.onEvent([&](const QzPrintBlock &) {
        if (++reports == 3)   // before the step of the second (last) chunk
            Qz4Cancel();
        return RecordingCallback::kNoAnswer;
    });
    EXPECT_EQ(decode(data, 0, (uint32_t)data.size(), &out), QZ_CANCELLED);
    EXPECT_TRUE(out == data);
    EXPECT_EQ(qz::frame::g.cancel, 0);

    // Between chunks: the rest is not read.
    reports = 0;
    cb.onEvent([&](const QzPrintBlock &) {
        if (++reports == 2)
            Qz4Cancel();
        return RecordingCallback::kNoAnswer;
    });
    EXPECT_EQ(decode(data, 0, (uint32_t)data.size(), &out), QZ_CANCELLED);
    EXPECT_TRUE(out == data.substr(0, 65520));
}

#ifndef _WIN32
// Needs the POSIX layer's write faults.
TEST_F(Pipeline, AFailedWriteEndsWithMinusTen)
{
    std::string data = noise(100000), out;
    qzhost_disk_full_after(70000);
    EXPECT_EQ(decode(data, 0, (uint32_t)data.size(), &out), QZ_ERR_WRITE);
    qzhost_clear_faults();
    EXPECT_EQ(progress().back(), data.size());
    qzhost_short_write(1, 10);
    EXPECT_EQ(decode(data, 0, (uint32_t)data.size(), &out), QZ_ERR_WRITE);
    qzhost_clear_faults();
}

TEST_F(Pipeline, NoMemoryForTheWorkspace)
{
    qzhost_fail_alloc(1, 0);
    EXPECT_EQ(decode(deflate("abc"), 1, 3), QZ_ERR_MEMORY);
    qzhost_clear_faults();
    EXPECT_EQ(crc, 0u);
    // No last report: decoding never started.
    EXPECT_EQ(progress(), (std::vector<uint32_t>{0}));
}
#endif

}  // namespace
