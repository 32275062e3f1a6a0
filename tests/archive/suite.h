// suite.h -- helpers of the archive suite: archives written into a scratch
// folder, the library's temporary files, and the file behind a handle.
#ifndef QZ_TEST_ARCHIVE_SUITE_H
#define QZ_TEST_ARCHIVE_SUITE_H

#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/archive_helpers.h"

namespace qztest {

// A scratch folder that names the archives put into it.
struct Scratch : TempDir {
    int serial = 0;
    std::string add(const std::string &bytes, const std::string &ext = ".zip")
    {
        return put(*this, "t" + std::to_string(serial++) + ext, bytes);
    }
};

// The QVW files of the temporary folder, as full Win32 paths.
inline std::vector<std::string> tempFiles()
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE s = FindFirstFileA((std::string(dir) + "QVW*.TMP").c_str(), &data);
    for (bool more = s != INVALID_HANDLE_VALUE; more; more = FindNextFileA(s, &data))
        names.push_back(std::string(dir) + data.cFileName);
    if (s != INVALID_HANDLE_VALUE)
        FindClose(s);
    return names;
}

// Moves the file position of an open archive; returns the new position.
inline uint32_t seekArchive(QzHandle h, int32_t offset, DWORD how = FILE_BEGIN)
{
    return SetFilePointer((HANDLE)(intptr_t)(int32_t)h, offset, NULL, how);
}

// Three entries: stored, stored, deflated with an extra field and a comment.
inline std::vector<Entry> threeEntries()
{
    Entry c("third\\c.txt", std::string(2000, 'c'), 8);
    c.extra = extraBlock(0x1234, "xyz");
    c.comment = "entry comment";
    return {Entry("a.txt", "alpha"), Entry("b.txt", "beta beta"), c};
}

}  // namespace qztest

#endif
