// Destination paths, path filters and directory creation: the rules on
// strings through the subsystem's header, and their effect on a run.
#include <string>

#include "extract/extract.h"
#include "extract_helpers.h"
#include "select/select.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

using namespace qztest;
namespace qe = qz::extract;

namespace {

std::string filtered(const std::string &path)
{
    char p[qe::kNameBytes];
    lstrcpynA(p, path.c_str(), sizeof p);
    qe::applyPathFilters(p);
    return p;
}

std::string destination(const char *destDir, const char *entry, uint32_t options, const char *output = nullptr)
{
    char dest[qe::kNameBytes], drive[260], dir[260], name[260], ansi[260], oem[260];
    qe::destinationDirectory(destDir, dest);
    qz::select::splitPath(entry, drive, dir, name);
    qe::destinationPath(dest, output, drive, dir, name, options, ansi, oem);
    return ansi;
}

class PathFilters : public ::testing::Test {
protected:
    void TearDown() override { qe::releasePathFilters(); }
};

TEST_F(PathFilters, FieldsAreStoredWithSlashesAndATrailingSeparator)
{
    ASSERT_EQ(Qz4AddUnZipPathFilter("OUT\\DOCS", "OUT\\TEXT"), 0);
    EXPECT_EQ(filtered("OUT/DOCS/SUB/A.TXT"), "OUT/TEXT/SUB/A.TXT");
    // Folded comparison: the case of the path does not matter.
    EXPECT_EQ(filtered("out/docs/A.TXT"), "OUT/TEXT/A.TXT");
    // "DOC" becomes "DOC/", a directory, not a prefix of a name.
    qe::releasePathFilters();
    ASSERT_EQ(Qz4AddUnZipPathFilter("DOC", "X"), 0);
    EXPECT_EQ(filtered("DOCS/A.TXT"), "DOCS/A.TXT");
    EXPECT_EQ(filtered("DOC/A.TXT"), "X/A.TXT");
}

TEST_F(PathFilters, DrivesAreMatchedOrKept)
{
    ASSERT_EQ(Qz4AddUnZipPathFilter("C:/", "D:/NEW/"), 0);
    EXPECT_EQ(filtered("C:/OLD/A.TXT"), "D:/NEW/OLD/A.TXT");
    EXPECT_EQ(filtered("E:/OLD/A.TXT"), "E:/OLD/A.TXT");
    qe::releasePathFilters();
    // Without a drive of its own a filter keeps the path's drive.
    ASSERT_EQ(Qz4AddUnZipPathFilter("/DOCS/", "/TEXT/"), 0);
    EXPECT_EQ(filtered("C:/DOCS/A.TXT"), "C:/TEXT/A.TXT");
}

TEST_F(PathFilters, EmptyFieldsPrefixOrRemove)
{
    EXPECT_EQ(Qz4AddUnZipPathFilter(nullptr, nullptr), QZ_ERR_EMPTY_FILTER);
    EXPECT_FALSE(qe::havePathFilters());
    // An empty from field applies to every path: its to field goes in front.
    ASSERT_EQ(Qz4AddUnZipPathFilter(nullptr, "X"), 0);
    EXPECT_EQ(filtered("A/B.TXT"), "X/A/B.TXT");
    qe::releasePathFilters();
    // An empty to field removes the matched prefix.
    ASSERT_EQ(Qz4AddUnZipPathFilter("A/", nullptr), 0);
    EXPECT_EQ(filtered("A/B/C.TXT"), "B/C.TXT");
}

TEST_F(PathFilters, OnlyTheFirstMatchingPairIsUsed)
{
    ASSERT_EQ(Qz4AddUnZipPathFilter("A/", "FIRST/"), 0);
    ASSERT_EQ(Qz4AddUnZipPathFilter("A/", "SECOND/"), 0);
    ASSERT_EQ(Qz4AddUnZipPathFilter("B/", "THIRD/"), 0);
    EXPECT_EQ(filtered("A/F.TXT"), "FIRST/F.TXT");
    EXPECT_EQ(filtered("B/F.TXT"), "THIRD/F.TXT");
    // Backslashes in a path are not separators to a filter.
    EXPECT_EQ(filtered("A\\F.TXT"), "A\\F.TXT");
}

TEST_F(PathFilters, LongFieldsAndManyPairsStayInBounds)
{
    std::string longDir(300, 'd');
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(Qz4AddUnZipPathFilter(("F" + std::to_string(i)).c_str(), longDir.c_str()), 0);
    std::string r = filtered("F199/" + std::string(200, 'n'));
    EXPECT_LE(r.size(), 259u);
    EXPECT_EQ(r.compare(0, 5, "ddddd"), 0);
}

TEST(DestinationPath, IsDriveDestinationDirectoryAndName)
{
    EXPECT_EQ(destination("C:\\OUT", "DOCS/A.TXT", OPT_DIRS), "C:\\OUT/DOCS/A.TXT");
    EXPECT_EQ(destination("C:\\OUT", "DOCS/A.TXT", 0), "C:\\OUT/A.TXT");
    EXPECT_EQ(destination("C:\\OUT\\", "DOCS/A.TXT", 0), "C:\\OUT\\A.TXT");
    EXPECT_EQ(destination("C:", "A.TXT", 0), "C:A.TXT");
    EXPECT_EQ(destination("", "DOCS/A.TXT", OPT_DIRS), "DOCS/A.TXT");
    EXPECT_EQ(destination("C:\\OUT", "DOCS/A.TXT", OPT_DIRS, "X.DAT"), "X.DAT");
    // The entry's drive is kept only when asked for.
    EXPECT_EQ(destination("", "E:/DOCS/A.TXT", OPT_DIRS), "/DOCS/A.TXT");
    EXPECT_EQ(destination("", "E:/DOCS/A.TXT", OPT_DIRS | OPT_KEEP_DRIVE), "E:/DOCS/A.TXT");
    // Parts are bounded: nothing is longer than 259 bytes.
    EXPECT_LE(destination(std::string(250, 'o').c_str(), (std::string(250, 'd') + "/" + std::string(250, 'n')).c_str(),
                          OPT_DIRS).size(), 259u);
}

using OemPaths = Extraction;

// The path that a run uses goes to OEM and back as a whole, so a caller's
// characters without an OEM form change the same way wherever the path is
// used: the file is looked for, deleted, created and stamped in one place.
// Each row's folder exists both as given and as the round trip makes it.
TEST_F(OemPaths, TheFileIsSearchedDeletedCreatedAndStampedUnderOneName)
{
    struct {
        const char *row, *folder, *outputName;
    } rows[] = {
        {"a-tilde", "S\xE3o", nullptr},
        {"right-quote", "John\x92s files", nullptr},
        {"o-stroke", "\xD8", nullptr},
        {"output-name", "plain", "\xD5.txt"},
    };
    for (auto &row : rows) {
        char oem[260], back[260];
        CharToOemA(row.folder, oem);
        OemToCharA(oem, back);
        std::string given = out + kSep + row.folder, used = out + kSep + back;
        CreateDirectoryA(given.c_str(), NULL);
        CreateDirectoryA(used.c_str(), NULL);
        std::string outputName, file = "a.txt";
        if (row.outputName) {
            CharToOemA(row.outputName, oem);
            OemToCharA(oem, back);
            outputName = given + kSep + row.outputName;
            file = back;
        }
        Entry e("a.txt", row.row);
        e.externalAttributes = 0x21;
        QzHandle &h = open({e}, std::string(row.row) + ".zip");
        const char *output = row.outputName ? outputName.c_str() : nullptr;
        EXPECT_EQ(Qz4UnZip(&h, (given + kSep).c_str(), output, "*.*", nullptr, ""), 0) << row.row;
        EXPECT_EQ(readFile(used + kSep + file), row.row) << row.row;
        EXPECT_EQ(attributesOf(used + kSep + file) & FILE_ATTRIBUTE_READONLY, 1u) << row.row;
        // Found again, and replaced in the same place.
        makeWritable(used + kSep + file);
        EXPECT_EQ(Qz4UnZip(&h, (given + kSep).c_str(), output, "*.*", nullptr, "-o"), 0) << row.row;
        EXPECT_EQ(readFile(used + kSep + file), row.row) << row.row;
        if (given != used)
            EXPECT_FALSE(fileExists(given + kSep + file)) << row.row;
        makeWritable(used + kSep + file);
    }
}

using Directories = Extraction;

TEST_F(Directories, EveryMissingLevelIsMadeButNeverTheFile)
{
    std::string base = out + kSep;
    EXPECT_EQ(qe::createDirectories((base + "A\\B\\F.TXT").c_str()), 0);
    EXPECT_EQ(Qz4DirExist((base + "A").c_str()), 1);
    EXPECT_EQ(Qz4DirExist((base + "A\\B").c_str()), 1);
    EXPECT_FALSE(fileExists(base + "A\\B\\F.TXT"));
    // A trailing separator: the last directory is made, and that is all.
    EXPECT_EQ(qe::createDirectories((base + "C/D/").c_str()), 0);
    EXPECT_EQ(Qz4DirExist((base + "C\\D").c_str()), 1);
    EXPECT_EQ(qe::createDirectories("F.TXT"), 0);
    EXPECT_EQ(qe::createDirectories(""), 0);
    // Existing directories are fine; a file in the way is not.
    EXPECT_EQ(qe::createDirectories((base + "A\\B\\G.TXT").c_str()), 0);
    ASSERT_TRUE(writeFile(base + "FILE", "x"));
    EXPECT_EQ(qe::createDirectories((base + "FILE\\SUB\\H.TXT").c_str()), QZ_ERR_MKDIR);
}

TEST_F(Directories, DirExistTellsDirectoriesFromFiles)
{
    ASSERT_TRUE(writeFile(outFile("plain.txt"), "p"));
    EXPECT_EQ(Qz4DirExist(out.c_str()), 1);
    EXPECT_EQ(Qz4DirExist(outFile("plain.txt").c_str()), 0);
    EXPECT_EQ(Qz4DirExist(outFile("missing").c_str()), 0);
    EXPECT_EQ(Qz4DirExist(nullptr), 0);
}

using FiltersInARun = Extraction;

TEST_F(FiltersInARun, ApplyWithKeepDriveAndAreGoneAfterTheRun)
{
    // Filters hold '/' only, so the destination is given with '/' too.
    std::string slashed = out;
    for (char &c : slashed)
        if (c == '\\')
            c = '/';
    QzHandle &h = open({Entry("DOCS/SUB/A.TXT", "a"), Entry("OTHER/B.TXT", "b")});
    ASSERT_EQ(Qz4AddUnZipPathFilter((slashed + "/DOCS").c_str(), (slashed + "/TEXT").c_str()), 0);
    ASSERT_EQ(Qz4UnZip(&h, slashed.c_str(), nullptr, "*.*", nullptr, "-d -.d"), 0);
    EXPECT_EQ(readFile(out + kSep + "TEXT" + kSep + "SUB" + kSep + "A.TXT"), "a");
    EXPECT_EQ(readFile(out + kSep + "OTHER" + kSep + "B.TXT"), "b");
    EXPECT_FALSE(qe::havePathFilters());

    // Without -.d filters are not applied, and still dropped.
    ASSERT_EQ(Qz4AddUnZipPathFilter((slashed + "/OTHER").c_str(), (slashed + "/ELSE").c_str()), 0);
    ASSERT_EQ(Qz4UnZip(&h, slashed.c_str(), nullptr, "OTHER/*", nullptr, "-d -o"), 0);
    EXPECT_FALSE(fileExists(out + kSep + "ELSE"));
    EXPECT_FALSE(qe::havePathFilters());

    // A run that fails at once drops them as well.
    ASSERT_EQ(Qz4AddUnZipPathFilter("A", "B"), 0);
    QzHandle bogus = 0x5151;
    EXPECT_EQ(Qz4UnZip(&bogus, nullptr, nullptr, "*.*", nullptr, ""), QZ_ERR_HANDLE);
    EXPECT_FALSE(qe::havePathFilters());
    ASSERT_EQ(Qz4AddUnZipPathFilter("A", "B"), 0);
    EXPECT_EQ(Qz4UnZip(&h, nullptr, nullptr, "*.*", nullptr, "-q"), QZ_ERR_SWITCH);
    EXPECT_FALSE(qe::havePathFilters());
}

#ifndef _WIN32
// Needs the POSIX layer's drive table.
TEST_F(FiltersInARun, MoveEntriesToAnotherDrive)
{
    ASSERT_EQ(qzhost_map_drive('D', out.c_str(), DRIVE_FIXED, nullptr), 0);
    QzHandle &h = open({Entry("C:/OLD/A.TXT", "moved")});
    ASSERT_EQ(Qz4AddUnZipPathFilter("C:/", "D:/NEW/"), 0);
    EXPECT_EQ(Qz4UnZip(&h, nullptr, nullptr, "*.*", nullptr, "-d -.d"), 0);
    EXPECT_EQ(readFile(out + "/NEW/OLD/A.TXT"), "moved");
    qzhost_unmap_drive('D');
}

TEST(PathFilterMemory, AListThatCannotGrowIsDroppedWhole)
{
    ASSERT_EQ(Qz4AddUnZipPathFilter("A", "B"), 0);
    qzhost_fail_alloc(1, 0);
    EXPECT_EQ(Qz4AddUnZipPathFilter("C", "D"), QZ_ERR_MEMORY);
    qzhost_clear_faults();
    EXPECT_FALSE(qe::havePathFilters());
    qzhost_fail_alloc(1, 0);
    EXPECT_EQ(Qz4AddUnZipPathFilter("C", "D"), QZ_ERR_MEMORY);
    qzhost_clear_faults();
    EXPECT_FALSE(qe::havePathFilters());
}
#endif

}  // namespace
