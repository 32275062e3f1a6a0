// What qzunzip decides from the central directory: its selection must agree
// with the library's, the include list must leave out directory entries and
// nothing else, unsafe names must be found and left out exactly, and the
// directories of directory entries must be made where the library would
// put their files.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "entries.h"
#include "qzunpack.h"
#include "support/archive_builder.h"
#include "support/archive_helpers.h"
#include "support/recording_callback.h"
#include "support/temp_dir.h"

using namespace qztest;
using qzunzip::ArchiveEntry;

namespace {

// The names of the entries the library processes in test mode with these
// lists: the progress of a test carries the entry's name.
std::set<std::string> libraryTests(const std::vector<Entry> &entries, const std::string &include,
                                   const std::string &exclude)
{
    TempDir dir;
    OpenArchive a(put(dir, "sel.zip", buildZip(entries)));
    EXPECT_EQ(a.result, 0);
    RecordingCallback cb;
    int16_t r = Qz4UnZip(&a.h, nullptr, nullptr, include.c_str(), exclude.empty() ? nullptr : exclude.c_str(), "-t");
    EXPECT_TRUE(r == 0 || r == QZ_NO_MORE_ENTRIES) << r;
    std::set<std::string> names;
    for (const QzPrintBlock &b : cb.eventsOf(QZ_EVENT_NOTIFICATION)) {
        std::string n = b.fileName;
        for (char &c : n)
            if (c == '\\')
                c = '/';
        names.insert(n);
    }
    return names;
}

std::vector<ArchiveEntry> walked(const std::vector<Entry> &entries)
{
    TempDir dir;
    OpenArchive a(put(dir, "walk.zip", buildZip(entries)));
    EXPECT_EQ(a.result, 0);
    std::vector<ArchiveEntry> out;
    EXPECT_EQ(qzunzip::readDirectory(a.h, &out), 0);
    return out;
}

std::vector<std::string> tokens(const std::string &list)
{
    // Test lists hold no quotes: blanks separate.
    std::vector<std::string> out;
    size_t i = 0;
    while ((i = list.find_first_not_of(' ', i)) != std::string::npos) {
        size_t end = list.find(' ', i);
        out.push_back(list.substr(i, end == std::string::npos ? std::string::npos : end - i));
        i = end;
    }
    return out;
}

// An entry as a Unix host writes it: mode in the high half, host byte 3.
Entry unixEntry(const std::string &name, const std::string &data = "")
{
    Entry e(name, data);
    e.host = 3;
    e.externalAttributes = name.back() == '/' ? 0x41ED0010u : 0x81A40000u;
    return e;
}

}  // namespace

TEST(Selection, AgreesWithTheLibrary)
{
    std::vector<Entry> entries;
    for (const char *n : {"A.TXT", "readme", "docs/b.txt", "docs/README", "docs/old/c.txt", "Docs/Sub/x.bak",
                          "x.bak", "my file.txt", "deep/a/b/c.dat", ".profile", "noext", "docs/old/"})
        entries.push_back(Entry(n, "x"));
    const struct {
        const char *include, *exclude;
    } lists[] = {
        {"*.*", ""},           {"*.txt README", ""},  {"docs/*.txt", ""},    {"*.*", "*.bak"},
        {"*.*", "docs/"},      {"docs/", "docs/old/*"}, {"*.", ""},        {"DOCS\\*.TXT", ""},
        {"?*", "*.dat"},       {"readme", "x"},       {"*", "docs/README"}, {"deep/a/", "*.dat"},
        {"*.*", "*."},         {"x.bak", "docs/*.bak"}, {"*.*", "readme"},
    };
    std::vector<ArchiveEntry> walk = walked(entries);
    for (const auto &l : lists) {
        SCOPED_TRACE(std::string("include '") + l.include + "', exclude '" + l.exclude + "'");
        std::set<std::string> expected = libraryTests(entries, l.include, l.exclude);
        qzunzip::Selection selection(tokens(l.include), tokens(l.exclude));
        std::set<std::string> got;
        for (const ArchiveEntry &e : walk)
            if (selection.selects(e.name))
                got.insert(e.name);
        EXPECT_EQ(got, expected);
    }
}

