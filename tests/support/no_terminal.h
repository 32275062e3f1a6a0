// no_terminal.h -- standard input from /dev/null for the life of the object,
// so that the POSIX layer's message boxes find nobody to ask even when the
// tests run on a terminal.
#ifndef QZ_TEST_NO_TERMINAL_H
#define QZ_TEST_NO_TERMINAL_H

#ifndef _WIN32

#include <fcntl.h>
#include <unistd.h>

namespace qztest {

class NoTerminalInput {
public:
    NoTerminalInput() : saved_(dup(0))
    {
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        close(null);
    }
    ~NoTerminalInput()
    {
        dup2(saved_, 0);
        close(saved_);
    }
    NoTerminalInput(const NoTerminalInput &) = delete;
    NoTerminalInput &operator=(const NoTerminalInput &) = delete;

private:
    int saved_;
};

}  // namespace qztest

#endif
#endif
