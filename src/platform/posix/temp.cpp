// temp.cpp -- the temporary folder and temporary file names.
//
// GetTempPathA reports the folder the host set, or else TMPDIR (or /tmp)
// in its drive form ("C:\tmp\"), always with a trailing '\'.
// GetTempFileNameA with unique 0 tries numbers from a clock-based start,
// creating each candidate exclusively until one is new, as Windows does;
// the file is left on disk, empty, with the ARCHIVE attribute.
#include "platform/posix/posix.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

using namespace qz::posix;

namespace qz::posix {

namespace {

bool g_tempSet = false;
char g_temp[MAX_PATH];

// The default: TMPDIR or /tmp, in drive form with a trailing '\'.
bool defaultTemp(char *out, size_t size) {
    const char *dir = getenv("TMPDIR");
    if (!dir || dir[0] != '/') dir = "/tmp";
    char host[kHostPath];
    if (strlen(dir) >= sizeof host) dir = "/tmp";
    strcpy(host, dir);
    size_t n = strlen(host);
    while (n > 1 && host[n - 1] == '/') host[--n] = 0;
    if (!hostToWin(host, out, size - 1)) {
        if (strlen(host) + 2 > size) return false;
        strcpy(out, host);
        for (char *p = out; *p; ++p) if (*p == '/') *p = '\\';
    }
    n = strlen(out);
    if (n == 0 || out[n - 1] != '\\') strcat(out, "\\");
    return true;
}

} // namespace

void resetTemp() {
    g_tempSet = false;
    g_temp[0] = 0;
}

} // namespace qz::posix

extern "C" {

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
    DWORD error;
    if (callFails(QZHOST_GetTempPathA, &error)) { fail(error); return 0; }
    char path[MAX_PATH];
    if (g_tempSet) {
        strcpy(path, g_temp);
    } else if (!defaultTemp(path, sizeof path)) {
        fail(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    DWORD n = (DWORD)strlen(path);
    if (!buffer || size <= n) return n + 1;
    memcpy(buffer, path, n + 1);
    return n;
}

UINT WINAPI GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR buffer) {
    DWORD error;
    if (callFails(QZHOST_GetTempFileNameA, &error)) { fail(error); return 0; }
    if (!path || !buffer) { fail(ERROR_INVALID_PARAMETER); return 0; }
    char stem[MAX_PATH + 8];
    size_t n = strlen(path);
    if (n + 3 + 9 >= MAX_PATH) { fail(ERROR_BUFFER_OVERFLOW); return 0; }
    memcpy(stem, path, n);
    if (n > 0 && stem[n - 1] != '\\' && stem[n - 1] != '/') stem[n++] = '\\';
    for (int i = 0; prefix && i < 3 && prefix[i]; ++i) stem[n++] = prefix[i];
    stem[n] = 0;
    if (unique) {
        char name[MAX_PATH + 16];
        snprintf(name, sizeof name, "%s%X.TMP", stem, unique & 0xFFFF);
        strcpy(buffer, name);
        return unique;
    }
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    UINT start = (UINT)((ts.tv_nsec / 1000 ^ ts.tv_sec ^ getpid()) & 0xFFFF);
    if (start == 0) start = 1;
    UINT number = start;
    do {
        char name[MAX_PATH + 16], host[kHostPath];
        snprintf(name, sizeof name, "%s%X.TMP", stem, number);
        PathState state;
        if (DWORD e = resolve(name, host, sizeof host, &state)) { fail(e); return 0; }
        if (state == kPathLastMissing) {
            int fd = open(host, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                forgetFolders();
                storeDosBits(host, fd, FILE_ATTRIBUTE_ARCHIVE);
                close(fd);
                strcpy(buffer, name);
                return number;
            }
            if (errno != EEXIST) { fail(errorFromErrno(errno)); return 0; }
        }
        number = number == 0xFFFF ? 1 : number + 1;
    } while (number != start);
    fail(ERROR_FILE_EXISTS);
    return 0;
}

int qzhost_set_temp_path(const char *path) {
    if (!path) {
        resetTemp();
        return 0;
    }
    char out[MAX_PATH];
    if (path[0] == '/') {
        char host[kHostPath];
        if (strlen(path) >= sizeof host) return -1;
        strcpy(host, path);
        size_t n = strlen(host);
        while (n > 1 && host[n - 1] == '/') host[--n] = 0;
        if (!hostToWin(host, out, sizeof out - 1)) return -1;
    } else {
        if (strlen(path) + 2 > sizeof out) return -1;
        strcpy(out, path);
    }
    size_t n = strlen(out);
    if (n == 0 || (out[n - 1] != '\\' && out[n - 1] != '/')) strcat(out, "\\");
    strcpy(g_temp, out);
    g_tempSet = true;
    return 0;
}

} // extern "C"
