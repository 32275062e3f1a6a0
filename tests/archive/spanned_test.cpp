// Spanned sets on a simulated removable drive: the questions for the last
// disk and for numbered disks while opening, the label checks, the volume
// change for an entry, and QzSetVolumeLabel.  They need the POSIX layer's
// drive table, so they are left out on Windows.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "frame/frame.h"
#include "support/archive_helpers.h"
#include "platform/host.h"
#include "support/recording_callback.h"
#include "support/no_terminal.h"
#include "support/removable_drive.h"

using namespace qztest;
namespace qa = qz::archive;

namespace {

std::vector<Entry> setEntries()
{
    std::vector<Entry> e;
    for (int i = 0; i < 5; ++i) {
        Entry x("file" + std::to_string(i) + ".txt", std::string(150 + 40 * i, (char)('a' + i)), i % 2 ? 8 : 0);
        x.comment = "entry " + std::to_string(i);
        e.push_back(x);
    }
    return e;
}

class Spanned : public ::testing::Test {
protected:
    TempDir dir;
    RemovableDrive drive{'A', dir.file("floppy")};
    std::vector<std::string> volumes;
    std::string name = drive.path("ARCHIVE.ZIP");

    void SetUp() override
    {
        // 400-byte disks: the directory starts on one disk and ends on the
        // next.  No archive comment: the end record must fill the last 22
        // bytes of the last disk for the set to be opened.
        volumes = buildSpanned(setEntries(), 400);
        drive.useSet("ARCHIVE.ZIP", volumes);
        drive.insertVolume(1);
    }
    void TearDown() override { qzhost_clear_faults(); }

