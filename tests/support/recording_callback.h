// recording_callback.h -- a print callback for the tests: it records a copy
// of the block of every event and answers from a script.
//
// While a RecordingCallback lives it is the library's print hook and the
// print switch is on; its destructor removes the hook and switches printing
// off again.  Only one may live at a time.
#ifndef QZ_TEST_RECORDING_CALLBACK_H
#define QZ_TEST_RECORDING_CALLBACK_H

#include <deque>
#include <functional>
#include <vector>

#include "qzunpack.h"

namespace qztest {

class RecordingCallback {
public:
    RecordingCallback();
    ~RecordingCallback();
    RecordingCallback(const RecordingCallback &) = delete;
    RecordingCallback &operator=(const RecordingCallback &) = delete;

    // Answers given in order, one per event; when the script runs out the
    // default answer is given.
    void script(std::vector<int16_t> answers);
    void setDefault(int16_t answer) { default_ = answer; }
    // Runs for every event before the answer is chosen; when it returns a
    // value other than kNoAnswer, that value is the answer.
    static const int kNoAnswer = 0x7FFFFFFF;
    // Events recorded at most; after them every answer is cancel.
    static const size_t kMaxEvents = 10000;
    void onEvent(std::function<int(const QzPrintBlock &)> f) { hook_ = std::move(f); }

    const std::vector<QzPrintBlock> &events() const { return events_; }
    // The events of one kind (and code, when code is not -1).
    std::vector<QzPrintBlock> eventsOf(int16_t kind, int code = -1) const;
    void clear() { events_.clear(); }

private:
    static int16_t QZ_CALL entry(QzPrintBlock block);
    int16_t answer(const QzPrintBlock &block);

    std::vector<QzPrintBlock> events_;
    std::deque<int16_t> script_;
    int16_t default_ = QZ_ANSWER_OK;
    std::function<int(const QzPrintBlock &)> hook_;
    static RecordingCallback *current_;
};

}  // namespace qztest

#endif
