// Selection: the matcher, the include and exclude lists, the filtered disk search.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "backtrack_reference.h"
#include "qzunpack.h"
#include "select/select.h"
#include "support/temp_dir.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

namespace {

void codepage(int page) {
#ifndef _WIN32
    qzhost_set_codepage(page);
#endif
}

// What QzMatchFile adds to the core rules: case, the "*." and "*.*" forms, either separator.
const struct { const char *name, *pattern; int16_t fits; } kMatches[] = {
    {"", "*", 1}, {"", "*.", 1}, {"A", "", 0}, {"readme.txt", "*.Txt", 1}, {"README", "*.*", 1},
    {"XBC", "A*.*", 0}, {"DIR.X/F", "*.", 1}, {"C:F", "*.", 1}, {"A.B", "*.", 0}, {".PROFILE", "*.", 0},
    {"ABC.", "*.", 0}, {"README", "?*.", 1}, {"A.", "A.", 1}, {"A\\B", "A/B", 1}, {"\x81\\X", "*\\X", 1},
};

TEST(Select, MatchExamples) {
    for (const auto &row : kMatches)
        EXPECT_EQ(QzMatchFile(row.name, row.pattern), row.fits) << row.name << " " << row.pattern;
    const std::string name(259, 'A');   // both sides are cut to 259 bytes
    EXPECT_EQ(QzMatchFile((name + "X").c_str(), (name + "Y").c_str()), 1);
}

// The matcher against the rules on random short names and patterns (double-byte ones under 932).
TEST(Select, MatchAgreesWithTheBacktrackingRules) {
    const struct { int page; const char *names, *patterns; } alphabets[] = {
        {1252, "AB./\\", "AB*?/\\."}, {1252, "AB", "AB**??"}, {1252, "A*?", "A*?"},
#ifndef _WIN32
        {932, "A\x81\\.*", "A\x81\\*?."}, {932, "\x81\x82" "AB", "\x81\x82*?AB"},
#endif
    };
    std::mt19937 rng(20261206u);
    const int rounds = getenv("QZ_UNDER_VALGRIND") ? 5000 : 100000;
    for (const auto &a : alphabets) {
        codepage(a.page);
        for (int i = 0; i < rounds; ++i) {
            std::string name;
            std::string pattern;
            for (int n = rng() % 10; n > 0; --n)
                name += a.names[rng() % strlen(a.names)];
            for (int n = rng() % 9; n > 0; --n)
                pattern += a.patterns[rng() % strlen(a.patterns)];
            ASSERT_EQ(qz::select::matchCore(name.c_str(), pattern.c_str()),
                      qztest::backtrack::core(name.c_str(), pattern.c_str()))
                << "'" << name << "' '" << pattern << "'";
        }
    }
    codepage(1252);
}

struct SelectRow {
    const char *dir, *name, *include, *exclude;
    int16_t recurse, selected;
};

const SelectRow kSelections[] = {
    {"DOCS/", "B.TXT", "*.TXT README", nullptr, 1, 1},
    {"DOCS/OLD/", "B.TXT", "DOCS/*.TXT", nullptr, 1, 1},
    {"DOCS/OLD/", "B.TXT", "DOCS/*.TXT", nullptr, 0, 0},
    {"DOCS/", "A.TXT", "docs\\a.txt", nullptr, 1, 1},
    {"", "MY FILE.TXT", "\"MY FILE.TXT\"", nullptr, 1, 1},
    {"DOCS/OLD/", "X.BAK", "*.*", "*.BAK", 1, 0},
    {"DOCS/", "X.TXT", "*.*", "DOCS/X.TXT", 1, 0},
    {"OTHER/", "X.TXT", "*", "DOCS/*.TXT", 1, 1},
    {nullptr, "X.BAK", "*.*", "*.BAK", 1, 0},
    {"\x81/", "\x81.TXT", "\xFC/*.TXT", nullptr, 1, 1},   // lists are ANSI, entries OEM
};

TEST(Select, Lists) {
    for (const SelectRow &r : kSelections)
        EXPECT_EQ(qz::select::selectionTest(r.dir, r.name, r.include, r.exclude, r.recurse), r.selected)
            << "row " << &r - kSelections;
}

#ifndef _WIN32
// Whichever allocation fails, nothing is left behind and the armed fault fired.
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
        EXPECT_EQ(c.faults, 1u) << nth;
    }
}
#endif

// The search the extraction makes for a file in the way: hidden files count, folders do not.
TEST(Select, FindFirstFilters) {
    qztest::TempDir dir;
    for (const char *f : {"HID.TXT", "A.TXTX", "\xFC.TXT"})
        CloseHandle(CreateFileA(dir.file(f).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 2, nullptr));
    CreateDirectoryA(dir.file("SUB.TXT").c_str(), nullptr);
    std::string path = dir.file("*.TXT");
    WIN32_FIND_DATAA data;
    int found = 0;
    for (HANDLE h = qz::select::findFirst(path.c_str(), 6, &data); h != INVALID_HANDLE_VALUE;
         qz::select::findNext(&h, path.c_str(), 6, &data))
        ++found;
    EXPECT_EQ(found, 2);
}

}  // namespace
