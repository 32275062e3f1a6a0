// The control exports, the print-callback exports and the dispatcher's
// answers through the host's callback.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "frame/frame.h"
#include "qzunpack.h"

namespace {

// Taken during static initialisation, before any test has touched the state.
struct AtLoad {
    int32_t doEvents = Qz4GetDoEvents();
    int32_t print = Qz4GetCPrint();
    int32_t parseType = Qz4GetParseType();
    int16_t parsePlace = Qz4GetParsePlace();
    int16_t moreStatus = Qz4MoreStatus();
} const atLoad;

TEST(Control, StateAfterLoading)
{
    EXPECT_EQ(atLoad.doEvents, 1);
    EXPECT_EQ(atLoad.print, 0);
    EXPECT_EQ(atLoad.parseType, 0);
    EXPECT_EQ(atLoad.parsePlace, -1);
    EXPECT_EQ(atLoad.moreStatus, 0);
}

TEST(Control, SettersStoreOneForAnyNonZeroValue)
{
    Qz4SetParseType(2);
    EXPECT_EQ(Qz4GetParseType(), -1);
    Qz4SetParseType(0);
    EXPECT_EQ(Qz4GetParseType(), 0);

    Qz4SetDoEvents(7);
    EXPECT_EQ(Qz4GetDoEvents(), 1);
    Qz4SetDoEvents(0);
    EXPECT_EQ(Qz4GetDoEvents(), 0);
    Qz4SetDoEvents(-1);
    EXPECT_EQ(Qz4GetDoEvents(), 1);

    Qz4SetCPrint(-1);
    EXPECT_EQ(Qz4GetCPrint(), 1);
    Qz4SetCPrint(0);
    EXPECT_EQ(Qz4GetCPrint(), 0);
}

TEST(Control, CancelIsARequestTakenOnce)
{
    Qz4Cancel();
    EXPECT_TRUE(qz::frame::takeCancel());
    EXPECT_FALSE(qz::frame::takeCancel());
}

TEST(Percent, Formula)
{
    EXPECT_EQ(Qz4ZipPercent(200, 50), 75);
    EXPECT_EQ(Qz4ZipPercent(200, 0), 100);
    EXPECT_EQ(Qz4ZipPercent(200, 200), 0);
    EXPECT_EQ(Qz4ZipPercent(200, 300), 0);
    EXPECT_EQ(Qz4ZipPercent(0, 0), 0);
    EXPECT_EQ(Qz4ZipPercent(-5, -10), 0);
    EXPECT_EQ(Qz4ZipPercent(200, -1), 100);
    EXPECT_EQ(Qz4ZipPercent(3, 1), 67);
    // Large values are scaled down before multiplying.
    EXPECT_EQ(Qz4ZipPercent(2 * 30000000, 30000000), 50);
    EXPECT_EQ(Qz4ZipPercent(0x7FFFFFFF, 0x7FFFFFFE), 0);
    // The halving can make part equal total; the quotient stops at 100.
    EXPECT_EQ(Qz4ZipPercent(40000001, 40000000), 0);
    EXPECT_EQ(Qz4ZipPercent(0x7FFFFFFF, 21474837), 100);
}

TEST(ExtendedInfo, CopiesAtMostTwelveBytes)
{
    qz::frame::g.extInfo.dosDate = 0x1234;
    qz::frame::g.extInfo.dosTime = 0x5678;
    qz::frame::g.extInfo.reserved1 = 0xAABBCCDD;
    qz::frame::g.extInfo.reserved2 = 0x11223344;

    unsigned char buf[20];
    memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(Qz4ExtendedCPrintInfo(20, buf), 12);
    EXPECT_EQ(memcmp(buf, &qz::frame::g.extInfo, 12), 0);
    EXPECT_EQ(buf[12], 0xEE);

    memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(Qz4ExtendedCPrintInfo(4, buf), 4);
    EXPECT_EQ(buf[0], 0x34);
    EXPECT_EQ(buf[3], 0x56);
    EXPECT_EQ(buf[4], 0xEE);

    memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(Qz4ExtendedCPrintInfo(-3, buf), 0);
    EXPECT_EQ(Qz4ExtendedCPrintInfo(0, buf), 0);
    EXPECT_EQ(buf[0], 0xEE);
}

// A print callback that records each copy it is given and answers from a
// fixed value.
std::vector<QzPrintBlock> seen;
int16_t nextAnswer = 1;

int16_t QZ_CALL recorder(QzPrintBlock block)
{
    seen.push_back(block);
    // The copy belongs to the callback: scribbling on it changes nothing.
    memset(block.fileName, 'x', sizeof block.fileName - 1);
    return nextAnswer;
}

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        seen.clear();
        nextAnswer = 1;
        Qz4CPrintHook(recorder);
        Qz4SetCPrint(1);
    }
    void TearDown() override
    {
        Qz4SetCPrint(0);
        Qz4CPrintHook(nullptr);
    }
};

