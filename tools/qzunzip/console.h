// console.h -- qzunzip's side of the print callback: what the user sees of
// a run and how the library's questions are answered.
//
// On a terminal, progress is one status line rewritten in place: files and
// bytes done of the totals, the rate, the time left and the current name,
// shortened to fit the width.  Off a terminal each entry gets one line as
// it starts, as unzip writes them (none with -q).  Messages about single
// entries (CRC mismatch, incorrect password, unsupported method, access
// denied) name the entry and say what happened; they are answered with OK,
// so the library skips the entry and goes on.  The overwrite question is
// asked on the terminal (y, n, A for all, N for none, q to stop) and
// answered "no" without one; a disk question waits for Enter (q cancels)
// and is cancelled without a terminal.
#ifndef QZUNZIP_CONSOLE_H
#define QZUNZIP_CONSOLE_H

#include <stdint.h>

#include <chrono>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "qzunpack.h"

namespace qzunzip {

struct Terminal {
    std::ostream *out = nullptr;  // entry lines, progress and the summary
    std::ostream *err = nullptr;  // warnings and errors
    bool progressBar = false;     // out is a terminal
    unsigned width = 80;
    // Reads one line typed by the user; null when there is no terminal to
    // ask.  False at the end of input or when the read was interrupted.
    std::function<bool(std::string *line)> readLine;
    // Shows the prompt once echo is off and reads a password; null without
    // a terminal.
    std::function<bool(const std::string &prompt, std::string *line)> readSecret;
    // True once the user has pressed Ctrl-C.
    std::function<bool()> interrupted;
};

// Why an entry was skipped.
enum class Reason { kPassword, kNoPassword, kUnsupported, kDamaged, kExists, kOther };

struct Problem {
    std::string name;  // as displayed
    Reason reason;
};

class Console {
public:
    Console(Terminal terminal, int quiet);

    // A run of the library over `files` entries of `bytes` in all; `verb`
    // starts each entry's line off a terminal ("inflating", "testing").
    void start(uint64_t files, uint64_t bytes, const char *verb);
    int16_t event(const QzPrintBlock &b);
    // Ends the status line still being drawn; call before other output.
    void endLine();
    // A message about one entry, on the error stream.
    void warn(const std::string &name, const std::string &what, Reason reason);
    // Describes an entry's method for the message of an unsupported one,
    // given the displayed name; set by the run.
    std::function<std::string(const std::string &name)> describeMethod;

    const std::vector<Problem> &problems() const { return problems_; }
    std::vector<Problem> &problems() { return problems_; }
    uint64_t filesDone() const { return files_; }
    // The entry the library reported last, as displayed ("" before any).
    std::string lastEntry() const;
    uint64_t bytesDone() const { return bytes_; }
    // Asks a question on the terminal; false without an answer.
    bool ask(const std::string &prompt, std::string *answer);
    bool cancelled() const;
    const Terminal &terminal() const { return t_; }

    // Counts the entry under way as done, unless it failed.
    void finishEntry();

private:
    void drawStatus();
    int16_t message(const QzPrintBlock &b);
    // The entry of this name, if it is the one under way, is not counted
    // as done.
    void notDone(const char *name);
    int16_t question(const QzPrintBlock &b);

    Terminal t_;
    int quiet_;
    const char *verb_ = "inflating";
    // The entry under way (its name as the library gives it): a
    // notification starts a new one when its name differs, or when it
    // reports 0 bytes after the previous one reported more.
    std::string current_;
    uint32_t currentSize_ = 0, currentDone_ = 0;
    bool currentFailed_ = false, haveCurrent_ = false;
    uint64_t totalFiles_ = 0, totalBytes_ = 0, files_ = 0, bytes_ = 0;
    std::chrono::steady_clock::time_point started_, lastDraw_;
    bool lineOpen_ = false;
    bool noneToAll_ = false;
    std::vector<Problem> problems_;
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

// The warning of an existing file kept for want of a terminal to ask.
extern const char kKept[];

// "1:05" for 65 seconds, "1:02:03" past an hour.
std::string clockTime(double seconds);

// The status line for a width: counts, bytes, rate and time left as room
// allows, and the name shortened in its middle to what is left.
std::string statusLine(unsigned width, uint64_t files, uint64_t totalFiles, uint64_t bytes,
                       uint64_t totalBytes, double seconds, const std::string &name);

}  // namespace qzunzip

#endif
