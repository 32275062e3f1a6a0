// decode.h -- the decompression subsystem as the rest of the library sees it:
// the resumable Deflate engine (raw RFC 1951 data, no zlib or gzip wrapper).
//
// The engine is pure computation.  Everything it knows about a stream lives
// in a workspace the caller allocates; it allocates nothing, calls nothing
// outside this folder and keeps no mutable static data, so any number of
// streams can be decoded side by side in separate workspaces.
//
// Calling order for one stream:
//   1. allocate InflateWorkspaceSize() bytes (any address; the engine works
//      from the first even one) and call InflateReset on them;
//   2. call Inflate with input, output space and the final-input flag set
//      when this input ends the stream;
//   3. after a result 0 (kInflateSuspended) advance the input by the consumed
//      count and the output by the written count and call again with the
//      unconsumed input plus any new input (at least one new byte, or the
//      final-input flag) and at least one byte of output space;
//   4. after a result -1 (kInflateFinished: the end of the final block, or
//      invalid data) make no further call; reset before the next stream.
//
// Output leaves the engine only in whole deliveries of its 32 KiB window:
// 32,768 to 33,025 bytes while the stream runs, the rest when it ends.  A
// call can therefore consume all its input and write nothing.
#ifndef QZ_DECODE_DECODE_H
#define QZ_DECODE_DECODE_H

#include <stdint.h>

namespace qz {
namespace decode {

// ---------------------------------------------------------------------------
// The engine's operations
// ---------------------------------------------------------------------------

enum : uint32_t {
    kInflateWorkspaceBytes = 81528,  // what InflateWorkspaceSize returns
};

// Results of Inflate.
enum : int32_t {
    kInflateSuspended = 0,   // needs more input (state 1) or output space (2)
    kInflateFinished = -1,   // the final block has ended, or the data are invalid
};

// The state word of a workspace.
enum : uint16_t {
    kInflateFresh = 0,       // after InflateReset
    kInflateNeedInput = 1,   // the last call stopped at a byte fetch that ran dry
    kInflateNeedOutput = 2,  // the last call stopped in a delivery, out of room
};

// The bytes a decoder workspace needs: 81,528.
uint32_t InflateWorkspaceSize();

// Prepares a workspace for a new stream: zeroes every field and the window
// that stands for the previous fill (the window filled first and the fast
// loop's tables are written before anything reads them); the state word
// becomes 0.
void InflateReset(void *workspace);

// Decodes as far as the given input and output space allow.
//   input + inputOffset: the next input byte; *inputCount in: bytes available
//     there, out: bytes this call consumed (on invalid data: all of them);
//   output + outputOffset: where output goes; *outputCount in: room there,
//     out: bytes this call wrote;
//   finalInput: nonzero when the given input is the last of the stream; a
//     fetch beyond it then yields a zero byte (at most two per stream, which
//     is all a complete stream can need; a third is invalid data).
// Returns kInflateSuspended or kInflateFinished.  Every byte decoded before
// the end or a fault has been written out when kInflateFinished comes back.
int32_t Inflate(const uint8_t *input, uint32_t inputOffset, uint32_t *inputCount,
                uint8_t *output, uint32_t outputOffset, uint32_t *outputCount,
                void *workspace, int16_t finalInput);

// The state word of a workspace (kInflateFresh, kInflateNeedInput or
// kInflateNeedOutput).  Finishing leaves it as it was.
uint16_t inflateState(const void *workspace);

// Internal switch for tests: with byteWise set, the workspace's stream is
// decoded by the byte-wise steps alone, without the fast loop, which must
// give the same results, counts and bytes on every input.  A reset clears
// it; set it after InflateReset.
void inflateSetByteWise(void *workspace, bool byteWise);

// ---------------------------------------------------------------------------
// Engine internals, shared by the engine's own files (inflate*.cpp) only
// ---------------------------------------------------------------------------
namespace engine {

enum : uint32_t {
    kWindowBytes = 32768,   // the window; reaching its end causes a delivery
    kWindowSlack = 512,     // room for a match that runs past the end (<= 257)
    kMaxZeroFill = 2,       // zero bytes a complete stream can need at its end
    kLenSymbols = 288,
    kDistSymbols = 32,
    kClenSymbols = 19,
    kMaxLengthList = 286 + 30,
};

// Table entries, 16 bits, in the 256-entry first-level tables (indexed by the
// next 8 bits of input, first bit lowest) and in the trees:
//   0                 empty: no code leads here (only in one-symbol or empty
//                     codes; decoding it is invalid data)
//   bit 15 = 0        leaf: bits 12..4 the symbol (0 to 287), bits 3..0 the
//                     code length (1 to 15), so a leaf is never 0
//   bit 15 = 1        reference to tree node k = bits 14..0; node k is the
//                     pair of tree entries 2k (next bit 0) and 2k+1 (next bit 1)
// Only codes longer than 8 bits reach the trees.  A tree for n symbols has
// room for n nodes: a complete code's nodes at depth 8 and below are internal
// nodes of its binary tree, of which there are n - 1 in all, and a one-symbol
// code needs at most 7 (depths 8 to 14).
enum : uint16_t {
    kEntryNode = 0x8000,
    kEntryLengthMask = 0x000F,
    kEntrySymbolShift = 4,
};

// The bytes in reverse bit order: Huffman codes are stored first bit
// lowest, so the tables index by reversed codes.
struct ReversedBytes {
    uint8_t byte[256];
    constexpr ReversedBytes() : byte() {
        for (uint32_t i = 0; i < 256; ++i)
            for (uint32_t bit = 0; bit < 8; ++bit)
                byte[i] = static_cast<uint8_t>(byte[i] | ((i >> bit) & 1) << (7 - bit));
    }
};
inline constexpr ReversedBytes kReversed;

// The fast loop's tables (inflate_fast.cpp).
enum : uint32_t {
    kFastLenBits = 11,    // literal/length codes up to 11 bits in one lookup
    kFastDistBits = 8,    // distance codes up to 8 bits in one lookup
    kFastMinInput = 64,   // input bytes that make entering worth the tables
    kFastWindowRoom = 2,  // window bytes one round of literals may write
};

// The one-lookup tables of the current block's codes, built from the code
// lengths in the workspace when the fast loop is first entered for a block
// and kept in the workspace for the rest of the block.
struct FastTables {
    uint32_t len[1u << kFastLenBits];
    uint32_t dist[1u << kFastDistBits];
};

// The decoder workspace, laid over the caller's block from its first even
// address.  It holds only 8- and 16-bit fields, so even alignment is all it
// needs.  InflateReset zeroes everything from the second window up to the
// fast loop's tables, so a reset workspace is a fresh stream in every field.
// Positions in a window are offsets from its start.
//
// Two windows take turns: decoded bytes go into the filling one, and when it
// has been delivered the other one is filled, while the delivered one keeps
// the previous fill for matches that reach back before the window start.
// Nothing in the filling window beyond the write position is ever read, so a
// match may write whole words past its end.
struct Workspace {
    // sliding windows: the filling one is window[filling]
    uint8_t window[2][kWindowBytes + kWindowSlack];

