/*
 * qzunpack.h -- the public interface of the QZUNPACK extraction library.
 *
 * QZUNPACK lists, tests and extracts ZIP archives (plain, self-extracting,
 * spanned over removable disks, directory-first volumes and QZVW archives),
 * decodes single entries into memory and offers its primitives: CRC-32,
 * the traditional PKWARE cipher and wildcard matching.
 *
 * The interface is flat and C-style: 39 stdcall functions, records of fixed
 * byte layout and signed 16-bit result codes.  All state is library-wide;
 * there is no initialisation call and no context object.  One operation runs
 * at a time, on the caller's thread.
 *
 * Strings are NUL-terminated and in the ANSI code page.  Name buffers hold
 * 260 bytes (259 characters and the terminator); the enumeration wants 261.
 * Optional buffers come as a pointer and a 16-bit size, where a null pointer
 * or the size 0xFFFF means "no buffer".
 *
 * Archive handles are 32-bit values (the Win32 handle of the open archive
 * file, or of the volume that is open now).  The invalid value has all bits
 * set.
 */
#ifndef QZUNPACK_H
#define QZUNPACK_H

#include <stddef.h>
#include <stdint.h>

/* ------------------------------------------------------------------------
 * Calling convention and export attributes
 * ------------------------------------------------------------------------ */

#if defined(_WIN32)
   /* The 32-bit DLL is exported by its module definition alone (names and
    * ordinals fixed there); dllexport would add the decorated names too. */
#  if defined(QZ_BUILDING) && !defined(__i386__)
#    define QZ_EXPORT_ATTR __declspec(dllexport)
#  else
#    define QZ_EXPORT_ATTR
#  endif
#  define QZ_CALL __stdcall
#else
#  define QZ_EXPORT_ATTR __attribute__((visibility("default")))
#  define QZ_CALL
#endif

/* 32-bit Windows callers (VB, Delphi) keep only a 4-byte aligned stack; the
 * exports realign it so that the compiler's SSE spills stay legal. */
#if defined(__i386__) && defined(__GNUC__)
#  define QZ_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#  define QZ_ALIGN_STACK
#endif

#ifdef __cplusplus
#  define QZ_EXTERN_C extern "C"
#else
#  define QZ_EXTERN_C extern
#endif

#define QZ_API(type) QZ_EXTERN_C QZ_EXPORT_ATTR QZ_ALIGN_STACK type QZ_CALL

#if defined(__cplusplus) && __cplusplus >= 201103L
#  define QZ_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#  define QZ_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#else
   /* C89, C99 and C++98: an array type of negative size stops the build. */
#  define QZ_JOIN2_(a, b) a##b
#  define QZ_JOIN_(a, b) QZ_JOIN2_(a, b)
#  define QZ_STATIC_ASSERT(cond, msg) \
       typedef char QZ_JOIN_(qz_static_assert_line_, __LINE__)[(cond) ? 1 : -1]
#endif

/* ------------------------------------------------------------------------
 * Result codes
 *
 * One table, from which the constants, the texts the tools print and the
 * tests' expectations are all made: X(name, value, text).
 * 0 is success; negative values are outcomes of the archive or the request;
 * 102 to 108 are failures of the system.
 * ------------------------------------------------------------------------ */

