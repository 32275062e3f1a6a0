// dispatch.cpp -- sending events to the host: the message dispatcher and the
// message-box fallback.
//
// Every message, question and notification goes through dispatch() with a
// copy of the print block.  With the print switch off the answer is chosen
// here without showing anything; with it on the host's callback answers, or,
// when there is no callback (or it asks for the default), a message box.
#include "frame/frame.h"

#include "platform/win32.h"

namespace qz {
namespace frame {

namespace {

// The answers given when nobody may be asked: do not overwrite, cancel any
// other question, and carry on after messages and notifications.
int16_t silentAnswer(const QzPrintBlock &b) {
    if (b.eventKind == QZ_EVENT_QUESTION)
        return b.eventCode == QZ_QUESTION_OVERWRITE ? QZ_ANSWER_NO : QZ_ANSWER_CANCEL;
    return QZ_ANSWER_OK;
}

const char *caption(int16_t operation) {
    switch (operation) {
    case QZ_OP_EXTRACTING: return "UnZipping";
    case QZ_OP_TESTING:    return "Testing";
    case QZ_OP_INDEXING:   return "Indexing";
    default:               return "";
    }
}

const char *messageSuffix(int16_t code) {
    switch (code) {
    case QZ_CRC_MISMATCH:   return ": CRC mismatch. File may have error.";
    case QZ_WRONG_PASSWORD: return ": wrong password. Skipping file.";
    case QZ_ERR_METHOD:     return ": unknown compression method. Skipping file.";
    case QZ_ERR_FILE:       return ": access denied. Skipping file.";
    default:                return "";
    }
}

// Appends the decimal form of a signed 16-bit number.
void appendNumber(char *text, size_t size, int n) {
    char digits[8];
    int len = 0;
    unsigned u = n < 0 ? 0u - (unsigned)n : (unsigned)n;
    do {
        digits[len++] = (char)('0' + u % 10);
        u /= 10;
    } while (u);
    if (n < 0)
        digits[len++] = '-';
    size_t at = (size_t)lstrlenA(text);
    while (len > 0 && at + 1 < size)
        text[at++] = digits[--len];
    text[at] = 0;
}

int16_t messageBox(const QzPrintBlock &b) {
    // The file name (259 characters) and the longest suffix fit in here.
    char text[sizeof b.fileName + 64];
    UINT style;

    lstrcpynA(text, b.fileName, sizeof b.fileName);
    switch (b.eventKind) {
    case QZ_EVENT_MESSAGE:
        lstrcatA(text, messageSuffix(b.eventCode));
        style = MB_OKCANCEL | MB_ICONEXCLAMATION;
        break;
    case QZ_EVENT_QUESTION:
        switch (b.eventCode) {
        case QZ_QUESTION_DISK:
            lstrcpyA(text, "Insert disk # ");
            appendNumber(text, sizeof text, b.diskNumber);
            style = MB_OKCANCEL | MB_ICONQUESTION;
            break;
        case QZ_QUESTION_OVERWRITE:
            lstrcatA(text, ": file already exists. Overwrite it?");
            style = MB_YESNOCANCEL | MB_DEFBUTTON2 | MB_ICONQUESTION;
            break;
        case QZ_QUESTION_LAST_DISK:
            lstrcpyA(text, "Insert the last disk of the set.");
            style = MB_OKCANCEL | MB_ICONQUESTION;
            break;
        default:
            style = MB_OK | MB_ICONQUESTION;
            break;
        }
        break;
    default:
        return QZ_ANSWER_OK;   // notifications are never shown
    }
    return (int16_t)MessageBoxA(NULL, text, caption(b.operation), style);
}

// Every event goes out here with a copy of the print block.
int16_t dispatch(QzPrintBlock block) {
    if (!g.printSwitch)
        return silentAnswer(block);

    // Hosts see Windows paths: every '/' becomes '\'.
    replaceChar(block.archiveName, '/', '\\');
    replaceChar(block.fileName, '/', '\\');

    if (!g.printHook)
        return messageBox(block);
    int16_t answer = g.printHook(block);
    if (answer == QZ_ANSWER_DEFAULT)
        return messageBox(block);
    return answer;
}

}  // namespace

int16_t raise(int16_t kind, int16_t code) {
    g.print.eventKind = kind;
    g.print.eventCode = code;
    return dispatch(g.print);
}

int16_t askDisk(int16_t code, int16_t disk) {
    g.print.diskNumber = disk;
    return raise(QZ_EVENT_QUESTION, code);
}

void progress(uint32_t bytesDone) {
    g.print.bytesDone = bytesDone;
    g.print.eventKind = QZ_EVENT_NOTIFICATION;
    dispatch(g.print);
}

void notifySkipped() {
    if (g.print.operation != QZ_OP_EXTRACTING)
        return;
    g.print.operation = QZ_OP_SKIPPED;
    raise(QZ_EVENT_NOTIFICATION, 0);
    g.print.operation = QZ_OP_EXTRACTING;
}

}  // namespace frame
}  // namespace qz
