// The password check of encrypted entries (Qz4ZipCheckPassword and its
// VB32 form), on archives whose entries the builder enciphered with the
// library's exported cipher.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "archive/archive.h"
#include "support/archive_helpers.h"

using namespace qztest;
namespace qa = qz::archive;

namespace {

// An open archive positioned at the data of its first entry.
struct AtData {
    OpenArchive a;
    QzEntryRecord rec{};
    HANDLE file = INVALID_HANDLE_VALUE;
    uint32_t dataStart = 0;
    explicit AtData(const std::string &path) : a(path)
    {
        char name[261];
        if (a.result || Qz4ZipFindFirst(a.h, &rec, name, nullptr, 0, nullptr, 0))
            return;
        file = qa::toFileHandle(a.h);
        qa::LocalHeader lh;
        qa::seekTo(file, rec.localHeaderOffset);
        qa::readLocalHeader(file, &lh);
        qa::seekBy(file, lh.nameLength + lh.extraLength);
        dataStart = qa::tell(file);
    }
    uint32_t position() const { return qa::tell(file); }
};

class Password : public ::testing::Test {
protected:
    TempDir dir;
    std::string archive(const Entry &e) { return put(dir, "p" + std::to_string(n_++) + ".zip", buildZip({e})); }

private:
    int n_ = 0;
};

TEST_F(Password, UnencryptedEntriesPassWithoutReading)
{
    AtData d(archive(Entry("plain", "text")));
    ASSERT_NE(d.file, INVALID_HANDLE_VALUE);
    QzEntryRecord before = d.rec;
    EXPECT_EQ(Qz4ZipCheckPassword(d.a.h, &d.rec, nullptr), 0);
    EXPECT_EQ(Qz4ZipCheckPassword(d.a.h, &d.rec, "anything"), 0);
    EXPECT_EQ(d.position(), d.dataStart);
    EXPECT_EQ(memcmp(&before, &d.rec, sizeof before), 0);
}

TEST_F(Password, RightPasswordLeavesTheKeysReadyForTheData)
{
    Entry e("secret.txt", "The quick brown fox jumps over the lazy dog");
    e.password = "s3cret";
    AtData d(archive(e));
    ASSERT_NE(d.file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(d.rec.flags & 1, 1);
    uint32_t stored = d.rec.compressedSize;
    EXPECT_EQ(stored, e.data.size() + 12);
    ASSERT_EQ(Qz4ZipCheckPassword(d.a.h, &d.rec, "s3cret"), 0);
    EXPECT_EQ(+d.rec.compressedSize, stored - 12);
    EXPECT_EQ(d.position(), d.dataStart + 12);
    std::string data(d.rec.compressedSize, '\0');
    ASSERT_EQ(qa::readSome(d.file, &data[0], (uint32_t)data.size()), data.size());
    QzDecryptData(&data[0], (uint32_t)data.size());
    EXPECT_EQ(data, e.data);
}

TEST_F(Password, WrongMissingAndEmptyPasswords)
{
    Entry e("secret.txt", "payload");
    e.password = "right";
    AtData d(archive(e));
    ASSERT_NE(d.file, INVALID_HANDLE_VALUE);
    QzEntryRecord before = d.rec;
    EXPECT_EQ(Qz4ZipCheckPassword(d.a.h, &d.rec, nullptr), QZ_BAD_PASSWORD);
    EXPECT_EQ(Qz4ZipCheckPassword(d.a.h, &d.rec, ""), QZ_BAD_PASSWORD);
    EXPECT_EQ(d.position(), d.dataStart);   // nothing read
    // A wrong password consumes the header and leaves the record alone.
    // (One wrong password in 256 passes the check byte; this one does not.)
    EXPECT_EQ(Qz4ZipCheckPassword(d.a.h, &d.rec, "wrong"), QZ_BAD_PASSWORD);
    EXPECT_EQ(d.position(), d.dataStart + 12);
    EXPECT_EQ(memcmp(&before, &d.rec, sizeof before), 0);
    // Case matters: bytes are used as they are.
    qa::seekTo(d.file, d.dataStart);
    EXPECT_EQ(Qz4ZipCheckPassword(d.a.h, &d.rec, "RIGHT"), QZ_BAD_PASSWORD);
}

TEST_F(Password, OnlyTheLastHeaderByteIsCompared)
{
    Entry e("x", "some data");
    e.password = "pw";
    e.overrideHeaderCrc = true;
    e.headerCrc = crc32(e.data) ^ 0x00FF0000u;   // byte 10 differs, byte 11 is right
    AtData d(archive(e));
    EXPECT_EQ(Qz4ZipCheckPassword(d.a.h, &d.rec, "pw"), 0);

    Entry f("y", "some data");
    f.password = "pw";
    f.overrideHeaderCrc = true;
    f.headerCrc = crc32(f.data) ^ 0x01000000u;   // byte 11 wrong
    AtData g(archive(f));
    EXPECT_EQ(Qz4ZipCheckPassword(g.a.h, &g.rec, "pw"), QZ_BAD_PASSWORD);
}

TEST_F(Password, ShortHeaderIsAReadError)
{
    Entry e("x", "");
    e.password = "pw";
    AtData d(archive(e));
    ASSERT_NE(d.file, INVALID_HANDLE_VALUE);
    // Stand 5 bytes before the end of the file.
    DWORD size = GetFileSize(d.file, NULL);
    qa::seekTo(d.file, size - 5);
    EXPECT_EQ(Qz4ZipCheckPassword(d.a.h, &d.rec, "pw"), QZ_ERR_READ);
    EXPECT_EQ(Qz4ZipCheckPassword(QZ_INVALID_HANDLE, &d.rec, "pw"), QZ_ERR_READ);
}

TEST_F(Password, VB32FormLeavesTheCallersRecordAlone)
{
    Entry e("x", "vb data");
    e.password = "vb";
    AtData d(archive(e));
    QzEntryRecordVB32 v;
    char name[261];
    ASSERT_EQ(Qz4ZipFindFirstVB32(d.a.h, &v, name, nullptr, 0, nullptr, 0), 0);
    uint32_t size = v.compressedSize;
    qa::seekTo(d.file, d.dataStart);
    EXPECT_EQ(Qz4ZipCheckPasswordVB32(d.a.h, &v, "vb"), 0);
    EXPECT_EQ(v.compressedSize, size);
    EXPECT_EQ(d.position(), d.dataStart + 12);
    qa::seekTo(d.file, d.dataStart);
    EXPECT_EQ(Qz4ZipCheckPasswordVB32(d.a.h, &v, "bv"), QZ_BAD_PASSWORD);
    v.flags = 0;
    EXPECT_EQ(Qz4ZipCheckPasswordVB32(d.a.h, &v, nullptr), 0);
}

}  // namespace
