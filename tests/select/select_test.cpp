// Selection: QzMatchFile on examples and against the backtracking rules,
// the include and exclude lists, and the filtered disk search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>
#include <string>

#include "backtrack_reference.h"
#include "qzunpack.h"
#include "select/select.h"
#include "support/temp_dir.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

namespace {

struct MatchRow {
    int page;   // 932: the double-byte code page of the POSIX layer
    const char *name, *pattern;
    int16_t fits;
};

const MatchRow kMatches[] = {
    {1252, "", "*", 1}, {1252, "", "*.", 1}, {1252, "", "*.*", 1}, {1252, "", "", 1},
    {1252, "", "?", 0}, {1252, "", "**", 0}, {1252, "", "*?", 0}, {1252, "A", "", 0},
    {1252, "ABAB", "*AB", 1}, {1252, "ABCB", "*B*B", 1}, {1252, "AC", "A?C", 0}, {1252, "AB", "?", 0},
    {1252, "A", "A*?", 0}, {1252, "A", "A**", 0}, {1252, "AB", "A**", 1}, {1252, "ABXYX", "*?X", 0},
    {1252, "ABX", "*?X", 1}, {1252, "ABXYX", "*X", 1}, {1252, "ABXCXY", "*?X?", 0}, {1252, "AXYX", "*?*X", 1},
    {1252, "AB", "*???", 0}, {1252, "AB", "ABC", 0}, {1252, "ABC", "AB", 0}, {1252, "readme.txt", "*.Txt", 1},
    {1252, "README", "*.*", 1}, {1252, "ABC", "A*.*", 1}, {1252, "XBC", "A*.*", 0}, {1252, "A.B.C", "*.*", 1},
    {1252, "README", "*.", 1}, {1252, "DIR.X/FILE", "*.", 1}, {1252, "DIR.X\\FILE", "*.", 1},
    {1252, "C:FILE", "*.", 1}, {1252, "A.B", "*.", 0}, {1252, ".PROFILE", "*.", 0}, {1252, "ABC.", "*.", 0},
    {1252, "XBC", "A*.", 0}, {1252, "AB", "*.B", 0}, {1252, "README", "?*.", 1}, {1252, "A", ".", 0},
    {1252, "A.", "A.", 1}, {1252, "A\\B", "A/B", 1}, {1252, "A/B", "A\\B", 1}, {1252, "AXB", "A/B", 0},
    {1252, "DIR/SUB/F.C", "DIR/*.C", 1}, {1252, "A/B", "A?B", 1}, {1252, "DIR/F.C", "*/G.C", 0},
    {1252, "\x81\\X", "*\\X", 1}, {1252, "\x81ZZZ", "\x81*", 1},
#ifndef _WIN32
    {932, "\x81\\X", "*\\X", 0}, {932, "\x81\\X", "*X", 1}, {932, "\x81\\", "\x81/", 1},
    {932, "D\\\x81\\", "D/?", 1}, {932, "D\\\x81\\", "D/??", 0}, {932, "\x81Z", "\x81*", 1},
    {932, "\x81ZZZ", "\x81*", 0}, {932, "\x81ZZ", "\x81?", 0}, {932, "\x82\xA0", "\x82\xA2", 1},
    {932, "\x82\xA0", "\x83\xA0", 0}, {932, "\x82\xA0\x82\xA2", "??", 1}, {932, "\x82\xA0\x82\xA2", "???", 0},
    {932, "AB\x81.", "*.", 1}, {932, "AB\x81.Z.C", "*.", 0}, {932, "\x81Z.", "\x81*.", 1},
    {932, "\x81Z", "\x81*.", 0}, {932, "\x81QZZ", "\x81.*", 1},
#endif
};

TEST(Select, MatchExamples) {
    for (const MatchRow &row : kMatches) {
#ifndef _WIN32
        qzhost_set_codepage(row.page);
#endif
        EXPECT_EQ(QzMatchFile(row.name, row.pattern), row.fits)
            << row.page << " '" << row.name << "' '" << row.pattern << "'";
    }
#ifndef _WIN32
    qzhost_set_codepage(1252);
#endif
}

TEST(Select, LongNamesAndHardPatterns) {
    const std::string name(259, 'A');
    std::string pattern;
    for (int i = 0; i < 129; ++i)
        pattern += "*A";
    EXPECT_EQ(QzMatchFile(name.c_str(), (pattern + "B").c_str()), 0);   // every split is a candidate
    EXPECT_EQ(QzMatchFile((name.substr(1) + "B").c_str(), (pattern + "B").c_str()), 1);
    std::string marks;   // runs ending in '?' take only the first fitting place
    for (int i = 0; i < 86; ++i)
        marks += "*?A";
    EXPECT_EQ(QzMatchFile(std::string(258, 'A').c_str(), marks.c_str()), 0);
    EXPECT_EQ(QzMatchFile(std::string(172, 'A').c_str(), marks.c_str()), 1);
    // Both sides are cut to 259 bytes, so differing tails are not seen.
    EXPECT_EQ(QzMatchFile((name + "X").c_str(), (name + "Y").c_str()), 1);
}

// The matcher against the rules written down directly, on random short
// names and patterns over small alphabets (double-byte ones under 932).
TEST(Select, MatchAgreesWithTheBacktrackingRules) {
    const struct { int page; const char *names, *patterns; } alphabets[] = {
        {1252, "AB./\\", "AB*?/\\."}, {1252, "AB", "AB**??"}, {1252, "A*?", "A*?"},
#ifndef _WIN32
        {932, "A\x81\\.*", "A\x81\\*?."}, {932, "\x81\x82" "AB", "\x81\x82*?AB"},
#endif
    };
    std::mt19937 rng(20261206u);
    for (const auto &a : alphabets) {
#ifndef _WIN32
        qzhost_set_codepage(a.page);
#endif
        int fitting = 0;
        const int rounds = getenv("QZ_UNDER_VALGRIND") ? 5000 : 100000;
        for (int i = 0; i < rounds; ++i) {
            std::string name;
            std::string pattern;
            for (int n = rng() % 10; n > 0; --n)
                name += a.names[rng() % strlen(a.names)];
            for (int n = rng() % 9; n > 0; --n)
                pattern += a.patterns[rng() % strlen(a.patterns)];
            bool expected = backtrack::core(name.c_str(), pattern.c_str());
            ASSERT_EQ(qz::select::matchCore(name.c_str(), pattern.c_str()), expected)
                << "'" << name << "' '" << pattern << "'";
            fitting += expected;
        }
        EXPECT_GT(fitting, rounds / 100) << a.patterns;   // both answers occur
        EXPECT_LT(fitting, rounds - rounds / 100) << a.patterns;
    }
#ifndef _WIN32
    qzhost_set_codepage(1252);
#endif
}

struct SelectRow {
    const char *dir, *name, *include, *exclude;
    int16_t recurse, selected;
};

const SelectRow kSelections[] = {
    {"", "A.TXT", "*.TXT README", nullptr, 1, 1},
    {"DOCS/", "B.TXT", "*.TXT README", nullptr, 1, 1},
    {"DOCS/", "README", "*.TXT README", nullptr, 1, 0},
    {"", "A.BAK", "*.TXT README", nullptr, 1, 0},
    {"DOCS/OLD/", "B.TXT", "DOCS/*.TXT", nullptr, 1, 1},
    {"DOCS/OLD/", "B.TXT", "DOCS/*.TXT", nullptr, 0, 0},
    {"DOCS/OLD/", "B.TXT", "DOCS/B.TXT", nullptr, 1, 0},
    {"", "A.TXT", "DOCS/*.TXT", nullptr, 1, 0},
    {"DOCS/", "A.TXT", "docs\\a.txt", nullptr, 1, 1},
    {"DOCS/SUB/", "X.Y", "DOCS/", nullptr, 1, 1},
    {"", "X", "DOCS/", nullptr, 1, 0},
    {"", "A", nullptr, nullptr, 1, 0},
    {"", "A", " \t ", nullptr, 1, 0},
    {"", "A", "*.*", " \t ", 1, 1},
    {"D/", "A", "\"\"", nullptr, 1, 1},
    {"", "MY FILE.TXT", "\"MY FILE.TXT\"", nullptr, 1, 1},
    {"", "MY FILE.TXT", "MY FILE.TXT", nullptr, 1, 0},
    {"", "A B C", "X \"A B C", nullptr, 1, 1},
    {"", "A\"B", "A\"B C", nullptr, 1, 1},
    {"DOCS/OLD/", "X.BAK", "*.*", "*.BAK", 1, 0},
    {"DOCS/", "X.TXT", "*.*", "DOCS/X.TXT", 1, 0},
    {"", "X.TXT", "*.*", "DOCS/X.TXT", 1, 1},
    {"A/B/", "README", "*", "README", 1, 0},
    {"A/", "X", "*", "Q \"X\"", 1, 0},
    {"OTHER/", "X.TXT", "*", "DOCS/*.TXT", 1, 1},
    {nullptr, "X.BAK", "*.*", "*.BAK", 1, 0},
    {"\x81/", "\x81.TXT", "\xFC/*.TXT", nullptr, 1, 1},   // lists are ANSI, entries OEM
};

TEST(Select, Lists) {
    for (const SelectRow &r : kSelections)
        EXPECT_EQ(qz::select::selectionTest(r.dir, r.name, r.include, r.exclude, r.recurse), r.selected)
            << r.dir << r.name << " [" << (r.include ? r.include : "null") << "] ["
            << (r.exclude ? r.exclude : "") << "]";
}

#ifndef _WIN32
// Whichever allocation fails, nothing is left behind; a copy of a list that
// cannot be made selects nothing, a folded copy counts as equal.
TEST(Select, FailedAllocations) {
    qzhost_reset_counters();
    EXPECT_EQ(qz::select::selectionTest("D/", "A", "d\\A", "D/Q", 1), 1);
    qzhost_counters c;
    qzhost_get_counters(&c);
    const unsigned long allocations = c.allocations;
    for (unsigned long nth = 1; nth <= allocations; ++nth) {
        qzhost_reset_counters();
        qzhost_fail_alloc(nth, 0);
        int16_t want = nth == 1 || nth == 4 ? 0 : 1;   // a list copy lost, or a folded one
        EXPECT_EQ(qz::select::selectionTest("D/", "A", "d\\A", "D/Q", 1), want) << nth;
        qzhost_clear_faults();
        qzhost_get_counters(&c);
        EXPECT_EQ(c.blocks, 0) << nth;
        EXPECT_EQ(c.faults, 1u) << nth;   // the armed fault fired
    }
}
#endif

// The search passes what the attribute mask accepts and what fits the name
// (in OEM), never "." or "..".
TEST(Select, FindFirstFilters) {
    qztest::TempDir dir;
#ifndef _WIN32
    qzhost_reset_counters();
#endif
    const char *files[] = {"PLAIN.TXT", "HID.TXT", "A.TXTX", "\xFC.TXT"};
    for (const char *f : files)
        CloseHandle(CreateFileA(dir.file(f).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    SetFileAttributesA(dir.file("HID.TXT").c_str(), FILE_ATTRIBUTE_HIDDEN);
    CreateDirectoryA(dir.file("SUB.TXT").c_str(), nullptr);
    const struct { const char *pattern; DWORD mask; const char *found; } rows[] = {
        {"*.TXT", 0, "PLAIN.TXT \xFC.TXT "}, {"*.TXT", 2, "HID.TXT PLAIN.TXT \xFC.TXT "},
        {"*.TXT", 0x10, "PLAIN.TXT SUB.TXT \xFC.TXT "},
        {"*", 0x37, "A.TXTX HID.TXT PLAIN.TXT SUB.TXT \xFC.TXT "},
        {"\x81*", 0, "\xFC.TXT "}, {"HID.TXT", 0, ""}, {"NONE.*", 6, ""},
    };
    for (const auto &row : rows) {
        std::string path = dir.file(row.pattern);
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE h = qz::select::findFirst(path.c_str(), row.mask, &data);
        if (h != INVALID_HANDLE_VALUE) {
            do
                names.push_back(data.cFileName);
            while (qz::select::findNext(&h, path.c_str(), row.mask, &data));
        }
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        std::sort(names.begin(), names.end());
        std::string found;
        for (const std::string &n : names)
            found += n + " ";
        EXPECT_EQ(found, row.found) << row.pattern << " " << row.mask;
    }
    SetFileAttributesA(dir.file("HID.TXT").c_str(), FILE_ATTRIBUTE_NORMAL);
#ifndef _WIN32
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.handles, 0);   // finished searches are closed
#endif
}

}  // namespace
