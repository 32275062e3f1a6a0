// Qz4UnZipPtr as a table: which entry the specification picks, the window
// of skip and limit, passwords, methods and what is reported.
#include <string>
#include <vector>

#include "extract_helpers.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

using namespace qztest;

namespace {

struct Row {
    const char *name, *entry;
    int32_t skip, limit;
    const char *command;
    int16_t result;
    std::string expected;            // the bytes delivered (the rest of the buffer untouched)
    std::vector<int16_t> messages = {};
};

TEST_F(Extraction, UnZipPtrTable)
{
    const std::string big = noise(1500000, 1, true);
    Entry secret("secret.txt", "the secret text", 8);
    secret.password = "pw";
    Entry longName("SHORT.TXT", "by its long name");
    longName.extra = extendedNameBlock("Long name.txt");
    QzHandle &h = open({Entry("top.txt", "top level"), Entry("DOCS/a.txt", "in docs", 8),
                        Entry("DOCS/SUB/b.txt", "deeper"), Entry("big.bin", big, 8),
                        Entry("stored.bin", big.substr(0, 200000)), Entry("empty.txt", ""), secret,
                        Entry("imploded.bin", "xx", 6), Entry("shrunk.bin", "yy", 1), Entry("d64.bin", "zz",
                            9),
                        longName});
    const int16_t M = QZ_ERR_METHOD;
    const Row rows[] = {
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
    for (const Row &row : rows) {
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
