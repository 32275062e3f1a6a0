// archive_helpers.h -- small helpers shared by the suites that open archives.
#ifndef QZ_TEST_ARCHIVE_HELPERS_H
#define QZ_TEST_ARCHIVE_HELPERS_H

#include <string>
#include <vector>

#include "qzunpack.h"
#include "support/archive_builder.h"
#include "support/temp_dir.h"

namespace qztest {

// Writes bytes into the scratch folder and returns the path.
inline std::string put(const TempDir &dir, const std::string &name, const std::string &bytes)
{
    std::string path = dir.file(name);
    writeFile(path, bytes);
    return path;
}

// Closes the handle when the test leaves the scope.
struct OpenArchive {
    QzHandle h = QZ_INVALID_HANDLE;
    int16_t result = 0;
    explicit OpenArchive(const std::string &path, uint32_t mode = 0)
    {
        result = Qz4ZipOpen(path.c_str(), mode, &h);
    }
    ~OpenArchive()
    {
        if (h != QZ_INVALID_HANDLE)
            Qz4ZipClose(&h);
    }
};

// The names of a built-in walk, and the result that ended it.
struct Listing {
    std::vector<std::string> names;
    std::vector<QzEntryRecord> records;
    int16_t end = 0;
};

inline Listing listAll(QzHandle h)
{
    Listing l;
    QzEntryRecord rec;
    char name[261];
    int16_t r = Qz4ZipFindFirst(h, &rec, name, nullptr, 0, nullptr, 0);
    while (r == 0) {
        l.names.push_back(name);
        l.records.push_back(rec);
        r = Qz4ZipFindNext(h, &rec, name, nullptr, 0, nullptr, 0);
        if (l.names.size() > 100000)
            break;
    }
    l.end = r;
    return l;
}

}  // namespace qztest

#endif
