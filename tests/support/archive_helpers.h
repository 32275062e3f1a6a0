// archive_helpers.h -- small helpers of the suites that open archives.
#ifndef QZ_TEST_ARCHIVE_HELPERS_H
#define QZ_TEST_ARCHIVE_HELPERS_H

#include <string>
#include <vector>

#include "qzunpack.h"
#include "support/archive_builder.h"
#include "support/temp_dir.h"

namespace qztest {

// Writes bytes into the scratch folder and returns the path.
inline std::string put(const TempDir &dir, const std::string &name, const std::string &bytes) {
    writeFile(dir.file(name), bytes);
    return dir.file(name);
}

// An archive open for the scope.
struct OpenArchive {
    QzHandle h = QZ_INVALID_HANDLE;
    int16_t result;
    explicit OpenArchive(const std::string &path, uint32_t mode = 0) : result(Qz4ZipOpen(path.c_str(), mode,
        &h)) {}
    ~OpenArchive() {
        if (h != QZ_INVALID_HANDLE)
            Qz4ZipClose(&h);
    }
};

// The names and records of a built-in walk, and the result that ended it.
struct Listing {
    std::vector<std::string> names;
    std::vector<QzEntryRecord> records;
    int16_t end = 0;
};

inline Listing listAll(QzHandle h) {
    Listing l;
    QzEntryRecord rec;
    char name[261];
    for (l.end = Qz4ZipFindFirst(h, &rec, name, nullptr, 0, nullptr,
        0); l.end == 0 && l.names.size() <= 100000;
         l.end = Qz4ZipFindNext(h, &rec, name, nullptr, 0, nullptr, 0)) {
        l.names.push_back(name);
        l.records.push_back(rec);
    }
    return l;
}

}  // namespace qztest

#endif