#define QZ_RESULT_CODES(X)                                                          \
    X(QZ_OK,                 0,      "success")                                     \
    X(QZ_ERR_LAYOUT,         -1,     "not an archive of a known layout")            \
    X(QZ_ERR_NOT_ZIP,        -2,     "not a ZIP archive or damaged directory")      \
    X(QZ_ERR_METHOD,         -3,     "unknown or unsupported compression method")   \
    X(QZ_CANCELLED,          -4,     "cancelled")                                   \
    X(QZ_NO_MORE_ENTRIES,    -7,     "no more entries")                             \
    X(QZ_SKIPPED,            -8,     "done, but entries were skipped")              \
    X(QZ_ERR_SWITCH,         -9,     "invalid switch in the command string")        \
    X(QZ_ERR_WRITE,          -10,    "write error")                                 \
    X(QZ_ERR_READ,           -11,    "read error")                                  \
    X(QZ_TOO_LONG,           -18,    "too long")                                    \
    X(QZ_ERR_EMPTY_FILTER,   -19,    "empty path filter")                           \
    X(QZ_ERR_SWITCH_CONFLICT,-20,    "conflicting or repeated switch")              \
    X(QZ_NO_VERSION,         -23,    "no version resource")                         \
    X(QZ_WRONG_PASSWORD,     -24,    "wrong password")                              \
    X(QZ_CRC_MISMATCH,       -25,    "CRC mismatch")                                \
    X(QZ_ERR_NOT_LOCATED,    -27,    "central directory not located")               \
    X(QZ_BAD_PASSWORD,       -12345, "wrong or missing password")                   \
    X(QZ_ERR_NAME,           102,    "archive name missing or not found")           \
    X(QZ_ERR_MKDIR,          103,    "directory could not be created")              \
    X(QZ_ERR_FILE,           105,    "file access failed")                          \
    X(QZ_ERR_HANDLE,         106,    "unknown archive handle")                      \
    X(QZ_ERR_MEMORY,         108,    "out of memory")

#define QZ_RESULT_ENUM_(name, value, text) name = value,
/* The last name only ends the list: C89 and C++98 allow no comma there. */
enum QzResultCode { QZ_RESULT_CODES(QZ_RESULT_ENUM_) QZ_RESULT_CODES_END_ = 0 };
#undef QZ_RESULT_ENUM_

typedef int16_t QzResult;
typedef uint32_t QzHandle;
#define QZ_INVALID_HANDLE ((QzHandle)0xFFFFFFFFu)

/* ------------------------------------------------------------------------
 * Option flag word of the command string (as Qz4UnZip parses it)
 * ------------------------------------------------------------------------ */

#define OPT_DIRS            0x00000001u /* -D   keep directories, create them */
#define OPT_STRIP_H         0x00000002u /* J H  do not restore hidden */
#define OPT_STRIP_S         0x00000004u /* J S  do not restore system */
#define OPT_STRIP_R         0x00000008u /* J R  do not restore read-only */
#define OPT_STRIP_N         0x00000010u /* J N  do not restore bit 0x80 */
#define OPT_OVERWRITE       0x00000020u /* -O   overwrite without asking */
#define OPT_NO_OVERWRITE    0x00000040u /* -O-  never overwrite */
#define OPT_TEST            0x00000080u /* -T   test only */
#define OPT_FRESHEN         0x00000100u /* -F   only existing files, if newer */
#define OPT_NEWER           0x00000200u /* -N   new files, existing ones if newer */
#define OPT_PASSWORD        0x00000400u /* -S   a password was given */
#define OPT_LABEL           0x00000800u /* -$   restore volume labels */
#define OPT_CLEAR_READONLY  0x00200000u /* -R+  make read-only files writable */
#define OPT_KEEP_DRIVE      0x00400000u /* -.D  keep drive prefixes, path filters */
#define OPT_VERSION_SAME    0x00800000u /* -.VE replace if version same or newer */
#define OPT_VERSION_NEWER   0x01000000u /* -.V  replace if version newer */
#define OPT_LONG_NAMES      0x02000000u /* -.L  names from the extended-name block */
#define OPT_KEEP_READONLY   0x04000000u /* -R-  never replace read-only files */
#define OPT_SKIP_LOCKED     0x08000000u /* -.O  skip files that cannot be replaced */

/* ------------------------------------------------------------------------
 * Open modes of Qz4ZipOpen
 * ------------------------------------------------------------------------ */

