// lockstep.h -- runs a stream through two engines call by call, one with the
// fast loop and one forced to decode byte-wise, fed the same pieces of input
// and output room.  They must return the same result, counts and state word,
// write the same bytes and nothing behind them, and leave the same window and
// bit state; every return must keep the call protocol.
#ifndef QZ_TESTS_DECODE_LOCKSTEP_H
#define QZ_TESTS_DECODE_LOCKSTEP_H

#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <memory>

#include "decode/decode.h"
#include "streams.h"

namespace qz_test {

namespace dc = qz::decode;

struct Ret {
    int32_t result;
    uint32_t consumed, written;
    uint16_t state;
};

// A workspace of its own; shift 1 places it at an odd address.
class Engine {
public:
    explicit Engine(bool byteWise = false, size_t shift = 0) : block_(dc::InflateWorkspaceSize() + 2) {
        ws_ = block_.data() + ((reinterpret_cast<uintptr_t>(block_.data()) + shift) & 1);
        dc::InflateReset(ws_);
        dc::InflateSetByteWise(ws_, byteWise);
    }
    Ret Call(const uint8_t *in, uint32_t n, uint8_t *out, uint32_t room, bool final) {
        Ret r = {0, n, room, 0};
        r.result = dc::Inflate(in, 0, &r.consumed, out, 0, &r.written, ws_, final ? 1 : 0);
        r.state = dc::InflateState(ws_);
        return r;
    }
    void *ws_;

private:
    Bytes block_;
};

// Sizes of the input and of the output room of each call, each at least 1.
struct Feed {
    std::string name;
    std::function<uint32_t()> in, out;
    bool compareEveryCall;  // else only after calls that consumed enough to enter the fast loop
};

inline Feed Fixed(const std::string &name, uint32_t in, uint32_t out, bool every = true) {
    return {name, [in] { return in; }, [out] { return out; }, every};
}

// Random sizes from 1 to about maxIn / maxOut, mostly small.
inline Feed RandomFeed(const std::string &name, uint32_t seed, uint32_t maxIn, uint32_t maxOut) {
    auto rng = std::make_shared<std::mt19937>(seed);
    auto pick = [rng](uint32_t max) {
        uint32_t bits = (*rng)() % 32;
        return 1 + (*rng)() % (bits == 31 ? max : std::min<uint32_t>(max, 1u << (bits % 18)));
    };
    return {name + " " + std::to_string(seed), [=] { return pick(maxIn); }, [=] { return pick(maxOut); },
            maxOut > 1000};
}

// The state both engines must agree on.  The match fields of the resume
// record are left out: the fast loop does not leave its last match there.
inline std::string CompareWorkspaces(void *a, void *b) {
    const dc::engine::Workspace &x = *dc::engine::WorkspaceAt(a), &y = *dc::engine::WorkspaceAt(b);
    if (memcmp(x.window, y.window, sizeof x.window) != 0)
        return "window differs";
#define SAME(field)                                                                     \
    if (x.field != y.field)                                                             \
        return std::string(#field ": ") + std::to_string(x.field) + " (fast) against " + \
               std::to_string(y.field);
    SAME(mode) SAME(state) SAME(bits) SAME(bitCount) SAME(zeroFill) SAME(writePos) SAME(prevEnd)
    SAME(deliverPos) SAME(afterDeliver) SAME(walk) SAME(finalBlock)
#undef SAME
    return "";
}

struct Outcome {
    Bytes out;
    uint64_t consumed = 0;
    std::vector<Ret> rets;
    bool truncated = false;  // stopped at maxOutput
    std::string error;
};

// The final-input flag comes with the call that hands out the last byte.
inline Outcome Lockstep(const Bytes &stream, const Feed &feed, size_t maxOutput) {
    Engine fast(false), slow(true);
    Bytes bufFast, bufSlow;  // 0xCD wherever nothing is expected
    Outcome run;
    size_t pos = 0;
    for (;;) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(feed.in(), stream.size() - pos));
        bool final = pos + n == stream.size();
        uint32_t room = static_cast<uint32_t>(std::min<uint64_t>(feed.out(), maxOutput + 70000 - run.out.size()));
        if (room == 0) {
            run.truncated = true;
            return run;
        }
        if (bufFast.size() < room + 16u) {
            bufFast.resize(room + 16u, 0xCD);
            bufSlow.resize(room + 16u, 0xCD);
        }
        Ret f = fast.Call(stream.data() + pos, n, bufFast.data(), room, final);
        Ret s = slow.Call(stream.data() + pos, n, bufSlow.data(), room, final);
        run.rets.push_back(f);
        std::string at = " at call " + std::to_string(run.rets.size()) + " (input at " + std::to_string(pos) +
                         ", " + std::to_string(n) + " given, room " + std::to_string(room) + ")";
        run.error = at;
        if (f.result != s.result || f.consumed != s.consumed || f.written != s.written || f.state != s.state)
            return run.error = "fast " + std::to_string(f.result) + "/" + std::to_string(f.consumed) + "/" +
                               std::to_string(f.written) + "/" + std::to_string(f.state) + ", byte-wise " +
                               std::to_string(s.result) + "/" + std::to_string(s.consumed) + "/" +
                               std::to_string(s.written) + "/" + std::to_string(s.state) + at,
                   run;
        if (f.consumed > n || f.written > room)
            return run.error = "counts beyond what was given" + at, run;
        if (memcmp(bufFast.data(), bufSlow.data(), f.written) != 0)
            return run.error = "output differs" + at, run;
        size_t end = std::min<size_t>(room + 16u, f.written + 600u);
        for (size_t i = f.written; i < end; ++i)
            if (bufFast[i] != 0xCD || bufSlow[i] != 0xCD)
                return run.error = "a byte behind the written count changed" + at, run;
        if (feed.compareEveryCall || f.consumed >= dc::engine::kFastMinInput) {
            std::string w = CompareWorkspaces(fast.ws_, slow.ws_);
            if (!w.empty())
                return run.error = w + at, run;
        }
        run.out.insert(run.out.end(), bufFast.begin(), bufFast.begin() + f.written);
        memset(bufFast.data(), 0xCD, end);
        memset(bufSlow.data(), 0xCD, end);
        pos += f.consumed;
        run.consumed += f.consumed;
        run.error.clear();
        if (f.result == dc::kInflateFinished)
            return run;
        if (f.result != dc::kInflateSuspended)
            run.error = "unknown result" + at;
        else if (f.consumed == 0 && f.written == 0)
            run.error = "no progress" + at;
        else if (f.state == dc::kInflateNeedInput ? f.consumed != n
                 : f.state == dc::kInflateNeedOutput ? f.written != room : true)
            run.error = "suspended in state " + std::to_string(f.state) + at;
        if (!run.error.empty())
            return run;
    }
}

