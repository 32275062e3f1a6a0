// Specification lists: the folded comparisons, the tokenizer, the path
// split, the entry test and the selection test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qzunpack.h"
#include "select/select.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

namespace {

using namespace qz::select;

// ---- folded comparisons ------------------------------------------------------------

TEST(Folded, WholeStrings) {
    EXPECT_EQ(foldedCompare("docs/", "DOCS/"), 0);
    EXPECT_EQ(foldedCompare("", ""), 0);
    EXPECT_NE(foldedCompare("DOCS/", "DOCS/A/"), 0);
    EXPECT_NE(foldedCompare("A", "B"), 0);
    EXPECT_NE(foldedCompare("", "A"), 0);
    // OEM 0x81 and 0x9A are small and capital u-umlaut in code page 437.
    EXPECT_EQ(foldedCompare("\x81", "\x9A"), 0);
    EXPECT_NE(foldedCompare("\x81", "U"), 0);
}

TEST(Folded, Prefixes) {
    EXPECT_EQ(foldedPrefixCompare("docs/old/", "DOCS/", 5), 0);
    EXPECT_EQ(foldedPrefixCompare("anything", "else", 0), 0);
    EXPECT_NE(foldedPrefixCompare("DOC/", "DOCS/", 5), 0);
    EXPECT_NE(foldedPrefixCompare("DOCX/", "DOCS/", 5), 0);
    EXPECT_EQ(foldedPrefixCompare("ABC", "ABD", 2), 0);
    EXPECT_EQ(foldedPrefixCompare("AB", "AB", 10), 0);  // both end within n
    EXPECT_NE(foldedPrefixCompare("AB", "ABC", 10), 0);
    EXPECT_NE(foldedPrefixCompare("ABC", "AB", 10), 0);
}

#ifndef _WIN32
TEST(Folded, CopiesThatCannotBeAllocatedCountAsEqual) {
    qzhost_fail_alloc(1, 0);
    EXPECT_EQ(foldedCompare("A", "B"), 0);
    qzhost_fail_alloc(2, 0);
    EXPECT_EQ(foldedPrefixCompare("A", "B", 1), 0);
    qzhost_clear_faults();
    EXPECT_NE(foldedCompare("A", "B"), 0);
}

TEST(Folded, LeaveNoBlocksBehind) {
    qzhost_reset_counters();
    foldedCompare("DOCS/", "docs/");
    foldedPrefixCompare("DOCS/", "docs/", 5);
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.allocations, 4u);
    EXPECT_EQ(c.blocks, 0);
}

TEST(Folded, DoubleBytePrefixComparesWholeCharacters) {
    ASSERT_EQ(qzhost_set_codepage(932), 0);
    // The first byte of each is the same lead byte; the trail bytes differ.
    EXPECT_NE(foldedPrefixCompare("\x82\xA0X", "\x82\xA2X", 1), 0);
    EXPECT_EQ(foldedPrefixCompare("\x82\xA0X", "\x82\xA0Y", 2), 0);
    // Trail bytes are not folded: 0x61 ('a') as a trail stays.
    EXPECT_NE(foldedCompare("\x81" "a", "\x81" "A"), 0);
    qzhost_set_codepage(1252);
}
#endif

// ---- tokenizer ---------------------------------------------------------------------

std::vector<std::string> tokens(const char *list) {
    std::string copy = list;
    std::vector<std::string> out;
    char *cursor = &copy[0];
    for (char *t; (t = nextSpec(&cursor)) != nullptr;) out.push_back(t);
    return out;
}

using Tokens = std::vector<std::string>;

