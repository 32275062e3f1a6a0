// qzunzip's print callback on its own, fed with print blocks: the lines of
// progress with and without a terminal, warnings, and the answers to the
// overwrite and disk questions.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <sstream>
#include <string>

#include "console.h"

using namespace qzunzip;

namespace {

QzPrintBlock block(int16_t kind, int16_t code, const char *file, int16_t op = QZ_OP_EXTRACTING)
{
    QzPrintBlock b;
    std::memset(&b, 0, sizeof b);
    std::strcpy(b.archiveName, "a.zip");
    std::strcpy(b.fileName, file);
    b.operation = op;
    b.eventKind = kind;
    b.eventCode = code;
    return b;
}

QzPrintBlock progress(const char *file, uint32_t size, uint32_t done, int16_t op = QZ_OP_EXTRACTING)
{
    QzPrintBlock b = block(QZ_EVENT_NOTIFICATION, 0, file, op);
    b.entrySize = b.entrySize2 = size;
    b.bytesDone = done;
    return b;
}

// A console writing into strings; with answers it has a terminal that
// types them one by one (and then reaches the end of input).
struct Fixture {
    std::ostringstream out, err;
    std::deque<std::string> answers;
    bool interrupted = false;
    Console console;

    explicit Fixture(bool tty, bool bar = false, bool quiet = false) : console(terminal(tty, bar), quiet) {}

    Terminal terminal(bool tty, bool bar)
    {
        Terminal t;
        t.out = &out;
        t.err = &err;
        t.progressBar = bar;
        t.width = 72;
        if (tty)
            t.readLine = [this](std::string *line) {
                if (answers.empty())
                    return false;
                *line = answers.front();
                answers.pop_front();
                return true;
            };
        t.interrupted = [this] { return interrupted; };
        return t;
    }
};

#ifdef _WIN32
const char *kShown = "out\\docs\\a.txt";
#else
const char *kShown = "out/docs/a.txt";
#endif

}  // namespace

TEST(Console, OneLinePerEntryWithoutATerminal)
{
    Fixture f(false);
    for (uint32_t done : {0u, 0u, 65520u, 100000u})
        EXPECT_EQ(f.console.event(progress("out\\docs\\a.txt", 100000, done)), QZ_ANSWER_OK);
    // The same name again from 0: another entry of that name.
    f.console.event(progress("out\\docs\\a.txt", 10, 0));
    f.console.event(progress("out\\docs\\a.txt", 10, 10));
    f.console.event(progress("b.txt", 0, 0));
    f.console.event(progress("b.txt", 0, 0));
    f.console.event(progress("c.txt", 5, 0, QZ_OP_TESTING));
    f.console.event(progress("c.txt", 5, 5, QZ_OP_TESTING));
    EXPECT_EQ(f.out.str(), std::string(" extracting: ") + kShown + "\n extracting: " + kShown +
                               "\n extracting: b.txt\n    testing: c.txt\n");
    EXPECT_EQ(f.console.entries(), 4u);
    EXPECT_EQ(f.err.str(), "");
}

TEST(Console, ABarRedrawnInPlaceOnATerminal)
{
    Fixture f(false, true);
    f.console.event(progress("big.bin", 200000, 0));
    f.console.event(progress("big.bin", 200000, 200000));
    f.console.event(progress("x", 0, 0));
    f.console.endLine();
    const std::string s = f.out.str();
    EXPECT_NE(s.find("\r extracting: big.bin  [....................] 0%  0 / 200 KB"), std::string::npos) << s;
    EXPECT_NE(s.find("\r extracting: big.bin  [####################] 100%  200 KB / 200 KB\n"), std::string::npos)
        << s;
    EXPECT_NE(s.find("\r extracting: x  0\n"), std::string::npos) << s;

    // A name too long for the line keeps its end.
    Fixture g(false, true);
    std::string longName(150, 'n');
    longName += "tail.txt";
    g.console.event(progress(longName.c_str(), 10, 10));
    const std::string line = g.out.str();
    EXPECT_LE(line.size(), 1u + 72u);
    EXPECT_NE(line.find("...nnn"), std::string::npos);
    EXPECT_NE(line.find("tail.txt  ["), std::string::npos);
}

TEST(Console, QuietShowsNoProgress)
{
    Fixture f(false, true, true);
    f.console.event(progress("a", 10, 0));
    f.console.event(block(QZ_EVENT_NOTIFICATION, 0, "b", QZ_OP_SKIPPED));
    EXPECT_EQ(f.out.str(), "");
    f.console.event(block(QZ_EVENT_MESSAGE, QZ_CRC_MISMATCH, "a"));
    EXPECT_NE(f.err.str().find("CRC mismatch"), std::string::npos);
}

