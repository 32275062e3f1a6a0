// host.cpp -- the common part of the host controls: reset, counters, the
// fault breakpoint, and the faults of ReadFile and WriteFile.
#include "platform/posix/posix.h"

#include <string.h>

namespace qz::posix {

Counters g_counters;

namespace {

unsigned long g_faults = 0;

unsigned long g_shortReadNth = 0, g_shortReadSeen = 0;
DWORD         g_shortReadBytes = 0;
unsigned long g_shortWriteNth = 0, g_shortWriteSeen = 0;
DWORD         g_shortWriteBytes = 0;
long long     g_diskRoom = -1;         // bytes that still fit; -1 = no limit

} // namespace

DWORD readLimit(DWORD count) {
    ++g_counters.reads;
    if (g_shortReadNth && ++g_shortReadSeen == g_shortReadNth) {
        g_shortReadNth = 0;
        if (count > g_shortReadBytes) {
            injected("short read");
            return g_shortReadBytes;
        }
    }
    return count;
}

DWORD writeLimit(DWORD count, bool *full) {
    ++g_counters.writes;
    *full = false;
    if (g_shortWriteNth && ++g_shortWriteSeen == g_shortWriteNth) {
        g_shortWriteNth = 0;
        if (count > g_shortWriteBytes) {
            injected("short write");
            count = g_shortWriteBytes;
        }
    }
    if (g_diskRoom >= 0 && (long long)count > g_diskRoom) {
        injected("disk full");
        *full = true;
        count = (DWORD)g_diskRoom;
    }
    return count;
}

void noteWritten(DWORD n) {
    if (g_diskRoom >= 0) g_diskRoom -= n;
}

void resetIoFaults() {
    g_shortReadNth = g_shortReadSeen = 0;
    g_shortWriteNth = g_shortWriteSeen = 0;
    g_diskRoom = -1;
}

} // namespace qz::posix

using namespace qz::posix;

extern "C" {

unsigned long qzhost_fault(const char *what) {
    (void)what;   // for the debugger: break here to see every injected fault
    return ++g_faults;
}

void qzhost_short_read(unsigned long nth, DWORD bytes) {
    g_shortReadNth = nth;
    g_shortReadSeen = 0;
    g_shortReadBytes = bytes;
}

void qzhost_short_write(unsigned long nth, DWORD bytes) {
    g_shortWriteNth = nth;
    g_shortWriteSeen = 0;
    g_shortWriteBytes = bytes;
}

void qzhost_disk_full_after(long long bytes) {
    g_diskRoom = bytes < 0 ? -1 : bytes;
}

void qzhost_clear_faults(void) {
    resetFaults();
    resetMemoryFaults();
    resetIoFaults();
}

void qzhost_get_counters(qzhost_counters *out) {
    if (!out) return;
    memset(out, 0, sizeof *out);
    out->allocations = g_counters.allocations;
    out->blocks = g_counters.blocks - g_counters.blocksBase;
    out->bytes = g_counters.bytes - g_counters.bytesBase;
    out->handles = g_counters.handles - g_counters.handlesBase;
    out->blocks_total = g_counters.blocks;
    out->bytes_total = g_counters.bytes;
    out->handles_total = g_counters.handles;
    out->reads = g_counters.reads;
    out->writes = g_counters.writes;
    out->pumps = g_counters.pumps;
    out->boxes = g_counters.boxes;
    out->faults = g_faults;
    out->bytes_peak = g_counters.bytesPeak - g_counters.bytesBase;
}

void qzhost_reset_counters(void) {
    g_counters.allocations = 0;
    g_counters.reads = g_counters.writes = g_counters.pumps = g_counters.boxes = 0;
    g_counters.blocksBase = g_counters.blocks;
    g_counters.bytesBase = g_counters.bytes;
    g_counters.bytesPeak = g_counters.bytes;
    g_counters.handlesBase = g_counters.handles;
    g_faults = 0;
}

void qzhost_reset(void) {
    qzhost_clear_faults();
    resetDrives();
    resetCodepage();
    resetExtensions();
    resetAttributes();
    resetTemp();
    resetMessages();
    resetTime();
    qzhost_reset_counters();
}

} // extern "C"