TEST(Tokenizer, BlankSeparatedAndQuoted) {
    EXPECT_EQ(tokens("*.TXT README"), (Tokens{"*.TXT", "README"}));
    EXPECT_EQ(tokens(" \t *.TXT\r\n\x01README \t"), (Tokens{"*.TXT", "README"}));
    EXPECT_EQ(tokens("\"MY FILE.TXT\""), (Tokens{"MY FILE.TXT"}));
    EXPECT_EQ(tokens("MY FILE.TXT"), (Tokens{"MY", "FILE.TXT"}));
    EXPECT_EQ(tokens("A\"B C"), (Tokens{"A\"B", "C"}));  // a quote inside is a character
    EXPECT_EQ(tokens("\"A B"), (Tokens{"A B"}));         // never closed: the rest
    EXPECT_EQ(tokens("\"\" X"), (Tokens{"", "X"}));      // an empty specification
    EXPECT_EQ(tokens("\"A\"B"), (Tokens{"A", "B"}));
    EXPECT_EQ(tokens(""), Tokens{});
    EXPECT_EQ(tokens(" \t\x1f "), Tokens{});
}

TEST(Tokenizer, EndsAndNullCursors) {
    std::string copy = "A";
    char *cursor = &copy[0];
    EXPECT_STREQ(nextSpec(&cursor), "A");
    EXPECT_EQ(nextSpec(&cursor), nullptr);
    EXPECT_EQ(nextSpec(&cursor), nullptr);
    char *none = nullptr;
    EXPECT_EQ(nextSpec(&none), nullptr);
    EXPECT_EQ(nextSpec(nullptr), nullptr);
}

// ---- path split --------------------------------------------------------------------

struct Split {
    std::string drive, dir, base, ext;
};

Split split(const char *path) {
    char d[kNameBytes], p[kNameBytes], b[kNameBytes], e[kNameBytes];
    splitPath(path, d, p, b, e);
    return {d, p, b, e};
}

void expectSplit(const char *path, const char *drive, const char *dir, const char *base,
                 const char *ext) {
    const Split s = split(path);
    EXPECT_EQ(s.drive, drive) << path;
    EXPECT_EQ(s.dir, dir) << path;
    EXPECT_EQ(s.base, base) << path;
    EXPECT_EQ(s.ext, ext) << path;
}

TEST(SplitPath, DrivesDirectoriesAndExtensions) {
    expectSplit("C:\\DIR\\F.TXT", "C:", "\\DIR\\", "F", ".TXT");
    expectSplit("DOCS/A.TXT", "", "DOCS/", "A", ".TXT");
    expectSplit("A.B.C", "", "", "A.B", ".C");
    expectSplit("DIR.X/FILE", "", "DIR.X/", "FILE", "");
    expectSplit(".PROFILE", "", "", "", ".PROFILE");
    expectSplit("DOCS/", "", "DOCS/", "", "");
    expectSplit("C:", "C:", "", "", "");
    expectSplit("C:NAME", "C:", "", "NAME", "");
    expectSplit("", "", "", "", "");
    expectSplit("A/B\\C/D", "", "A/B\\C/", "D", "");
}

TEST(SplitPath, UncPaths) {
    expectSplit("\\\\SRV\\SHARE\\DIR\\F.TXT", "\\\\SRV\\SHARE", "\\DIR\\", "F", ".TXT");
    expectSplit("//SRV/SHARE/F", "//SRV/SHARE", "/", "F", "");
    expectSplit("\\\\SRV\\SHARE", "\\\\SRV\\SHARE", "", "", "");
    expectSplit("\\\\SRV", "\\\\SRV", "", "", "");
    expectSplit("\\\\SRV\\", "\\\\SRV\\", "", "", "");
}

TEST(SplitPath, ThreePartsAndOmittedOutputs) {
    char dir[kNameBytes], name[kNameBytes];
    splitPath("X:\\A\\B.C", nullptr, dir, name);
    EXPECT_STREQ(dir, "\\A\\");
    EXPECT_STREQ(name, "B.C");
    splitPath("B.C", nullptr, nullptr, nullptr, nullptr);  // nothing asked for
    splitPath(nullptr, nullptr, dir, name);
    EXPECT_STREQ(dir, "");
    EXPECT_STREQ(name, "");
}

TEST(SplitPath, PartsAreCutTo255Bytes) {
    const std::string dir = std::string(256, 'D') + "/";
    const Split s = split((dir + "N.E").c_str());
    EXPECT_EQ(s.dir, std::string(255, 'D'));
    // The whole input is taken to 259 bytes: 257 of directory leave "N.".
    EXPECT_EQ(s.base, "N");
    EXPECT_EQ(s.ext, ".");
    const Split t = split(std::string(600, 'B').c_str());
    EXPECT_EQ(t.base, std::string(255, 'B'));
}