TEST(Selection, QuotedSpecificationsHoldBlanks)
{
    EXPECT_EQ(qzunzip::specList({"*.txt", "my file.txt", "docs/"}), "*.txt \"my file.txt\" docs/");
    // A quote cannot be escaped: blanks and quotes become '?'.
    EXPECT_EQ(qzunzip::specList({"say \"hi\".txt", "\"odd"}), "say??hi?.txt ?odd");
    EXPECT_EQ(qzunzip::specList({"", "a"}), "a");

    std::vector<Entry> entries = {Entry("my file.txt", "1"), Entry("my", "2"), Entry("file.txt", "3")};
    EXPECT_EQ(libraryTests(entries, qzunzip::specList({"my file.txt"}), ""), std::set<std::string>{"my file.txt"});
}

TEST(Selection, DirectoryEntriesAreLeftOutOfTheIncludeList)
{
    using qzunzip::withoutDirectoryEntries;
    EXPECT_EQ(withoutDirectoryEntries("*.*"), "?*.*");
    EXPECT_EQ(withoutDirectoryEntries("*"), "?*");
    EXPECT_EQ(withoutDirectoryEntries("*."), "?*.");
    EXPECT_EQ(withoutDirectoryEntries("docs/"), "docs/?*");
    EXPECT_EQ(withoutDirectoryEntries("docs\\*.*"), "docs\\?*.*");
    EXPECT_EQ(withoutDirectoryEntries("*.txt"), "*.txt");
    EXPECT_EQ(withoutDirectoryEntries("docs/a*"), "docs/a*");

    // The narrowed lists select what the plain ones do, less the directory
    // entries (names with an empty last part).
    std::vector<Entry> entries;
    for (const char *n : {"top", "a.b", "docs/", "docs/x", "docs/y.z", "docs/sub/", "docs/sub/w", "other/"})
        entries.push_back(unixEntry(n, "d"));
    for (const char *spec : {"*.*", "*", "*.", "docs/", "docs/*.*", "docs/*."}) {
        SCOPED_TRACE(spec);
        std::set<std::string> plain = libraryTests(entries, spec, ""), narrowed;
        for (const std::string &n : plain)
            if (n.back() != '/')
                narrowed.insert(n);
        EXPECT_EQ(libraryTests(entries, withoutDirectoryEntries(spec), ""), narrowed);
    }
}

TEST(Names, DrivePrefixes)
{
    using qzunzip::drivePrefixLength;
    EXPECT_EQ(drivePrefixLength("C:/x"), 2u);
    EXPECT_EQ(drivePrefixLength("c:x"), 2u);
    EXPECT_EQ(drivePrefixLength("//srv/share/dir/f"), 11u);
    EXPECT_EQ(drivePrefixLength("\\\\srv\\share"), 11u);
    EXPECT_EQ(drivePrefixLength("/etc/passwd"), 0u);
    EXPECT_EQ(drivePrefixLength("docs/a:b"), 0u);
}

TEST(Names, NamesThatLeaveTheDestination)
{
    using qzunzip::leavesDestination;
    for (const char *n : {"../x", "a/../../x", "a/..", "..", "a\\..\\x", "a/.../x", "a/.. /x", "a/. ./x"})
        EXPECT_TRUE(leavesDestination(n, false)) << n;
    for (const char *n : {"a/x", ".profile", "a/..x", "a/x..", "a/./x", "C:/x", "/etc/passwd", "//srv/s/x", "c:x"})
        EXPECT_FALSE(leavesDestination(n, false)) << n;
    for (const char *n : {"C:/x", "/etc/passwd", "//srv/s/x", "c:x", "\\x"})
        EXPECT_TRUE(leavesDestination(n, true)) << n;
    EXPECT_FALSE(leavesDestination("a/x", true));
}

