// errors.cpp -- the last error, the errno map, and failures of named calls
// armed by the host.
#include "platform/posix/posix.h"

#include <errno.h>
#include <string.h>

namespace qz::posix {

namespace {

thread_local DWORD t_lastError = 0;

// One armed function: its name, the call that fails first, the calls seen
// since it was armed, the error, and whether the failure persists.
struct ArmedCall {
    char          name[40];
    unsigned long nth;
    unsigned long seen;
    DWORD         error;
    bool          persistent;
};
enum { kMaxArmed = 16 };
ArmedCall g_armed[kMaxArmed];
int       g_armedCount = 0;

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

bool callFails(const char *name, DWORD *error) {
    for (int i = 0; i < g_armedCount; ++i) {
        ArmedCall &a = g_armed[i];
        if (a.nth == 0 || strcmp(a.name, name) != 0) continue;
        ++a.seen;
        if (a.seen == a.nth || (a.persistent && a.seen > a.nth)) {
            *error = a.error;
            injected(name);
            return true;
        }
    }
    return false;
}

void injected(const char *what) {
    qzhost_fault(what);
}

void resetFaults() {
    g_armedCount = 0;
    memset(g_armed, 0, sizeof g_armed);
}

} // namespace qz::posix

using namespace qz::posix;

extern "C" {

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD error) { t_lastError = error; }

int qzhost_fail_call(const char *function, unsigned long nth, DWORD error, int persistent) {
    if (!function || strlen(function) >= sizeof g_armed[0].name) return -1;
    int free = -1;
    for (int i = 0; i < g_armedCount; ++i) {
        if (strcmp(g_armed[i].name, function) == 0) { free = i; break; }
    }
    if (free < 0) {
        for (int i = 0; i < g_armedCount; ++i) {
            if (g_armed[i].nth == 0) { free = i; break; }
        }
    }
    if (free < 0) {
        if (g_armedCount == kMaxArmed) return nth == 0 ? 0 : -1;
        free = g_armedCount++;
    }
    ArmedCall &a = g_armed[free];
    strcpy(a.name, function);
    a.nth = nth;
    a.seen = 0;
    a.error = error;
    a.persistent = persistent != 0;
    return 0;
}

} // extern "C"