#define QZ_OPEN_DEFAULT          0x0000u
#define QZ_OPEN_RELAXED_MASK     0x0007u /* any bit: skip the strict checks */
#define QZ_OPEN_DELETE_ON_NOMEM  0x0002u /* delete the archive if memory fails */
#define QZ_OPEN_SHARE_WRITE      0x0008u /* share the archive for writing too */
#define QZ_OPEN_LONG_NAMES       0x0100u /* effective names from the extra field */

/* Archive type codes of Qz4IdentifyFile. */
#define QZ_TYPE_NONE        0
#define QZ_TYPE_ZIP         1
#define QZ_TYPE_QZVW        2  /* QZVW kind 1 or 2 */
#define QZ_TYPE_SPANNED     3
#define QZ_TYPE_DIR_FIRST   4
#define QZ_TYPE_QZVW3       10 /* QZVW kind 3 */
#define QZ_TYPE_SFX         13

/* ------------------------------------------------------------------------
 * Records
 * ------------------------------------------------------------------------ */

#pragma pack(push, 1)

/* The print block, handed by value to the print callback for every event.
 * 548 bytes without padding; the 32-bit fields lie at even offsets. */
typedef struct QzPrintBlock {
    char     archiveName[260]; /* ANSI path of the archive or current volume */
    char     fileName[260];    /* ANSI destination path of the entry */
    int16_t  operation;        /* -1 none, 1 extracting, 3 testing, 4 indexing, 6 skipped */
    uint32_t entrySize;        /* uncompressed size of the entry */
    uint32_t bytesDone;        /* bytes written so far (0 while testing) */
    uint32_t entrySize2;       /* a second copy of entrySize */
    int16_t  method;           /* internal method code */
    uint16_t reserved1;        /* always 0 */
    uint32_t reserved2;        /* always 0 */
    int16_t  eventKind;        /* 0 message, 1 question, 2 notification */
    int16_t  eventCode;        /* meaning depends on eventKind */
    int16_t  diskNumber;       /* disk asked for by question 1 */
} QzPrintBlock;

/* Extended print info, read with Qz4ExtendedCPrintInfo. */
typedef struct QzExtPrintInfo {
    uint16_t dosDate;   /* last-modification date of the entry, MS-DOS form */
    uint16_t dosTime;   /* last-modification time of the entry, MS-DOS form */
    uint32_t reserved1;
    uint32_t reserved2;
} QzExtPrintInfo;

/* The central directory header as stored: 46 bytes, packed. */
typedef struct QzEntryRecord {
    uint32_t signature;       /* 0x02014B50 */
    uint16_t versionMadeBy;   /* high byte: host system, 0 = MS-DOS */
    uint16_t versionNeeded;
    uint16_t flags;           /* general-purpose flag; bit 0 = encrypted */
    uint16_t method;
    uint16_t dosTime;
    uint16_t dosDate;
    uint32_t crc32;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint16_t nameLength;
    uint16_t extraLength;
    uint16_t commentLength;
    uint16_t diskNumberStart;
    uint16_t internalAttributes;
    uint32_t externalAttributes;
    uint32_t localHeaderOffset;
} QzEntryRecord;

#pragma pack(pop)

/* The same seventeen fields, naturally aligned, 32-bit ones first.  Only the
 * first 46 bytes are significant; the library never writes past them, so a
 * caller may pass a 46-byte block (sizeof is 48 because of tail padding). */
typedef struct QzEntryRecordVB32 {
    uint32_t signature;
    uint32_t crc32;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint32_t externalAttributes;
    uint32_t localHeaderOffset;
    uint16_t versionMadeBy;
    uint16_t versionNeeded;
    uint16_t flags;
    uint16_t method;
    uint16_t dosTime;
    uint16_t dosDate;
    uint16_t nameLength;
    uint16_t extraLength;
    uint16_t commentLength;
    uint16_t diskNumberStart;
    uint16_t internalAttributes;
} QzEntryRecordVB32;

#define QZ_ENTRY_RECORD_BYTES 46

