// The message-box fallback and the message pump, observed through the POSIX
// layer's host controls (its message-box responder and pump counter).
#ifndef _WIN32

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "frame/frame.h"
#include "platform/host.h"
#include "qzunpack.h"

namespace {

struct Box {
    std::string text, caption;
    UINT style;
    bool owned;
};

struct Responder {
    std::vector<Box> boxes;
    int answer = IDOK;
};

int respond(void *context, HWND owner, const char *text, const char *caption, UINT style)
{
    auto *r = static_cast<Responder *>(context);
    r->boxes.push_back({text, caption, style, owner != nullptr});
    return r->answer;
}

int16_t hookAnswer;
int hookCalls;
int16_t QZ_CALL hook(QzPrintBlock)
{
    hookCalls++;
    return hookAnswer;
}

class MessageBoxFallback : public ::testing::Test {
protected:
    Responder responder;
    QzPrintBlock &block = qz::frame::g.print;

    void SetUp() override
    {
        qzhost_reset();
        qzhost_set_responder(respond, &responder);
        Qz4CPrintHook(nullptr);
        Qz4SetCPrint(1);
        strcpy(block.fileName, "C:/out/dir/file.txt");
        block.operation = QZ_OP_EXTRACTING;
    }
    void TearDown() override
    {
        Qz4SetCPrint(0);
        Qz4CPrintHook(nullptr);
        qzhost_reset();
    }
    const Box &only()
    {
        EXPECT_EQ(responder.boxes.size(), 1u);
        return responder.boxes.back();
    }
};

TEST_F(MessageBoxFallback, MessagesAppendTheirSuffixToTheDestinationPath)
{
    struct { int16_t code; const char *text; } cases[] = {
        {QZ_CRC_MISMATCH, "C:\\out\\dir\\file.txt: CRC mismatch. File may have error."},
        {QZ_WRONG_PASSWORD, "C:\\out\\dir\\file.txt: wrong password. Skipping file."},
        {QZ_ERR_METHOD, "C:\\out\\dir\\file.txt: unknown compression method. Skipping file."},
        {QZ_ERR_FILE, "C:\\out\\dir\\file.txt: access denied. Skipping file."},
        {42, "C:\\out\\dir\\file.txt"},
    };
    for (auto &c : cases) {
        responder.boxes.clear();
        responder.answer = IDCANCEL;
        EXPECT_EQ(qz::frame::raise(QZ_EVENT_MESSAGE, c.code), IDCANCEL);
        const Box &b = only();
        EXPECT_EQ(b.text, c.text);
        EXPECT_EQ(b.caption, "UnZipping");
        EXPECT_EQ(b.style, 0x31u);
        EXPECT_FALSE(b.owned);
    }
}

TEST_F(MessageBoxFallback, CaptionFollowsTheOperation)
{
    struct { int16_t op; const char *caption; } cases[] = {
        {QZ_OP_EXTRACTING, "UnZipping"}, {QZ_OP_TESTING, "Testing"},
        {QZ_OP_INDEXING, "Indexing"}, {QZ_OP_NONE, ""}, {QZ_OP_SKIPPED, ""},
    };
    for (auto &c : cases) {
        responder.boxes.clear();
        block.operation = c.op;
        qz::frame::raise(QZ_EVENT_MESSAGE, QZ_CRC_MISMATCH);
        EXPECT_EQ(only().caption, c.caption);
    }
}

TEST_F(MessageBoxFallback, Questions)
{
    responder.answer = IDOK;
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_DISK, 2), IDOK);
    EXPECT_EQ(only().text, "Insert disk # 2");
    EXPECT_EQ(only().style, 0x21u);

    responder.boxes.clear();
    qz::frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_DISK, 10000);
    EXPECT_EQ(only().text, "Insert disk # 10000");

    responder.boxes.clear();
    responder.answer = IDNO;
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_OVERWRITE), IDNO);
    EXPECT_EQ(only().text, "C:\\out\\dir\\file.txt: file already exists. Overwrite it?");
    EXPECT_EQ(only().style, 0x123u);

    responder.boxes.clear();
    qz::frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_LAST_DISK);
    EXPECT_EQ(only().text, "Insert the last disk of the set.");
    EXPECT_EQ(only().style, 0x21u);

    responder.boxes.clear();
    qz::frame::raise(QZ_EVENT_QUESTION, 77);
    EXPECT_EQ(only().text, "C:\\out\\dir\\file.txt");
    EXPECT_EQ(only().style, 0x20u);
}

TEST_F(MessageBoxFallback, NotificationsAreNeverShown)
{
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_NOTIFICATION, 0), QZ_ANSWER_OK);
    EXPECT_TRUE(responder.boxes.empty());
}

TEST_F(MessageBoxFallback, UseDefaultAnswerFromTheHookShowsTheBox)
{
    Qz4CPrintHook(hook);
    hookCalls = 0;
    hookAnswer = QZ_ANSWER_DEFAULT;
    responder.answer = IDYES;
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_OVERWRITE), IDYES);
    EXPECT_EQ(hookCalls, 1);
    EXPECT_EQ(only().style, 0x123u);

    // Any other answer of the hook is final.
    responder.boxes.clear();
    hookAnswer = IDNO;
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_OVERWRITE), IDNO);
    EXPECT_TRUE(responder.boxes.empty());
}

TEST_F(MessageBoxFallback, NoBoxWhileThePrintSwitchIsOff)
{
    Qz4SetCPrint(0);
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_OVERWRITE), QZ_ANSWER_NO);
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_MESSAGE, QZ_CRC_MISMATCH), QZ_ANSWER_OK);
    EXPECT_TRUE(responder.boxes.empty());
}

TEST_F(MessageBoxFallback, DoubleByteTrailBytesAreNotSeparators)
{
    qzhost_set_codepage(932);
    // 0x95 0x2F is one character whose trail byte is '/'.
    strcpy(block.fileName, "a/\x95/b");
    qz::frame::raise(QZ_EVENT_MESSAGE, 42);
    EXPECT_EQ(only().text, "a\\\x95/b");
}

TEST(MessagePump, PeeksOnlyWhileDoEventsIsSet)
{
    qzhost_reset();
    qzhost_reset_counters();
    Qz4SetDoEvents(1);
    qz::frame::pump();
    qz::frame::pump();
    EXPECT_EQ(qzhost_pump_count(), 2u);
    Qz4SetDoEvents(0);
    qz::frame::pump();
    EXPECT_EQ(qzhost_pump_count(), 2u);
    Qz4SetDoEvents(1);
}

TEST(MessagePump, AHookCanCancel)
{
    qzhost_reset();
    qzhost_set_pump_hook([](void *) { Qz4Cancel(); }, nullptr);
    qz::frame::pump();
    EXPECT_TRUE(qz::frame::takeCancel());
    qzhost_reset();
}

}  // namespace

#endif
