// Message boxes and the message pump (host controls: POSIX only).
#include "platform_test.h"

#include <string>
#if !defined(_WIN32)
#include "support/no_terminal.h"
#endif

namespace {

#if !defined(_WIN32)

using qztest::NoTerminalInput;

struct Seen {
    int calls = 0;
    std::string text, caption;
    UINT style = 0;
    HWND owner = (HWND)1;
    int answer = IDNO;
};

int responder(void *context, HWND owner, const char *text, const char *caption, UINT style) {
    Seen *s = (Seen *)context;
    ++s->calls;
    s->owner = owner;
    s->text = text;
    s->caption = caption;
    s->style = style;
    return s->answer;
}

TEST(MessageBox, AsksTheResponder) {
    QZ_POSIX_ONLY();
    Seen seen;
    qzhost_set_responder(responder, &seen);
    EXPECT_EQ(MessageBoxA(nullptr, "Insert disk # 2", "QZUNPACK", MB_OKCANCEL | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_EQ(seen.text, "Insert disk # 2");
    EXPECT_EQ(seen.caption, "QZUNPACK");
    EXPECT_EQ(seen.style, MB_OKCANCEL | MB_ICONQUESTION);
    qzhost_counters c;
    qzhost_get_counters(&c);
    EXPECT_EQ(c.boxes, 1u);
    qzhost_set_responder(nullptr, nullptr);
}

TEST(MessageBox, DefaultButtons) {
    QZ_POSIX_ONLY();
    EXPECT_EQ(qzhost_default_button(MB_OK), IDOK);
    EXPECT_EQ(qzhost_default_button(MB_OKCANCEL), IDOK);
    EXPECT_EQ(qzhost_default_button(MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    EXPECT_EQ(qzhost_default_button(MB_YESNO), IDYES);
    EXPECT_EQ(qzhost_default_button(MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(qzhost_default_button(MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(qzhost_default_button(MB_YESNOCANCEL | MB_DEFBUTTON2 | MB_ICONEXCLAMATION), IDNO);
    EXPECT_EQ(qzhost_default_button(MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(qzhost_default_button(MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDIGNORE);
    EXPECT_EQ(qzhost_default_button(MB_OK | MB_DEFBUTTON3), IDOK);      // no third button
    EXPECT_EQ(qzhost_default_button(MB_YESNO | MB_DEFBUTTON3), IDYES);
}

// With no responder and no terminal nobody can act on a box: it is
// answered with the button that changes nothing, whatever the default.
TEST(MessageBox, WithNobodyToAskTheBoxChangesNothing) {
    QZ_POSIX_ONLY();
    NoTerminalInput noTerminal;
    struct { const char *name; UINT style; int answer; } rows[] = {
        {"ok", MB_OK, IDOK},
        {"ok-cancel", MB_OKCANCEL, IDCANCEL},
        {"yes-no", MB_YESNO, IDNO},
        {"yes-no-cancel", MB_YESNOCANCEL, IDCANCEL},
        {"retry-cancel", MB_RETRYCANCEL, IDCANCEL},
        {"abort-retry-ignore", MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDABORT},
    };
    for (auto &row : rows) {
        EXPECT_EQ(MessageBoxA(nullptr, "x", nullptr, row.style), row.answer) << row.name;
    }
}

void pump_hook(void *context) { ++*(int *)context; }

TEST(MessagePump, CountsAndRunsTheHook) {
    QZ_POSIX_ONLY();
    int hooked = 0;
    qzhost_set_pump_hook(pump_hook, &hooked);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(hooked, 2);
    EXPECT_EQ(qzhost_pump_count(), 2u);
    qzhost_reset_counters();
    EXPECT_EQ(qzhost_pump_count(), 0u);
    qzhost_set_pump_hook(nullptr, nullptr);
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    EXPECT_EQ(hooked, 2);
    EXPECT_EQ(qzhost_pump_count(), 1u);
}

#endif

} // namespace
