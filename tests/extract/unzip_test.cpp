// Qz4UnZip as a table: an archive, the destination as it was, one run, and
// what the run gives, says and leaves.  The table runs under UTC and again
// under another time zone, so that file times are checked as local times.
#include <stdlib.h>
#include <time.h>

#include <optional>

#include "extract_helpers.h"
#ifndef _WIN32
#include "platform/host.h"
#endif

using namespace qztest;

namespace {

const std::string kAbsent = "<absent>", kDir = "<dir>", kPe = "<pe>";
const int16_t kNobody = 0x7777;   // as an answer: no callback, nobody can be asked
const int16_t kAny = 0x7778;      // as the more status: not checked
const uint16_t kOlder = (2020 - 1980) << 9 | 1 << 5 | 1, kNewer = (2030 - 1980) << 9 | 1 << 5 | 1;
const int16_t W = QZ_WRONG_PASSWORD, X = QZ_CRC_MISMATCH, F = QZ_ERR_FILE, S = QZ_SKIPPED;

// A file of the destination: content (or kAbsent, kDir, kPe), attribute
// bits R, H, S (when not -1), DOS date and time of its last write.  Before
// the run, a name that begins with '/' adds a path filter from it to the
// content, both below the destination.
struct File {
    std::string name, content;
    int attributes = -1;
    uint16_t date = 0, time = 0;
};

const int kNoFault = -1, kFirstAllocation = -2;
struct Fault {
    int call = kNoFault;   // a qzhost_call failing from its first call on, or kFirstAllocation
    DWORD error;
    int persistent;
};

struct Row {
    const char *name;
    std::vector<Entry> entries;
    const char *command;
    int16_t result;
    std::vector<File> after;
    int16_t more = 0;
    std::vector<int16_t> messages = {};   // codes of the messages, in order
    std::vector<File> before = {};
    std::vector<int16_t> asks = {};       // answers to the overwrite questions, each asked
    int16_t answer = QZ_ANSWER_OK;        // to every message
    Fault fault = {};
    void (*damage)(std::string &zip) = nullptr;
    const char *include = "*.*", *exclude = nullptr, *output = nullptr;
};

Entry entry(const char *name, const std::string &data, uint16_t method = 0, uint32_t attributes = 0x20,
            const std::string &extra = "", const char *password = "", uint32_t crc = 0) {
    Entry e(name, data, method);
    e.externalAttributes = attributes;
    e.extra = extra;
    e.password = password;
    e.overrideCrc = crc != 0;
    e.crc = crc;
    return e;
}
// The version block: its key is a.b.c.d in big-endian 16-bit parts.
std::string version(unsigned a, unsigned b, unsigned c, unsigned d) {
    std::string key("TH\x0A\x00VW", 6);
    for (unsigned v : {a, b, c, d})
        key += std::string{(char)(v >> 8), (char)v};
    return key;
}
void setCentral32(std::string &zip, size_t at, uint32_t v) {
    size_t central = zip.find(std::string("PK\x01\x02", 4)) + at;
    for (int i = 0; i < 4; ++i)
        zip[central + i] = (char)(v >> 8 * i);
}

std::vector<Row> rows() {
    const Entry kDocs("docs/sub/a.txt", "deep", 8), kTop("top.txt", "top"), kBlocked("blocked", "b");
    const Entry kA("a.txt", "a"), kB("b.dat", "b"), kC("sub/c.txt", "c"), kLabel = entry("MYDISK", "", 0, 8);
    const Entry kBad = entry("bad.txt", "x", 8, 32, "", "", 9);
    const Entry kSecret = entry("secret.txt", noise(3000, 1, true), 8, 0x20, "", "right");
    const std::string big = noise(300000, 1, true);
    static const std::string blanks(128, ' ');
    Entry dated("dated.txt", "d"), zero("zero.txt", "z");
    dated.dosDate = (2019 - 1980) << 9 | 7 << 5 | 21;
    dated.dosTime = 18 << 11 | 45 << 5 | 15;
    zero.dosDate = 0;
    zero.dosTime = 9 << 11;
    std::vector<Entry> dirs = {entry("empty/", "", 0, 0x10), entry("two/levels/", "", 0, 0x10)};
    std::vector<Entry> news = {Entry("a.txt", "new a"), Entry("b.txt", "new b"), Entry("c.txt", "new c")};
    std::vector<File> olds = {{"a.txt", "old"}, {"b.txt", "old"}, {"c.txt", "old"}};
    std::vector<Entry> times = {Entry("older.txt", "new"), Entry("newer.txt", "new"),
                                Entry("absent.txt", "new")};
    std::vector<File> timesBefore = {{"older.txt", "old", -1, kOlder}, {"newer.txt", "old", -1, kNewer}};
    auto dll = [](const char *name, const std::string &block) { return entry(name, "new", 0, 0x20, block); };
    // A block after the key makes a comparison of more than its 8 bytes show.
    const std::string after = extraBlock(0xFFFF, "");
    std::vector<Entry> dlls = {dll("same.dll", version(4, 3, 2, 1) + after),
                               dll("newer.dll", version(4, 3, 2, 2)), dll("older.dll", version(4, 2, 9, 9)),
                               dll("noblock.dll", extraBlock(7, "1")),
                               dll("zero.dll", version(0, 0, 0, 0) + after),
                               dll("plain.txt", version(1, 0, 0, 0))};
    std::vector<File> pes = {{"same.dll", kPe}, {"newer.dll", kPe}, {"older.dll", kPe},
                             {"noblock.dll", kPe, -1, kOlder}, {"zero.dll", kPe}, {"plain.txt", "none"}};
    // The key is compared byte by byte, unsigned, most significant first,
    // wherever the block stands among the others.
    std::vector<Entry> keys = {dll("k1.dll", version(4, 3, 2, 0x81)), dll("k2.dll", version(4, 3, 1, 0xFFFF)),
                               dll("k3.dll", version(4, 3, 2, 0x101)), dll("k4.dll", version(0x104, 3, 2, 1)),
                               dll("k5.dll", extraBlock(0x7777, "xy") + version(4, 3, 2, 2))};
    std::vector<File> keysBefore, keysAfter;
    for (const char *k : {"k1.dll", "k2.dll", "k3.dll", "k4.dll", "k5.dll"}) {
        keysBefore.push_back({k, kPe});
        keysAfter.push_back({k, k[1] == '2' ? kPe : "new"});
    }
    Entry longName = entry("SHORT.TXT", "long", 0, 0x20, extendedNameBlock("A long file name.txt"));
    return {
        {"stored, deflated and empty", {kA, Entry("big.txt", big, 8), Entry("empty.txt", "")}, "", 0,
         {{"a.txt", "a"}, {"big.txt", big}, {"empty.txt", ""}}},
        {"entry directories dropped", {kDocs, kTop}, "", 0, {{"a.txt", "deep"}, {"docs", kAbsent}}},
        {"entry directories kept", {kDocs, kTop}, "-d", 0, {{"docs/sub/a.txt", "deep"}, {"top.txt", "top"}}},
        {"directory entries passed over", dirs, "", QZ_NO_MORE_ENTRIES, {{"empty", kAbsent}}},
        {"directory entries made", dirs, "-d", 0, {{"empty", kDir}, {"two/levels", kDir}}},
        {"directory entries tested", dirs, "-t", 0, {{"empty", kAbsent}}},
        {"labels passed over", {kLabel}, "", QZ_NO_MORE_ENTRIES, {{"MYDISK", kAbsent}}},
        {"labels tested", {kLabel}, "-t", 0, {{"MYDISK", kAbsent}}},
        {"no entries", {}, "", QZ_NO_MORE_ENTRIES, {}},
        {"test mode", {Entry("sub/good.txt", big, 8), kBad, kA}, "-t", S,
         {{"good.txt", kAbsent}, {"bad.txt", kAbsent}, {"a.txt", kAbsent}}, X, {X}},
        {"crc mismatch keeps the file", {kBad, kA}, "", S, {{"bad.txt", "x"}, {"a.txt", "a"}}, X, {X}},
        {"crc mismatch cancelled", {kBad, kA}, "", QZ_CANCELLED, {{"a.txt", kAbsent}}, kAny, {X}, {}, {},
         QZ_ANSWER_CANCEL},
        {"wrong password", {kA, kSecret, kB}, "-s\"wrong\"", S,
         {{"a.txt", "a"}, {"b.dat", "b"}, {"secret.txt", kAbsent}}, W, {W}},
        {"no password", {kSecret, kA}, "", S, {{"secret.txt", kAbsent}, {"a.txt", "a"}}, W, {W}},
        {"right password", {kSecret}, "-s/right/", 0, {{"secret.txt", kSecret.data}}},
        {"wrong password cancelled", {kSecret, kA}, "-s/x/", QZ_CANCELLED, {{"a.txt", kAbsent}}, kAny, {W},
         {}, {}, QZ_ANSWER_CANCEL},
        {"unknown method", {Entry("m3", "xx", 3), kA}, "", 0, {{"m3", kAbsent}, {"a.txt", "a"}}, 0, {-3}},
        {"imploding ends the run", {Entry("m6", "xx", 6), kA}, "", -3, {{"m6", kAbsent}, {"a.txt", kAbsent}},
         kAny},
        {"bad switch", {kA}, "-x", QZ_ERR_SWITCH, {{"a.txt", kAbsent}}, kAny},
        {"repeated switch", {kA}, "-$ -$", QZ_ERR_SWITCH_CONFLICT, {{"a.txt", kAbsent}}, kAny},
        {"command too long", {kA}, blanks.c_str(), QZ_TOO_LONG, {{"a.txt", kAbsent}}, kAny},
        {"attributes", {entry("a.txt", "a", 0, 0x23)}, "", 0, {{"a.txt", "a", 0x03}}},
        {"attributes but read-only", {entry("a.txt", "a", 0, 0x27)}, "-jr", 0, {{"a.txt", "a", 0x06}}},
        {"attributes but hidden", {entry("a.txt", "a", 0, 0x27)}, "-jh", 0, {{"a.txt", "a", 0x05}}},
        {"attributes but system", {entry("a.txt", "a", 0, 0x27)}, "-js", 0, {{"a.txt", "a", 0x03}}},
        {"time of the entry", {dated, zero}, "", 0,
         {{"dated.txt", "d", -1, dated.dosDate, dated.dosTime}, {"zero.txt", "z", -1, 0x0021, zero.dosTime}}},
        {"output cannot be created", {kBlocked, kA}, "", S, {{"a.txt", "a"}}, F, {F}, {{"blocked", kDir}}},
        {"output cannot be created, cancelled", {kBlocked, kA}, "", QZ_CANCELLED, {{"a.txt", kAbsent}}, kAny,
         {F}, {{"blocked", kDir}}, {}, QZ_ANSWER_CANCEL},
        {"directory cannot be made", {kC, kB}, "-d", QZ_ERR_MKDIR, {{"b.dat", kAbsent}}, kAny, {},
         {{"sub", "f"}}},
        {"extra field beyond the work buffer",
         {kA, entry("b", "b", 0, 32, extraBlock(7, std::string(9000, 'e')))},
         "", QZ_TOO_LONG, {{"a.txt", "a"}}, kAny},
        {"short names", {longName}, "", 0, {{"SHORT.TXT", "long"}}},
        {"long names", {longName}, "-.l", 0, {{"A long file name.txt", "long"}}},
        {"worse: crc after password", {kSecret, kBad}, "", S, {}, X, {W, X}},
        {"worse: crc before password", {kBad, kSecret}, "", S, {}, X, {X, W}},
        {"worst: access denied first", {kBlocked, kBad, kSecret}, "", S, {}, F, {F, X, W},
         {{"blocked", kDir}}},
        {"worst: access denied last", {kSecret, kBad, kBlocked}, "", S, {}, F, {W, X, F},
         {{"blocked", kDir}}},
        {"filter moves", {Entry("DOCS/SUB/A.TXT", "a")}, "-d -.d", 0, {{"TEXT/SUB/A.TXT", "a"}}, 0, {},
         {{"/DOCS", "/TEXT"}}},
        {"filter folds case", {Entry("DOCS/A.TXT", "a")}, "-d -.d", 0, {{"TEXT/A.TXT", "a"}}, 0, {},
         {{"/docs", "/TEXT"}}},
        {"filter of a directory", {Entry("DOCS/A.TXT", "a")}, "-d -.d", 0, {{"DOCS/A.TXT", "a"}}, 0, {},
         {{"/DOC", "/X"}}},
        {"filter that fits first", {Entry("A/F.TXT", "a")}, "-d -.d", 0, {{"FIRST/F.TXT", "a"}}, 0, {},
         {{"/A/", "/FIRST/"}, {"/A/", "/SECOND/"}}},
        {"filter without -.d", {Entry("A/F.TXT", "a")}, "-d", 0, {{"A/F.TXT", "a"}}, 0, {},
         {{"/A/", "/FIRST/"}}},
        // Existing files.
        {"nobody to ask keeps", {kA}, "", 0, {{"a.txt", "old"}}, 0, {}, {{"a.txt", "old"}}, {}, kNobody},
        {"question per file", news, "", 0, {{"a.txt", "new a"}, {"b.txt", "old"}, {"c.txt", "new c"}}, 0, {},
         olds, {QZ_ANSWER_YES, QZ_ANSWER_NO, QZ_ANSWER_YES}},
        {"yes to all", news, "", 0, {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}}, 0, {}, olds,
         {QZ_ANSWER_YES_TO_ALL}},
        {"question cancelled", news, "", QZ_CANCELLED, {{"a.txt", "old"}, {"b.txt", "old"}}, kAny, {}, olds,
         {QZ_ANSWER_CANCEL}},
        {"never overwrite", news, "-o-", 0, {{"a.txt", "old"}}, 0, {}, olds},
        {"always overwrite", news, "-o", 0, {{"a.txt", "new a"}}, 0, {}, olds},
        {"freshen", times, "-f", 0, {{"older.txt", "new"}, {"newer.txt", "old"}, {"absent.txt", kAbsent}}, 0,
         {}, timesBefore},
        {"newer", times, "-n", 0, {{"older.txt", "new"}, {"newer.txt", "old"}, {"absent.txt", "new"}}, 0, {},
         timesBefore},
        {"version same or newer", dlls, "-.ve", 0,
         {{"same.dll", "new"}, {"newer.dll", "new"}, {"older.dll", kPe}, {"noblock.dll", kPe},
          {"zero.dll", kPe}, {"plain.txt", "new"}}, 0, {}, pes, {QZ_ANSWER_NO, QZ_ANSWER_NO}},
        {"version newer", dlls, "-.v", 0,
         {{"same.dll", kPe}, {"newer.dll", "new"}, {"older.dll", kPe}, {"plain.txt", "new"}}, 0, {}, pes,
         {QZ_ANSWER_NO, QZ_ANSWER_NO}},
        {"version newer, else time", dlls, "-.v -n", 0, {{"noblock.dll", "new"}, {"older.dll", kPe}}, 0, {},
         pes},
        {"version key bytes", keys, "-.v", 0, keysAfter, 0, {}, keysBefore},
        {"read-only kept", {kA}, "-o -r-", 0, {{"a.txt", "old"}}, 0, {}, {{"a.txt", "old", 1}}},
        {"read-only cleared", {kA}, "-o -r+", 0, {{"a.txt", "a", 0}}, 0, {}, {{"a.txt", "old", 1}}},
        // Where the rows need more than one field after these.
        {"damaged directory", {kA, kB}, "", QZ_ERR_NOT_ZIP, {{"a.txt", "a"}}, kAny, {}, {}, {}, QZ_ANSWER_OK,
         {}, [](std::string &z) { z[z.rfind(std::string("PK\x01\x02", 4)) + 2] = 'X'; }},
        {"local header beyond the file", {kA}, "", QZ_ERR_READ, {{"a.txt", kAbsent}}, kAny, {}, {}, {},
         QZ_ANSWER_OK, {}, [](std::string &z) { setCentral32(z, 42, 0xFFFFFF); }},
        {"data cut short", {Entry("cut.bin", noise(200000), 8)}, "", QZ_ERR_READ, {{"cut.bin", kAbsent}},
         kAny, {}, {}, {}, QZ_ANSWER_OK, {}, [](std::string &z) { setCentral32(z, 20, 0xF00000); }},
        {"empty include list", {kA}, "", QZ_NO_MORE_ENTRIES, {{"a.txt", kAbsent}}, 0, {}, {}, {},
         QZ_ANSWER_OK, {}, nullptr, ""},
        {"no include list", {kA}, "", QZ_NO_MORE_ENTRIES, {{"a.txt", kAbsent}}, 0, {}, {}, {}, QZ_ANSWER_OK,
         {}, nullptr, nullptr},
        {"include and exclude", {kA, kB, kC}, "-d", 0, {{"a.txt", "a"}, {"b.dat", kAbsent}, {"sub", kAbsent}},
         0, {}, {}, {}, QZ_ANSWER_OK, {}, nullptr, "*.txt", "sub/*"},
        {"quoted include", {kA, kB}, "", 0, {{"b.dat", "b"}, {"a.txt", kAbsent}}, 0, {}, {}, {}, QZ_ANSWER_OK,
         {}, nullptr, "\"b.dat\" x"},
        {"output name, kept", {Entry("a.txt", "1"), Entry("sub/b.txt", "2")}, "-d", 0,
         {{"X.DAT", "1"}, {"a.txt", kAbsent}, {"sub", kAbsent}}, 0, {}, {}, {}, kNobody, {}, nullptr, "*.*",
         nullptr, "X.DAT"},
        {"output name, replaced", {Entry("a.txt", "1"), Entry("sub/b.txt", "2")}, "-d -o", 0,
         {{"X.DAT", "2"}}, 0, {}, {}, {}, QZ_ANSWER_OK, {}, nullptr, "*.*", nullptr, "X.DAT"},
#ifndef _WIN32
        // Wine does not refuse root a read-only file; the others need the POSIX layer's faults.
        {"read-only refused", {kA}, "-o", S, {{"a.txt", "old"}}, F, {F}, {{"a.txt", "old", 1}}},
        {"locked file skipped", {kA, kB}, "-o -.o", S, {{"a.txt", "old"}, {"b.dat", "b"}}, F, {},
         {{"a.txt", "old"}}, {}, QZ_ANSWER_OK, {QZHOST_DeleteFileA, ERROR_SHARING_VIOLATION, 1}},
        {"locked file ends the run", {kA, kB}, "-o", F, {{"a.txt", "old"}, {"b.dat", kAbsent}}, kAny, {},
         {{"a.txt", "old"}}, {}, QZ_ANSWER_OK, {QZHOST_DeleteFileA, ERROR_SHARING_VIOLATION, 1}},
        {"no memory for the work buffers", {kA}, "", QZ_ERR_MEMORY, {{"a.txt", kAbsent}}, kAny, {}, {}, {},
         QZ_ANSWER_OK, {kFirstAllocation, 0, 0}},
        {"file time not set", {kA, kB}, "", F, {{"b.dat", kAbsent}}, kAny, {}, {}, {}, QZ_ANSWER_OK,
         {QZHOST_SetFileTime, ERROR_ACCESS_DENIED, 0}},
        {"attributes not set", {entry("a.txt", "a", 0, 0x21)}, "", 0, {{"a.txt", "a"}}, 0, {}, {}, {},
         QZ_ANSWER_OK, {QZHOST_SetFileAttributesA, ERROR_ACCESS_DENIED, 0}},
        {"attributes set without 0x80", {entry("a.txt", "a", 0, 0xA0)}, "", 0, {{"a.txt", "a"}}, 0, {}, {},
         {}, QZ_ANSWER_OK, {QZHOST_SetFileAttributesA, ERROR_INVALID_PARAMETER, 0}},
        {"attributes never set", {entry("a.txt", "a", 0, 0xA0)}, "", F, {}, kAny, {}, {}, {}, QZ_ANSWER_OK,
         {QZHOST_SetFileAttributesA, ERROR_INVALID_PARAMETER, 1}},
#endif
    };
}

