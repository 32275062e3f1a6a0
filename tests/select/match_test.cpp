// The wildcard matcher: QzMatchFile's answers, its no-extension and "*.*"
// forms, case folding, separators, long inputs, double-byte text, and the
// core matcher against the direct backtracking transcription of the rules.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "backtrack_reference.h"
#include "qzunpack.h"
#include "select/select.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

namespace {

struct Case {
    const char *name;
    const char *pattern;
    int16_t fits;
};

void expectCases(const Case *cases, size_t count) {
    for (size_t i = 0; i < count; ++i)
        EXPECT_EQ(QzMatchFile(cases[i].name, cases[i].pattern), cases[i].fits)
            << "name '" << cases[i].name << "' pattern '" << cases[i].pattern << "'";
}

TEST(MatchFile, EmptyNames) {
    const Case cases[] = {
        {"", "*", 1}, {"", "*.", 1}, {"", "*.*", 1}, {"", "", 1},
        {"", "?", 0}, {"", "**", 0}, {"", "*?", 0}, {"A", "", 0},
    };
    expectCases(cases, sizeof cases / sizeof cases[0]);
}

TEST(MatchFile, StarsAndMarks) {
    const Case cases[] = {
        {"ABC", "*C", 1},    {"C", "*C", 1},      {"ABAB", "*AB", 1}, {"ABCB", "*B*B", 1},
        {"AXB", "A*B*", 1},  {"AC", "A?C", 0},    {"ABC", "A?C", 1},  {"A", "?", 1},
        {"AB", "?", 0},      {"A", "*?", 1},      {"AB", "A*?", 1},   {"A", "A*?", 0},
        {"A", "A**", 0},     {"AB", "A**", 1},    {"A", "A*", 1},     {"ABC", "*", 1},
        {"ABXYX", "*?X", 0}, {"ABX", "*?X", 1},   {"AX", "*?X", 1},   {"ABXYX", "*X", 1},
        {"ABXYX", "*??X", 0}, {"ABXCXY", "*?X?", 0}, {"AXYX", "*?*X", 1}, {"ABC", "*??", 1},
        {"AB", "*???", 0},   {"ABC", "ABD", 0},   {"AB", "ABC", 0},   {"ABC", "AB", 0},
    };
    expectCases(cases, sizeof cases / sizeof cases[0]);
}

TEST(MatchFile, ExtensionForms) {
    const Case cases[] = {
        // "*.*": with or without a dot.
        {"README", "*.*", 1}, {"A.B", "*.*", 1}, {"ABC", "A*.*", 1}, {"XBC", "A*.*", 0},
        {"A.B.C", "*.*", 1},
        // "*.": the last component has no dot.
        {"README", "*.", 1}, {"DIR.X/FILE", "*.", 1}, {"DIR.X\\FILE", "*.", 1},
        {"C:FILE", "*.", 1}, {"A.B", "*.", 0}, {".PROFILE", "*.", 0}, {"DIR/A.B", "*.", 0},
        {"ABC", "A*.", 1}, {"XBC", "A*.", 0}, {"ABC.", "*.", 0},
        // Only those endings are special.
        {"A.B", "*.B", 1}, {"AB", "*.B", 0}, {"README", "?*.", 1}, {"A", ".", 0},
        {"A.", "A.", 1},
    };
    expectCases(cases, sizeof cases / sizeof cases[0]);
}

TEST(MatchFile, SeparatorsFitEachOther) {
    const Case cases[] = {
        {"A\\B", "A/B", 1}, {"A/B", "A\\B", 1}, {"A/B", "A/B", 1}, {"AXB", "A/B", 0},
        {"DIR/SUB/F.C", "DIR/*.C", 1}, {"DIR\\SUB\\F.C", "*\\F.C", 1}, {"A/B", "A?B", 1},
        {"DIR/F.C", "*/G.C", 0}, {"X/Y", "*\\Y", 1},
    };
    expectCases(cases, sizeof cases / sizeof cases[0]);
}

TEST(MatchFile, FoldsCaseOnCopies) {
    char name[] = "readme.txt";
    char pattern[] = "*.Txt";
    EXPECT_EQ(QzMatchFile(name, "*.TXT"), 1);
    EXPECT_EQ(QzMatchFile("README.TXT", pattern), 1);
    EXPECT_EQ(QzMatchFile(name, pattern), 1);
    EXPECT_STREQ(name, "readme.txt");
    EXPECT_STREQ(pattern, "*.Txt");
    // The core matcher itself does not fold.
    EXPECT_FALSE(qz::select::matchCore("readme", "README"));
    EXPECT_TRUE(qz::select::matchCore("README", "README"));
}

TEST(MatchFile, LongestNamesAndHardPatterns) {
    // 129 runs of "*A" and a B that never comes: every split of the name
    // is a candidate for the backtracking rules.
    const std::string name(259, 'A');
    std::string pattern;
    for (int i = 0; i < 129; ++i) pattern += "*A";
    pattern += "B";
    ASSERT_EQ(pattern.size(), 259u);
    EXPECT_EQ(QzMatchFile(name.c_str(), pattern.c_str()), 0);
    const std::string withB = std::string(258, 'A') + "B";
    EXPECT_EQ(QzMatchFile(withB.c_str(), pattern.c_str()), 1);

    std::string marks;  // runs ending in '?' take only the first fitting place
    for (int i = 0; i < 86; ++i) marks += "*?A";
    EXPECT_EQ(QzMatchFile(name.c_str(), (marks + "A").c_str()), 0);
    EXPECT_EQ(QzMatchFile(std::string(258, 'A').c_str(), marks.c_str()), 0);
    EXPECT_EQ(QzMatchFile(std::string(172, 'A').c_str(), marks.c_str()), 1);
}

TEST(MatchFile, InputsLongerThanABufferAreCut) {
    const std::string longName(1000, 'A');
    EXPECT_EQ(QzMatchFile(longName.c_str(), "*"), 1);
    EXPECT_EQ(QzMatchFile(longName.c_str(), "A*A"), 1);
    // Both sides are taken to 259 bytes, so the differing tails are not seen.
    const std::string a = std::string(259, 'A') + "X";
    const std::string b = std::string(259, 'A') + "Y";
    EXPECT_EQ(QzMatchFile(a.c_str(), b.c_str()), 1);
    EXPECT_EQ(QzMatchFile(a.c_str(), (std::string(258, 'A') + "B").c_str()), 0);
}

// ---- the core matcher against the backtracking rules ---------------------------

std::string randomString(std::mt19937 &rng, const char *alphabet, int maxLength) {
    const int n = static_cast<int>(rng() % (maxLength + 1));
    const size_t letters = std::char_traits<char>::length(alphabet);
    std::string s;
    for (int i = 0; i < n; ++i) s.push_back(alphabet[rng() % letters]);
    return s;
}

// Compares the two matchers on random names and patterns; returns the
// number of inputs that fit, so that a caller can see both answers occur.
int compareWithBacktracking(uint32_t seed, const char *nameLetters, const char *patternLetters,
                            int rounds) {
    std::mt19937 rng(seed);
    int fitting = 0;
    for (int i = 0; i < rounds; ++i) {
        const std::string name = randomString(rng, nameLetters, 9);
        const std::string pattern = randomString(rng, patternLetters, 8);
        const bool expected = backtrack::core(name.c_str(), pattern.c_str());
        const bool got = qz::select::matchCore(name.c_str(), pattern.c_str());
        if (expected != got) {
            ADD_FAILURE() << "name '" << name << "' pattern '" << pattern << "': expected "
                          << expected;
            return fitting;
        }
        fitting += expected;
    }
    return fitting;
}

TEST(MatchCore, AgreesWithBacktrackingOnRandomInputs) {
    const int rounds = 200000;
    const int fitting = compareWithBacktracking(20261206u, "AB./\\", "AB*?/\\.", rounds);
    EXPECT_GT(fitting, rounds / 50);
    EXPECT_LT(fitting, rounds - rounds / 50);
    // Wildcard-heavy patterns over a two-letter name alphabet.
    compareWithBacktracking(7u, "AB", "AB**??", rounds);
    // Names that hold wildcard characters themselves.
    compareWithBacktracking(99u, "A*?", "A*?", rounds / 4);
}

// ---- double-byte text (code page 932 of the POSIX layer) ---------------------------

#ifndef _WIN32
class DoubleByte : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(qzhost_set_codepage(932), 0); }
    void TearDown() override { qzhost_set_codepage(1252); }
};

