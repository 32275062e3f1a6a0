// Every extraction scenario, first clean (its results and files checked),
// then under faults: the Nth allocation fails, the Nth read or write comes
// back short, the disk fills, the Nth call of a named function fails.  Each
// armed fault must fire, and whatever fails, each call gives a code of the
// result table, the handle variable is valid (or all bits set after a failed
// open), and nothing is left behind (blocks, handles, QVW files, open
// archives) or changed outside the destination.  DeleteFileA is left out: it
// leaves the QVW file it could not delete.  POSIX layer only.
#ifndef _WIN32

#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include <sys/stat.h>

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
const qzhost_call kCalls[] = {QZHOST_CreateFileA, QZHOST_ReadFile, QZHOST_WriteFile, QZHOST_SetFilePointer,
                              QZHOST_GetFileSize, QZHOST_SetEndOfFile, QZHOST_CreateDirectoryA,
                              QZHOST_SetFileTime, QZHOST_GetFileAttributesA, QZHOST_SetFileAttributesA,
                              QZHOST_FindFirstFileA, QZHOST_FindNextFileA, QZHOST_GetTempPathA,
                              QZHOST_GetTempFileNameA, QZHOST_GetVolumeInformationA};
// The calls made on an open archive; each adds its results.
using Calls = std::function<void(QzHandle &, std::vector<int16_t> &)>;

class FaultSweep : public ::testing::Test {
protected:
    TempDir dir;
    std::string out = dir.file("out"), temp = dir.file("temp");
    unsigned long sample = getenv("QZ_UNDER_VALGRIND") ? 5 : 1;   // named calls: samples under valgrind
    RecordingCallback cb;                                      // answers every message with OK
    std::function<void()> beforeOpen = [] {};

    void SetUp() override {
        fs::create_directories(temp);
        qzhost_set_temp_path(temp.c_str());
        writeFile(dir.file("sentinel.txt"), "must not change");
    }
    void TearDown() override { qzhost_set_temp_path(nullptr); }

    // Every file outside the destination and the floppy, with its size and
    // times of last write and change (any write moves them).
    std::map<std::string, std::vector<long long>> outside() {
        std::map<std::string, std::vector<long long>> files;
        struct stat st;
        for (auto it = fs::recursive_directory_iterator(dir.path()); it != fs::end(it); ++it) {
            std::string p = it->path().string();
            if (p == out || p.find("floppy") != std::string::npos)
                it.disable_recursion_pending();
            else if (it->is_regular_file() && stat(p.c_str(), &st) == 0)
                files[p] = {st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_ctim.tv_sec,
                            st.st_ctim.tv_nsec};
        }
        return files;
    }
    std::map<std::string, std::vector<long long>> before;