TEST(Console, MessagesAreWarningsAnsweredWithOk)
{
    Fixture f(false);
    f.console.event(progress("big.bin", 10, 0));
    const struct {
        int16_t code;
        const char *text;
    } cases[] = {{QZ_CRC_MISMATCH, "CRC mismatch, the file may be damaged (-25)"},
                 {QZ_WRONG_PASSWORD, "wrong password, skipped (-24)"},
                 {QZ_ERR_METHOD, "unknown compression method, skipped (-3)"},
                 {QZ_ERR_FILE, "access denied, skipped (105)"},
                 {QZ_ERR_WRITE, "-10 write error (-10)"}};
    for (const auto &c : cases) {
        f.err.str("");
        EXPECT_EQ(f.console.event(block(QZ_EVENT_MESSAGE, c.code, "out\\x.txt")), QZ_ANSWER_OK);
        EXPECT_NE(f.err.str().find(c.text), std::string::npos) << f.err.str();
    }
    EXPECT_EQ(f.console.warnings(), 5u);
    // The pending entry line was ended first.
    EXPECT_EQ(f.out.str(), " extracting: big.bin\n");

    f.interrupted = true;
    EXPECT_EQ(f.console.event(block(QZ_EVENT_MESSAGE, QZ_CRC_MISMATCH, "x")), QZ_ANSWER_CANCEL);
}

TEST(Console, SkippedEntriesAreNamed)
{
    Fixture f(false);
    EXPECT_EQ(f.console.event(block(QZ_EVENT_NOTIFICATION, 0, "out\\docs\\a.txt", QZ_OP_SKIPPED)), QZ_ANSWER_OK);
    EXPECT_EQ(f.out.str(), std::string("    skipped: ") + kShown + "\n");
}

TEST(Console, OverwriteQuestionOnTheTerminal)
{
    Fixture f(true);
    const QzPrintBlock q = block(QZ_EVENT_QUESTION, QZ_QUESTION_OVERWRITE, "out\\docs\\a.txt");
    f.answers = {"y", "n", " A", "a", "Q", "what", "", "Yes", "N"};
    EXPECT_EQ(f.console.event(q), QZ_ANSWER_YES);
    EXPECT_EQ(f.console.event(q), QZ_ANSWER_NO);
    EXPECT_EQ(f.console.event(q), QZ_ANSWER_YES_TO_ALL);
    EXPECT_EQ(f.console.event(q), QZ_ANSWER_YES_TO_ALL);
    EXPECT_EQ(f.console.event(q), QZ_ANSWER_CANCEL);
    // Anything else asks again.
    EXPECT_EQ(f.console.event(q), QZ_ANSWER_YES);
    EXPECT_EQ(f.console.event(q), QZ_ANSWER_NO);
    EXPECT_NE(f.err.str().find(std::string("replace ") + kShown + "? [y]es, [n]o, [A]ll, [q]uit: "),
              std::string::npos);
    // At the end of input the file is kept; after Ctrl-C the run stops.
    EXPECT_EQ(f.console.event(q), QZ_ANSWER_NO);
    f.answers = {"y"};
    f.interrupted = true;
    EXPECT_EQ(f.console.event(q), QZ_ANSWER_CANCEL);
}

TEST(Console, OverwriteQuestionWithoutATerminalKeepsTheFile)
{
    Fixture f(false);
    EXPECT_EQ(f.console.event(block(QZ_EVENT_QUESTION, QZ_QUESTION_OVERWRITE, "out\\docs\\a.txt")), QZ_ANSWER_NO);
    EXPECT_EQ(f.out.str(), std::string("     exists: ") + kShown + " (not replaced)\n");
    EXPECT_EQ(f.err.str(), "");
}

TEST(Console, DiskQuestionsWaitForEnter)
{
    Fixture f(true);
    QzPrintBlock disk = block(QZ_EVENT_QUESTION, QZ_QUESTION_DISK, "");
    disk.diskNumber = 2;
    const QzPrintBlock last = block(QZ_EVENT_QUESTION, QZ_QUESTION_LAST_DISK, "");
    f.answers = {"", "q", "anything"};
    EXPECT_EQ(f.console.event(disk), QZ_ANSWER_OK);
    EXPECT_NE(f.err.str().find("Insert disk # 2 and press Enter (q to cancel): "), std::string::npos);
    EXPECT_EQ(f.console.event(disk), QZ_ANSWER_CANCEL);
    EXPECT_EQ(f.console.event(last), QZ_ANSWER_OK);
    EXPECT_NE(f.err.str().find("Insert the last disk of the set and press Enter"), std::string::npos);
    EXPECT_EQ(f.console.event(last), QZ_ANSWER_CANCEL);  // end of input

    Fixture none(false);
    EXPECT_EQ(none.console.event(disk), QZ_ANSWER_CANCEL);
    EXPECT_NE(none.err.str().find("Insert disk # 2: no terminal to ask, cancelled"), std::string::npos);
}
