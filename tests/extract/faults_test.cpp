// Every extraction scenario, first clean (its results and files checked),
// then under injected faults: the Nth allocation fails, the Nth read or
// write comes back short, the disk fills up, the Nth call of a named
// function fails.  Each armed fault must fire, and whatever fails, each
// call gives a code of the result table, the handle variable is valid or
// all bits set, and nothing is left behind (blocks, handles, QVW files, open
// archives) or changed outside the destination.  A failing DeleteFileA is
// left out: it leaves the QVW file it could not delete.  POSIX layer only.
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
#include "support/removable_drive.h"

using namespace qztest;
namespace fs = std::filesystem;

namespace {

const std::set<int16_t> kCodes = {
#define QZ_CODE_(name, value, text) value,
    QZ_RESULT_CODES(QZ_CODE_)
#undef QZ_CODE_
};

const char *const kCalls[] = {"CreateFileA", "ReadFile", "WriteFile", "SetFilePointer", "GetFileSize",
                              "SetEndOfFile", "CreateDirectoryA", "SetFileTime", "GetFileAttributesA",
                              "SetFileAttributesA", "FindFirstFileA", "FindNextFileA", "GetTempPathA",
                              "GetTempFileNameA", "GetVolumeInformationA"};

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

using Body = std::function<void(std::vector<int16_t> &results)>;

class FaultSweep : public ::testing::Test {
protected:
    TempDir dir;
    std::string out = dir.file("out"), temp = dir.file("temp");
    unsigned long step = getenv("QZ_UNDER_VALGRIND") ? 7 : 1;
    RecordingCallback cb;   // answers every message with OK

    void SetUp() override
    {
        fs::create_directories(temp);
        qzhost_set_temp_path(temp.c_str());
        writeFile(dir.file("sentinel.txt"), "must not change");
    }
    void TearDown() override { qzhost_set_temp_path(nullptr); }

    // Every file outside the destination and the floppy, with its content.
    std::map<std::string, std::string> outside()
    {
        std::map<std::string, std::string> files;
        for (auto &e : fs::recursive_directory_iterator(dir.path())) {
            std::string p = e.path().string();
            if (p.rfind(out, 0) != 0 && p.find("floppy") == std::string::npos && e.is_regular_file())
                files[p] = readFile(p);
        }
        return files;
    }

