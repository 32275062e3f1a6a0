// qzunzip end to end, in process: archives built for the purpose, the
// command line as the user types it, the text and the exit status the user
// gets.  Each exit status is reached by the case it stands for.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "qzunpack.h"
#include "entries.h"
#include "run.h"
#include "support/archive_builder.h"
#include "support/archive_helpers.h"
#include "support/temp_dir.h"
#ifndef _WIN32
#include "platform/host.h"
#include "support/removable_drive.h"
#endif

using namespace qztest;
using qzunzip::runQzunzip;

namespace {

struct Result {
    int status;
    std::string out, err;
};

Entry unixEntry(const std::string &name, const std::string &data = "", uint16_t method = 0)
{
    Entry e(name, data, method);
    e.host = 3;
    e.externalAttributes = name.back() == '/' ? 0x41ED0010u : 0x81A40000u;
    return e;
}

std::string text(size_t n)
{
    std::string s;
    for (unsigned i = 0; s.size() < n; ++i)
        s += "line " + std::to_string(i * 7919u % 1000u) + " of the test text\n";
    s.resize(n);
    return s;
}

class Qzunzip : public ::testing::Test {
protected:
    TempDir dir;
    bool tty = false;                  // questions can be asked
    bool bar = false;                  // progress bar
    std::deque<std::string> typed;     // what the user types, line by line
    // Runs before a line is read, with what was written to stderr so far.
    std::function<void(const std::string &)> onPrompt;

    std::string archive(const std::vector<Entry> &entries, const ZipOptions &options = {})
    {
        return put(dir, "a.zip", buildZip(entries, options));
    }
    // '/' serves as the separator on Windows too.
    std::string dest() const { return dir.file("out") + "/"; }
    std::string outFile(const std::string &rel) const { return dir.file("out") + "/" + rel; }
    bool exists(const std::string &rel) const { return !readFile(outFile(rel)).empty() || Qz4DirExist(outFile(rel).c_str()); }

    Result run(const std::vector<std::string> &args)
    {
        std::ostringstream out, err;
        qzunzip::Terminal t;
        t.out = &out;
        t.err = &err;
        t.progressBar = bar;
        if (tty)
            t.readLine = [&](std::string *line) {
                if (onPrompt)
                    onPrompt(err.str());
                if (typed.empty())
                    return false;
                *line = typed.front();
                typed.pop_front();
                return true;
            };
        t.interrupted = [] { return false; };
        int status = runQzunzip(qzunzip::parseArguments(args), t);
        return {status, out.str(), err.str()};
    }
};

}  // namespace

