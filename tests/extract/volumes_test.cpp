// Extraction from archives whose directory lives in a directory file:
// QZVW archives and numbered volume sets on a fixed drive, directory-first
// volumes, and spanned sets on a simulated removable drive.  Entries are
// gathered from their volumes into the entry copy file and decoded there;
// the caller's handle variable follows the volume that is open.
#include <string>
#include <vector>

#include "extract_helpers.h"
#ifndef _WIN32
#include "platform/host.h"
#include "support/removable_drive.h"
#endif

using namespace qztest;

namespace {

// The number of QVW temporary files in the system's temporary folder.
int temporaryFiles()
{
    char dir[MAX_PATH];
    DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir)
        return -1;
    std::string pattern = std::string(dir) + "QVW*.TMP";
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int count = 1;
    while (FindNextFileA(h, &data))
        ++count;
    FindClose(h);
    return count;
}

std::vector<Entry> someEntries(const std::string &prefix)
{
    Entry big(prefix + "big.bin", noise(150000, 3), 8);
    Entry text("dir/" + prefix + "text.txt", std::string(70000, 'q') + "end", 8);
    return {Entry(prefix + "a.txt", "first of " + prefix), big, text, Entry(prefix + "empty", "")};
}

void expectExtracted(const std::string &out, const std::vector<Entry> &entries)
{
    for (const Entry &e : entries) {
        std::string name = e.name.substr(e.name.find_last_of('/') + 1);
        EXPECT_TRUE(readFile(out + kSep + name) == e.data) << e.name;
    }
}

using Volumes = Extraction;

TEST_F(Volumes, QzvwArchivesOfEachKind)
{
    int before = temporaryFiles();
    for (uint16_t kind : {1, 2, 3}) {
        std::vector<Entry> entries = someEntries("k" + std::to_string(kind));
        QzHandle &h = open(buildQzvw(kind, entries), "kind" + std::to_string(kind) + ".qzv");
        EXPECT_EQ(unzip(h, "-t"), 0) << kind;
        EXPECT_EQ(unzip(h), 0) << kind;
        expectExtracted(out, entries);
        Qz4ZipClose(&h);
    }
    EXPECT_EQ(temporaryFiles(), before);
}

TEST_F(Volumes, NumberedVolumeSetOnAFixedDrive)
{
    std::vector<Entry> first = someEntries("v1"), second = someEntries("v2");
    std::vector<std::string> vols = buildQzvwSet(1, {first, second});
    ASSERT_EQ(vols.size(), 2u);
    put(dir, "SET.002", vols[1]);
    QzHandle &h = open(vols[0], "SET.001");
    int before = temporaryFiles();
    RecordingCallback cb;
    EXPECT_EQ(unzip(h), 0);
    expectExtracted(out, first);
    expectExtracted(out, second);
    // A fixed drive needs no disk: nobody is asked.
    EXPECT_TRUE(cb.eventsOf(QZ_EVENT_QUESTION).empty());
    // The handle variable names the second volume now (the system may
    // have given it the first one's value again).
    EXPECT_NE(Qz4GetCDR(h), -1);
    EXPECT_EQ(temporaryFiles(), before);
    // The entries of the first volume need it again.
    EXPECT_EQ(unzip(h, "-t", "v1*"), 0);

    // A volume that is missing ends the run.
    DeleteFileA(dir.file("SET.002").c_str());
    EXPECT_EQ(unzip(h, "-t", "v2*"), QZ_ERR_FILE);
    EXPECT_EQ(temporaryFiles(), before);
}

TEST_F(Volumes, DirectoryFirstVolume)
{
    std::vector<Entry> entries = someEntries("d");
    QzHandle &h = open(buildDirFirst(entries, "comment"), "dirfirst.zip");
    EXPECT_EQ(unzip(h, "-t"), 0);
    EXPECT_EQ(unzip(h), 0);
    expectExtracted(out, entries);
}

#ifndef _WIN32
// Needs the POSIX layer's simulated removable drive.
class SpannedExtraction : public Extraction {
protected:
    std::vector<Entry> entries;
    std::vector<std::string> volumes;
    RemovableDrive *drive = nullptr;
    std::string name;
    RecordingCallback cb;
    QzHandle h = QZ_INVALID_HANDLE;

