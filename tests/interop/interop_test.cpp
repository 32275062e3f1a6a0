// Archives made by other writers (Info-ZIP zip, 7z, bsdtar, Python's
// zipfile), read through the exports: Qz4UnZip must reproduce the source
// tree byte for byte and test mode must pass, Qz4UnZipPtr must deliver whole
// entries and windows of them, and Info-ZIP's encrypted entries must be
// refused without a file written.  make_archives.py, run by ctest before this
// suite, makes the tree, the archives and a manifest; each test opens a copy
// of an archive, so that a fault of the library cannot damage the original.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/archive_helpers.h"
#include "support/recording_callback.h"

using namespace qztest;
namespace fs = std::filesystem;

namespace {

const fs::path kData = QZ_INTEROP_DATA, kTree = kData / "tree";

struct Archive {
    std::string file, writer, password;
    std::string passwordSwitch() const { return password == "-" ? "" : " -s:" + password + ":"; }
};

// Relative path -> contents ("/" for a directory) of the files below root.
std::map<std::string, std::string> listing(const fs::path &root) {
    std::map<std::string, std::string> items;
    for (auto &e : fs::recursive_directory_iterator(root))
        items[fs::relative(e.path(),
            root).generic_string()] = e.is_directory() ? "/" : readFile(e.path().string());
    return items;
}

// Runs body for every archive of the manifest expected to give `expect`,
// with a copy of it open and an empty scratch folder.
void forEachArchive(const std::string &expect,
                    const std::function<void(const Archive &, QzHandle &, const std::string &out)> &body) {
    std::ifstream manifest(kData / "manifest.txt");
    if (!manifest)
        GTEST_SKIP() << "no interop archives in " << kData << " (made by make_archives.py)";
    for (std::string line; std::getline(manifest, line);) {
        std::vector<std::string> f;
        std::stringstream s(line);
        for (std::string field; std::getline(s, field, '\t');)
            f.push_back(field);
        if (f.size() != 4 || f[3] != expect)
            continue;
        Archive a = {f[0], f[1], f[2]};
        SCOPED_TRACE(a.file + " (" + a.writer + ")");
        TempDir dir;
        fs::create_directory(dir.file("out"));
        OpenArchive open(put(dir, a.file, readFile((kData / "archives" / a.file).string())));
        ASSERT_EQ(open.result, 0);
        body(a, open.h, dir.file("out"));
    }
}

bool isDirectory(const std::string &name) { return !name.empty() && name.back() == '/'; }

TEST(Interop, ArchivesOfOtherWritersExtractToTheSourceTree) {
    forEachArchive("ok", [](const Archive &a, QzHandle &h, const std::string &out) {
        // These writers record a Unix mode, so a directory entry has
        // attributes 0 and is taken for a file: the library makes the
        // directory on the way to it, then cannot create a file of that name
        // and says so with message 105.
        const Listing l = listAll(h);
        EXPECT_EQ(l.end, QZ_NO_MORE_ENTRIES);
        size_t directories = 0;
        for (size_t i = 0; i < l.names.size(); ++i) {
            directories += isDirectory(l.names[i]);
            EXPECT_TRUE(!isDirectory(l.names[i]) || l.records[i].externalAttributes == 0) << l.names[i];
        }
        ASSERT_GT(directories, 0u);
        RecordingCallback cb;
        EXPECT_EQ(Qz4UnZip(&h, out.c_str(), nullptr, "*.*", nullptr, ("-d" + a.passwordSwitch()).c_str()),
                  QZ_SKIPPED);
        EXPECT_EQ(Qz4MoreStatus(), QZ_ERR_FILE);
        EXPECT_EQ(cb.eventsOf(QZ_EVENT_MESSAGE).size(), directories);
        for (const QzPrintBlock &m : cb.eventsOf(QZ_EVENT_MESSAGE))
            EXPECT_TRUE(m.eventCode == QZ_ERR_FILE && std::string(m.fileName).back() == '\\') << m.fileName;
        EXPECT_TRUE(listing(kTree) == listing(fs::path(out) / "tree"));
        // Test mode decodes every entry and checks its CRC; the directory
        // entries are empty files to it.
        cb.clear();
        EXPECT_EQ(Qz4UnZip(&h, nullptr, nullptr, "*.*", nullptr, ("-t" + a.passwordSwitch()).c_str()), 0);
        EXPECT_TRUE(cb.eventsOf(QZ_EVENT_MESSAGE).empty());
    });
}

TEST(Interop, UnZipPtrDeliversWholeEntriesAndWindows) {
    forEachArchive("ok", [](const Archive &a, QzHandle &h, const std::string &) {
        for (const char *name : {"logs/compressible.log", "data/random.bin", "chunk-65521.txt",
            "empty.txt"}) {
            SCOPED_TRACE(name);
            const std::string want = readFile((kTree / name).string()), entry = std::string("tree/") + name;
            std::string got(want.size() + 16, '\x55'), window(100, '\0');
            ASSERT_EQ(Qz4UnZipPtr(h, &got[0], 0, -1, entry.c_str(), a.passwordSwitch().c_str()), 0);
            EXPECT_TRUE(got == want + std::string(16, '\x55'));
            const int32_t skip = std::max((int32_t)want.size() - 70000, 0);
            ASSERT_EQ(Qz4UnZipPtr(h, &window[0], skip, 100, entry.c_str(), a.passwordSwitch().c_str()), 0);
            EXPECT_TRUE(window.substr(0, std::min<size_t>(100, want.size())) == want.substr((size_t)skip,
                100));
        }
    });
}

TEST(Interop, InfoZipEncryptedEntriesAreRefusedAndNothingIsWritten) {
    // Info-ZIP writes encrypted entries with a data descriptor and makes the
    // last byte of the encryption header the high byte of the file time; the
    // library checks it against the CRC, so the right password is refused.
    forEachArchive("refused", [](const Archive &a, QzHandle &h, const std::string &out) {
        const Listing l = listAll(h);
        size_t files = 0;
        for (size_t i = 0; i < l.names.size(); ++i) {
            files += !isDirectory(l.names[i]);
            EXPECT_TRUE(isDirectory(l.names[i]) || (l.records[i].flags & 9) == 9) << l.names[i];
        }
        RecordingCallback cb;
        EXPECT_EQ(Qz4UnZip(&h, out.c_str(), nullptr, "?*", nullptr, ("-d" + a.passwordSwitch()).c_str()),
                  QZ_SKIPPED);
        EXPECT_EQ(Qz4MoreStatus(), QZ_WRONG_PASSWORD);
        EXPECT_EQ(cb.eventsOf(QZ_EVENT_MESSAGE, QZ_WRONG_PASSWORD).size(), files);
        EXPECT_EQ(cb.eventsOf(QZ_EVENT_MESSAGE).size(), files);
        for (auto &e : fs::recursive_directory_iterator(out))
            EXPECT_FALSE(e.is_regular_file()) << e.path();
        std::string buffer(16, '\0');
        EXPECT_EQ(Qz4UnZipPtr(h, &buffer[0], 0, -1, "tree/docs/readme.txt", a.passwordSwitch().c_str()),
                  QZ_BAD_PASSWORD);
    });
}

}  // namespace
