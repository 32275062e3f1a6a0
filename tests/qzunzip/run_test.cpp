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
    {"extracted", {directory("top/"), Entry("top/a.txt", "a", 8)}, {kZip, "-d", kOut}, "", nullptr, 0,
     "  inflating: "},
    {"tested", {Entry("a.txt", "a", 8)}, {"-t", kZip}, "", nullptr, 0,
     "No errors detected in compressed data"},
    {"listed", {Entry("a.txt", "aaa", 8), directory("d/")}, {"-l", kZip, "d/*"}, "", nullptr, 0, " 1 file\n"},
    {"help", {}, {"-h"}, "", nullptr, 0, "usage: qzunzip"},
    {"nothing selected", {Entry("a", "a")}, {kZip, "x*", "-d", kOut}, "", nullptr, 11, "no entry matches x*"},
    {"damaged entry", {Entry("ok", "ok"), withCrc(Entry("bad.txt", "x"), 1)}, {kZip, "-d", kOut}, "", nullptr,
     2, "bad.txt: bad CRC, the data is damaged"},
    {"wrong password", {withPassword(Entry("l.txt", "s", 8), "pw")}, {"-Px", kZip, "-d", kOut}, "", nullptr,
     82, "l.txt: incorrect password, skipped"},
    {"unknown method", {Entry("lzma.bin", "xxxx", 14)}, {kZip, "-d", kOut}, "", nullptr, 81,
     "lzma.bin: unsupported compression method LZMA, skipped"},
    {"name leaving the destination", {Entry("../evil.txt", "e")}, {kZip, "-d", kOut}, "", nullptr, 1,
     "\"../\" components removed, extracted as evil.txt"},
    {"access denied", {Entry("taken", "x")}, {"-o", kZip, "-d", kOut}, "taken/", nullptr, 1,
     "taken: cannot be written (access denied), skipped"},
    {"missing archive", {}, {"missing", "-d", kOut}, "", nullptr, 9,
     "cannot find or open missing, missing.zip"},
    {"bad option", {}, {"-qk", kZip}, "", nullptr, 10, "unknown option -k"},
    {"bad switch", {Entry("a", "a")}, {"--switches", "-d -k", kZip, "-d", kOut}, "", nullptr, 10,
     "  -d -k\n       ^\n"},
    {"repeated switch", {}, {"--switches", "-$ -$", kZip}, "", nullptr, 10, "(-20 conflicting or repeated"},
    {"password missing", {}, {kZip, "-P"}, "", nullptr, 10, "-P needs a password"},
    {"quit at a question", {Entry("1.txt", "new")}, {kZip, "-d", kOut}, "1.txt", "q", 80, "-4 cancelled"},
    {"destination in a file", {Entry("a", "a")}, {kZip, "-d", "O/1.txt/sub"}, "1.txt", nullptr, 3,
     "the destination cannot be created"},
    {"a file where a folder goes", {Entry("docs/a", "a")}, {kZip, "-d", kOut}, "docs", nullptr, 1,
     "its directory cannot be created, skipped"},
};

TEST(Qzunzip, ExitStatuses) {
    for (const StatusRow &row : kRows) {
        TempDir dir;
        std::vector<std::string> args;
        for (const std::string &a : row.args)
            args.push_back(a == kZip ? dir.file("a.zip") : a[0] == 'O' ? dir.file(a) : a);
        ASSERT_TRUE(writeFile(dir.file("a.zip"), buildZip(row.entries)));
        std::string way = row.inTheWay;
        bool file = !way.empty() && way.back() != '/';
        ASSERT_TRUE(qzunzip::DirectoryMaker(dir.file("O")).make(file ? "" : way));
        if (file)
            ASSERT_TRUE(writeFile(dir.file("O") + "/" + way, "old"));
        Outcome r = run(args, row.typed);
        EXPECT_EQ(r.status, row.status) << row.name << "\n" << r.err;
        EXPECT_NE((r.out + r.err).find(row.text), std::string::npos) << row.name << "\n" << r.out << r.err;
    }
    Qz4Cancel();   // Ctrl-C: the library stops at its next block of work
    TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("a.zip"), buildZip({Entry("a", "a")})));
    EXPECT_EQ(run({dir.file("a.zip"), "-d", dir.file("O")}).status, 80);
    EXPECT_EQ(run({"-o", dir.file("a.zip"), "-d", dir.file("O")}).status, 0);
}

}  // namespace