TEST_F(Dispatch, SetCPrintResetsTheBlockButNotTheEvent)
{
    QzPrintBlock &b = qz::frame::g.print;
    strcpy(b.archiveName, "a.zip");
    strcpy(b.fileName, "f.txt");
    b.entrySize = b.bytesDone = b.entrySize2 = 9;
    b.method = 5;
    b.eventKind = 1;
    b.eventCode = 2;
    b.diskNumber = 3;
    Qz4SetCPrint(1);
    EXPECT_EQ(b.archiveName[0], 0);
    EXPECT_EQ(b.fileName[0], 0);
    EXPECT_EQ(+b.operation, QZ_OP_NONE);
    EXPECT_EQ(+b.entrySize, 0u);
    EXPECT_EQ(+b.bytesDone, 0u);
    EXPECT_EQ(+b.entrySize2, 0u);
    EXPECT_EQ(+b.method, 0);
    EXPECT_EQ(+b.eventKind, 1);
    EXPECT_EQ(+b.eventCode, 2);
    EXPECT_EQ(+b.diskNumber, 3);

    // Switching off changes nothing but the switch.
    b.operation = QZ_OP_TESTING;
    Qz4SetCPrint(0);
    EXPECT_EQ(+b.operation, QZ_OP_TESTING);
}

TEST_F(Dispatch, HookReceivesBackslashesAndTheLibraryKeepsSlashes)
{
    strcpy(qz::frame::g.print.archiveName, "C:/data/set/a.zip");
    strcpy(qz::frame::g.print.fileName, "out/sub/f.txt");
    nextAnswer = 6;
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_OVERWRITE), 6);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_STREQ(seen[0].archiveName, "C:\\data\\set\\a.zip");
    EXPECT_STREQ(seen[0].fileName, "out\\sub\\f.txt");
    EXPECT_EQ(+seen[0].eventKind, QZ_EVENT_QUESTION);
    EXPECT_EQ(+seen[0].eventCode, QZ_QUESTION_OVERWRITE);
    EXPECT_STREQ(qz::frame::g.print.archiveName, "C:/data/set/a.zip");
    EXPECT_STREQ(qz::frame::g.print.fileName, "out/sub/f.txt");
}

TEST_F(Dispatch, DiskQuestionCarriesTheDiskNumber)
{
    nextAnswer = 1;
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_DISK, 4), 1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(+seen[0].diskNumber, 4);
}

TEST_F(Dispatch, HookAnswerIsPassedThrough)
{
    for (int16_t answer : {int16_t(-4), int16_t(0), int16_t(7), int16_t(106), int16_t(32767)}) {
        nextAnswer = answer;
        EXPECT_EQ(qz::frame::raise(QZ_EVENT_MESSAGE, QZ_CRC_MISMATCH), answer);
    }
    EXPECT_EQ(seen.size(), 5u);
}

TEST_F(Dispatch, DefaultAnswerForANotificationIsOkWithoutABox)
{
    nextAnswer = QZ_ANSWER_DEFAULT;
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_NOTIFICATION, 0), QZ_ANSWER_OK);
    EXPECT_EQ(seen.size(), 1u);
}

TEST(DispatchSilent, AnswersWithoutAskingAnybody)
{
    seen.clear();
    Qz4CPrintHook(recorder);
    Qz4SetCPrint(0);
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_OVERWRITE), QZ_ANSWER_NO);
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_DISK, 2), QZ_ANSWER_CANCEL);
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_LAST_DISK), QZ_ANSWER_CANCEL);
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_QUESTION, 9), QZ_ANSWER_CANCEL);
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_MESSAGE, QZ_CRC_MISMATCH), QZ_ANSWER_OK);
    EXPECT_EQ(qz::frame::raise(QZ_EVENT_NOTIFICATION, 0), QZ_ANSWER_OK);
    EXPECT_TRUE(seen.empty());
    Qz4CPrintHook(nullptr);
}

}  // namespace
