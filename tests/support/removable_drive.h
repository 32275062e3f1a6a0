// removable_drive.h -- a simulated removable drive (POSIX layer only): a
// drive letter mapped to a scratch folder, into which a test "inserts disk
// n" of a spanned set by writing its file alone there, labelled "PKBACK# 00n".
#ifndef QZ_TEST_REMOVABLE_DRIVE_H
#define QZ_TEST_REMOVABLE_DRIVE_H

#ifndef _WIN32

#include <stdio.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/host.h"
#include "support/archive_builder.h"

namespace qztest {

class RemovableDrive {
public:
    RemovableDrive(char letter, const std::string &folder) : letter_(letter), folder_(folder) {
        std::filesystem::create_directories(folder_);
        qzhost_map_drive(letter_, folder_.c_str(), DRIVE_REMOVABLE, nullptr);
    }
    ~RemovableDrive() { qzhost_unmap_drive(letter_); }
    RemovableDrive(const RemovableDrive &) = delete;
    RemovableDrive &operator=(const RemovableDrive &) = delete;

    // The Win32 path of a file on the drive ("A:\NAME").
    std::string path(const std::string &fileName) const { return std::string(1, letter_) + ":\\" + fileName; }
    void useSet(const std::string &fileName, const std::vector<std::string> &volumes) {
        setName_ = fileName;
        volumes_ = volumes;
    }
    void insertVolume(unsigned n) {
        char label[16];
        snprintf(label, sizeof label, "PKBACK# %03u", n % 1000);
        if (n < 1 || n > volumes_.size())
            return;
        for (auto &e : std::filesystem::directory_iterator(folder_))
            std::filesystem::remove_all(e.path());
        writeFile(folder_ + "/" + setName_, volumes_[n - 1]);
        qzhost_set_label(letter_, label);
    }

private:
    char letter_;
    std::string folder_, setName_;
    std::vector<std::string> volumes_;
};

}  // namespace qztest

#endif
#endif