    void SetUp() override
    {
        Extraction::SetUp();
        qzhost_set_temp_path(dir.file("").c_str());
        entries = {Entry("one.txt", "disk one"), Entry("span.bin", noise(5000, 9), 8),
                   Entry("dir/two.txt", std::string(3000, 't'), 8), Entry("last.txt", "the end")};
        // 1,000-byte disks: the second entry runs over several of them.
        volumes = buildSpanned(entries, 1000);
        drive = new RemovableDrive('A', dir.file("floppy"));
        drive->useSet("SET.ZIP", volumes);
        drive->insertVolume(1);
        name = drive->path("SET.ZIP");
    }
    void TearDown() override
    {
        if (h != QZ_INVALID_HANDLE)
            Qz4ZipClose(&h);
        Extraction::TearDown();
        delete drive;
        qzhost_set_temp_path(nullptr);
        qzhost_clear_faults();
    }

    // Answers every disk question by inserting the disk asked for.
    void insertAsked()
    {
        cb.onEvent([this](const QzPrintBlock &b) -> int {
            if (b.eventKind != QZ_EVENT_QUESTION)
                return RecordingCallback::kNoAnswer;
            drive->insertVolume(b.eventCode == QZ_QUESTION_LAST_DISK ? (unsigned)volumes.size()
                                                                      : (unsigned)b.diskNumber);
            return QZ_ANSWER_OK;
        });
    }

    // Opens the set, answering the disk questions; no event is kept.
    void openSet()
    {
        insertAsked();
        ASSERT_EQ(Qz4ZipOpen(name.c_str(), 0, &h), 0);
        cb.clear();
    }

    int scratchTemporaries()
    {
        int n = 0;
        WIN32_FIND_DATAA data;
        HANDLE h = FindFirstFileA(dir.file("QVW*.TMP").c_str(), &data);
        if (h == INVALID_HANDLE_VALUE)
            return 0;
        do
            ++n;
        while (FindNextFileA(h, &data));
        FindClose(h);
        return n;
    }
};

TEST_F(SpannedExtraction, EveryEntryIsGatheredFromItsDisks)
{
    ASSERT_GE(volumes.size(), 6u);
    openSet();
    EXPECT_EQ(Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, "-d"), 0);
    EXPECT_EQ(readFile(outFile("one.txt")), "disk one");
    EXPECT_TRUE(readFile(outFile("span.bin")) == entries[1].data);
    EXPECT_EQ(readFile(outFile("dir") + "/two.txt"), entries[2].data);
    EXPECT_EQ(readFile(outFile("last.txt")), "the end");
    // Disks were asked for while extracting, by number.
    auto q = cb.eventsOf(QZ_EVENT_QUESTION, QZ_QUESTION_DISK);
    ASSERT_GE(q.size(), volumes.size() - 1);
    EXPECT_EQ(q.front().operation, QZ_OP_EXTRACTING);
    EXPECT_EQ(q.front().diskNumber, 1);
    EXPECT_NE(Qz4GetCDR(h), -1);

    // Only the directory file is left while the archive is open.
    EXPECT_EQ(scratchTemporaries(), 1);
    Qz4ZipClose(&h);
    h = QZ_INVALID_HANDLE;
    EXPECT_EQ(scratchTemporaries(), 0);
}

TEST_F(SpannedExtraction, ACancelledDiskQuestionEndsTheRun)
{
    openSet();
    int asked = 0;
    cb.onEvent([&](const QzPrintBlock &b) -> int {
        if (b.eventKind != QZ_EVENT_QUESTION)
            return RecordingCallback::kNoAnswer;
        if (++asked == 3)
            return QZ_ANSWER_CANCEL;
        drive->insertVolume((unsigned)b.diskNumber);
        return QZ_ANSWER_OK;
    });
    EXPECT_EQ(Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, ""), QZ_CANCELLED);
    EXPECT_EQ(asked, 3);
    EXPECT_FALSE(fileExists(outFile("span.bin")));
    EXPECT_EQ(scratchTemporaries(), 1);
    Qz4ZipClose(&h);
    h = QZ_INVALID_HANDLE;
    EXPECT_EQ(scratchTemporaries(), 0);
}

TEST_F(SpannedExtraction, TestModeReadsEveryDisk)
{
    openSet();
    qzhost_reset_counters();
    EXPECT_EQ(Qz4UnZip(&h, nullptr, nullptr, "*.*", nullptr, "-t"), 0);
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.handles, 0);
    EXPECT_EQ(c.blocks, 0);
}
#endif

}  // namespace
