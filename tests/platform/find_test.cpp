// FindFirstFileA / FindNextFileA and temporary names.
#include "platform_test.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

using qzplat::TempDir;
using qzplat::write_file;

// Every name a search yields, in order; "!" and the error when it fails.
std::vector<std::string> find_all(const std::string &pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        names.push_back("!" + std::to_string(GetLastError()));
        return names;
    }
    do names.push_back(fd.cFileName); while (FindNextFileA(h, &fd));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    return names;
}

std::set<std::string> as_set(const std::vector<std::string> &v) { return {v.begin(), v.end()}; }

class Find : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *n : {"b.txt", "A.TXT", "c", "readme.md", "x.tar.gz"}) ASSERT_TRUE(write_file(dir / n, n));
        ASSERT_TRUE(CreateDirectoryA((dir / "sub").c_str(), nullptr));
    }
    TempDir dir;
};

TEST_F(Find, StarDotStarMatchesEverythingWithDotEntries) {
    auto all = find_all(dir / "*.*");
    std::set<std::string> want = {".", "..", "A.TXT", "b.txt", "c", "readme.md", "sub", "x.tar.gz"};
    EXPECT_EQ(as_set(all), want);
    EXPECT_EQ(as_set(find_all(dir / "*")), want);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0], ".");
    EXPECT_EQ(all[1], "..");
}

TEST_F(Find, WildcardsWithoutCase) {
    EXPECT_EQ(as_set(find_all(dir / "*.txt")), (std::set<std::string>{"A.TXT", "b.txt"}));
    EXPECT_EQ(as_set(find_all(dir / "?.TXT")), (std::set<std::string>{"A.TXT", "b.txt"}));
    EXPECT_EQ(as_set(find_all(dir / "*.gz")), (std::set<std::string>{"x.tar.gz"}));
    EXPECT_EQ(as_set(find_all(dir / "READ*")), (std::set<std::string>{"readme.md"}));
    EXPECT_EQ(as_set(find_all(dir / "r?adme.m?")), (std::set<std::string>{"readme.md"}));
    EXPECT_EQ(as_set(find_all(dir / "c.*")), (std::set<std::string>{"c"}));   // no extension at all
    EXPECT_EQ(find_all(dir / "zz*"), (std::vector<std::string>{"!2"}));         // ERROR_FILE_NOT_FOUND
    EXPECT_EQ(find_all(dir / "nodir\\*"), (std::vector<std::string>{"!3"}));    // ERROR_PATH_NOT_FOUND
}

TEST_F(Find, PlainNamesFindOneEntry) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir / "B.TXT").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(fd.cFileName, "b.txt");                 // the name as stored
    EXPECT_EQ(fd.nFileSizeLow, 5u);
    EXPECT_EQ(fd.nFileSizeHigh, 0u);
    EXPECT_EQ(fd.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_FALSE(FindNextFileA(h, &fd));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
    FindClose(h);
    h = FindFirstFileA((dir / "sub").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    FindClose(h);
    EXPECT_EQ(find_all(dir / "missing.txt"), (std::vector<std::string>{"!2"}));
}

#if !defined(_WIN32)
// Two host names that differ in case only (a POSIX folder can hold both):
// a plain name finds the one written exactly so; written in neither case,
// it finds both, as a wildcard would.
TEST_F(Find, APlainNameWrittenExactlyIsFoundFirst) {
    { std::ofstream((dir.fs() / "a.txt").string()) << "lower"; }   // past the layer, which would open A.TXT
    EXPECT_EQ(find_all(dir / "a.txt"), (std::vector<std::string>{"a.txt"}));
    EXPECT_EQ(find_all(dir / "A.TXT"), (std::vector<std::string>{"A.TXT"}));
    EXPECT_EQ(find_all(dir / "a.TXT"), (std::vector<std::string>{"A.TXT", "a.txt"}));
}
#endif

TEST_F(Find, EmptyFolderHasOnlyDotEntries) {
    EXPECT_EQ(as_set(find_all(dir / "sub\\*")), (std::set<std::string>{".", ".."}));
    EXPECT_EQ(find_all(dir / "sub\\*.txt"), (std::vector<std::string>{"!2"}));
}

TEST(TempNames, PathEndsWithSeparator) {
    char path[MAX_PATH];
    DWORD n = GetTempPathA(sizeof path, path);
    ASSERT_GT(n, 0u);
    ASSERT_LT(n, sizeof path);
    EXPECT_EQ(path[n - 1], '\\');
    EXPECT_EQ(GetTempPathA(1, path), n + 1);
}

TEST(TempNames, CreatesNewFilesWithPrefixAndHexNumber) {
    TempDir dir;
    char a[MAX_PATH], b[MAX_PATH];
    UINT x = GetTempFileNameA(dir.path().c_str(), "QVWXYZ", 0, a);
    UINT y = GetTempFileNameA(dir.path().c_str(), "QVW", 0, b);
    ASSERT_NE(x, 0u);
    ASSERT_NE(y, 0u);
    EXPECT_NE(std::string(a), std::string(b));
    for (const char *name : {a, b}) {
        std::string s = name, stem = dir.path() + "\\QVW";
        ASSERT_EQ(s.compare(0, stem.size(), stem), 0) << s;
        std::string tail = s.substr(stem.size());
        ASSERT_GT(tail.size(), 4u);
        EXPECT_EQ(lstrcmpiA(tail.substr(tail.size() - 4).c_str(), ".TMP"), 0) << s;
        std::string hex = tail.substr(0, tail.size() - 4);
        EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEFabcdef"), std::string::npos) << s;
        EXPECT_NE(GetFileAttributesA(name), INVALID_FILE_ATTRIBUTES) << "created: " << s;
        HANDLE h = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetFileSize(h, nullptr), 0u);
        CloseHandle(h);
    }
    EXPECT_EQ(std::stoul(std::string(a).substr(dir.path().size() + 4), nullptr, 16), x);

    char c[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA(dir.path().c_str(), "QVW", 0x1A2B, c), 0x1A2Bu);
    EXPECT_EQ(lstrcmpiA(c, (dir / "QVW1A2B.TMP").c_str()), 0);
    EXPECT_EQ(GetFileAttributesA(c), INVALID_FILE_ATTRIBUTES);   // a given number creates nothing
}

} // namespace
