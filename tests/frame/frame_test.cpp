// The frame: the command-string parser of both dialects, the dispatcher of
// events to the host's hook or to a message box, the print block and the
// archives still open when the library unloads.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "frame/frame.h"
#include "qzunpack.h"
#include "support/archive_builder.h"
#include "support/temp_dir.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

namespace {

const uint32_t S = OPT_STRIP_H | OPT_STRIP_S | OPT_STRIP_R | OPT_STRIP_N;   // the compact default
const uint32_t D = OPT_DIRS;
const uint32_t P = OPT_PASSWORD;

// Commands of the standard (0) and compact (1) dialect: the option word,
// the password, the result and the place of the error (-1 none).
struct ParseRow {
    int16_t type;
    const char *command;
    uint32_t flags;
    const char *password;
    int16_t result, place;
};

const std::string kLong(127, ' ');
const std::string kTooLong = kLong + "d";
const uint32_t kDotted = OPT_LABEL | OPT_KEEP_DRIVE | OPT_LONG_NAMES | OPT_SKIP_LOCKED | OPT_VERSION_NEWER;

const ParseRow kParses[] = {
    {0, nullptr, 0, "", QZ_OK, -1},
    {1, "", S, "", QZ_OK, -1},
    {0, kLong.c_str(), 0, "", QZ_OK, -1},
    {1, kTooLong.c_str(), S, "", QZ_TOO_LONG, -1},
    {0, "-$ -.d /.L -.o -.v -D -o -t", kDotted | D | OPT_OVERWRITE | OPT_TEST, "", QZ_OK, -1},
    {0, "-.VE -N -O-", OPT_VERSION_SAME | OPT_NEWER, "", QZ_OK, -1},
    {0, "-r+ -r", 0, "", QZ_OK, -1},
    {0, "-o -o- -f", OPT_FRESHEN, "", QZ_OK, -1},
    {1, "-f -n", OPT_NEWER | S, "", QZ_OK, -1},
    {0, "-n -f", OPT_NEWER, "", QZ_ERR_SWITCH_CONFLICT, 5},
    {1, "  /$/$", OPT_LABEL | S, "", QZ_ERR_SWITCH_CONFLICT, 6},
    {0, "\t-d\x01-o\xA0\xFF", D | OPT_OVERWRITE, "", QZ_OK, -1},
    {0, " \x7f", 0, "", QZ_ERR_SWITCH, 2},
    {1, "  -x", S, "", QZ_ERR_SWITCH, 4},
    {0, "d", 0, "", QZ_ERR_SWITCH, 1},
    {1, "-d -", D | S, "", QZ_ERR_SWITCH, 5},
    {0, "-do", D, "", QZ_ERR_SWITCH, 3},
    {0, "-JhNrS -js", S, "", QZ_OK, -1},
    {0, "-j -d", 0, "", QZ_ERR_SWITCH, 2},
    {0, "-jh\t-d", OPT_STRIP_H, "", QZ_ERR_SWITCH, 3},
    {0, "-s/secret/ -d/t", P | D | OPT_TEST, "secret", QZ_OK, -1},
    {0, "-s/abc", 0, "", QZ_ERR_SWITCH, 6},
    {0, "-s/a/ -s/b/", P, "a", QZ_ERR_SWITCH_CONFLICT, 8},
    {1, "-don", D | OPT_NEWER | S, "", QZ_OK, -1},
    {1, "-o-d", OPT_NO_OVERWRITE | D | S, "", QZ_OK, -1},
    {1, "-dT", D | S, "", QZ_ERR_SWITCH, 3},
    {1, "-JHd", OPT_STRIP_S | OPT_STRIP_N | OPT_STRIP_R | D, "", QZ_OK, -1},
    {1, "-J -d", S, "", QZ_ERR_SWITCH, 2},
    {1, "-r- -R+ -s\"abc", OPT_CLEAR_READONLY | S, "", QZ_ERR_SWITCH, 14},
    {1, "-sa/b-c\xE9" "d", P | D | S, "a/b-c", QZ_OK, -1},
    {1, "-s\"a b\"d", P | D | S, "a b", QZ_OK, -1},
    {1, "-s -d", P | D | S, "", QZ_OK, -1},
    {1, "-s\"abc", S, "", QZ_ERR_SWITCH, 6},
    {1, "-sab -sc", P | S, "ab", QZ_ERR_SWITCH_CONFLICT, 7},
};

TEST(Frame, Parser) {
    for (const ParseRow &row : kParses) {
        std::string name = std::to_string(row.type) + " [" + (row.command ? row.command : "null") + "]";
        Qz4SetParseType(row.type);
        char password[qz::frame::kPasswordBytes];
        memset(password, 'x', sizeof password);
        uint32_t flags = 0;
        EXPECT_EQ(qz::frame::parse(row.command, &flags, password), row.result) << name;
        EXPECT_EQ(flags, row.flags) << name;
        EXPECT_EQ(std::string(password, strnlen(password, sizeof password)), row.password) << name;
        EXPECT_EQ(Qz4GetParsePlace(), row.place) << name;
        Qz4SetParseType(0);
    }
}

const int16_t kNoHook = -999;
int16_t hookAnswer;
QzPrintBlock hookSaw;

int16_t QZ_CALL hook(QzPrintBlock block) {
    hookSaw = block;
    memset(block.fileName, 'x', 10);   // the copy is the hook's
    return hookAnswer;
}

std::string boxSaw;

#ifndef _WIN32

// "caption|style|text", the destination path in the text written "~".
int respond(void *, HWND, const char *text, const char *caption, UINT style) {
    std::string t = text;
    size_t at = t.find("C:\\out\\f.txt");
    if (at != std::string::npos)
        t.replace(at, 12, "~");
    boxSaw = std::string(caption) + "|" + std::to_string(style) + "|" + t;
    return IDRETRY;
}
#endif

const int16_t M = QZ_EVENT_MESSAGE;
const int16_t Q = QZ_EVENT_QUESTION;

// An event raised with the print switch on or off, with a hook (its answer)
// or without: the answer, and the message box shown through the responder.
struct EventRow {
    int16_t kind, code, disk, print, operation, hookAnswer, answer;
    const char *box;
};

const EventRow kEvents[] = {
    {Q, QZ_QUESTION_OVERWRITE, 0, 0, 0, 1, QZ_ANSWER_NO, ""},
    {Q, QZ_QUESTION_DISK, 2, 0, 0, kNoHook, QZ_ANSWER_CANCEL, ""},
    {M, QZ_CRC_MISMATCH, 0, 0, 0, 1, QZ_ANSWER_OK, ""},
    {Q, QZ_QUESTION_DISK, 4, 1, 0, 1, 1, ""},
    {M, QZ_CRC_MISMATCH, 0, 1, 0, 32767, 32767, ""},
    {QZ_EVENT_NOTIFICATION, 0, 0, 1, 0, QZ_ANSWER_DEFAULT, QZ_ANSWER_OK, ""},
#ifndef _WIN32
    {Q, QZ_QUESTION_OVERWRITE, 0, 1, QZ_OP_EXTRACTING, QZ_ANSWER_DEFAULT, IDRETRY,
     "UnZipping|291|~: file already exists. Overwrite it?"},
    {M, QZ_CRC_MISMATCH, 0, 1, QZ_OP_TESTING, kNoHook, IDRETRY,
     "Testing|49|~: CRC mismatch. File may have error."},
    {M, QZ_WRONG_PASSWORD, 0, 1, QZ_OP_INDEXING, kNoHook, IDRETRY,
     "Indexing|49|~: wrong password. Skipping file."},
    {M, QZ_ERR_METHOD, 0, 1, QZ_OP_NONE, kNoHook, IDRETRY,
     "|49|~: unknown compression method. Skipping file."},
    {M, QZ_ERR_FILE, 0, 1, QZ_OP_SKIPPED, kNoHook, IDRETRY, "|49|~: access denied. Skipping file."},
    {M, 42, 0, 1, QZ_OP_EXTRACTING, kNoHook, IDRETRY, "UnZipping|49|~"},
    {Q, QZ_QUESTION_DISK, 10000, 1, 0, kNoHook, IDRETRY, "|33|Insert disk # 10000"},
    {Q, QZ_QUESTION_LAST_DISK, 0, 1, 0, kNoHook, IDRETRY, "|33|Insert the last disk of the set."},
    {Q, 77, 0, 1, 0, kNoHook, IDRETRY, "|32|~"},
    {QZ_EVENT_NOTIFICATION, 0, 0, 1, 0, kNoHook, QZ_ANSWER_OK, ""},
#endif
};

TEST(Frame, Dispatcher) {
#ifndef _WIN32
    qzhost_set_responder(respond, nullptr);
#endif
    for (const EventRow &row : kEvents) {
        std::string name = std::to_string(row.kind) + "/" + std::to_string(row.code) + " print " +
                           std::to_string(row.print) + " hook " + std::to_string(row.hookAnswer);
        bool hooked = row.hookAnswer != kNoHook;
        Qz4SetCPrint(row.print);
        Qz4CPrintHook(hooked ? hook : nullptr);
        hookAnswer = row.hookAnswer;
        strcpy(qz::frame::g.print.fileName, "C:/out/f.txt");
        qz::frame::g.print.operation = row.operation;
        qz::frame::g.print.diskNumber = 0;
        memset(&hookSaw, 0, sizeof hookSaw);
        boxSaw = "";
        EXPECT_EQ(qz::frame::raise(row.kind, row.code, row.disk), row.answer) << name;
        EXPECT_EQ(boxSaw, row.box) << name;
        EXPECT_STREQ(hookSaw.fileName, hooked && row.print ? "C:\\out\\f.txt" : "") << name;
        EXPECT_EQ(hookSaw.diskNumber, hooked && row.print ? row.disk : 0) << name;
        EXPECT_STREQ(qz::frame::g.print.fileName, "C:/out/f.txt") << name;
    }
    Qz4SetCPrint(0);
    Qz4CPrintHook(nullptr);
#ifndef _WIN32
    qzhost_reset();
#endif
}

// Switching printing on empties the block, but for the event and the disk;
// the extended information is copied out up to its size.
TEST(Frame, SetCPrintResetsThePrintBlock) {
    QzPrintBlock &b = qz::frame::g.print;
    memset(&b, 7, sizeof b);
    Qz4SetCPrint(1);
    EXPECT_EQ(b.archiveName[0] | b.fileName[0] | b.method, 0);
    EXPECT_EQ(b.operation, QZ_OP_NONE);
    EXPECT_EQ(b.entrySize | b.bytesDone | b.entrySize2, 0u);
    EXPECT_TRUE(b.eventKind == 0x0707 && b.eventCode == 0x0707 && b.diskNumber == 0x0707);
    Qz4SetCPrint(0);
    EXPECT_EQ(Qz4GetCPrint(), 0);
    unsigned char info[20];
    memset(info, 0xEE, sizeof info);
    EXPECT_EQ(Qz4ExtendedCPrintInfo(20, info), 12);   // date, time and two reserved words at most
    EXPECT_EQ(Qz4ExtendedCPrintInfo(-3, info), 0);
    EXPECT_EQ(memcmp(info, &qz::frame::g.extInfo, 12), 0);
    EXPECT_EQ(info[12], 0xEE);
}

TEST(Frame, PercentAndCancel) {
    const int32_t rows[][3] = {{200, 50, 75}, {200, 0, 100}, {200, 300, 0}, {0, 0, 0}, {3, 1, 67},
                               {60000000, 30000000, 50}, {40000001, 40000000, 0},
                               {0x7FFFFFFF, 21474837, 100}};
    for (const auto &row : rows)
        EXPECT_EQ(Qz4ZipPercent(row[0], row[1]), row[2]) << row[0] << " " << row[1];
    Qz4Cancel();
    EXPECT_TRUE(qz::frame::takeCancel());
    EXPECT_FALSE(qz::frame::takeCancel());
}

#ifndef _WIN32
// The message pump peeks only while events are on; a pump hook may cancel.
TEST(Frame, Pump) {
    qzhost_reset_counters();
    qzhost_set_pump_hook([](void *) { Qz4Cancel(); }, nullptr);
    qz::frame::pump();
    Qz4SetDoEvents(0);
    qz::frame::pump();
    Qz4SetDoEvents(1);
    EXPECT_EQ(qzhost_pump_count(), 1u);
    EXPECT_TRUE(qz::frame::takeCancel());
    qzhost_reset();
}

// The archives still open when the library unloads are closed then.
TEST(Frame, UnloadClosesTheArchivesStillOpen) {
    qztest::TempDir dir;
    std::string name = dir.file("a.zip");
    ASSERT_TRUE(qztest::writeFile(name, qztest::buildZip({qztest::Entry("a.txt", "a")})));
    qzhost_reset_counters();
    QzHandle first;
    QzHandle second;
    ASSERT_EQ(Qz4ZipOpen(name.c_str(), 0, &first), QZ_OK);
    ASSERT_EQ(Qz4ZipOpen(name.c_str(), 0, &second), QZ_OK);
    qz::frame::unload();
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.handles, 0);
    EXPECT_EQ(c.blocks, 0);
    qz::frame::unload();   // twice is harmless
}
#endif

}  // namespace