TEST_F(Qzunzip, UnixArchivesExtractWithTheirEmptyDirectories)
{
    std::string big = text(200000);
    std::string a = archive({unixEntry("top/"), unixEntry("top/docs/"), unixEntry("top/docs/a.txt", big, 8),
                             unixEntry("top/empty/"), unixEntry("top/z.bin", "")});
    Result r = run({"-d", a, dest()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(outFile("top/docs/a.txt")), big);
    EXPECT_TRUE(Qz4DirExist(outFile("top/empty").c_str()));
    EXPECT_TRUE(Qz4DirExist(outFile("top/docs").c_str()));
    EXPECT_NE(r.out.find(" extracting: "), std::string::npos);
    EXPECT_NE(r.out.find("   creating: "), std::string::npos);

    // Without -d the files go to the destination itself, which qzunzip
    // makes, and directory entries are passed over.
    Result flat = run({"-q", a, dir.file("flat") + "/"});
    EXPECT_EQ(flat.status, 0) << flat.err;
    EXPECT_EQ(flat.out, "");
    EXPECT_EQ(readFile(dir.file("flat") + "/a.txt"), big);
    EXPECT_FALSE(Qz4DirExist((dir.file("flat") + "/empty").c_str()));

    Result test = run({"-t", a});
    EXPECT_EQ(test.status, 0) << test.err;
    EXPECT_NE(test.out.find("No errors detected in"), std::string::npos);

    // An archive of directories alone is done with -d (and -t), and has
    // nothing to do without them.
    std::string dirs = archive({unixEntry("only/"), unixEntry("only/sub/")});
    EXPECT_EQ(run({"-d", dirs, dest()}).status, 0);
    EXPECT_TRUE(Qz4DirExist(outFile("only/sub").c_str()));
    EXPECT_EQ(run({"-t", dirs}).status, 0);
    Result none = run({dirs, dest()});
    EXPECT_EQ(none.status, qzunzip::kExitSkipped);
    EXPECT_NE(none.err.find("no entry selected (-7 no more entries)"), std::string::npos);
}

TEST_F(Qzunzip, SpecificationsAndExclusions)
{
    std::string a = archive({Entry("a.txt", "a"), Entry("b.log", "b"), Entry("docs/c.txt", "c"),
                             Entry("docs/old/d.txt", "d"), unixEntry("docs/keep/")});
    EXPECT_EQ(run({"-d", "-q", a, dest(), "docs/", "b.log", "-x", "docs/old/*"}).status, 0);
    EXPECT_FALSE(exists("a.txt"));
    EXPECT_TRUE(exists("b.log"));
    EXPECT_TRUE(exists("docs/c.txt"));
    EXPECT_FALSE(exists("docs/old/d.txt"));
    EXPECT_TRUE(Qz4DirExist(outFile("docs/keep").c_str()));

    EXPECT_EQ(run({"-d", "-q", a, dest(), "*.txt", "-x", "docs/keep/"}).status, 0);
    EXPECT_TRUE(exists("a.txt"));
    EXPECT_TRUE(exists("docs/old/d.txt"));
}

TEST_F(Qzunzip, ListingAndComment)
{
    Entry secret("docs/s.txt", text(5000), 8);
    secret.password = "pw";
    std::string a = archive({Entry("a.txt", text(3000), 8), secret, unixEntry("docs/")}, {"The comment.\n"});
    Result r = run({"-v", a});
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> l;
    for (std::string s; std::getline(lines, s);)
        l.push_back(s);
    ASSERT_EQ(l.size(), 7u) << r.out;
    EXPECT_NE(l[0].find("Size"), std::string::npos);
    EXPECT_NE(l[2].find(" 3000 "), std::string::npos) << l[2];
    EXPECT_NE(l[2].find("% Defl:N   2025-04-15 13:33 "), std::string::npos) << l[2];
    EXPECT_NE(l[2].find(" -----a a.txt"), std::string::npos) << l[2];
    EXPECT_NE(l[3].find("Defl:N*"), std::string::npos) << l[3];
    EXPECT_NE(l[4].find("   0% Stored "), std::string::npos) << l[4];
    EXPECT_NE(l[4].find(" ------ docs/"), std::string::npos) << l[4];
    EXPECT_NE(l[6].find("     8000 "), std::string::npos) << l[6];
    EXPECT_NE(l[6].find("3 entries"), std::string::npos) << l[6];

    Result some = run({"-v", a, "docs/*"});
    EXPECT_NE(some.out.find("2 entries"), std::string::npos) << some.out;

    Result c = run({"-z", a});
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.out, "The comment.\n");
}