    // Huffman codes of the current block
    uint16_t lenFirst[256];              // literal/length first-level table
    uint16_t lenTree[2 * kLenSymbols];   // literal/length tree
    uint16_t distFirst[256];             // distance first-level table
    uint16_t distTree[2 * kDistSymbols]; // distance tree
    uint16_t clenFirst[256];             // code-length code (codes <= 7 bits)
    uint8_t lenLengths[kLenSymbols];     // code length of each symbol, 0 unused
    uint8_t distLengths[kDistSymbols];
    uint8_t clenLengths[kClenSymbols + 1];
    uint8_t lengthList[kMaxLengthList];  // lengths read from a dynamic header

    // call protocol
    uint16_t mode;         // step to run next (Mode in inflate.cpp); 0 = fresh
    uint16_t state;        // state word: kInflateFresh/NeedInput/NeedOutput
    uint16_t finalInput;   // copy of the final-input flag of the current call
    uint16_t finalBlock;   // BFINAL of the block being decoded

    // bit buffer: 8 to 16 bits in hand between steps, first bit lowest
    uint16_t bits;
    uint16_t bitCount;
    uint16_t zeroFill;     // zero bytes fetched past the end of the input

    // window positions
    uint16_t filling;      // the window decoded bytes go into (0 or 1)
    uint16_t writePos;     // where the next decoded byte goes
    uint16_t prevEnd;      // end of the previous fill in the other window
    uint16_t deliverPos;   // next byte of the window a delivery copies out
    uint16_t afterDeliver; // step to run when the delivery is complete

    // resume record of the interrupted step
    uint16_t length;       // stored bytes left, or the match length
    uint16_t distance;     // match distance being assembled
    uint16_t extra;        // extra bits still to read
    uint16_t walk;         // 0, or 1 + the tree node reached by a long code
    uint16_t hlit, hdist, hclen;
    uint16_t index;        // position in the code-length order or list
    uint16_t symbol;       // repeat symbol (16 to 18) awaiting its extra bits

    uint16_t byteWise;     // nonzero: never take the fast loop (tests)

    // the fast loop's tables, from the first multiple of 4 in fastSpace
    uint16_t fastBuilt;    // nonzero: they hold the current block's codes
    uint8_t fastSpace[sizeof(FastTables) + 2];
};

static_assert(alignof(Workspace) <= 2, "the workspace is only evenly aligned");
static_assert(sizeof(Workspace) + 1 <= kInflateWorkspaceBytes, "room for the alignment byte");

inline Workspace *workspaceAt(void *block) {
    uintptr_t p = reinterpret_cast<uintptr_t>(block);
    return reinterpret_cast<Workspace *>((p + 1) & ~static_cast<uintptr_t>(1));
}

inline FastTables &fastTablesOf(Workspace &w) {
    uintptr_t p = reinterpret_cast<uintptr_t>(w.fastSpace);
    return *reinterpret_cast<FastTables *>((p + 3) & ~static_cast<uintptr_t>(3));
}

// The window being filled, and the other one with the previous fill.
inline uint8_t *fillWindow(Workspace &w) { return w.window[w.filling]; }
inline const uint8_t *previousFill(const Workspace &w) { return w.window[w.filling ^ 1u]; }

// The bit reader of one call.  Its model is a 16-bit buffer taken from the
// low end, holding 8 to 16 bits between steps, with bytes fetched one at a
// time above the bits in hand.  Every step first fetches what the model
// would fetch during it and only then consumes bits, so a step whose fetch
// runs dry has changed nothing and simply runs again at the next call.  The
// accumulator is 32 bits wide because such an early fetch may stand above
// up to 16 bits still in hand.
struct BitReader {
    const uint8_t *in;  // next input byte
    uint32_t left;      // input bytes not yet fetched in this call
    uint32_t bits;      // bits in hand, first bit lowest
    uint32_t count;     // number of bits in hand
    uint32_t zeroFill;  // zero bytes fetched past the end of the input
    bool final;         // the call's input is the last of the stream

