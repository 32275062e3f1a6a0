// The command-string parser: both dialects, every switch, conflicts, the
// password forms, the attribute lists and the parse place.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "frame/frame.h"
#include "qzunpack.h"

namespace {

const uint32_t kStrip = OPT_STRIP_H | OPT_STRIP_S | OPT_STRIP_R | OPT_STRIP_N;

struct Parsed {
    int16_t result;
    uint32_t flags;
    std::string password;
    int16_t place;
};

// Parses in the given dialect (0 standard, 1 compact) and puts the parse
// type back to the standard dialect.
Parsed parseAs(int type, const char *command, uint32_t preset = 0) {
    Qz4SetParseType(static_cast<int16_t>(type));
    char password[qz::frame::kPasswordBytes];
    memset(password, 'x', sizeof password);
    uint32_t flags = preset;
    const int16_t result = qz::frame::parse(command, &flags, password);
    Parsed out{result, flags, std::string(password, strnlen(password, sizeof password)),
               Qz4GetParsePlace()};
    Qz4SetParseType(0);
    return out;
}

Parsed standard(const char *command, uint32_t preset = 0) { return parseAs(0, command, preset); }
Parsed compact(const char *command, uint32_t preset = 0) { return parseAs(1, command, preset); }

void expectError(const Parsed &p, int16_t code, int16_t place) {
    EXPECT_EQ(p.result, code);
    EXPECT_EQ(p.place, place);
}

// ---- common frame ------------------------------------------------------------

TEST(ParseFrame, NullAndEmptyStrings) {
    for (const char *command : {static_cast<const char *>(nullptr), ""}) {
        Parsed p = standard(command);
        EXPECT_EQ(p.result, QZ_OK);
        EXPECT_EQ(p.flags, 0u);
        EXPECT_EQ(p.password, "");
        EXPECT_EQ(p.place, -1);
        p = compact(command);
        EXPECT_EQ(p.result, QZ_OK);
        EXPECT_EQ(p.flags, kStrip);
    }
}

TEST(ParseFrame, LengthLimit) {
    std::string command = "-d";
    command.resize(127, ' ');
    Parsed p = standard(command.c_str());
    EXPECT_EQ(p.result, QZ_OK);
    EXPECT_EQ(p.flags, OPT_DIRS);

    command.push_back(' ');  // 128 characters
    for (int type : {0, 1}) {
        p = parseAs(type, command.c_str());
        EXPECT_EQ(p.result, QZ_TOO_LONG);
        EXPECT_EQ(p.place, -1);
        EXPECT_EQ(p.flags & OPT_DIRS, 0u);
    }
    command.resize(4000, 'x');
    EXPECT_EQ(standard(command.c_str()).result, QZ_TOO_LONG);
}

TEST(ParseFrame, PlaceAndPasswordResetAtEveryParse) {
    expectError(standard("-x"), QZ_ERR_SWITCH, 2);
    Parsed p = standard("-s/secret/");
    EXPECT_EQ(p.place, -1);
    EXPECT_EQ(p.password, "secret");
    p = standard("-d");
    EXPECT_EQ(p.password, "");
    // A parse that is too long also starts by clearing the place.
    standard("-x");
    std::string longOne(200, 'a');
    EXPECT_EQ(standard(longOne.c_str()).place, -1);
}

TEST(ParseFrame, PresetBitsStayAndErrorsKeepWhatWasSet) {
    EXPECT_EQ(standard("-d", OPT_TEST).flags, OPT_TEST | OPT_DIRS);
    Parsed p = standard("-d -t -x");
    expectError(p, QZ_ERR_SWITCH, 8);
    EXPECT_EQ(p.flags, OPT_DIRS | OPT_TEST);
}

TEST(ParseFrame, BlanksIncludeControlAndHighBytes) {
    EXPECT_EQ(standard("\t-d\x01-o\xA0\xFF").flags, OPT_DIRS | OPT_OVERWRITE);
    EXPECT_EQ(standard(" \x7f").result, QZ_ERR_SWITCH);  // 127 is not a blank
}

TEST(ParseFrame, CallersStringIsNotChanged) {
    char command[] = "-don -sabc -JH";
    const std::string before = command;
    compact(command);
    EXPECT_EQ(before, command);
}

// ---- the switch letters, in both dialects --------------------------------------

struct SwitchCase {
    const char *command;
    uint32_t bits;
};

const SwitchCase kSwitches[] = {
    {"-$", OPT_LABEL},
    {"-.d", OPT_KEEP_DRIVE},
    {"/.L", OPT_LONG_NAMES},
    {"-.o", OPT_SKIP_LOCKED},
    {"-.v", OPT_VERSION_NEWER},
    {"-.VE", OPT_VERSION_SAME},
    {"-.ve", OPT_VERSION_SAME},
    {"-D", OPT_DIRS},
    {"-d", OPT_DIRS},
    {"-f", OPT_FRESHEN},
    {"-N", OPT_NEWER},
    {"-o", OPT_OVERWRITE},
    {"-O-", OPT_NO_OVERWRITE},
    {"-r-", OPT_KEEP_READONLY},
    {"-R+", OPT_CLEAR_READONLY},
    {"-r", 0},
    {"-t", OPT_TEST},
    {"-o -o-", OPT_NO_OVERWRITE},
    {"-o- -o", OPT_OVERWRITE},
    {"-r+ -r", 0},
    {"-r- -r+", OPT_CLEAR_READONLY},
    {"-r+ -r-", OPT_KEEP_READONLY},
    {"-n -o", OPT_NEWER},
    {"-f -o-", OPT_FRESHEN},
    {"-f -n", OPT_NEWER},
    {"-.v -.ve", OPT_VERSION_NEWER | OPT_VERSION_SAME},
};

TEST(ParseSwitches, EachSwitchInBothDialects) {
    for (const SwitchCase &c : kSwitches) {
        Parsed p = standard(c.command);
        EXPECT_EQ(p.result, QZ_OK) << c.command;
        EXPECT_EQ(p.flags, c.bits) << c.command;
        p = compact(c.command);
        EXPECT_EQ(p.result, QZ_OK) << c.command;
        EXPECT_EQ(p.flags, c.bits | kStrip) << c.command;
    }
}

TEST(ParseSwitches, ConflictsInBothDialects) {
    for (int type : {0, 1}) {
        Parsed p = parseAs(type, "-n -f");
        expectError(p, QZ_ERR_SWITCH_CONFLICT, 5);
        EXPECT_NE(p.flags & OPT_NEWER, 0u);
        expectError(parseAs(type, "-$ -$"), QZ_ERR_SWITCH_CONFLICT, 5);
        expectError(parseAs(type, "  /$/$"), QZ_ERR_SWITCH_CONFLICT, 6);
    }
}

TEST(ParseSwitches, UnknownLettersModifiersAndDanglingDashes) {
    for (int type : {0, 1}) {
        expectError(parseAs(type, "-x"), QZ_ERR_SWITCH, 2);
        expectError(parseAs(type, "  -x"), QZ_ERR_SWITCH, 4);
        expectError(parseAs(type, "d"), QZ_ERR_SWITCH, 1);
        expectError(parseAs(type, "-.x"), QZ_ERR_SWITCH, 2);
        expectError(parseAs(type, "-d -.q"), QZ_ERR_SWITCH, 5);
        expectError(parseAs(type, "-."), QZ_ERR_SWITCH, 2);
        expectError(parseAs(type, "-d -"), QZ_ERR_SWITCH, 5);
        expectError(parseAs(type, "-"), QZ_ERR_SWITCH, 2);
        expectError(parseAs(type, "-d /"), QZ_ERR_SWITCH, 5);
    }
}

// ---- standard dialect ------------------------------------------------------------

TEST(ParseStandard, EverySwitchNeedsItsOwnDash) {
    EXPECT_EQ(standard("-d -o").flags, OPT_DIRS | OPT_OVERWRITE);
    EXPECT_EQ(standard("-d/o").flags, OPT_DIRS | OPT_OVERWRITE);
    expectError(standard("-do"), QZ_ERR_SWITCH, 3);
    expectError(standard("-d o"), QZ_ERR_SWITCH, 4);
    expectError(standard("-o-x"), QZ_ERR_SWITCH, 4);
}

TEST(ParseStandard, AttributeListNamesWhatIsNotRestored) {
    EXPECT_EQ(standard("-jhr").flags, OPT_STRIP_H | OPT_STRIP_R);
    EXPECT_EQ(standard("-JhNrS").flags, kStrip);
    EXPECT_EQ(standard("-js -d").flags, OPT_STRIP_S | OPT_DIRS);
    expectError(standard("-j"), QZ_ERR_SWITCH, 2);
    expectError(standard("-j -d"), QZ_ERR_SWITCH, 2);
    expectError(standard("-jhx"), QZ_ERR_SWITCH, 3);
    // Only a space ends the list.
    expectError(standard("-jh\t-d"), QZ_ERR_SWITCH, 3);
}

TEST(ParseStandard, DelimitedPassword) {
    Parsed p = standard("-s/secret/");
    EXPECT_EQ(p.result, QZ_OK);
    EXPECT_EQ(p.password, "secret");
    EXPECT_EQ(p.flags, OPT_PASSWORD);

    EXPECT_EQ(standard("-S\"two words\" -d").password, "two words");
    EXPECT_EQ(standard("-s'say \"hi\"'").password, "say \"hi\"");
    EXPECT_EQ(standard("-s pass -d").password, "pass");  // a space delimits too
    p = standard("-sxabcx-d");
    EXPECT_EQ(p.password, "abc");
    EXPECT_EQ(p.flags, OPT_PASSWORD | OPT_DIRS);
}

TEST(ParseStandard, MalformedPasswords) {
    expectError(standard("-s"), QZ_ERR_SWITCH, 2);
    expectError(standard("-s//"), QZ_ERR_SWITCH, 3);
    expectError(standard("-s/abc"), QZ_ERR_SWITCH, 6);
    expectError(standard("-s/a/d"), QZ_ERR_SWITCH, 6);
    Parsed p = standard("-s/a/ -s/b/");
    expectError(p, QZ_ERR_SWITCH_CONFLICT, 8);
    EXPECT_EQ(p.password, "a");
}

// ---- compact dialect ---------------------------------------------------------------

TEST(ParseCompact, OnlyTheFirstSwitchNeedsADash) {
    const uint32_t expected = OPT_DIRS | OPT_NEWER | kStrip;
    EXPECT_EQ(compact("-don").flags, expected);
    EXPECT_EQ(compact("-d o n").flags, expected);
    EXPECT_EQ(compact("-d -o -n").flags, expected);
    EXPECT_EQ(compact("-o-d").flags, OPT_NO_OVERWRITE | OPT_DIRS | kStrip);
    expectError(compact("d"), QZ_ERR_SWITCH, 1);
    expectError(compact("  xd"), QZ_ERR_SWITCH, 3);
    expectError(compact("-dx"), QZ_ERR_SWITCH, 3);
    expectError(compact("-d o+"), QZ_ERR_SWITCH, 5);
}

TEST(ParseCompact, LetterCaseOfJAndT) {
    EXPECT_EQ(compact("-t").flags, OPT_TEST | kStrip);
    expectError(compact("-T"), QZ_ERR_SWITCH, 2);
    expectError(compact("-j"), QZ_ERR_SWITCH, 2);
    expectError(compact("-dT"), QZ_ERR_SWITCH, 3);
    // The standard dialect takes both cases.
    EXPECT_EQ(standard("-T").flags, OPT_TEST);
}

TEST(ParseCompact, AttributeListNamesWhatIsRestored) {
    EXPECT_EQ(compact("-JHR").flags, OPT_STRIP_S | OPT_STRIP_N);
    EXPECT_EQ(compact("-Jhnrs").flags, 0u);
    // The first other byte ends the list and starts the next switch.
    EXPECT_EQ(compact("-JHd").flags, OPT_STRIP_S | OPT_STRIP_R | OPT_STRIP_N | OPT_DIRS);
    expectError(compact("-J"), QZ_ERR_SWITCH, 2);
    expectError(compact("-J -d"), QZ_ERR_SWITCH, 2);
    EXPECT_EQ(compact("-JH -J").result, QZ_OK);
}

TEST(ParseCompact, Passwords) {
    Parsed p = compact("-sabc -d");
    EXPECT_EQ(p.result, QZ_OK);
    EXPECT_EQ(p.password, "abc");
    EXPECT_EQ(p.flags, OPT_PASSWORD | OPT_DIRS | kStrip);

    EXPECT_EQ(compact("-s\"a b\" -d").password, "a b");
    p = compact("-s\"ab\"d");
    EXPECT_EQ(p.password, "ab");
    EXPECT_NE(p.flags & OPT_DIRS, 0u);
    // An unquoted password runs to a blank, and may be empty.
    p = compact("-s -d");
    EXPECT_EQ(p.result, QZ_OK);
    EXPECT_EQ(p.password, "");
    EXPECT_EQ(p.flags, OPT_PASSWORD | OPT_DIRS | kStrip);
    EXPECT_EQ(compact("-sa/b-c").password, "a/b-c");
    p = compact("-spass\xE9" "d");  // 0xE9 is a blank
    EXPECT_EQ(p.password, "pass");
    EXPECT_NE(p.flags & OPT_DIRS, 0u);

    expectError(compact("-s"), QZ_ERR_SWITCH, 2);
    expectError(compact("-s\"\""), QZ_ERR_SWITCH, 3);
    expectError(compact("-s\"abc"), QZ_ERR_SWITCH, 6);
    expectError(compact("-sab -sc"), QZ_ERR_SWITCH_CONFLICT, 7);
    expectError(compact("-s -s"), QZ_ERR_SWITCH_CONFLICT, 5);
}

}  // namespace