    // Opens the archive, makes the calls and closes it with the fault that
    // `arm` sets; true when the fault fired.
    bool runOnce(const std::string &what, const std::string &path, const Calls &calls,
                 const std::function<void()> &arm, std::vector<int16_t> *clean = nullptr) {
        std::error_code ec;
        for (auto &e : fs::recursive_directory_iterator(out, ec))
            SetFileAttributesA(e.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(out, ec);
        fs::create_directories(out);
        beforeOpen();
        cb.clear();
        qzhost_reset_counters();
        arm();
        QzHandle h = 0x1234;
        std::vector<int16_t> results = {Qz4ZipOpen(path.c_str(), 0, &h)};
        if (results[0] == 0)
            calls(h, results);
        bool valid = results[0] == 0 ? Qz4GetCDR(h) != -1 : h == QZ_INVALID_HANDLE;
        EXPECT_TRUE(valid) << what << ": handle " << h;
        if (results[0] == 0)
            Qz4ZipClose(&h);
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
    void sweep(const std::string &path, const Calls &calls, const std::vector<int16_t> &results,
               const std::vector<Entry> &files) {
        std::vector<int16_t> clean;
        before = outside();
        ASSERT_FALSE(runOnce("clean run", path, calls, [] {}, &clean));
        qzhost_counters c;
        qzhost_get_counters(&c);
        EXPECT_EQ(clean, results);
        for (const Entry &e : files)
            EXPECT_TRUE(readFile(out + "/" + e.name) == e.data) << e.name;
        auto fires = [&](const std::string &what, const std::function<void()> &arm, bool must) {
            EXPECT_TRUE(runOnce(what, path, calls, arm) || !must) << what << ": the fault never fired";
        };
        for (unsigned long n = 1; n <= c.allocations && !HasFailure(); ++n)
            fires("allocation " + std::to_string(n), [n] { qzhost_fail_alloc(n, 0); }, true);
        for (unsigned long n = 1; n <= c.reads && !HasFailure(); ++n)
            fires("read " + std::to_string(n), [n] { qzhost_short_read(n, n % 3 ? 0 : 7); }, n % 3);
        for (unsigned long n = 1; n <= c.writes && !HasFailure(); ++n)
            fires("write " + std::to_string(n), [n] { qzhost_short_write(n, n % 2 ? 0 : 5); }, n % 2);
        for (long long bytes : {0LL, 1LL, 100LL, 4096LL, 65520LL, 70000LL, 150000LL})
            fires("disk full after " + std::to_string(bytes), [bytes] { qzhost_disk_full_after(bytes); },
                  c.writes && bytes <= 4096);
        fires("every allocation from the 3rd", [] { qzhost_fail_alloc(3, 1); }, true);
        // Every read and write has failed above (short); these calls fail
        // with an error at every third one (or the sample's step).
        for (qzhost_call c : kCalls) {
            bool transfer = c == QZHOST_ReadFile || c == QZHOST_WriteFile || c == QZHOST_SetFilePointer;
            bool fired = true;
            unsigned long step = sample > 1 ? sample : transfer ? 3 : 1;
            for (unsigned long n = 1; fired && !HasFailure(); n += step) {
                DWORD error = n % 2 ? ERROR_ACCESS_DENIED : ERROR_SHARING_VIOLATION;
                fired = runOnce(qzhost_call_name(c) + (" " + std::to_string(n)), path, calls,
                                [=] { qzhost_fail_call(c, n, error, 0); });
            }
        }
    }
};

Calls unzip(const char *destination, const char *command, const char *exclude = nullptr) {
    return [=](QzHandle &h, std::vector<int16_t> &results) {
        results.push_back(Qz4UnZip(&h, destination, nullptr, "*.*", exclude, command));
    };
}

TEST_F(FaultSweep, EveryScenario) {
    Entry secret("sec/secret.txt", std::string(3000, 's') + "tail", 8), bad("bad.txt", "damaged", 8);
    Entry folder("folder/", "");
    secret.password = "pw";
    bad.overrideCrc = true;
    folder.externalAttributes = 0x10;
    const std::vector<Entry> e = {Entry("a.txt", "plain"), Entry("big.bin", noise(100000, 1), 8), secret, bad,
                                  folder, Entry("sub/stored.bin", noise(70000, 2)), Entry("unknown.bin", "xx",
                                      3)};
    const std::vector<Entry> some = {e[0], e[1], e[2]}, set = {e[0], e[1], e[2], e[5]};
    std::vector<std::string> volumes = buildQzvwSet(1, {{e[0], e[1]}, {e[2], e[5]}});
    put(dir, "SET.002", volumes[1]);
    Calls testAndExtract = [&](QzHandle &h, std::vector<int16_t> &results) {
        unzip(nullptr, "-t -s/pw/")(h, results);
        unzip(out.c_str(), "-d -o -s/pw/")(h, results);
    };
    std::vector<char> buffer(200000);
    Calls memory = [&](QzHandle &h, std::vector<int16_t> &results) {
        results.push_back(Qz4UnZipPtr(h, buffer.data(), 0, -1, "big.bin", ""));
        results.push_back(Qz4UnZipPtr(h, buffer.data(), 70000, 100, "sub/stored.bin", ""));
        results.push_back(Qz4UnZipPtr(h, buffer.data(), 0, -1, "sec/secret.txt", "-s/pw/"));
    };
    Calls filters = [&](QzHandle &h, std::vector<int16_t> &results) {
        results.push_back(Qz4AddUnZipPathFilter((out + "/sub").c_str(), (out + "/moved").c_str()));
        results.push_back(Qz4AddUnZipPathFilter(nullptr, nullptr));
        unzip(out.c_str(), "-d -.d -s/pw/")(h, results);
    };
    Calls overwrite = [&](QzHandle &h, std::vector<int16_t> &results) {
        writeFile(out + "/a.txt", "existing");
        unzip(out.c_str(), "-s/pw/", "big.bin")(h, results);
    };
    cb.onEvent([](const QzPrintBlock &b) -> int {
        return b.eventKind == QZ_EVENT_QUESTION ? QZ_ANSWER_YES : RecordingCallback::kNoAnswer;
    });
    const int16_t S = QZ_SKIPPED;
    const struct {
        const char *name;
        std::string bytes;
        Calls calls;
        std::vector<int16_t> results;
        std::vector<Entry> files;
    } scenarios[] = {
        {"plain.zip", buildZip(e), testAndExtract, {0, S, S}, {e[0], e[1], e[2], e[5]}},
        {"SET.001", volumes[0], testAndExtract, {0, 0, 0}, set},
        {"sfx.exe", buildSfx(some, false), testAndExtract, {0, 0, 0}, some},
        {"pklite.exe", buildSfx(some, true), testAndExtract, {0, 0, 0}, some},
        {"kind1.qzv", buildQzvw(1, some), testAndExtract, {0, 0, 0}, some},
        {"kind2.qzv", buildQzvw(2, some), testAndExtract, {0, 0, 0}, some},
        {"kind3.qzv", buildQzvw(3, some), testAndExtract, {0, 0, 0}, some},
        {"dirfirst.zip", buildDirFirst(some, "comment"), testAndExtract, {0, 0, 0}, some},
        {"memory.zip", buildZip(e), memory, {0, 0, 0, 0}, {}},
        {"filters.zip", buildZip(e), filters, {0, 0, QZ_ERR_EMPTY_FILTER, S},
         {Entry("moved/stored.bin", e[5].data)}},
        {"overwrite.zip", buildZip(e), overwrite, {0, S}, {e[0]}},
    };
    for (const auto &s : scenarios) {
        SCOPED_TRACE(s.name);
        sweep(put(dir, s.name, s.bytes), s.calls, s.results, s.files);
    }
}

TEST_F(FaultSweep, SpannedSetOnARemovableDrive) {
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
    beforeOpen = [&] { drive.insertVolume(1); };
    sweep(drive.path("SET.ZIP"), unzip(out.c_str(), ""), {0, 0}, e);
}

}  // namespace

#endif