// The last write of a file as a local DOS date (high half) and time.
uint32_t localDosTime(const std::string &path) {
    WIN32_FIND_DATAA found;
    FILETIME local;
    WORD date = 0, time = 0;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    FileTimeToLocalFileTime(&found.ftLastWriteTime, &local);
    FileTimeToDosDateTime(&local, &date, &time);
    return (uint32_t)date << 16 | time;
}

void runRow(const Row &row, const std::string &pe) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    std::string out = dir.file("out"), o = slashed(out);
    CreateDirectoryA(out.c_str(), NULL);
    bool filters = false;
    for (const File &f : row.before) {
        std::string p = out + "/" + f.name;
        if (f.name[0] == '/')
            filters = Qz4AddUnZipPathFilter((o + f.name).c_str(), (o + f.content).c_str()) == 0;
        else if (f.content == kDir)
            CreateDirectoryA(p.c_str(), NULL);
        else
            writeFile(p, f.content == kPe ? pe : f.content);
        FILETIME local, utc;
        HANDLE h = f.date ? CreateFileA(p.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL) : NULL;
        if (f.date && DosDateTimeToFileTime(f.date, 0, &local) && LocalFileTimeToFileTime(&local, &utc))
            SetFileTime(h, NULL, NULL, &utc);
        if (f.date)
            CloseHandle(h);
        if (f.attributes >= 0)
            SetFileAttributesA(p.c_str(), (DWORD)f.attributes);
    }
    std::string zip = buildZip(row.entries), output = row.output ? out + "/" + row.output : "";
    if (row.damage)
        row.damage(zip);
    OpenArchive archive(put(dir, "t.zip", zip));
    std::optional<RecordingCallback> cb;
    size_t asked = 0;
    if (row.answer != kNobody)
        cb.emplace();
    if (cb)
        cb->onEvent([&](const QzPrintBlock &b) -> int {
            if (b.eventKind == QZ_EVENT_QUESTION)
                return asked < row.asks.size() ? row.asks[asked++] : (++asked, QZ_ANSWER_CANCEL);
            return b.eventKind == QZ_EVENT_MESSAGE ? row.answer : RecordingCallback::kNoAnswer;
        });
