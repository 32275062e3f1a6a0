/*
 * A host linked against an import library of QZUNPACK.dll, as C programs
 * that include qzunpack.h are: every call below refers to _Name@bytes, which
 * the import library must bind to the DLL's plain export.  Built with mingw
 * gcc against libQZUNPACK.dll.a, and with clang for the MSVC target against
 * qzunpack.lib without a C runtime (QZ_NO_CRT: the entry point returns the
 * exit code).  The exit code has one bit per failed check.
 */
#include "qzunpack.h"

static int run(void)
{
    QzHandle h = QZ_INVALID_HANDLE;
    int failed = 0;
    if (~QzCrc32A("123456789", 9, 0xFFFFFFFFu) != 0xCBF43926u)
        failed |= 1;
    if (QzMatchFile("README.TXT", "*.TXT") != 1 || QzMatchFile("README.TXT", "*.DOC") != 0)
        failed |= 2;
    if (Qz4GetDoEvents() != 1 || Qz4ZipPercent(200, 50) != 75)
        failed |= 4;
    if (Qz4ZipOpen("no such archive.zip", QZ_OPEN_DEFAULT, &h) != QZ_ERR_NAME)
        failed |= 8;
    Qz4SetParseType(1);
    if (Qz4GetParseType() != -1)
        failed |= 16;
    return failed;
}

#ifdef QZ_NO_CRT
int qz_entry(void)
{
    return run();
}
#else
#include <stdio.h>
int main(void)
{
    int failed = run();
    printf("link host: %s (%d)\n", failed ? "FAILED" : "passed", failed);
    return failed;
}
#endif