TEST_F(DoubleByte, TrailBackslashIsNoSeparator) {
    // 0x81 0x5C is one character whose trail byte is '\'.
    EXPECT_EQ(QzMatchFile("\x81\\X", "*\\X"), 0);
    EXPECT_EQ(QzMatchFile("\x81\\X", "*X"), 1);
    EXPECT_EQ(QzMatchFile("\x81\\", "\x81/"), 1);  // same lead byte: fits
    EXPECT_EQ(QzMatchFile("D\\\x81\\", "D/?"), 1);
    EXPECT_EQ(QzMatchFile("D\\\x81\\", "D/??"), 0);
}

TEST_F(DoubleByte, TrailWildcardsAreNoWildcards) {
    EXPECT_EQ(QzMatchFile("\x81Z", "\x81*"), 1);     // one character each
    EXPECT_EQ(QzMatchFile("\x81ZZZ", "\x81*"), 0);   // pattern is one character
    EXPECT_EQ(QzMatchFile("\x81Z", "\x81?"), 1);
    EXPECT_EQ(QzMatchFile("\x81ZZ", "\x81?"), 0);
    EXPECT_EQ(QzMatchFile("\x82\xA0", "\x82\xA2"), 1);  // same lead byte
    EXPECT_EQ(QzMatchFile("\x82\xA0", "\x83\xA0"), 0);
    EXPECT_EQ(QzMatchFile("\x82\xA0\x82\xA2", "??"), 1);
    EXPECT_EQ(QzMatchFile("\x82\xA0\x82\xA2", "???"), 0);
}

