// The file primitives and the buffered copy: result conventions, the
// halving of the copy buffer under memory pressure, cancellation, and
// temporary names.  Fault injection needs the POSIX layer's host controls.
#include <gtest/gtest.h>

#include <string>

#include "archive/archive.h"
#include "frame/frame.h"
#include "support/archive_helpers.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

using namespace qztest;
namespace qa = qz::archive;

namespace {

class Copy : public ::testing::Test {
protected:
    TempDir dir;
    std::string srcPath, dstPath;
    HANDLE src = INVALID_HANDLE_VALUE, dst = INVALID_HANDLE_VALUE;
    std::string content;

    void SetUp() override
    {
        for (size_t i = 0; i < 1300000; ++i)
            content += (char)(i * 7 + i / 251);
        srcPath = put(dir, "src.bin", content);
        dstPath = dir.file("dst.bin");
        src = CreateFileA(srcPath.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        dst = CreateFileA(dstPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    }
    void TearDown() override
    {
        if (src != INVALID_HANDLE_VALUE)
            CloseHandle(src);
        if (dst != INVALID_HANDLE_VALUE)
            CloseHandle(dst);
        qz::frame::g.cancel = 0;
#ifndef _WIN32
        qzhost_clear_faults();
        qzhost_set_pump_hook(nullptr, nullptr);
#endif
    }
    std::string written()
    {
        CloseHandle(dst);
        dst = INVALID_HANDLE_VALUE;
        return readFile(dstPath);
    }
};

TEST_F(Copy, CopiesFromTheCurrentPositions)
{
    ASSERT_NE(src, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(qa::seekTo(src, 1000));
    ASSERT_EQ(qa::writeAll(dst, "head", 4), 0);
    EXPECT_EQ(qa::copyBytes(src, dst, 1200000), 0);
    EXPECT_EQ(qa::tell(src), 1201000u);
    EXPECT_EQ(written(), "head" + content.substr(1000, 1200000));
}

TEST_F(Copy, ZeroAndNegativeCountsAndInvalidHandles)
{
    EXPECT_EQ(qa::copyBytes(src, dst, 0), 0);
    EXPECT_EQ(qa::copyBytes(src, dst, -5), 0);
    EXPECT_EQ(qa::copyBytes(INVALID_HANDLE_VALUE, dst, 0), QZ_ERR_FILE);
    EXPECT_EQ(qa::copyBytes(src, INVALID_HANDLE_VALUE, 10), QZ_ERR_FILE);
    EXPECT_EQ(written(), "");
}

TEST_F(Copy, SourceEndingEarlyIsAReadError)
{
    ASSERT_TRUE(qa::seekTo(src, (uint32_t)content.size() - 100));
    EXPECT_EQ(qa::copyBytes(src, dst, 1000), QZ_ERR_READ);
    // A copy that fits one chunk writes nothing of it.
    EXPECT_EQ(written(), "");
}

TEST_F(Copy, BytesAlreadyCopiedStayWhenALaterChunkFails)
{
    EXPECT_EQ(qa::copyBytes(src, dst, (int32_t)content.size() + 10), QZ_ERR_READ);
    std::string out = written();
    EXPECT_EQ(out.size(), 2u * 0x80000);
    EXPECT_EQ(out, content.substr(0, out.size()));
}

TEST_F(Copy, WriteFailureIsAWriteError)
{
    CloseHandle(dst);
    dst = CreateFileA(dstPath.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(dst, INVALID_HANDLE_VALUE);
    EXPECT_EQ(qa::copyBytes(src, dst, 100), QZ_ERR_WRITE);
    EXPECT_EQ(qa::writeAll(dst, "x", 1), 1);
    // Reading through a handle without read access reports 0 bytes.
    char b[4];
    HANDLE w = CreateFileA(dir.file("w.bin").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    EXPECT_EQ(qa::readSome(w, b, 4), 0u);
    CloseHandle(w);
}

TEST_F(Copy, PendingCancelStopsBeforeTheFirstChunkAndIsCleared)
{
    Qz4Cancel();
    EXPECT_EQ(qa::copyBytes(src, dst, 100), QZ_CANCELLED);
    EXPECT_EQ(qz::frame::g.cancel, 0);
    EXPECT_EQ(written(), "");
}

TEST(TempName, MakesAnEmptyFileWithThePrefix)
{
    char *name = qa::makeTempName();
    ASSERT_NE(name, nullptr);
    std::string n = name;
    EXPECT_NE(n.find("QVW"), std::string::npos);
    EXPECT_EQ(lstrcmpiA(n.substr(n.size() - 4).c_str(), ".TMP"), 0);
    EXPECT_NE(GetFileAttributesA(name), INVALID_FILE_ATTRIBUTES);
    char *other = qa::makeTempName();
    ASSERT_NE(other, nullptr);
    EXPECT_STRNE(name, other);
    DeleteFileA(name);
    DeleteFileA(other);
    qa::heapFree(name);
    qa::heapFree(other);
}

TEST(OemNames, OpenAndDeleteConvertToAnsi)
{
    TempDir dir;
    // The file is made under its ANSI name (u with diaeresis is 0xFC);
    // the library names it in OEM (0x81).
    std::string ansi = dir.file("m\xFC.bin");
    HANDLE made = CreateFileA(ansi.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    ASSERT_EQ(qa::writeAll(made, "data", 4), 0);
    CloseHandle(made);
    char oemBuf[MAX_PATH];
    CharToOemA(ansi.c_str(), oemBuf);
    std::string oem = oemBuf;
    ASSERT_NE(oem, ansi);
    HANDLE h = qa::openOem(oem.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << oem << " " << GetLastError();
    char b[8];
    EXPECT_EQ(qa::readSome(h, b, sizeof b), 4u);
    CloseHandle(h);
    qa::deleteOem(oem.c_str());
    EXPECT_EQ(GetFileAttributesA(ansi.c_str()), INVALID_FILE_ATTRIBUTES);
    qa::deleteOem(oem.c_str());   // a failure is ignored
}

#ifndef _WIN32

TEST_F(Copy, BufferHalvesUntilAnAllocationSucceeds)
{
    qzhost_fail_alloc_above(70000);   // 512 K, 256 K, 128 K fail; 64 K works
    qzhost_reset_counters();
    EXPECT_EQ(qa::copyBytes(src, dst, 300000), 0);
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.allocations, 4u);
    EXPECT_EQ(c.reads, 5u);   // 300,000 bytes in chunks of 65,536
    EXPECT_EQ(c.blocks, 0);
    EXPECT_EQ(written(), content.substr(0, 300000));
}

TEST_F(Copy, NoMemoryAtAllIs108)
{
    qzhost_fail_alloc(1, 1);
    EXPECT_EQ(qa::copyBytes(src, dst, 10), QZ_ERR_MEMORY);
    qzhost_clear_faults();
    EXPECT_EQ(written(), "");
}

void cancelFromThePump(void *)
{
    Qz4Cancel();
}

TEST_F(Copy, CancelDuringTheCopyStopsBeforeTheNextChunk)
{
    qzhost_set_pump_hook(cancelFromThePump, nullptr);
    Qz4SetDoEvents(1);
    EXPECT_EQ(qa::copyBytes(src, dst, 1200000), QZ_CANCELLED);
    EXPECT_EQ(qz::frame::g.cancel, 0);
    EXPECT_EQ(written().size(), 0x80000u);
}

TEST_F(Copy, CancelWinsOverAReadError)
{
    qzhost_set_pump_hook(cancelFromThePump, nullptr);
    qzhost_short_read(1, 10);
    EXPECT_EQ(qa::copyBytes(src, dst, 100), QZ_CANCELLED);
}

TEST_F(Copy, PumpRunsOncePerChunkOnlyWhenEnabled)
{
    Qz4SetDoEvents(0);
    qzhost_reset_counters();
    EXPECT_EQ(qa::copyBytes(src, dst, 1200000), 0);
    EXPECT_EQ(qzhost_pump_count(), 0u);
    Qz4SetDoEvents(1);
    qa::seekTo(src, 0);
    qzhost_reset_counters();
    EXPECT_EQ(qa::copyBytes(src, dst, 1200000), 0);
    EXPECT_EQ(qzhost_pump_count(), 3u);
}

TEST_F(Copy, ShortWritesReportOne)
{
    qzhost_short_write(1, 2);
    EXPECT_EQ(qa::writeAll(dst, "abcd", 4), 1);
    EXPECT_EQ(qa::writeAll(dst, "abcd", 4), 0);
    qzhost_short_write(1, 10);
    EXPECT_EQ(qa::copyBytes(src, dst, 100), QZ_ERR_WRITE);
}

TEST(OpenFaults, MemoryFailuresLeaveNothingBehind)
{
    TempDir dir;
    std::string zip = put(dir, "a.zip", buildZip({Entry("a", "1")}));
    std::string qzvw = put(dir, "b.qzv", buildQzvw(2, {Entry("a", "1"), Entry("b", "2")}));
    std::string gone = put(dir, "gone.zip", buildZip({Entry("a", "1")}));
    for (const std::string &path : {zip, qzvw}) {
        for (unsigned long nth = 1; nth < 40; ++nth) {
            qzhost_reset_counters();
            qzhost_fail_alloc(nth, 0);
            QzHandle h;
            int16_t r = Qz4ZipOpen(path.c_str(), 0, &h);
            qzhost_clear_faults();
            if (r == 0) {
                Qz4ZipClose(&h);
            } else {
                EXPECT_TRUE(r == QZ_ERR_MEMORY || r == QZ_ERR_FILE) << nth << " " << r;
                EXPECT_EQ(h, QZ_INVALID_HANDLE);
            }
            qzhost_counters c;
            qzhost_get_counters(&c);
            EXPECT_EQ(c.blocks, 0) << nth;
            EXPECT_EQ(c.handles, 0) << nth;
            EXPECT_EQ(qa::openCount(), 0);
        }
    }
    // With the delete bit, an open that runs out of memory removes the file.
    qzhost_fail_alloc_above(60000);   // the transfer buffers
    QzHandle h;
    EXPECT_EQ(Qz4ZipOpen(gone.c_str(), QZ_OPEN_DELETE_ON_NOMEM, &h), QZ_ERR_MEMORY);
    qzhost_clear_faults();
    EXPECT_EQ(GetFileAttributesA(gone.c_str()), INVALID_FILE_ATTRIBUTES);
}

#endif

}  // namespace
