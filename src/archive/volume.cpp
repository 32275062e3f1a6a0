// volume.cpp -- moving between the volumes of spanned sets and QZVW volume
// sets: the volume request while an archive is opened, the volume change
// while entries are extracted, which volume an entry needs, and the small
// volume-label helpers with the export QzSetVolumeLabel.
//
// Every disk question goes through the message dispatcher.  A wrong disk
// (label) or a failed open on a removable drive is no error: the question
// is asked again until the right disk is in or the user cancels.
//
// Read as today's archives, a set split over files of a fixed disk (zip -s:
// NAME.z01, NAME.z02, ..., NAME.zip last) has its volumes found by name
// beside the one opened, and no disk is asked for.
#include "archive/archive.h"
#include "frame/frame.h"

namespace qz {
namespace archive {

namespace {

const char kLabelPrefix[] = "PKBACK# ";
enum { kLabelPrefixChars = 8, kMaxVolume = 999 };

bool startsWith(const char *s, const char *prefix) {
    while (*prefix)
        if (*s++ != *prefix++)
            return false;
    return true;
}

void upperLabelOf(const char *oemName, char label[kNameBytes]) {
    char ansi[kNameBytes], root[kNameBytes];
    lstrcpynA(ansi, oemName, kNameBytes);
    qz::oemToAnsi(ansi, ansi);
    volumeRoot(ansi, root);
    readVolumeLabel(root, label);
    CharUpperA(label);
}



// The OEM name of volume `number` of the split set that oemName belongs to:
// NAME.zNN, or for kLastVolume NAME.zip.
void splitVolumeName(const char *oemName, uint16_t number, char out[kNameBytes]) {
    lstrcpynA(out, oemName, kNameBytes);
    char *dot = nullptr;
    for (char *p = out; *p; p = CharNextA(p))
        if (*p == '.')
            dot = p;
    if (!dot || dot - out + 6 >= kNameBytes)
        return;
    lstrcpyA(dot, ".zip");
    if (number == 0 || number > kMaxVolume)
        return;
    char *digits = dot + 2;
    if (number >= 100)
        *digits++ = (char)('0' + number / 100);
    digits[0] = (char)('0' + number / 10 % 10);
    digits[1] = (char)('0' + number % 10);
    digits[2] = 0;
}

// Opens a split set's volume by its name: QZ_OK, or QZ_ERR_NAME with the
// missing name in the print block for the host.  NAME.zip is taken only
// with its end record, as the last volume, and for a NAME.zNN that is not
// there only when that record says it is that volume; without one it is no
// last volume (QZ_ERR_NOT_ZIP).  So a set never goes round in circles.
int16_t openSplitVolume(const char *oemName, uint16_t number, DWORD share, HANDLE *file) {
    char name[kNameBytes], last[kNameBytes];
    splitVolumeName(oemName, number, name);
    // Volumes are numbered 1 to 999; any other number but the last one's
    // names no file, or a damaged end record would send a copy round the
    // last volume again and again.
    *file = INVALID_HANDLE_VALUE;
    bool wantLast = number == kLastVolume;
    if (!wantLast && (number == 0 || number > kMaxVolume)) {
        frame::setArchiveName(name);
        return QZ_ERR_NAME;
    }
    if (!wantLast) {
        *file = openOem(name, GENERIC_READ, share, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS);
        if (*file != INVALID_HANDLE_VALUE)
            return QZ_OK;
    }
    splitVolumeName(oemName, kLastVolume, last);
    HANDLE h = openOem(last, GENERIC_READ, share, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS);
    EndRecord end;
    uint64_t size;
    bool ends = h != INVALID_HANDLE_VALUE && readTail(h, &end, &size) == QZ_OK && end.signature == kSigEnd &&
                seekTo(h, 0);
    if (ends && (wantLast || end.disk + 1u == number)) {
        *file = h;
        return QZ_OK;
    }
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (wantLast && h != INVALID_HANDLE_VALUE)
        return QZ_ERR_NOT_ZIP;
    frame::setArchiveName(name);
    return QZ_ERR_NAME;
}

}  // namespace

bool splitSet(const char *oemName) {
    if (!qz::extensionOn(QZ_EXT_SPLIT_ARCHIVES))
        return false;
    char ansi[kNameBytes], root[4];
    lstrcpynA(ansi, oemName, kNameBytes);
    qz::oemToAnsi(ansi, ansi);
    driveRoot(ansi, root);
    if (GetDriveTypeA(root) == DRIVE_REMOVABLE)
        return false;
    const char *dot = nullptr;
    for (const char *p = oemName; *p; p = CharNextA(p))
        if (*p == '.')
            dot = p;
        else if (qz::isPathSeparator(*p))
            dot = nullptr;
    if (!dot || (dot[1] | 0x20) != 'z' || !dot[2])
        return false;
    if (lstrcmpiA(dot, ".zip") == 0)
        return true;
    for (const char *p = dot + 2; *p; ++p)
        if (*p < '0' || *p > '9')
            return false;
    return true;
}

void threeDigits(uint16_t number, char *out) {
    out[0] = (char)('0' + (number / 100) % 10);
    out[1] = (char)('0' + (number / 10) % 10);
    out[2] = (char)('0' + number % 10);
}

void spannedLabel(uint16_t number, char label[12]) {
    lstrcpyA(label, kLabelPrefix);
    threeDigits(number, label + kLabelPrefixChars);
    label[11] = 0;
}

void driveRoot(const char *path, char root[4]) {
    if (path && path[0] && path[1] == ':') {
        root[0] = path[0];
    } else {
        char current[kNameBytes];
        DWORD n = GetCurrentDirectoryA(kNameBytes, current);
        root[0] = (n > 0 && n < kNameBytes && current[1] == ':') ? current[0] : 'C';
    }
    root[1] = ':';
    root[2] = '\\';
    root[3] = 0;
}

void volumeRoot(const char *ansiPath, char root[kNameBytes]) {
    if (ansiPath && (ansiPath[0] == '\\' || ansiPath[0] == '/') &&
        (ansiPath[1] == '\\' || ansiPath[1] == '/')) {
        // "\\server\share\": up to the separator after the share name.
        int seps = 0, i = 0;
        for (; ansiPath[i] && i < (int)kNameBytes - 2; ++i) {
            char c = ansiPath[i];
            if ((c == '\\' || c == '/') && i >= 2 && ++seps == 2)
                break;
            root[i] = c;
            if (IsDBCSLeadByte((BYTE)c) && ansiPath[i + 1] && i + 1 < (int)kNameBytes - 2) {
                ++i;
                root[i] = ansiPath[i];
            }
        }
        root[i] = '\\';
        root[i + 1] = 0;
        return;
    }
    driveRoot(ansiPath, root);
}

void readVolumeLabel(const char *root, char label[kNameBytes]) {
    label[0] = 0;
    if (!GetVolumeInformationA(root, label, kNameBytes, NULL, NULL, NULL, NULL, 0))
        label[0] = 0;
    label[kNameBytes - 1] = 0;
}

int16_t requestVolume(uint16_t number, const char *oemName, HANDLE *file) {
    frame::setOperation(QZ_OP_INDEXING);
    if (*file != INVALID_HANDLE_VALUE)
        CloseHandle(*file);
    *file = INVALID_HANDLE_VALUE;
    if (splitSet(oemName))
        return openSplitVolume(oemName, number, 0, file);

    bool last = number == 0 || number > kMaxVolume;
    char expected[12];
    if (last)
        lstrcpyA(expected, kLabelPrefix);
    else
        spannedLabel(number, expected);
    int16_t code = last ? QZ_QUESTION_LAST_DISK : QZ_QUESTION_DISK;

    bool openFailed = false;
    for (;;) {
        if (frame::askDisk(code, (int16_t)number) != QZ_ANSWER_OK)
            return openFailed ? QZ_ERR_FILE : QZ_CANCELLED;
        char label[kNameBytes];
        upperLabelOf(oemName, label);
        if (!label[0])
            continue;
        if (!last) {
            if (lstrcmpA(label, expected) != 0)
                continue;
        } else if (lstrlenA(label) <= kLabelPrefixChars || !startsWith(label, kLabelPrefix)) {
            continue;
        }
        HANDLE h = openOem(oemName, GENERIC_READ, 0, OPEN_ALWAYS, FILE_FLAG_RANDOM_ACCESS);
        if (h == INVALID_HANDLE_VALUE) {
            openFailed = true;
            continue;
        }
        *file = h;
        return QZ_OK;
    }
}

int16_t changeVolume(Archive *a) {
    // Three digits name and label a volume; larger numbers are refused
    // before anything is closed, so the archive stays as it was.
    if (a->volume > kMaxVolume)
        return QZ_ERR_FILE;
    if (!(a->flags & kFlagFileClosed))
        CloseHandle(a->file);
    a->flags |= kFlagFileClosed;

    char expected[12] = {0};
    if (a->flags & kFlagQzvw) {
        int n = lstrlenA(a->name);
        if (n >= 3)
            threeDigits(a->volume, a->name + n - 3);
        frame::setArchiveName(a->name);
    } else {
        spannedLabel(a->volume, expected);
    }

    if ((a->flags & kFlagSpanned) && splitSet(a->name)) {
        HANDLE h;
        int16_t r = openSplitVolume(a->name, a->volume, a->share, &h);
        if (r != QZ_OK)
            return r;
        a->file = h;
        a->flags &= (uint16_t)~kFlagFileClosed;
        return QZ_OK;
    }
    char ansi[kNameBytes], root[4];
    lstrcpynA(ansi, a->name, kNameBytes);
    qz::oemToAnsi(ansi, ansi);
    driveRoot(ansi, root);
    bool removable = GetDriveTypeA(root) == DRIVE_REMOVABLE;

    for (;;) {
        if (removable) {
            if (frame::askDisk(QZ_QUESTION_DISK, (int16_t)a->volume) != QZ_ANSWER_OK)
                return QZ_CANCELLED;
            if (a->flags & (kFlagSpanned | kFlagDirFirst)) {
                char label[kNameBytes];
                upperLabelOf(a->name, label);
                if (lstrcmpA(label, expected) != 0)
                    continue;
            }
        }
        HANDLE h = openOem(a->name, a->access, a->share, OPEN_ALWAYS, FILE_FLAG_RANDOM_ACCESS);
        if (h == INVALID_HANDLE_VALUE) {
            if (!removable)
                return QZ_ERR_FILE;
            continue;
        }
        a->file = h;
        a->flags &= (uint16_t)~kFlagFileClosed;
        return QZ_OK;
    }
}

uint16_t wantedVolume(const Archive *a, const QzEntryRecord *record) {
    if (a->flags & kFlagQzvw)
        return record->diskNumberStart;
    return (uint16_t)(record->diskNumberStart + 1);
}

int16_t switchToEntryVolume(Archive *a, const QzEntryRecord *record, QzHandle *callerHandle) {
    if (!hasDirectoryFile(a))
        return QZ_OK;
    uint16_t want = wantedVolume(a, record);
    if (want == a->volume && !(a->flags & kFlagFileClosed))
        return QZ_OK;
    a->volume = want;
    int16_t result = changeVolume(a);
    if (result == QZ_OK && callerHandle)
        *callerHandle = toArchiveHandle(a->file);
    return result;
}

namespace {

// An archive's volumes as a copy of entry data moves through them.
struct ExtractingSet {
    Archive *a;
    QzHandle *callerHandle;
};

int16_t nextExtractingVolume(void *context, HANDLE *) {
    ExtractingSet *set = (ExtractingSet *)context;
    ++set->a->volume;
    int16_t result = changeVolume(set->a);
    if (result == QZ_OK && set->callerHandle)
        *set->callerHandle = toArchiveHandle(set->a->file);
    return result;
}

}  // namespace

int16_t copyAcrossVolumes(Archive *a, HANDLE to, uint32_t count, QzHandle *callerHandle) {
    // changeVolume replaces a->file, which the copy reads through.
    ExtractingSet set = {a, callerHandle};
    return copySpanning(&a->file, to, count, nextExtractingVolume, &set);
}

}  // namespace archive
}  // namespace qz

using namespace qz::archive;

QZ_API(int16_t) QzSetVolumeLabel(const char *path, const char *label) {
    char root[4];
    driveRoot(path, root);
    return SetVolumeLabelA(root, label) ? QZ_OK : QZ_ERR_FILE;
}
