/*
 * A host that drives QZUNPACK.dll as Visual Basic and Delphi programs do: the
 * DLL is loaded at run time, every export is looked up by name and by ordinal,
 * and each call goes through a __stdcall pointer whose type is taken from the
 * declaration in qzunpack.h.  Like VB's "bad DLL calling convention" check,
 * the stack pointer is compared before and after every call, so an export
 * that removes the wrong number of argument bytes is caught.
 *
 * Usage: stdcall_host DLL ARCHIVE INPUTDIR  (run in a scratch folder; the
 * archive holds docs/, docs/readme.txt and data.bin of INPUTDIR, and the
 * comment "made by zip").
 */
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include "qzunpack.h"

#define QZ_POINTER_(ordinal, name, bytes) __typeof__(&name) name;
static struct { QZ_EXPORT_TABLE(QZ_POINTER_) int end; } qz;

static int failures;

static void check(int ok, const char *what, long got)
{
    if (!ok) {
        printf("FAILED: %s (got %ld)\n", what, got);
        ++failures;
    }
}

#define CHECK(cond, got) check((cond) != 0, #cond, (long)(got))

/* The stack pointer at a statement boundary; the host is built with -O0, so
 * the compiler keeps it the same between statements when caller and callee
 * agree on the bytes removed. */
#define READ_SP(var) __asm__ __volatile__("movl %%esp, %0" : "=r"(var))
#define CALL(stmt)                                                  \
    do {                                                            \
        unsigned long before_, after_;                              \
        READ_SP(before_);                                           \
        stmt;                                                       \
        READ_SP(after_);                                            \
        check(before_ == after_, "stack kept by: " #stmt, (long)(before_ - after_)); \
    } while (0)

/* Qz4GetDoEvents removes no argument bytes; declared with one argument, the
 * caller expects four to be removed and is left four bytes off. */
typedef int32_t (QZ_CALL *WrongGetDoEvents)(int32_t unused);

static long stack_shift_of_wrong_declaration(void)
{
    WrongGetDoEvents wrong;
    unsigned long before, after;
    memcpy(&wrong, &qz.Qz4GetDoEvents, sizeof wrong);
    READ_SP(before);
    wrong(0);
    READ_SP(after);
    return (long)(before - after);
}

/* QzCrc32A as a host that reads a 64-bit result sees it: EDX is the high half. */
__extension__ typedef unsigned long long Wide;
typedef Wide (QZ_CALL *WideCrc32)(const void *buffer, uint32_t length, uint32_t crc);

static struct {
    int events, extracting, testing, bad_block;
    char lastFile[260];
} seen;

static int16_t QZ_CALL on_print(QzPrintBlock block)
{
    ++seen.events;
    if (block.eventKind < 0 || block.eventKind > 2 || block.reserved1 != 0 || block.reserved2 != 0
        || block.entrySize != block.entrySize2)
        ++seen.bad_block;
    if (block.eventKind == QZ_EVENT_NOTIFICATION && block.operation == QZ_OP_EXTRACTING)
        ++seen.extracting;
    if (block.eventKind == QZ_EVENT_NOTIFICATION && block.operation == QZ_OP_TESTING)
        ++seen.testing;
    if (block.operation == QZ_OP_EXTRACTING)
        memcpy(seen.lastFile, block.fileName, sizeof seen.lastFile);
    return QZ_ANSWER_OK;
}

static long file_bytes(const char *path, char *buffer, long size)
{
    FILE *f = fopen(path, "rb");
    long n = -1;
    if (f) {
        n = (long)fread(buffer, 1, (size_t)size, f);
        fclose(f);
    }
    return n;
}

static int same_file(const char *a, const char *b)
{
    static char x[65536], y[65536];
    long n = file_bytes(a, x, sizeof x), m = file_bytes(b, y, sizeof y);
    return n >= 0 && n == m && memcmp(x, y, (size_t)n) == 0;
}

struct Row { int ordinal; const char *name; void *slot; };
#define QZ_ROW_(ordinal, name, bytes) { ordinal, #name, &qz.name },
static struct Row rows[] = { QZ_EXPORT_TABLE(QZ_ROW_) { 0, 0, 0 } };

static int load(const char *dll)
{
    HMODULE module = LoadLibraryA(dll);
    struct Row *row;
    if (!module) {
        printf("FAILED: LoadLibraryA(%s)\n", dll);
        return 0;
    }
    for (row = rows; row->name; ++row) {
        FARPROC byName = GetProcAddress(module, row->name);
        FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(row->ordinal));
        if (!byName || byName != byOrdinal) {
            printf("FAILED: %s by name %lx, by ordinal %d %lx\n", row->name,
                   (unsigned long)byName, row->ordinal, (unsigned long)byOrdinal);
            ++failures;
        }
        memcpy(row->slot, &byName, sizeof byName);
    }
    return failures == 0;
}

