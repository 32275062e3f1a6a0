// The filtered disk search: which files find first / find next report for
// an attribute mask and a name pattern, and that a finished search leaves
// no handle open.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "select/select.h"
#include "support/temp_dir.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

namespace {

using qz::select::findFirst;
using qz::select::findNext;
using Names = std::vector<std::string>;

class FindTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.valid());
        make("PLAIN.TXT", 0);
        make("RO.TXT", FILE_ATTRIBUTE_READONLY);
        make("HID.TXT", FILE_ATTRIBUTE_HIDDEN);
        make("SYS.TXT", FILE_ATTRIBUTE_SYSTEM);
        make("BOTH.TXT", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
        make("A.TXTX", 0);
        make("OTHER.DAT", 0);
        ASSERT_TRUE(CreateDirectoryA(path("SUB.TXT").c_str(), nullptr));
    }

    void TearDown() override {
        // Read-only files would keep the folder from being removed.
        for (const char *n : {"RO.TXT", "HID.TXT", "SYS.TXT", "BOTH.TXT"})
            SetFileAttributesA(path(n).c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    std::string path(const std::string &name) const { return dir_.path() + "/" + name; }

    void make(const char *name, DWORD attributes) {
        const std::string p = path(name);
        HANDLE h = CreateFileA(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << p;
        CloseHandle(h);
        if (attributes) ASSERT_TRUE(SetFileAttributesA(p.c_str(), attributes)) << p;
    }

    // Every name the search reports, sorted.
    Names search(const std::string &pattern, DWORD mask) {
        const std::string p = path(pattern);
        Names names;
        WIN32_FIND_DATAA data;
        HANDLE h = findFirst(p.c_str(), mask, &data);
        if (h == INVALID_HANDLE_VALUE) return names;
        do {
            names.push_back(data.cFileName);
        } while (findNext(&h, p.c_str(), mask, &data));
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        std::sort(names.begin(), names.end());
        return names;
    }

    qztest::TempDir dir_;
};

TEST_F(FindTest, AttributeMaskDecidesWhatPasses) {
    EXPECT_EQ(search("*.TXT", 6), (Names{"BOTH.TXT", "HID.TXT", "PLAIN.TXT", "RO.TXT", "SYS.TXT"}));
    EXPECT_EQ(search("*.TXT", 2), (Names{"HID.TXT", "PLAIN.TXT", "RO.TXT"}));
    EXPECT_EQ(search("*.TXT", 0), (Names{"PLAIN.TXT", "RO.TXT"}));
    EXPECT_EQ(search("*.TXT", FILE_ATTRIBUTE_NORMAL), (Names{"PLAIN.TXT", "RO.TXT"}));
    EXPECT_EQ(search("*.TXT", FILE_ATTRIBUTE_ARCHIVE), (Names{"PLAIN.TXT", "RO.TXT"}));
    EXPECT_EQ(search("*.TXT", FILE_ATTRIBUTE_DIRECTORY), (Names{"PLAIN.TXT", "RO.TXT", "SUB.TXT"}));
    EXPECT_EQ(search("*.TXT", 0x16),
              (Names{"BOTH.TXT", "HID.TXT", "PLAIN.TXT", "RO.TXT", "SUB.TXT", "SYS.TXT"}));
}

TEST_F(FindTest, DotEntriesNeverPass) {
    const Names all = search("*", 0x37);
    EXPECT_EQ(std::count(all.begin(), all.end(), "."), 0);
    EXPECT_EQ(std::count(all.begin(), all.end(), ".."), 0);
    EXPECT_EQ(all.size(), 8u);
}

TEST_F(FindTest, NameMustFitThePatternItself) {
    EXPECT_EQ(search("*.TXTX", 0), (Names{"A.TXTX"}));
    EXPECT_EQ(search("p*.txt", 0), (Names{"PLAIN.TXT"}));
    EXPECT_EQ(search("*.", 0), Names{});
    EXPECT_EQ(search("??.TXT", 0), (Names{"RO.TXT"}));
}

TEST_F(FindTest, ExistenceCheckOfOneFile) {
    WIN32_FIND_DATAA data;
    HANDLE h = findFirst(path("HID.TXT").c_str(), 6, &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "HID.TXT");
    EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN, 0u);
    FindClose(h);
    EXPECT_EQ(findFirst(path("HID.TXT").c_str(), 0, &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(findFirst(path("SUB.TXT").c_str(), 6, &data), INVALID_HANDLE_VALUE);
}

TEST_F(FindTest, NothingFound) {
    WIN32_FIND_DATAA data;
    EXPECT_EQ(findFirst(path("NONE.*").c_str(), 6, &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(findFirst(path("NODIR/*.*").c_str(), 6, &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(findFirst("", 6, &data), INVALID_HANDLE_VALUE);
    HANDLE none = INVALID_HANDLE_VALUE;
    EXPECT_EQ(findNext(&none, path("*").c_str(), 6, &data), 0);
    EXPECT_EQ(none, INVALID_HANDLE_VALUE);
}

#ifndef _WIN32
TEST_F(FindTest, FinishedSearchesCloseTheirHandles) {
    qzhost_reset_counters();
    search("*.TXT", 0);  // the first file found may fail the filter
    search("*.TXT", 6);
    WIN32_FIND_DATAA data;
    findFirst(path("HID.TXT").c_str(), 0, &data);  // passes nothing
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.handles, 0);
}

TEST_F(FindTest, FailingSearchFindsNothing) {
    qzhost_fail_call("FindFirstFileA", 1, ERROR_ACCESS_DENIED, 0);
    WIN32_FIND_DATAA data;
    EXPECT_EQ(findFirst(path("*.TXT").c_str(), 6, &data), INVALID_HANDLE_VALUE);
    qzhost_clear_faults();
}
#endif

TEST_F(FindTest, SearchPathIsOem) {
    // OEM 0x81 is u-umlaut, ANSI 0xFC: the file is made under its ANSI name.
    make("\xFC.DAT", 0);
    EXPECT_EQ(search("\x81.DAT", 0), (Names{"\xFC.DAT"}));
    EXPECT_EQ(search("\x81*", 0), (Names{"\xFC.DAT"}));
}

}  // namespace
