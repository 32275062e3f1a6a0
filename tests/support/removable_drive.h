// removable_drive.h -- a simulated removable drive (POSIX layer only): a
// drive letter mapped to a scratch folder, into which a test "inserts a
// disk" by writing the volume's file and setting the label.
#ifndef QZ_TEST_REMOVABLE_DRIVE_H
#define QZ_TEST_REMOVABLE_DRIVE_H

#ifndef _WIN32

#include <string>
#include <vector>

namespace qztest {

class RemovableDrive {
public:
    RemovableDrive(char letter, const std::string &folder);   // without a label
    ~RemovableDrive();
    RemovableDrive(const RemovableDrive &) = delete;
    RemovableDrive &operator=(const RemovableDrive &) = delete;

    // The Win32 path of a file on the drive ("A:\NAME").
    std::string path(const std::string &fileName) const { return std::string(1, letter_) + ":\\" + fileName; }
    // Puts a disk in: the only file of the folder, and the label.
    void insert(const std::string &fileName, const std::string &bytes, const std::string &label);
    // A spanned set: insertVolume(n) puts disk n (from 1) in under fileName, labelled "PKBACK# 00n".
    void useSet(const std::string &fileName, const std::vector<std::string> &volumes);
    void insertVolume(unsigned n);

private:
    char letter_;
    std::string folder_, setName_;
    std::vector<std::string> volumes_;
};

}  // namespace qztest

#endif
#endif
