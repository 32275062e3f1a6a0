// close.cpp -- Qz4ZipClose: releases an open archive, its directory file
// and, with the last archive, the shared transfer buffers.  An unknown
// handle (or one already closed) is ignored; the caller's variable is left
// as it is.
#include "archive/archive.h"

using namespace qz::archive;

QZ_API(void) Qz4ZipClose(const QzHandle *handle) {
    if (!handle || !listHead())
        return;
    HANDLE h = toFileHandle(*handle);
    uint16_t n = openCount();
    Archive *a = listHead();
    for (uint16_t i = 0; a && i < n; ++i, a = a->next) {
        if (a->file == h) {
            closeArchive(a);
            return;
        }
    }
}