QZ_STATIC_ASSERT(sizeof(QzPrintBlock) == 548, "print block size");
QZ_STATIC_ASSERT(offsetof(QzPrintBlock, fileName) == 260, "print block layout");
QZ_STATIC_ASSERT(offsetof(QzPrintBlock, operation) == 520, "print block layout");
QZ_STATIC_ASSERT(offsetof(QzPrintBlock, entrySize) == 522, "print block layout");
QZ_STATIC_ASSERT(offsetof(QzPrintBlock, bytesDone) == 526, "print block layout");
QZ_STATIC_ASSERT(offsetof(QzPrintBlock, entrySize2) == 530, "print block layout");
QZ_STATIC_ASSERT(offsetof(QzPrintBlock, method) == 534, "print block layout");
QZ_STATIC_ASSERT(offsetof(QzPrintBlock, reserved1) == 536, "print block layout");
QZ_STATIC_ASSERT(offsetof(QzPrintBlock, reserved2) == 538, "print block layout");
QZ_STATIC_ASSERT(offsetof(QzPrintBlock, eventKind) == 542, "print block layout");
QZ_STATIC_ASSERT(offsetof(QzPrintBlock, eventCode) == 544, "print block layout");
QZ_STATIC_ASSERT(offsetof(QzPrintBlock, diskNumber) == 546, "print block layout");

QZ_STATIC_ASSERT(sizeof(QzExtPrintInfo) == 12, "extended print info size");
QZ_STATIC_ASSERT(offsetof(QzExtPrintInfo, dosTime) == 2, "extended print info layout");
QZ_STATIC_ASSERT(offsetof(QzExtPrintInfo, reserved1) == 4, "extended print info layout");
QZ_STATIC_ASSERT(offsetof(QzExtPrintInfo, reserved2) == 8, "extended print info layout");

QZ_STATIC_ASSERT(sizeof(QzEntryRecord) == 46, "entry record size");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, versionMadeBy) == 4, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, versionNeeded) == 6, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, flags) == 8, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, method) == 10, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, dosTime) == 12, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, dosDate) == 14, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, crc32) == 16, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, compressedSize) == 20, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, uncompressedSize) == 24, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, nameLength) == 28, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, extraLength) == 30, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, commentLength) == 32, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, diskNumberStart) == 34, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, internalAttributes) == 36, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, externalAttributes) == 38, "entry record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecord, localHeaderOffset) == 42, "entry record layout");

QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, crc32) == 4, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, compressedSize) == 8, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, uncompressedSize) == 12, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, externalAttributes) == 16, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, localHeaderOffset) == 20, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, versionMadeBy) == 24, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, versionNeeded) == 26, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, flags) == 28, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, method) == 30, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, dosTime) == 32, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, dosDate) == 34, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, nameLength) == 36, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, extraLength) == 38, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, commentLength) == 40, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, diskNumberStart) == 42, "aligned record layout");
QZ_STATIC_ASSERT(offsetof(QzEntryRecordVB32, internalAttributes) == 44, "aligned record layout");

/* ------------------------------------------------------------------------
 * The print callback
 *
 * Called for every message, question and notification while the print
 * switch is on.  The 548-byte block is passed by value (a fresh copy per
 * event; changes do not reach the library).  The answer is signed 16-bit:
 *   messages (kind 0):  1 go on with the next entry, anything else cancels;
 *   questions (kind 1): code 1/3 insert disk: 1 in place;
 *                       code 2 overwrite: 6 yes, 7 no, 106 yes to all;
 *   notifications (kind 2): ignored.
 * QZ_ANSWER_DEFAULT (-10000) shows the library's message box instead.
 * ------------------------------------------------------------------------ */

typedef int16_t (QZ_CALL *QzPrintCallback)(QzPrintBlock block);

#define QZ_EVENT_MESSAGE      0
#define QZ_EVENT_QUESTION     1
#define QZ_EVENT_NOTIFICATION 2

