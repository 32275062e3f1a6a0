// Runs that need more than one call or a callback of their own: progress,
// cancellation, the output file while it is written, long paths, OEM round
// trips of the destination, labels and path filters to other drives; and
// Qz4UnZipPtr as a table.
#include <filesystem>

#include "archive/archive.h"
#include "extract_helpers.h"
#include "qzunpack_ext.h"
#ifndef _WIN32
#include <unistd.h>

#include "platform/host.h"
#endif

using namespace qztest;

namespace {

using Runs = Extraction;

#ifdef _WIN32
const char kSep = '\\';
#else
const char kSep = '/';
#endif

// Progress counts bytes written, the host sees Windows separators, and
// nobody else may open the output file while it is written.  Testing
// reports no bytes until an entry is done, and no destination.
TEST_F(Runs, ProgressAndTheOutputFileWhileItIsWritten) {
    const std::string big = noise(400000, 1, true);
    QzHandle &h = open({Entry("sub/big.txt", big, 8)});
    RecordingCallback cb;
    cb.onEvent([&](const QzPrintBlock &b) {
        if (b.eventKind == QZ_EVENT_NOTIFICATION && b.bytesDone > 0 && b.bytesDone < b.entrySize) {
            HANDLE other = CreateFileA((out + "/sub/big.txt").c_str(), GENERIC_READ, 7, NULL, OPEN_EXISTING,
                                       0, NULL);
            EXPECT_TRUE(other == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION);
        }
        return RecordingCallback::kNoAnswer;
    });
    EXPECT_EQ(Qz4UnZip(&h, slashed(out).c_str(), nullptr, "*.*", nullptr, "-d"), 0);
    auto n = cb.eventsOf(QZ_EVENT_NOTIFICATION);
    ASSERT_GE(n.size(), 4u);
    EXPECT_EQ(+n.front().bytesDone, 0u);
    for (size_t i = 1; i < n.size(); ++i)
        EXPECT_GE(+n[i].bytesDone, +n[i - 1].bytesDone);
    const QzPrintBlock last = n.back();
    EXPECT_EQ(std::vector<uint32_t>({last.bytesDone, last.entrySize, last.entrySize2}),
              std::vector<uint32_t>(3, (uint32_t)big.size()));
    EXPECT_TRUE(last.method == 1 && last.operation == QZ_OP_EXTRACTING);
    EXPECT_NE(std::string(last.fileName).find("\\sub\\big.txt"), std::string::npos);
    EXPECT_EQ((last.fileName + std::string(last.archiveName)).find('/'), std::string::npos);
    uint8_t info[4];
    EXPECT_EQ(Qz4ExtendedCPrintInfo(4, info), 4);
    EXPECT_EQ(info[0] | info[1] << 8 | info[2] << 16 | info[3] << 24, 0x6C215A8F);
    cb.clear();
    EXPECT_EQ(unzip(h, "-t"), 0);
    for (const QzPrintBlock &b : cb.eventsOf(QZ_EVENT_NOTIFICATION)) {
        EXPECT_TRUE(b.operation == QZ_OP_TESTING && (b.bytesDone == 0 || b.bytesDone == big.size()));
        EXPECT_STREQ(b.fileName, "sub\\big.txt");
    }
}

// A cancel during a run, before it, or at its very end ends it as
// cancelled; another error keeps its code; the request is gone after it.
TEST_F(Runs, CancellingEndsTheRunAndTheRequestIsGoneAfterIt) {
    const std::string big = noise(2000000, 1, true);
    QzHandle &h = open({Entry("big.txt", big, 8), Entry("next.txt", "n")});
    RecordingCallback cb;
    int progress = 0;
    cb.onEvent([&](const QzPrintBlock &b) {
        if (b.eventKind == QZ_EVENT_NOTIFICATION && ++progress == 3)
            Qz4Cancel();
        return RecordingCallback::kNoAnswer;
    });
    EXPECT_EQ(unzip(h), QZ_CANCELLED);
    EXPECT_FALSE(fileExists(out + "/big.txt") || fileExists(out + "/next.txt"));
    Qz4Cancel();
    EXPECT_EQ(unzip(h), QZ_CANCELLED);
    cb.onEvent([&](const QzPrintBlock &b) {
        if (b.eventKind == QZ_EVENT_NOTIFICATION && b.bytesDone == 1 && b.entrySize == 1)
            Qz4Cancel();
        return RecordingCallback::kNoAnswer;
    });
    EXPECT_EQ(unzip(h, "-o"), QZ_CANCELLED);
    cb.onEvent(nullptr);
    Qz4Cancel();
    QzHandle bogus = 0x7777;
    EXPECT_EQ(Qz4UnZip(&bogus, out.c_str(), nullptr, "*.*", nullptr, ""), QZ_ERR_HANDLE);
    EXPECT_EQ(Qz4UnZip(nullptr, out.c_str(), nullptr, "*.*", nullptr, ""), QZ_ERR_HANDLE);
    EXPECT_EQ(unzip(h, "-o"), 0);
    EXPECT_TRUE(read("big.txt") == big);
}

// In the extension mode a run keeps the directory it made last: when that
// directory is gone by the next entry, it is made again, and when a file
// has taken its place, that entry is skipped as in any other run.
TEST_F(Runs, TheDirectoryKeptByTheRunWentAway) {
    const struct {
        const char *name;
        const char *replacement;   // written where the directory was, or null
        std::vector<int16_t> messages;
        std::string b;
    } rows[] = {
        {"removed", nullptr, {QZ_ERR_METHOD}, "b"},
        {"a file in its place", "f", {QZ_ERR_METHOD, QZ_ERR_MKDIR}, "<none>"},
    };
    QzSetExtensions(QZ_EXT_ALL);
    for (const auto &row : rows) {
        QzHandle &h = open({Entry("d/a.txt", "a"), Entry("m3", "x", 3), Entry("d/b.txt", "b")});
        RecordingCallback cb;
        cb.onEvent([&](const QzPrintBlock &b) {
            if (b.eventKind == QZ_EVENT_MESSAGE) {
                std::filesystem::remove_all(out + "/d");
                if (row.replacement)
                    writeFile(out + "/d", row.replacement);
            }
            return RecordingCallback::kNoAnswer;
        });
        EXPECT_EQ(unzip(h, "-d"), QZ_SKIPPED) << row.name;
        std::vector<int16_t> messages;
        for (const QzPrintBlock &b : cb.eventsOf(QZ_EVENT_MESSAGE))
            messages.push_back(b.eventCode);
        EXPECT_EQ(messages, row.messages) << row.name;
        EXPECT_EQ(fileExists(out + "/d/b.txt") ? read("d/b.txt") : "<none>", row.b) << row.name;
        std::filesystem::remove_all(out + "/d");
    }
    QzSetExtensions(0);
}

TEST_F(Runs, QUnZipOpensExtractsAndCloses) {
    std::string path = put(dir, "q.zip", buildZip({Entry("q.txt", "quick", 8)}));
    EXPECT_EQ(Qz4QUnZip(path.c_str(), out.c_str(), "*.*", "-o"), 0);
    EXPECT_EQ(read("q.txt"), "quick");
    EXPECT_EQ(Qz4QUnZip(dir.file("missing.zip").c_str(), out.c_str(), "*.*", ""), QZ_ERR_NAME);
    EXPECT_EQ(qz::archive::openCount(), 0);
}

// Paths of up to 259 bytes are used whole; longer ones are cut to 259.  Two
// destinations of lengths of both parities, as names are copied character by
// character.
TEST_F(Runs, PathsOf259BytesAndLonger) {
    for (std::string dest : {out + "/d", out + "/dd"}) {
        CreateDirectoryA(dest.c_str(), NULL);
        for (size_t total : {258, 259, 260, 261}) {
            size_t length = total - dest.size() - 1;
            ASSERT_LT(length, 250u);
            std::string name = std::to_string(total) + std::string(length - 3, 'n');
            QzHandle &h = open({Entry(name, "x")}, name.substr(0, 3) + std::to_string(dest.size()) + ".zip");
            EXPECT_EQ(Qz4UnZip(&h, dest.c_str(), nullptr, "*.*", nullptr, ""), 0) << total;
            std::string used = name.substr(0, std::min(length, 258 - dest.size()));
            EXPECT_EQ(readFile(dest + "/" + used), "x") << total;
        }
    }
}

// A destination path goes to OEM and back as a whole, so characters without
// an OEM form change the same way wherever the path is used: the file is
// looked for, deleted, created and stamped under one name.  Each row's
// folder exists both as given and as the round trip makes it.
TEST_F(Runs, OemPaths) {
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
        std::string given = out + kSep + row.folder, used = out + kSep + back, outputName, file = "a.txt";
        CreateDirectoryA(given.c_str(), NULL);
        CreateDirectoryA(used.c_str(), NULL);
        if (row.outputName) {
            CharToOemA(row.outputName, oem);
            OemToCharA(oem, back);
            outputName = given + kSep + row.outputName;
            file = back;
        }
        Entry e("a.txt", row.row);
        e.externalAttributes = 0x21;
        QzHandle &h = open({e}, std::string(row.row) + ".zip");
        for (const char *command : {"", "-o"}) {
            const char *name = row.outputName ? outputName.c_str() : nullptr;
            EXPECT_EQ(Qz4UnZip(&h, (given + kSep).c_str(), name, "*.*", nullptr, command), 0) << row.row;
            EXPECT_EQ(readFile(used + kSep + file), row.row) << row.row;
            EXPECT_EQ(GetFileAttributesA((used + kSep + file).c_str()) & 1, 1u) << row.row;
            SetFileAttributesA((used + kSep + file).c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        if (given != used)
            EXPECT_FALSE(fileExists(given + kSep + file)) << row.row;
    }
}

// Path filters last one run: one that fails at once, one that does not
// apply them (no -.d), one that does.
TEST_F(Runs, PathFiltersLastOneRun) {
    std::string o = slashed(out);
    QzHandle &h = open({Entry("A/F.TXT", "a")});
    QzHandle bogus = 0x5151;
    for (const char *command : {"", "-q", "-d", "-d -.d"}) {
        ASSERT_EQ(Qz4AddUnZipPathFilter((o + "/A").c_str(), (o + "/B").c_str()), 0);
        Qz4UnZip(*command ? &h : &bogus, o.c_str(), nullptr, "*.*", nullptr, command);
        DeleteFileA((out + "/B/F.TXT").c_str());
        EXPECT_EQ(Qz4UnZip(&h, o.c_str(), nullptr, "*.*", nullptr, "-d -.d -o"), 0);
        EXPECT_FALSE(fileExists(out + "/B/F.TXT")) << command;
    }
    EXPECT_EQ(Qz4AddUnZipPathFilter(nullptr, nullptr), QZ_ERR_EMPTY_FILTER);
}

// A numbered set on a fixed drive: nobody is asked for a disk, and a volume
// that is missing, or an entry copy file that cannot be made, ends the run.
TEST_F(Runs, AVolumeSetOnAFixedDrive) {
    std::vector<std::string> volumes = buildQzvwSet(1, {{Entry("a.txt", "a")}, {Entry("b.txt", "b")}});
    put(dir, "SET.002", volumes[1]);
    OpenArchive set(put(dir, "SET.001", volumes[0]));
    RecordingCallback cb;
#ifndef _WIN32
    for (qzhost_call c : {QZHOST_GetTempFileNameA, QZHOST_CreateFileA}) {
        qzhost_fail_call(c, 1, ERROR_ACCESS_DENIED, 0);
        EXPECT_EQ(Qz4UnZip(&set.h, out.c_str(), nullptr, "*.*", nullptr, ""), QZ_ERR_FILE)
            << qzhost_call_name(c);
        qzhost_clear_faults();
    }
#endif
    EXPECT_EQ(Qz4UnZip(&set.h, out.c_str(), nullptr, "*.*", nullptr, "-o"), 0);
    EXPECT_EQ(read("a.txt") + read("b.txt"), "ab");
    EXPECT_TRUE(cb.eventsOf(QZ_EVENT_QUESTION).empty());
    EXPECT_EQ(Qz4UnZip(&set.h, nullptr, nullptr, "a*", nullptr, "-t"), 0);   // back to the first volume
    DeleteFileA(dir.file("SET.002").c_str());
    EXPECT_EQ(Qz4UnZip(&set.h, nullptr, nullptr, "b*", nullptr, "-t"), QZ_ERR_FILE);
}

// A leading '\' is the root of the drive (C:, the host's root here), not a
// directory to make.
#ifndef _WIN32
TEST_F(Runs, ADestinationFromTheRootOfTheDrive) {
    std::string root = out;
    std::replace(root.begin(), root.end(), '/', '\\');
    QzHandle &h = open({Entry("sub/a.txt", "a")});
    EXPECT_EQ(Qz4UnZip(&h, root.c_str(), nullptr, "*.*", nullptr, "-d"), 0);
    EXPECT_EQ(read("sub/a.txt"), "a");
    EXPECT_EQ(Qz4DirExist((out + "/sub").c_str()), 1);
    EXPECT_EQ(Qz4DirExist((out + "/sub/a.txt").c_str()) + Qz4DirExist("/missing") + Qz4DirExist(nullptr), 0);
    // A destination of one character is a folder below the current one.
    char saved[4096];
    ASSERT_TRUE(getcwd(saved, sizeof saved) && CreateDirectoryA((out + "/Q").c_str(), NULL));
    ASSERT_EQ(chdir(out.c_str()), 0);
    EXPECT_EQ(Qz4UnZip(&h, "Q", nullptr, "*.*", nullptr, "-d"), 0);
    EXPECT_EQ(chdir(saved), 0);
    EXPECT_EQ(read("Q/sub/a.txt"), "a");
}

TEST_F(Runs, LabelsAreSetOrReported) {
    Entry label("NEWLABEL", "");
    label.externalAttributes = 0x08;
    QzHandle &h = open({label});
    ASSERT_EQ(qzhost_map_drive('L', out.c_str(), DRIVE_REMOVABLE, "OLD"), 0);
    EXPECT_EQ(Qz4UnZip(&h, "L:\\", nullptr, "*.*", nullptr, "-$"), 0);
    char name[64] = {0};
    ASSERT_TRUE(GetVolumeInformationA("L:\\", name, sizeof name, NULL, NULL, NULL, NULL, 0));
    EXPECT_STREQ(name, "NEWLABEL");
    qzhost_unmap_drive('L');
    EXPECT_EQ(Qz4UnZip(&h, "L:\\", nullptr, "*.*", nullptr, "-$"), QZ_SKIPPED);
    EXPECT_EQ(Qz4MoreStatus(), QZ_ERR_FILE);
}

// Filters may move entries to another drive; a list that cannot grow is
// dropped whole.
TEST_F(Runs, FiltersToAnotherDrive) {
    ASSERT_EQ(qzhost_map_drive('D', out.c_str(), DRIVE_FIXED, nullptr), 0);
    QzHandle &h = open({Entry("C:/OLD/A.TXT", "moved")});
    ASSERT_EQ(Qz4AddUnZipPathFilter("C:/", "D:/NEW/"), 0);
    EXPECT_EQ(Qz4UnZip(&h, nullptr, nullptr, "*.*", nullptr, "-d -.d"), 0);
    EXPECT_EQ(read("NEW/OLD/A.TXT"), "moved");
    ASSERT_EQ(Qz4AddUnZipPathFilter("D:/", "D:/NEW/"), 0);
    qzhost_fail_alloc(1, 0);
    EXPECT_EQ(Qz4AddUnZipPathFilter("/X/", "/Y/"), QZ_ERR_MEMORY);
    qzhost_clear_faults();
    QzHandle &b = open({Entry("B.TXT", "b")}, "b.zip");
    EXPECT_EQ(Qz4UnZip(&b, "D:/", nullptr, "*.*", nullptr, "-d -.d"), 0);
    EXPECT_EQ(read("B.TXT"), "b");
    qzhost_unmap_drive('D');
}
#endif

// Qz4UnZipPtr as a table: which entry the name picks, the window of skip and
// limit, passwords, methods and what is reported.
struct PtrRow {
    const char *name, *entry;
    int32_t skip, limit;
    const char *command;
    int16_t result;
    std::string expected;            // the bytes delivered (the rest of the buffer untouched)
    std::vector<int16_t> messages = {};
};

TEST_F(Runs, UnZipPtrTable) {
    const std::string big = noise(1500000, 1, true);
    Entry secret("secret.txt", "the secret text", 8);
    secret.password = "pw";
    Entry longName("SHORT.TXT", "by its long name");
    longName.extra = extendedNameBlock("Long name.txt");
    QzHandle &h = open({Entry("top.txt", "top level"), Entry("DOCS/a.txt", "in docs", 8),
                        Entry("DOCS/SUB/b.txt", "deeper"), Entry("big.bin", big, 8),
                        Entry("stored.bin", big.substr(0, 200000)), Entry("empty.txt", ""), secret,
                        Entry("imploded.bin", "xx", 6), Entry("shrunk.bin", "yy", 1),
                        Entry("d64.bin", "zz", 9), longName});
    const int16_t M = QZ_ERR_METHOD;
    const PtrRow rows[] = {
        {"whole stored", "top.txt", 0, -1, "", 0, "top level"},
        {"whole deflated", "big.bin", 0, -1, "", 0, big},
        {"whole stored, several chunks", "stored.bin", 0, -1, "", 0, big.substr(0, 200000)},
        {"empty", "empty.txt", 0, -1, "", 0, ""},
        {"window deep in", "big.bin", 1234567, 10, "", 0, big.substr(1234567, 10)},
        {"window at a chunk", "big.bin", 65520, 5, "", 0, big.substr(65520, 5)},
        {"window across a chunk", "stored.bin", 65519, 3, "", 0, big.substr(65519, 3)},
        {"from skip to the end", "big.bin", 1000000, -1, "", 0, big.substr(1000000)},
        {"negative skip", "big.bin", -5, 4, "", 0, big.substr(0, 4)},
        {"skip at the end", "big.bin", (int32_t)big.size(), 10, "", 0, ""},
        {"skip beyond", "big.bin", 0x7FFFFFFF, -1, "", 0, ""},
        {"limit 0", "big.bin", 0, 0, "", 0, ""},
        {"name without its directory", "a.txt", 0, -1, "", QZ_NO_MORE_ENTRIES, ""},
        {"path", "DOCS/a.txt", 0, -1, "", 0, "in docs"},
        {"directory wildcard", "DOCS\\*", 0, -1, "", 0, "in docs"},
        {"directory", "DOCS/", 0, -1, "", 0, "in docs"},
        {"deeper wildcard", "DOCS/SUB/*.TXT", 0, -1, "", 0, "deeper"},
        {"first match", "*.txt", 0, -1, "", 0, "top level"},
        {"password", "secret.txt", 0, -1, "-s/pw/", 0, "the secret text"},
        {"wrong password", "secret.txt", 0, -1, "-s/wrong/", QZ_BAD_PASSWORD, "", {QZ_WRONG_PASSWORD}},
        {"no password", "secret.txt", 0, -1, "", QZ_BAD_PASSWORD, "", {QZ_WRONG_PASSWORD}},
        {"test mode delivers nothing", "secret.txt", 0, -1, "-t -s/pw/", 0, ""},
        {"imploded", "imploded.bin", 0, -1, "", M, ""},
        {"shrunk", "shrunk.bin", 0, -1, "", M, ""},
        {"deflate64", "d64.bin", 0, -1, "", M, "", {M}},
        {"bad switch", "top.txt", 0, -1, "-w", QZ_ERR_SWITCH, ""},
        {"short name", "Long name.txt", 0, -1, "", QZ_NO_MORE_ENTRIES, ""},
        {"long name", "Long name.txt", 0, -1, "-.l", 0, "by its long name"},
        {"long names stay", "Long name.txt", 0, -1, "", 0, "by its long name"},
    };
    for (const PtrRow &row : rows) {
        RecordingCallback cb;
        std::vector<char> buffer(1600000, '#');
        EXPECT_EQ(Qz4UnZipPtr(h, buffer.data(), row.skip, row.limit, row.entry, row.command),
            row.result) << row.name;
        std::string got(buffer.begin(), buffer.end());
        EXPECT_TRUE(got.substr(0, row.expected.size()) == row.expected) << row.name;
        EXPECT_EQ(got.find_first_not_of('#', row.expected.size()), std::string::npos) << row.name;
        std::vector<int16_t> messages;
        for (const QzPrintBlock &b : cb.events()) {
            EXPECT_EQ(+b.eventKind,
                QZ_EVENT_MESSAGE) << row.name << ": memory extraction reports no progress";
            messages.push_back(b.eventCode);
        }
        EXPECT_EQ(messages, row.messages) << row.name;
    }
    char b[16];
    EXPECT_EQ(Qz4UnZipPtr(0x4242, b, 0, -1, "top.txt", ""), QZ_ERR_HANDLE);
    EXPECT_EQ(Qz4UnZipPtr(h, nullptr, 0, -1, "top.txt", ""), 0);
    EXPECT_EQ(Qz4UnZipPtr(h, b, 0, 16, nullptr, ""), 0);
    Qz4Cancel();
    EXPECT_EQ(Qz4UnZipPtr(h, b, 0, 16, "big.bin", ""), QZ_CANCELLED);
    EXPECT_EQ(Qz4UnZipPtr(h, b, 0, 16, "big.bin", ""), 0);
#ifndef _WIN32
    // Reading stops once the limit is reached.
    unsigned long reads[2];
    for (int32_t skip : {100, 1400000}) {
        qzhost_reset_counters();
        EXPECT_EQ(Qz4UnZipPtr(h, b, skip, 10, "big.bin", ""), 0);
        EXPECT_EQ(std::string(b, 10), big.substr(skip, 10));
        qzhost_counters c;
        qzhost_get_counters(&c);
        reads[skip > 100] = c.reads;
        EXPECT_EQ(c.blocks + c.handles, 0);
    }
    EXPECT_LT(reads[0] + 3, reads[1]);
#endif
}

}  // namespace
