// inflate_fuzz.cpp -- the Deflate engine on arbitrary input, cut into
// arbitrary pieces.
//
// Input layout: byte 0 chooses the feeding (bit 0: odd workspace address,
// bit 1: the final-input flag only in a separate call after all input, bits
// 2-4: chunk size scale), bytes 1-4 seed the chunk sizes, the rest is the
// Deflate stream.  The stream is decoded once whole and once in pieces; on
// every call of the piecewise run the protocol is checked:
//   - a call consumes input, writes output or ends (callers always bring a
//     byte of input or the final flag, and a byte of output space);
//   - waiting for input means every given byte was consumed, waiting for
//     output means every byte of room was written;
//   - while the stream runs output leaves only in whole window deliveries
//     (32,768 to 33,025 bytes each), and never more than 1,032 bytes per
//     input byte fetched (a 258-byte match costs at least two bits; at most
//     two zero bytes are fetched past the end);
// and both runs must give the same bytes.  Each run also drives a second
// workspace forced to decode byte-wise (no fast loop) with the same calls:
// every result, consumed and written count, state word and output byte
// must be the same.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "decode/decode.h"

using namespace qz::decode;

namespace {

enum : uint64_t { kOutputCap = 1u << 20 };  // bytes decoded per run at most

#define CHECK(cond)                                                            \
    do {                                                                       \
        if (!(cond)) {                                                         \
            __builtin_printf("check failed: %s (line %d)\n", #cond, __LINE__); \
            abort();                                                           \
        }                                                                      \
    } while (0)

struct Rng {
    uint32_t s;
    uint32_t Next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    // 1 to about 2^scale, mostly small.
    uint32_t Chunk(uint32_t scale) {
        uint32_t bits = Next() % (scale + 1);
        return 1 + Next() % (1u << bits);
    }
};

// True when total is a sum of whole deliveries: k of them give from
// 32,768 k to 33,025 k bytes.
bool WholeDeliveries(uint64_t total) {
    uint64_t most = total / 32768, least = (total + 33024) / 33025;
    return least <= most;
}

uint64_t ExpansionBound(uint64_t consumed) { return 1032 * (consumed + 2); }

struct Workspace {
    std::vector<uint8_t> block;
    uint8_t *ws;
    Workspace(bool odd, bool byteWise) : block(InflateWorkspaceSize() + 1) {
        ws = block.data();
        if ((reinterpret_cast<uintptr_t>(ws) & 1) != static_cast<uintptr_t>(odd))
            ++ws;
        InflateReset(ws);
        inflateSetByteWise(ws, byteWise);
    }
};

// One call on the workspace that may take the fast loop and the same call on
// the byte-wise one; they must agree in everything the caller sees.
int32_t TwinCall(const uint8_t *in, uint32_t offset, uint32_t *n, std::vector<uint8_t> &room, uint32_t *written,
                 Workspace &fast, Workspace &bytewise, std::vector<uint8_t> &room2, int16_t final) {
    uint32_t n2 = *n, written2 = *written;
    room2.resize(room.size());
    int32_t r = Inflate(in, offset, n, room.data(), 0, written, fast.ws, final);
    int32_t r2 = Inflate(in, offset, &n2, room2.data(), 0, &written2, bytewise.ws, final);
    CHECK(r == r2);
    CHECK(*n == n2);
    CHECK(*written == written2);
    CHECK(inflateState(fast.ws) == inflateState(bytewise.ws));
    CHECK(*written <= room.size() && memcmp(room.data(), room2.data(), *written) == 0);
    return r;
}

struct Outcome {
    std::vector<uint8_t> out;
    uint64_t consumed = 0;
    bool finished = false;
};

// All input in one call with the final flag; output space in large pieces.
Outcome Whole(const uint8_t *in, uint32_t size) {
    Workspace w(false, false), b(false, true);
    Outcome o;
    std::vector<uint8_t> room(1 << 16), room2;
    uint32_t pos = 0;
    while (o.out.size() <= kOutputCap) {
        uint32_t n = size - pos, written = static_cast<uint32_t>(room.size());
        int32_t r = TwinCall(in, pos, &n, room, &written, w, b, room2, 1);
        CHECK(n <= size - pos && written <= room.size());
        pos += n;
        o.consumed += n;
        o.out.insert(o.out.end(), room.begin(), room.begin() + written);
        CHECK(o.out.size() <= ExpansionBound(o.consumed));
        if (r == kInflateFinished) {
            o.finished = true;
            break;
        }
        CHECK(r == kInflateSuspended);
        CHECK(inflateState(w.ws) == kInflateNeedOutput);  // input was all there
        CHECK(written == room.size());
    }
    return o;
}

// The same input in pieces, checking the protocol on every call.
Outcome Pieces(const uint8_t *in, uint32_t size, uint8_t config, uint32_t seed) {
    Workspace w(config & 1, false), b(config & 1, true);
    bool lateFinal = (config & 2) != 0;
    uint32_t scale = 2 + ((config >> 2) & 7) * 2;  // 2 to 16
    Rng rng{seed | 1};
    Outcome o;
    std::vector<uint8_t> room, room2;
    uint32_t pos = 0;
    uint64_t calls = 0;
    while (o.out.size() <= kOutputCap) {
        uint32_t n = rng.Chunk(scale);
        if (n > size - pos)
            n = size - pos;
        bool final = pos + n == size && !(lateFinal && n != 0);
        uint32_t given = n, roomSize = rng.Chunk(scale + 1);
        room.resize(roomSize);
        uint32_t written = roomSize;
        int32_t r = TwinCall(in, pos, &n, room, &written, w, b, room2, final ? 1 : 0);
        ++calls;
        CHECK(n <= given && written <= roomSize);
        pos += n;
        o.consumed += n;
        o.out.insert(o.out.end(), room.begin(), room.begin() + written);
        CHECK(o.out.size() <= ExpansionBound(o.consumed));
        if (r == kInflateFinished) {
            o.finished = true;
            break;
        }
        CHECK(r == kInflateSuspended);
        CHECK(n != 0 || written != 0);
        uint16_t state = inflateState(w.ws);
        if (state == kInflateNeedInput) {
            CHECK(n == given);
            CHECK(!final);
            CHECK(WholeDeliveries(o.out.size()));
        } else {
            CHECK(state == kInflateNeedOutput);
            CHECK(written == roomSize);
        }
        CHECK(calls <= 2 * (uint64_t(size) + kOutputCap) + 16);
    }
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 5 || size > (1u << 20))
        return 0;
    uint8_t config = data[0];
    uint32_t seed = data[1] | data[2] << 8 | data[3] << 16 | uint32_t(data[4]) << 24;
    const uint8_t *stream = data + 5;
    uint32_t n = static_cast<uint32_t>(size - 5);

    Outcome whole = Whole(stream, n);
    Outcome pieces = Pieces(stream, n, config, seed);

    // Same bytes (as far as both went), and the same end.
    size_t common = whole.out.size() < pieces.out.size() ? whole.out.size() : pieces.out.size();
    for (size_t i = 0; i < common; ++i)
        CHECK(whole.out[i] == pieces.out[i]);
    if (whole.finished && pieces.finished) {
        CHECK(whole.out.size() == pieces.out.size());
        // A good end consumes only what was fetched, the same in both runs;
        // invalid data consumes all of a call's input, which then differs.
        if (whole.consumed < n)
            CHECK(pieces.consumed == whole.consumed);
    }
    return 0;
}
