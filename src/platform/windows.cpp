// windows.cpp -- the extension mode's platform services on Windows, where
// the file system keeps its own rules and the code pages are the system's.
#if defined(_WIN32)

#include "platform/extensions.h"
#include "platform/win32.h"

namespace qz {
namespace platform {

void applyExtensions(uint32_t) {}

bool storedToAnsi(const char *stored, size_t n, bool utf8, char *out, size_t size) {
    if (size == 0)
        return false;
    if (n == 0) {
        out[0] = 0;
        return true;
    }
    // Each byte gives at most one UTF-16 unit.
    WCHAR *wide = (WCHAR *)GlobalAlloc(GMEM_FIXED, (n + 1) * sizeof(WCHAR));
    if (!wide)
        return false;
    int w = MultiByteToWideChar(utf8 ? CP_UTF8 : CP_OEMCP, 0, stored, (int)n, wide, (int)n + 1);
    // Characters the ANSI page lacks become '_' rather than a look-alike
    // (a UTF-8 page has them all, and takes no default character).
    bool utf8Page = GetACP() == CP_UTF8;
    int a = w <= 0 ? 0 : WideCharToMultiByte(CP_ACP, utf8Page ? 0 : WC_NO_BEST_FIT_CHARS, wide, w, out,
                                             (int)size - 1, utf8Page ? NULL : "_", NULL);
    GlobalFree(wide);
    if (a <= 0)
        return false;
    out[a] = 0;
    return true;
}

void beginOutput() {}

bool setOpenFileAttributes(HANDLE file, const char *ansiPath, DWORD attributes) {
    // Looked up when first needed, so that the library still loads where
    // kernel32 lacks the call; there the path is given the attributes (the
    // output's share mode does not cover them).
    typedef BOOL(WINAPI * SetInformation)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
    static SetInformation setInformation = (SetInformation)(void *)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "SetFileInformationByHandle");
    if (!setInformation)
        return SetFileAttributesA(ansiPath, attributes) != FALSE;
    // Times of zero are left as they are.
    FILE_BASIC_INFO info = {};
    info.FileAttributes = attributes;
    return setInformation(file, FileBasicInfo, &info, sizeof info) != FALSE;
}

bool setOpenFileMode(HANDLE, uint32_t) {
    return true;
}

}  // namespace platform
}  // namespace qz

#endif