// Every feeding of one stream (bytes: also those of a byte per call); each
// must give the wanted output where it is known, and all the same output and,
// for a valid stream (invalid data takes all input of the call that finds
// it), the same input count.  Returns the run of the whole feeding.
inline Outcome CheckEveryWay(const Bytes &stream, const Bytes *want, size_t maxOutput, const std::string &what,
                             bool bytes, int randomRuns, bool valid = false) {
    std::vector<Feed> feeds = {Fixed("whole", 0xFFFFFFFFu, 0x7FFFFFFFu), Fixed("pipeline pieces", 65520, 65520)};
    if (bytes) {
        feeds.push_back(Fixed("a byte at a time", 1, 1, false));
        feeds.push_back(Fixed("whole input, a byte of room", 0xFFFFFFFFu, 1, false));
        feeds.push_back(Fixed("a byte of input, wide room", 1, 70000, false));
    }
    uint32_t seed = static_cast<uint32_t>(stream.size() * 2654435761u);
    for (uint32_t i = seed; i < seed + static_cast<uint32_t>(randomRuns); ++i) {
        feeds.push_back(RandomFeed("random pieces", i, 1 << 17, 1 << 17));
        feeds.push_back(RandomFeed("small pieces", i, 160, 1 << 16));  // around the fast loop's entry
        feeds.push_back(RandomFeed("small room", i, 1 << 16, 300));
    }
    Outcome whole;
    for (const Feed &feed : feeds) {
        Outcome r = Lockstep(stream, feed, maxOutput);
        EXPECT_EQ(r.error, "") << what << ", " << feed.name;
        if (want)
            EXPECT_TRUE(r.out == *want) << what << ", " << feed.name;
        if (&feed == &feeds[0]) {
            whole = r;
            continue;
        }
        EXPECT_TRUE(r.out == whole.out) << what << ", " << feed.name;
        if (valid)
            EXPECT_EQ(r.consumed, whole.consumed) << what << ", " << feed.name;
        if (::testing::Test::HasFailure())
            break;
    }
    return whole;
}

}  // namespace qz_test

#endif
