// Existing destination files: the overwrite question and yes-to-all, the
// overwrite switches, freshen and newer by time, file versions against a
// real PE file, and read-only and locked files.
#include <string>
#include <vector>

#include "extract_helpers.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

using namespace qztest;

namespace {

// Gives a file a last-write time from a local DOS date and time.
void setTime(const std::string &path, uint16_t date, uint16_t time)
{
    FILETIME local, utc;
    ASSERT_TRUE(DosDateTimeToFileTime(date, time, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(h, NULL, NULL, &utc));
    CloseHandle(h);
}

const uint16_t kEntryDate = 0x5A8F;                  // 2025-04-15, the builder's default
const uint16_t kOlderDate = (2020 - 1980) << 9 | 1 << 5 | 1;
const uint16_t kNewerDate = (2030 - 1980) << 9 | 1 << 5 | 1;

// A version block with the key of version a.b.c.d.
std::string versionBlock(unsigned a, unsigned b, unsigned c, unsigned d)
{
    std::string key;
    for (unsigned v : {a, b, c, d}) {
        key += (char)(v >> 8);
        key += (char)v;
    }
    return std::string("TH\x0A\x00VW", 6) + key;
}

class Overwrite : public Extraction {
protected:
    // Each entry's destination exists already with the content "old".
    QzHandle &openOver(const std::vector<Entry> &entries)
    {
        for (const Entry &e : entries)
            writeFile(outFile(e.name), "old");
        return open(entries);
    }
};

TEST_F(Overwrite, NobodyToAskMeansKeep)
{
    QzHandle &h = openOver({Entry("a.txt", "new")});
    EXPECT_EQ(unzip(h), 0);
    EXPECT_EQ(read("a.txt"), "old");
}

TEST_F(Overwrite, TheQuestionDecidesEachFile)
{
    QzHandle &h = openOver({Entry("a.txt", "new a"), Entry("b.txt", "new b"), Entry("c.txt", "new c")});
    RecordingCallback cb;
    std::vector<int16_t> answers = {QZ_ANSWER_YES, QZ_ANSWER_NO, QZ_ANSWER_YES};
    size_t asked = 0;
    cb.onEvent([&](const QzPrintBlock &b) -> int {
        if (b.eventKind == QZ_EVENT_QUESTION && b.eventCode == QZ_QUESTION_OVERWRITE)
            return answers[asked++];
        return RecordingCallback::kNoAnswer;
    });
    EXPECT_EQ(unzip(h), 0);
    EXPECT_EQ(asked, 3u);
    EXPECT_EQ(read("a.txt"), "new a");
    EXPECT_EQ(read("b.txt"), "old");
    EXPECT_EQ(read("c.txt"), "new c");
    auto q = cb.eventsOf(QZ_EVENT_QUESTION, QZ_QUESTION_OVERWRITE);
    ASSERT_EQ(q.size(), 3u);
    EXPECT_NE(std::string(q[1].fileName).find("b.txt"), std::string::npos);
}

TEST_F(Overwrite, YesToAllLastsForOneRun)
{
    QzHandle &h = openOver({Entry("a.txt", "new a"), Entry("b.txt", "new b")});
    RecordingCallback cb;
    answerEvents(cb, QZ_ANSWER_OK, QZ_ANSWER_YES_TO_ALL);
    EXPECT_EQ(unzip(h), 0);
    EXPECT_EQ(cb.eventsOf(QZ_EVENT_QUESTION).size(), 1u);
    EXPECT_EQ(read("b.txt"), "new b");
    cb.clear();
    EXPECT_EQ(unzip(h), 0);
    EXPECT_EQ(cb.eventsOf(QZ_EVENT_QUESTION).size(), 1u);
}

TEST_F(Overwrite, AnyOtherAnswerCancelsTheRun)
{
    QzHandle &h = openOver({Entry("a.txt", "new a"), Entry("b.txt", "new b")});
    writeFile(outFile("a.txt"), "old");
    RecordingCallback cb;
    answerEvents(cb, QZ_ANSWER_OK, QZ_ANSWER_CANCEL);
    EXPECT_EQ(unzip(h), QZ_CANCELLED);
    EXPECT_EQ(read("a.txt"), "old");
    EXPECT_EQ(cb.eventsOf(QZ_EVENT_QUESTION).size(), 1u);
}

TEST_F(Overwrite, SwitchesReplaceOrKeepWithoutAsking)
{
    QzHandle &h = openOver({Entry("a.txt", "new")});
    RecordingCallback cb;
    answerEvents(cb, QZ_ANSWER_OK, QZ_ANSWER_CANCEL);
    EXPECT_EQ(unzip(h, "-o-"), 0);
    EXPECT_EQ(read("a.txt"), "old");
    EXPECT_EQ(unzip(h, "-o"), 0);
    EXPECT_EQ(read("a.txt"), "new");
    EXPECT_TRUE(cb.eventsOf(QZ_EVENT_QUESTION).empty());
}

TEST_F(Overwrite, NewerAndFreshenCompareTimes)
{
    QzHandle &h = openOver({Entry("older.txt", "new 1"), Entry("newer.txt", "new 2"), Entry("absent.txt", "new 3")});
    setTime(outFile("older.txt"), kOlderDate, 0);
    setTime(outFile("newer.txt"), kNewerDate, 0);
    DeleteFileA(outFile("absent.txt").c_str());
    RecordingCallback cb;
    answerEvents(cb, QZ_ANSWER_OK, QZ_ANSWER_CANCEL);

    // Freshen: only files that exist, and only when the entry is newer.
    EXPECT_EQ(unzip(h, "-f"), 0);
    EXPECT_EQ(read("older.txt"), "new 1");
    EXPECT_EQ(read("newer.txt"), "old");
    EXPECT_FALSE(fileExists(outFile("absent.txt")));
    int skips = 0;
    for (const QzPrintBlock &b : cb.eventsOf(QZ_EVENT_NOTIFICATION))
        skips += b.operation == QZ_OP_SKIPPED;
    EXPECT_EQ(skips, 1);

    // Newer: new files too.
    writeFile(outFile("older.txt"), "old");
    setTime(outFile("older.txt"), kOlderDate, 0);
    EXPECT_EQ(unzip(h, "-n"), 0);
    EXPECT_EQ(read("older.txt"), "new 1");
    EXPECT_EQ(read("newer.txt"), "old");
    EXPECT_EQ(read("absent.txt"), "new 3");
    EXPECT_TRUE(cb.eventsOf(QZ_EVENT_QUESTION).empty());
}

TEST_F(Overwrite, FileVersionsFromAPeFile)
{
#ifndef QZ_VERSION_DLL
    GTEST_SKIP() << "no mingw resource compiler: no PE file with a version resource";
#else
    std::string pe = readFile(QZ_VERSION_DLL);
    ASSERT_GT(pe.size(), 100u);
    auto entry = [](const char *name, const std::string &extra) {
        Entry e(name, "replacement");
        e.extra = extra;
        return e;
    };
    std::vector<Entry> entries = {
        entry("same.dll", versionBlock(4, 3, 2, 1)),
        entry("newer.dll", versionBlock(4, 3, 2, 2)),
        entry("older.dll", versionBlock(4, 2, 9, 9)),
        entry("noblock.dll", extraBlock(0x5455, "\x01\x02\x03\x04\x05")),
        entry("zero.dll", versionBlock(0, 0, 0, 0)),
        entry("plain.txt", versionBlock(1, 0, 0, 0)),
    };
    auto reset = [&] {
        for (const Entry &e : entries)
            writeFile(outFile(e.name), e.name == "plain.txt" ? std::string("no resource") : pe);
    };
    reset();
    QzHandle &h = open(entries);
    RecordingCallback cb;
    answerEvents(cb, QZ_ANSWER_OK, QZ_ANSWER_NO);

    EXPECT_EQ(unzip(h, "-.ve"), 0);
    EXPECT_EQ(read("same.dll"), "replacement");
    EXPECT_EQ(read("newer.dll"), "replacement");
    EXPECT_TRUE(read("older.dll") == pe) << "older.dll";
    // No block, or a key of zeros: the question decides (here: no).
    EXPECT_TRUE(read("noblock.dll") == pe) << "noblock.dll";
    EXPECT_TRUE(read("zero.dll") == pe) << "zero.dll";
    EXPECT_EQ(cb.eventsOf(QZ_EVENT_QUESTION).size(), 2u);
    // A file without a version resource is replaced.
    EXPECT_EQ(read("plain.txt"), "replacement");

    reset();
    cb.clear();
    EXPECT_EQ(unzip(h, "-.v"), 0);
    EXPECT_TRUE(read("same.dll") == pe) << "same.dll";
    EXPECT_EQ(read("newer.dll"), "replacement");
    EXPECT_TRUE(read("older.dll") == pe) << "older.dll";
    EXPECT_EQ(read("plain.txt"), "replacement");

    // Without a block the time steps decide.
    reset();
    setTime(outFile("noblock.dll"), kOlderDate, 0);
    EXPECT_EQ(unzip(h, "-.v -n"), 0);
    EXPECT_TRUE(read("noblock.dll") == "replacement");
    EXPECT_TRUE(read("older.dll") == pe) << "older.dll";
#endif
}

TEST_F(Overwrite, ReadOnlyFilesAreKeptClearedOrReported)
{
    QzHandle &h = openOver({Entry("ro.txt", "new")});
    ASSERT_TRUE(SetFileAttributesA(outFile("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(unzip(h, "-o -r-"), 0);
    EXPECT_EQ(read("ro.txt"), "old");

    if (!underWine()) {
        // Neither -R+ nor -R-: the file cannot be created over it.
        RecordingCallback cb;
        EXPECT_EQ(unzip(h, "-o"), QZ_SKIPPED);
        EXPECT_EQ(Qz4MoreStatus(), QZ_ERR_FILE);
        EXPECT_EQ(cb.eventsOf(QZ_EVENT_MESSAGE, QZ_ERR_FILE).size(), 1u);
        EXPECT_EQ(read("ro.txt"), "old");
    }

    EXPECT_EQ(unzip(h, "-o -r+"), 0);
    EXPECT_EQ(read("ro.txt"), "new");
    EXPECT_FALSE(attributesOf(outFile("ro.txt")) & FILE_ATTRIBUTE_READONLY);
    makeWritable(outFile("ro.txt"));
}

#ifndef _WIN32
// Needs the POSIX layer's fault injection to make a file impossible to delete.
TEST_F(Overwrite, ALockedFileIsSkippedWithDotO)
{
    QzHandle &h = openOver({Entry("locked.txt", "new"), Entry("free.txt", "free")});
    DeleteFileA(outFile("free.txt").c_str());
    RecordingCallback cb;
    qzhost_fail_call("DeleteFileA", 1, ERROR_SHARING_VIOLATION, 1);
    EXPECT_EQ(unzip(h, "-o -.o"), QZ_SKIPPED);
    EXPECT_EQ(Qz4MoreStatus(), QZ_ERR_FILE);
    EXPECT_EQ(read("locked.txt"), "old");
    EXPECT_EQ(read("free.txt"), "free");
    EXPECT_TRUE(cb.eventsOf(QZ_EVENT_MESSAGE).empty());
    int skips = 0;
    for (const QzPrintBlock &b : cb.eventsOf(QZ_EVENT_NOTIFICATION))
        skips += b.operation == QZ_OP_SKIPPED;
    EXPECT_EQ(skips, 1);

    // Without .O the run ends there.
    EXPECT_EQ(unzip(h, "-o"), QZ_ERR_FILE);
    qzhost_clear_faults();
    EXPECT_EQ(read("locked.txt"), "old");
}
#endif

}  // namespace
