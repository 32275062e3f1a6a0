// temp_dir.h -- a scratch folder, removed with everything in it when the
// object goes out of scope.
#ifndef QZ_TEST_TEMP_DIR_H
#define QZ_TEST_TEMP_DIR_H

#include <chrono>
#include <filesystem>
#include <string>

namespace qztest {

class TempDir {
public:
    TempDir() {
        static unsigned serial = 0;
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007;
        while (path_.empty() && serial < 100000) {
            auto p = std::filesystem::temp_directory_path() / ("qzt-" + std::to_string(stamp) + "-" +
                                                               std::to_string(serial++));
            if (std::filesystem::create_directory(p))
                path_ = p;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    std::string path() const { return path_.string(); }
    // Joined as bytes, so that ANSI names keep them (std::filesystem would convert).
    std::string file(const std::string &name) const {
        return path() + (char)std::filesystem::path::preferred_separator + name;
    }

private:
    std::filesystem::path path_;
};

}  // namespace qztest

#endif
