// identify.cpp -- Qz4IdentifyFile: which archive layout a file holds, from
// a few bytes at its start and its last 22 bytes.
//
// The start decides first (executable, QZVW, directory-first, spanning
// marker, local header or end record); only a file whose start matches
// nothing is looked at from the end, where the end record of a later disk
// marks the last volume of a spanned set.
#include "archive/archive.h"

namespace qz {
namespace archive {

namespace {

// True when the file ends with an end record; disk is its disk number.
bool endsWithEndRecord(HANDLE file, uint16_t *disk) {
    EndRecord tail;
    uint64_t size;
    if (readTail(file, &tail, &size) != QZ_OK || tail.signature != kSigEnd)
        return false;
    *disk = tail.disk;
    return true;
}

// An executable is a self-extracting archive or nothing known.
uint16_t executableType(HANDLE file) {
    // PKWARE's self-extractors for MS-DOS are executables compressed by
    // PKLITE, which leaves its name at offset 30, in the reserved words of
    // the MS-DOS header.  Such a file is taken as self-extracting on that
    // name alone, however it ends: the directory search of the first walk
    // finds out whether an archive follows.  Any other executable must end
    // with an end record.
    char probe[10] = {0};
    if (!seekTo(file, 30) || !readAll(file, probe, 6))
        return QZ_TYPE_NONE;
    uint16_t disk;
    if (lstrcmpA(probe, "PKLITE") == 0 || endsWithEndRecord(file, &disk))
        return QZ_TYPE_SFX;
    return QZ_TYPE_NONE;
}

// A QZVW archive, by the kind that follows the magic.
uint16_t qzvwType(HANDLE file) {
    uint8_t kind[2];
    if (!readAll(file, kind, sizeof kind))
        return QZ_TYPE_NONE;
    switch (FieldReader(kind, sizeof kind).get16()) {
    case 1:
    case 2:
        return QZ_TYPE_QZVW;
    case 3:
        return QZ_TYPE_QZVW3;
    default:
        return QZ_TYPE_NONE;
    }
}

// The layout of a file that is not empty, or QZ_TYPE_NONE.
uint16_t layoutOf(HANDLE file) {
    uint8_t start[4];
    if (!readAll(file, start, sizeof start))
        return QZ_TYPE_NONE;
    if (start[0] == 'M' && start[1] == 'Z')
        return executableType(file);
    switch (FieldReader(start, sizeof start).get32()) {
    case kMagicQzvw:
        return qzvwType(file);
    case kSigCentral:
        return QZ_TYPE_DIR_FIRST;
    case kSigSpan:
        return QZ_TYPE_SPANNED;
    case kSigLocal:
    case kSigEnd:
        return QZ_TYPE_ZIP;
    default:
        break;
    }
    // The last volume of a spanned set: an end record of a disk other than 0.
    // Read as today's archives, a file that starts with something else (an
    // ELF stub, a script line) and ends with the end record of disk 0 is an
    // archive behind a stub.
    uint16_t disk;
    if (endsWithEndRecord(file, &disk) && disk != 0)
        return QZ_TYPE_SPANNED;
    if (qz::extensionOn(QZ_EXT_STUB_OFFSETS) && endsWithEndRecord(file, &disk))
        return QZ_TYPE_ZIP;
    return QZ_TYPE_NONE;
}

int16_t classify(HANDLE file, uint16_t *type) {
    DWORD size = GetFileSize(file, NULL);
    if (size == 0) {
        *type = QZ_TYPE_ZIP;
        return QZ_OK;
    }
    if (size == INVALID_FILE_SIZE)
        return QZ_ERR_LAYOUT;
    *type = layoutOf(file);
    if (*type == QZ_TYPE_NONE)
        return QZ_ERR_LAYOUT;
    return QZ_OK;
}

}  // namespace

}  // namespace archive
}  // namespace qz

using namespace qz::archive;

QZ_API(int16_t) Qz4IdentifyFile(const char *fileName, uint16_t *type) {
    uint16_t scratch;
    if (!type)
        type = &scratch;
    *type = QZ_TYPE_NONE;
    if (!fileName)
        return QZ_ERR_FILE;
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_FLAG_RANDOM_ACCESS, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return QZ_ERR_FILE;
    uint16_t found = QZ_TYPE_NONE;
    int16_t result = classify(file, &found);
    CloseHandle(file);
    if (result == QZ_OK)
        *type = found;
    return result;
}
