// Qz4IdentifyFile: the layouts told apart by the first bytes and the last
// 22 bytes of a file.
#include <gtest/gtest.h>

#include <string>

#include "support/archive_helpers.h"

using namespace qztest;

namespace {

struct Identified {
    int16_t result;
    uint16_t type;
};

Identified identify(const TempDir &dir, const std::string &bytes)
{
    static int serial = 0;
    std::string path = put(dir, "f" + std::to_string(serial++) + ".bin", bytes);
    Identified r;
    r.type = 0xBEEF;
    r.result = Qz4IdentifyFile(path.c_str(), &r.type);
    return r;
}

std::string endOfDisk(uint16_t disk)
{
    return endRecord(disk, disk, 0, 0, 0, 0, "");
}

std::string qzvwHead(uint16_t kind)
{
    std::string s = "QZVW";
    s += (char)kind;
    s += '\0';
    return s + std::string(6, '\0');
}

TEST(Identify, LayoutsByTheirFirstBytes)
{
    TempDir dir;
    std::vector<Entry> one = {Entry("x", "data")};
    struct Case {
        std::string bytes;
        uint16_t type;
    } cases[] = {
        {"", QZ_TYPE_ZIP},
        {buildZip(one), QZ_TYPE_ZIP},
        {endOfDisk(0), QZ_TYPE_ZIP},
        {qzvwHead(1), QZ_TYPE_QZVW},
        {qzvwHead(2), QZ_TYPE_QZVW},
        {qzvwHead(3), QZ_TYPE_QZVW3},
        {buildDirFirst(one), QZ_TYPE_DIR_FIRST},
        {buildSpanned(one, 1000)[0], QZ_TYPE_SPANNED},
        {buildSfx(one, true), QZ_TYPE_SFX},
        {buildSfx(one, false), QZ_TYPE_SFX},
    };
    for (const Case &c : cases) {
        Identified r = identify(dir, c.bytes);
        EXPECT_EQ(r.result, 0) << c.type;
        EXPECT_EQ(r.type, c.type);
    }
}

TEST(Identify, TheTailMarksTheLastVolumeOfASpannedSet)
{
    TempDir dir;
    std::string junk(100, 'j');
    Identified disk0 = identify(dir, junk + endOfDisk(0));
    EXPECT_EQ(disk0.result, QZ_ERR_LAYOUT);
    EXPECT_EQ(disk0.type, 0);
    Identified disk2 = identify(dir, junk + endOfDisk(2));
    EXPECT_EQ(disk2.result, 0);
    EXPECT_EQ(disk2.type, QZ_TYPE_SPANNED);
    // The first bytes win: a last volume that starts with a central header.
    Identified first = identify(dir, "PK\x01\x02" + junk + endOfDisk(2));
    EXPECT_EQ(first.type, QZ_TYPE_DIR_FIRST);
    // A spanned set whose end record is on the second disk.
    std::vector<std::string> set = buildSpanned({Entry("a", std::string(500, 'a')), Entry("b", "bb")}, 300);
    ASSERT_GE(set.size(), 2u);
    Identified last = identify(dir, set.back());
    EXPECT_EQ(last.type, QZ_TYPE_SPANNED);
}

TEST(Identify, WhatIsNoArchive)
{
    TempDir dir;
    for (std::string bytes : {std::string("P"), std::string("PK"), std::string("PK\x03"),
                              std::string(21, 'x'), std::string(500, 'x'), qzvwHead(4), qzvwHead(0),
                              std::string("QZVW\x01"), std::string("MZ") + std::string(20, '\0')}) {
        Identified r = identify(dir, bytes);
        EXPECT_EQ(r.result, QZ_ERR_LAYOUT) << bytes.size();
        EXPECT_EQ(r.type, 0);
    }
    // An executable with an archive comment and no "PKLITE": the end record
    // is not in the last 22 bytes.
    Identified sfx = identify(dir, buildSfx({Entry("x", "y")}, false, "a comment"));
    EXPECT_EQ(sfx.result, QZ_ERR_LAYOUT);
    // A plain archive with a comment still starts with a local header.
    Identified zip = identify(dir, buildZip({Entry("x", "y")}, ZipOptions{"comment", "", ""}));
    EXPECT_EQ(zip.type, QZ_TYPE_ZIP);
}

TEST(Identify, MissingFile)
{
    TempDir dir;
    uint16_t type = 77;
    EXPECT_EQ(Qz4IdentifyFile(dir.file("nothing.zip").c_str(), &type), QZ_ERR_FILE);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(Qz4IdentifyFile(nullptr, &type), QZ_ERR_FILE);
}

}  // namespace
