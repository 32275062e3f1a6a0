// The extraction driver through Qz4UnZip and Qz4QUnZip: what is written
// where, test mode, selection, directory and label entries, messages about
// single entries and the more status, cancellation, attributes and times.
#include <string>
#include <vector>

#include "extract_helpers.h"
#include "frame/frame.h"

using namespace qztest;

namespace {

std::string text(size_t n, unsigned seed = 1)
{
    std::string s;
    static const char *words[] = {"alpha ", "beta ", "gamma ", "delta\n", "epsilon ", "zeta "};
    while (s.size() < n)
        s += words[(seed = seed * 1103515245u + 12345u) >> 16 & 3 ? (seed >> 20) % 6 : 0];
    s.resize(n);
    return s;
}

Entry dirEntry(const std::string &name)
{
    Entry e(name, "");
    e.externalAttributes = 0x10;
    return e;
}

using Unzip = Extraction;

TEST_F(Unzip, WritesStoredAndDeflatedEntries)
{
    std::string big = text(300000);
    QzHandle &h = open({Entry("a.txt", "stored text"), Entry("b.txt", big, 8), Entry("empty.txt", "")});
    EXPECT_EQ(unzip(h), 0);
    EXPECT_EQ(read("a.txt"), "stored text");
    EXPECT_EQ(read("b.txt"), big);
    EXPECT_TRUE(fileExists(outFile("empty.txt")));
    EXPECT_EQ(read("empty.txt"), "");
    EXPECT_EQ(Qz4MoreStatus(), 0);
}

TEST_F(Unzip, DirectoriesOfEntryNamesAreKeptOnlyWithDashD)
{
    QzHandle &h = open({Entry("docs/sub/a.txt", "deep", 8), Entry("top.txt", "top")});
    EXPECT_EQ(unzip(h), 0);
    EXPECT_EQ(read("a.txt"), "deep");
    EXPECT_FALSE(fileExists(outFile("docs")));

    EXPECT_EQ(unzip(h, "-d"), 0);
    EXPECT_EQ(read(std::string("docs") + kSep + "sub" + kSep + "a.txt"), "deep");
    EXPECT_EQ(read("top.txt"), "top");
}

TEST_F(Unzip, DirectoryEntriesAreMadeAndCountedWithDashD)
{
    QzHandle &h = open({dirEntry("empty/"), dirEntry("two/levels/")});
    // Without -D (and -T) directory entries are passed over: nothing counted.
    EXPECT_EQ(unzip(h), QZ_NO_MORE_ENTRIES);
    EXPECT_FALSE(fileExists(outFile("empty")));

    EXPECT_EQ(unzip(h, "-d"), 0);
    EXPECT_TRUE(Qz4DirExist(outFile("empty").c_str()));
    EXPECT_TRUE(Qz4DirExist((outFile("two") + kSep + "levels").c_str()));
    EXPECT_EQ(unzip(h, "-t"), 0);
}

TEST_F(Unzip, VolumeLabelEntriesArePassedOverWithoutDollarOrTest)
{
    Entry label("MYDISK", "");
    label.externalAttributes = 0x08;
    QzHandle &h = open({label});
    EXPECT_EQ(unzip(h), QZ_NO_MORE_ENTRIES);
    EXPECT_FALSE(fileExists(outFile("MYDISK")));
    EXPECT_EQ(unzip(h, "-t"), 0);
}

TEST_F(Unzip, SelectionByIncludeAndExcludeLists)
{
    QzHandle &h = open({Entry("a.txt", "a"), Entry("b.dat", "b"), Entry("sub/c.txt", "c")});
    EXPECT_EQ(unzip(h, "", ""), QZ_NO_MORE_ENTRIES);
    EXPECT_EQ(Qz4UnZip(&h, out.c_str(), nullptr, nullptr, nullptr, nullptr), QZ_NO_MORE_ENTRIES);
    EXPECT_FALSE(fileExists(outFile("a.txt")));

    EXPECT_EQ(unzip(h, "-d", "*.txt", "sub/*"), 0);
    EXPECT_TRUE(fileExists(outFile("a.txt")));
    EXPECT_FALSE(fileExists(outFile("b.dat")));
    EXPECT_FALSE(fileExists(outFile("sub")));

    EXPECT_EQ(unzip(h, "", "\"b.dat\" nothing"), 0);
    EXPECT_EQ(read("b.dat"), "b");
}

TEST_F(Unzip, AnArchiveWithoutEntriesGivesNoMoreEntries)
{
    QzHandle &h = open(endRecord(0, 0, 0, 0, 0, 0, ""));
    EXPECT_EQ(unzip(h), QZ_NO_MORE_ENTRIES);
}

TEST_F(Unzip, TestModeChecksEveryCrcAndWritesNothing)
{
    Entry bad("bad.txt", text(5000), 8);
    bad.overrideCrc = true;
    bad.crc = 0x12345678;
    QzHandle &h = open({Entry("sub/good.txt", text(70000), 8), bad, Entry("s.txt", "stored")});
    RecordingCallback cb;
    EXPECT_EQ(unzip(h, "-t"), QZ_SKIPPED);
    EXPECT_EQ(Qz4MoreStatus(), QZ_CRC_MISMATCH);
    EXPECT_FALSE(fileExists(outFile("good.txt")));
    EXPECT_FALSE(fileExists(outFile("bad.txt")));

    auto crc = cb.eventsOf(QZ_EVENT_MESSAGE, QZ_CRC_MISMATCH);
    ASSERT_EQ(crc.size(), 1u);
    EXPECT_EQ(crc[0].operation, QZ_OP_TESTING);
    EXPECT_STREQ(crc[0].fileName, "bad.txt");
    // The host is shown which entry is tested, with Windows separators.
    bool sawSub = false;
    for (const QzPrintBlock &b : cb.events())
        sawSub |= std::string(b.fileName) == "sub\\good.txt";
    EXPECT_TRUE(sawSub);
    for (const QzPrintBlock &b : cb.eventsOf(QZ_EVENT_NOTIFICATION))
        EXPECT_TRUE(b.bytesDone == 0 || b.bytesDone == b.entrySize) << uint32_t(b.bytesDone);
}

TEST_F(Unzip, ACrcMismatchLeavesTheFileWrittenAndCanCancel)
{
    Entry bad("bad.txt", "some content", 8);
    bad.overrideCrc = true;
    bad.crc = 1;
    QzHandle &h = open({bad, Entry("after.txt", "x")});
    {
        RecordingCallback cb;
        EXPECT_EQ(unzip(h), QZ_SKIPPED);
        EXPECT_EQ(read("bad.txt"), "some content");
        EXPECT_EQ(read("after.txt"), "x");
        ASSERT_EQ(cb.eventsOf(QZ_EVENT_MESSAGE).size(), 1u);
    }
    RecordingCallback cb;
    answerEvents(cb, QZ_ANSWER_CANCEL);
    DeleteFileA(outFile("after.txt").c_str());
    EXPECT_EQ(unzip(h, "-o"), QZ_CANCELLED);
    EXPECT_FALSE(fileExists(outFile("after.txt")));
}

TEST_F(Unzip, WrongPasswordSkipsOnlyThatEntry)
{
    Entry secret("secret.txt", text(3000), 8);
    secret.password = "right";
    QzHandle &h = open({Entry("a.txt", "a"), secret, Entry("c.txt", "c")});
    {
        RecordingCallback cb;
        EXPECT_EQ(unzip(h, "-s\"wrong\""), QZ_SKIPPED);
        EXPECT_EQ(Qz4MoreStatus(), QZ_WRONG_PASSWORD);
        EXPECT_EQ(read("a.txt"), "a");
        EXPECT_EQ(read("c.txt"), "c");
        EXPECT_FALSE(fileExists(outFile("secret.txt")));
        auto m = cb.eventsOf(QZ_EVENT_MESSAGE, QZ_WRONG_PASSWORD);
        ASSERT_EQ(m.size(), 1u);
        EXPECT_NE(std::string(m[0].fileName).find("secret.txt"), std::string::npos);
    }
    // No password at all is a wrong one too; the more status starts at 0.
    EXPECT_EQ(unzip(h, "-o"), QZ_SKIPPED);
    EXPECT_EQ(Qz4MoreStatus(), QZ_WRONG_PASSWORD);

    EXPECT_EQ(unzip(h, "-o -s/right/"), 0);
    EXPECT_EQ(Qz4MoreStatus(), 0);
    EXPECT_EQ(read("secret.txt"), secret.data);

    RecordingCallback cb;
    answerEvents(cb, QZ_ANSWER_CANCEL);
    EXPECT_EQ(unzip(h, "-o -s/bad/"), QZ_CANCELLED);
}

TEST_F(Unzip, UnsupportedMethodsAreMessagesOrResults)
{
    // Method 3 is unknown: a message, and the run goes on.
    QzHandle &h = open({Entry("reduced.bin", "xxxx", 3), Entry("ok.txt", "ok")});
    {
        RecordingCallback cb;
        EXPECT_EQ(unzip(h), 0);
        EXPECT_EQ(cb.eventsOf(QZ_EVENT_MESSAGE, QZ_ERR_METHOD).size(), 1u);
        EXPECT_FALSE(fileExists(outFile("reduced.bin")));
        EXPECT_EQ(read("ok.txt"), "ok");
        EXPECT_EQ(Qz4MoreStatus(), 0);
    }
    // Imploding is known but not decoded: the run ends with -3 and leaves
    // no empty file behind.
    QzHandle &h6 = open({Entry("imploded.bin", "yyyy", 6), Entry("later.txt", "l")}, "six.zip");
    EXPECT_EQ(unzip(h6), QZ_ERR_METHOD);
    EXPECT_FALSE(fileExists(outFile("imploded.bin")));
    EXPECT_FALSE(fileExists(outFile("later.txt")));
}

TEST_F(Unzip, ProgressReportsBytesWrittenAndEndsWithTheSize)
{
    std::string big = text(400000);
    QzHandle &h = open({Entry("big.txt", big, 8)});
    RecordingCallback cb;
    EXPECT_EQ(unzip(h), 0);
    auto n = cb.eventsOf(QZ_EVENT_NOTIFICATION);
    ASSERT_GE(n.size(), 4u);
    EXPECT_EQ(uint32_t(n.front().bytesDone), 0u);
    EXPECT_EQ(uint32_t(n.back().bytesDone), big.size());
    for (size_t i = 1; i < n.size(); ++i)
        EXPECT_GE(uint32_t(n[i].bytesDone), uint32_t(n[i - 1].bytesDone));
    EXPECT_EQ(uint32_t(n.back().entrySize), big.size());
    EXPECT_EQ(uint32_t(n.back().entrySize2), big.size());
    EXPECT_EQ(n.back().method, 1);
    EXPECT_EQ(n.back().operation, QZ_OP_EXTRACTING);
    // The host sees Windows paths, whatever the library holds.
    EXPECT_EQ(std::string(n.back().fileName).find('/'), std::string::npos);
    EXPECT_EQ(std::string(n.back().archiveName).find('/'), std::string::npos);

    uint8_t info[12];
    EXPECT_EQ(Qz4ExtendedCPrintInfo(12, info), 12);
    EXPECT_EQ(info[0] | info[1] << 8, 0x5A8F);
    EXPECT_EQ(info[2] | info[3] << 8, 0x6C21);
}

TEST_F(Unzip, CancelFromTheCallbackStopsALongEntry)
{
    std::string big = text(2000000);
    QzHandle &h = open({Entry("big.txt", big, 8), Entry("next.txt", "n")});
    RecordingCallback cb;
    int progress = 0;
    cb.onEvent([&](const QzPrintBlock &b) {
        if (b.eventKind == QZ_EVENT_NOTIFICATION && ++progress == 3)
            Qz4Cancel();
        return RecordingCallback::kNoAnswer;
    });
    EXPECT_EQ(unzip(h), QZ_CANCELLED);
    EXPECT_FALSE(fileExists(outFile("big.txt")));
    EXPECT_FALSE(fileExists(outFile("next.txt")));
    EXPECT_EQ(qz::frame::g.cancel, 0);
    cb.onEvent(nullptr);
    EXPECT_EQ(unzip(h), 0);
    EXPECT_EQ(read("big.txt"), big);
}

TEST_F(Unzip, APendingCancelEndsTheNextRun)
{
    QzHandle &h = open({Entry("a.txt", "a")});
    Qz4Cancel();
    EXPECT_EQ(unzip(h), QZ_CANCELLED);
    EXPECT_EQ(qz::frame::g.cancel, 0);
    // Another error keeps its code, and the request is gone all the same.
    Qz4Cancel();
    QzHandle bogus = 0x7777;
    EXPECT_EQ(Qz4UnZip(&bogus, out.c_str(), nullptr, "*.*", nullptr, ""), QZ_ERR_HANDLE);
    EXPECT_EQ(qz::frame::g.cancel, 0);
    EXPECT_EQ(unzip(h), 0);
}

TEST_F(Unzip, BadArgumentsEndTheRunBeforeAnyEntry)
{
    QzHandle &h = open({Entry("a.txt", "a")});
    EXPECT_EQ(Qz4UnZip(nullptr, out.c_str(), nullptr, "*.*", nullptr, ""), QZ_ERR_HANDLE);
    EXPECT_EQ(unzip(h, "-x"), QZ_ERR_SWITCH);
    EXPECT_EQ(Qz4GetParsePlace(), 2);
    EXPECT_EQ(unzip(h, "-$ -$"), QZ_ERR_SWITCH_CONFLICT);
    EXPECT_EQ(unzip(h, std::string(128, ' ').c_str()), QZ_TOO_LONG);
    EXPECT_FALSE(fileExists(outFile("a.txt")));
}

TEST_F(Unzip, AttributesFollowTheMask)
{
    Entry e("attr.txt", "attributes");
    e.externalAttributes = 0x23;   // read-only, hidden, archive
    QzHandle &h = open({e});
    ASSERT_EQ(unzip(h), 0);
    DWORD a = attributesOf(outFile("attr.txt"));
    EXPECT_EQ(a & 0x07, 0x03u);
    EXPECT_TRUE(a & FILE_ATTRIBUTE_ARCHIVE);
    makeWritable(outFile("attr.txt"));

    // -JR: every attribute but read-only.
    ASSERT_EQ(unzip(h, "-o -jr"), 0);
    a = attributesOf(outFile("attr.txt"));
    EXPECT_EQ(a & 0x07, 0x02u);
    makeWritable(outFile("attr.txt"));

    // The compact dialect restores none of them unless -J names them.
    Qz4SetParseType(1);
    ASSERT_EQ(unzip(h, "-o"), 0);
    EXPECT_EQ(attributesOf(outFile("attr.txt")) & 0x07, 0u);
    ASSERT_EQ(unzip(h, "-oJR"), 0);
    EXPECT_EQ(attributesOf(outFile("attr.txt")) & 0x07, 0x01u);
    makeWritable(outFile("attr.txt"));
}

TEST_F(Unzip, FilesGetTheEntryTimeAsLocalTime)
{
    Entry e("dated.txt", "d");
    e.dosDate = (uint16_t)((2019 - 1980) << 9 | 7 << 5 | 21);   // 2019-07-21
    e.dosTime = (uint16_t)(18 << 11 | 45 << 5 | 30 / 2);        // 18:45:30
    Entry zero("zero.txt", "z");
    zero.dosDate = 0;
    zero.dosTime = (uint16_t)(9 << 11);
    QzHandle &h = open({e, zero});
    ASSERT_EQ(unzip(h), 0);
    uint16_t d, t;
    ASSERT_TRUE(dosTimeOf(outFile("dated.txt"), &d, &t));
    EXPECT_EQ(d, e.dosDate);
    EXPECT_EQ(t, e.dosTime);
    // A date of 0 is taken as 1 January 1980.
    ASSERT_TRUE(dosTimeOf(outFile("zero.txt"), &d, &t));
    EXPECT_EQ(d, 0x0021);
    EXPECT_EQ(t, zero.dosTime);
}

TEST_F(Unzip, AnOutputNameTakesEveryEntry)
{
    QzHandle &h = open({Entry("a.txt", "first"), Entry("sub/b.txt", "second")});
    std::string target = outFile("X.DAT");
    // The second entry finds the first one's file: not overwritten when
    // nobody may be asked.
    EXPECT_EQ(unzip(h, "-d", "*.*", nullptr, target.c_str()), 0);
    EXPECT_EQ(readFile(target), "first");
    EXPECT_EQ(unzip(h, "-d -o", "*.*", nullptr, target.c_str()), 0);
    EXPECT_EQ(readFile(target), "second");
    EXPECT_FALSE(fileExists(outFile("a.txt")));
    EXPECT_FALSE(fileExists(outFile("sub")));
}

TEST_F(Unzip, AnOutputFileThatCannotBeCreatedIsAMessage)
{
    QzHandle &h = open({Entry("blocked", "b"), Entry("free.txt", "f")});
    // A directory where the file should go: not an existing file, and not
    // a place a file can be created.
    ASSERT_TRUE(CreateDirectoryA(outFile("blocked").c_str(), NULL));
    {
        RecordingCallback cb;
        EXPECT_EQ(unzip(h), QZ_SKIPPED);
        EXPECT_EQ(Qz4MoreStatus(), QZ_ERR_FILE);
        EXPECT_EQ(cb.eventsOf(QZ_EVENT_MESSAGE, QZ_ERR_FILE).size(), 1u);
        auto skipped = cb.eventsOf(QZ_EVENT_NOTIFICATION);
        bool sawSkip = false;
        for (const QzPrintBlock &b : skipped)
            sawSkip |= b.operation == QZ_OP_SKIPPED;
        EXPECT_TRUE(sawSkip);
        EXPECT_EQ(read("free.txt"), "f");
    }
    RecordingCallback cb;
    answerEvents(cb, QZ_ANSWER_CANCEL);
    EXPECT_EQ(unzip(h, "-o"), QZ_CANCELLED);
}

TEST_F(Unzip, ADirectoryThatCannotBeMadeEndsTheRun)
{
    QzHandle &h = open({Entry("sub/a.txt", "a"), Entry("b.txt", "b")});
    ASSERT_TRUE(writeFile(outFile("sub"), "a file, not a directory"));
    EXPECT_EQ(unzip(h, "-d"), QZ_ERR_MKDIR);
    EXPECT_FALSE(fileExists(outFile("b.txt")));
}

TEST_F(Unzip, QUnZipOpensExtractsAndCloses)
{
    std::string path = put(dir, "q.zip", buildZip({Entry("q.txt", "quick", 8)}));
    EXPECT_EQ(Qz4QUnZip(path.c_str(), out.c_str(), "*.*", "-o"), 0);
    EXPECT_EQ(read("q.txt"), "quick");
    EXPECT_EQ(Qz4QUnZip(dir.file("missing.zip").c_str(), out.c_str(), "*.*", ""), QZ_ERR_NAME);
    // Nothing stays open.
    QzEntryRecord rec;
    char name[261];
    EXPECT_EQ(Qz4ZipFindFirst(0, &rec, name, nullptr, 0, nullptr, 0), QZ_ERR_HANDLE);
}

TEST_F(Unzip, LongNamesComeFromTheExtendedNameBlockAndStay)
{
    Entry e("SHORT.TXT", "long named");
    e.extra = extendedNameBlock("A long file name.txt");
    QzHandle &h = open({e});
    ASSERT_EQ(unzip(h), 0);
    EXPECT_TRUE(fileExists(outFile("SHORT.TXT")));
    ASSERT_EQ(unzip(h, "-.l"), 0);
    EXPECT_EQ(read("A long file name.txt"), "long named");
    // Later runs on the same open archive keep the long names.
    DeleteFileA(outFile("A long file name.txt").c_str());
    ASSERT_EQ(unzip(h), 0);
    EXPECT_TRUE(fileExists(outFile("A long file name.txt")));
}

}  // namespace