#ifndef _WIN32
    if (row.fault.call == kFirstAllocation)
        qzhost_fail_alloc(1, 0);
    else if (row.fault.call != kNoFault)
        qzhost_fail_call((qzhost_call)row.fault.call, 1, row.fault.error, row.fault.persistent);
#endif
    const char *destination = (filters ? o : out).c_str(), *name = row.output ? output.c_str() : nullptr;
    EXPECT_EQ(Qz4UnZip(&archive.h, destination, name, row.include, row.exclude, row.command), row.result);
#ifndef _WIN32
    qzhost_clear_faults();
#endif
    if (row.more != kAny)
        EXPECT_EQ(Qz4MoreStatus(), row.more);
    std::vector<int16_t> messages;
    for (const QzPrintBlock &b : cb ? cb->eventsOf(QZ_EVENT_MESSAGE) : std::vector<QzPrintBlock>())
        messages.push_back(b.eventCode);
    EXPECT_EQ(messages, row.messages);
    EXPECT_EQ(asked, row.asks.size());
    for (const File &f : row.after) {
        std::string p = out + "/" + f.name;
        DWORD a = GetFileAttributesA(p.c_str());
        if (f.content == kAbsent || f.content == kDir)
            EXPECT_EQ(a == INVALID_FILE_ATTRIBUTES ? kAbsent : a & FILE_ATTRIBUTE_DIRECTORY ? kDir : "",
                      f.content) << f.name;
        else
            EXPECT_TRUE(readFile(p) == (f.content == kPe ? pe : f.content)) << f.name;
        if (f.attributes >= 0)
            EXPECT_EQ(a & 0x07, (DWORD)f.attributes) << f.name;
        if (f.date)
            EXPECT_EQ(localDosTime(p), (uint32_t)f.date << 16 | f.time) << f.name;
        SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    for (const File &f : row.before)
        SetFileAttributesA((out + "/" + f.name).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Unzip, Table) {
    std::string pe;
#ifdef QZ_VERSION_DLL
    pe = readFile(QZ_VERSION_DLL);
#endif
    std::vector<Row> table = rows();
#ifndef _WIN32
    const char *saved = getenv("TZ");
    std::string savedZone = saved ? saved : "";
    for (const char *zone : {"UTC", "America/New_York"}) {
        SCOPED_TRACE(zone);
        setenv("TZ", zone, 1);
        tzset();
#endif
        for (const Row &row : table)
            if (!pe.empty() || std::string(row.command).find("-.v") == std::string::npos)
                runRow(row, pe);
#ifndef _WIN32
    }
    if (saved)
        setenv("TZ", savedZone.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
#endif
}

}  // namespace
