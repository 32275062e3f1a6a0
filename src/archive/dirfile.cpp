// dirfile.cpp -- the directory file: a temporary file holding a standard
// central directory and an end record, built at open time for every layout
// whose directory is not a plain ZIP directory in the archive file itself.
//
//   QZVW (types 2, 10): fixed 46-byte records, then all variable parts;
//     each record gets its signature back and is followed by its parts.
//   spanned set (type 3): the directory as stored, read from the volumes
//     it spans, with the end record of the last volume.
//   directory-first volume (type 4): the headers at the start of the
//     volume up to the first one without the signature.
//
// From then on every reader of the directory sees ZIP central directory
// headers only.
#include "archive/archive.h"

namespace qz {
namespace archive {

namespace {

// The fields of a QZVW header that the directory file needs: its fixed
// records start at firstRecord, and the variable parts of all of them
// follow the last one.
struct QzvwHeader {
    uint32_t magic;
    uint16_t kind;
    uint16_t entries;
    uint16_t firstRecord;
};

bool readQzvwHeader(HANDLE file, QzvwHeader *out) {
    uint8_t bytes[kQzvwHeaderBytes];
    if (!seekTo(file, 0) || !readAll(file, bytes, sizeof bytes))
        return false;
    FieldReader in(bytes, sizeof bytes);
    out->magic = in.get32();
    out->kind = in.get16();
    out->entries = in.get16();
    in.get16();   // reserved
    out->firstRecord = in.get16();
    return true;
}

// The directory starts the directory file, and its end record carries no
// comment; a spanned set's end record is kept otherwise.
int16_t writeEndRecord(HANDLE dir, EndRecord end) {
    uint8_t bytes[kEndRecordBytes];
    end.directoryOffset = 0;
    end.commentLength = 0;
    encodeEndRecord(end, bytes);
    return writeAll(dir, bytes, sizeof bytes) ? QZ_OK : QZ_ERR_WRITE;
}

// The end record of a directory file built header by header.
EndRecord endRecordFor(uint16_t entries, uint32_t size) {
    EndRecord end = {};
    end.signature = kSigEnd;
    end.diskEntries = entries;
    end.entries = entries;
    end.directorySize = size;
    return end;
}

int16_t buildQzvw(HANDLE file, HANDLE dir, uint16_t *volume) {
    QzvwHeader head;
    if (!readQzvwHeader(file, &head))
        return QZ_ERR_FILE;
    if (head.magic != kMagicQzvw || head.kind < 1 || head.kind > 3)
        return QZ_ERR_LAYOUT;
    uint32_t first = head.firstRecord;
    uint32_t cursor = first + kCentralHeaderBytes * (uint32_t)head.entries;
    uint32_t size = 0;
    for (uint32_t i = 0; i < head.entries; ++i) {
        // The fixed records carry no signature: each gets it back here.
        uint8_t bytes[kCentralHeaderBytes];
        if (!seekTo(file, first + kCentralHeaderBytes * i))
            return QZ_ERR_FILE;
        if (!readAll(file, bytes, sizeof bytes))
            return QZ_ERR_READ;
        FieldWriter(bytes).put32(kSigCentral);
        if (!writeAll(dir, bytes, sizeof bytes))
            return QZ_ERR_WRITE;
        QzEntryRecord header;
        decodeCentralHeader(bytes, sizeof bytes, &header);
        uint32_t parts = variableBytes(header);
        if (!seekTo(file, cursor))
            return QZ_ERR_FILE;
        int16_t result = copyBytes(file, dir, (int32_t)parts);
        if (result != QZ_OK)
            return result;
        cursor += parts;
        size += kCentralHeaderBytes + parts;
    }
    *volume = 1;
    return writeEndRecord(dir, endRecordFor(head.entries, size));
}

// The volumes of a set being opened, as a copy moves through them.
struct OpeningSet {
    const char *oemName;
    uint16_t *volume;
};

int16_t nextOpeningVolume(void *context, HANDLE *file) {
    OpeningSet *set = (OpeningSet *)context;
    ++*set->volume;
    return requestVolume(*set->volume, set->oemName, file);
}

int16_t buildSpanned(const char *oemName, HANDLE *file, uint16_t *volume, HANDLE dir) {
    // The end record is on the last volume: until a volume ends with one,
    // ask for the last volume.
    EndRecord end;
    for (;;) {
        uint64_t size;
        int16_t found = readTail(*file, &end, &size);
        if (found == QZ_ERR_FILE)
            return found;
        if (found == QZ_OK && end.signature == kSigEnd)
            break;
        int16_t result = requestVolume(kLastVolume, oemName, file);
        if (result != QZ_OK)
            return result;
    }
    *volume = (uint16_t)(end.disk + 1);
    uint16_t start = (uint16_t)(end.directoryDisk + 1);
    if (*volume != start) {
        int16_t result = requestVolume(start, oemName, file);
        if (result != QZ_OK)
            return result;
        *volume = start;
    }
    if (!seekTo(*file, end.directoryOffset))
        return QZ_ERR_FILE;
    OpeningSet set = {oemName, volume};
    int16_t result = copySpanning(file, dir, end.directorySize, nextOpeningVolume, &set);
    if (result != QZ_OK)
        return result;
    return writeEndRecord(dir, end);
}

int16_t buildDirFirst(const char *oemName, HANDLE *file, uint16_t *volume, HANDLE dir) {
    *volume = 0;
    if (!seekTo(*file, 0))
        return QZ_ERR_FILE;
    uint32_t count = 0, size = 0;
    OpeningSet set = {oemName, volume};
    for (;;) {
        uint8_t bytes[kCentralHeaderBytes];
        QzEntryRecord header;
        // A record shorter than a header (the end record at the end of the
        // volume) ends the walk like one without the signature.
        if (!readAll(*file, bytes, sizeof bytes) || !decodeCentralHeader(bytes, sizeof bytes, &header) ||
            header.signature != kSigCentral)
            break;
        if (!writeAll(dir, bytes, sizeof bytes))
            return QZ_ERR_WRITE;
        uint32_t parts = variableBytes(header);
        int16_t result = copySpanning(file, dir, parts, nextOpeningVolume, &set);
        if (result != QZ_OK)
            return result;
        ++count;
        size += kCentralHeaderBytes + parts;
    }
    return writeEndRecord(dir, endRecordFor((uint16_t)count, size));
}

int16_t fillDirectory(uint16_t type, const char *oemName, HANDLE *file, uint16_t *volume, HANDLE dir) {
    switch (type) {
    case QZ_TYPE_QZVW:
    case QZ_TYPE_QZVW3:
        return buildQzvw(*file, dir, volume);
    case QZ_TYPE_SPANNED:
        return buildSpanned(oemName, file, volume, dir);
    case QZ_TYPE_DIR_FIRST:
        return buildDirFirst(oemName, file, volume, dir);
    default:
        return QZ_ERR_LAYOUT;
    }
}

// Deletes a directory file that will not be used, and forgets its name.
void dropDirectoryFile(char **dirName) {
    DeleteFileA(*dirName);
    heapFree(*dirName);
    *dirName = nullptr;
}

}  // namespace

int16_t buildDirectory(uint16_t type, const char *oemName, HANDLE *file, uint16_t *volume,
                       HANDLE *dirFile, char **dirName) {
    *dirFile = INVALID_HANDLE_VALUE;
    *dirName = makeTempName();
    if (!*dirName)
        return QZ_ERR_FILE;
    HANDLE dir = CreateFileA(*dirName, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                             FILE_FLAG_RANDOM_ACCESS, NULL);
    if (dir == INVALID_HANDLE_VALUE) {
        dropDirectoryFile(dirName);
        return QZ_ERR_FILE;
    }
    int16_t result = fillDirectory(type, oemName, file, volume, dir);
    if (result != QZ_OK) {
        CloseHandle(dir);
        dropDirectoryFile(dirName);
        return result;
    }
    *dirFile = dir;
    return QZ_OK;
}

}  // namespace archive
}  // namespace qz
