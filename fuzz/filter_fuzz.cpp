// filter_fuzz.cpp -- path filters from a host, applied by an extraction.
//
// Input: the first byte picks the code page on POSIX hosts (bit 0: 932),
// the destination (bits 1-2) and whether volume labels are restored (bit
// 3); the rest is a list of from and to fields separated by NULs, each pair
// added with Qz4AddUnZipPathFilter (an empty field is passed as null when
// bit 4 is set).  Then the archive, whose entry names carry drives, shares
// and directories, is extracted with -D -.D, so that the filters rewrite
// every destination.  The filters may point anywhere, so nothing may be
// written: every call that would create, change or remove a file or a
// directory is made to fail, and the run is checked to give a code of the
// table, to drop the filters and to leave nothing behind.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "extract/extract.h"
#include "platform/host.h"
#include "qzunpack.h"
#include "fuzz_support.h"

using namespace qztest;
using qzfuzz::checkCode;

namespace {

std::vector<Entry> archiveEntries() {
    Entry folder("deep/er/", "");
    folder.externalAttributes = 0x10;
    Entry label("LABEL", "");
    label.externalAttributes = 0x08;
    return {Entry("C:/OLD/a.txt", "a"), Entry("docs/sub/b.txt", "b", 8),
                                  Entry("//srv/share/c.txt", "c"), Entry("d.txt", "d"), folder, label,
                                  Entry("D:e.txt", "e"), Entry("dbcs\x81\x5c/f.txt", "f")};
}

// Messages: go on; questions: yes, overwrite.
int16_t QZ_CALL answer(QzPrintBlock block) {
    return block.eventKind == QZ_EVENT_QUESTION ? QZ_ANSWER_YES : QZ_ANSWER_OK;
}

const qzhost_call kWriters[] = {QZHOST_CreateFileA, QZHOST_CreateDirectoryA, QZHOST_DeleteFileA,
                                QZHOST_SetFileAttributesA, QZHOST_SetVolumeLabelA, QZHOST_SetFileTime,
                                QZHOST_SetEndOfFile, QZHOST_WriteFile};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    // Built and opened once, for every input.
    static const QzHandle h = qzfuzz::openBuilt("filter-fuzz", archiveEntries());
    const uint8_t mode = data[0];
    qzhost_set_codepage(mode & 1 ? 932 : 1252);
    static const char *const destinations[] = {nullptr, "out", "C:\\out\\", "/out/x"};
    const char *destination = destinations[(mode >> 1) & 3];

    qzhost_reset_counters();
    std::string rest(reinterpret_cast<const char *>(data + 1), size - 1);
    for (int pairs = 0; pairs < 16 && !rest.empty(); ++pairs) {
        std::string fields[2];
        for (std::string &f : fields) {
            size_t cut = rest.find('\0');
            f = rest.substr(0, cut);
            rest = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
        }
        const char *from = fields[0].empty() && (mode & 16) ? nullptr : fields[0].c_str();
        const char *to = fields[1].empty() && (mode & 16) ? nullptr : fields[1].c_str();
        checkCode(Qz4AddUnZipPathFilter(from, to));
    }

    for (qzhost_call call : kWriters)
        qzhost_fail_call(call, 1, ERROR_ACCESS_DENIED, 1);
    Qz4SetCPrint(1);
    Qz4CPrintHook(answer);
    QzHandle handle = h;
    checkCode(Qz4UnZip(&handle, destination, nullptr, "*.*", nullptr, mode & 8 ? "-d -.d -o -$" : "-d -.d"));
    Qz4SetCPrint(0);
    qzhost_clear_faults();

    qzhost_counters c;
    qzhost_get_counters(&c);
    if (handle != h || c.blocks != 0 || c.handles != 0 || qz::extract::havePathFilters())
        abort();
    qzhost_set_codepage(1252);
    return 0;
}
