// recording_callback.cpp -- the recording print callback.
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
    current_ = nullptr;
}

std::vector<QzPrintBlock> RecordingCallback::eventsOf(int16_t kind, int code) const
{
    std::vector<QzPrintBlock> out;
    for (const QzPrintBlock &b : events_)
        if (b.eventKind == kind && (code == -1 || b.eventCode == code))
            out.push_back(b);
    return out;
}

int16_t QZ_CALL RecordingCallback::entry(QzPrintBlock block)
{
    RecordingCallback *self = current_;
    if (!self)
        return QZ_ANSWER_OK;
    if (self->events_.size() >= 10000)
        return QZ_ANSWER_CANCEL;
    self->events_.push_back(block);
    int answer = self->hook_ ? self->hook_(block) : kNoAnswer;
    return (int16_t)(answer != kNoAnswer ? answer : QZ_ANSWER_OK);
}

}  // namespace qztest
