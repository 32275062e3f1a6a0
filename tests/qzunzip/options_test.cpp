// qzunzip's command line: which arguments are its own, which go to the
// library, what is the archive, the destination and the specifications, and
// which switches of the command string it acts on itself.
#include <gtest/gtest.h>

#include "options.h"

using namespace qzunzip;

namespace {

Options parse(std::vector<std::string> args)
{
    return parseArguments(args);
}

}  // namespace

TEST(Options, OwnOptionsAndLibrarySwitchesAreSeparated)
{
    Options o = parse({"-d", "-v", "-x", "*.bak", "-o-", "-s:pw:", "-q", "a.zip", "-z", "-X", "*.tmp", "--unsafe-paths"});
    EXPECT_EQ(o.switches, (std::vector<std::string>{"-d", "-o-", "-s:pw:"}));
    EXPECT_EQ(o.excludes, (std::vector<std::string>{"*.bak", "*.tmp"}));
    EXPECT_TRUE(o.list);
    EXPECT_TRUE(o.comment);
    EXPECT_TRUE(o.quiet);
    EXPECT_TRUE(o.unsafePaths);
    EXPECT_EQ(o.archive, "a.zip");
    EXPECT_TRUE(o.error.empty());
    EXPECT_EQ(commandString(o), "-d -o- -s:pw:");
}

TEST(Options, TheFirstArgumentEndingInASeparatorIsTheDestination)
{
    Options o = parse({"a.zip", "out/", "*.txt", "docs/"});
    EXPECT_EQ(o.destination, "out/");
    EXPECT_EQ(o.specs, (std::vector<std::string>{"*.txt", "docs/"}));

    o = parse({"a.zip", "*.txt", "out/"});
    EXPECT_EQ(o.destination, "");
    EXPECT_EQ(o.specs, (std::vector<std::string>{"*.txt", "out/"}));

    o = parse({"a.zip", "out\\"});
    EXPECT_EQ(o.destination, "out\\");
    EXPECT_TRUE(o.specs.empty());
}

TEST(Options, DoubleDashEndsTheSwitches)
{
    Options o = parse({"-d", "--", "-odd.zip", "-x"});
    EXPECT_EQ(o.switches, (std::vector<std::string>{"-d"}));
    EXPECT_EQ(o.archive, "-odd.zip");
    EXPECT_EQ(o.specs, (std::vector<std::string>{"-x"}));
}

TEST(Options, UsageErrors)
{
    EXPECT_EQ(parse({}).error, "no archive given");
    EXPECT_EQ(parse({"-d"}).error, "no archive given");
    EXPECT_EQ(parse({"a.zip", "-x"}).error, "-x needs a specification");
    EXPECT_EQ(parse({"--verbose", "a.zip"}).error, "unknown option --verbose");
    Options help = parse({"--help"});
    EXPECT_TRUE(help.help);
    EXPECT_TRUE(help.error.empty());
}

TEST(Options, TheSwitchesQzunzipActsOnAreFoundInTheCommandString)
{
    SwitchesSeen s = scanSwitches("-d -t -.d");
    EXPECT_TRUE(s.dirs);
    EXPECT_TRUE(s.test);
    EXPECT_TRUE(s.keepDrive);

    s = scanSwitches("-o -.v -.ve -jhr -r+ -$");
    EXPECT_FALSE(s.dirs || s.test || s.keepDrive);

    // Upper case and '/' starts; one argument may hold two switches.
    s = scanSwitches("/D/T");
    EXPECT_TRUE(s.dirs && s.test);

    // A password is no switch, whatever it holds.
    s = scanSwitches("-s:-d -t:");
    EXPECT_FALSE(s.dirs || s.test);
    s = scanSwitches("-s\"a -.d b\" -d");
    EXPECT_TRUE(s.dirs);
    EXPECT_FALSE(s.keepDrive);

    // Attribute letters run to the next blank.
    s = scanSwitches("-jd -o");
    EXPECT_FALSE(s.dirs);
}
