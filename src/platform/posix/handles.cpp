// handles.cpp -- the table behind file and search handles.
//
// A handle is (slot + 1) * 4: small, non-zero, a multiple of four like a
// Windows kernel handle, and never INVALID_HANDLE_VALUE.  Slots are taken
// round-robin, so a closed handle does not name a new object until the
// whole table has been used once; a stale handle then fails with
// ERROR_INVALID_HANDLE instead of silently reaching another file.
#include "platform/posix/posix.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz::posix {

namespace {

enum { kSlots = 2048 };
Slot   g_slots[kSlots];
size_t g_next = 0;

} // namespace

HANDLE slotOpen(int kind, Slot **out) {
    for (size_t n = 0; n < kSlots; ++n) {
        size_t i = (g_next + n) % kSlots;
        if (g_slots[i].kind == kSlotFree) {
            g_next = (i + 1) % kSlots;
            memset(&g_slots[i], 0, sizeof g_slots[i]);
            g_slots[i].kind = kind;
            g_slots[i].fd = -1;
            ++g_counters.handles;
            *out = &g_slots[i];
            return (HANDLE)(uintptr_t)((i + 1) * 4);
        }
    }
    return nullptr;
}

Slot *slotGet(HANDLE h, int kind) {
    uintptr_t v = (uintptr_t)h;
    if (v == 0 || (v & 3) || v / 4 > kSlots) return nullptr;
    Slot *s = &g_slots[v / 4 - 1];
    return s->kind == kind ? s : nullptr;
}

void slotClose(HANDLE h) {
    uintptr_t v = (uintptr_t)h;
    Slot *s = &g_slots[v / 4 - 1];
    if (s->fd >= 0) close(s->fd);
    free(s->entries);
    free(s->window);
    memset(s, 0, sizeof *s);
    s->kind = kSlotFree;
    --g_counters.handles;
}

bool slotIdentity(Slot &s) {
    if (s.known) return true;
    struct stat st;
    if (s.fd < 0 || fstat(s.fd, &st) != 0) return false;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.known = true;
    return true;
}

Slot *slotAt(size_t i) { return &g_slots[i]; }
size_t slotCapacity() { return kSlots; }

} // namespace qz::posix
