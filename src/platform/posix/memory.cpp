// memory.cpp -- Win32 global memory and the process heap over the C heap.
//
// Every block carries a 16-byte header in front of the caller's bytes: a
// magic word that tells global blocks from heap blocks (and freed ones),
// and the size the caller asked for.  A GMEM_FIXED block is addressed by
// the pointer past its header, as on Windows.  A GMEM_MOVEABLE block is
// addressed by a small handle, 0x1000 + 4 * slot, which is not an address
// of anything; the slot holds the block and its lock count.  Pointers from
// the C heap are never that small, which is how GlobalLock and friends tell
// the two apart.
//
// Growing a fixed block with GlobalReAlloc needs GMEM_MOVEABLE in the flags
// (without it Windows may only grow in place, which it cannot promise); we
// always refuse the growth in that case so that callers relying on luck are
// caught.  Shrinking keeps the block where it is.
//
// Every allocation and reallocation passes the host's allocation faults.
#include "platform/posix/posix.h"

#include <stdlib.h>
#include <string.h>

namespace qz::posix {

namespace {

enum : uint32_t {
    kMagicGlobal = 0x474C4F42u,   // "GLOB"
    kMagicHeap   = 0x48454150u,   // "HEAP"
    kMagicFreed  = 0x46524545u,   // "FREE"
};

struct alignas(16) Header {
    uint32_t magic;
    uint32_t reserved;
    size_t   size;
};
static_assert(sizeof(Header) == 16, "the header keeps 16-byte alignment");

constexpr uintptr_t kMovableBase = 0x1000;
constexpr size_t    kMovableMax  = 0x40000;   // handles stay below 0x101000

struct Movable {
    bool     used;
    unsigned locks;
    void    *data;                // caller's bytes, or null for 0 bytes
};

Movable *g_movable = nullptr;     // grown with realloc, never freed
size_t   g_movableCap = 0;
size_t   g_movableNext = 0;       // round-robin cursor

unsigned long g_failNth = 0;      // fail the allocation with this number
bool          g_failPersistent = false;
unsigned long g_seen = 0;         // allocations since the fault was armed
SIZE_T        g_failAbove = 0;

// Counts an allocation and tells whether the host wants it to fail.
bool allocationFails(SIZE_T bytes) {
    ++g_counters.allocations;
    ++g_seen;
    if (g_failNth && (g_seen == g_failNth || (g_failPersistent && g_seen > g_failNth))) {
        injected("allocation");
        return true;
    }
    if (g_failAbove && bytes > g_failAbove) {
        injected("allocation size");
        return true;
    }
    return false;
}

Header *headerOf(const void *data) {
    return (Header *)((char *)data - sizeof(Header));
}

void *newBlock(uint32_t magic, SIZE_T bytes, bool zero) {
    if (bytes > (SIZE_T)-1 / 2) return nullptr;
    Header *h = (Header *)(zero ? calloc(1, sizeof(Header) + bytes) : malloc(sizeof(Header) + bytes));
    if (!h) return nullptr;
    h->magic = magic;
    h->reserved = 0;
    h->size = bytes;
    ++g_counters.blocks;
    countBytes((long long)bytes);
    return h + 1;
}

// Resizes a block; null (and the block untouched) on failure.
void *resizeBlock(void *data, SIZE_T bytes, bool zero) {
    Header *h = headerOf(data);
    size_t old = h->size;
    if (bytes <= old) {
        h->size = bytes;
        g_counters.bytes -= (long long)(old - bytes);
        return data;
    }
    if (bytes > (SIZE_T)-1 / 2) return nullptr;
    Header *n = (Header *)realloc(h, sizeof(Header) + bytes);
    if (!n) return nullptr;
    if (zero) memset((char *)(n + 1) + old, 0, bytes - old);
    n->size = bytes;
    countBytes((long long)(bytes - old));
    return n + 1;
}

void freeBlock(void *data) {
    Header *h = headerOf(data);
    g_counters.bytes -= (long long)h->size;
    --g_counters.blocks;
    h->magic = kMagicFreed;
    free(h);
}

bool isBlock(const void *data, uint32_t magic) {
    return data && headerOf(data)->magic == magic;
}

// The slot of a movable handle, or null when h is not one.
Movable *movableOf(HGLOBAL h) {
    uintptr_t v = (uintptr_t)h;
    if (v < kMovableBase || v >= kMovableBase + 4 * kMovableMax || (v & 3)) return nullptr;
    size_t i = (v - kMovableBase) / 4;
    if (i >= g_movableCap || !g_movable[i].used) return nullptr;
    return &g_movable[i];
}

bool looksMovable(HGLOBAL h) {
    uintptr_t v = (uintptr_t)h;
    return v < kMovableBase + 4 * kMovableMax;
}

// A free slot, taken round-robin so that a freed handle does not come back
// at once; SIZE_MAX when the table is full.
size_t takeMovableSlot() {
    for (size_t n = 0; n < g_movableCap; ++n) {
        size_t i = (g_movableNext + n) % g_movableCap;
        if (!g_movable[i].used) {
            g_movableNext = i + 1;
            return i;
        }
    }
    if (g_movableCap == kMovableMax) return (size_t)-1;
    size_t cap = g_movableCap ? g_movableCap * 2 : 256;
    if (cap > kMovableMax) cap = kMovableMax;
    Movable *m = (Movable *)realloc(g_movable, cap * sizeof(Movable));
    if (!m) return (size_t)-1;
    memset(m + g_movableCap, 0, (cap - g_movableCap) * sizeof(Movable));
    size_t i = g_movableCap;
    g_movable = m;
    g_movableCap = cap;
    g_movableNext = i + 1;
    return i;
}

int g_processHeap;                // its address is the process heap handle

} // namespace

void resetMemoryFaults() {
    g_failNth = 0;
    g_failPersistent = false;
    g_seen = 0;
    g_failAbove = 0;
}

} // namespace qz::posix

