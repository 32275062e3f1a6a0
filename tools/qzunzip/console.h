// console.h -- qzunzip's side of the print callback: what the user sees of
// a run and how the library's questions are answered.
//
// Progress notifications become one line per entry: on a terminal the line
// is redrawn with a bar, the percentage and the bytes done; otherwise it is
// written once, when the entry starts.  Messages about single entries (CRC
// mismatch, wrong password, unknown method, access denied) are warnings;
// they are answered with OK, so the library skips the entry and goes on.
// The overwrite question is asked on the terminal (y, n, A for all, q to
// stop) and answered "no" without one; a disk question waits for Enter (q
// cancels) and is cancelled without a terminal.
#ifndef QZUNZIP_CONSOLE_H
#define QZUNZIP_CONSOLE_H

#include <stdint.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "qzunpack.h"

namespace qzunzip {

struct Terminal {
    std::ostream *out = nullptr;  // entry lines and progress
    std::ostream *err = nullptr;  // warnings and errors
    bool progressBar = false;     // out is a terminal
    unsigned width = 80;
    // Reads one line typed by the user; null when there is no terminal to
    // ask.  False at the end of input or when the read was interrupted.
    std::function<bool(std::string *line)> readLine;
    // True once the user has pressed Ctrl-C.
    std::function<bool()> interrupted;
};

class Console {
public:
    Console(Terminal terminal, bool quiet);

    int16_t event(const QzPrintBlock &block);
    // Ends a progress line still being drawn; call before other output.
    void endLine();

    unsigned warnings() const { return warnings_; }
    unsigned entries() const { return entries_; }

private:
    void progress(const QzPrintBlock &b);
    void drawProgress(const QzPrintBlock &b, bool force);
    int16_t message(const QzPrintBlock &b);
    int16_t question(const QzPrintBlock &b);
    bool ask(const std::string &prompt, std::string *answer);
    bool cancelled() const;

    Terminal t_;
    bool quiet_;
    // The entry whose progress is shown (its name as the library gives
    // it): a notification starts a new one when its name differs, or when
    // it reports 0 bytes after the previous one reported more.
    std::string current_;
    uint32_t lastDone_ = 0;
    bool lineOpen_ = false;
    size_t lineLength_ = 0;
    std::chrono::steady_clock::time_point lastDraw_;
    unsigned warnings_ = 0;
    unsigned entries_ = 0;
};

// Makes a console the library's print callback while it lives.
class PrintHook {
public:
    explicit PrintHook(Console &console);
    ~PrintHook();
    PrintHook(const PrintHook &) = delete;
    PrintHook &operator=(const PrintHook &) = delete;

private:
    static int16_t QZ_CALL entry(QzPrintBlock block);
    static Console *console_;
};

}  // namespace qzunzip

#endif
