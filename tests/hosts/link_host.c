/*
 * Linked against an import library of QZUNPACK.dll (mingw gcc: libQZUNPACK.dll.a; clang for the
 * MSVC target: qzunpack.lib, entered at main without a C runtime), each call naming _Name@bytes,
 * which the import library must bind to the DLL's plain export.  One bit per failed check.
 */
#include "qzunpack.h"

int main(void) {
    QzHandle h = QZ_INVALID_HANDLE;
    int failed = ~QzCrc32A("123456789", 9, 0xFFFFFFFFu) != 0xCBF43926u;
    failed |= (QzMatchFile("README.TXT", "*.TXT") != 1 || QzMatchFile("README.TXT", "*.DOC") != 0) << 1;
    failed |= (Qz4GetDoEvents() != 1 || Qz4ZipPercent(200, 50) != 75) << 2;
    failed |= (Qz4ZipOpen("no such archive.zip", QZ_OPEN_DEFAULT, &h) != QZ_ERR_NAME) << 3;
    Qz4SetParseType(1);
    failed |= (Qz4GetParseType() != -1) << 4;
    return failed;
}
