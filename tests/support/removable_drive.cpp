// removable_drive.cpp -- the simulated removable drive of the spanned tests.
#ifndef _WIN32

#include "support/removable_drive.h"

#include <stdio.h>

#include <filesystem>

#include "platform/host.h"
#include "support/archive_builder.h"

namespace qztest {

RemovableDrive::RemovableDrive(char letter, const std::string &folder) : letter_(letter), folder_(folder)
{
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    qzhost_map_drive(letter_, folder_.c_str(), DRIVE_REMOVABLE, nullptr);
}

RemovableDrive::~RemovableDrive()
{
    qzhost_unmap_drive(letter_);
}

void RemovableDrive::insert(const std::string &fileName, const std::string &bytes, const std::string &label)
{
    std::error_code ec;
    for (auto &e : std::filesystem::directory_iterator(folder_, ec))
        std::filesystem::remove_all(e.path(), ec);
    writeFile(folder_ + "/" + fileName, bytes);
    qzhost_set_label(letter_, label.c_str());
}

void RemovableDrive::useSet(const std::string &fileName, const std::vector<std::string> &volumes)
{
    setName_ = fileName;
    volumes_ = volumes;
}

void RemovableDrive::insertVolume(unsigned n)
{
    char label[16];
    snprintf(label, sizeof label, "PKBACK# %03u", n % 1000);
    if (n >= 1 && n <= volumes_.size())
        insert(setName_, volumes_[n - 1], label);
}

}  // namespace qztest

#endif