    // Runs the body with the fault that `arm` sets; true when it fired.
    bool runOnce(const std::string &what, const Body &body, const std::function<void()> &arm,
                 std::vector<int16_t> *clean = nullptr)
    {
        std::error_code ec;
        for (auto &e : fs::recursive_directory_iterator(out, ec))
            SetFileAttributesA(e.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(out, ec);
        fs::create_directories(out);
        auto before = outside();
        qzhost_reset_counters();
        arm();
        std::vector<int16_t> results;
        body(results);
        qzhost_counters c;
        qzhost_get_counters(&c);
        qzhost_clear_faults();
        for (int16_t r : results)
            EXPECT_TRUE(kCodes.count(r)) << what << ": result " << r;
        EXPECT_EQ(c.blocks, 0) << what;
        EXPECT_EQ(c.handles, 0) << what;
        EXPECT_EQ(qz::archive::openCount(), 0) << what;
        EXPECT_TRUE(fs::is_empty(temp)) << what << ": a temporary file is left";
        EXPECT_TRUE(outside() == before) << what << ": a file outside the destination changed";
        if (clean)
            *clean = results;
        return c.faults > 0;
    }

    // The clean run gives `results` and writes `files`; then every
    // allocation, read, write and named call of it fails once, and the disk
    // fills at points every run writes past (and further on).  A transfer
    // cut to a few bytes fires only when more were asked for.
    void sweep(const Body &body, const std::vector<int16_t> &results, const std::vector<Entry> &files)
    {
        std::vector<int16_t> clean;
        ASSERT_FALSE(runOnce("clean run", body, [] {}, &clean));
        qzhost_counters c;
        qzhost_get_counters(&c);
        EXPECT_EQ(clean, results);
        for (const Entry &e : files)
            EXPECT_TRUE(readFile(out + "/" + e.name) == e.data) << e.name;
        auto fires = [&](const std::string &what, const std::function<void()> &arm, bool must) {
            EXPECT_TRUE(runOnce(what, body, arm) || !must) << what << ": the fault never fired";
        };
        for (unsigned long n = 1; n <= c.allocations && !HasFailure(); n += step)
            fires("allocation " + std::to_string(n), [n] { qzhost_fail_alloc(n, 0); }, true);
        for (unsigned long n = 1; n <= c.reads && !HasFailure(); n += step)
            fires("read " + std::to_string(n), [n] { qzhost_short_read(n, n % 3 ? 0 : 7); }, n % 3);
        for (unsigned long n = 1; n <= c.writes && !HasFailure(); n += step)
            fires("write " + std::to_string(n), [n] { qzhost_short_write(n, n % 2 ? 0 : 5); }, n % 2);
        for (long long bytes : {0LL, 1LL, 100LL, 4096LL, 65520LL, 70000LL, 150000LL})
            fires("disk full after " + std::to_string(bytes), [bytes] { qzhost_disk_full_after(bytes); },
                  c.writes && bytes <= 4096);
        fires("every allocation from the 3rd", [] { qzhost_fail_alloc(3, 1); }, true);
        for (const char *call : kCalls) {
            bool fired = true;
            for (unsigned long n = 1; fired && !HasFailure(); n += step) {
                DWORD error = n % 2 ? ERROR_ACCESS_DENIED : ERROR_SHARING_VIOLATION;
                fired = runOnce(call + (" " + std::to_string(n)), body, [=] { qzhost_fail_call(call, n, error, 0); });
            }
        }
    }

    // Opens, makes the calls, closes: the handle variable is valid after
    // every call, or all bits set after a failed open.
    static void withArchive(const std::string &path, std::vector<int16_t> &results,
                            const std::function<void(QzHandle &)> &calls)
    {
        QzHandle h = 0x1234;
        results.push_back(Qz4ZipOpen(path.c_str(), 0, &h));
        if (results.back() != 0) {
            EXPECT_EQ(h, QZ_INVALID_HANDLE);
            return;
        }
        calls(h);
        EXPECT_NE(Qz4GetCDR(h), -1) << "the handle variable names no open archive";
        Qz4ZipClose(&h);
    }
};

// Each layout is opened, tested and extracted.
TEST_F(FaultSweep, EveryLayout)
{
    std::vector<Entry> e = scenarioEntries(), some = {e[0], e[1], e[2]}, set = {e[0], e[1], e[2], e[5]};
    std::vector<std::string> volumes = buildQzvwSet(1, {{e[0], e[1]}, {e[2], e[5]}});
    put(dir, "SET.002", volumes[1]);
    const int16_t S = QZ_SKIPPED;
    const struct {
        const char *name;
        std::string bytes;
        std::vector<int16_t> results;
        std::vector<Entry> files;
    } layouts[] = {
        {"plain.zip", buildZip(e), {0, S, S}, {e[0], e[1], e[2], e[5]}}, {"SET.001", volumes[0], {0, 0, 0}, set},
        {"sfx.exe", buildSfx(some, false), {0, 0, 0}, some},   {"pklite.exe", buildSfx(some, true), {0, 0, 0}, some},
        {"kind1.qzv", buildQzvw(1, some), {0, 0, 0}, some},    {"kind2.qzv", buildQzvw(2, some), {0, 0, 0}, some},
        {"kind3.qzv", buildQzvw(3, some), {0, 0, 0}, some},
        {"dirfirst.zip", buildDirFirst(some, "comment"), {0, 0, 0}, some},
    };
    for (const auto &layout : layouts) {
        SCOPED_TRACE(layout.name);
        std::string path = put(dir, layout.name, layout.bytes);
        sweep([&](std::vector<int16_t> &results) {
            withArchive(path, results, [&](QzHandle &h) {
                results.push_back(Qz4UnZip(&h, nullptr, nullptr, "*.*", nullptr, "-t -s/pw/"));
                results.push_back(Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, "-d -o -s/pw/"));
            });
        }, layout.results, layout.files);
    }
}

TEST_F(FaultSweep, OverwritingPathFiltersAndMemory)
{
    std::vector<Entry> e = scenarioEntries();
    std::string path = put(dir, "plain.zip", buildZip(e));
    cb.onEvent([](const QzPrintBlock &b) -> int {
        return b.eventKind == QZ_EVENT_QUESTION ? QZ_ANSWER_YES : RecordingCallback::kNoAnswer;
    });
    sweep([&](std::vector<int16_t> &results) {
        withArchive(path, results, [&](QzHandle &h) {
            writeFile(out + "/a.txt", "existing");
            results.push_back(Qz4UnZip(&h, out.c_str(), nullptr, "*.*", "big.bin", "-s/pw/"));
        });
    }, {0, QZ_SKIPPED}, {e[0]});
    sweep([&](std::vector<int16_t> &results) {
        withArchive(path, results, [&](QzHandle &h) {
            results.push_back(Qz4AddUnZipPathFilter((out + "/sub").c_str(), (out + "/moved").c_str()));
            results.push_back(Qz4AddUnZipPathFilter(nullptr, nullptr));
            results.push_back(Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, "-d -.d -s/pw/"));
        });
    }, {0, 0, QZ_ERR_EMPTY_FILTER, QZ_SKIPPED}, {Entry("moved/stored.bin", e[5].data)});
    std::vector<char> buffer(200000);
    sweep([&](std::vector<int16_t> &results) {
        withArchive(path, results, [&](QzHandle &h) {
            results.push_back(Qz4UnZipPtr(h, buffer.data(), 0, -1, "big.bin", ""));
            results.push_back(Qz4UnZipPtr(h, buffer.data(), 70000, 100, "sub/stored.bin", ""));
            results.push_back(Qz4UnZipPtr(h, buffer.data(), 0, -1, "sec/secret.txt", "-s/pw/"));
        });
    }, {0, 0, 0, 0}, {});
}

TEST_F(FaultSweep, SpannedSetOnARemovableDrive)
{
    std::vector<Entry> e = {Entry("one.txt", "disk one"), Entry("span.bin", noise(5000, 9), 8),
                            Entry("last.txt", "the end")};
    std::vector<std::string> volumes = buildSpanned(e, 1500);
    RemovableDrive drive('A', dir.file("floppy"));
    drive.useSet("SET.ZIP", volumes);
    cb.onEvent([&](const QzPrintBlock &b) -> int {
        if (b.eventKind == QZ_EVENT_QUESTION)
            drive.insertVolume(b.eventCode == QZ_QUESTION_LAST_DISK ? (int)volumes.size() : b.diskNumber);
        return b.eventKind == QZ_EVENT_QUESTION ? QZ_ANSWER_OK : RecordingCallback::kNoAnswer;
    });
    sweep([&](std::vector<int16_t> &results) {
        drive.insertVolume(1);
        withArchive(drive.path("SET.ZIP"), results, [&](QzHandle &h) {
            results.push_back(Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, ""));
        });
    }, {0, 0}, e);
}

}  // namespace

#endif