    // The byte fetch, the only place input is read.  Past the end of final
    // input it yields zero bytes, up to kMaxZeroFill of them.  False when no
    // byte can be had: the call must suspend (or, with final input, the
    // stream is invalid).
    bool pull() {
        uint32_t b;
        if (left != 0) {
            b = *in++;
            --left;
        } else if (final && zeroFill < kMaxZeroFill) {
            ++zeroFill;
            b = 0;
        } else {
            return false;
        }
        bits |= b << count;
        count += 8;
        return true;
    }

    // Readies a field of n bits (0 to 8): taking them leaves 8 bits or fewer
    // in hand exactly when the model fetches a byte during the read.
    bool needField(uint32_t n) { return count - n > 8 || pull(); }

    // Takes n bits that are in hand.
    uint32_t take(uint32_t n) {
        uint32_t v = bits & ((1u << n) - 1);
        bits >>= n;
        count -= n;
        return v;
    }
    void drop(uint32_t n) {
        bits >>= n;
        count -= n;
    }

    // Readies one bit of a tree walk: a byte comes first when exactly 8 are
    // in hand.
    bool needTreeBit() { return count != 8 || pull(); }
};

// Copies a match of length bytes from distance bytes back to the write
// position wp, byte by byte in ascending order so that a distance shorter
// than the length repeats what the match has just written.  A source before
// the window start lies in the previous fill (the other window, up to
// prevEnd), and is copied as it stands.
inline void copyMatch(Workspace &w, uint32_t wp, uint32_t length, uint32_t distance) {
    uint8_t *dst = fillWindow(w) + wp;
    if (distance <= wp) {
        const uint8_t *src = dst - distance;
        for (uint32_t i = 0; i < length; ++i)
            dst[i] = src[i];
        return;
    }
    uint32_t before = distance - wp;  // bytes that come from the previous fill
    const uint8_t *src = previousFill(w) + w.prevEnd - before;
    uint32_t first = before < length ? before : length;
    for (uint32_t i = 0; i < first; ++i)
        dst[i] = src[i];
    src = fillWindow(w);
    for (uint32_t i = first; i < length; ++i)
        dst[i] = *src++;
}

// Builds the first-level table and tree of a code from its n code lengths.
// Accepts a complete prefix code, an empty code or a one-symbol code; false
// for any other set of lengths (the block is then invalid data).
bool buildCode(const uint8_t *lengths, uint32_t n, uint16_t *first, uint16_t *tree);

// ---------------------------------------------------------------------------
// The fast loop (inflate_fast.cpp)
// ---------------------------------------------------------------------------
// Decodes the middle of a block with a wide bit buffer and one-lookup tables
// while the call has plenty of input and the window has room, and leaves the
// byte-wise state (BitReader, write position) exactly as the byte-wise steps
// would have left it after the same symbols.

void buildFastTables(const Workspace &w, FastTables &t);

// Where the byte-wise steps go on after the fast loop.
enum FastStop {
    kFastAtLen,    // at the literal/length step (the window may be full)
    kFastAtDist,   // at the distance step of a match, w.length set
};

// Entry: the literal/length step with no tree walk pending (w.walk == 0),
// 8 to 16 bits in hand, br.left >= kFastMinInput, wp + kFastWindowRoom <=
// kWindowBytes and t built from the current block's lengths.  Never
// suspends and never decides that data are invalid: whatever it cannot take
// it leaves to the byte-wise steps, at the start of the step that meets it.
FastStop inflateFast(Workspace &w, const FastTables &t, BitReader &br, uint32_t &wp);

// Constant tables of RFC 1951.
extern const uint8_t kClenOrder[kClenSymbols];
// literal/length symbols 257 to 287; 99 marks the invalid 286 and 287
inline constexpr uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,
                                             17, 19, 23, 27, 31, 35, 43, 51, 59,  67,  83,
                                             99, 115, 131, 163, 195, 227, 258, 0, 0};
inline constexpr uint8_t kLengthExtraBits[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                                 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
inline constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                           33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                           1025, 1537, 2049, 3073, 4097, 6145,  8193,  12289, 16385, 24577};
inline constexpr uint8_t kDistExtraBits[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                               6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

}  // namespace engine
}  // namespace decode
}  // namespace qz

#endif
