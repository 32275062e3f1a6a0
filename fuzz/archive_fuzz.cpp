// archive_fuzz.cpp -- opening, listing, testing and closing arbitrary files.
//
// The input is written to a temporary file, which is then opened in the
// default mode and in the relaxed mode with effective names, the second
// time with the extension mode on.  Every open
// archive is walked with each walk: the built-in one (with small extra and
// comment buffers, so that cuts happen), its VB32 form, and the caller-held
// one from Qz4GetCDR; the comment is read into a short and a long buffer.
// Then every entry is tested (Qz4UnZip with -T, which writes nothing) and
// the first one is decoded into memory (Qz4UnZipPtr, within a fixed
// buffer).  The print callback answers every message with OK and every
// question with cancel, so a spanned set's disk questions end at once and
// nothing waits.  Checked after every input: each result is a code of the
// table, no archive is left open, and no file handle, memory block or
// temporary file of the library is left behind (the POSIX layer's
// counters), so a leak is as fatal as a crash.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <dirent.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <initializer_list>
#include <vector>

#include "archive/archive.h"
#include "platform/host.h"
#include "fuzz_support.h"
#include "qzunpack.h"
#include "qzunpack_ext.h"

namespace {

using qzfuzz::checkCode;

// A folder of the run's own holds the input and, below it, the library's
// temporary files; a small folder keeps the layer's name lookups quick.
const char *baseFolder() {
    static char folder[256];
    if (!folder[0]) {
        const char *dir = getenv("TMPDIR");
        snprintf(folder, sizeof folder, "%s/qz-archive-fuzz-%ld", dir && *dir ? dir : "/tmp", (long)getpid());
        mkdir(folder, 0700);
    }
    return folder;
}

const char *inputPath() {
    static char path[300];
    if (!path[0])
        snprintf(path, sizeof path, "%s/input.zip", baseFolder());
    return path;
}

bool accepted(int16_t r) {
    return r == 0 || r == QZ_TOO_LONG;
}

// Messages: go on with the next entry; questions: cancel.
int16_t QZ_CALL answer(QzPrintBlock block) {
    return block.eventKind == QZ_EVENT_QUESTION ? QZ_ANSWER_CANCEL : QZ_ANSWER_OK;
}

// Decodes what can be decoded, writing nothing to disk.
// A volume change rewrites the handle variable.
void decode(QzHandle &h, uint16_t mode) {
    static std::vector<uint8_t> memory(1 << 16);
    checkCode(Qz4UnZip(&h, nullptr, nullptr, "*.*", nullptr, mode & 1 ? "-t -.l -s/pw/" : "-t"));
    checkCode(Qz4UnZipPtr(h, memory.data(), mode & 2 ? 100 : 0, (int32_t)memory.size(), "*", "-s/pw/"));
    checkCode(Qz4UnZipPtr(h, memory.data(), 0, (int32_t)memory.size(), "*/*", ""));
}

// The library's temporary files go to a folder of their own, which must be
// empty after every input.
const char *tempFolder() {
    static char folder[300];
    if (!folder[0]) {
        snprintf(folder, sizeof folder, "%s/tmp", baseFolder());
        mkdir(folder, 0700);
    }
    return folder;
}

bool folderEmpty(const char *folder) {
    DIR *d = opendir(folder);
    if (!d)
        return false;
    int entries = 0;
    while (struct dirent *e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, ".."))
            ++entries;
    closedir(d);
    return entries == 0;
}

void walk(QzHandle h) {
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const char *path = inputPath();
    FILE *f = fopen(path, "wb");
    if (!f)
        return 0;
    if (size && fwrite(data, 1, size, f) != size) {
        fclose(f);
        return 0;
    }
    fclose(f);

    qzhost_set_temp_path(tempFolder());
    qzhost_reset_counters();
    Qz4SetCPrint(1);
    Qz4CPrintHook(answer);
    uint16_t type;
    Qz4IdentifyFile(path, &type);
    for (uint32_t mode : {0u, 1u | QZ_OPEN_LONG_NAMES}) {
        QzHandle h;
        QzSetExtensions(mode ? QZ_EXT_ALL : 0);
        if (Qz4ZipOpen(path, mode, &h) == 0) {
            walk(h);
            decode(h, (uint16_t)(size + mode));
            Qz4ZipClose(&h);
        } else if (h != QZ_INVALID_HANDLE) {
            abort();   // a failed open hands out no handle
        }
    }
    QzSetExtensions(0);
    qzhost_counters c;
    qzhost_get_counters(&c);
    if (qz::archive::openCount() != 0 || c.handles != 0 || c.blocks != 0 || !folderEmpty(tempFolder()))
        abort();
    unlink(path);
    return 0;
}
