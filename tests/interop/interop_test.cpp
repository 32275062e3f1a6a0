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
#include <iterator>
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "qzunpack_ext.h"
#include "support/archive_helpers.h"
#include "support/recording_callback.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

using namespace qztest;
namespace fs = std::filesystem;

namespace {

const fs::path kData = QZ_INTEROP_DATA, kTree = kData / "tree";

struct Archive {
    std::string file, writer, password;
    std::string passwordSwitch() const { return password == "-" ? "" : " -s:" + password + ":"; }
};

// Relative path -> contents ("/" for a directory) of the files below root,
// opened by their wide names on Windows, so that any name can be read.
std::map<std::string, std::string> listing(const fs::path &root) {
    std::map<std::string, std::string> items;
    for (auto &e : fs::recursive_directory_iterator(root)) {
        std::ifstream in(e.path(), std::ios::binary);
        items[fs::relative(e.path(), root).generic_string()] =
            e.is_directory() ? "/" : std::string(std::istreambuf_iterator<char>(in), {});
    }
    return items;
}

std::vector<std::string> split(const std::string &line, char separator) {
    std::vector<std::string> fields;
    std::stringstream s(line);
    for (std::string field; std::getline(s, field, separator);)
        fields.push_back(field);
    return fields;
}

// Runs body for every archive of the manifest expected to give `expect`,
// with a copy of it open and an empty scratch folder.
void forEachArchive(const std::string &expect,
                    const std::function<void(const Archive &, QzHandle &, const std::string &out)> &body) {
    std::ifstream manifest(kData / "manifest.txt");
    if (!manifest)
        GTEST_SKIP() << "no interop archives in " << kData << " (made by make_archives.py)";
    for (std::string line; std::getline(manifest, line);) {
        const std::vector<std::string> f = split(line, '\t');
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

// The extension flags in force for a scope; all off again at its end.
struct Extensions {
    explicit Extensions(uint32_t flags) { QzSetExtensions(flags); }
    ~Extensions() { QzSetExtensions(0); }
};

// Names in the ANSI page as std::filesystem reads them back (UTF-8), and
// UTF-8 names as they come back once the library has written them: on
// Windows through page 1252, with '_' for the characters it lacks.
#ifdef _WIN32
std::string fromAnsi(const std::string &ansi) {
    std::wstring wide(ansi.size(), L'\0');
    wide.resize((size_t)MultiByteToWideChar(1252, 0, ansi.data(), (int)ansi.size(), &wide[0],
                                            (int)wide.size()));
    return fs::path(wide).generic_string();
}
std::string asWritten(const std::string &utf8) {
    const std::wstring wide = fs::u8path(utf8).wstring();
    std::string ansi(wide.size() * 2 + 1, '\0');
    ansi.resize((size_t)WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, wide.c_str(), (int)wide.size(),
                                            &ansi[0], (int)ansi.size(), "_", nullptr));
    return fromAnsi(ansi);
}
#else
std::string fromAnsi(const std::string &ansi) { return ansi; }
std::string asWritten(const std::string &utf8) { return utf8; }
#endif

// The entries an extraction into `out` reported, as name=code.  The block
// holds the destination path with '\\' separators; a long one is cut short
// and taken as the expected entry whose first 100 bytes it shares.
std::vector<std::string> reported(const RecordingCallback &cb, const std::string &out,
                                  const std::vector<std::string> &want) {
    std::vector<std::string> got;
    for (const QzPrintBlock &m : cb.eventsOf(QZ_EVENT_MESSAGE)) {
        std::string path(m.fileName, std::find(m.fileName, m.fileName + sizeof m.fileName, '\0'));
        std::replace(path.begin(), path.end(), '\\', '/');
        std::string name = fromAnsi(path.substr(std::min(path.size(), out.size() + 1)));
        for (const std::string &w : want)
            if (name.size() > 100 && w.compare(0, 100, name, 0, 100) == 0)
                name = w.substr(0, w.rfind('='));
        got.push_back(name + "=" + std::to_string(m.eventCode));
    }
    return got;
}

TEST(Interop, ExtensionModeReadsArchivesOfTodaysWriters) {
    // Rows: archive, password, result of the default mode, result with every
    // extension on, the entries that mode reports (name=code,... or -).
    std::ifstream manifest(kData / "ext-manifest.txt");
    if (!manifest)
        GTEST_SKIP() << "no extension archives in " << kData << " (made by make_archives.py)";
    for (std::string line; std::getline(manifest, line);) {
        const std::vector<std::string> row = split(line, '\t');
        if (row.size() != 5)
            continue;
#ifdef _WIN32
        if (row[0].rfind("posix-", 0) == 0)
            continue;   // names only POSIX file systems hold
#endif
        // The big ones are tested where they are, not copied.
        const bool big = row[0].rfind("big-", 0) == 0;
        if (big && getenv("QZ_UNDER_VALGRIND"))
            continue;
        const std::string command = (big ? "-t" : "-d -o") + (row[1] == "-" ? "" : " -s:" + row[1] + ":");
        for (uint32_t flags : {0u, (uint32_t)QZ_EXT_ALL}) {
            Extensions mode(flags);
            TempDir dir;
            const std::string out = dir.file("out");
            fs::create_directory(out);
            for (const auto &volume : fs::directory_iterator(kData / "ext"))
                if (!big && volume.path().stem() == fs::path(row[0]).stem())
                    put(dir, volume.path().filename().string(), readFile(volume.path().string()));
            OpenArchive open(big ? (kData / "ext" / row[0]).string() : dir.file(row[0]));
            const std::string name = row[0] + (flags ? " (extensions on)" : " (default mode)");
            RecordingCallback cb;
            int result = open.result;
            if (result == 0)
                result = Qz4UnZip(&open.h, out.c_str(), nullptr, "*.*", nullptr, command.c_str());
            if (row[flags ? 3 : 2] != "*")  // a result that differs by platform
                EXPECT_EQ(result, std::stoi(row[flags ? 3 : 2])) << name;
            if (!flags || open.result != 0)
                continue;
            QzEntry64 place;
            if (row[0] == "big-sparse.zip") {
                QzEntryRecord record;
                char entry[261];
                ASSERT_EQ(Qz4ZipFindFirst(open.h, &record, entry, nullptr, 0, nullptr, 0), 0);
                ASSERT_EQ(QzGetEntry64(open.h, &place), 0);
                EXPECT_EQ(place.uncompressedSize, 5ull << 30);
                EXPECT_EQ(+record.uncompressedSize, 0xFFFFFFFFu);
            }
            const std::vector<std::string> want = row[4] == "-" ? std::vector<std::string>()
                                                                : split(asWritten(row[4]), ',');
            EXPECT_EQ(reported(cb, out, want), want) << name;
            std::map<std::string, std::string> tree;
            for (auto &item : listing(kData / "ext-expected" / row[0]))
                tree[asWritten(item.first)] = item.second;
            EXPECT_EQ(listing(out), tree) << name;
#ifndef _WIN32
            // Unix modes under the umask; the link comes out as a file holding its target.
            const mode_t mask = umask(0);
            umask(mask);
            // Python's writer stores permission bits without a file type.
            const struct {
                const char *archive, *file;
                unsigned bits;
            } kModes[] = {{"zip-symlink.zip", "/exec.sh", 0755}, {"zip-symlink.zip", "/readonly.txt", 0444},
                          {"python-utf8.zip", "/private.txt", 0600}};
            for (auto [archive, file, bits] : kModes)
                if (row[0] == archive)
                    EXPECT_EQ((unsigned)fs::status(out + file).permissions(), bits & ~mask) << name << file;
            EXPECT_FALSE(fs::is_symlink(out + "/link")) << name;
#endif
        }
    }
}

}  // namespace
