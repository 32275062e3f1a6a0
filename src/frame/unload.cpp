// unload.cpp -- the library's entry point: what runs when the process
// unloads it.  Nothing is prepared at load time; at unload the routine that
// a subsystem registered (closing the archives still open) runs once.
#include "frame/frame.h"

#include "platform/win32.h"

namespace qz {
namespace frame {

namespace {
void (*unloadRoutine)() = nullptr;
}

void atUnload(void (*routine)()) {
    unloadRoutine = routine;
}

void unload() {
    if (unloadRoutine)
        unloadRoutine();
}

}  // namespace frame
}  // namespace qz

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH)
        qz::frame::unload();
    return TRUE;   // attach and thread events need nothing
}
#else
__attribute__((destructor)) static void qzUnloadLibrary() {
    qz::frame::unload();
}
#endif
