// inflate_driver.h -- runs the engine over a whole stream the way the
// pipelines do, with chosen input and output chunk sizes, and checks the call
// protocol on every return.
#ifndef QZ_TESTS_DECODE_INFLATE_DRIVER_H
#define QZ_TESTS_DECODE_INFLATE_DRIVER_H

#include <stdint.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decode/decode.h"

namespace qz_test {

// One Inflate call on a workspace of its own, with the counts it returned.
class Engine {
public:
    explicit Engine(bool oddAddress = false)
        : block_(qz::decode::InflateWorkspaceSize() + 1), ws_(block_.data() + (oddAddress ? 1 : 0)) {
        if ((reinterpret_cast<uintptr_t>(ws_) & 1) != static_cast<uintptr_t>(oddAddress))
            ws_ = block_.data() + (oddAddress ? 0 : 1);
        qz::decode::InflateReset(ws_);
    }
    struct Ret {
        int32_t result;
        uint32_t consumed;
        uint32_t written;
        uint16_t state;
    };
    // Input: `in` (count bytes); output: room bytes appended to `out`.
    Ret Call(const uint8_t *in, uint32_t count, std::vector<uint8_t> &out, uint32_t room, bool final) {
        size_t at = out.size();
        out.resize(at + room + 1);
        Ret r;
        r.consumed = count;
        r.written = room;
        r.result = qz::decode::Inflate(in, 0, &r.consumed, out.data(), static_cast<uint32_t>(at),
                                       &r.written, ws_, final ? 1 : 0);
        out.resize(at + r.written);
        r.state = qz::decode::InflateState(ws_);
        return r;
    }
    // Output: room bytes at out.
    Ret Call(const uint8_t *in, uint32_t count, uint8_t *out, uint32_t room, bool final) {
        Ret r;
        r.consumed = count;
        r.written = room;
        r.result = qz::decode::Inflate(in, 0, &r.consumed, out, 0, &r.written, ws_, final ? 1 : 0);
        r.state = qz::decode::InflateState(ws_);
        return r;
    }
    Ret Call(const std::vector<uint8_t> &in, std::vector<uint8_t> &out, uint32_t room, bool final) {
        return Call(in.data(), static_cast<uint32_t>(in.size()), out, room, final);
    }
    void *workspace() { return ws_; }

private:
    std::vector<uint8_t> block_;
    uint8_t *ws_;
};

// How a run hands out input and output space: chunk sizes, each at least 1.
struct Feed {
    std::function<uint32_t()> in;
    std::function<uint32_t()> out;
    static Feed Whole() {
        return {[] { return 0xFFFFFFFFu; }, [] { return 0x7FFFFFFFu; }};
    }
    static Feed Bytes() {
        return {[] { return 1u; }, [] { return 1u; }};
    }
    // Random sizes from 1 to about maxIn / maxOut, skewed towards small ones.
    static Feed Random(uint32_t seed, uint32_t maxIn, uint32_t maxOut) {
        auto rng = std::make_shared<std::mt19937>(seed);
        auto pick = [rng](uint32_t max) {
            uint32_t bits = (*rng)() % 32;
            uint32_t limit = bits >= 31 ? max : std::min<uint32_t>(max, (1u << (bits % 18)));
            return 1 + (*rng)() % limit;
        };
        return {[=] { return pick(maxIn); }, [=] { return pick(maxOut); }};
    }
};

struct DriveResult {
    std::vector<uint8_t> out;
    int32_t result = 0;         // of the last call
    uint64_t consumed = 0;      // over all calls
    size_t calls = 0;
    bool sawNeedInput = false;
    bool sawNeedOutput = false;
    std::vector<Engine::Ret> rets;  // every call, in order
    std::string error;          // a broken protocol rule, or empty
};

// Feeds the stream until the engine finishes; the final-input flag comes with
// the call that hands out the last bytes (never, when finalAtEnd is false:
// the run then stops when the input is used up).  Output space per call is
// also bounded by maxOutput plus a window's worth, so give a whole feed a
// maxOutput near the expected size.
inline DriveResult Drive(const std::vector<uint8_t> &stream, const Feed &feed, bool finalAtEnd = true,
                 size_t maxOutput = 64u << 20) {
    Engine e;
    DriveResult run;
    size_t pos = 0;
    std::unique_ptr<uint8_t[]> room_buffer;  // uninitialised: no clearing per call
    size_t room_size = 0;
    for (;;) {
        uint64_t wantIn = feed.in();
        uint32_t nIn = static_cast<uint32_t>(std::min<uint64_t>(wantIn, stream.size() - pos));
        bool final = finalAtEnd && pos + nIn == stream.size();
        if (nIn == 0 && !final)
            break;  // input used up without the final flag
        uint64_t room = std::min<uint64_t>(feed.out(), maxOutput + 70000 - run.out.size());
        if (room > room_size) {
            room_size = static_cast<size_t>(room);
            room_buffer.reset(new uint8_t[room_size]);
        }
        Engine::Ret r = e.Call(stream.data() + pos, nIn, room_buffer.get(), static_cast<uint32_t>(room), final);
        run.out.insert(run.out.end(), room_buffer.get(), room_buffer.get() + std::min<uint64_t>(r.written, room));
        run.rets.push_back(r);
        ++run.calls;
        run.result = r.result;
        if (r.consumed > nIn || r.written > room) {
            run.error = "counts beyond what was given";
            return run;
        }
        pos += r.consumed;
        run.consumed += r.consumed;
        if (r.result == qz::decode::kInflateFinished)
            return run;
        if (r.result != qz::decode::kInflateSuspended) {
            run.error = "unknown result";
            return run;
        }
        if (r.consumed == 0 && r.written == 0) {
            run.error = "a call made no progress";
            return run;
        }
        if (r.state == qz::decode::kInflateNeedInput) {
            run.sawNeedInput = true;
            if (r.consumed != nIn) {
                run.error = "waiting for input with input left";
                return run;
            }
        } else if (r.state == qz::decode::kInflateNeedOutput) {
            run.sawNeedOutput = true;
            if (r.written != room) {
                run.error = "waiting for output with room left";
                return run;
            }
        } else {
            run.error = "suspended in an unknown state";
            return run;
        }
        if (run.out.size() > maxOutput) {
            run.error = "output beyond the limit";
            return run;
        }
    }
    return run;
}

}  // namespace qz_test

#endif
