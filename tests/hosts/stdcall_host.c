/*
 * Drives QZUNPACK.dll as Visual Basic and Delphi hosts do: loaded at run time, every export looked
 * up by name and by ordinal and called through a __stdcall pointer typed from qzunpack.h, with the
 * stack pointer compared around every call (VB's "bad DLL calling convention" check).  Runs in a
 * scratch folder next to ARCHIVE: docs/, docs/readme.txt, data.bin of INPUT, a comment.
 */
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include "qzunpack.h"
#include "qzunpack_ext.h"

#define ARCHIVE "..\\host.zip"
#define INPUT "..\\input\\"
#define README "docs/readme.txt"

#define QZ_POINTER_(ordinal, name, bytes) __typeof__(&name) name;
static struct { QZ_EXPORT_TABLE(QZ_POINTER_) QZ_EXT_EXPORT_TABLE(QZ_POINTER_) int end; } qz;
#define QZ_ROW_(ordinal, name, bytes) { ordinal, #name, &qz.name },
static struct { int ordinal; const char *name; void *slot; } rows[] = { QZ_EXPORT_TABLE(QZ_ROW_) QZ_EXT_EXPORT_TABLE(QZ_ROW_) };

static int failures, tested, extracted, bad_blocks; /* the last three counted by on_print */
static long v; /* what the last call through EXPECT returned */
static unsigned long sp_before, sp_after;

static void check(int ok, const char *what, long got) {
    if (!ok) {
        printf("FAILED: %s (got %ld)\n", what, got);
        ++failures;
    }
}

