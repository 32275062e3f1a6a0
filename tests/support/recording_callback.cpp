// recording_callback.cpp -- the scripted, recording print callback.
#include "support/recording_callback.h"

namespace qztest {

RecordingCallback *RecordingCallback::current_ = nullptr;

RecordingCallback::RecordingCallback()
{
    current_ = this;
    Qz4SetCPrint(1);
    Qz4CPrintHook(&RecordingCallback::entry);
}

RecordingCallback::~RecordingCallback()
{
    Qz4CPrintHook(nullptr);
    Qz4SetCPrint(0);
    if (current_ == this)
        current_ = nullptr;
}

void RecordingCallback::script(std::vector<int16_t> answers)
{
    script_.assign(answers.begin(), answers.end());
}

std::vector<QzPrintBlock> RecordingCallback::eventsOf(int16_t kind, int code) const
{
    std::vector<QzPrintBlock> out;
    for (const QzPrintBlock &b : events_)
        if (b.eventKind == kind && (code == -1 || b.eventCode == code))
            out.push_back(b);
    return out;
}

int16_t RecordingCallback::answer(const QzPrintBlock &block)
{
    // A test whose answers never satisfy the library would otherwise be
    // asked for ever: past this many events every answer is cancel.
    if (events_.size() >= kMaxEvents)
        return QZ_ANSWER_CANCEL;
    events_.push_back(block);
    if (hook_) {
        int a = hook_(block);
        if (a != kNoAnswer)
            return (int16_t)a;
    }
    if (!script_.empty()) {
        int16_t a = script_.front();
        script_.pop_front();
        return a;
    }
    return default_;
}

int16_t QZ_CALL RecordingCallback::entry(QzPrintBlock block)
{
    return current_ ? current_->answer(block) : (int16_t)QZ_ANSWER_OK;
}

}  // namespace qztest
