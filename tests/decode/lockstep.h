// lockstep.h -- runs a stream through two engines call by call, one with the
// fast loop and one forced to decode byte-wise, fed the same pieces of input
// and output room.  They must return the same result, counts and state word,
// write the same bytes and none behind them, and keep the same window and bit
// state; every return must keep the call protocol.
#ifndef QZ_TESTS_DECODE_LOCKSTEP_H
#define QZ_TESTS_DECODE_LOCKSTEP_H

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
    bool operator!=(const Ret &o) const {
        return result != o.result || consumed != o.consumed || written != o.written || state != o.state;
    }
};

// A workspace of its own; shift 1 places it at an odd address.
struct Engine {
    Bytes block = Bytes(dc::InflateWorkspaceSize() + 2);
    void *ws = block.data() + (reinterpret_cast<uintptr_t>(block.data()) & 1);
    explicit Engine(bool byteWise = false) {
        dc::InflateReset(ws);
        dc::InflateSetByteWise(ws, byteWise);
    }
    Ret Call(const uint8_t *in, uint32_t n, uint8_t *out, uint32_t room, bool final) {
        Ret r = {0, n, room, 0};
        r.result = dc::Inflate(in, 0, &r.consumed, out, 0, &r.written, ws, final ? 1 : 0);
        r.state = dc::InflateState(ws);
        return r;
    }
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
    using W = dc::engine::Workspace;
    const W &x = *dc::engine::WorkspaceAt(a), &y = *dc::engine::WorkspaceAt(b);
    static uint16_t W::*const fields[] = {&W::mode,     &W::state,   &W::bits,       &W::bitCount,
                                          &W::zeroFill, &W::writePos, &W::prevEnd,   &W::deliverPos,
                                          &W::afterDeliver, &W::walk, &W::finalBlock};
    for (size_t i = 0; i < sizeof fields / sizeof *fields; ++i)
        if (x.*fields[i] != y.*fields[i])
            return "workspace field " + std::to_string(i) + " differs";
    return memcmp(x.window, y.window, sizeof x.window) == 0 ? "" : "window differs";
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
    for (size_t pos = 0;; pos += run.rets.back().consumed) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(feed.in(), stream.size() - pos));
        uint32_t room = static_cast<uint32_t>(std::min<uint64_t>(feed.out(), maxOutput + 70000 - run.out.size()));
        run.truncated = room == 0;
        if (run.truncated)
            return run;
        bufFast.resize(std::max<size_t>(bufFast.size(), room + 16u), 0xCD);
        bufSlow.resize(bufFast.size(), 0xCD);
        Ret f = fast.Call(stream.data() + pos, n, bufFast.data(), room, pos + n == stream.size());
        Ret s = slow.Call(stream.data() + pos, n, bufSlow.data(), room, pos + n == stream.size());
        run.rets.push_back(f);
        run.consumed += f.consumed;
        size_t end = std::min<size_t>(room + 16u, f.written + 600u);
        bool behind = false;
        for (size_t i = f.written; i < end && f.written <= room; ++i)
            behind |= bufFast[i] != 0xCD || bufSlow[i] != 0xCD;
        bool failed = f.result == dc::kInflateSuspended && f.consumed == 0 && f.written == 0;
        failed |= f.result == dc::kInflateSuspended && f.state == dc::kInflateNeedInput && f.consumed != n;
        failed |= f.result == dc::kInflateSuspended && f.state == dc::kInflateNeedOutput && f.written != room;
        failed |= f.state > dc::kInflateNeedOutput || (f.result != 0 && f.result != dc::kInflateFinished);
        std::string at = " at call " + std::to_string(run.rets.size()) + " (input at " + std::to_string(pos) +
                         ", " + std::to_string(n) + " given, room " + std::to_string(room) + ")";
        if (f != s)
            run.error = "fast and byte-wise return differently";
        else if (f.consumed > n || f.written > room || failed)
            run.error = "the counts or state break the call protocol";
        else if (memcmp(bufFast.data(), bufSlow.data(), f.written) != 0 || behind)
            run.error = "the bytes written differ, or bytes behind them changed";
        else if (feed.compareEveryCall || f.consumed >= dc::engine::kFastMinInput)
            run.error = CompareWorkspaces(fast.ws, slow.ws);
        if (!run.error.empty()) {
            run.error += at;
            return run;
        }
        run.out.insert(run.out.end(), bufFast.begin(), bufFast.begin() + f.written);
        memset(bufFast.data(), 0xCD, end);
        memset(bufSlow.data(), 0xCD, end);
        if (f.result == dc::kInflateFinished)
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
    Outcome whole = Lockstep(stream, feeds[0], maxOutput);
    for (const Feed &feed : feeds) {
        Outcome r = &feed == &feeds[0] ? whole : Lockstep(stream, feed, maxOutput);
        EXPECT_EQ(r.error, "") << what << ", " << feed.name;
        EXPECT_TRUE(r.out == (want ? *want : whole.out)) << what << ", " << feed.name;
        EXPECT_TRUE(r.consumed == whole.consumed || !valid) << what << ", " << feed.name;
        if (::testing::Test::HasFailure())
            break;
    }
    return whole;
}

}  // namespace qz_test

#endif
