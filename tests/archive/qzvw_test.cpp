// QZVW archives (kinds 1, 2, 3) and their directory file, numbered QZVW
// volume sets and the volume change between their files, and the
// directory-first volumes.
#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>
#include <string>

#include "archive/archive.h"
#include "frame/frame.h"
#include "support/archive_helpers.h"
#include "support/recording_callback.h"

using namespace qztest;
namespace qa = qz::archive;

namespace {

std::vector<Entry> threeEntries()
{
    Entry c("third\\c.txt", std::string(2000, 'c'), 8);
    c.extra = extraBlock(0x1234, "xyz");
    c.comment = "entry comment";
    return {Entry("a.txt", "alpha"), Entry("b.txt", "beta beta"), c};
}

qa::Archive *recordOf(QzHandle h)
{
    qa::Archive *a = nullptr;
    qa::findArchive(h, &a);
    return a;
}

// Number of the library's temporary files in the temporary folder.
int tempFiles()
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    std::string pattern = std::string(dir) + "QVW*.TMP";
    WIN32_FIND_DATAA data;
    HANDLE s = FindFirstFileA(pattern.c_str(), &data);
    if (s == INVALID_HANDLE_VALUE)
        return 0;
    int n = 1;
    while (FindNextFileA(s, &data))
        ++n;
    FindClose(s);
    return n;
}

// The whole file, read through the Win32 calls (the name is a Win32 path).
std::string readWin32(const char *name)
{
    std::string out;
    HANDLE f = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return out;
    char buf[4096];
    DWORD got;
    while (ReadFile(f, buf, sizeof buf, &got, NULL) && got > 0)
        out.append(buf, got);
    CloseHandle(f);
    return out;
}