#define QZ_QUESTION_DISK      1
#define QZ_QUESTION_OVERWRITE 2
#define QZ_QUESTION_LAST_DISK 3

#define QZ_ANSWER_OK          1
#define QZ_ANSWER_CANCEL      2
#define QZ_ANSWER_YES         6
#define QZ_ANSWER_NO          7
#define QZ_ANSWER_YES_TO_ALL  106
#define QZ_ANSWER_DEFAULT     (-10000)

#define QZ_OP_NONE       (-1)
#define QZ_OP_EXTRACTING 1
#define QZ_OP_TESTING    3
#define QZ_OP_INDEXING   4
#define QZ_OP_SKIPPED    6

/* ------------------------------------------------------------------------
 * Exports
 * ------------------------------------------------------------------------ */

/* Control and status */
QZ_API(void)     Qz4Cancel(void);
QZ_API(int16_t)  Qz4MoreStatus(void);
QZ_API(void)     Qz4SetDoEvents(int16_t enable);
QZ_API(int32_t)  Qz4GetDoEvents(void);
QZ_API(void)     Qz4SetParseType(int16_t type);
QZ_API(int32_t)  Qz4GetParseType(void);
QZ_API(int16_t)  Qz4GetParsePlace(void);

/* Print callback and progress */
QZ_API(void)     Qz4SetCPrint(int16_t on);
QZ_API(int32_t)  Qz4GetCPrint(void);
QZ_API(void)     Qz4CPrintHook(QzPrintCallback callback);
QZ_API(void)     Qz4SetCPrintFlags(uint32_t flags);
QZ_API(int16_t)  Qz4ExtendedCPrintInfo(int16_t count, void *buffer);
QZ_API(int16_t)  Qz4ZipPercent(int32_t total, int32_t part);

/* Archives */
QZ_API(int16_t)  Qz4IdentifyFile(const char *fileName, uint16_t *type);
QZ_API(int16_t)  Qz4ZipOpen(const char *name, uint32_t mode, QzHandle *handle);
QZ_API(void)     Qz4ZipClose(const QzHandle *handle);
QZ_API(int16_t)  Qz4ZipComment(QzHandle handle, char *comment, uint32_t size);

/* Entries.  Sizes are 32-bit arguments of which the low 16 bits count. */
QZ_API(int16_t)  Qz4ZipFindFirst(QzHandle handle, QzEntryRecord *record, char *name,
                                 void *extra, uint32_t extraSize,
                                 char *comment, uint32_t commentSize);
QZ_API(int16_t)  Qz4ZipFindNext(QzHandle handle, QzEntryRecord *record, char *name,
                                void *extra, uint32_t extraSize,
                                char *comment, uint32_t commentSize);
QZ_API(int16_t)  Qz4ZipFindFirstVB32(QzHandle handle, QzEntryRecordVB32 *record, char *name,
                                     void *extra, uint32_t extraSize,
                                     char *comment, uint32_t commentSize);
QZ_API(int16_t)  Qz4ZipFindNextVB32(QzHandle handle, QzEntryRecordVB32 *record, char *name,
                                    void *extra, uint32_t extraSize,
                                    char *comment, uint32_t commentSize);
QZ_API(int16_t)  Qz4ReadCDR(QzHandle handle, uint32_t *offset, QzEntryRecord *record,
                            char *name, void *extra, uint32_t extraSize,
                            char *comment, uint32_t commentSize);
QZ_API(int32_t)  Qz4GetCDR(QzHandle handle);
QZ_API(int32_t)  Qz4GetNextCDR(QzHandle handle);
QZ_API(void)     Qz4EffectiveFileName(char *name, const void *extra, uint16_t extraLength,
                                      char *destination);

/* Extraction */
QZ_API(int16_t)  Qz4UnZip(QzHandle *archive, const char *destination, const char *outputName,
                          const char *includeList, const char *excludeList,
                          const char *command);
