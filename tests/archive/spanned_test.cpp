// A numbered QZVW set on a fixed drive; spanned sets on the POSIX layer's
// simulated removable drive, with the questions for their disks.
#include <gtest/gtest.h>

#include "archive/archive.h"
#include "qzunpack_ext.h"
#include "support/archive_helpers.h"
#include "support/recording_callback.h"
#ifndef _WIN32
#include "platform/host.h"
#include "support/no_terminal.h"
#include "support/removable_drive.h"
#endif

using namespace qztest;

namespace {

TEST(Volumes, QzvwSetMovesToTheVolumeOfEachEntryWithoutAsking) {
    TempDir dir;
    auto vols = buildQzvwSet(1, {{Entry("1", "a")}, {Entry("2", "b"), Entry("3", "c", 8)}});
    put(dir, "SET.001", vols[0]);
    put(dir, "SET.002", vols[1]);
    RecordingCallback cb;
    OpenArchive a(dir.file("SET.001"));
    EXPECT_EQ(Qz4UnZip(&a.h, nullptr, nullptr, "*.*", nullptr, "-t"), 0);
    EXPECT_TRUE(cb.eventsOf(QZ_EVENT_QUESTION).empty());
}

// A spanned set split into files beside each other (NAME.z01 ... NAME.zip),
// read without a question whichever volume is opened; a first volume alone
// is no archive, and no endless search for its last one.
TEST(Volumes, SplitSetFoundByNameBesideTheVolumeOpened) {
    TempDir dir;
    std::vector<Entry> entries = {Entry("1", std::string(300, 'a')), Entry("2", std::string(500, 'b'), 8)};
    std::vector<std::string> vols = buildSpanned(entries, 256);
    for (size_t k = 0; k + 1 < vols.size(); ++k)
        put(dir, "SET.z0" + std::to_string(k + 1), vols[k]);
    put(dir, "SET.zip", vols.back());
    put(dir, "ALONE.zip", vols[0]);
    QzSetExtensions(QZ_EXT_ALL);
    RecordingCallback cb;
    for (const char *name : {"SET.zip", "SET.z01"}) {
        OpenArchive a(dir.file(name));
        EXPECT_EQ(Qz4UnZip(&a.h, nullptr, nullptr, "*.*", nullptr, "-t"), 0) << name;
    }
    EXPECT_EQ(OpenArchive(dir.file("ALONE.zip")).result, QZ_ERR_NOT_ZIP);
    EXPECT_TRUE(cb.eventsOf(QZ_EVENT_QUESTION).empty());
    QzSetExtensions(0);
}

#ifndef _WIN32
class Spanned : public ::testing::Test {
protected:
    TempDir dir;
    RemovableDrive drive{'A', dir.file("floppy")};
    std::vector<std::string> volumes;
    std::string name = drive.path("ARCHIVE.ZIP");
    void SetUp() override {
        std::vector<Entry> entries;
        for (int i = 0; i < 5; ++i)
            entries.emplace_back("file" + std::to_string(i), std::string(150 + 40 * i, 'a'), i % 2 * 8);
        entries[0].comment = std::string(100, 'c');
        volumes = buildSpanned(entries, 400);   // the directory spans the last two disks
        drive.useSet("ARCHIVE.ZIP", volumes);
        drive.insertVolume(1);
    }
    void TearDown() override { qzhost_clear_faults(); }
};

TEST_F(Spanned, OpeningAsksForTheLastDiskThenForTheDirectoryDisks) {
    const int n = (int)volumes.size(), last = QZ_QUESTION_LAST_DISK, disk = QZ_QUESTION_DISK;
    RecordingCallback cb;
    cb.onEvent([&](const QzPrintBlock &b) {   // puts in the disk asked for
        drive.insertVolume(b.eventCode == last ? n : b.diskNumber);
        return (int)QZ_ANSWER_OK;
    });
    OpenArchive a(name);
    std::vector<std::vector<int>> asked;
    for (const QzPrintBlock &b : cb.events())
        asked.push_back({b.eventKind, b.eventCode, b.diskNumber, b.operation});
    EXPECT_EQ(asked, (decltype(asked){{1, last, 10000, QZ_OP_INDEXING}, {1, disk, n - 1, 4}, {1, 1, n, 4}}));
    EXPECT_EQ(listAll(a.h).names.size(), 5u);
    cb.clear();
    EXPECT_EQ(Qz4UnZip(&a.h, nullptr, nullptr, "*.*", nullptr, "-t"), 0);   // asks for each entry's disk
    EXPECT_EQ(cb.eventsOf(QZ_EVENT_QUESTION, QZ_QUESTION_DISK).at(0).diskNumber, 1);
    // Three digits number a volume: a larger number is refused before anything is closed.
    qz::archive::Archive *r = qz::archive::listHead();   // the newest open archive
    r->volume = 1000;
    EXPECT_EQ(qz::archive::changeVolume(r), QZ_ERR_FILE);
    EXPECT_NE(Qz4GetCDR(a.h), -1);
}

// Print switch off: the question is cancelled.  On, with no hook, it is a message box; with
// nobody to answer, the open is cancelled at the first box (the 50th fails, so a regression ends).
TEST_F(Spanned, ADiskQuestionThatNobodyCanAnswerCancelsTheOpen) {
    EXPECT_EQ(OpenArchive(name).result, QZ_CANCELLED);
    NoTerminalInput noTerminal;
    Qz4CPrintHook(nullptr);
    Qz4SetCPrint(1);
    qzhost_fail_call(QZHOST_MessageBoxA, 50, ERROR_NOT_ENOUGH_MEMORY, 0);
    qzhost_reset_counters();
    OpenArchive a(name);
    Qz4SetCPrint(0);
    EXPECT_EQ(a.result, QZ_CANCELLED);
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.boxes, 1u);
}

TEST_F(Spanned, QzSetVolumeLabelLabelsTheDriveOfThePath) {
    char label[40];
    EXPECT_EQ(QzSetVolumeLabel("A:\\some\\dir", "PKBACK# 002"), 0);
    EXPECT_TRUE(GetVolumeInformationA("A:\\", label, sizeof label, NULL, NULL, NULL, NULL, 0));
    EXPECT_STREQ(label, "PKBACK# 002");
    EXPECT_EQ(QzSetVolumeLabel("Q:\\", "NONE"), QZ_ERR_FILE);
}
#endif

}  // namespace
