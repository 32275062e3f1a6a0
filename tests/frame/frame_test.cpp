// The frame: parser, message boxes (other suites use the hook), print block, pump and unloading.
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
const uint32_t kDotted = OPT_LABEL | OPT_KEEP_DRIVE | OPT_LONG_NAMES | OPT_SKIP_LOCKED | OPT_VERSION_NEWER;

// Commands of the standard (0) and compact (1) dialect: the option word,
// the password, the result and the place of the error (-1 none).
struct ParseRow {
    int16_t type;
    const char *command;
    uint32_t flags;
    const char *password;
    int16_t result, place;
};

const ParseRow kParses[] = {
    {0, nullptr, 0, "", QZ_OK, -1},
    {0, "-$ -.d /.L -.o -.v -D -o -t", kDotted | OPT_DIRS | OPT_OVERWRITE | OPT_TEST, "", QZ_OK, -1},
    {1, "  /$/$", OPT_LABEL | S, "", QZ_ERR_SWITCH_CONFLICT, 6},
    {0, "\t-d\x01-o\xA0\xFF", OPT_DIRS | OPT_OVERWRITE, "", QZ_OK, -1},
    {0, "-s/secret/ -d/t", OPT_PASSWORD | OPT_DIRS | OPT_TEST, "secret", QZ_OK, -1},
    {1, "-JHd", OPT_STRIP_S | OPT_STRIP_N | OPT_STRIP_R | OPT_DIRS, "", QZ_OK, -1},
    {1, "-J -d", S, "", QZ_ERR_SWITCH, 2},
    {1, "-sab -sc", OPT_PASSWORD | S, "ab", QZ_ERR_SWITCH_CONFLICT, 7},
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
    }
    Qz4SetParseType(0);
}

// Switching printing on empties the block, but for the event and the disk.
TEST(Frame, SetCPrintResetsThePrintBlock) {
    QzPrintBlock &b = qz::frame::g.print;
    memset(&b, 7, sizeof b);
    Qz4SetCPrint(1);
    EXPECT_EQ(b.archiveName[0] | b.fileName[0] | b.method, 0);
    EXPECT_EQ(b.operation, QZ_OP_NONE);
    EXPECT_EQ(b.entrySize | b.bytesDone | b.entrySize2, 0u);
    EXPECT_TRUE(b.eventKind == 0x0707 && b.eventCode == 0x0707 && b.diskNumber == 0x0707);
    Qz4SetCPrint(0);
}

TEST(Frame, Percent) {
    const int32_t rows[][3] = {{200, 50, 75}, {0, 0, 0}, {3, 1, 67}, {0x7FFFFFFF, 21474837, 100}};
    for (const auto &row : rows)
        EXPECT_EQ(Qz4ZipPercent(row[0], row[1]), row[2]) << row[0] << " " << row[1];
}

#ifndef _WIN32

std::string boxSaw;

int respond(void *, HWND, const char *text, const char *caption, UINT style) {
    boxSaw = std::string(caption) + "|" + std::to_string(style) + "|" + text;
    return IDRETRY;
}

const int16_t M = QZ_EVENT_MESSAGE;
const int16_t Q = QZ_EVENT_QUESTION;

// With the print switch on and no hook a box asks: caption, style, text.
struct EventRow { int16_t kind, code, disk, operation; const char *box; };

const EventRow kEvents[] = {
    {Q, QZ_QUESTION_OVERWRITE, 0, QZ_OP_EXTRACTING, "UnZipping|291|~: file already exists. Overwrite it?"},
    {M, QZ_CRC_MISMATCH, 0, QZ_OP_TESTING, "Testing|49|~: CRC mismatch. File may have error."},
    {M, QZ_WRONG_PASSWORD, 0, QZ_OP_INDEXING, "Indexing|49|~: wrong password. Skipping file."},
    {Q, QZ_QUESTION_DISK, 10000, 0, "|33|Insert disk # 10000"},
};

TEST(Frame, MessageBoxes) {
    qzhost_set_responder(respond, nullptr);
    Qz4SetCPrint(1);
    using namespace qz::frame;
    for (const EventRow &row : kEvents) {
        beginEntry("~");
        setOperation(row.operation);
        EXPECT_EQ(row.disk ? askDisk(row.code, row.disk) : raise(row.kind, row.code), IDRETRY) << row.box;
        EXPECT_EQ(boxSaw, row.box);
    }
    Qz4SetCPrint(0);
    qzhost_reset();
}

// The message pump peeks only while events are on.
TEST(Frame, Pump) {
    qzhost_reset_counters();
    qz::frame::pump();
    Qz4SetDoEvents(0);
    qz::frame::pump();
    Qz4SetDoEvents(1);
    EXPECT_EQ(qzhost_pump_count(), 1u);
}

// The archives still open when the library unloads are closed then.
TEST(Frame, UnloadClosesTheArchivesStillOpen) {
    qztest::TempDir dir;
    std::string name = dir.file("a.zip");
    ASSERT_TRUE(qztest::writeFile(name, qztest::buildZip({qztest::Entry("a.txt", "a")})));
    qzhost_reset_counters();
    QzHandle h;
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(Qz4ZipOpen(name.c_str(), 0, &h), QZ_OK);
    qz::frame::unload();
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.handles, 0);
    EXPECT_EQ(c.blocks, 0);
}
#endif

}  // namespace
