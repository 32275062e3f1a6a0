// Injected I/O faults and failures of named calls (host controls: POSIX).
#include "platform_test.h"

#if !defined(_WIN32)

#include <string>

namespace {

using qzplat::TempDir;
using qzplat::read_file;
using qzplat::write_file;

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        qzhost_reset();
        ASSERT_TRUE(write_file(name, "0123456789"));
        qzhost_reset_counters();
    }
    void TearDown() override { qzhost_reset(); }
    TempDir dir;
    std::string name = dir / "f.bin";
};

TEST_F(Faults, ShortenTheNthRead) {
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    qzhost_short_read(2, 3);
    char buf[16];
    DWORD n;
    ASSERT_TRUE(ReadFile(h, buf, 4, &n, nullptr));
    EXPECT_EQ(n, 4u);
    ASSERT_TRUE(ReadFile(h, buf, 4, &n, nullptr));       // the second read: 3 bytes, success
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(std::string(buf, 3), "456");
    ASSERT_TRUE(ReadFile(h, buf, 4, &n, nullptr));       // once only
    EXPECT_EQ(n, 3u);                                    // the rest of the file
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.reads, 3u);
    EXPECT_EQ(c.faults, 1u);
    CloseHandle(h);
}

TEST_F(Faults, ShortenTheNthWrite) {
    HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    qzhost_short_write(1, 2);
    DWORD n;
    ASSERT_TRUE(WriteFile(h, "abcdef", 6, &n, nullptr));
    EXPECT_EQ(n, 2u);
    ASSERT_TRUE(WriteFile(h, "XY", 2, &n, nullptr));
    EXPECT_EQ(n, 2u);
    CloseHandle(h);
    EXPECT_EQ(read_file(name), "abXY");
}

TEST_F(Faults, DiskFullAfterSomeBytes) {
    HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    qzhost_disk_full_after(5);
    DWORD n;
    ASSERT_TRUE(WriteFile(h, "abc", 3, &n, nullptr));
    EXPECT_FALSE(WriteFile(h, "defg", 4, &n, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    EXPECT_EQ(n, 2u);                                    // what fitted
    EXPECT_FALSE(WriteFile(h, "h", 1, &n, nullptr));
    EXPECT_EQ(n, 0u);
    qzhost_disk_full_after(-1);
    EXPECT_TRUE(WriteFile(h, "!", 1, &n, nullptr));
    CloseHandle(h);
    EXPECT_EQ(read_file(name), "abcde!");
}

TEST_F(Faults, FailTheNthCallOfANamedFunction) {
    ASSERT_EQ(qzhost_fail_call("CreateFileA", 2, ERROR_ACCESS_DENIED, 0), 0);
    HANDLE a = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE b = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE c = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(a, INVALID_HANDLE_VALUE);
    EXPECT_EQ(b, INVALID_HANDLE_VALUE);
    EXPECT_NE(c, INVALID_HANDLE_VALUE);
    CloseHandle(a);
    CloseHandle(c);

    ASSERT_EQ(qzhost_fail_call("ReadFile", 1, ERROR_READ_FAULT, 1), 0);
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char buf[4];
    DWORD n = 9;
    EXPECT_FALSE(ReadFile(h, buf, 4, &n, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_READ_FAULT);
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(ReadFile(h, buf, 4, &n, nullptr));      // persistent
    ASSERT_EQ(qzhost_fail_call("ReadFile", 0, 0, 0), 0);
    EXPECT_TRUE(ReadFile(h, buf, 4, &n, nullptr));
    CloseHandle(h);

    ASSERT_EQ(qzhost_fail_call("FindFirstFileA", 1, ERROR_NOT_READY, 0), 0);
    WIN32_FIND_DATAA fd;
    EXPECT_EQ(FindFirstFileA((dir / "*").c_str(), &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_READY);
    ASSERT_EQ(qzhost_fail_call("GetTempFileNameA", 1, ERROR_DISK_FULL, 0), 0);
    char tmp[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA(dir.path().c_str(), "QVW", 0, tmp), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    ASSERT_EQ(qzhost_fail_call("SetVolumeLabelA", 1, ERROR_WRITE_PROTECT, 0), 0);
    EXPECT_FALSE(SetVolumeLabelA("C:\\", "X"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_WRITE_PROTECT);
    qzhost_counters k;
    qzhost_get_counters(&k);
    EXPECT_EQ(k.faults, 6u);
    EXPECT_EQ(k.handles, 0);
}

TEST_F(Faults, ClearDisarmsEverything) {
    qzhost_fail_alloc(1, 1);
    qzhost_fail_call("DeleteFileA", 1, ERROR_ACCESS_DENIED, 1);
    qzhost_disk_full_after(0);
    qzhost_clear_faults();
    HGLOBAL g = GlobalAlloc(GMEM_FIXED, 4);
    EXPECT_NE(g, nullptr);
    GlobalFree(g);
    ASSERT_TRUE(write_file(name, "more"));
    EXPECT_TRUE(DeleteFileA(name.c_str()));
}

TEST_F(Faults, CountersCanBeReset) {
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, 10);
    qzhost_reset_counters();
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.allocations, 0u);
    EXPECT_EQ(c.blocks, 0);
    EXPECT_GE(c.blocks_total, 1);
    GlobalFree(g);
    qzhost_get_counters(&c);
    EXPECT_EQ(c.blocks, -1);                             // freed what was there before the reset
}

} // namespace

#endif