TEST_F(DoubleByte, ExtensionFormsSeeCharacters) {
    // A trail '.' is no dot of the name.
    EXPECT_EQ(QzMatchFile("AB\x81.", "*."), 1);
    EXPECT_EQ(QzMatchFile("AB\x81.Z.C", "*."), 0);
    // "\x81*." ends with a double-byte character and '.', not with "*.".
    EXPECT_EQ(QzMatchFile("\x81Z.", "\x81*."), 1);
    EXPECT_EQ(QzMatchFile("\x81Z", "\x81*."), 0);
    // "\x81.*" ends with a double-byte character and '*', not with "*.*".
    EXPECT_EQ(QzMatchFile("\x81Q", "\x81.*"), 1);
    EXPECT_EQ(QzMatchFile("\x81QZZ", "\x81.*"), 1);
}

TEST_F(DoubleByte, SingleByteReadingDiffers) {
    // The same bytes under 1252 are two characters each.
    qzhost_set_codepage(1252);
    EXPECT_EQ(QzMatchFile("\x81\\X", "*\\X"), 1);
    EXPECT_EQ(QzMatchFile("\x81ZZZ", "\x81*"), 1);
}

TEST_F(DoubleByte, CoreAgreesWithBacktracking) {
    const int rounds = 100000;
    compareWithBacktracking(932u, "A\x81\\.*", "A\x81\\*?.", rounds);
    compareWithBacktracking(933u, "\x81\x82" "AB", "\x81\x82*?AB", rounds);
}
#endif

}  // namespace
