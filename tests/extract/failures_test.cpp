// How a run ends when something goes wrong with the archive or the system,
// and how the more status ranks the problems of single entries.
#include <string>
#include <vector>

#include "archive/archive.h"
#include "extract_helpers.h"
#include "frame/frame.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

using namespace qztest;
namespace qa = qz::archive;

namespace {

using Failures = Extraction;

TEST_F(Failures, AnExtraFieldLargerThanTheWorkBufferEndsTheRun)
{
    Entry e("x.txt", "x");
    e.extra = extraBlock(0x7777, std::string(9000, 'e'));
    QzHandle &h = open({Entry("first.txt", "1"), e});
    EXPECT_EQ(unzip(h), QZ_TOO_LONG);
    EXPECT_EQ(read("first.txt"), "1");
}

TEST_F(Failures, ADamagedDirectoryEndsTheRun)
{
    std::string zip = buildZip({Entry("a.txt", "a"), Entry("b.txt", "b")});
    // The second central header loses its signature.
    size_t second = zip.rfind(std::string("PK\x01\x02", 4));
    zip[second + 2] = 'X';
    QzHandle &h = open(zip);
    EXPECT_EQ(unzip(h), QZ_ERR_NOT_ZIP);
    EXPECT_EQ(read("a.txt"), "a");
}

TEST_F(Failures, ALocalHeaderOutsideTheFileIsAReadError)
{
    std::string zip = buildZip({Entry("a.txt", "a")});
    size_t central = zip.find(std::string("PK\x01\x02", 4));
    qa::put32((uint8_t *)&zip[central + 42], 0x00FFFFFF);
    QzHandle &h = open(zip);
    EXPECT_EQ(unzip(h), QZ_ERR_READ);
    EXPECT_FALSE(fileExists(outFile("a.txt")));
    std::vector<char> b(16);
    EXPECT_EQ(Qz4UnZipPtr(h, b.data(), 0, -1, "a.txt", ""), QZ_ERR_READ);
}

TEST_F(Failures, CutDataIsAReadErrorAndLeavesNoFile)
{
    std::string data(200000, 'c');
    for (size_t i = 0; i < data.size(); i += 7)
        data[i] = (char)i;
    std::string zip = buildZip({Entry("cut.bin", data, 8)});
    size_t central = zip.find(std::string("PK\x01\x02", 4));
    // Claim more compressed bytes than the archive holds.
    qa::put32((uint8_t *)&zip[central + 20], 0x00F00000);
    QzHandle &h = open(zip);
    EXPECT_EQ(unzip(h), QZ_ERR_READ);
    EXPECT_FALSE(fileExists(outFile("cut.bin")));
}

TEST_F(Failures, TheMoreStatusKeepsTheWorstProblem)
{
    Entry locked("blocked", "b");
    Entry secret("secret.txt", "s");
    secret.password = "right";
    Entry bad("bad.txt", "d");
    bad.overrideCrc = true;
    bad.crc = 3;
    ASSERT_TRUE(CreateDirectoryA(outFile("blocked").c_str(), NULL));
    RecordingCallback cb;
    // A wrong password first, then a CRC mismatch: the mismatch is kept.
    QzHandle &h1 = open({secret, bad}, "one.zip");
    EXPECT_EQ(unzip(h1), QZ_SKIPPED);
    EXPECT_EQ(Qz4MoreStatus(), QZ_CRC_MISMATCH);
    // A CRC mismatch first, then a wrong password: still the mismatch.
    QzHandle &h2 = open({bad, secret}, "two.zip");
    EXPECT_EQ(unzip(h2, "-o"), QZ_SKIPPED);
    EXPECT_EQ(Qz4MoreStatus(), QZ_CRC_MISMATCH);
    // Access denied outranks both, whichever comes first.
    QzHandle &h3 = open({locked, bad, secret}, "three.zip");
    EXPECT_EQ(unzip(h3, "-o"), QZ_SKIPPED);
    EXPECT_EQ(Qz4MoreStatus(), QZ_ERR_FILE);
    QzHandle &h4 = open({secret, bad, locked}, "four.zip");
    EXPECT_EQ(unzip(h4, "-o"), QZ_SKIPPED);
    EXPECT_EQ(Qz4MoreStatus(), QZ_ERR_FILE);
}

TEST_F(Failures, TheHostSeesBackslashesTheLibraryKeepsItsOwn)
{
    QzHandle &h = open({Entry("sub/a.txt", "a")}, "slash.zip");
    RecordingCallback cb;
    // Forward slashes in the destination, as a host may give them.
    std::string slashed = out;
    for (char &c : slashed)
        if (c == '\\')
            c = '/';
    ASSERT_EQ(Qz4UnZip(&h, slashed.c_str(), nullptr, "*.*", nullptr, "-d"), 0);
    ASSERT_FALSE(cb.events().empty());
    std::string seen = cb.events().back().fileName;
    EXPECT_EQ(seen.find('/'), std::string::npos);
    EXPECT_NE(seen.find("sub\\a.txt"), std::string::npos);
#ifndef _WIN32
    // The archive name is held as the host gave it.
    EXPECT_NE(std::string(qz::frame::g.print.archiveName).find('/'), std::string::npos);
    EXPECT_EQ(std::string(cb.events().back().archiveName).find('/'), std::string::npos);
#endif
}

#ifndef _WIN32
// These need the POSIX layer's fault injection or drive table.
TEST_F(Failures, NoMemoryForTheWorkBuffers)
{
    QzHandle &h = open({Entry("a.txt", "a")});
    qzhost_fail_alloc(1, 0);
    EXPECT_EQ(unzip(h), QZ_ERR_MEMORY);
    qzhost_clear_faults();
    EXPECT_FALSE(fileExists(outFile("a.txt")));
}

TEST_F(Failures, AFileTimeThatCannotBeSetEndsTheRun)
{
    QzHandle &h = open({Entry("a.txt", "a"), Entry("b.txt", "b")});
    qzhost_fail_call("SetFileTime", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(unzip(h), QZ_ERR_FILE);
    qzhost_clear_faults();
    EXPECT_FALSE(fileExists(outFile("b.txt")));
}

TEST_F(Failures, AttributesThatCannotBeSet)
{
    Entry plain("plain.txt", "p");
    plain.externalAttributes = 0x21;
    Entry odd("odd.txt", "o");
    odd.externalAttributes = 0xA0;
    QzHandle &h = open({plain, odd});
    // Without bit 0x80 a failure is let go.
    qzhost_fail_call("SetFileAttributesA", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(unzip(h, "", "plain.txt"), 0);
    EXPECT_EQ(read("plain.txt"), "p");
    // With it the library tries once more without it ...
    qzhost_fail_call("SetFileAttributesA", 1, ERROR_INVALID_PARAMETER, 0);
    EXPECT_EQ(unzip(h, "", "odd.txt"), 0);
    EXPECT_TRUE(attributesOf(outFile("odd.txt")) & FILE_ATTRIBUTE_ARCHIVE);
    // ... and a second failure ends the run.
    qzhost_fail_call("SetFileAttributesA", 1, ERROR_INVALID_PARAMETER, 1);
    EXPECT_EQ(unzip(h, "-o", "odd.txt"), QZ_ERR_FILE);
    qzhost_clear_faults();
    makeWritable(outFile("plain.txt"));
}

TEST_F(Failures, AnEntryCopyFileThatCannotBeMade)
{
    std::vector<std::string> vols = buildQzvwSet(1, {{Entry("a.txt", "a")}, {Entry("b.txt", "b")}});
    put(dir, "SET.002", vols[1]);
    QzHandle &h = open(vols[0], "SET.001");
    qzhost_fail_call("GetTempFileNameA", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(unzip(h), QZ_ERR_FILE);
    qzhost_fail_call("CreateFileA", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(unzip(h), QZ_ERR_FILE);
    qzhost_clear_faults();
    EXPECT_EQ(unzip(h), 0);
}

TEST_F(Failures, VolumeLabelsAreSetOrRecorded)
{
    Entry label("NEWLABEL", "");
    label.externalAttributes = 0x08;
    QzHandle &h = open({label});
    ASSERT_EQ(qzhost_map_drive('L', out.c_str(), DRIVE_REMOVABLE, "OLD"), 0);
    EXPECT_EQ(Qz4UnZip(&h, "L:\\", nullptr, "*.*", nullptr, "-$"), 0);
    char name[64] = {0};
    ASSERT_TRUE(GetVolumeInformationA("L:\\", name, sizeof name, NULL, NULL, NULL, NULL, 0));
    EXPECT_STREQ(name, "NEWLABEL");
    qzhost_unmap_drive('L');
    // A drive without a label of its own: not counted, more status 105.
    EXPECT_EQ(Qz4UnZip(&h, "L:\\", nullptr, "*.*", nullptr, "-$"), QZ_SKIPPED);
    EXPECT_EQ(Qz4MoreStatus(), QZ_ERR_FILE);
}
#endif

}  // namespace
