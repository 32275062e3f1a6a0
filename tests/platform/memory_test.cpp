// Global memory and the process heap; on POSIX also the counters and the
// allocation faults.
#include "platform_test.h"

#include <cstring>

namespace {

TEST(GlobalMemory, FixedBlocksAreTheirOwnAddress) {
    HGLOBAL h = GlobalAlloc(GPTR, 100);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalLock(h), (void *)h);
    const unsigned char *p = (const unsigned char *)h;
    for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0) << i;
    EXPECT_GE(GlobalSize(h), 100u);
    GlobalUnlock(h);
    EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, MovableBlocksAreLockedForUse) {
    HGLOBAL h = GlobalAlloc(GHND, 64);
    ASSERT_NE(h, nullptr);
    char *p = (char *)GlobalLock(h);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(p[i], 0);
    std::strcpy(p, "kept");
    EXPECT_EQ(GlobalLock(h), p);                         // a second lock, same address
    EXPECT_TRUE(GlobalUnlock(h));                        // still locked once
    SetLastError(12345);
    EXPECT_FALSE(GlobalUnlock(h));                       // now unlocked ...
    EXPECT_EQ(GetLastError(), 0u);                       // ... which is not an error
    EXPECT_GE(GlobalSize(h), 64u);

    HGLOBAL g = GlobalReAlloc(h, 100000, GMEM_MOVEABLE | GMEM_ZEROINIT);
    ASSERT_EQ(g, h);                                     // a movable handle stays the same
    p = (char *)GlobalLock(h);
    EXPECT_STREQ(p, "kept");
    EXPECT_EQ(p[99999], 0);
    // Freeing a locked block frees it all the same.
    EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, ZeroBytesAndNull) {
    HGLOBAL h = GlobalAlloc(GMEM_FIXED, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalFree(h), nullptr);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

TEST(Heap, AllocZeroGrowFree) {
    HANDLE heap = GetProcessHeap();
    ASSERT_NE(heap, nullptr);
    char *p = (char *)HeapAlloc(heap, HEAP_ZERO_MEMORY, 260);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 260; ++i) ASSERT_EQ(p[i], 0);
    std::strcpy(p, "C:\\TEMP\\QVW1.TMP");
    char *q = (char *)HeapReAlloc(heap, 0, p, 17);       // shrink to the string
    ASSERT_NE(q, nullptr);
    EXPECT_STREQ(q, "C:\\TEMP\\QVW1.TMP");
    q = (char *)HeapReAlloc(heap, HEAP_ZERO_MEMORY, q, 5000);
    ASSERT_NE(q, nullptr);
    EXPECT_STREQ(q, "C:\\TEMP\\QVW1.TMP");
    EXPECT_EQ(q[4999], 0);
    EXPECT_TRUE(HeapFree(heap, 0, q));
    EXPECT_TRUE(HeapFree(heap, 0, nullptr));
}

#if !defined(_WIN32)

TEST(GlobalMemory, MovableHandlesAreNotAddressesAndStaleOnesFail) {
    QZ_POSIX_ONLY();
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 16);
    ASSERT_NE(h, nullptr);
    EXPECT_LT((uintptr_t)h, 0x400000u);
    EXPECT_NE(GlobalLock(h), (void *)h);
    EXPECT_EQ(GlobalFree(h), nullptr);
    EXPECT_EQ(GlobalLock(h), nullptr);                   // stale
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(GlobalFree(h), h);                         // a second free fails
    HGLOBAL next = GlobalAlloc(GMEM_MOVEABLE, 16);
    EXPECT_NE(next, h);                                  // not handed out again at once
    GlobalFree(next);
}

TEST(GlobalMemory, FixedBlocksDoNotGrowWithoutMoveable) {
    QZ_POSIX_ONLY();
    HGLOBAL h = GlobalAlloc(GMEM_FIXED, 32);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalReAlloc(h, 64, 0), nullptr);
    EXPECT_EQ(GlobalReAlloc(h, 16, 0), h);               // shrinking stays in place
    HGLOBAL g = GlobalReAlloc(h, 64, GMEM_MOVEABLE);
    ASSERT_NE(g, nullptr);
    GlobalFree(g);
}