/* Built with -O0, the stack pointer stays put across a call when caller and callee agree. */
#define READ_SP(var) __asm__ __volatile__("movl %%esp, %0" : "=m"(var))
#define CALL(stmt)                                                                   \
    do {                                                                             \
        READ_SP(sp_before);                                                          \
        stmt;                                                                        \
        READ_SP(sp_after);                                                           \
        check(sp_before == sp_after, "stack kept by " #stmt, (long)(sp_before - sp_after)); \
    } while (0)
#define EXPECT(call, cond) CALL(v = (long)(call)); check((cond) != 0, #call ": " #cond, v)
#define CHECK(cond) check((cond) != 0, #cond, v)

__extension__ typedef unsigned long long Wide;

static char last_extracted[260];

static int16_t QZ_CALL on_print(QzPrintBlock block) {
    bad_blocks += block.eventKind < 0 || block.eventKind > 2 || block.reserved1 != 0
                  || block.reserved2 != 0 || block.entrySize != block.entrySize2;
    tested += block.eventKind == QZ_EVENT_NOTIFICATION && block.operation == QZ_OP_TESTING;
    extracted += block.eventKind == QZ_EVENT_NOTIFICATION && block.operation == QZ_OP_EXTRACTING;
    if (block.operation == QZ_OP_EXTRACTING)
        memcpy(last_extracted, block.fileName, sizeof last_extracted);
    return QZ_ANSWER_OK;
}

static char buffer[65536], original[65536];

/* Reads at most 64 KiB of a file; -1 if it cannot be opened. */
static long read_file(const char *path, char *into) {
    FILE *f = fopen(path, "rb");
    long n = f ? (long)fread(into, 1, 65536, f) : -1;
    if (f)
        fclose(f);
    return n;
}

static void check_copy(const char *from, const char *copy) {
    long n = read_file(from, original);
    check(n > 0 && n == read_file(copy, buffer) && memcmp(original, buffer, (size_t)n) == 0, copy, n);
}

int main(void) {
    HMODULE module = LoadLibraryA("QZUNPACK.dll");
    QzHandle h = QZ_INVALID_HANDLE;
    QzEntryRecord rec, readme;
    QzEntryRecordVB32 vb, readmeVB;
    char name[261], text[300], extra[64];
    uint16_t type = 0;
    uint32_t offset = 0, cdr = 0;
    unsigned i;
    long n;
    /* Qz4GetDoEvents removes no argument bytes: declared with one, the caller is 4 bytes off. */
    int32_t (QZ_CALL *wrong)(int32_t unused);
    /* QzCrc32A as a host that reads a 64-bit result sees it: EDX is the high half. */
    Wide (QZ_CALL *wideCrc32)(const void *data, uint32_t length, uint32_t crc);
    Wide wide;

    for (i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        FARPROC byName = GetProcAddress(module, rows[i].name);
        FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(rows[i].ordinal));
        check(byName && byName == byOrdinal, rows[i].name, rows[i].ordinal);
        memcpy(rows[i].slot, &byName, sizeof byName);
    }
    if (failures)
        return 1;
    memcpy(&wrong, &qz.Qz4GetDoEvents, sizeof wrong);
    READ_SP(sp_before);
    wrong(0);
    READ_SP(sp_after);
    check(sp_before - sp_after == 4, "a wrong declaration moves the stack", (long)(sp_before - sp_after));

    CALL(qz.Qz4SetDoEvents(0));
    EXPECT(qz.QzSetExtensions(0xFFFFFFFFu), v == (QZ_EXT_ALL & ~QZ_EXT_POSIX_NAMES));
    EXPECT(qz.QzSetExtensions(0), v == 0);
    EXPECT(qz.QzGetExtensions(), v == 0);
    EXPECT(qz.Qz4GetDoEvents(), v == 0);
    CALL(qz.Qz4SetParseType(1));
    EXPECT(qz.Qz4GetParseType(), v == -1);
    CALL(qz.Qz4SetParseType(0));
    EXPECT(qz.Qz4GetParsePlace(), v == -1);
    EXPECT(qz.Qz4MoreStatus(), v == 0);
    EXPECT(qz.Qz4ZipPercent(200, 50), v == 75);
    EXPECT(qz.Qz4ExtendedCPrintInfo(20, extra), v == 12);
    CALL(qz.Qz4SetCPrintFlags(0));
    CALL(qz.Qz4CPrintHook(on_print));
    CALL(qz.Qz4SetCPrint(1));
    EXPECT(qz.Qz4GetCPrint(), v == 1);

    EXPECT(qz.Qz4IdentifyFile(ARCHIVE, &type), v == 0 && type == QZ_TYPE_ZIP);
    EXPECT(qz.Qz4ZipOpen(ARCHIVE, QZ_OPEN_DEFAULT, &h), v == 0);
    EXPECT(qz.Qz4ZipComment(h, text, sizeof text), v == 0 && strncmp(text, "made by zip", 11) == 0);
    EXPECT(qz.Qz4ZipFindFirst(h, &rec, name, NULL, 0, NULL, 0), v == 0 && !strcmp(name, "docs/"));
    EXPECT(qz.Qz4ZipFindNext(h, &readme, name, NULL, 0, NULL, 0), !v && !strcmp(name, README));
    EXPECT(qz.Qz4ZipFindNext(h, &rec, name, NULL, 0, NULL, 0), v == 0 && !strcmp(name, "data.bin"));
    CHECK(readme.method == 8 && readme.uncompressedSize > readme.compressedSize);
    EXPECT(qz.Qz4ZipFindFirstVB32(h, &vb, name, NULL, 0, NULL, 0), v == 0 && !strcmp(name, "docs/"));
    EXPECT(qz.Qz4ZipFindNextVB32(h, &readmeVB, name, NULL, 0, NULL, 0), v == 0);
    CHECK(readmeVB.crc32 == readme.crc32 && readmeVB.compressedSize == readme.compressedSize);
    EXPECT(qz.Qz4GetCDR(h), v > 0);
    cdr = offset = (uint32_t)v;
    EXPECT(qz.Qz4ReadCDR(h, &offset, &rec, name, NULL, 0, NULL, 0), !v && !strcmp(name, "docs/"));
    CHECK(offset > cdr);
    EXPECT(qz.Qz4GetNextCDR(h), v != -1);
    strcpy(name, "a\\b");
    CALL(qz.Qz4EffectiveFileName(name, NULL, 0, text));
    CHECK(!strcmp(text, "a/b"));
    EXPECT(qz.Qz4ZipCheckPassword(h, &readme, "any"), v == 0);
    EXPECT(qz.Qz4ZipCheckPasswordVB32(h, &readmeVB, "any"), v == 0);

    /* Each entry reaches on_print as a 548-byte block.  zip's directory entry has no MS-DOS
     * directory attribute, so it cannot be made as a file: skipped, more status 105. */
    EXPECT(qz.Qz4UnZip(&h, "", NULL, "*.*", "", "-t"), v == 0);
    CHECK(tested >= 2 && extracted == 0);
    EXPECT(qz.Qz4UnZip(&h, "out\\", NULL, "*.*", "", "-d -o"), v == QZ_SKIPPED);
    EXPECT(qz.Qz4MoreStatus(), v == QZ_ERR_FILE);
    CHECK(extracted >= 2 && bad_blocks == 0 && strstr(last_extracted, "out\\") != NULL);
    EXPECT(qz.Qz4DirExist("out\\docs"), v == 1);
    check_copy(INPUT "docs\\readme.txt", "out\\docs\\readme.txt");
    check_copy(INPUT "data.bin", "out\\data.bin");

    /* Into memory: the whole entry, then a window of it; its CRC with EDX 0. */
    n = read_file(INPUT "docs\\readme.txt", original);
    EXPECT(qz.Qz4UnZipPtr(h, buffer, 0, -1, README, ""), !v && n > 100 && !memcmp(buffer, original, n));
    memset(buffer, 0, 64);
    EXPECT(qz.Qz4UnZipPtr(h, buffer, 10, 20, README, ""), !v && !memcmp(buffer, original + 10, 20));
    CHECK(buffer[20] == 0);
    EXPECT(qz.QzCrc32A(original, readme.uncompressedSize, 0xFFFFFFFFu), ~(uint32_t)v == readme.crc32);
    memcpy(&wideCrc32, &qz.QzCrc32A, sizeof wideCrc32);
    CALL(wide = wideCrc32(original, readme.uncompressedSize, 0xFFFFFFFFu));
    check((wide >> 32) == 0 && ~(uint32_t)wide == readme.crc32, "EDX is 0", (long)(wide >> 32));

    /* A bad switch, a pending cancel, an empty path filter, a missing drive. */
    EXPECT(qz.Qz4UnZip(&h, "out\\", NULL, "*.*", "", "-w"), v == QZ_ERR_SWITCH);
    CALL(qz.Qz4Cancel());
    EXPECT(qz.Qz4UnZip(&h, "out\\", NULL, "*.*", "", "-o"), v == QZ_CANCELLED);
    EXPECT(qz.Qz4AddUnZipPathFilter(NULL, NULL), v == QZ_ERR_EMPTY_FILTER);
    EXPECT(qz.QzSetVolumeLabel("Q:\\", "QZ"), v == QZ_ERR_FILE);
    CALL(qz.Qz4ZipClose(&h));
    EXPECT(qz.Qz4GetCDR(h), v == -1);
    EXPECT(qz.Qz4QUnZip(ARCHIVE, "again\\", "*.*", "-d -o"), v == QZ_SKIPPED);
    check_copy(INPUT "docs\\readme.txt", "again\\docs\\readme.txt");

    /* The cipher: what is encrypted with a password decrypts with it. */
    memcpy(buffer, "attack at dawn", 14);
    CALL(qz.QzInitKeys("secret", 6));
    CALL(qz.QzEncryptData(buffer, 14));
    CHECK(memcmp(buffer, "attack at dawn", 14) != 0);
    CALL(qz.QzInitKeys("secret", 6));
    CALL(qz.QzDecryptData(buffer, 14));
    CHECK(memcmp(buffer, "attack at dawn", 14) == 0);
    CALL(qz.QzInitHeader((uint8_t *)buffer, 0x12345678u));
    CHECK((uint8_t)buffer[10] == 0x34 && (uint8_t)buffer[11] == 0x12);
    EXPECT(qz.QzMatchFile("docs/readme.txt", "DOCS/*.TXT"), v == 1);
    EXPECT(qz.QzMatchFile("AB.B", "?.?"), v == 0);
    printf("stdcall_host: %d failures\n", failures);
    return failures ? 1 : 0;
}
