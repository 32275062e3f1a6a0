// Archives made by other writers (Info-ZIP zip, 7z, bsdtar, Python's
// zipfile), extracted by the library directly: Qz4UnZip must reproduce the
// source tree byte for byte, test mode must pass, Qz4UnZipPtr must deliver
// whole entries and windows of them, and Info-ZIP's encrypted entries must be
// refused without a file written.
//
// The archives and the tree come from make_archives.py, run by ctest before
// this suite (on the Linux side, also for the Windows build under Wine).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "qzunpack.h"
#include "support/archive_helpers.h"
#include "support/recording_callback.h"
#include "support/temp_dir.h"

using namespace qztest;
namespace fs = std::filesystem;

namespace {

struct Archive {
    std::string file, writer, password, expect;
    std::string path() const { return (fs::path(QZ_INTEROP_DATA) / "archives" / file).string(); }
    // The password switch, or nothing.
    std::string passwordSwitch() const { return password == "-" ? "" : " -s:" + password + ":"; }
};

// The archives of the manifest that are expected to give `expect`; the
// writers left out are reported once.
std::vector<Archive> archives(const std::string &expect)
{
    std::vector<Archive> out;
    std::ifstream f(fs::path(QZ_INTEROP_DATA) / "manifest.txt");
    static bool told = false;
    std::string line;
    while (std::getline(f, line)) {
        std::vector<std::string> fields;
        std::stringstream s(line);
        for (std::string field; std::getline(s, field, '\t');)
            fields.push_back(field);
        if (fields.size() == 3 && fields[0] == "skip") {
            if (!told)
                std::cout << "[ skipped  ] " << fields[2] << "\n";
            continue;
        }
        if (fields.size() == 4 && fields[3] == expect)
            out.push_back({fields[0], fields[1], fields[2], fields[3]});
    }
    told = true;
    return out;
}

fs::path tree()
{
    return fs::path(QZ_INTEROP_DATA) / "tree";
}

std::string contents(const fs::path &p)
{
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Relative path -> contents, with "/" for a directory.
std::map<std::string, std::string> listing(const fs::path &root)
{
    std::map<std::string, std::string> items;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string rel = fs::relative(it->path(), root).generic_string();
        items[rel] = it->is_directory() ? "/" : contents(it->path());
    }
    return items;
}

void expectSameTree(const fs::path &want, const fs::path &got)
{
    auto a = listing(want), b = listing(got);
    ASSERT_FALSE(a.empty());
    for (const auto &item : a) {
        auto found = b.find(item.first);
        if (found == b.end()) {
            ADD_FAILURE() << item.first << " is missing";
            continue;
        }
        EXPECT_TRUE(found->second == item.second) << item.first << " differs (" << found->second.size() << " bytes, "
                                                  << item.second.size() << " expected)";
    }
    for (const auto &item : b)
        EXPECT_TRUE(a.count(item.first)) << item.first << " was not expected";
}

size_t regularFilesBelow(const fs::path &root)
{
    size_t n = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        n += it->is_regular_file() ? 1 : 0;
    return n;
}

class Interop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(fs::path(QZ_INTEROP_DATA) / "manifest.txt"))
            GTEST_SKIP() << "no interop archives in " << QZ_INTEROP_DATA << " (made by make_archives.py)";
    }
};

// The walk of an archive, and the places in it of the directory entries
// (names ending in '/') or of the others.
Listing walk(QzHandle h)
{
    Listing l = listAll(h);
    EXPECT_EQ(l.end, QZ_NO_MORE_ENTRIES);
    return l;
}

std::vector<size_t> entriesOfKind(const Listing &l, bool directories)
{
    std::vector<size_t> out;
    for (size_t i = 0; i < l.names.size(); ++i)
        if ((!l.names[i].empty() && l.names[i].back() == '/') == directories)
            out.push_back(i);
    return out;
}

// Runs body for every archive of the manifest with this expectation, open,
// with an empty scratch folder; a failed assertion moves on to the next.
void forEachArchive(const std::string &expect,
                    const std::function<void(const Archive &, QzHandle &, const std::string &out)> &body)
{
    for (const Archive &a : archives(expect)) {
        SCOPED_TRACE(a.file + " (" + a.writer + ")");
        TempDir out;
        OpenArchive open(a.path());
        EXPECT_EQ(open.result, 0);
        if (open.result == 0)
            body(a, open.h, out.path());
    }
}

}  // namespace