TEST_F(Qzunzip, SkippedEntriesGiveStatus1WithTheProblemNamed)
{
    Entry bad("bad.txt", "damaged content");
    bad.overrideCrc = true;
    bad.crc = 0x12345678;
    Entry locked("locked.txt", "secret", 8);
    locked.password = "right";
    std::string a = archive({Entry("good.txt", "fine"), bad, locked});

    Result r = run({"-s:wrong:", a, dest()});
    EXPECT_EQ(r.status, qzunzip::kExitSkipped);
    EXPECT_NE(r.err.find("bad.txt: CRC mismatch, the file may be damaged (-25)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("locked.txt: wrong password, skipped (-24)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("some entries were skipped (-8 done, but entries were skipped; last problem: -25 CRC mismatch)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(outFile("good.txt")), "fine");
    EXPECT_FALSE(exists("locked.txt"));

    EXPECT_EQ(run({"-o", "-s:right:", a, dest(), "locked.txt"}).status, 0);
    EXPECT_EQ(readFile(outFile("locked.txt")), "secret");

    // An unknown method is passed over after its message; the library
    // records no problem, qzunzip still reports the entry as skipped.
    std::string odd = archive({Entry("lzma.bin", "xxxx", 14), Entry("ok.txt", "ok")});
    Result m = run({"-o", odd, dest()});
    EXPECT_EQ(m.status, qzunzip::kExitSkipped);
    EXPECT_NE(m.err.find("lzma.bin: unknown compression method, skipped (-3)"), std::string::npos) << m.err;
    EXPECT_NE(m.err.find("1 entry left out or skipped"), std::string::npos) << m.err;

    // Access denied: a directory stands where the file should go.
    std::string d = archive({Entry("taken", "x")});
    ASSERT_TRUE(qzunzip::makeDirectory(dest(), "taken/"));
    Result denied = run({"-o", d, dest()});
    EXPECT_EQ(denied.status, qzunzip::kExitSkipped);
    EXPECT_NE(denied.err.find("taken: access denied, skipped (105)"), std::string::npos) << denied.err;
    EXPECT_NE(denied.err.find("last problem: 105 file access failed"), std::string::npos) << denied.err;
}

TEST_F(Qzunzip, NamesThatLeaveTheDestinationAreLeftOut)
{
    std::string a = archive({Entry("../evil.txt", "evil"), Entry("fine.txt", "fine"), Entry("x/../../up.txt", "up")});
    Result r = run({"-d", a, dest()});
    EXPECT_EQ(r.status, qzunzip::kExitSkipped);
    EXPECT_NE(r.err.find("../evil.txt: the name leaves the destination, left out"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("x/../../up.txt: the name leaves the destination"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("2 entries left out or skipped"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(outFile("fine.txt")), "fine");
    EXPECT_EQ(readFile(dir.file("evil.txt")), "");

    // Testing writes nothing, so nothing is left out.
    EXPECT_EQ(run({"-t", a}).status, 0);

    Result unsafe = run({"-d", "-o", "--unsafe-paths", a, dest()});
    EXPECT_EQ(unsafe.status, 0) << unsafe.err;
    EXPECT_EQ(readFile(dir.file("evil.txt")), "evil");
    EXPECT_EQ(readFile(dir.file("up.txt")), "up");
}

TEST_F(Qzunzip, UnreadableArchivesGiveStatus2)
{
    Result missing = run({dir.file("missing.zip"), dest()});
    EXPECT_EQ(missing.status, qzunzip::kExitArchive);
    EXPECT_NE(missing.err.find("cannot open the archive (102 archive name missing or not found)"), std::string::npos)
        << missing.err;

    put(dir, "junk.zip", std::string(300, 'j'));
    Result junk = run({dir.file("junk.zip"), dest()});
    EXPECT_EQ(junk.status, qzunzip::kExitArchive);
    EXPECT_NE(junk.err.find("cannot open the archive (-1 "), std::string::npos) << junk.err;

    // An end record that points at no directory.
    std::string zip = buildZip({Entry("a.txt", "a")});
    std::string damaged = zip.substr(0, zip.size() - 22) + endRecord(0, 0, 1, 1, 46 + 5, 7, "");
    Result broken = run({put(dir, "broken.zip", damaged), dest()});
    EXPECT_EQ(broken.status, qzunzip::kExitArchive) << broken.err;

    // An imploded entry ends the run: the library cannot decode it.
    Result imploded = run({archive({Entry("old.bin", "xxxx", 6)}), dest()});
    EXPECT_EQ(imploded.status, qzunzip::kExitArchive) << imploded.err;
    EXPECT_NE(imploded.err.find("extraction stopped (-3 unknown or unsupported compression method)"), std::string::npos)
        << imploded.err;
}

TEST_F(Qzunzip, BadSwitchesGiveStatus3WithThePlaceShown)
{
    std::string a = archive({Entry("a.txt", "a")});
    Result r = run({"-d", "-k", a, dest()});
    EXPECT_EQ(r.status, qzunzip::kExitSwitches);
    EXPECT_EQ(r.err, "qzunzip: bad switches (-9 invalid switch in the command string)\n  -d -k\n       ^\n");
    EXPECT_FALSE(exists("a.txt"));

    Result twice = run({"-$", "-$", a, dest()});
    EXPECT_EQ(twice.status, qzunzip::kExitSwitches);
    EXPECT_NE(twice.err.find("(-20 conflicting or repeated switch)\n  -$ -$\n       ^\n"), std::string::npos) << twice.err;

    Result longer = run({"-s:" + std::string(130, 'p') + ":", a, dest()});
    EXPECT_EQ(longer.status, qzunzip::kExitSwitches);
    EXPECT_NE(longer.err.find("(-18 too long)"), std::string::npos) << longer.err;

    Result usage = run({"-x"});
    EXPECT_EQ(usage.status, qzunzip::kExitSwitches);
    EXPECT_NE(usage.err.find("-x needs a specification"), std::string::npos);

    Result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: qzunzip"), std::string::npos);
}

TEST_F(Qzunzip, OverwriteQuestionsOnTheTerminal)
{
    std::string a = archive({Entry("1.txt", "new1"), Entry("2.txt", "new2"), Entry("3.txt", "new3")});
    ASSERT_EQ(run({"-q", a, dest()}).status, 0);
    for (const char *n : {"1.txt", "2.txt", "3.txt"})
        writeFile(outFile(n), "old");

    // No terminal: existing files are kept.
    Result kept = run({a, dest()});
    EXPECT_EQ(kept.status, 0);
    EXPECT_NE(kept.out.find("(not replaced)"), std::string::npos);
    EXPECT_EQ(readFile(outFile("1.txt")), "old");

    tty = true;
    typed = {"n", "y", "n"};
    EXPECT_EQ(run({a, dest()}).status, 0);
    EXPECT_EQ(readFile(outFile("1.txt")), "old");
    EXPECT_EQ(readFile(outFile("2.txt")), "new2");
    EXPECT_EQ(readFile(outFile("3.txt")), "old");

    // A for all: the remaining files are replaced without a question.
    writeFile(outFile("2.txt"), "old");
    typed = {"n", "A"};
    EXPECT_EQ(run({a, dest()}).status, 0);
    EXPECT_EQ(readFile(outFile("1.txt")), "old");
    EXPECT_EQ(readFile(outFile("2.txt")), "new2");
    EXPECT_EQ(readFile(outFile("3.txt")), "new3");
    EXPECT_TRUE(typed.empty());
}

TEST_F(Qzunzip, QuittingAtAQuestionGivesStatus4)
{
    std::string a = archive({Entry("1.txt", "new1"), Entry("2.txt", "new2")});
    ASSERT_EQ(run({"-q", a, dest()}).status, 0);
    writeFile(outFile("1.txt"), "old");
    writeFile(outFile("2.txt"), "old");
    tty = true;
    typed = {"q"};
    Result r = run({a, dest()});
    EXPECT_EQ(r.status, qzunzip::kExitCancelled);
    EXPECT_NE(r.err.find("cancelled (-4 cancelled)"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(outFile("2.txt")), "old");

    // Ctrl-C calls Qz4Cancel; the library stops at its next block of work.
    tty = false;
    Qz4Cancel();
    EXPECT_EQ(run({"-o", a, dest()}).status, qzunzip::kExitCancelled);
    EXPECT_EQ(run({"-o", a, dest()}).status, 0);
}

TEST_F(Qzunzip, SystemFailuresGiveStatus5)
{
    std::string a = archive({Entry("docs/a.txt", "a")});
    writeFile(dir.file("file"), "in the way");
    Result dest = run({a, dir.file("file") + "/sub/"});
    EXPECT_EQ(dest.status, qzunzip::kExitSystem);
    EXPECT_NE(dest.err.find("the destination cannot be created"), std::string::npos) << dest.err;

    // A file where the library wants a directory: 103 ends the run.
    ASSERT_TRUE(qzunzip::makeDirectory(this->dest(), ""));
    writeFile(outFile("docs"), "a file");
    Result mkdir = run({"-d", a, this->dest()});
    EXPECT_EQ(mkdir.status, qzunzip::kExitSystem);
    EXPECT_NE(mkdir.err.find("(103 directory could not be created)"), std::string::npos) << mkdir.err;
}

TEST_F(Qzunzip, ProgressBarOnATerminal)
{
    std::string big = text(300000);
    std::string a = archive({Entry("big.txt", big, 8)});
    bar = true;
    Result r = run({a, dest()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\r extracting: "), std::string::npos);
    EXPECT_NE(r.out.find("[####################] 100%  300 KB / 300 KB\n"), std::string::npos) << r.out;
}

#ifndef _WIN32
// A set spanned over three disks in the simulated removable drive A:.  The
// user inserts the disk asked for and presses Enter.
TEST_F(Qzunzip, DiskPromptsWaitForTheUser)
{
    std::vector<Entry> entries;
    for (int i = 0; i < 4; ++i)
        entries.push_back(Entry("file" + std::to_string(i) + ".txt", text(300 + 50 * i), i % 2 ? 8 : 0));
    RemovableDrive drive('A', dir.file("floppy"));
    std::vector<std::string> volumes = buildSpanned(entries, 500);
    ASSERT_GE(volumes.size(), 3u);
    drive.useSet("SET.ZIP", volumes);
    drive.insertVolume(1);

    tty = true;
    onPrompt = [&](const std::string &err) {
        size_t at = err.rfind("Insert ");
        ASSERT_NE(at, std::string::npos);
        if (err.compare(at, 31, "Insert the last disk of the set") == 0)
            drive.insertVolume((unsigned)volumes.size());
        else
            drive.insertVolume((unsigned)std::stoi(err.substr(at + 14)));
        typed.push_back("");
    };
    Result r = run({"-q", drive.path("SET.ZIP"), dest()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Insert the last disk of the set and press Enter (q to cancel): "), std::string::npos);
    EXPECT_NE(r.err.find("Insert disk # 1 and press Enter (q to cancel): "), std::string::npos) << r.err;
    for (const Entry &e : entries)
        EXPECT_EQ(readFile(outFile(e.name)), e.data) << e.name;

    // q at the first question, and no terminal at all: cancelled.
    drive.insertVolume(1);
    onPrompt = nullptr;
    typed = {"q"};
    Result quit = run({"-o", drive.path("SET.ZIP"), dest()});
    EXPECT_EQ(quit.status, qzunzip::kExitCancelled);
    EXPECT_NE(quit.err.find("cannot open the archive (-4 cancelled)"), std::string::npos) << quit.err;
    tty = false;
    Result none = run({"-o", drive.path("SET.ZIP"), dest()});
    EXPECT_EQ(none.status, qzunzip::kExitCancelled);
    EXPECT_NE(none.err.find("Insert the last disk of the set: no terminal to ask, cancelled"), std::string::npos);
}
#endif
