// main.cpp -- qzunzip, a command-line host of the library: the terminal,
// Ctrl-C, and the exit status.  See options.h for the command line.
#include <signal.h>
#include <stdio.h>
#include <string.h>

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

#include "qzunpack.h"
#include "run.h"

namespace {

volatile sig_atomic_t g_interrupted = 0;

// The first Ctrl-C asks the library to stop at its next block of work (the
// run then ends with -4); a second one ends the process the usual way.
#ifdef _WIN32
BOOL WINAPI onControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    if (g_interrupted)
        return FALSE;
    g_interrupted = 1;
    Qz4Cancel();
    return TRUE;
}

void catchInterrupt() {
    SetConsoleCtrlHandler(onControl, TRUE);
}

// A console, not merely a character device: NUL passes _isatty too.
bool isTerminal(FILE *f) {
    DWORD mode;
    return GetConsoleMode((HANDLE)_get_osfhandle(_fileno(f)), &mode) != 0;
}

unsigned terminalWidth() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
        return (unsigned)(info.srWindow.Right - info.srWindow.Left + 1);
    return 80;
}
#else
void onInterrupt(int) {
    g_interrupted = 1;
    Qz4Cancel();
    signal(SIGINT, SIG_DFL);
}

void catchInterrupt() {
    // No SA_RESTART: a question waiting for input returns at once.
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool isTerminal(FILE *f) {
    return isatty(fileno(f)) != 0;
}

unsigned terminalWidth() {
    struct winsize w;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &w) == 0 && w.ws_col > 0)
        return w.ws_col;
    return 80;
}
#endif

#ifdef _WIN32
// Ctrl-C makes the console read return at once.
bool readLine(std::string *line) {
    char buf[512];
    line->clear();
    if (g_interrupted || !fgets(buf, sizeof buf, stdin) || g_interrupted)
        return false;
    *line = buf;
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r'))
        line->pop_back();
    return true;
}

// A password: the console's echo is off while it is typed.
bool readSecret(const std::string &prompt, std::string *line) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = GetConsoleMode(in, &mode) != 0;
    if (console)
        SetConsoleMode(in, mode & ~(DWORD)ENABLE_ECHO_INPUT);
    fputs(prompt.c_str(), stderr);
    fflush(stderr);
    const bool got = readLine(line);
    if (console)
        SetConsoleMode(in, mode);
    return got;
}
#else
// Waits for input in short steps, so that a Ctrl-C that comes just before
// the read is not lost; the terminal hands over whole lines.
bool readLine(std::string *line) {
    line->clear();
    for (;;) {
        if (g_interrupted)
            return false;
        struct pollfd in = {STDIN_FILENO, POLLIN, 0};
        if (poll(&in, 1, 100) <= 0)
            continue;
        char c;
        ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        if (c == '\n')
            break;
        if (c != '\r')
            *line += c;
    }
    return !g_interrupted;
}

// A password: the terminal's echo is off while it is typed.
bool readSecret(const std::string &prompt, std::string *line) {
    struct termios saved, quiet;
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        quiet = saved;
        quiet.c_lflag &= ~(tcflag_t)ECHO;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    // The prompt comes once echo is off, so nothing typed after it shows.
    std::cerr << prompt;
    std::cerr.flush();
    const bool got = readLine(line);
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return got;
}
#endif

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    qzunzip::Options options = qzunzip::parseArguments(args);

    qzunzip::Terminal terminal;
    terminal.out = &std::cout;
    terminal.err = &std::cerr;
    terminal.progressBar = isTerminal(stdout) && options.action != qzunzip::Action::kPipe;
    terminal.width = terminal.progressBar ? terminalWidth() : 80;
    if (isTerminal(stdin)) {
        terminal.readLine = readLine;
        terminal.readSecret = readSecret;
    }
#ifdef _WIN32
    // What -p writes goes out byte for byte.
    if (options.action == qzunzip::Action::kPipe) {
        fflush(stdout);
        _setmode(_fileno(stdout), _O_BINARY);
    }
#endif
    terminal.interrupted = [] { return g_interrupted != 0; };

    catchInterrupt();
    const int status = qzunzip::runQzunzip(options, terminal);
    std::cout.flush();
    return status;
}
