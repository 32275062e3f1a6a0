// removable_drive.h -- a simulated removable drive for spanned sets (POSIX
// layer only): a drive letter mapped to a scratch folder, into which the
// test "inserts a disk" by writing the volume's file and setting the label.
#ifndef QZ_TEST_REMOVABLE_DRIVE_H
#define QZ_TEST_REMOVABLE_DRIVE_H

#ifndef _WIN32

#include <string>
#include <vector>

namespace qztest {

class RemovableDrive {
public:
    // Maps letter to folder as a removable drive without a label.
    RemovableDrive(char letter, const std::string &folder);
    ~RemovableDrive();
    RemovableDrive(const RemovableDrive &) = delete;
    RemovableDrive &operator=(const RemovableDrive &) = delete;

    // The Win32 path of a file on the drive ("A:\NAME").
    std::string path(const std::string &fileName) const;
    // Puts a disk in: the file with these bytes (every other file of the
    // folder is removed) and the label.
    void insert(const std::string &fileName, const std::string &bytes, const std::string &label);
    void setLabel(const std::string &label);

    // A spanned set on this drive: insertVolume(n) puts disk n (1-based) in
    // under fileName with the label "PKBACK# " and n in three digits.
    void useSet(const std::string &fileName, const std::vector<std::string> &volumes);
    void insertVolume(unsigned n);
    unsigned inserted() const { return current_; }

private:
    char letter_;
    std::string folder_;
    std::string setName_;
    std::vector<std::string> volumes_;
    unsigned current_ = 0;
};

// "PKBACK# 007" for 7.
std::string spannedLabel(unsigned n);

}  // namespace qztest

#endif
#endif
