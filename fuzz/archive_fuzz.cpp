// archive_fuzz.cpp -- opening, listing and closing arbitrary files.
//
// The input is written to a temporary file, which is then opened in the
// default mode and in the relaxed mode with effective names.  Every open
// archive is walked with each walk: the built-in one (with small extra and
// comment buffers, so that cuts happen), its VB32 form, and the caller-held
// one from Qz4GetCDR; the comment is read into a short and a long buffer.
// The print switch is off, so a spanned set's disk questions are answered
// with cancel and nothing waits.  Checked after every input: no archive is
// left open, and no file handle or memory block of the library is left
// behind (the POSIX layer's counters), so a leak is as fatal as a crash.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <initializer_list>

#include "archive/archive.h"
#include "platform/host.h"
#include "qzunpack.h"

namespace {

const char *inputPath()
{
    static char path[256];
    if (!path[0]) {
        const char *dir = getenv("TMPDIR");
        snprintf(path, sizeof path, "%s/qz-archive-fuzz-%ld.bin", dir && *dir ? dir : "/tmp", (long)getpid());
    }
    return path;
}

bool accepted(int16_t r)
{
    return r == 0 || r == QZ_TOO_LONG;
}

void walk(QzHandle h)
{
    QzEntryRecord rec;
    QzEntryRecordVB32 vrec;
    char name[261], comment[300];
    uint8_t extra[64];

    int16_t r = Qz4ZipFindFirst(h, &rec, name, extra, 5, comment, 7);
    for (int i = 0; accepted(r) && i < 200000; ++i)
        r = Qz4ZipFindNext(h, &rec, name, extra, sizeof extra, comment, sizeof comment);

    r = Qz4ZipFindFirstVB32(h, &vrec, name, nullptr, 0xFFFF, comment, 0);
    for (int i = 0; accepted(r) && i < 200000; ++i)
        r = Qz4ZipFindNextVB32(h, &vrec, name, extra, 0xFFFF, nullptr, 0);

    uint32_t offset = (uint32_t)Qz4GetCDR(h);
    r = 0;
    for (int i = 0; accepted(r) && i < 200000; ++i)
        r = Qz4ReadCDR(h, &offset, &rec, name, extra, 1, comment, 1);

    char small[4], big[70000];
    Qz4ZipComment(h, small, sizeof small);
    Qz4ZipComment(h, big, sizeof big);
    Qz4ZipComment(h, nullptr, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = inputPath();
    FILE *f = fopen(path, "wb");
    if (!f)
        return 0;
    if (size && fwrite(data, 1, size, f) != size) {
        fclose(f);
        return 0;
    }
    fclose(f);

    qzhost_reset_counters();
    uint16_t type;
    Qz4IdentifyFile(path, &type);
    for (uint32_t mode : {0u, 1u | QZ_OPEN_LONG_NAMES}) {
        QzHandle h;
        if (Qz4ZipOpen(path, mode, &h) == 0) {
            walk(h);
            Qz4ZipClose(&h);
        } else if (h != QZ_INVALID_HANDLE) {
            abort();   // a failed open hands out no handle
        }
    }
    qzhost_counters c;
    qzhost_get_counters(&c);
    if (qz::archive::openCount() != 0 || c.handles != 0 || c.blocks != 0)
        abort();
    unlink(path);
    return 0;
}
