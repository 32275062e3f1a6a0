// open.cpp -- Qz4ZipOpen: from a path to an archive handle.
//
// The name is trimmed, given ".ZIP" when its last component has no dot,
// classified, and opened.  Layouts whose directory is not a plain ZIP
// directory in the file get a directory file.  The new record goes to the
// head of the list; the first open archive brings the shared transfer
// buffers into being and registers the routine that closes whatever is
// still open when the library is unloaded.
//
// The default mode is strict (at least 22 bytes, a known layout, a plain
// archive found by a directory search); any of the low three mode bits
// relaxes it to "whatever the classification says".
#include "archive/archive.h"
#include "frame/frame.h"

namespace qz {
namespace archive {

namespace {

enum : uint32_t {
    kModeRelaxed = QZ_OPEN_RELAXED_MASK,
    kModeDeleteOnNoMemory = QZ_OPEN_DELETE_ON_NOMEM,
    kModeShareWrite = QZ_OPEN_SHARE_WRITE,
    kModeLongNames = QZ_OPEN_LONG_NAMES,
};

bool unloadRegistered = false;

// True when the last "." lies after the last '\' and the last '/'.
bool hasExtension(const char *name) {
    const char *dot = nullptr, *sep = nullptr;
    for (const char *p = name; *p; p = CharNextA(p)) {
        if (*p == '.')
            dot = p;
        else if (*p == '\\' || *p == '/')
            sep = p;
    }
    return dot && (!sep || dot > sep);
}

// Existence and size of a file, as a directory search sees it.
bool fileStatus(const char *ansiName, uint32_t *size) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(ansiName, &data);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    *size = data.nFileSizeHigh ? 0xFFFFFFFFu : data.nFileSizeLow;
    return true;
}

// The name as the library keeps it, in ansi: leading blanks and control
// characters skipped and ".ZIP" added when the last component has no
// extension.  False for a missing name, one with wildcards, and one that
// does not fit the 260-byte buffer with the extension (not found, either).
bool archiveName(const char *name, char ansi[kNameBytes]) {
    if (!name)
        return false;
    for (const char *p = name; *p; ++p)
        if (*p == '?' || *p == '*')
            return false;
    while ((uint8_t)*name >= 1 && (uint8_t)*name <= 32)
        ++name;
    if (!*name)
        return false;
    int length = lstrlenA(name);
    bool extension = hasExtension(name);
    if (length + (extension ? 0 : 4) > (int)kNameBytes - 1)
        return false;
    lstrcpyA(ansi, name);
    if (!extension)
        lstrcatA(ansi, ".ZIP");
    return true;
}

// The default mode's checks: at least 22 bytes, a known layout, and for a
// plain archive a directory search once more after the classification.
// With the query before the open that makes three status queries for a
// plain archive.  Each fails with QZ_ERR_NAME when the file has gone since
// the step before, which hosts can observe, so none is merged away.
int16_t checkStrictly(const char *ansi, uint16_t *type) {
    uint32_t size = 0;
    if (!fileStatus(ansi, &size))
        return QZ_ERR_NAME;
    if (size < kEndRecordBytes)
        return QZ_ERR_NOT_ZIP;
    int16_t r = Qz4IdentifyFile(ansi, type);
    if (r != QZ_OK)
        return r;
    switch (*type) {
    case QZ_TYPE_ZIP:
        return fileStatus(ansi, &size) ? QZ_OK : QZ_ERR_NAME;
    case QZ_TYPE_QZVW:
    case QZ_TYPE_SPANNED:
    case QZ_TYPE_DIR_FIRST:
    case QZ_TYPE_QZVW3:
    case QZ_TYPE_SFX:
        return QZ_OK;
    default:
        return QZ_ERR_LAYOUT;
    }
}

// A new archive record with copies of the OEM name and of the directory
// file's name (when there is one), or null when memory is short.
Archive *newRecord(const char *oem, const char *dirName) {
    Archive *a = (Archive *)heapAlloc(sizeof(Archive));
    char *nameCopy = a ? heapString(oem) : nullptr;
    char *dirCopy = (nameCopy && dirName) ? heapString(dirName) : nullptr;
    if (!a || !nameCopy || (dirName && !dirCopy)) {
        heapFree(a);
        heapFree(nameCopy);
        heapFree(dirCopy);
        return nullptr;
    }
    a->name = nameCopy;
    a->dirName = dirCopy;
    return a;
}

// The layout the open goes on with, after the checks of the mode.
int16_t settleType(const char *ansi, bool relaxed, uint16_t *type) {
    if (!relaxed) {
        int16_t r = checkStrictly(ansi, type);
        if (r != QZ_OK)
            return r;
    }
    // Open-always would create a missing file: the status is queried right
    // before the open in both modes, so that a name gone since the checks
    // is QZ_ERR_NAME rather than a new empty file.  The disposition stays
    // open-always, as for the volumes and the directory file: a file that
    // vanishes in the instant between the query and the open is created
    // empty, and the first walk finds no ZIP archive in it (QZ_ERR_NOT_ZIP).
    uint32_t size = 0;
    if (!fileStatus(ansi, &size))
        return QZ_ERR_NAME;
    if (relaxed)
        return Qz4IdentifyFile(ansi, type);
    return QZ_OK;
}

// The files of an archive being opened: the archive file (or the volume a
// directory build ended on) and the directory file, if one was built.
struct OpenFiles {
    HANDLE file;
    HANDLE dirFile;
    char *dirName;
    uint16_t volume;
};

// Puts the opened archive at the head of the list: QZ_OK, or QZ_ERR_MEMORY
// when the transfer buffers (for the first open archive) or the record
// cannot be allocated.
int16_t enlist(const OpenFiles &files, const char *oem, uint16_t flags, uint32_t share) {
    if (openCount() == 0 && !allocTransferBuffers())
        return QZ_ERR_MEMORY;
    Archive *a = newRecord(oem, files.dirName);
    if (!a)
        return QZ_ERR_MEMORY;
    a->access = GENERIC_READ;
    a->share = share;
    a->file = files.file;
    a->flags = flags;
    a->dirFile = files.dirFile;
    a->volume = files.volume;
    a->dirOffset = 0;
    a->endOffset = 0;
    a->cursor = 0;
    a->shift = 0;
    a->haveEntry = false;
    linkArchive(a);
    if (!unloadRegistered) {
        qz::frame::atUnload(unloadArchives);
        unloadRegistered = true;
    }
    return QZ_OK;
}

uint16_t flagsOfType(uint16_t type) {
    switch (type) {
    case QZ_TYPE_QZVW: return kFlagQzvw;
    case QZ_TYPE_SPANNED: return kFlagSpanned;
    case QZ_TYPE_DIR_FIRST: return kFlagDirFirst;
    case QZ_TYPE_QZVW3: return kFlagQzvw3;
    case QZ_TYPE_SFX: return kFlagSfx;
    default: return 0;
    }
}

}  // namespace

}  // namespace archive
}  // namespace qz

