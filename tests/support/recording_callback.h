// recording_callback.h -- a print callback for the tests: while one lives it
// is the library's print hook (printing switched on), records every event's
// block and answers it: by the hook when that gives an answer, else OK.
// After 10,000 events every answer is cancel, so that a test the
// library keeps asking ends.  Only one may live at a time.
#ifndef QZ_TEST_RECORDING_CALLBACK_H
#define QZ_TEST_RECORDING_CALLBACK_H

#include <functional>
#include <vector>

#include "qzunpack.h"

namespace qztest {

class RecordingCallback {
public:
    static const int kNoAnswer = 0x7FFFFFFF;

    RecordingCallback() {
        current_ = this;
        Qz4SetCPrint(1);
        Qz4CPrintHook(&RecordingCallback::entry);
    }
    ~RecordingCallback() {
        Qz4CPrintHook(nullptr);
        Qz4SetCPrint(0);
        current_ = nullptr;
    }
    RecordingCallback(const RecordingCallback &) = delete;
    RecordingCallback &operator=(const RecordingCallback &) = delete;

    void onEvent(std::function<int(const QzPrintBlock &)> f) { hook_ = std::move(f); }
    const std::vector<QzPrintBlock> &events() const { return events_; }
    // The events of one kind (and code, unless -1).
    std::vector<QzPrintBlock> eventsOf(int16_t kind, int code = -1) const {
        std::vector<QzPrintBlock> out;
        for (const QzPrintBlock &b : events_)
            if (b.eventKind == kind && (code == -1 || b.eventCode == code))
                out.push_back(b);
        return out;
    }
    void clear() { events_.clear(); }

private:
    static int16_t QZ_CALL entry(QzPrintBlock block) {
        if (!current_ || current_->events_.size() >= 10000)
            return current_ ? QZ_ANSWER_CANCEL : QZ_ANSWER_OK;
        current_->events_.push_back(block);
        int answer = current_->hook_ ? current_->hook_(block) : kNoAnswer;
        return (int16_t)(answer != kNoAnswer ? answer : QZ_ANSWER_OK);
    }

    std::vector<QzPrintBlock> events_;
    std::function<int(const QzPrintBlock &)> hook_;
    static inline RecordingCallback *current_ = nullptr;
};

}  // namespace qztest

#endif