QZ_API(int16_t)  Qz4QUnZip(const char *archiveName, const char *destination,
                           const char *includeList, const char *command);
QZ_API(int16_t)  Qz4AddUnZipPathFilter(const char *from, const char *to);
QZ_API(int16_t)  Qz4DirExist(const char *path);
QZ_API(int16_t)  Qz4UnZipPtr(QzHandle archive, void *buffer, int32_t skip, int32_t limit,
                             const char *specification, const char *command);

/* Primitives */
QZ_API(uint32_t) QzCrc32A(const void *buffer, uint32_t length, uint32_t crc);
QZ_API(void)     QzInitKeys(const void *password, uint32_t length);
QZ_API(void)     QzEncryptData(void *buffer, uint32_t count);
QZ_API(void)     QzDecryptData(void *buffer, uint32_t count);
QZ_API(void)     QzInitHeader(uint8_t *header, uint32_t crc);
QZ_API(int16_t)  Qz4ZipCheckPassword(QzHandle file, QzEntryRecord *record, const char *password);
QZ_API(int16_t)  Qz4ZipCheckPasswordVB32(QzHandle file, const QzEntryRecordVB32 *record,
                                         const char *password);
QZ_API(int16_t)  QzMatchFile(const char *name, const char *pattern);
QZ_API(int16_t)  QzSetVolumeLabel(const char *path, const char *label);

/* ------------------------------------------------------------------------
 * The export table of the module: X(ordinal, name, argument bytes).
 * The argument bytes are what each stdcall function removes from the stack.
 * qzunpack.def lists the same table for the 32-bit DLL.
 * ------------------------------------------------------------------------ */

#define QZ_EXPORT_TABLE(X)              \
    X(1,  Qz4ZipOpen,              12)  \
    X(2,  Qz4ZipClose,             4)   \
    X(3,  Qz4UnZip,                24)  \
    X(4,  Qz4QUnZip,               16)  \
    X(5,  Qz4GetParseType,         0)   \
    X(6,  Qz4SetParseType,         4)   \
    X(7,  Qz4ZipComment,           12)  \
    X(8,  Qz4ZipFindFirst,         28)  \
    X(9,  Qz4ZipFindNext,          28)  \
    X(10, Qz4CPrintHook,           4)   \
    X(11, Qz4Cancel,               0)   \
    X(12, Qz4SetCPrint,            4)   \
    X(13, Qz4GetCPrint,            0)   \
    X(14, Qz4SetDoEvents,          4)   \
    X(15, Qz4GetDoEvents,          0)   \
    X(16, Qz4IdentifyFile,         8)   \
    X(17, Qz4ReadCDR,              32)  \
    X(18, Qz4GetCDR,               4)   \
    X(19, Qz4GetNextCDR,           4)   \
    X(20, Qz4ZipPercent,           8)   \
    X(21, Qz4GetParsePlace,        0)   \
    X(22, Qz4DirExist,             4)   \
    X(23, Qz4AddUnZipPathFilter,   8)   \
    X(24, Qz4ExtendedCPrintInfo,   8)   \
    X(25, QzCrc32A,                12)  \
    X(26, Qz4ZipCheckPassword,     12)  \
    X(27, Qz4ZipCheckPasswordVB32, 12)  \
    X(28, Qz4ZipFindFirstVB32,     28)  \
    X(29, Qz4ZipFindNextVB32,      28)  \
    X(30, Qz4EffectiveFileName,    16)  \
    X(31, QzInitHeader,            8)   \
    X(32, QzInitKeys,              8)   \
    X(33, QzEncryptData,           8)   \
    X(34, QzDecryptData,           8)   \
    X(35, Qz4SetCPrintFlags,       4)   \
    X(36, QzSetVolumeLabel,        8)   \
    X(37, Qz4MoreStatus,           0)   \
    X(38, QzMatchFile,             8)   \
    X(39, Qz4UnZipPtr,             24)

#endif /* QZUNPACK_H */