TEST(Plan, UnsafeNamesAreLeftOutExactlyAndDirectoriesMadeByTheTool)
{
    std::vector<Entry> entries;
    for (const char *n : {"ok/", "ok/x.txt", "../evil.txt", "up/../../b.txt", "up/../../c/", "dots/.../y",
                          "/etc/passwd", "C:/root.txt", "empty/", "evil.txt", "c/b.txt"})
        entries.push_back(unixEntry(n, std::string(n).back() == '/' ? "" : "data"));
    std::vector<ArchiveEntry> walk = walked(entries);

    qzunzip::PlanRequest req;
    req.dirs = true;
    qzunzip::Plan plan = qzunzip::makePlan(walk, req);
    EXPECT_EQ(plan.selected, entries.size());
    EXPECT_EQ(plan.unsafe, (std::vector<std::string>{"../evil.txt", "up/../../b.txt", "up/../../c/", "dots/.../y"}));
    EXPECT_EQ(plan.directories, (std::vector<std::string>{"ok/", "empty/"}));
    EXPECT_EQ(plan.directoryEntries, 2u);
    // The library then tests the safe files, and only those.
    EXPECT_EQ(libraryTests(entries, plan.include, plan.exclude),
              (std::set<std::string>{"ok/x.txt", "/etc/passwd", "C:/root.txt", "evil.txt", "c/b.txt"}));

    req.keepDrive = true;
    plan = qzunzip::makePlan(walk, req);
    EXPECT_EQ(plan.unsafe.size(), 6u);
    EXPECT_EQ(libraryTests(entries, plan.include, plan.exclude),
              (std::set<std::string>{"ok/x.txt", "evil.txt", "c/b.txt"}));

    // Nothing is written in a test, and --unsafe-paths takes every name.
    req.test = true;
    EXPECT_TRUE(qzunzip::makePlan(walk, req).unsafe.empty());
    EXPECT_TRUE(qzunzip::makePlan(walk, req).directories.empty());
    req.test = false;
    req.unsafePaths = true;
    EXPECT_TRUE(qzunzip::makePlan(walk, req).unsafe.empty());

    // The user's specifications and exclusions still apply.
    req.unsafePaths = false;
    req.specs = {"ok/", "empty/"};
    req.excludes = {"*.txt"};
    plan = qzunzip::makePlan(walk, req);
    EXPECT_EQ(plan.selected, 2u);
    EXPECT_EQ(plan.directories, (std::vector<std::string>{"ok/", "empty/"}));
    EXPECT_TRUE(libraryTests(entries, plan.include, plan.exclude).empty());
}

TEST(Plan, DirectoriesAreMadeBelowTheDestination)
{
    TempDir dir;
    const std::string dest = dir.file("out");
    ASSERT_TRUE(qzunzip::makeDirectory(dest, "a/b/c/"));
    EXPECT_TRUE(Qz4DirExist(dir.file("out/a/b/c").c_str()));
    // Again: existing directories are fine.
    EXPECT_TRUE(qzunzip::makeDirectory(dest + "/", "a/b/"));
    // A drive or UNC prefix is left out, as the library leaves it without -.d.
    EXPECT_TRUE(qzunzip::makeDirectory(dest, "C:/d/"));
    EXPECT_TRUE(Qz4DirExist(dir.file("out/d").c_str()));
    EXPECT_TRUE(qzunzip::makeDirectory(dest, "//srv/share/e/"));
    EXPECT_TRUE(Qz4DirExist(dir.file("out/e").c_str()));
    // A file in the way.
    ASSERT_TRUE(writeFile(dir.file("out/file"), "x"));
    EXPECT_FALSE(qzunzip::makeDirectory(dest, "file/sub/"));
}