TEST(Qzvw, KindTwoWithThreeEntriesGetsAStandardDirectoryFile)
{
    TempDir dir;
    std::vector<Entry> entries = threeEntries();
    OpenArchive a(put(dir, "k2.qzv", buildQzvw(2, entries)));
    ASSERT_EQ(a.result, 0);
    qa::Archive *r = recordOf(a.h);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->flags, qa::kFlagQzvw);
    EXPECT_EQ(r->volume, 1);
    ASSERT_NE(r->dirName, nullptr);
    ASSERT_NE(r->dirFile, INVALID_HANDLE_VALUE);

    // The directory file: three central headers with their parts, then an
    // end record of three entries whose directory starts at 0.
    std::string expectDir;
    for (const Entry &e : entries)
        expectDir += writeEntry(e).central;
    // Not shared: a second open fails, so read it through the record's handle.
    EXPECT_EQ(readWin32(r->dirName), "");
    std::string dirBytes;
    ASSERT_TRUE(qa::seekTo(r->dirFile, 0));
    char buf[512];
    uint32_t got;
    while ((got = qa::readSome(r->dirFile, buf, sizeof buf)) > 0)
        dirBytes.append(buf, got);
    ASSERT_EQ(dirBytes.size(), expectDir.size() + 22);
    for (size_t i = 0, at = 0; i < entries.size(); ++i) {
        std::string c = writeEntry(entries[i]).central;
        // Equal but for disk number start and the local header offset.
        EXPECT_EQ(dirBytes.substr(at, 34), c.substr(0, 34)) << i;
        EXPECT_EQ(dirBytes.substr(at + 46, c.size() - 46), c.substr(46)) << i;
        EXPECT_EQ((uint8_t)dirBytes[at + 34], 1);
        at += c.size();
    }
    std::string end = dirBytes.substr(expectDir.size());
    EXPECT_EQ(qa::get32((const uint8_t *)end.data()), qa::kSigEnd);
    EXPECT_EQ(qa::get16((const uint8_t *)end.data() + 8), 3);
    EXPECT_EQ(qa::get16((const uint8_t *)end.data() + 10), 3);
    EXPECT_EQ(qa::get32((const uint8_t *)end.data() + 12), expectDir.size());
    EXPECT_EQ(qa::get32((const uint8_t *)end.data() + 16), 0u);
    EXPECT_EQ(qa::get16((const uint8_t *)end.data() + 20), 0);

    Listing l = listAll(a.h);
    ASSERT_EQ(l.names.size(), 3u);
    EXPECT_EQ(l.names[2], "third/c.txt");
    EXPECT_EQ(+l.records[2].diskNumberStart, 1);
    EXPECT_EQ(l.end, QZ_NO_MORE_ENTRIES);
    // No comment through the directory file.
    char text[8] = "x";
    EXPECT_EQ(Qz4ZipComment(a.h, text, sizeof text), 0);
    EXPECT_STREQ(text, "");

    // The local headers are where the records say.
    HANDLE f = qa::toFileHandle(a.h);
    ASSERT_TRUE(qa::seekTo(f, l.records[1].localHeaderOffset));
    qa::LocalHeader lh;
    ASSERT_EQ(qa::readLocalHeader(f, &lh), 0);
    EXPECT_EQ(lh.nameLength, 5);
    EXPECT_EQ(lh.uncompressedSize, 9u);

    std::string dirName = r->dirName;
    Qz4ZipClose(&a.h);
    a.h = QZ_INVALID_HANDLE;
    EXPECT_EQ(GetFileAttributesA(dirName.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Qzvw, KindsOneAndThree)
{
    TempDir dir;
    OpenArchive one(put(dir, "k1.qzv", buildQzvw(1, threeEntries())));
    ASSERT_EQ(one.result, 0);
    EXPECT_EQ(recordOf(one.h)->flags, qa::kFlagQzvw);
    EXPECT_EQ(listAll(one.h).names.size(), 3u);
    OpenArchive three(put(dir, "k3.qzv", buildQzvw(3, threeEntries())));
    ASSERT_EQ(three.result, 0);
    EXPECT_EQ(recordOf(three.h)->flags, qa::kFlagQzvw3);
    EXPECT_EQ(recordOf(three.h)->volume, 1);
    EXPECT_EQ(listAll(three.h).names.size(), 3u);
    OpenArchive empty(put(dir, "k0.qzv", buildQzvw(3, {})), 1);   // 12 bytes: relaxed mode
    ASSERT_EQ(empty.result, 0);
    EXPECT_EQ(listAll(empty.h).end, QZ_NO_MORE_ENTRIES);
}

TEST(Qzvw, DamagedDirectoriesFailTheOpenAndLeaveNothingBehind)
{
    TempDir dir;
    std::string good = buildQzvw(2, threeEntries());
    int before = tempFiles();
    {
        // More records than the file holds.
        std::string bytes = good;
        bytes[6] = 50;
        OpenArchive a(put(dir, "many.qzv", bytes));
        EXPECT_EQ(a.result, QZ_ERR_READ);
        EXPECT_EQ(a.h, QZ_INVALID_HANDLE);
    }
    {
        // Variable parts longer than the file: the copy comes up short.
        std::string bytes = good.substr(0, 12 + 46 * 3 + 4);
        OpenArchive a(put(dir, "short.qzv", bytes));
        EXPECT_EQ(a.result, QZ_ERR_READ);
    }
    {
        // Just the header: too short for the strict mode, a bad record in
        // the relaxed one.
        std::string bytes = good.substr(0, 12) + std::string(10, '\0');
        OpenArchive a(put(dir, "head.qzv", bytes), 1);
        EXPECT_EQ(a.result, QZ_ERR_READ);
    }
    EXPECT_EQ(tempFiles(), before);
    EXPECT_EQ(qa::openCount(), 0);
    EXPECT_EQ(qa::transferInput(), nullptr);
}

TEST(QzvwSet, VolumeChangeOnAFixedDriveAsksNothing)
{
    TempDir dir;
    std::vector<Entry> v1 = {Entry("one.txt", "first volume")};
    std::vector<Entry> v2 = {Entry("two.txt", "second volume"), Entry("three.txt", "still the second")};
    std::vector<std::string> vols = buildQzvwSet(1, {v1, v2});
    ASSERT_EQ(vols.size(), 2u);
    std::string first = put(dir, "SET.001", vols[0]);
    std::string second = put(dir, "SET.002", vols[1]);

    RecordingCallback cb;
    OpenArchive a(first);
    ASSERT_EQ(a.result, 0);
    Listing l = listAll(a.h);
    ASSERT_EQ(l.names.size(), 3u);
    EXPECT_EQ(+l.records[0].diskNumberStart, 1);
    EXPECT_EQ(+l.records[1].diskNumberStart, 2);
    qa::Archive *r = recordOf(a.h);
    EXPECT_EQ(qa::wantedVolume(r, &l.records[0]), 1);
    EXPECT_EQ(qa::wantedVolume(r, &l.records[2]), 2);

    // The first entry is on the volume that is open.
    QzHandle h = a.h;
    ASSERT_EQ(qa::switchToEntryVolume(r, &l.records[0], &h), 0);
    EXPECT_EQ(h, a.h);

    ASSERT_EQ(qa::switchToEntryVolume(r, &l.records[1], &h), 0);
    EXPECT_NE(h, QZ_INVALID_HANDLE);
    EXPECT_EQ(r->volume, 2);
    EXPECT_EQ(std::string(r->name).substr(strlen(r->name) - 3), "002");
    EXPECT_EQ(std::string(qz::frame::g.print.archiveName), second);
    EXPECT_TRUE(cb.events().empty());
    EXPECT_EQ(Qz4GetCDR(h), Qz4GetCDR(h));
    EXPECT_NE(Qz4GetCDR(h), -1);

    // Reading the second entry's local header from the new volume.
    HANDLE f = qa::toFileHandle(h);
    ASSERT_TRUE(qa::seekTo(f, l.records[1].localHeaderOffset));
    qa::LocalHeader lh;
    ASSERT_EQ(qa::readLocalHeader(f, &lh), 0);
    EXPECT_EQ(lh.uncompressedSize, 13u);
    a.h = h;

    // Back to volume 1, then a volume that does not exist.
    ASSERT_EQ(qa::switchToEntryVolume(r, &l.records[0], &a.h), 0);
    EXPECT_EQ(std::string(r->name).substr(strlen(r->name) - 3), "001");
    // A volume name that cannot be opened (a folder is in its place); a
    // missing file would simply be created by the open-always disposition.
    ASSERT_TRUE(std::filesystem::create_directory(dir.file("SET.003")));
    QzEntryRecord ghost = l.records[0];
    ghost.diskNumberStart = 3;
    QzHandle before = a.h;
    EXPECT_EQ(qa::switchToEntryVolume(r, &ghost, &a.h), QZ_ERR_FILE);
    EXPECT_EQ(a.h, before);   // the caller's variable is left alone
    // The archive can still be closed through it, without a second close
    // of the handle that the change already closed.
    EXPECT_TRUE(r->flags & qa::kFlagFileClosed);
}

TEST(QzvwSet, CopyAcrossVolumesMovesOnWhenAVolumeEnds)
{
    TempDir dir;
    std::vector<std::string> vols = buildQzvwSet(2, {{Entry("a", "AAAA")}, {Entry("b", "BBBB")}});
    put(dir, "X.001", vols[0]);
    put(dir, "X.002", vols[1]);
    OpenArchive a(dir.file("X.001"));
    ASSERT_EQ(a.result, 0);
    qa::Archive *r = recordOf(a.h);
    // From 10 bytes before the end of volume 1 on, 20 bytes: 10 from the
    // first volume and 10 from the start of the second.
    uint32_t size1 = (uint32_t)vols[0].size();
    ASSERT_TRUE(qa::seekTo(r->file, size1 - 10));
    std::string outPath = dir.file("copy.bin");
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    QzHandle h = a.h;
    EXPECT_EQ(qa::copyAcrossVolumes(r, out, 20, &h), 0);
    CloseHandle(out);
    a.h = h;
    EXPECT_EQ(r->volume, 2);
    EXPECT_EQ(readFile(outPath), vols[0].substr(size1 - 10) + vols[1].substr(0, 10));
}

TEST(DirFirst, DirectoryAtTheStartOfTheVolume)
{
    TempDir dir;
    std::vector<Entry> entries = threeEntries();
    std::string bytes = buildDirFirst(entries, "a comment that is not read");
    OpenArchive a(put(dir, "df.zip", bytes));
    ASSERT_EQ(a.result, 0);
    qa::Archive *r = recordOf(a.h);
    EXPECT_EQ(r->flags, qa::kFlagDirFirst);
    EXPECT_EQ(r->volume, 0);
    Listing l = listAll(a.h);
    ASSERT_EQ(l.names.size(), 3u);
    EXPECT_EQ(l.names[0], "a.txt");
    EXPECT_EQ(l.end, QZ_NO_MORE_ENTRIES);
    // The entry needs volume 1 (disk 0): the first entry changes volume on
    // a fixed drive to the same file.
    EXPECT_EQ(qa::wantedVolume(r, &l.records[0]), 1);
    QzHandle h = a.h;
    ASSERT_EQ(qa::switchToEntryVolume(r, &l.records[0], &h), 0);
    a.h = h;
    HANDLE f = qa::toFileHandle(h);
    ASSERT_TRUE(qa::seekTo(f, l.records[1].localHeaderOffset));
    qa::LocalHeader lh;
    ASSERT_EQ(qa::readLocalHeader(f, &lh), 0);
    EXPECT_EQ(lh.uncompressedSize, 9u);
    char text[40];
    EXPECT_EQ(Qz4ZipComment(a.h, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
}

TEST(DirFirst, ARecordShorterThanAHeaderEndsTheWalk)
{
    TempDir dir;
    std::vector<Entry> entries = threeEntries();
    std::string central;
    for (const Entry &e : entries)
        central += writeEntry(e).central;
    // The directory directly followed by a bare end record of 22 bytes,
    // and by one with a comment that still leaves it under 46 bytes.
    for (std::string comment : {std::string(), std::string("short"), std::string(40, 'c')}) {
        std::string bytes = central + endRecord(0, 0, 3, 3, (uint32_t)central.size(), 0, comment);
        OpenArchive a(put(dir, "df" + std::to_string(comment.size()) + ".zip", bytes));
        ASSERT_EQ(a.result, 0) << comment.size();
        Listing l = listAll(a.h);
        EXPECT_EQ(l.names.size(), 3u);
        EXPECT_EQ(l.end, QZ_NO_MORE_ENTRIES);
    }
    // A volume that is nothing but one header cut short.
    OpenArchive cut(put(dir, "cut.zip", central.substr(0, 40)), 1);
    ASSERT_EQ(cut.result, 0);
    EXPECT_EQ(listAll(cut.h).end, QZ_NO_MORE_ENTRIES);
}

TEST(DirFirst, VariablePartsThatRunPastTheVolumeNeedTheNextDisk)
{
    TempDir dir;
    std::string central = writeEntry(Entry("name-that-is-cut", "x")).central;
    // With the print switch off, the request for the next volume is
    // answered with cancel.
    OpenArchive a(put(dir, "dfcut.zip", central.substr(0, 50)));
    EXPECT_EQ(a.result, QZ_CANCELLED);
    EXPECT_EQ(qa::openCount(), 0);
}

}  // namespace