TEST(MemoryCounters, BlocksAndBytesOutstanding) {
    QZ_POSIX_ONLY();
    qzhost_counters c;
    HGLOBAL a = GlobalAlloc(GMEM_MOVEABLE, 1000);
    void *b = HeapAlloc(GetProcessHeap(), 0, 24);
    qzhost_get_counters(&c);
    EXPECT_EQ(c.allocations, 2u);
    EXPECT_EQ(c.blocks, 2);
    EXPECT_EQ(c.bytes, 1024);
    GlobalFree(a);
    HeapFree(GetProcessHeap(), 0, b);
    qzhost_get_counters(&c);
    EXPECT_EQ(c.blocks, 0);
    EXPECT_EQ(c.bytes, 0);
}

TEST(MemoryFaults, FailTheNthAllocationOnce) {
    QZ_POSIX_ONLY();
    qzhost_fail_alloc(2, 0);
    HGLOBAL a = GlobalAlloc(GMEM_FIXED, 8);
    HGLOBAL b = GlobalAlloc(GMEM_MOVEABLE, 8);
    void *c = HeapAlloc(GetProcessHeap(), 0, 8);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_NE(c, nullptr);
    qzhost_counters k;
    qzhost_get_counters(&k);
    EXPECT_EQ(k.faults, 1u);
    EXPECT_EQ(k.blocks, 2);
    GlobalFree(a);
    HeapFree(GetProcessHeap(), 0, c);
}

TEST(MemoryFaults, FailPersistentlyFromTheNth) {
    QZ_POSIX_ONLY();
    void *a = HeapAlloc(GetProcessHeap(), 0, 8);
    qzhost_fail_alloc(1, 1);
    EXPECT_EQ(HeapAlloc(GetProcessHeap(), 0, 8), nullptr);
    EXPECT_EQ(GlobalAlloc(GMEM_FIXED, 8), nullptr);
    EXPECT_EQ(HeapReAlloc(GetProcessHeap(), 0, a, 80), nullptr);  // the block stays as it was
    qzhost_fail_alloc(0, 0);
    void *b = HeapReAlloc(GetProcessHeap(), 0, a, 80);
    ASSERT_NE(b, nullptr);
    HeapFree(GetProcessHeap(), 0, b);
}

TEST(MemoryFaults, FailAboveASize) {
    QZ_POSIX_ONLY();
    qzhost_fail_alloc_above(0x10000);
    HGLOBAL big = GlobalAlloc(GMEM_MOVEABLE, 0x80000);
    HGLOBAL small = GlobalAlloc(GMEM_MOVEABLE, 0x10000);
    EXPECT_EQ(big, nullptr);
    EXPECT_NE(small, nullptr);
    EXPECT_EQ(GlobalReAlloc(small, 0x10001, GMEM_MOVEABLE), nullptr);
    GlobalFree(small);
    qzhost_fail_alloc_above(0);
}

#endif

} // namespace

#if !defined(_WIN32)
// The peak of the bytes outstanding, which the memory benchmark reports.
TEST(HostCounters, KeepThePeakOfOutstandingBytes) {
    qzhost_reset_counters();
    HGLOBAL a = GlobalAlloc(GMEM_FIXED, 1000);
    HGLOBAL b = GlobalAlloc(GMEM_MOVEABLE, 3000);
    GlobalFree(b);
    HGLOBAL c = GlobalReAlloc(a, 1500, GMEM_MOVEABLE);
    ASSERT_NE(c, nullptr);
    qzhost_counters n;
    qzhost_get_counters(&n);
    EXPECT_EQ(n.bytes, 1500);
    EXPECT_EQ(n.bytes_peak, 4000);
    GlobalFree(c);
    qzhost_reset_counters();
    qzhost_get_counters(&n);
    EXPECT_EQ(n.bytes_peak, 0);
}
#endif
