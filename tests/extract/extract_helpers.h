// extract_helpers.h -- a scratch folder with an archive and a destination,
// and small file helpers, for the extraction tests.
#ifndef QZ_TEST_EXTRACT_HELPERS_H
#define QZ_TEST_EXTRACT_HELPERS_H

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "qzunpack.h"
#include "support/archive_builder.h"
#include "support/archive_helpers.h"
#include "support/recording_callback.h"
#include "support/temp_dir.h"

namespace qztest {

// Host path separator of the scratch folders.
#ifdef _WIN32
const char kSep = '\\';
#else
const char kSep = '/';
#endif

// Wine runs the Windows build of the tests; it does not refuse root a
// read-only file and reports ARCHIVE on every file, so checks of those
// rules are left out there.
inline bool underWine()
{
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

inline bool fileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline DWORD attributesOf(const std::string &path)
{
    return GetFileAttributesA(path.c_str());
}

// The last-write time of a file as the DOS date and time of local time.
inline bool dosTimeOf(const std::string &path, uint16_t *date, uint16_t *time)
{
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(path.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FindClose(h);
    FILETIME local;
    WORD d, t;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &d, &t))
        return false;
    *date = d;
    *time = t;
    return true;
}

// Clears the read-only bit so the scratch folder can be removed.
inline void makeWritable(const std::string &path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Answers every message (kind 0) with `answer`, every overwrite question
// with `overwrite`, and lets notifications pass.
inline void answerEvents(RecordingCallback &cb, int16_t answer, int16_t overwrite = QZ_ANSWER_NO)
{
    cb.onEvent([answer, overwrite](const QzPrintBlock &b) -> int {
        if (b.eventKind == QZ_EVENT_MESSAGE)
            return answer;
        if (b.eventKind == QZ_EVENT_QUESTION && b.eventCode == QZ_QUESTION_OVERWRITE)
            return overwrite;
        return RecordingCallback::kNoAnswer;
    });
}

// A scratch folder with an archive in it and an empty destination "out".
class Extraction : public ::testing::Test {
protected:
    TempDir dir;
    std::string archivePath;
    std::string out;

    void SetUp() override
    {
        out = dir.file("out");
        CreateDirectoryA(out.c_str(), NULL);
    }

    // Writes the archive and opens it.  The handle variable stays the
    // fixture's, which closes the archive at the end of the test.
    QzHandle &open(const std::string &bytes, const std::string &name = "test.zip")
    {
        archivePath = put(dir, name, bytes);
        handles_.push_back(QZ_INVALID_HANDLE);
        EXPECT_EQ(Qz4ZipOpen(archivePath.c_str(), 0, &handles_.back()), 0);
        return handles_.back();
    }
    QzHandle &open(const std::vector<Entry> &entries, const std::string &name = "test.zip")
    {
        return open(buildZip(entries), name);
    }

    void TearDown() override
    {
        for (QzHandle &h : handles_)
            Qz4ZipClose(&h);
        Qz4SetParseType(0);
    }

    // Extracts into out/ (or another destination).
    int16_t unzip(QzHandle &h, const char *command = "", const char *include = "*.*",
                  const char *exclude = nullptr, const char *outputName = nullptr)
    {
        return Qz4UnZip(&h, out.c_str(), outputName, include, exclude, command);
    }

    std::string outFile(const std::string &name) const { return out + kSep + name; }
    std::string read(const std::string &name) const { return readFile(outFile(name)); }

private:
    std::deque<QzHandle> handles_;
};

}  // namespace qztest

#endif