    // Answers every disk question by inserting the disk asked for.
    static int insertAsked(RemovableDrive &d, unsigned last, const QzPrintBlock &b)
    {
        if (b.eventKind != QZ_EVENT_QUESTION)
            return RecordingCallback::kNoAnswer;
        d.insertVolume(b.eventCode == QZ_QUESTION_LAST_DISK ? last : (unsigned)b.diskNumber);
        return QZ_ANSWER_OK;
    }
    unsigned lastDisk() const { return (unsigned)volumes.size(); }
    uint16_t dirDisk() const
    {
        return qa::get16((const uint8_t *)volumes.back().data() + volumes.back().size() - 22 + 6);
    }
};

TEST_F(Spanned, TheSetIsLaidOutAsTheTestsNeedIt)
{
    ASSERT_GE(volumes.size(), 4u);
    // The directory starts before the last disk.
    EXPECT_LT(dirDisk() + 1u, lastDisk());
    uint16_t type;
    EXPECT_EQ(Qz4IdentifyFile(name.c_str(), &type), 0);
    EXPECT_EQ(type, QZ_TYPE_SPANNED);
    EXPECT_EQ(GetDriveTypeA("A:\\"), (UINT)DRIVE_REMOVABLE);
}

TEST_F(Spanned, OpeningAsksForTheLastDiskThenForTheDirectory)
{
    RecordingCallback cb;
    cb.onEvent([&](const QzPrintBlock &b) { return insertAsked(drive, lastDisk(), b); });
    OpenArchive a(name);
    ASSERT_EQ(a.result, 0);
    std::vector<QzPrintBlock> q = cb.events();
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(q[0].eventKind, QZ_EVENT_QUESTION);
    EXPECT_EQ(q[0].eventCode, QZ_QUESTION_LAST_DISK);
    EXPECT_EQ(q[0].diskNumber, 10000);
    EXPECT_EQ(q[0].operation, QZ_OP_INDEXING);
    EXPECT_EQ(q[1].eventCode, QZ_QUESTION_DISK);
    EXPECT_EQ(q[1].diskNumber, dirDisk() + 1);
    EXPECT_EQ(q[2].eventCode, QZ_QUESTION_DISK);
    EXPECT_EQ(q[2].diskNumber, dirDisk() + 2);

    qa::Archive *r;
    ASSERT_EQ(qa::findArchive(a.h, &r), 0);
    EXPECT_EQ(r->flags, qa::kFlagSpanned);
    EXPECT_EQ(r->volume, dirDisk() + 2);
    Listing l = listAll(a.h);
    ASSERT_EQ(l.names.size(), 5u);
    EXPECT_EQ(l.names[4], "file4.txt");
    EXPECT_EQ(l.end, QZ_NO_MORE_ENTRIES);
    // The directory file's end record keeps the last disk's numbers.
    char text[40];
    EXPECT_EQ(Qz4ZipComment(a.h, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(cb.events().size(), 3u);
}

TEST_F(Spanned, EmptyAndBarePrefixLabelsAreNeverTheLastDisk)
{
    RecordingCallback cb;
    int asked = 0;
    cb.onEvent([&](const QzPrintBlock &b) {
        if (b.eventCode == QZ_QUESTION_LAST_DISK) {
            ++asked;
            const std::string &last = volumes.back();
            if (asked == 1)
                drive.insert("ARCHIVE.ZIP", last, "");
            else if (asked == 2)
                drive.insert("ARCHIVE.ZIP", last, "PKBACK# ");
            else if (asked == 3)
                drive.insert("ARCHIVE.ZIP", last, "pkback# 9");   // compared in upper case
            return (int)QZ_ANSWER_OK;
        }
        return insertAsked(drive, lastDisk(), b);
    });
    OpenArchive a(name);
    ASSERT_EQ(a.result, 0);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(listAll(a.h).names.size(), 5u);
}

TEST_F(Spanned, AsksAgainWhileTheDiskHoldsNoEndRecord)
{
    RecordingCallback cb;
    int asked = 0;
    cb.onEvent([&](const QzPrintBlock &b) {
        if (b.eventCode == QZ_QUESTION_LAST_DISK) {
            // Disks 2 and 3 first: good labels, no end record at their end.
            ++asked;
            drive.insertVolume(asked < 3 ? (unsigned)asked + 1 : lastDisk());
            return (int)QZ_ANSWER_OK;
        }
        return insertAsked(drive, lastDisk(), b);
    });
    OpenArchive a(name);
    ASSERT_EQ(a.result, 0);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(cb.eventsOf(QZ_EVENT_QUESTION, QZ_QUESTION_LAST_DISK).size(), 3u);
}

TEST_F(Spanned, AnArchiveCommentHidesTheEndRecordFromTheLastDiskTest)
{
    std::vector<std::string> commented = buildSpanned(setEntries(), 400, "comment");
    drive.useSet("ARCHIVE.ZIP", commented);
    drive.insertVolume(1);
    RecordingCallback cb;
    int asked = 0;
    cb.onEvent([&](const QzPrintBlock &) {
        if (++asked > 3)
            return (int)QZ_ANSWER_CANCEL;
        drive.insertVolume((unsigned)commented.size());
        return (int)QZ_ANSWER_OK;
    });
    OpenArchive a(name);
    EXPECT_EQ(a.result, QZ_CANCELLED);
    EXPECT_EQ(asked, 4);
}

TEST_F(Spanned, CancellingTheFirstQuestionIsMinus4)
{
    RecordingCallback cb;
    cb.setDefault(QZ_ANSWER_CANCEL);
    OpenArchive a(name);
    EXPECT_EQ(a.result, QZ_CANCELLED);
    EXPECT_EQ(a.h, QZ_INVALID_HANDLE);
    EXPECT_EQ(cb.events().size(), 1u);
    EXPECT_EQ(qa::openCount(), 0);
}

TEST_F(Spanned, WithThePrintSwitchOffTheQuestionIsCancelled)
{
    OpenArchive a(name);
    EXPECT_EQ(a.result, QZ_CANCELLED);
}

// The print switch on, no hook: the disk question becomes a message box.
// With nobody to answer it the open is cancelled at the first box, instead
// of reading the drive and asking again for ever.  (The 50th box fails, so
// that a regression ends instead of hanging.)
TEST_F(Spanned, ADiskQuestionThatNobodyCanAnswerCancelsTheOpen)
{
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

TEST_F(Spanned, CancellingAfterAFailedOpenIs105)
{
    RecordingCallback cb;
    int asked = 0;
    cb.onEvent([&](const QzPrintBlock &) {
        if (++asked == 1) {
            drive.insertVolume(lastDisk());
            qzhost_fail_call("CreateFileA", 1, ERROR_SHARING_VIOLATION, 0);
            return (int)QZ_ANSWER_OK;
        }
        return (int)QZ_ANSWER_CANCEL;
    });
    qzhost_reset_counters();
    OpenArchive a(name);
    EXPECT_EQ(a.result, QZ_ERR_FILE);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(a.h, QZ_INVALID_HANDLE);
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.handles, 0);
    EXPECT_EQ(c.blocks, 0);
}

TEST_F(Spanned, CancellingTheDirectoryDiskQuestionFailsTheOpen)
{
    RecordingCallback cb;
    cb.onEvent([&](const QzPrintBlock &b) {
        if (b.eventCode == QZ_QUESTION_LAST_DISK)
            return insertAsked(drive, lastDisk(), b);
        return (int)QZ_ANSWER_CANCEL;
    });
    qzhost_reset_counters();
    OpenArchive a(name);
    EXPECT_EQ(a.result, QZ_CANCELLED);
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.handles, 0);
}

TEST_F(Spanned, NumberedDiskIsAcceptedOnlyWithItsOwnLabel)
{
    RecordingCallback cb;
    int asked = 0;
    cb.onEvent([&](const QzPrintBlock &b) {
        ++asked;
        EXPECT_EQ(b.eventCode, QZ_QUESTION_DISK);
        EXPECT_EQ(b.diskNumber, 7);
        drive.insert("ARCHIVE.ZIP", "disk", asked == 1 ? "PKBACK# 006" : asked == 2 ? "PKBACK# 0070" : "PKBACK# 007");
        return (int)QZ_ANSWER_OK;
    });
    HANDLE h = INVALID_HANDLE_VALUE;
    ASSERT_EQ(qa::requestVolume(7, name.c_str(), &h), 0);
    EXPECT_EQ(asked, 3);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

TEST_F(Spanned, VolumeChangeForAnEntryAsksForItsDiskAndChecksTheLabel)
{
    RecordingCallback cb;
    cb.onEvent([&](const QzPrintBlock &b) { return insertAsked(drive, lastDisk(), b); });
    OpenArchive a(name);
    ASSERT_EQ(a.result, 0);
    Listing l = listAll(a.h);
    ASSERT_EQ(l.records.size(), 5u);
    qa::Archive *r;
    ASSERT_EQ(qa::findArchive(a.h, &r), 0);
    cb.clear();

    // The first entry is on disk 0: volume 1.  A wrong disk first.
    int asked = 0;
    cb.onEvent([&](const QzPrintBlock &b) {
        ++asked;
        drive.insertVolume(asked == 1 ? 2 : (unsigned)b.diskNumber);
        return (int)QZ_ANSWER_OK;
    });
    qz::frame::g.print.operation = QZ_OP_EXTRACTING;
    QzHandle h = a.h;
    ASSERT_EQ(qa::switchToEntryVolume(r, &l.records[0], &h), 0);
    EXPECT_EQ(asked, 2);
    ASSERT_EQ(cb.events().size(), 2u);
    EXPECT_EQ(cb.events()[0].eventCode, QZ_QUESTION_DISK);
    EXPECT_EQ(cb.events()[0].diskNumber, 1);
    EXPECT_EQ(cb.events()[0].operation, QZ_OP_EXTRACTING);
    EXPECT_EQ(r->volume, 1);
    EXPECT_EQ(Qz4GetCDR(a.h), -1);   // the old handle names nothing now
    a.h = h;
    EXPECT_NE(Qz4GetCDR(a.h), -1);

    // The entry's bytes, copied across the disks it spans.
    const QzEntryRecord &e = l.records[4];
    cb.onEvent([&](const QzPrintBlock &b) { return insertAsked(drive, lastDisk(), b); });
    ASSERT_EQ(qa::switchToEntryVolume(r, &e, &a.h), 0);
    ASSERT_TRUE(qa::seekTo(r->file, e.localHeaderOffset));
    std::string outPath = dir.file("entry.bin");
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    uint32_t count = 30 + e.nameLength + e.extraLength + e.compressedSize;
    EXPECT_EQ(qa::copyAcrossVolumes(r, out, count, &a.h), 0);
    CloseHandle(out);
    std::string expect = writeEntry(setEntries()[4]).local;
    EXPECT_EQ(readFile(outPath), expect);

    // Cancelled: -4, and the archive can only be closed.
    cb.onEvent([&](const QzPrintBlock &) { return (int)QZ_ANSWER_CANCEL; });
    EXPECT_EQ(qa::switchToEntryVolume(r, &l.records[0], &a.h), QZ_CANCELLED);
    EXPECT_TRUE(r->flags & qa::kFlagFileClosed);
    qzhost_reset_counters();
    Qz4ZipClose(&a.h);
    a.h = QZ_INVALID_HANDLE;
    EXPECT_EQ(qa::openCount(), 0);
}

TEST_F(Spanned, VolumeNumbersAbove999AreRefused)
{
    RecordingCallback cb;
    cb.onEvent([&](const QzPrintBlock &b) { return insertAsked(drive, lastDisk(), b); });
    OpenArchive a(name);
    ASSERT_EQ(a.result, 0);
    qa::Archive *r;
    ASSERT_EQ(qa::findArchive(a.h, &r), 0);
    size_t before = cb.events().size();
    r->volume = 1000;
    EXPECT_EQ(qa::changeVolume(r), QZ_ERR_FILE);
    EXPECT_EQ(cb.events().size(), before);
    EXPECT_FALSE(r->flags & qa::kFlagFileClosed);
    EXPECT_NE(Qz4GetCDR(a.h), -1);
}

TEST(VolumeLabel, SetsTheDriveOfThePathOrTheCurrentDrive)
{
    TempDir dir;
    ASSERT_EQ(qzhost_map_drive('B', dir.path().c_str(), DRIVE_FIXED, "OLD"), 0);
    ASSERT_EQ(qzhost_map_drive('D', dir.path().c_str(), DRIVE_REMOVABLE, "OLD"), 0);
    char label[qa::kNameBytes];
    EXPECT_EQ(QzSetVolumeLabel("D:\\some\\dir", "PKBACK# 002"), 0);
    qa::readVolumeLabel("D:\\", label);
    EXPECT_STREQ(label, "PKBACK# 002");
    qa::readVolumeLabel("B:\\", label);
    EXPECT_STREQ(label, "OLD");
    // The current drive is the drive of the current directory.
    std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    ASSERT_EQ(qzhost_set_current_drive('B'), 0);
    EXPECT_EQ(QzSetVolumeLabel(nullptr, "VIA NULL"), 0);
    qa::readVolumeLabel("B:\\", label);
    EXPECT_STREQ(label, "VIA NULL");
    EXPECT_EQ(QzSetVolumeLabel("relative\\path", "RELATIVE"), 0);
    qa::readVolumeLabel("B:\\", label);
    EXPECT_STREQ(label, "RELATIVE");
    char letter[2];
    qa::driveLetter("x", letter);
    EXPECT_STREQ(letter, "B");
    qa::driveLetter("Q:foo", letter);
    EXPECT_STREQ(letter, "Q");
    qzhost_set_current_drive('C');
    std::filesystem::current_path(cwd);
    EXPECT_EQ(QzSetVolumeLabel("R:\\", "NONE"), QZ_ERR_FILE);
    qa::readVolumeLabel("R:\\", label);
    EXPECT_STREQ(label, "");
    qzhost_unmap_drive('B');
    qzhost_unmap_drive('D');
}

TEST(VolumeLabel, RootsOfDrivesAndShares)
{
    char root[qa::kNameBytes];
    qa::volumeRoot("A:\\dir\\file.zip", root);
    EXPECT_STREQ(root, "A:\\");
    qa::volumeRoot("\\\\server\\share\\dir\\file.zip", root);
    EXPECT_STREQ(root, "\\\\server\\share\\");
    char label[12];
    qa::spannedLabel(7, label);
    EXPECT_STREQ(label, "PKBACK# 007");
    qa::spannedLabel(123, label);
    EXPECT_STREQ(label, "PKBACK# 123");
}

}  // namespace

#endif
