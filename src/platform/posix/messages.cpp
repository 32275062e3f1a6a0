// messages.cpp -- MessageBoxA and PeekMessageA.
//
// There is no window system: a message box is answered by the responder the
// host installed, else by a prompt on the terminal when stdin and stderr are
// both terminals.  With nobody there (no terminal, or its input at an end),
// a box is answered as by a person who cannot act on it: Cancel where the
// box has one, else No, else Abort, else OK.  The default button would not
// do: a disk question answered OK reads the drive again and asks again, for
// ever, when nobody can insert the disk.  The message
// queue is always empty; PeekMessageA only counts its calls and runs the
// host's pump hook, which is where a test calls back into the library.
#include "platform/posix/posix.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

namespace qz::posix {

namespace {

qzhost_responder g_responder = nullptr;
void            *g_responderContext = nullptr;
qzhost_pump_hook g_pumpHook = nullptr;
void            *g_pumpContext = nullptr;

struct Buttons {
    int         count;
    int         id[3];
    const char *name[3];
};

Buttons buttonsOf(UINT style) {
    switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:         return {2, {IDOK, IDCANCEL}, {"OK", "Cancel"}};
    case MB_ABORTRETRYIGNORE: return {3, {IDABORT, IDRETRY, IDIGNORE}, {"Abort", "Retry", "Ignore"}};
    case MB_YESNOCANCEL:      return {3, {IDYES, IDNO, IDCANCEL}, {"Yes", "No", "Cancel"}};
    case MB_YESNO:            return {2, {IDYES, IDNO}, {"Yes", "No"}};
    case MB_RETRYCANCEL:      return {2, {IDRETRY, IDCANCEL}, {"Retry", "Cancel"}};
    default:                  return {1, {IDOK}, {"OK"}};
    }
}

// The answer when nobody can be asked: the button that changes nothing.
int unattended(UINT style) {
    static const int kChangeNothing[] = {IDCANCEL, IDNO, IDABORT};
    Buttons b = buttonsOf(style);
    for (int wanted : kChangeNothing) {
        for (int i = 0; i < b.count; ++i) {
            if (b.id[i] == wanted) return wanted;
        }
    }
    return IDOK;
}

// Asks on the terminal; the first letter of a button (or its number)
// chooses it, an empty line takes the default.  At the end of input there
// is nobody left to answer.
int prompt(const char *text, const char *caption, UINT style) {
    Buttons b = buttonsOf(style);
    int def = qzhost_default_button(style);
    fprintf(stderr, "\n[%s]\n%s\n", caption ? caption : "", text ? text : "");
    for (;;) {
        for (int i = 0; i < b.count; ++i) {
            fprintf(stderr, "%s%d) %s%s", i ? "  " : "", i + 1, b.name[i], b.id[i] == def ? " (default)" : "");
        }
        fprintf(stderr, ": ");
        fflush(stderr);
        char line[64];
        if (!fgets(line, sizeof line, stdin)) return unattended(style);
        char c = line[0];
        if (c == '\n' || c == '\r' || c == 0) return def;
        for (int i = 0; i < b.count; ++i) {
            if (c == '1' + i || upper((unsigned char)c) == (unsigned char)b.name[i][0]) return b.id[i];
        }
    }
}

} // namespace

void resetMessages() {
    g_responder = nullptr;
    g_responderContext = nullptr;
    g_pumpHook = nullptr;
    g_pumpContext = nullptr;
}

} // namespace qz::posix

using namespace qz::posix;

extern "C" {

int qzhost_default_button(UINT style) {
    Buttons b = buttonsOf(style);
    int which = (int)((style & MB_DEFMASK) >> 8);   // 0, 1 or 2
    if (which >= b.count) which = 0;                // as Windows: a missing button means the first
    return b.id[which];
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    ++g_counters.boxes;
    DWORD error;
    if (callFails(QZHOST_MessageBoxA, &error)) {
        SetLastError(error);
        return 0;
    }
    if (g_responder) return g_responder(g_responderContext, owner, text, caption ? caption : "Error", style);
    if (isatty(0) && isatty(2)) return prompt(text, caption ? caption : "Error", style);
    return unattended(style);
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
    (void)msg; (void)window; (void)first; (void)last; (void)remove;
    ++g_counters.pumps;
    if (g_pumpHook) g_pumpHook(g_pumpContext);
    return FALSE;
}

void qzhost_set_responder(qzhost_responder responder, void *context) {
    g_responder = responder;
    g_responderContext = context;
}

void qzhost_set_pump_hook(qzhost_pump_hook hook, void *context) {
    g_pumpHook = hook;
    g_pumpContext = context;
}

unsigned long qzhost_pump_count(void) {
    return g_counters.pumps;
}

} // extern "C"
