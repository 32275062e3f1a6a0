// no_terminal.h -- standard input from /dev/null for the life of the object,
// so that the POSIX layer's message boxes find nobody to ask even when the
// tests run on a terminal.
#ifndef QZ_TEST_NO_TERMINAL_H
#define QZ_TEST_NO_TERMINAL_H

#ifndef _WIN32

#include <fcntl.h>
#include <unistd.h>

namespace qztest {

struct NoTerminalInput {
    int saved = dup(0), null = open("/dev/null", O_RDONLY);
    NoTerminalInput() { dup2(null, 0); }
    ~NoTerminalInput() {
        dup2(saved, 0);
        close(saved);
        close(null);
    }
};

}  // namespace qztest

#endif
#endif
