// errors.cpp -- the last error, the errno map, and failures of named calls
// armed by the host.
#include "platform/posix/posix.h"

#include <errno.h>
#include <string.h>

namespace qz::posix {

namespace {

thread_local DWORD t_lastError = 0;

// The name of every call that can be armed, in the order of qzhost_call;
// checked below, so that the list in host.h and this table cannot drift.
struct CallName {
    qzhost_call call;
    const char *name;
};
constexpr CallName kCallNames[] = {
    {QZHOST_CreateFileA, "CreateFileA"},
    {QZHOST_ReadFile, "ReadFile"},
    {QZHOST_WriteFile, "WriteFile"},
    {QZHOST_SetFilePointer, "SetFilePointer"},
    {QZHOST_GetFileSize, "GetFileSize"},
    {QZHOST_SetEndOfFile, "SetEndOfFile"},
    {QZHOST_CloseHandle, "CloseHandle"},
    {QZHOST_DeleteFileA, "DeleteFileA"},
    {QZHOST_CreateDirectoryA, "CreateDirectoryA"},
    {QZHOST_SetFileTime, "SetFileTime"},
    {QZHOST_GetFileAttributesA, "GetFileAttributesA"},
    {QZHOST_SetFileAttributesA, "SetFileAttributesA"},
    {QZHOST_FindFirstFileA, "FindFirstFileA"},
    {QZHOST_FindNextFileA, "FindNextFileA"},
    {QZHOST_GetVolumeInformationA, "GetVolumeInformationA"},
    {QZHOST_SetVolumeLabelA, "SetVolumeLabelA"},
    {QZHOST_GetTempPathA, "GetTempPathA"},
    {QZHOST_GetTempFileNameA, "GetTempFileNameA"},
    {QZHOST_MessageBoxA, "MessageBoxA"},
    {QZHOST_GetFileVersionInfoSizeA, "GetFileVersionInfoSizeA"},
    {QZHOST_GetFileVersionInfoA, "GetFileVersionInfoA"},
};

constexpr bool namesFollowTheCalls() {
    for (int i = 0; i < QZHOST_CALL_COUNT; ++i)
        if (kCallNames[i].call != i) return false;
    return true;
}
static_assert(sizeof kCallNames / sizeof kCallNames[0] == QZHOST_CALL_COUNT, "a name for every call");
static_assert(namesFollowTheCalls(), "the names in the order of qzhost_call");

// The armed failure of one call: the call that fails first (0: not armed),
// the calls seen since it was armed, the error, and whether it persists.
struct ArmedCall {
    unsigned long nth;
    unsigned long seen;
    DWORD         error;
    bool          persistent;
};
ArmedCall g_armed[QZHOST_CALL_COUNT];

} // namespace

DWORD errorFromErrno(int e) {
    switch (e) {
    case 0:            return ERROR_SUCCESS;
    case ENOENT:       return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EBUSY:
    case ETXTBSY:      return ERROR_ACCESS_DENIED;
    case EROFS:        return ERROR_WRITE_PROTECT;
    case EEXIST:       return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:    return ERROR_DIR_NOT_EMPTY;
    case EMFILE:
    case ENFILE:       return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:       return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT:       return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL:       return ERROR_INVALID_PARAMETER;
    case EBADF:        return ERROR_INVALID_HANDLE;
    case EIO:          return ERROR_READ_FAULT;
    case ENOTSUP:      return ERROR_NOT_SUPPORTED;
    default:           return ERROR_INVALID_FUNCTION;
    }
}

BOOL fail(DWORD error) {
    t_lastError = error;
    return FALSE;
}

bool callFails(qzhost_call call, DWORD *error) {
    ArmedCall &a = g_armed[call];
    if (a.nth == 0) return false;
    ++a.seen;
    if (a.seen == a.nth || (a.persistent && a.seen > a.nth)) {
        *error = a.error;
        injected(kCallNames[call].name);
        return true;
    }
    return false;
}

void injected(const char *what) {
    qzhost_fault(what);
}

void resetFaults() {
    memset(g_armed, 0, sizeof g_armed);
}

} // namespace qz::posix

using namespace qz::posix;

extern "C" {

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD error) { t_lastError = error; }

int qzhost_fail_call(qzhost_call call, unsigned long nth, DWORD error, int persistent) {
    if (static_cast<unsigned>(call) >= QZHOST_CALL_COUNT) return -1;
    ArmedCall &a = g_armed[call];
    a.nth = nth;
    a.seen = 0;
    a.error = error;
    a.persistent = persistent != 0;
    return 0;
}

const char *qzhost_call_name(qzhost_call call) {
    return static_cast<unsigned>(call) >= QZHOST_CALL_COUNT ? nullptr : kCallNames[call].name;
}

} // extern "C"
