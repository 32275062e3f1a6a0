// Every extraction scenario under injected faults: the Nth allocation
// fails, the Nth read or write comes back short, or the disk fills up.
// Whatever fails, each call answers with a code of the result table, the
// handle variable is valid or all bits set, nothing is left behind (memory
// blocks, file and search handles, QVW temporary files, open archives) and
// no file outside the destination changes.  Needs the POSIX layer's fault
// injection and counters.
#ifndef _WIN32

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "extract_helpers.h"
#include "platform/host.h"
#ifndef _WIN32
#include "support/removable_drive.h"
#endif

using namespace qztest;
namespace fs = std::filesystem;

namespace {

const std::set<int16_t> &resultCodes()
{
    static const std::set<int16_t> codes = {
#define QZ_CODE_(name, value, text) value,
        QZ_RESULT_CODES(QZ_CODE_)
#undef QZ_CODE_
    };
    return codes;
}

std::vector<Entry> scenarioEntries()
{
    Entry secret("sec/secret.txt", std::string(3000, 's') + "tail", 8);
    secret.password = "pw";
    Entry bad("bad.txt", "damaged", 8);
    bad.overrideCrc = true;
    bad.crc = 7;
    Entry folder("folder/", "");
    folder.externalAttributes = 0x10;
    return {Entry("a.txt", "plain"), Entry("big.bin", noise(100000, 1), 8), secret, bad, folder,
            Entry("sub/stored.bin", noise(70000, 2)), Entry("unknown.bin", "xx", 3)};
}

// One scenario: a sequence of calls whose results are collected.
using Body = std::function<void(std::vector<int16_t> &results)>;

class FaultSweep : public ::testing::Test {
protected:
    TempDir dir;
    std::string out, temp;

    void SetUp() override
    {
        out = dir.file("out");
        temp = dir.file("temp");
        fs::create_directories(out);
        fs::create_directories(temp);
        qzhost_set_temp_path(temp.c_str());
        writeFile(dir.file("sentinel.txt"), "must not change");
    }
    void TearDown() override
    {
        qzhost_clear_faults();
        qzhost_set_temp_path(nullptr);
    }

    // Size and content of every file outside the destination (and outside
    // the simulated floppy, whose disks the test itself swaps).
    std::map<std::string, std::string> outside()
    {
        std::map<std::string, std::string> files;
        for (auto &e : fs::recursive_directory_iterator(dir.path())) {
            std::string p = e.path().string();
            if (p.rfind(out, 0) == 0 || p.find("floppy") != std::string::npos || !e.is_regular_file())
                continue;
            files[p] = readFile(p);
        }
        return files;
    }

    void emptyDestination()
    {
        std::error_code ec;
        for (auto &e : fs::recursive_directory_iterator(out, ec))
            makeWritable(e.path().string());
        fs::remove_all(out, ec);
        fs::create_directories(out);
    }

    // Runs the body once with the fault armed by `arm` and checks the rules.
    void runOnce(const std::string &what, const Body &body, const std::function<void()> &arm)
    {
        emptyDestination();
        auto before = outside();
        qzhost_reset_counters();
        arm();
        std::vector<int16_t> results;
        body(results);
        qzhost_clear_faults();
        qzhost_counters c;
        qzhost_get_counters(&c);
        for (int16_t r : results)
            EXPECT_TRUE(resultCodes().count(r)) << what << ": result " << r;
        EXPECT_EQ(c.blocks, 0) << what;
        EXPECT_EQ(c.handles, 0) << what;
        EXPECT_EQ(qz::archive::openCount(), 0) << what;
        EXPECT_TRUE(fs::is_empty(temp)) << what << ": a temporary file is left";
        EXPECT_TRUE(outside() == before) << what << ": a file outside the destination changed";
    }

    // The whole sweep: every allocation, every read and every write of a
    // clean run fails or comes back short once, and the disk fills up at
    // several points.
    void sweep(const Body &body)
    {
        runOnce("clean run", body, [] {});
        qzhost_reset_counters();
        emptyDestination();
        std::vector<int16_t> ignored;
        body(ignored);
        qzhost_counters clean;
        qzhost_get_counters(&clean);
        ASSERT_GT(clean.allocations, 0u);
        ASSERT_GT(clean.reads, 0u);

        for (unsigned long n = 1; n <= clean.allocations && !HasFailure(); ++n)
            runOnce("allocation " + std::to_string(n), body, [n] { qzhost_fail_alloc(n, 0); });
        for (unsigned long n = 1; n <= clean.reads && !HasFailure(); ++n)
            runOnce("read " + std::to_string(n), body, [n] { qzhost_short_read(n, n % 3 ? 0 : 7); });
        for (unsigned long n = 1; n <= clean.writes && !HasFailure(); ++n)
            runOnce("write " + std::to_string(n), body, [n] { qzhost_short_write(n, n % 2 ? 0 : 5); });
        for (long long bytes : {0LL, 1LL, 100LL, 4096LL, 65520LL, 70000LL, 150000LL})
            runOnce("disk full after " + std::to_string(bytes), body, [bytes] { qzhost_disk_full_after(bytes); });
        runOnce("every allocation from the 3rd", body, [] { qzhost_fail_alloc(3, 1); });
    }

