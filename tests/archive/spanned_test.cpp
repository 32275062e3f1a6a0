// Archives on more than one volume: a numbered QZVW set on a fixed drive;
// spanned sets on the POSIX layer's simulated removable drive, with the
// questions for their disks; QzSetVolumeLabel.
#include <gtest/gtest.h>

#include "archive/archive.h"
#include "support/archive_helpers.h"
#include "support/recording_callback.h"
#ifndef _WIN32
#include "platform/host.h"
#include "support/no_terminal.h"
#include "support/removable_drive.h"
#endif

using namespace qztest;

namespace {

TEST(Volumes, QzvwSetMovesToTheVolumeOfEachEntryWithoutAsking)
{
    TempDir dir;
    std::vector<std::string> vols = buildQzvwSet(1, {{Entry("1", "one")}, {Entry("2", "two"), Entry("3", "x", 8)}});
    put(dir, "SET.001", vols[0]);
    put(dir, "SET.002", vols[1]);
    RecordingCallback cb;
    OpenArchive a(dir.file("SET.001"));
    EXPECT_EQ(Qz4UnZip(&a.h, nullptr, nullptr, "*.*", nullptr, "-t"), 0);
    EXPECT_TRUE(cb.eventsOf(QZ_EVENT_QUESTION).empty());
    std::string last = cb.events().at(cb.events().size() - 1).archiveName;
    EXPECT_EQ(last.substr(last.size() - 8), "\\SET.002");
}

#ifndef _WIN32
class Spanned : public ::testing::Test {
protected:
    TempDir dir;
    RemovableDrive drive{'A', dir.file("floppy")};
    std::vector<std::string> volumes;
    std::string name = drive.path("ARCHIVE.ZIP");
    void SetUp() override
    {
        std::vector<Entry> entries;
        for (int i = 0; i < 5; ++i)
            entries.emplace_back("file" + std::to_string(i) + ".txt", std::string(150 + 40 * i, 'a'), i % 2 * 8);
        entries[0].comment = std::string(100, 'c');
        volumes = buildSpanned(entries, 400);   // the directory spans the last two disks
        drive.useSet("ARCHIVE.ZIP", volumes);
        drive.insertVolume(1);
    }
    void TearDown() override { qzhost_clear_faults(); }
    int insertAsked(const QzPrintBlock &b)
    {
        drive.insertVolume(b.eventCode == QZ_QUESTION_LAST_DISK ? (unsigned)volumes.size() : (unsigned)b.diskNumber);
        return QZ_ANSWER_OK;
    }
};

TEST_F(Spanned, OpeningAsksForTheLastDiskThenForTheDirectoryDisks)
{
    const int16_t n = (int16_t)volumes.size();
    ASSERT_GE(n, 4);
    RecordingCallback cb;
    cb.onEvent([&](const QzPrintBlock &b) { return insertAsked(b); });
    OpenArchive a(name);
    std::vector<std::vector<int16_t>> asked;
    for (const QzPrintBlock &b : cb.events())
        asked.push_back({b.eventKind, b.eventCode, b.diskNumber, b.operation});
    EXPECT_EQ(asked, (decltype(asked){{1, 3, 10000, QZ_OP_INDEXING}, {1, 1, n - 1, 4}, {1, 1, n, 4}}));
    EXPECT_EQ(listAll(a.h).names.size(), 5u);
    // Testing the entries asks for their disks; a disk is taken only under its own label.
    std::vector<std::string> labels = {"", spannedLabel(2), spannedLabel(1) + "0"};
    cb.clear();
    cb.onEvent([&](const QzPrintBlock &b) {
        if (cb.events().size() > labels.size())
            return insertAsked(b);
        drive.insert("ARCHIVE.ZIP", volumes[0], labels[cb.events().size() - 1]);
        return (int)QZ_ANSWER_OK;
    });
    EXPECT_EQ(Qz4UnZip(&a.h, nullptr, nullptr, "*.*", nullptr, "-t"), 0);
    EXPECT_EQ(cb.eventsOf(QZ_EVENT_QUESTION, QZ_QUESTION_DISK).at(3).diskNumber, 1);
    // Three digits number a volume: a larger number is refused before anything is closed.
    qz::archive::Archive *r;
    ASSERT_EQ(qz::archive::findArchive(a.h, &r), 0);
    r->volume = 1000;
    EXPECT_EQ(qz::archive::changeVolume(r), QZ_ERR_FILE);
    EXPECT_NE(Qz4GetCDR(a.h), -1);
}

// Each question for the last disk is answered by the next step of the row,
// then by the last disk; the other questions by their disk, or cancel.
struct Step {
    std::string bytes, label;
    int16_t answer = QZ_ANSWER_OK;
    bool failOpen = false;
};

TEST_F(Spanned, AnswersToTheQuestionForTheLastDisk)
{
    std::string last = spannedLabel((unsigned)volumes.size());
    const std::string &end = volumes.back(), hidden = buildSpanned({Entry("a", "1")}, 400, "comment").back();
    const Step cancel = {"", "", QZ_ANSWER_CANCEL};
    const struct {
        const char *name;
        std::vector<Step> steps;
        bool cancelOthers;
        int16_t result;
        size_t questions;
    } rows[] = {
        {"labels that name no disk", {{end, ""}, {end, "PKBACK# "}, {end, "pkback# 9"}}, false, 0, 3},
        {"no end record at the end", {{volumes[1], spannedLabel(2)}, {"short", last}}, false, 0, 3},
        {"an archive comment hides the end record", {{hidden, last}, {hidden, last}, cancel}, false, -4, 3},
        {"cancelled after a failed open", {{end, last, QZ_ANSWER_OK, true}, cancel}, false, QZ_ERR_FILE, 2},
        {"directory disk cancelled", {}, true, QZ_CANCELLED, 1},
    };
    for (const auto &row : rows) {
        drive.insertVolume(1);
        RecordingCallback cb;
        size_t step = 0;
        cb.onEvent([&](const QzPrintBlock &b) {
            if (b.eventCode != QZ_QUESTION_LAST_DISK || step == row.steps.size())
                return b.eventCode != QZ_QUESTION_LAST_DISK && row.cancelOthers ? QZ_ANSWER_CANCEL : insertAsked(b);
            const Step &s = row.steps[step++];
            drive.insert("ARCHIVE.ZIP", s.bytes, s.label);
            if (s.failOpen)
                qzhost_fail_call("CreateFileA", 1, ERROR_SHARING_VIOLATION, 0);
            return (int)s.answer;
        });
        qzhost_reset_counters();
        OpenArchive a(name);
        EXPECT_EQ(a.result, row.result) << row.name;
        EXPECT_EQ(cb.eventsOf(QZ_EVENT_QUESTION, QZ_QUESTION_LAST_DISK).size(), row.questions) << row.name;
        qzhost_counters c;
        qzhost_get_counters(&c);
        EXPECT_EQ(a.result ? c.blocks + c.handles : 0, 0) << row.name;
    }
}

// The print switch off, the question is cancelled; on, with no hook, it is a
// message box, and with nobody to answer it the open is cancelled at the first
// box (the 50th fails, so that a regression ends).
TEST_F(Spanned, ADiskQuestionThatNobodyCanAnswerCancelsTheOpen)
{
    EXPECT_EQ(OpenArchive(name).result, QZ_CANCELLED);
    NoTerminalInput noTerminal;
    Qz4CPrintHook(nullptr);
    Qz4SetCPrint(1);
    qzhost_fail_call("MessageBoxA", 50, ERROR_NOT_ENOUGH_MEMORY, 0);
    qzhost_reset_counters();
    OpenArchive a(name);
    Qz4SetCPrint(0);
    EXPECT_EQ(a.result, QZ_CANCELLED);
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.boxes, 1u);
}

TEST(VolumeLabel, SetOnTheDriveOfThePathOrTheCurrentDrive)
{
    TempDir dir;
    char label[40];
    ASSERT_EQ(qzhost_map_drive('D', dir.path().c_str(), DRIVE_REMOVABLE, "OLD"), 0);
    EXPECT_EQ(QzSetVolumeLabel("D:\\some\\dir", "PKBACK# 002"), 0);
    EXPECT_TRUE(GetVolumeInformationA("D:\\", label, sizeof label, NULL, NULL, NULL, NULL, 0));
    EXPECT_STREQ(label, "PKBACK# 002");
    qzhost_unmap_drive('D');
    EXPECT_EQ(QzSetVolumeLabel("D:\\", "NONE"), QZ_ERR_FILE);
}
#endif

}  // namespace