#ifndef _WIN32
TEST(SplitPath, TrailBackslashDoesNotEndTheDirectory) {
    ASSERT_EQ(qzhost_set_codepage(932), 0);
    // "D\" then 0x95 0x5C (a character whose trail byte is '\') and ".TXT".
    expectSplit("D\\\x95\\.TXT", "", "D\\", "\x95\\", ".TXT");
    // A lead byte in front of ':' is no drive letter.
    expectSplit("\x81:X", "", "", "\x81:X", "");
    // A cut never separates a lead byte from its trail byte.
    const std::string dbcs = "\x81\x41";
    std::string path = "AB";
    for (int i = 0; i < 127; ++i) path += dbcs;  // 256 bytes
    path += "/";
    EXPECT_EQ(split(path.c_str()).dir, path.substr(0, 254));
    // A name of lead bytes whose 259th byte is a lead byte: the parts, and
    // the name joined from base and extension, stay within their buffers.
    std::string leads = std::string(199, 'B') + "." + std::string(300, '\x87');
    const Split l = split(leads.c_str());
    EXPECT_EQ(l.base.size() + l.ext.size(), 258u);
    char dir[260], name[260];
    name[259] = 'x';
    splitPath(leads.c_str(), nullptr, dir, name);
    EXPECT_EQ(std::string(name), l.base + l.ext);
    qzhost_set_codepage(1252);
    expectSplit("D\\\x95\\.TXT", "", "D\\\x95\\", "", ".TXT");
}
#endif

// ---- entry test --------------------------------------------------------------------

TEST(EntryTest, DirectoriesAndNames) {
    EXPECT_EQ(entryTest("DOCS/", "A.TXT", "DOCS/", "*.TXT", 0), 1);
    EXPECT_EQ(entryTest("DOCS/", "A.TXT", "docs\\", "*.txt", 0), 1);
    EXPECT_EQ(entryTest("DOCS\\", "A.TXT", "DOCS/", "A.TXT", 0), 1);
    EXPECT_EQ(entryTest("DOCS/OLD/", "A.TXT", "DOCS/", "*.TXT", 0), 0);
    EXPECT_EQ(entryTest("DOCS/OLD/", "A.TXT", "DOCS/", "*.TXT", 1), 1);
    EXPECT_EQ(entryTest("DOCS/OLD/", "A.TXT", "DOCS/", "A.TXT", 1), 0);  // no wildcard
    EXPECT_EQ(entryTest("DOCS/OLD/", "A.TXT", "", "?.TXT", 1), 1);
    EXPECT_EQ(entryTest(nullptr, "A.TXT", nullptr, "A.TXT", 0), 1);
    EXPECT_EQ(entryTest("", "A.TXT", "DOCS/", "*", 1), 0);
    EXPECT_EQ(entryTest("DOCS/", "A.TXT", "DOCS/", "*.BAK", 1), 0);
}

// ---- selection test ----------------------------------------------------------------

int16_t selected(const char *dir, const char *name, const char *include,
                 const char *exclude = nullptr) {
    return selectionTest(dir, name, include, exclude, 1);
}

TEST(Selection, IncludeLists) {
    const char *list = "*.TXT README";
    EXPECT_EQ(selected("", "A.TXT", list), 1);
    EXPECT_EQ(selected("DOCS/", "B.TXT", list), 1);
    EXPECT_EQ(selected("", "README", list), 1);
    EXPECT_EQ(selected("DOCS/", "README", list), 0);
    EXPECT_EQ(selected("", "A.BAK", list), 0);

    EXPECT_EQ(selected("DOCS/", "A.TXT", "DOCS/*.TXT"), 1);
    EXPECT_EQ(selected("DOCS/OLD/", "B.TXT", "DOCS/*.TXT"), 1);
    EXPECT_EQ(selected("", "A.TXT", "DOCS/*.TXT"), 0);
    EXPECT_EQ(selected("DOCS/", "A.TXT", "DOCS\\A.TXT"), 1);
    EXPECT_EQ(selected("DOCS/", "A.TXT", "docs/*.txt"), 1);
    // Only a directory: the pattern "*", reaching below with recursion.
    EXPECT_EQ(selected("DOCS/", "X", "DOCS/"), 1);
    EXPECT_EQ(selected("DOCS/SUB/", "X.Y", "DOCS/"), 1);
    EXPECT_EQ(selected("", "X", "DOCS/"), 0);
    // Without recursion the directory must be the same.
    EXPECT_EQ(selectionTest("DOCS/SUB/", "X.Y", "DOCS/", nullptr, 0), 0);
}

