// version.cpp -- file version resources.
//
// A version resource starts with the 16-bit lengths wLength and
// wValueLength, the 16-bit type, the UTF-16 key L"VS_VERSION_INFO" with its
// terminator, padding to a 32-bit boundary and then the VS_FIXEDFILEINFO,
// whose first word is 0xFEEF04BD.  Instead of walking the PE resource
// directory we scan the file for that key followed by that signature; in a
// real PE file this finds the same resource that Windows finds, and it
// works for any file that embeds one.
#include "platform/posix/posix.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz::posix;

namespace {

const char kKey[] = "V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0\0";  // 32 bytes with the final NUL
constexpr size_t kKeyBytes = 32;
constexpr DWORD  kSignature = 0xFEEF04BDu;
constexpr size_t kFixedBytes = sizeof(VS_FIXEDFILEINFO);

uint32_t le32(const unsigned char *p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
uint16_t le16(const unsigned char *p) { return (uint16_t)(p[0] | p[1] << 8); }

// Offset of the fixed record inside a resource whose key starts at +6:
// 40 when the resource is 32-bit aligned (always in a PE file), else 38.
size_t fixedOffset(const unsigned char *block, size_t have) {
    if (have >= 40 + 4 && le32(block + 40) == kSignature) return 40;
    if (have >= 38 + 4 && le32(block + 38) == kSignature) return 38;
    return 0;
}

// Finds the resource in an open file: its offset and length; false when
// there is none.
bool locate(int fd, off_t *where, size_t *length) {
    enum { kChunk = 1 << 16, kKeep = 64 };
    unsigned char *buf = (unsigned char *)malloc(kChunk + kKeep);
    if (!buf) return false;
    size_t have = 0;
    off_t base = 0;     // file offset of buf[0]
    bool found = false;
    for (;;) {
        ssize_t n = read(fd, buf + have, kChunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        have += (size_t)n;
        for (size_t k = 6; k + kKeyBytes + 6 <= have; ++k) {
            if (buf[k] != 'V' || memcmp(buf + k, kKey, kKeyBytes) != 0) continue;
            const unsigned char *block = buf + k - 6;
            size_t off = fixedOffset(block, have - (k - 6));
            size_t len = le16(block);
            if (off && le16(block + 2) >= kFixedBytes && len >= off + kFixedBytes) {
                *where = base + (off_t)(k - 6);
                *length = len;
                found = true;
                break;
            }
        }
        if (found) break;
        if (have > kKeep) {
            memmove(buf, buf + have - kKeep, kKeep);
            base += (off_t)(have - kKeep);
            have = kKeep;
        }
    }
    free(buf);
    return found;
}

int openNamed(LPCSTR name, DWORD *error) {
    char host[kHostPath];
    PathState state;
    if (DWORD e = resolve(name, host, sizeof host, &state)) { *error = e; return -1; }
    if (state != kPathExists) { *error = ERROR_FILE_NOT_FOUND; return -1; }
    int fd = open(host, O_RDONLY | O_CLOEXEC);
    if (fd < 0) *error = errorFromErrno(errno);
    return fd;
}

} // namespace

extern "C" {

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR name, LPDWORD handle) {
    if (handle) *handle = 0;
    DWORD error;
    if (callFails(QZHOST_GetFileVersionInfoSizeA, &error)) { fail(error); return 0; }
    int fd = openNamed(name, &error);
    if (fd < 0) { fail(error); return 0; }
    off_t where;
    size_t length;
    bool found = locate(fd, &where, &length);
    close(fd);
    if (!found) { fail(ERROR_RESOURCE_TYPE_NOT_FOUND); return 0; }
    return (DWORD)length;
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR name, DWORD handle, DWORD size, LPVOID data) {
    (void)handle;
    DWORD error;
    if (callFails(QZHOST_GetFileVersionInfoA, &error)) return fail(error);
    if (!data || size == 0) return fail(ERROR_INVALID_PARAMETER);
    int fd = openNamed(name, &error);
    if (fd < 0) return fail(error);
    off_t where;
    size_t length;
    if (!locate(fd, &where, &length)) {
        close(fd);
        return fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
    }
    size_t want = length < size ? length : size;
    ssize_t n = pread(fd, data, want, where);
    close(fd);
    if (n != (ssize_t)want) return fail(ERROR_READ_FAULT);
    return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID *value, UINT *length) {
    if (!block || !subBlock || !value) return fail(ERROR_INVALID_PARAMETER);
    const unsigned char *b = (const unsigned char *)block;
    if (strcmp(subBlock, "\\") != 0) return fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
    size_t have = le16(b);
    if (have < 6 + kKeyBytes || memcmp(b + 6, kKey, kKeyBytes) != 0) return fail(ERROR_INVALID_DATA);
    size_t off = fixedOffset(b, have);
    if (!off || off + kFixedBytes > have) return fail(ERROR_RESOURCE_DATA_NOT_FOUND);
    *value = (LPVOID)(b + off);
    if (length) *length = (UINT)kFixedBytes;
    return TRUE;
}

} // extern "C"
