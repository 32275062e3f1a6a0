// state.cpp -- the library-wide state and the small control exports.
//
// Everything here is process-wide static storage.  A setter stores 1 for any
// non-zero argument, so a host passing VB's True (-1) or any other value gets
// the same behaviour as 1.
#include "frame/frame.h"

#include "platform/extensions.h"
#include "platform/win32.h"

namespace qz {

uint32_t gExtensions = 0;

namespace frame {

// Constant-initialised, so the values hold before any code of the process runs.
State g = {
    false,     // cancel
    true,      // doEvents
    0,         // moreStatus
    false,     // parseType
    -1,        // parsePlace
    false,     // printSwitch
    nullptr,   // printHook
    0,         // printFlags
    {},        // extInfo
    {},        // print
};

void pump() {
    if (!g.doEvents)
        return;
    // Peeking (without removing anything) lets the system deliver messages
    // sent to this thread, so the host's windows stay responsive and can
    // call Qz4Cancel while a long operation runs.
    MSG msg;
    PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
}

bool takeCancel() {
    if (!g.cancel)
        return false;
    g.cancel = false;
    return true;
}

}  // namespace frame
}  // namespace qz

using qz::frame::g;

QZ_API(void) Qz4Cancel(void) {
    g.cancel = true;
}

QZ_API(int16_t) Qz4MoreStatus(void) {
    return g.moreStatus;
}

QZ_API(void) Qz4SetDoEvents(int16_t enable) {
    g.doEvents = enable != 0;
}

QZ_API(int32_t) Qz4GetDoEvents(void) {
    return g.doEvents ? 1 : 0;
}

QZ_API(void) Qz4SetParseType(int16_t type) {
    g.parseType = type != 0;
}

// The parse type answers -1 (all bits set, VB's True) rather than 1.
QZ_API(int32_t) Qz4GetParseType(void) {
    return g.parseType ? -1 : 0;
}

QZ_API(int16_t) Qz4GetParsePlace(void) {
    return g.parsePlace;
}

QZ_API(uint32_t) QzSetExtensions(uint32_t flags) {
    qz::gExtensions = flags & QZ_EXT_ALL;
#if defined(_WIN32)
    // Windows keeps its own rules for names.
    qz::gExtensions &= ~QZ_EXT_POSIX_NAMES;
#endif
    qz::platform::applyExtensions(qz::gExtensions);
    return qz::gExtensions;
}

QZ_API(uint32_t) QzGetExtensions(void) {
    return qz::gExtensions;
}
