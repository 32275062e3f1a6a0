// Strings and code pages: the lstr* functions, CharUpperA by the 1252
// rules, the OEM/ANSI conversions and multibyte stepping.
#include "platform_test.h"

#include <cstring>
#include <string>

namespace {

TEST(Strings, CopyConcatenateAndMeasure) {
    char buf[16];
    EXPECT_EQ(lstrcpyA(buf, "abc"), buf);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(lstrcatA(buf, "def"), buf);
    EXPECT_STREQ(buf, "abcdef");
    EXPECT_EQ(lstrlenA(buf), 6);
    EXPECT_EQ(lstrlenA(nullptr), 0);

    std::memset(buf, 'x', sizeof buf);
    lstrcpynA(buf, "abcdef", 4);              // at most max - 1 characters, terminated
    EXPECT_STREQ(buf, "abc");
    lstrcpynA(buf, "ab", 10);
    EXPECT_STREQ(buf, "ab");
    lstrcpynA(buf, "zzz", 1);
    EXPECT_STREQ(buf, "");
}

TEST(Strings, CompareWithAndWithoutCase) {
    EXPECT_EQ(lstrcmpA("abc", "abc"), 0);
    EXPECT_LT(lstrcmpA("abc", "abd"), 0);
    EXPECT_GT(lstrcmpA("abd", "abc"), 0);
    EXPECT_LT(lstrcmpA("ab", "abc"), 0);
    EXPECT_NE(lstrcmpA("abc", "ABC"), 0);

    EXPECT_EQ(lstrcmpiA("abc", "ABC"), 0);
    EXPECT_EQ(lstrcmpiA("Readme.TXT", "README.txt"), 0);
    EXPECT_EQ(lstrcmpiA("\xE9t\xE9", "\xC9T\xC9"), 0);   // é and É
    EXPECT_LT(lstrcmpiA("abc", "ABD"), 0);
    EXPECT_GT(lstrcmpiA("ABD", "abc"), 0);
    EXPECT_LT(lstrcmpiA("ab", "ABC"), 0);
    EXPECT_NE(lstrcmpiA("e", "\xE9"), 0);                // a different letter, not a case
}

// The upper case of every byte: a-z, 0xE0-0xFE except 0xF7, and the four
// letters whose capitals sit elsewhere in the page.
TEST(Strings, CharUpperFollowsPage1252) {
    for (int c = 1; c < 256; ++c) {
        int want = c;
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) want = c - 32;
        if (c == 0x9A) want = 0x8A;
        if (c == 0x9C) want = 0x8C;
        if (c == 0x9E) want = 0x8E;
        if (c == 0xFF) want = 0x9F;
        char s[2] = {(char)c, 0};
        CharUpperA(s);
        EXPECT_EQ((unsigned char)s[0], want) << "byte " << c;
    }
    char text[] = "gr\xFC\xDF" "e \xB5 123";
    EXPECT_EQ(CharUpperA(text), text);
    EXPECT_STREQ(text, "GR\xDC\xDF" "E \xB5 123");       // ß and µ have no capital here
    // A pointer whose high bits are 0 is one character, not a string.
    EXPECT_EQ((uintptr_t)CharUpperA((LPSTR)(uintptr_t)'q'), (uintptr_t)'Q');
    EXPECT_EQ((uintptr_t)CharUpperA((LPSTR)(uintptr_t)0xE9), (uintptr_t)0xC9);
}

TEST(Strings, StepSingleByteCharacters) {
    const char *s = "a\xE9z";
    EXPECT_EQ(CharNextA(s), s + 1);
    EXPECT_EQ(CharNextA(s + 1), s + 2);
    EXPECT_EQ(CharNextA(s + 3), s + 3);                  // never past the terminator
    EXPECT_EQ(CharPrevA(s, s + 3), s + 2);
    EXPECT_EQ(CharPrevA(s, s + 1), s);
    EXPECT_EQ(CharPrevA(s, s), s);                       // never before the start
    EXPECT_FALSE(IsDBCSLeadByte(0x81));
    EXPECT_FALSE(IsDBCSLeadByte('a'));
}

