// extract_helpers.h -- data, file checks and a scratch folder with a
// destination "out" and archives open for a test's life.
#ifndef QZ_TEST_EXTRACT_HELPERS_H
#define QZ_TEST_EXTRACT_HELPERS_H

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/archive_helpers.h"
#include "support/recording_callback.h"

namespace qztest {

// Bytes that do not compress (text: words that do), the same every time.
inline std::string noise(size_t n, uint32_t seed = 5, bool text = false) {
    static const char *words[] = {"alpha ", "beta ", "gamma ", "delta\n", "epsilon ", "zeta "};
    std::string s;
    while (s.size() < n) {
        seed = seed * 1103515245u + 12345u;
        s += text ? std::string(words[(seed >> 16) % 6]) : std::string(1, (char)(seed >> 16));
    }
    return s.substr(0, n);
}

inline std::string slashed(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

inline bool fileExists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class Extraction : public ::testing::Test {
protected:
    TempDir dir;
    std::string out = dir.file("out");
    std::deque<QzHandle> handles;

    void SetUp() override { CreateDirectoryA(out.c_str(), NULL); }
    void TearDown() override {
        for (QzHandle &h : handles)
            Qz4ZipClose(&h);
    }
    QzHandle &open(const std::vector<Entry> &entries, const std::string &name = "test.zip") {
        handles.push_back(QZ_INVALID_HANDLE);
        EXPECT_EQ(Qz4ZipOpen(put(dir, name, buildZip(entries)).c_str(), 0, &handles.back()), 0);
        return handles.back();
    }
    int16_t unzip(QzHandle &h, const char *command = "") {
        return Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, command);
    }
    std::string read(const std::string &name) const { return readFile(out + "/" + name); }
};

}  // namespace qztest

#endif