static const struct { const char *name, *pattern; int16_t fits; } matches[] = {
    { "README.TXT", "*.TXT", 1 }, { "README.TXT", "*.DOC", 0 },
    { "docs/readme.txt", "docs/*.txt", 1 }, { "A.B", "?.?", 1 }, { "AB.B", "?.?", 0 },
};

int main(int argc, char **argv)
{
    QzHandle h = QZ_INVALID_HANDLE;
    QzEntryRecord rec, readme;
    QzEntryRecordVB32 vb, readmeVB;
    static char buffer[65536], expect[4096];
    char name[261], path[300], text[300], extra[64];
    uint16_t type = 0;
    uint32_t offset = 0, crc = 0;
    int32_t i32 = 0;
    int16_t r = 0;
    unsigned i, listed = 0, listedVB = 0;
    long n;
    Wide wide;
    WideCrc32 wideCrc32;

    if (argc != 4 || !load(argv[1]))
        return 1;
    CHECK(stack_shift_of_wrong_declaration() == 4, stack_shift_of_wrong_declaration());

    /* Control state, as a host finds it after loading. */
    CALL(i32 = qz.Qz4GetDoEvents());            CHECK(i32 == 1, i32);
    CALL(qz.Qz4SetDoEvents(0));
    CALL(i32 = qz.Qz4GetDoEvents());            CHECK(i32 == 0, i32);
    CALL(qz.Qz4SetDoEvents(1));
    CALL(qz.Qz4SetParseType(1));
    CALL(i32 = qz.Qz4GetParseType());           CHECK(i32 == -1, i32);
    CALL(qz.Qz4SetParseType(0));
    CALL(r = qz.Qz4GetParsePlace());            CHECK(r == -1, r);
    CALL(r = qz.Qz4MoreStatus());               CHECK(r == 0, r);
    CALL(r = qz.Qz4ZipPercent(200, 50));        CHECK(r == 75, r);
    CALL(r = qz.Qz4ExtendedCPrintInfo(20, extra)); CHECK(r == 12, r);
    CALL(qz.Qz4SetCPrintFlags(0));
    CALL(qz.Qz4CPrintHook(on_print));
    CALL(qz.Qz4SetCPrint(1));
    CALL(i32 = qz.Qz4GetCPrint());              CHECK(i32 == 1, i32);

    /* Listing. */
    CALL(r = qz.Qz4IdentifyFile(argv[2], &type)); CHECK(r == 0 && type == QZ_TYPE_ZIP, type);
    CALL(r = qz.Qz4ZipOpen(argv[2], QZ_OPEN_DEFAULT, &h)); CHECK(r == 0, r);
    CALL(r = qz.Qz4ZipComment(h, text, sizeof text));
    CHECK(r == 0 && strncmp(text, "made by zip", 11) == 0, r);
    memset(&readme, 0, sizeof readme);
    CALL(r = qz.Qz4ZipFindFirst(h, &rec, name, NULL, 0, NULL, 0));
    while (r == 0) {
        ++listed;
        if (strcmp(name, "docs/readme.txt") == 0)
            readme = rec;
        CALL(r = qz.Qz4ZipFindNext(h, &rec, name, NULL, 0, NULL, 0));
    }
    CHECK(r == QZ_NO_MORE_ENTRIES && listed == 3, listed);
    CHECK(readme.method == 8 && readme.uncompressedSize > readme.compressedSize, readme.method);
    CALL(r = qz.Qz4ZipFindFirstVB32(h, &vb, name, NULL, 0, NULL, 0));
    while (r == 0) {
        ++listedVB;
        if (strcmp(name, "docs/readme.txt") == 0)
            readmeVB = vb;
        CALL(r = qz.Qz4ZipFindNextVB32(h, &vb, name, NULL, 0, NULL, 0));
    }
    CHECK(listedVB == 3, listedVB);
    CHECK(readmeVB.crc32 == readme.crc32 && readmeVB.compressedSize == readme.compressedSize, 0);
    CALL(i32 = qz.Qz4GetCDR(h));                CHECK(i32 > 0, i32);
    offset = (uint32_t)i32;
    CALL(r = qz.Qz4ReadCDR(h, &offset, &rec, name, NULL, 0, NULL, 0));
    CHECK(r == 0 && strcmp(name, "docs/") == 0 && offset > (uint32_t)i32, r);
    CALL(i32 = qz.Qz4GetNextCDR(h));            CHECK(i32 != -1, i32);
    strcpy(name, "a\\b");
    CALL(qz.Qz4EffectiveFileName(name, NULL, 0, text)); CHECK(strcmp(text, "a/b") == 0, 0);
    CALL(r = qz.Qz4ZipCheckPassword(h, &readme, "any")); CHECK(r == 0, r);
    CALL(r = qz.Qz4ZipCheckPasswordVB32(h, &readmeVB, "any")); CHECK(r == 0, r);

    /* Test, then extract: each entry reaches the callback as a 548-byte block.
     * zip's directory entry carries no MS-DOS directory attribute, so the
     * library cannot create it as a file: skipped, with the more status 105. */
    CALL(r = qz.Qz4UnZip(&h, "", NULL, "*.*", "", "-t")); CHECK(r == 0, r);
    CHECK(seen.testing >= 2 && seen.extracting == 0, seen.testing);
    CALL(r = qz.Qz4UnZip(&h, "out\\", NULL, "*.*", "", "-d -o")); CHECK(r == QZ_SKIPPED, r);
    CALL(r = qz.Qz4MoreStatus());               CHECK(r == QZ_ERR_FILE, r);
    CHECK(seen.extracting >= 2 && seen.bad_block == 0, seen.bad_block);
    CHECK(strstr(seen.lastFile, "out\\") != NULL, 0);
    CALL(r = qz.Qz4DirExist("out\\docs"));      CHECK(r == 1, r);
    for (i = 0; i < 2; ++i) {
        const char *file = i ? "data.bin" : "docs\\readme.txt";
        sprintf(path, "%s\\%s", argv[3], file);
        sprintf(text, "out\\%s", file);
        check(same_file(path, text), text, 0);
    }

    /* Into memory: the whole entry, then a window of it, and its CRC. */
    sprintf(path, "%s\\docs\\readme.txt", argv[3]);
    n = file_bytes(path, expect, sizeof expect);
    CALL(r = qz.Qz4UnZipPtr(h, buffer, 0, -1, "docs/readme.txt", "")); CHECK(r == 0, r);
    CHECK(n > 100 && memcmp(buffer, expect, (size_t)n) == 0, n);
    memset(buffer, 0, 64);
    CALL(r = qz.Qz4UnZipPtr(h, buffer, 10, 20, "docs/readme.txt", ""));
    CHECK(r == 0 && memcmp(buffer, expect + 10, 20) == 0 && buffer[20] == 0, r);
    CALL(r = qz.Qz4UnZipPtr(h, buffer, 0, -1, "docs/readme.txt", ""));
    CALL(crc = qz.QzCrc32A(buffer, readme.uncompressedSize, 0xFFFFFFFFu));
    CHECK(~crc == readme.crc32, crc);
    memcpy(&wideCrc32, &qz.QzCrc32A, sizeof wideCrc32);
    CALL(wide = wideCrc32(buffer, readme.uncompressedSize, 0xFFFFFFFFu));
    CHECK((wide >> 32) == 0 && (uint32_t)wide == crc, (long)(wide >> 32));

    /* A bad switch, a pending cancel, an empty path filter, a missing drive. */
    CALL(r = qz.Qz4UnZip(&h, "out\\", NULL, "*.*", "", "-w")); CHECK(r == QZ_ERR_SWITCH, r);
    CALL(r = qz.Qz4GetParsePlace());            CHECK(r >= 0, r);
    CALL(qz.Qz4Cancel());
    CALL(r = qz.Qz4UnZip(&h, "out\\", NULL, "*.*", "", "-o")); CHECK(r == QZ_CANCELLED, r);
    CALL(r = qz.Qz4AddUnZipPathFilter(NULL, NULL)); CHECK(r == QZ_ERR_EMPTY_FILTER, r);
    CALL(r = qz.QzSetVolumeLabel("Q:\\", "QZ")); CHECK(r == QZ_ERR_FILE, r);
    CALL(qz.Qz4ZipClose(&h));
    CALL(i32 = qz.Qz4GetCDR(h));                CHECK(i32 == -1, i32);
    CALL(r = qz.Qz4QUnZip(argv[2], "again\\", "*.*", "-d -o")); CHECK(r == QZ_SKIPPED, r);
    check(same_file(path, "again\\docs\\readme.txt"), "again\\docs\\readme.txt", 0);

    /* The cipher: what is encrypted with a password decrypts with it. */
    memcpy(buffer, "attack at dawn", 14);
    CALL(qz.QzInitKeys("secret", 6));
    CALL(qz.QzEncryptData(buffer, 14));         CHECK(memcmp(buffer, "attack at dawn", 14) != 0, 0);
    CALL(qz.QzInitKeys("secret", 6));
    CALL(qz.QzDecryptData(buffer, 14));         CHECK(memcmp(buffer, "attack at dawn", 14) == 0, 0);
    CALL(qz.QzInitHeader((uint8_t *)buffer, 0x12345678u));
    CHECK((uint8_t)buffer[10] == 0x34 && (uint8_t)buffer[11] == 0x12, (uint8_t)buffer[11]);

    for (i = 0; i < sizeof matches / sizeof matches[0]; ++i) {
        CALL(r = qz.QzMatchFile(matches[i].name, matches[i].pattern));
        check(r == matches[i].fits, matches[i].pattern, r);
    }

    printf("%s: %d failures\n", argv[0], failures);
    return failures ? 1 : 0;
}