    // Open, one call, close: the handle variable is valid after every call
    // or all bits set after a failed open.
    static void withArchive(const std::string &path, std::vector<int16_t> &results,
                            const std::function<int16_t(QzHandle &)> &call)
    {
        QzHandle h = 0x1234;
        int16_t r = Qz4ZipOpen(path.c_str(), 0, &h);
        results.push_back(r);
        if (r != 0) {
            EXPECT_EQ(h, QZ_INVALID_HANDLE);
            return;
        }
        results.push_back(call(h));
        EXPECT_NE(Qz4GetCDR(h), -1) << "the handle variable names no open archive";
        Qz4ZipClose(&h);
    }
};

TEST_F(FaultSweep, PlainArchiveExtraction)
{
    std::string path = put(dir, "plain.zip", buildZip(scenarioEntries()));
    RecordingCallback cb;   // answers every message with OK
    sweep([&](std::vector<int16_t> &results) {
        withArchive(path, results, [&](QzHandle &h) {
            return Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, "-d -o -s/pw/");
        });
    });
}

TEST_F(FaultSweep, TestModeAndOverwritingExistingFiles)
{
    std::string path = put(dir, "plain.zip", buildZip(scenarioEntries()));
    RecordingCallback cb;
    answerEvents(cb, QZ_ANSWER_OK, QZ_ANSWER_YES);
    sweep([&](std::vector<int16_t> &results) {
        withArchive(path, results, [&](QzHandle &h) {
            results.push_back(Qz4UnZip(&h, nullptr, nullptr, "*.*", nullptr, "-t -s/pw/"));
            writeFile(out + "/a.txt", "existing");
            return Qz4UnZip(&h, out.c_str(), nullptr, "*.*", "big.bin", "-s/pw/");
        });
    });
}

TEST_F(FaultSweep, ExtractionIntoMemory)
{
    std::string path = put(dir, "plain.zip", buildZip(scenarioEntries()));
    std::vector<char> buffer(200000);
    sweep([&](std::vector<int16_t> &results) {
        withArchive(path, results, [&](QzHandle &h) {
            results.push_back(Qz4UnZipPtr(h, buffer.data(), 0, -1, "big.bin", ""));
            results.push_back(Qz4UnZipPtr(h, buffer.data(), 70000, 100, "sub/stored.bin", ""));
            return Qz4UnZipPtr(h, buffer.data(), 0, -1, "sec/secret.txt", "-s/pw/");
        });
    });
}

TEST_F(FaultSweep, PathFiltersAndDirectories)
{
    std::string path = put(dir, "plain.zip", buildZip(scenarioEntries()));
    RecordingCallback cb;
    sweep([&](std::vector<int16_t> &results) {
        withArchive(path, results, [&](QzHandle &h) {
            results.push_back(Qz4AddUnZipPathFilter((out + "/sub").c_str(), (out + "/moved").c_str()));
            results.push_back(Qz4AddUnZipPathFilter(nullptr, nullptr));
            return Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, "-d -.d -s/pw/");
        });
    });
}

TEST_F(FaultSweep, VolumeSetOnAFixedDrive)
{
    std::vector<Entry> e = scenarioEntries();
    std::vector<std::string> vols = buildQzvwSet(1, {{e[0], e[1]}, {e[2], e[5]}});
    std::string first = put(dir, "SET.001", vols[0]);
    put(dir, "SET.002", vols[1]);
    RecordingCallback cb;
    sweep([&](std::vector<int16_t> &results) {
        withArchive(first, results, [&](QzHandle &h) {
            return Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, "-d -s/pw/");
        });
    });
}

// One file of each of the other layouts: self-extracting, QZVW of every
// kind, directory-first; each is opened, tested and extracted.
TEST_F(FaultSweep, EveryOtherLayout)
{
    std::vector<Entry> e = scenarioEntries();
    std::vector<Entry> some = {e[0], e[1], e[2]};
    const std::pair<const char *, std::string> layouts[] = {
        {"sfx.exe", buildSfx(some, false)},          {"pklite.exe", buildSfx(some, true)},
        {"kind1.qzv", buildQzvw(1, some)},          {"kind2.qzv", buildQzvw(2, some)},
        {"kind3.qzv", buildQzvw(3, some)},          {"dirfirst.zip", buildDirFirst(some, "comment")},
    };
    RecordingCallback cb;
    for (const auto &layout : layouts) {
        SCOPED_TRACE(layout.first);
        std::string path = put(dir, layout.first, layout.second);
        sweep([&](std::vector<int16_t> &results) {
            withArchive(path, results, [&](QzHandle &h) {
                results.push_back(Qz4UnZip(&h, nullptr, nullptr, "*.*", nullptr, "-t -s/pw/"));
                return Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, "-d -o -s/pw/");
            });
        });
    }
}

TEST_F(FaultSweep, SpannedSetOnARemovableDrive)
{
    std::vector<Entry> e = {Entry("one.txt", "disk one"), Entry("span.bin", noise(5000, 9), 8),
                            Entry("last.txt", "the end")};
    std::vector<std::string> volumes = buildSpanned(e, 1500);
    RemovableDrive drive('A', dir.file("floppy"));
    drive.useSet("SET.ZIP", volumes);
    RecordingCallback cb;
    cb.onEvent([&](const QzPrintBlock &b) -> int {
        if (b.eventKind != QZ_EVENT_QUESTION)
            return RecordingCallback::kNoAnswer;
        drive.insertVolume(b.eventCode == QZ_QUESTION_LAST_DISK ? (unsigned)volumes.size() : (unsigned)b.diskNumber);
        return QZ_ANSWER_OK;
    });
    std::string name = drive.path("SET.ZIP");
    sweep([&](std::vector<int16_t> &results) {
        drive.insertVolume(1);
        withArchive(name, results, [&](QzHandle &h) {
            return Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, "");
        });
    });
}

}  // namespace

#endif