using namespace qz::archive;

QZ_API(int16_t) Qz4ZipOpen(const char *name, uint32_t mode, QzHandle *handle) {
    QzHandle scratch;
    if (!handle)
        handle = &scratch;
    qz::frame::clearExtendedReserved();
    *handle = QZ_INVALID_HANDLE;

    char ansi[kNameBytes];
    if (!archiveName(name, ansi))
        return QZ_ERR_NAME;
    char oem[kNameBytes];
    qz::ansiToOem(ansi, oem);

    bool longNames = (mode & kModeLongNames) != 0;
    mode &= ~kModeLongNames;
    bool relaxed = (mode & kModeRelaxed) != 0;

    uint16_t type = QZ_TYPE_NONE;
    int16_t result = settleType(ansi, relaxed, &type);
    if (result != QZ_OK)
        return result;
    uint16_t flags = (uint16_t)(flagsOfType(type) | (longNames ? kFlagEffectiveNames : 0));

    uint32_t share = (mode & kModeShareWrite) ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : FILE_SHARE_READ;
    OpenFiles files = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, nullptr, 0};
    files.file = CreateFileA(ansi, GENERIC_READ, share, NULL, OPEN_ALWAYS, FILE_FLAG_RANDOM_ACCESS, NULL);
    if (files.file == INVALID_HANDLE_VALUE)
        return QZ_ERR_FILE;
    *handle = toArchiveHandle(files.file);

    if (type != QZ_TYPE_ZIP && type != QZ_TYPE_SFX) {
        result = buildDirectory(type, oem, &files.file, &files.volume, &files.dirFile, &files.dirName);
        if (result != QZ_OK) {
            if (files.file != INVALID_HANDLE_VALUE)
                CloseHandle(files.file);
            *handle = QZ_INVALID_HANDLE;
            return result;
        }
        *handle = toArchiveHandle(files.file);
    }

    result = enlist(files, oem, flags, share);
    if (result != QZ_OK) {
        if (openCount() == 0)
            freeTransferBuffers();
        if (files.dirFile != INVALID_HANDLE_VALUE) {
            CloseHandle(files.dirFile);
            DeleteFileA(files.dirName);
        }
        CloseHandle(files.file);
        *handle = QZ_INVALID_HANDLE;
        if (mode & kModeDeleteOnNoMemory)
            DeleteFileA(ansi);
    }
    heapFree(files.dirName);
    return result;
}