TEST(Selection, EmptyAndBlankLists) {
    EXPECT_EQ(selected("", "A", nullptr), 0);
    EXPECT_EQ(selected("", "A", ""), 0);
    EXPECT_EQ(selected("", "A", " \t "), 0);
    EXPECT_EQ(selected("", "A", "*.*", " \t "), 1);
    EXPECT_EQ(selected("", "A", "*.*", ""), 1);
    // An empty quoted specification is "*" in the top level and below.
    EXPECT_EQ(selected("", "A", "\"\""), 1);
    EXPECT_EQ(selected("D/", "A", "\"\""), 1);
}

TEST(Selection, QuotedSpecifications) {
    EXPECT_EQ(selected("", "MY FILE.TXT", "\"MY FILE.TXT\""), 1);
    EXPECT_EQ(selected("", "MY FILE.TXT", "MY FILE.TXT"), 0);
    EXPECT_EQ(selected("", "FILE.TXT", "MY FILE.TXT"), 1);
    EXPECT_EQ(selected("", "A B C", "X \"A B C"), 1);
    EXPECT_EQ(selected("", "A", " \t A \t "), 1);
}

TEST(Selection, ExcludeLists) {
    EXPECT_EQ(selected("", "X.BAK", "*.*", "*.BAK"), 0);
    EXPECT_EQ(selected("DOCS/OLD/", "X.BAK", "*.*", "*.BAK"), 0);
    EXPECT_EQ(selected("DOCS/", "X.TXT", "*.*", "*.BAK"), 1);
    EXPECT_EQ(selected("DOCS/", "X.TXT", "*.*", "DOCS/X.TXT"), 0);
    EXPECT_EQ(selected("", "X.TXT", "*.*", "DOCS/X.TXT"), 1);
    // By name in every directory, also without a wildcard.
    EXPECT_EQ(selected("A/B/", "README", "*", "README"), 0);
    EXPECT_EQ(selected("A/", "X", "*", "Q \"X\""), 0);
    EXPECT_EQ(selected("OTHER/", "X.TXT", "*", "DOCS/*.TXT"), 1);
}

TEST(Selection, SpecificationsAreConvertedToOem) {
    // ANSI 0xFC (u-umlaut) is OEM 0x81; entry names arrive in OEM.
    EXPECT_EQ(selected("", "\x81.TXT", "\xFC.TXT"), 1);
    EXPECT_EQ(selected("\x81/", "A", "\xFC/*"), 1);
}

#ifndef _WIN32
TEST(Selection, FailedAllocationsSelectNothing) {
    qzhost_fail_alloc(1, 0);
    EXPECT_EQ(selected("", "A", "*"), 0);
    // The include list selected the entry; the exclude copy fails.  The
    // include copy and the folded copies of its directory test come first.
    qzhost_reset_counters();
    EXPECT_EQ(selected("", "A", "*", "Q"), 1);
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.blocks, 0);
    bool sawFailure = false;
    for (unsigned long nth = 1; nth <= c.allocations; ++nth) {
        qzhost_reset_counters();
        qzhost_fail_alloc(nth, 0);
        const int16_t answer = selected("", "A", "*", "Q");
        qzhost_clear_faults();
        qzhost_get_counters(&c);
        EXPECT_EQ(c.blocks, 0) << nth;
        if (answer == 0) sawFailure = true;
    }
    EXPECT_TRUE(sawFailure);
}
#endif

}  // namespace
