/*
 * stubs.cpp -- calls not implemented yet: they fail with
 * ERROR_CALL_NOT_IMPLEMENTED so that the library links and runs.
 */
#include "platform/posix/posix.h"

using namespace qz::posix;

#define NOT_IMPLEMENTED 120 /* ERROR_CALL_NOT_IMPLEMENTED */

namespace qz::posix {
void reset_drives() {}
void reset_attributes() {}
void reset_temp() {}
}

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    fail(NOT_IMPLEMENTED); return INVALID_HANDLE_VALUE;
}
BOOL WINAPI ReadFile(HANDLE, LPVOID, DWORD, LPDWORD read, LPOVERLAPPED) { if (read) *read = 0; return fail(NOT_IMPLEMENTED); }
BOOL WINAPI WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) { if (written) *written = 0; return fail(NOT_IMPLEMENTED); }
DWORD WINAPI SetFilePointer(HANDLE, LONG, PLONG, DWORD) { fail(NOT_IMPLEMENTED); return INVALID_SET_FILE_POINTER; }
DWORD WINAPI GetFileSize(HANDLE, LPDWORD) { fail(NOT_IMPLEMENTED); return INVALID_FILE_SIZE; }
BOOL WINAPI SetEndOfFile(HANDLE) { return fail(NOT_IMPLEMENTED); }
BOOL WINAPI CloseHandle(HANDLE) { return fail(ERROR_INVALID_HANDLE); }
BOOL WINAPI DeleteFileA(LPCSTR) { return fail(NOT_IMPLEMENTED); }
BOOL WINAPI CreateDirectoryA(LPCSTR, LPSECURITY_ATTRIBUTES) { return fail(NOT_IMPLEMENTED); }
HANDLE WINAPI FindFirstFileA(LPCSTR, LPWIN32_FIND_DATAA) { fail(NOT_IMPLEMENTED); return INVALID_HANDLE_VALUE; }
BOOL WINAPI FindNextFileA(HANDLE, LPWIN32_FIND_DATAA) { return fail(NOT_IMPLEMENTED); }
BOOL WINAPI FindClose(HANDLE) { return fail(ERROR_INVALID_HANDLE); }
DWORD WINAPI GetFileAttributesA(LPCSTR) { fail(NOT_IMPLEMENTED); return INVALID_FILE_ATTRIBUTES; }
BOOL WINAPI SetFileAttributesA(LPCSTR, DWORD) { return fail(NOT_IMPLEMENTED); }
BOOL WINAPI SetFileTime(HANDLE, const FILETIME *, const FILETIME *, const FILETIME *) { return fail(NOT_IMPLEMENTED); }
BOOL WINAPI GetFileTime(HANDLE, LPFILETIME, LPFILETIME, LPFILETIME) { return fail(NOT_IMPLEMENTED); }
DWORD WINAPI GetTempPathA(DWORD, LPSTR) { fail(NOT_IMPLEMENTED); return 0; }
UINT WINAPI GetTempFileNameA(LPCSTR, LPCSTR, UINT, LPSTR) { fail(NOT_IMPLEMENTED); return 0; }
DWORD WINAPI GetCurrentDirectoryA(DWORD, LPSTR) { fail(NOT_IMPLEMENTED); return 0; }
UINT WINAPI GetDriveTypeA(LPCSTR) { return DRIVE_NO_ROOT_DIR; }
BOOL WINAPI GetVolumeInformationA(LPCSTR, LPSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPSTR, DWORD) { return fail(NOT_IMPLEMENTED); }
BOOL WINAPI SetVolumeLabelA(LPCSTR, LPCSTR) { return fail(NOT_IMPLEMENTED); }
DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR, LPDWORD) { fail(NOT_IMPLEMENTED); return 0; }
BOOL WINAPI GetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID) { return fail(NOT_IMPLEMENTED); }
BOOL WINAPI VerQueryValueA(LPCVOID, LPCSTR, LPVOID *, UINT *) { return fail(NOT_IMPLEMENTED); }

int qzhost_map_drive(char, const char *, UINT, const char *) { return -1; }
int qzhost_unmap_drive(char) { return -1; }
int qzhost_set_label(char, const char *) { return -1; }
int qzhost_set_media(char, int) { return -1; }
int qzhost_set_current_drive(char) { return -1; }
int qzhost_set_temp_path(const char *) { return -1; }

} // extern "C"
