// console.cpp -- progress lines, warnings and questions.
#include "console.h"

#include <stdint.h>

#include "qzunpack_ext.h"
#include "text.h"

namespace qzunzip {

namespace {

const char *verbOf(int16_t operation) {
    return operation == QZ_OP_TESTING ? "    testing" : " extracting";
}

// Percentage done, through the library's formula: with the bytes still to
// go as the part, Qz4ZipPercent gives the share done.
int percentDone(uint32_t total, uint32_t done) {
    if (done > total)
        done = total;
    uint32_t left = total - done;
    while (total > 0x7FFFFFFFu) {
        total >>= 1;
        left >>= 1;
    }
    return Qz4ZipPercent((int32_t)total, (int32_t)left);
}

std::string messageText(int16_t code) {
    switch (code) {
    case QZ_CRC_MISMATCH: return "CRC mismatch, the file may be damaged";
    case QZ_WRONG_PASSWORD: return "wrong password, skipped";
    case QZ_ERR_METHOD: return "unknown compression method, skipped";
    case QZ_ERR_FILE: return "access denied, skipped";
    case QZ_ERR_MKDIR: return "its directory cannot be created, skipped";
    case QZ_TOO_LONG: return "name too long, skipped";
    case QZ_EXT_INVALID_TIME: return "invalid date or time, the file keeps the time of extraction";
    default: return resultName(code);
    }
}

}  // namespace

Console::Console(Terminal terminal, bool quiet) : t_(std::move(terminal)), quiet_(quiet) {}

int16_t Console::event(const QzPrintBlock &b) {
    switch (b.eventKind) {
    case QZ_EVENT_MESSAGE: return message(b);
    case QZ_EVENT_QUESTION: return question(b);
    case QZ_EVENT_NOTIFICATION:
        if (b.operation == QZ_OP_SKIPPED) {
            endLine();
            if (!quiet_)
                *t_.out << "    skipped: " << displayPath(b.fileName) << "\n";
        } else if (b.operation == QZ_OP_EXTRACTING || b.operation == QZ_OP_TESTING) {
            progress(b);
        }
        return QZ_ANSWER_OK;
    default: return QZ_ANSWER_OK;
    }
}

void Console::endLine() {
    if (lineOpen_) {
        *t_.out << "\n";
        t_.out->flush();
    }
    lineOpen_ = false;
    lineLength_ = 0;
}

bool Console::cancelled() const {
    return t_.interrupted && t_.interrupted();
}

// ---- progress -------------------------------------------------------------------

void Console::progress(const QzPrintBlock &b) {
    const bool fresh = current_ != b.fileName || (b.bytesDone == 0 && lastDone_ > 0);
    lastDone_ = b.bytesDone;
    if (fresh) {
        endLine();
        current_ = b.fileName;
        ++entries_;
    }
    if (quiet_)
        return;
    if (t_.progressBar)
        drawProgress(b, fresh);
    else if (fresh)
        // Flushed, so that a program reading a pipe sees each entry begin.
        *t_.out << verbOf(b.operation) << ": " << displayPath(current_) << std::endl;
}

void Console::drawProgress(const QzPrintBlock &b, bool force) {
    // Redrawn at most ten times a second, and at the end of the entry.
    const auto now = std::chrono::steady_clock::now();
    const bool last = b.entrySize > 0 && b.bytesDone >= b.entrySize;
    if (!force && !last && now - lastDraw_ < std::chrono::milliseconds(100))
        return;
    lastDraw_ = now;

    std::string tail;
    if (b.entrySize > 0) {
        const int pct = percentDone(b.entrySize, b.bytesDone);
        std::string bar(20, '.');
        bar.replace(0, (size_t)pct / 5, (size_t)pct / 5, '#');
        tail = "  [" + bar + "] " + std::to_string(pct) + "%  " + shortSize(b.bytesDone) + " / " +
               shortSize(b.entrySize);
    } else {
        tail = "  " + shortSize(b.bytesDone);
    }
    const std::string head = std::string(verbOf(b.operation)) + ": ";
    std::string name = displayPath(current_);
    const size_t room = t_.width > head.size() + tail.size() + 4 ? t_.width - 1 - head.size() - tail.size() : 4;
    if (name.size() > room)
        name = "..." + name.substr(name.size() - (room - 3));
    std::string line = head + name + tail;
    const size_t drawn = line.size();
    if (drawn < lineLength_)
        line.append(lineLength_ - drawn, ' ');
    *t_.out << "\r" << line;
    t_.out->flush();
    lineLength_ = drawn;
    lineOpen_ = true;
}

// ---- messages and questions ---------------------------------------------------------

int16_t Console::message(const QzPrintBlock &b) {
    endLine();
    ++warnings_;
    *t_.err << "qzunzip: warning: " << displayPath(b.fileName) << ": " << messageText(b.eventCode) << " ("
            << b.eventCode << ")\n";
    t_.err->flush();
    return cancelled() ? QZ_ANSWER_CANCEL : QZ_ANSWER_OK;
}

bool Console::ask(const std::string &prompt, std::string *answer) {
    *t_.err << prompt;
    t_.err->flush();
    const bool got = t_.readLine(answer);
    if (!got)
        *t_.err << "\n";
    return got && !cancelled();
}

int16_t Console::question(const QzPrintBlock &b) {
    endLine();
    const std::string name = displayPath(b.fileName);
    std::string line;
    if (b.eventCode == QZ_QUESTION_OVERWRITE) {
        if (!t_.readLine) {
            if (!quiet_)
                *t_.out << "     exists: " << name << " (not replaced)\n";
            return QZ_ANSWER_NO;
        }
        for (;;) {
            if (!ask("replace " + name + "? [y]es, [n]o, [A]ll, [q]uit: ", &line))
                return cancelled() ? QZ_ANSWER_CANCEL : QZ_ANSWER_NO;
            const size_t k = line.find_first_not_of(" \t");
            const char c = k == std::string::npos ? '\0' : line[k];
            if (c == 'y' || c == 'Y')
                return QZ_ANSWER_YES;
            if (c == 'n' || c == 'N')
                return QZ_ANSWER_NO;
            if (c == 'A' || c == 'a')
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
