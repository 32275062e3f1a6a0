// qzunzip in process: each exit status reached by the case it stands for,
// with the text the user gets.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "entries.h"
#include "qzunpack.h"
#include "run.h"
#include "support/archive_builder.h"
#include "support/temp_dir.h"

using namespace qztest;

namespace {

Entry withCrc(Entry e, uint32_t crc) {
    e.overrideCrc = true;
    e.crc = crc;
    return e;
}

Entry withPassword(Entry e, const char *password) {
    e.password = password;
    return e;
}

Entry directory(const std::string &name) {
    Entry e(name, "");
    e.host = 3;
    e.externalAttributes = 0x41ED0010u;
    return e;
}

struct Outcome {
    int status;
    std::string out, err;
};

// `typed`: the one line the user types (null: no terminal to ask).
Outcome run(const std::vector<std::string> &args, const char *typed = nullptr) {
    std::ostringstream out;
    std::ostringstream err;
    qzunzip::Terminal t;
    t.out = &out;
    t.err = &err;
    if (typed)
        t.readLine = [&](std::string *line) {
            *line = typed;
            return true;
        };
    t.interrupted = [] { return false; };
    int status = qzunzip::runQzunzip(qzunzip::parseArguments(args), t);
    return {status, out.str(), err.str()};
}

// args: "A" the archive, "O" the destination; before the run the folder
// named in `inTheWay` is made below O (a name without '/' is a file), and
// `typed` answers the questions on a terminal.
struct StatusRow {
    const char *name;
    std::vector<Entry> entries;
    std::vector<std::string> args;
    const char *inTheWay, *typed;
    int status;
    const char *text;   // found in stdout + stderr
};

const std::string kZip = "A";
const std::string kOut = "O";

const StatusRow kRows[] = {
    {"extracted", {directory("top/"), Entry("top/a.txt", "a", 8)}, {"-d", kZip, kOut}, "", nullptr, 0,
     " extracting: "},
    {"tested", {Entry("a.txt", "a", 8)}, {"-t", kZip}, "", nullptr, 0, "No errors detected in"},
    {"listed", {Entry("a.txt", "aaa", 8), directory("d/")}, {"-v", kZip, "d/*"}, "", nullptr, 0, "1 entry"},
    {"help", {}, {"--help"}, "", nullptr, 0, "usage: qzunzip"},
    {"nothing selected", {directory("only/")}, {kZip, kOut}, "", nullptr, 1,
     "no entry selected (-7 no more entries)"},
    {"damaged entry", {Entry("ok", "ok"), withCrc(Entry("bad.txt", "x"), 1)}, {kZip, kOut}, "", nullptr, 1,
     "some entries were skipped (-8 done, but entries were skipped; last problem: -25 CRC mismatch)"},
    {"wrong password", {withPassword(Entry("l.txt", "s", 8), "pw")}, {"-s:x:", kZip, kOut}, "", nullptr, 1,
     "l.txt: wrong password, skipped (-24)"},
    {"unknown method", {Entry("lzma.bin", "xxxx", 14)}, {kZip, kOut}, "", nullptr, 1,
     "lzma.bin: unknown compression method, skipped (-3)"},
    {"name leaving the destination", {Entry("../evil.txt", "e")}, {kZip, kOut}, "", nullptr, 1,
     "../evil.txt: the name leaves the destination, left out"},
    {"access denied", {Entry("taken", "x")}, {"-o", kZip, kOut}, "taken/", nullptr, 1,
     "taken: access denied, skipped (105)"},
    {"missing archive", {}, {"missing.zip", kOut}, "", nullptr, 2,
     "cannot open the archive (102 archive name missing or not found)"},
    {"imploded entry", {Entry("old.bin", "xxxx", 6)}, {kZip, kOut}, "", nullptr, 1,
     "old.bin: unknown compression method, skipped (-3)"},
    {"bad switch", {Entry("a", "a")}, {"-d", "-k", kZip, kOut}, "", nullptr, 3,
     "qzunzip: bad switches (-9 invalid switch in the command string)\n  -d -k\n       ^\n"},
    {"repeated switch", {}, {"-$", "-$", kZip, kOut}, "", nullptr, 3, "(-20 conflicting or repeated"},
    {"password too long", {}, {"-s:" + std::string(130, 'p') + ":", kZip}, "", nullptr, 3, "(-18 too long)"},
    {"exclusion without a name", {}, {"-x"}, "", nullptr, 3, "-x needs a specification"},
    {"quit at a question", {Entry("1.txt", "new")}, {kZip, kOut}, "1.txt", "q", 4,
     "cancelled (-4 cancelled)"},
    {"destination in a file", {Entry("a", "a")}, {kZip, "O/1.txt/sub"}, "1.txt", nullptr, 5,
     "the destination cannot be created"},
    {"a file where a folder goes", {Entry("docs/a", "a")}, {"-d", kZip, kOut}, "docs", nullptr, 1,
     "its directory cannot be created, skipped (103)"},
};

TEST(Qzunzip, ExitStatuses) {
    for (const StatusRow &row : kRows) {
        TempDir dir;
        std::vector<std::string> args;
        for (const std::string &a : row.args)
            args.push_back(a == kZip ? dir.file("a.zip") : a[0] == 'O' ? dir.file(a) + "/" : a);
        ASSERT_TRUE(writeFile(dir.file("a.zip"), buildZip(row.entries)));
        std::string way = row.inTheWay;
        bool file = !way.empty() && way.back() != '/';
        ASSERT_TRUE(qzunzip::makeDirectory(dir.file("O") + "/", file ? "" : way));
        if (file)
            ASSERT_TRUE(writeFile(dir.file("O") + "/" + way, "old"));
        Outcome r = run(args, row.typed);
        EXPECT_EQ(r.status, row.status) << row.name << "\n" << r.err;
        EXPECT_NE((r.out + r.err).find(row.text), std::string::npos) << row.name << "\n" << r.out << r.err;
    }
    Qz4Cancel();   // Ctrl-C: the library stops at its next block of work
    TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("a.zip"), buildZip({Entry("a", "a")})));
    EXPECT_EQ(run({dir.file("a.zip"), dir.file("O") + "/"}).status, 4);
    EXPECT_EQ(run({"-o", dir.file("a.zip"), dir.file("O") + "/"}).status, 0);
}

}  // namespace
