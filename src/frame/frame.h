// frame.h -- the library frame: process-wide state, the forms of the work
// buffers every subsystem shares, the message pump, the writers of the
// print block, the message dispatcher and the command-string parser, as the
// other subsystems see them.
//
// All state is static, zero-initialised storage of the library (a few items
// start with a value of their own).  There are no locks: one operation runs
// at a time on the caller's thread.
#ifndef QZ_FRAME_FRAME_H
#define QZ_FRAME_FRAME_H

#include <stdint.h>

#include "platform/names.h"
#include "platform/win32.h"
#include "qzunpack.h"

namespace qz {
namespace frame {

// The library-wide state that more than one export touches.
//
// Outside the frame, the print block and the extended info are written
// only through the functions of the print block section below, so every
// field an event carries is set where a reader can see it.
struct State {
    bool cancel;                // set by Qz4Cancel until someone reports it
    bool doEvents;              // the message pump peeks the queue
    int16_t moreStatus;         // problem code of the last Qz4UnZip run
    bool parseType;             // the parser takes the compact dialect (type 1)
    int16_t parsePlace;         // -1, or the offset of the last syntax error
    bool printSwitch;           // events go to the hook or to message boxes
    QzPrintCallback printHook;  // the host's callback, or null
    uint32_t printFlags;        // stored for the host; nothing reads it
    QzExtPrintInfo extInfo;     // date and time of the current entry
    QzPrintBlock print;         // the block every event sends a copy of
};

extern State g;

// Each of the two shared transfer buffers holds this much: a chunk of
// compressed data read at once, and the room of one decoding step.
enum : uint32_t { kTransferBytes = 0xFFF0 };

// The two shared transfer buffers.  The archive subsystem owns them while
// an archive is open; the decoding pipeline works in them.
struct TransferBuffers {
    uint8_t *input;   // fixed block: each chunk of compressed data is read here
    HGLOBAL output;   // movable block (lock it for use): decoded bytes go here
};

// A block of movable global memory, locked while it is held: the form the
// library gives its work buffers.  release() may be called on a block that
// was never allocated, or whose allocation failed.
struct LockedBlock {
    HGLOBAL memory = nullptr;
    void *p = nullptr;

    // True when the block is allocated and locked; on failure nothing is held.
    bool allocate(SIZE_T bytes) {
        memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
        p = memory ? GlobalLock(memory) : nullptr;
        if (!p)
            release();
        return p != nullptr;
    }
    void release() {
        if (memory) {
            if (p)
                GlobalUnlock(memory);
            GlobalFree(memory);
        }
        memory = nullptr;
        p = nullptr;
    }
};

// Peeks the message queue once (without removing anything) when the
// do-events flag is set.  Long loops call it once per block of work.
void pump();

// Looks at the cancel flag; when it is set, clears it and returns true so
// that the caller reports QZ_CANCELLED.
bool takeCancel();

// ---- the print block and the extended info (print.cpp) -------------------

// The operation the following events report (QZ_OP_EXTRACTING ...).
void setOperation(int16_t operation);

// The archive or current volume the events name: an OEM path, shown to the
// host in ANSI.
void setArchiveName(const char *oemName);

// The start of an entry: the name the events show (the destination path,
// or the entry's name in a test), with '\' for every separator as hosts
// expect.
void beginEntry(const char *name);

// What the events and the extended info say about the entry begun: its
// internal method code and uncompressed size, and its DOS date and time.
void describeEntry(int16_t method, uint32_t size, uint16_t dosDate, uint16_t dosTime);

// Every archive open clears the reserved fields of the extended info.
void clearExtendedReserved();

// ---- events (dispatch.cpp) --------------------------------------------------

// Sends one message, notification or overwrite question: kind and code are
// stored in the print block, and a copy goes to the hook, to a message box
// or to the silent answer, as the print switch and hook decide.
int16_t raise(int16_t kind, int16_t code);

// Asks for a disk (QZ_QUESTION_DISK or QZ_QUESTION_LAST_DISK); the block
// carries the disk number with either question.
int16_t askDisk(int16_t code, int16_t disk);

// The progress notification of the entry being decoded: the bytes done so
// far.  Only the event kind changes with it; the event code stays what the
// last event left.
void progress(uint32_t bytesDone);

// The notification that the current entry is skipped without a message.
// It is sent only while extracting: the operation reads "skipped" for that
// one event.
void notifySkipped();

// Registers the routine that runs when the process unloads the library
// (the archive subsystem closes the archives still open).  The frame owns
// the entry point; the subsystems above it hand in what must run there.
void atUnload(void (*routine)());

// Runs the registered unload routine; the entry point calls it when the
// process detaches the library.
void unload();

// ---- command-string parser (parse.cpp) ------------------------------------

// No command string is longer than kCommandBytes - 1 characters, and the
// password buffer that the parser fills holds kPasswordBytes bytes.
enum { kCommandBytes = 128, kPasswordBytes = 128 };

// Parses a command string (null or empty: nothing to do) in the dialect of
// the parse type into the option flag word, which the caller presets and
// the compact dialect first adds OPT_STRIP_H|S|R|N to, and into the
// password (empty without -S).  Returns QZ_OK, QZ_ERR_SWITCH,
// QZ_ERR_SWITCH_CONFLICT (with the parse place set to where it stopped) or
// QZ_TOO_LONG; bits set before an error stay set.
int16_t parse(const char *command, uint32_t *flags, char *password);

}  // namespace frame
}  // namespace qz

#endif
