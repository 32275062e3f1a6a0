// main.cpp -- qzunzip, a command-line host of the library: the terminal,
// Ctrl-C, and the exit status.  See options.h for the command line.
#include <signal.h>
#include <stdio.h>
#include <string.h>

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "qzunpack.h"
#include "run.h"

namespace {

volatile sig_atomic_t g_interrupted = 0;

// The first Ctrl-C asks the library to stop at its next block of work (the
// run then ends with -4); a second one ends the process the usual way.
#ifdef _WIN32
BOOL WINAPI onControl(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    if (g_interrupted)
        return FALSE;
    g_interrupted = 1;
    Qz4Cancel();
    return TRUE;
}

void catchInterrupt()
{
    SetConsoleCtrlHandler(onControl, TRUE);
}

bool isTerminal(FILE *f)
{
    return _isatty(_fileno(f)) != 0;
}

unsigned terminalWidth()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
        return (unsigned)(info.srWindow.Right - info.srWindow.Left + 1);
    return 80;
}
#else
void onInterrupt(int)
{
    g_interrupted = 1;
    Qz4Cancel();
    signal(SIGINT, SIG_DFL);
}

void catchInterrupt()
{
    // No SA_RESTART: a question waiting for input returns at once.
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool isTerminal(FILE *f)
{
    return isatty(fileno(f)) != 0;
}

unsigned terminalWidth()
{
    struct winsize w;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &w) == 0 && w.ws_col > 20)
        return w.ws_col;
    return 80;
}
#endif

bool readLine(std::string *line)
{
    char buf[512];
    line->clear();
    if (!fgets(buf, sizeof buf, stdin) || g_interrupted)
        return false;
    *line = buf;
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r'))
        line->pop_back();
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    qzunzip::Options options = qzunzip::parseArguments(args);

    qzunzip::Terminal terminal;
    terminal.out = &std::cout;
    terminal.err = &std::cerr;
    terminal.progressBar = isTerminal(stdout);
    terminal.width = terminal.progressBar ? terminalWidth() : 80;
    if (isTerminal(stdin))
        terminal.readLine = readLine;
    terminal.interrupted = [] { return g_interrupted != 0; };

    catchInterrupt();
    const int status = qzunzip::runQzunzip(options, terminal);
    std::cout.flush();
    return status;
}
