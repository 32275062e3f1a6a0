// print.cpp -- the print-callback exports, the writers of the print block
// and the extended info, and the percentage helper.
#include <string.h>

#include "frame/frame.h"

namespace qz {
namespace frame {

void setOperation(int16_t operation) {
    g.print.operation = operation;
}

void setArchiveName(const char *oemName) {
    lstrcpynA(g.print.archiveName, oemName, sizeof g.print.archiveName);
    qz::oemToAnsi(g.print.archiveName, g.print.archiveName);
}

void beginEntry(const char *name) {
    lstrcpynA(g.print.fileName, name, sizeof g.print.fileName);
    replaceChar(g.print.fileName, '/', '\\');
}

void describeEntry(int16_t method, uint32_t size, uint16_t dosDate, uint16_t dosTime) {
    g.print.method = method;
    g.print.entrySize = size;
    g.print.entrySize2 = size;
    g.extInfo.dosDate = dosDate;
    g.extInfo.dosTime = dosTime;
}

void clearExtendedReserved() {
    g.extInfo.reserved1 = 0;
    g.extInfo.reserved2 = 0;
}

}  // namespace frame
}  // namespace qz

using qz::frame::g;

QZ_API(void) Qz4SetCPrint(int16_t on) {
    if (!on) {
        g.printSwitch = false;
        return;
    }
    // A fresh block for the next operation; the event fields keep their
    // values until the next event overwrites them.
    g.print.archiveName[0] = 0;
    g.print.fileName[0] = 0;
    g.print.operation = QZ_OP_NONE;
    g.print.entrySize = 0;
    g.print.bytesDone = 0;
    g.print.entrySize2 = 0;
    g.print.method = 0;
    g.print.reserved1 = 0;
    g.print.reserved2 = 0;
    g.printSwitch = true;
}

QZ_API(int32_t) Qz4GetCPrint(void) {
    return g.printSwitch ? 1 : 0;
}

QZ_API(void) Qz4CPrintHook(QzPrintCallback callback) {
    g.printHook = callback;
}

QZ_API(void) Qz4SetCPrintFlags(uint32_t flags) {
    g.printFlags = flags;
}

// Copies the first min(count, 12) bytes; a negative count copies nothing.
QZ_API(int16_t) Qz4ExtendedCPrintInfo(int16_t count, void *buffer) {
    if (count <= 0 || !buffer)
        return 0;
    if (count > (int16_t)sizeof g.extInfo)
        count = (int16_t)sizeof g.extInfo;
    memcpy(buffer, &g.extInfo, (size_t)count);
    return count;
}

// With total the entry size and part the bytes still to go this is the
// percentage done; with part the bytes done, the percentage left.
QZ_API(int16_t) Qz4ZipPercent(int32_t total, int32_t part) {
    if (total < 1 || part >= total)
        return 0;
    if (part < 0)
        return 100;
    int32_t a = part, b = total;
    while (a > 21474836) {      // keep a * 100 inside 32 bits
        a >>= 1;
        b >>= 1;
    }
    int32_t q = a * 100 / b;
    if (q > 100)
        q = 100;
    return (int16_t)(100 - q);
}