// Every OEM byte whose character page 1252 has comes back unchanged, and so
// does every ANSI byte whose character page 437 has.
TEST(CodePages, RoundTripsWhereBothPagesHaveTheCharacter) {
    int oemBack = 0, ansiBack = 0;
    for (int c = 1; c < 256; ++c) {
        char s[2] = {(char)c, 0}, a[2], o[2];
        ASSERT_TRUE(OemToCharA(s, a));
        ASSERT_TRUE(CharToOemA(a, o));
        if ((unsigned char)o[0] == c) ++oemBack;
        ASSERT_TRUE(CharToOemA(s, o));
        ASSERT_TRUE(OemToCharA(o, a));
        if ((unsigned char)a[0] == c) ++ansiBack;
        if (c < 0x80) {
            EXPECT_EQ((unsigned char)a[0], c);
            EXPECT_EQ((unsigned char)o[0], c);
        }
    }
    // 127 ASCII bytes plus the characters the two pages share.
    EXPECT_EQ(oemBack, 127 + 55);
    EXPECT_EQ(ansiBack, 127 + 55);
}

TEST(CodePages, KnownCharacters) {
    struct { unsigned char oem, ansi; } pairs[] = {
        {0x81, 0xFC},   // ü
        {0x84, 0xE4},   // ä
        {0x8E, 0xC4},   // Ä
        {0x99, 0xD6},   // Ö
        {0xE1, 0xDF},   // ß
        {0xA4, 0xF1},   // ñ
        {0x9C, 0xA3},   // £
        {0xF8, 0xB0},   // °
    };
    for (auto p : pairs) {
        char o[2] = {(char)p.oem, 0}, a[2];
        OemToCharA(o, a);
        EXPECT_EQ((unsigned char)a[0], p.ansi) << std::hex << (int)p.oem;
        CharToOemA(a, o);
        EXPECT_EQ((unsigned char)o[0], p.oem) << std::hex << (int)p.ansi;
    }
    // Substitutes for what the other page lacks.
    char box[] = "\xC9\xCD\xBB\xBA";                     // ╔═╗║ in page 437
    OemToCharA(box, box);                                // in place
    EXPECT_STREQ(box, "+-+\xA6");
    char euro[] = "\x80\xC0";                            // € has no equivalent, À becomes A
    CharToOemA(euro, euro);
    EXPECT_STREQ(euro, "?A");
}

#if !defined(_WIN32)

class CodePage932 : public ::testing::Test {
protected:
    void SetUp() override { qzhost_reset(); ASSERT_EQ(qzhost_set_codepage(932), 0); }
    void TearDown() override { qzhost_reset(); }
};

TEST_F(CodePage932, LeadBytes) {
    for (int c = 0; c < 256; ++c) {
        bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        EXPECT_EQ(IsDBCSLeadByte((BYTE)c) != 0, lead) << c;
    }
    EXPECT_EQ(qzhost_set_codepage(850), -1);
}

TEST_F(CodePage932, StepsOverDoubleByteCharacters) {
    // "a", then 0x95 0x5C (a character whose trail byte is '\'), then "\b".
    const char s[] = "a\x95\x5C\\b";
    EXPECT_EQ(CharNextA(s), s + 1);
    EXPECT_EQ(CharNextA(s + 1), s + 3);
    EXPECT_EQ(CharNextA(s + 3), s + 4);
    EXPECT_EQ(CharPrevA(s, s + 3), s + 1);               // not onto the trail byte
    EXPECT_EQ(CharPrevA(s, s + 4), s + 3);
    EXPECT_EQ(CharPrevA(s, s + 5), s + 4);
    const char cut[] = "\x95";                           // a lead byte before the terminator
    EXPECT_EQ(CharNextA(cut), cut + 1);
}

TEST_F(CodePage932, ConversionsCopyAndUpperCaseSkipsTrailBytes) {
    char s[] = "ab\x82\x61z\xE9";
    char o[sizeof s];
    CharToOemA(s, o);
    EXPECT_STREQ(o, s);
    OemToCharA(s, o);
    EXPECT_STREQ(o, s);
    CharUpperA(s);
    EXPECT_STREQ(s, "AB\x82\x61Z\xE9");                  // trail 'a' kept, é not a letter here
    EXPECT_EQ(lstrcmpiA("x\x82\x61", "X\x82\x61"), 0);
    EXPECT_NE(lstrcmpiA("x\x82\x61", "X\x82\x41"), 0);
}

#endif

} // namespace
