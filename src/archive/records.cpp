// records.cpp -- the list of open archives, the lookup of a record by its
// handle, the shared transfer buffers and the heap helpers for records and
// names.
//
// The list runs from the newest archive to the oldest.  The two transfer
// buffers exist exactly while at least one archive is open; the decoding
// paths borrow them as input and output blocks.
#include "archive/archive.h"

namespace qz {
namespace archive {

namespace {
Archive *head = nullptr;
uint16_t count = 0;
HGLOBAL buffers[2] = {nullptr, nullptr};
}  // namespace

Archive *listHead() { return head; }
uint16_t openCount() { return count; }

int16_t findArchive(QzHandle handle, Archive **out) {
    HANDLE h = toFileHandle(handle);
    for (Archive *a = head; a; a = a->next) {
        if (a->file == h) {
            *out = a;
            return QZ_OK;
        }
    }
    *out = nullptr;
    return QZ_ERR_HANDLE;
}

void linkArchive(Archive *a) {
    a->next = head;
    head = a;
    ++count;
}

void closeArchive(Archive *a) {
    a->flags &= (uint16_t)~kFlagLocated;
    if (!(a->flags & kFlagFileClosed) && a->file != INVALID_HANDLE_VALUE)
        CloseHandle(a->file);
    if (a->dirFile != INVALID_HANDLE_VALUE)
        CloseHandle(a->dirFile);
    if (a->dirName) {
        DeleteFileA(a->dirName);
        heapFree(a->dirName);
    }
    for (Archive **link = &head; *link; link = &(*link)->next) {
        if (*link == a) {
            *link = a->next;
            break;
        }
    }
    heapFree(a->name);
    heapFree(a);
    if (count > 0 && --count == 0)
        freeTransferBuffers();
}

void unloadArchives() {
    for (int closed = 0; closed < 255 && count > 0 && head; ++closed)
        closeArchive(head);
}

uint8_t *transferInput() { return (uint8_t *)buffers[0]; }
HGLOBAL transferOutput() { return buffers[1]; }

bool allocTransferBuffers() {
    if (!buffers[0])
        buffers[0] = GlobalAlloc(GMEM_FIXED, kTransferBytes);
    if (!buffers[1])
        buffers[1] = GlobalAlloc(GMEM_MOVEABLE, kTransferBytes);
    if (buffers[0] && buffers[1])
        return true;
    freeTransferBuffers();
    return false;
}

void freeTransferBuffers() {
    for (HGLOBAL &b : buffers) {
        if (b)
            GlobalFree(b);
        b = nullptr;
    }
}

void *heapAlloc(uint32_t bytes) {
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void heapFree(void *p) {
    if (p)
        HeapFree(GetProcessHeap(), 0, p);
}

char *heapString(const char *s) {
    int n = lstrlenA(s);
    char *copy = (char *)heapAlloc((uint32_t)n + 1);
    if (copy)
        lstrcpyA(copy, s);
    return copy;
}

}  // namespace archive
}  // namespace qz
