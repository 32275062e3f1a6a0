// overwrite.cpp -- what to do with a destination file that exists already,
// the version block an entry may carry and the file version of an existing
// file, and the file time of a DOS date and time.
#include "extract/extract.h"
#include "frame/frame.h"

namespace qz {
namespace extract {

namespace {

enum : uint16_t { kVersionBlockBytes = 14, kVersionKeyBytes = 8 };

// Unsigned byte-by-byte comparison of two version keys.
int compareKeys(const uint8_t *a, const uint8_t *b) {
    for (int i = 0; i < kVersionKeyBytes; ++i)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    return 0;
}

void putBigEndian(uint8_t *p, DWORD v) {
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

}  // namespace

bool fileTimeFromDos(uint16_t dosDate, uint16_t dosTime, FILETIME *out) {
    return DosDateTimeToFileTime(dosDate ? dosDate : 0x0021, dosTime, out) != FALSE;
}

bool findVersionBlock(const uint8_t *extra, uint16_t length, const uint8_t **key) {
    if (!extra)
        return false;
    auto isVersion = [](const uint8_t *b, uint32_t) {
        static const uint8_t zero[kVersionKeyBytes] = {0};
        return b[0] == 'T' && b[1] == 'H' && b[2] == 0x0A && b[3] == 0 && b[4] == 'V' && b[5] == 'W' &&
               compareKeys(b + 6, zero) != 0;
    };
    const uint8_t *block = archive::findExtraBlock(extra, length, kVersionBlockBytes, isVersion);
    if (block)
        *key = block + 6;
    return block != nullptr;
}

int16_t fileVersionKey(const char *ansiPath, uint8_t key[8]) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(ansiPath, &ignored);
    if (size == 0)
        return QZ_NO_VERSION;
    frame::LockedBlock block;
    if (!block.allocate(size))
        return QZ_ERR_MEMORY;
    int16_t result = QZ_NO_VERSION;
    VS_FIXEDFILEINFO *info = nullptr;
    UINT infoBytes = 0;
    if (GetFileVersionInfoA(ansiPath, 0, size, block.p) &&
        VerQueryValueA(block.p, "\\", (LPVOID *)&info, &infoBytes) && info &&
        infoBytes >= sizeof(VS_FIXEDFILEINFO)) {
        putBigEndian(key, info->dwFileVersionMS);
        putBigEndian(key + 4, info->dwFileVersionLS);
        result = QZ_OK;
    }
    block.release();
    return result;
}

Decision decideOverwrite(uint32_t options, const uint8_t *extra, uint16_t extraLength,
                         uint16_t dosDate, uint16_t dosTime, const char *ansiPath,
                         const FILETIME &lastWrite, bool *yesToAll) {
    if (options & OPT_NO_OVERWRITE)
        return Decision::Keep;
    if (options & OPT_OVERWRITE)
        return Decision::Replace;

    const uint8_t *entryKey;
    if ((options & (OPT_VERSION_SAME | OPT_VERSION_NEWER)) && findVersionBlock(extra, extraLength, &entryKey)) {
        uint8_t fileKey[kVersionKeyBytes];
        // A file whose version cannot be read is replaced.
        if (fileVersionKey(ansiPath, fileKey) != QZ_OK)
            return Decision::Replace;
        int order = compareKeys(entryKey, fileKey);
        if ((options & OPT_VERSION_SAME) && order >= 0)
            return Decision::Replace;
        if ((options & OPT_VERSION_NEWER) && order > 0)
            return Decision::Replace;
        return Decision::Keep;
    }

    if (options & (OPT_FRESHEN | OPT_NEWER)) {
        // The entry's DOS date and time are local time and become a FILETIME
        // here without a zone conversion, while the existing file's last
        // write time from the search is UTC: the two are compared as they
        // are, on purpose.  This is the comparison the freshen and newer
        // switches have always made, and hosts that keep a tree fresh rely
        // on its answers; converting would move the boundary by the zone
        // offset.  (Under UTC the two agree.  The file's own time stamp is
        // converted properly when it is written: see finishFile.)
        FILETIME entryTime;
        fileTimeFromDos(dosDate, dosTime, &entryTime);
        return CompareFileTime(&entryTime, &lastWrite) > 0 ? Decision::Replace : Decision::Keep;
    }

    if (*yesToAll)
        return Decision::Replace;

    switch (frame::raise(QZ_EVENT_QUESTION, QZ_QUESTION_OVERWRITE)) {
    case QZ_ANSWER_YES:
        return Decision::Replace;
    case QZ_ANSWER_NO:
        return Decision::Keep;
    case QZ_ANSWER_YES_TO_ALL:
        *yesToAll = true;
        return Decision::Replace;
    default:
        return Decision::Cancel;
    }
}

}  // namespace extract
}  // namespace qz
