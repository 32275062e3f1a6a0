// volumes.cpp -- drive types and volume labels from the drive table.
//
// A root names a drive as "X:\" (or "X:", or null for the current drive).
// Removable drives behave like FAT floppies: labels of at most 11
// characters, file system "FAT"; fixed drives report "NTFS".  A removable
// drive without a disk (qzhost_set_media) gives ERROR_NOT_READY.
#include "platform/posix/posix.h"

#include <string.h>

using namespace qz::posix;

namespace {

// The drive a root names, or null.
Drive *driveOfRoot(LPCSTR root) {
    if (!root) return drive(currentDrive());
    if ((root[0] == '\\' || root[0] == '/') && root[1] == 0) return drive(currentDrive());
    if (!root[0] || root[1] != ':') return nullptr;
    if (root[2] && !((root[2] == '\\' || root[2] == '/') && root[3] == 0)) return nullptr;
    return drive((unsigned char)root[0]);
}

} // namespace

extern "C" {

UINT WINAPI GetDriveTypeA(LPCSTR root) {
    Drive *d = driveOfRoot(root);
    if (!d || !d->mapped) return DRIVE_NO_ROOT_DIR;
    return d->type;
}

BOOL WINAPI GetVolumeInformationA(LPCSTR root, LPSTR label, DWORD labelSize, LPDWORD serial,
                                  LPDWORD maxComponent, LPDWORD fsFlags, LPSTR fsName, DWORD fsNameSize) {
    DWORD error;
    if (callFails(QZHOST_GetVolumeInformationA, &error)) return fail(error);
    Drive *d = driveOfRoot(root);
    if (!d || !d->mapped) return fail(ERROR_PATH_NOT_FOUND);
    if (!d->media) return fail(ERROR_NOT_READY);
    const char *fs = d->type == DRIVE_REMOVABLE ? "FAT" : "NTFS";
    if (label && labelSize <= strlen(d->label)) return fail(ERROR_INSUFFICIENT_BUFFER);
    if (fsName && fsNameSize <= strlen(fs)) return fail(ERROR_INSUFFICIENT_BUFFER);
    if (label) strcpy(label, d->label);
    if (fsName) strcpy(fsName, fs);
    if (serial) *serial = d->serial;
    if (maxComponent) *maxComponent = 255;
    if (fsFlags) *fsFlags = 0x00000003;   // case-sensitive search, case preserved names
    return TRUE;
}

BOOL WINAPI SetVolumeLabelA(LPCSTR root, LPCSTR label) {
    DWORD error;
    if (callFails(QZHOST_SetVolumeLabelA, &error)) return fail(error);
    Drive *d = driveOfRoot(root);
    if (!d || !d->mapped) return fail(ERROR_PATH_NOT_FOUND);
    if (!d->media) return fail(ERROR_NOT_READY);
    if (d->type == DRIVE_CDROM) return fail(ERROR_WRITE_PROTECT);
    const char *l = label ? label : "";
    size_t limit = d->type == DRIVE_REMOVABLE ? 11 : 32;
    if (strlen(l) > limit || strlen(l) >= sizeof d->label) return fail(ERROR_INVALID_NAME);
    strcpy(d->label, l);
    return TRUE;
}

} // extern "C"
