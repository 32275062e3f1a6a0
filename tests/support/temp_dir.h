// temp_dir.h -- a scratch folder per test, removed with everything in it
// when the object goes out of scope.
#ifndef QZ_TEST_TEMP_DIR_H
#define QZ_TEST_TEMP_DIR_H

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

namespace qztest {

class TempDir {
public:
    TempDir()
    {
        static std::atomic<unsigned> serial{0};
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec)
            base = ".";
        auto stamp = (unsigned long long)std::chrono::steady_clock::now().time_since_epoch().count();
        for (unsigned attempt = 0; attempt < 1000; ++attempt) {
            std::filesystem::path p = base / ("qzt-" + std::to_string(stamp % 1000000007ull) + "-" +
                                              std::to_string(serial++));
            if (std::filesystem::create_directory(p, ec)) {
                path_ = p;
                break;
            }
        }
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    // The folder, and a path inside it, in the host's own form.
    std::string path() const { return path_.string(); }
    // Joined as bytes: the name is not passed through the wide-character
    // conversion of std::filesystem, so ANSI names keep their bytes.
    std::string file(const std::string &name) const
    {
#ifdef _WIN32
        return path() + "\\" + name;
#else
        return path() + "/" + name;
#endif
    }
    bool valid() const { return !path_.empty(); }

private:
    std::filesystem::path path_;
};

}  // namespace qztest

#endif
