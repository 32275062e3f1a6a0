/*
 * The byte layout of the public records as one compiler sees it: sizes and
 * offsets in one array, which header_check.py reads from the assembly the
 * compiler writes and compares between compilers, languages and targets.
 */
#include "qzunpack.h"

#define QZ_LAYOUT(X)                                                              \
    X(sizeof(QzPrintBlock)) X(offsetof(QzPrintBlock, fileName))                     \
    X(offsetof(QzPrintBlock, operation)) X(offsetof(QzPrintBlock, entrySize))       \
    X(offsetof(QzPrintBlock, bytesDone)) X(offsetof(QzPrintBlock, entrySize2))      \
    X(offsetof(QzPrintBlock, method)) X(offsetof(QzPrintBlock, reserved1))          \
    X(offsetof(QzPrintBlock, reserved2)) X(offsetof(QzPrintBlock, eventKind))       \
    X(offsetof(QzPrintBlock, eventCode)) X(offsetof(QzPrintBlock, diskNumber))      \
    X(sizeof(QzExtPrintInfo)) X(offsetof(QzExtPrintInfo, dosTime))                  \
    X(offsetof(QzExtPrintInfo, reserved1)) X(offsetof(QzExtPrintInfo, reserved2))   \
    X(sizeof(QzEntryRecord)) X(offsetof(QzEntryRecord, versionMadeBy))              \
    X(offsetof(QzEntryRecord, flags)) X(offsetof(QzEntryRecord, method))            \
    X(offsetof(QzEntryRecord, dosTime)) X(offsetof(QzEntryRecord, crc32))           \
    X(offsetof(QzEntryRecord, compressedSize)) X(offsetof(QzEntryRecord, nameLength)) \
    X(offsetof(QzEntryRecord, externalAttributes))                                  \
    X(offsetof(QzEntryRecord, localHeaderOffset))                                   \
    X(sizeof(QzEntryRecordVB32)) X(offsetof(QzEntryRecordVB32, crc32))              \
    X(offsetof(QzEntryRecordVB32, localHeaderOffset))                               \
    X(offsetof(QzEntryRecordVB32, versionMadeBy))                                   \
    X(offsetof(QzEntryRecordVB32, nameLength))                                      \
    X(offsetof(QzEntryRecordVB32, internalAttributes))                              \
    X(sizeof(QzHandle)) X(sizeof(QzResult)) X(sizeof(enum QzResultCode))

#define QZ_VALUE_(expr) (unsigned int)(expr),

#ifdef __cplusplus
extern "C" {
#endif
unsigned int qz_layout[] = { QZ_LAYOUT(QZ_VALUE_) };
#ifdef __cplusplus
}
#endif