TEST_F(Interop, ArchivesOfOtherWritersExtractToTheSourceTree)
{
    forEachArchive("ok", [](const Archive &a, QzHandle &h, const std::string &out) {
        // These writers record a Unix mode, so the enumeration reports
        // attributes 0 and a directory entry is taken for a file: the
        // library makes the directory on the way to it, then cannot create a
        // file of that name and says so with message 105.
        const Listing l = walk(h);
        const size_t directories = entriesOfKind(l, true).size();
        for (size_t i : entriesOfKind(l, true))
            EXPECT_EQ(uint32_t(l.records[i].externalAttributes), 0u) << l.names[i];
        ASSERT_GT(directories, 0u);

        RecordingCallback cb;
        int16_t r = Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, ("-d" + a.passwordSwitch()).c_str());
        EXPECT_EQ(r, QZ_SKIPPED);
        EXPECT_EQ(Qz4MoreStatus(), QZ_ERR_FILE);
        std::vector<QzPrintBlock> messages = cb.eventsOf(QZ_EVENT_MESSAGE);
        EXPECT_EQ(messages.size(), directories);
        for (const QzPrintBlock &m : messages) {
            EXPECT_EQ(m.eventCode, QZ_ERR_FILE);
            std::string name = m.fileName;
            EXPECT_TRUE(!name.empty() && name.back() == '\\') << name;
        }
        expectSameTree(tree(), fs::path(out) / "tree");

        // Test mode decodes every entry and checks its CRC; the directory
        // entries are empty files to it.
        cb.clear();
        EXPECT_EQ(Qz4UnZip(&h, nullptr, nullptr, "*.*", nullptr, ("-t" + a.passwordSwitch()).c_str()), 0);
        EXPECT_TRUE(cb.eventsOf(QZ_EVENT_MESSAGE).empty());
    });
}

TEST_F(Interop, LeavingOutDirectoryEntriesGivesAnErrorFreeRun)
{
    // "?*" fits every name but the empty one, which is the name part of a
    // directory entry: the files alone are extracted, without a message.
    forEachArchive("ok", [](const Archive &a, QzHandle &h, const std::string &out) {
        RecordingCallback cb;
        EXPECT_EQ(Qz4UnZip(&h, out.c_str(), nullptr, "?*", nullptr, ("-d" + a.passwordSwitch()).c_str()), 0);
        EXPECT_TRUE(cb.eventsOf(QZ_EVENT_MESSAGE).empty());
        EXPECT_EQ(contents(fs::path(out) / "tree" / "logs" / "compressible.log"),
                  contents(tree() / "logs" / "compressible.log"));
        EXPECT_FALSE(fs::exists(fs::path(out) / "tree" / "empty-dir"));
    });
}

TEST_F(Interop, UnZipPtrDeliversWholeEntriesAndWindows)
{
    const char *names[] = {"logs/compressible.log", "data/random.bin", "chunk-65521.txt", "empty.txt"};
    forEachArchive("ok", [&names](const Archive &a, QzHandle &h, const std::string &) {
        for (const char *name : names) {
            SCOPED_TRACE(name);
            const std::string want = contents(tree() / name);
            const std::string spec = std::string("tree/") + name;
            std::string got(want.size() + 16, '\x55');
            ASSERT_EQ(Qz4UnZipPtr(h, &got[0], 0, -1, spec.c_str(), a.passwordSwitch().c_str()), 0);
            EXPECT_TRUE(got.substr(0, want.size()) == want);
            EXPECT_EQ(got.substr(want.size()), std::string(16, '\x55'));

            if (want.size() > 70000) {
                const int32_t skip = (int32_t)want.size() - 70000;
                std::string window(100, '\0');
                ASSERT_EQ(Qz4UnZipPtr(h, &window[0], skip, 100, spec.c_str(), a.passwordSwitch().c_str()), 0);
                EXPECT_EQ(window, want.substr((size_t)skip, 100));
            }
        }
    });
}

TEST_F(Interop, InfoZipEncryptedEntriesAreRefusedAndNothingIsWritten)
{
    // Info-ZIP writes encrypted entries with a data descriptor and makes the
    // last byte of the encryption header the high byte of the file time; the
    // password check compares it with the CRC, so the right password is
    // refused like a wrong one.
    forEachArchive("refused", [](const Archive &a, QzHandle &h, const std::string &out) {
        const Listing l = walk(h);
        const size_t files = entriesOfKind(l, false).size();
        for (size_t i : entriesOfKind(l, false))
            EXPECT_EQ(l.records[i].flags & 9, 9) << l.names[i] << ": encrypted, with a data descriptor";

        RecordingCallback cb;
        EXPECT_EQ(Qz4UnZip(&h, out.c_str(), nullptr, "?*", nullptr, ("-d" + a.passwordSwitch()).c_str()),
                  QZ_SKIPPED);
        EXPECT_EQ(Qz4MoreStatus(), QZ_WRONG_PASSWORD);
        std::vector<QzPrintBlock> messages = cb.eventsOf(QZ_EVENT_MESSAGE);
        EXPECT_EQ(messages.size(), files);
        for (const QzPrintBlock &m : messages)
            EXPECT_EQ(m.eventCode, QZ_WRONG_PASSWORD);
        EXPECT_EQ(regularFilesBelow(out), 0u);

        std::string buffer(16, '\0');
        EXPECT_EQ(Qz4UnZipPtr(h, &buffer[0], 0, -1, "tree/docs/readme.txt", a.passwordSwitch().c_str()),
                  QZ_BAD_PASSWORD);
    });
}
