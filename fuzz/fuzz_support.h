// fuzz_support.h -- what the fuzz targets share: the check that a result is
// a code of the table, and an archive built once and kept open.
#ifndef QZ_FUZZ_SUPPORT_H
#define QZ_FUZZ_SUPPORT_H

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "qzunpack.h"
#include "support/archive_builder.h"

namespace qzfuzz {

// Aborts unless r is one of the library's result codes.
inline void checkCode(int16_t r) {
    switch (r) {
#define QZ_CASE_(name, value, text) case value:
        QZ_RESULT_CODES(QZ_CASE_)
#undef QZ_CASE_
        return;
    default:
        abort();
    }
}

// Writes the archive to a temporary file, opens it and removes the name
// again (the open handle keeps the file readable).  Aborts on failure.
inline QzHandle openBuilt(const char *tag, const std::vector<qztest::Entry> &entries) {
    char path[256];
    const char *dir = getenv("TMPDIR");
    snprintf(path, sizeof path, "%s/qz-%s-%ld.zip", dir && *dir ? dir : "/tmp", tag, (long)getpid());
    QzHandle h = QZ_INVALID_HANDLE;
    if (!qztest::writeFile(path, qztest::buildZip(entries)) || Qz4ZipOpen(path, 0, &h) != 0)
        abort();
    unlink(path);
    return h;
}

}  // namespace qzfuzz

#endif