using namespace qz::posix;

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (allocationFails(bytes)) { fail(ERROR_NOT_ENOUGH_MEMORY); return nullptr; }
    bool zero = (flags & GMEM_ZEROINIT) != 0;
    if (!(flags & GMEM_MOVEABLE)) {
        void *p = newBlock(kMagicGlobal, bytes, zero);
        if (!p) fail(ERROR_NOT_ENOUGH_MEMORY);
        return p;
    }
    size_t slot = takeMovableSlot();
    if (slot == (size_t)-1) { fail(ERROR_NOT_ENOUGH_MEMORY); return nullptr; }
    void *p = newBlock(kMagicGlobal, bytes, zero);
    if (!p) { fail(ERROR_NOT_ENOUGH_MEMORY); return nullptr; }
    g_movable[slot].used = true;
    g_movable[slot].locks = 0;
    g_movable[slot].data = p;
    return (HGLOBAL)(kMovableBase + 4 * slot);
}

HGLOBAL WINAPI GlobalReAlloc(HGLOBAL memory, SIZE_T bytes, UINT flags) {
    bool zero = (flags & GMEM_ZEROINIT) != 0;
    if (Movable *m = movableOf(memory)) {
        if (allocationFails(bytes)) { fail(ERROR_NOT_ENOUGH_MEMORY); return nullptr; }
        void *p = resizeBlock(m->data, bytes, zero);
        if (!p) { fail(ERROR_NOT_ENOUGH_MEMORY); return nullptr; }
        m->data = p;
        return memory;
    }
    if (looksMovable(memory) || !isBlock(memory, kMagicGlobal)) {
        fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (allocationFails(bytes)) { fail(ERROR_NOT_ENOUGH_MEMORY); return nullptr; }
    if (bytes > headerOf(memory)->size && !(flags & GMEM_MOVEABLE)) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void *p = resizeBlock(memory, bytes, zero);
    if (!p) fail(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

LPVOID WINAPI GlobalLock(HGLOBAL memory) {
    if (Movable *m = movableOf(memory)) {
        if (!m->data) return nullptr;
        if (m->locks < 0xFF) ++m->locks;   // the count saturates, as on Windows
        return m->data;
    }
    if (looksMovable(memory) || !isBlock(memory, kMagicGlobal)) {
        fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return memory;
}

BOOL WINAPI GlobalUnlock(HGLOBAL memory) {
    if (Movable *m = movableOf(memory)) {
        if (m->locks == 0) return fail(ERROR_NOT_LOCKED);
        if (--m->locks == 0) {
            SetLastError(ERROR_SUCCESS);
            return FALSE;
        }
        return TRUE;
    }
    if (looksMovable(memory) || !isBlock(memory, kMagicGlobal)) return fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
    if (!memory) return nullptr;
    if (Movable *m = movableOf(memory)) {
        // A locked block is freed all the same, as Windows does.
        freeBlock(m->data);
        m->used = false;
        m->locks = 0;
        m->data = nullptr;
        return nullptr;
    }
    if (looksMovable(memory) || !isBlock(memory, kMagicGlobal)) {
        fail(ERROR_INVALID_HANDLE);
        return memory;
    }
    freeBlock(memory);
    return nullptr;
}

SIZE_T WINAPI GlobalSize(HGLOBAL memory) {
    if (Movable *m = movableOf(memory)) return headerOf(m->data)->size;
    if (looksMovable(memory) || !isBlock(memory, kMagicGlobal)) {
        fail(ERROR_INVALID_HANDLE);
        return 0;
    }
    return headerOf(memory)->size;
}

HANDLE WINAPI GetProcessHeap(void) {
    return (HANDLE)&g_processHeap;
}

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    if (heap != (HANDLE)&g_processHeap) { fail(ERROR_INVALID_HANDLE); return nullptr; }
    if (allocationFails(bytes)) { fail(ERROR_NOT_ENOUGH_MEMORY); return nullptr; }
    void *p = newBlock(kMagicHeap, bytes, (flags & HEAP_ZERO_MEMORY) != 0);
    if (!p) fail(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID memory, SIZE_T bytes) {
    if (heap != (HANDLE)&g_processHeap) { fail(ERROR_INVALID_HANDLE); return nullptr; }
    if (looksMovable(memory) || !isBlock(memory, kMagicHeap)) {
        fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (allocationFails(bytes)) { fail(ERROR_NOT_ENOUGH_MEMORY); return nullptr; }
    void *p = resizeBlock(memory, bytes, (flags & HEAP_ZERO_MEMORY) != 0);
    if (!p) fail(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID memory) {
    (void)flags;
    if (heap != (HANDLE)&g_processHeap) return fail(ERROR_INVALID_HANDLE);
    if (!memory) return TRUE;
    if (looksMovable(memory) || !isBlock(memory, kMagicHeap)) return fail(ERROR_INVALID_PARAMETER);
    freeBlock(memory);
    return TRUE;
}

void qzhost_fail_alloc(unsigned long nth, int persistent) {
    g_failNth = nth;
    g_failPersistent = persistent != 0;
    g_seen = 0;
}

void qzhost_fail_alloc_above(SIZE_T bytes) {
    g_failAbove = bytes;
}

} // extern "C"
