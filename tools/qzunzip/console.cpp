// console.cpp -- the status line, entry lines, messages and questions.
#include "console.h"

#include <stdint.h>
#include <stdio.h>

#include "qzunpack_ext.h"
#include "text.h"

namespace qzunzip {

const char kKept[] = "exists, not replaced (no terminal to ask; -o replaces, -n keeps)";

std::string clockTime(double seconds) {
    const unsigned long s = seconds < 0 ? 0 : (unsigned long)(seconds + 0.5);
    char buf[32];
    if (s >= 3600)
        snprintf(buf, sizeof buf, "%lu:%02lu:%02lu", s / 3600, s / 60 % 60, s % 60);
    else
        snprintf(buf, sizeof buf, "%lu:%02lu", s / 60, s % 60);
    return buf;
}

std::string statusLine(unsigned width, uint64_t files, uint64_t totalFiles, uint64_t bytes,
                       uint64_t totalBytes, double seconds, const std::string &name) {
    const std::string count = std::to_string(files) + "/" + std::to_string(totalFiles);
    const std::string size = shortSize(bytes) + "/" + shortSize(totalBytes);
    std::string rate, left;
    if (seconds >= 0.5 && bytes > 0) {
        const double perSecond = (double)bytes / seconds;
        rate = shortSize((uint64_t)perSecond) + "/s";
        left = clockTime((double)(totalBytes > bytes ? totalBytes - bytes : 0) / perSecond) + " left";
    }
    // The widest form that leaves a name of 16 characters, else the narrowest.
    const std::string forms[] = {count + " files  " + size + (rate.empty() ? "" : "  " + rate + "  ") + left,
                                 count + " " + size + (left.empty() ? "" : " " + left), count + " " + size};
    const size_t room = width > 1 ? width - 1 : 0;
    std::string head = forms[2];
    for (const std::string &f : forms) {
        if (f.size() + 2 + 16 <= room) {
            head = f;
            break;
        }
    }
    if (head.size() + 2 >= room)
        return head.substr(0, room);
    const size_t nameRoom = room - head.size() - 2;
    std::string shown = name;
    if (shown.size() > nameRoom) {
        // The start and the end of the name, its middle left out: counted in
        // bytes, with a cut UTF-8 character moved to the side of the cut.
        const size_t keep = nameRoom > 3 ? nameRoom - 3 : 0;
        size_t front = keep / 2, back = shown.size() - (keep - front);
        while (front > 0 && ((unsigned char)shown[front] & 0xC0) == 0x80)
            --front;
        while (back < shown.size() && ((unsigned char)shown[back] & 0xC0) == 0x80)
            ++back;
        shown = shown.substr(0, front) + "..." + shown.substr(back);
    }
    return head + "  " + shown;
}

Console::Console(Terminal terminal, int quiet) : t_(std::move(terminal)), quiet_(quiet) {
    started_ = std::chrono::steady_clock::now();
}

void Console::start(uint64_t files, uint64_t bytes, const char *verb) {
    totalFiles_ = files;
    totalBytes_ = bytes;
    verb_ = verb;
    haveCurrent_ = false;
    current_.clear();
}

bool Console::cancelled() const {
    return t_.interrupted && t_.interrupted();
}

void Console::endLine() {
    if (lineOpen_) {
        // The status line is cleared, so that what follows starts clean.
        *t_.out << "\r" << std::string(t_.width > 1 ? t_.width - 1 : 0, ' ') << "\r";
        t_.out->flush();
    }
    lineOpen_ = false;
}

std::string Console::lastEntry() const {
    return displayPath(current_);
}

void Console::finishEntry() {
    if (haveCurrent_ && !currentFailed_) {
        ++files_;
        bytes_ += currentSize_;
    }
    haveCurrent_ = false;
}

int16_t Console::event(const QzPrintBlock &b) {
    switch (b.eventKind) {
    case QZ_EVENT_MESSAGE: return message(b);
    case QZ_EVENT_QUESTION: return question(b);
    case QZ_EVENT_NOTIFICATION: break;
    default: return QZ_ANSWER_OK;
    }
    if (b.operation != QZ_OP_EXTRACTING && b.operation != QZ_OP_TESTING)
        return QZ_ANSWER_OK;
    const bool fresh = !haveCurrent_ || current_ != b.fileName || (b.bytesDone == 0 && currentDone_ > 0);
    if (fresh) {
        finishEntry();
        current_ = b.fileName;
        haveCurrent_ = true;
        currentFailed_ = false;
        currentSize_ = b.entrySize;
        if (!quiet_ && !t_.progressBar) {
            char head[16];
            snprintf(head, sizeof head, "%11s: ", verb_);
            *t_.out << head << displayPath(current_) << "\n";
        }
    }
    currentDone_ = b.bytesDone;
    if (!quiet_ && t_.progressBar)
        drawStatus();
    return QZ_ANSWER_OK;
}

void Console::drawStatus() {
    // Redrawn at most ten times a second: a tree of small files is not held
    // up by its terminal.
    const auto now = std::chrono::steady_clock::now();
    if (lineOpen_ && now - lastDraw_ < std::chrono::milliseconds(100))
        return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    const std::string line = statusLine(t_.width, files_, totalFiles_, bytes_ + currentDone_, totalBytes_,
                                        seconds, displayPath(current_));
    *t_.out << "\r" << line << std::string(t_.width - 1 > line.size() ? t_.width - 1 - line.size() : 0, ' ');
    t_.out->flush();
    lineOpen_ = true;
}

void Console::warn(const std::string &name, const std::string &what, Reason reason) {
    endLine();
    problems_.push_back({name, reason});
    if (quiet_ < 2 || reason != Reason::kExists)
        *t_.err << "qzunzip: " << name << ": " << what << "\n";
    t_.err->flush();
}

void Console::notDone(const char *name) {
    if (haveCurrent_ && current_ == name)
        currentFailed_ = true;
}

int16_t Console::message(const QzPrintBlock &b) {
    const std::string name = displayPath(b.fileName);
    notDone(b.fileName);
    switch (b.eventCode) {
    case QZ_CRC_MISMATCH: warn(name, "bad CRC, the data is damaged", Reason::kDamaged); break;
    case QZ_WRONG_PASSWORD: warn(name, "incorrect password, skipped", Reason::kPassword); break;
    case QZ_ERR_METHOD: {
        const std::string method = describeMethod ? describeMethod(name) : "";
        if (method == "AES" || method == "strong")
            warn(name, "unsupported encryption (" + method + "), skipped", Reason::kUnsupported);
        else
            warn(name, "unsupported compression method " + method + ", skipped", Reason::kUnsupported);
        break;
    }
    case QZ_ERR_FILE: warn(name, "cannot be written (access denied), skipped", Reason::kOther); break;
    case QZ_ERR_MKDIR: warn(name, "its directory cannot be created, skipped", Reason::kOther); break;
    case QZ_TOO_LONG: warn(name, "name too long, skipped", Reason::kOther); break;
    case QZ_EXT_UNSAFE_NAME:
        warn(name, "the name leads out of the destination, skipped", Reason::kOther);
        break;
    case QZ_EXT_INVALID_TIME:
        // The file is there; only its time is that of the extraction.
        endLine();
        if (quiet_ < 2)
            *t_.err << "qzunzip: " << name
                    << ": invalid date or time, the file keeps the time of extraction\n";
        break;
    default: warn(name, "skipped (" + resultName(b.eventCode) + ")", Reason::kOther); break;
    }
    return cancelled() ? QZ_ANSWER_CANCEL : QZ_ANSWER_OK;
}

bool Console::ask(const std::string &prompt, std::string *answer) {
    endLine();
    *t_.err << prompt;
    t_.err->flush();
    const bool got = t_.readLine && t_.readLine(answer);
    if (!got)
        *t_.err << "\n";
    return got && !cancelled();
}

int16_t Console::question(const QzPrintBlock &b) {
    endLine();
    const std::string name = displayPath(b.fileName);
    std::string line;
    if (b.eventCode == QZ_QUESTION_OVERWRITE) {
        if (!t_.readLine || noneToAll_) {
            if (!noneToAll_)
                warn(name, kKept, Reason::kExists);
            notDone(b.fileName);
            return QZ_ANSWER_NO;
        }
        for (;;) {
            if (!ask("replace " + name + "? [y]es, [n]o, [A]ll, [N]one, [q]uit: ", &line)) {
                if (cancelled())
                    return QZ_ANSWER_CANCEL;
                // The end of input: this file and every later one are kept.
                warn(name, kKept, Reason::kExists);
                noneToAll_ = true;
                notDone(b.fileName);
                return QZ_ANSWER_NO;
            }
            const size_t k = line.find_first_not_of(" \t");
            const char c = k == std::string::npos ? '\0' : line[k];
            if (c == 'y' || c == 'Y')
                return QZ_ANSWER_YES;
            if (c == 'n' || c == 'N') {
                noneToAll_ = c == 'N';
                notDone(b.fileName);
                return QZ_ANSWER_NO;
            }
            if (c == 'A')
                return QZ_ANSWER_YES_TO_ALL;
            if (c == 'q' || c == 'Q')
                return QZ_ANSWER_CANCEL;
        }
    }
    if (b.eventCode == QZ_QUESTION_DISK || b.eventCode == QZ_QUESTION_LAST_DISK) {
        const std::string what = b.eventCode == QZ_QUESTION_DISK
                                     ? "Insert disk # " + std::to_string(b.diskNumber)
                                     : std::string("Insert the last disk of the set");
        if (!t_.readLine) {
            *t_.err << "qzunzip: " << what << ": no terminal to ask, cancelled\n";
            return QZ_ANSWER_CANCEL;
        }
        if (!ask(what + " and press Enter (q to cancel): ", &line))
            return QZ_ANSWER_CANCEL;
        const size_t k = line.find_first_not_of(" \t");
        return k != std::string::npos && (line[k] == 'q' || line[k] == 'Q') ? QZ_ANSWER_CANCEL : QZ_ANSWER_OK;
    }
    return QZ_ANSWER_CANCEL;
}

// ---- the hook ---------------------------------------------------------------------------

Console *PrintHook::console_ = nullptr;

PrintHook::PrintHook(Console &console) {
    console_ = &console;
    Qz4SetCPrint(1);
    Qz4CPrintHook(&PrintHook::entry);
}

PrintHook::~PrintHook() {
    Qz4CPrintHook(nullptr);
    Qz4SetCPrint(0);
    console_ = nullptr;
}

int16_t QZ_CALL PrintHook::entry(QzPrintBlock block) {
    return console_ ? console_->event(block) : (int16_t)QZ_ANSWER_OK;
}

}  // namespace qzunzip
