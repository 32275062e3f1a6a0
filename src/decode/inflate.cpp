// inflate.cpp -- the resumable Deflate engine: workspace, call protocol, block
// loop and window.
//
// The engine is one explicit state machine.  Each mode below is a step that
// either completes or, when the byte fetch runs dry, leaves without changing
// anything, so the next call simply runs the same step again; the one other
// suspension point is a delivery of the window that runs out of output space.
// Everything that crosses a suspension lives in the workspace; the hot
// values (bit buffer, write position) are copied into locals on entry and
// back on every way out.
//
// Bit-exactness matters to callers: the consumed and written counts of every
// return, and the points where a call suspends, follow the model of a 16-bit
// bit buffer described in decode.h (BitReader).  The middle of blocks is
// decoded by the fast loop of inflate_fast.cpp, entered from the
// literal/length step; it hands back every whole byte it fetched beyond that
// model, so the counts and the suspension points stay those of the byte-wise
// steps, which take over at the ends of blocks, near the end of the input
// and wherever the fast loop meets something it leaves to them.
#include "decode/decode.h"

#include <stddef.h>

namespace qz {
namespace decode {

using namespace engine;

namespace {

// The steps.  "i:" waits for input, "o:" for output space.  Values start at
// an odd number so that a workspace that was never reset is refused; 0 is a
// fresh workspace.
enum Mode : uint16_t {
    kStart = 0x4E21,  // i: the first two bytes of the stream
    kHeader,          // i: BFINAL
    kType,            // i: BTYPE, then one of the three block kinds
    kStoredLen,       //   i: LEN, after dropping the rest of the byte
    kStoredNlen,      //   i: NLEN, two bytes
    kStoredCopy,      //   i: the block's bytes (length = how many are left)
    kStoredLoad,      //   i: two fresh bytes for the bit buffer
    kTableHlit,       //   i: HLIT of a dynamic block
    kTableHdist,      //   i: HDIST
    kTableHclen,      //   i: HCLEN
    kTableClens,      //   i: lengths of the code-length code (index of hclen)
    kTableLens,       //   i: code-length symbols (index of hlit + hdist)
    kTableRepeat,     //   i: extra bits of a repeat symbol (symbol)
    kLen,             //     i: literal/length symbol (walk: inside a long code)
    kLenExtra,        //     i: extra bits of a length
    kDist,            //     i: distance symbol (walk: inside a long code)
    kDistExtra,       //     i: distance extra bits, all or the low 8
    kDistExtraHigh,   //     i: the rest of a distance's 9 to 13 extra bits
    kDeliver,         // o: copying the window out, then afterDeliver
    kDone,            // the final block has ended; sticky
    kBad,             // invalid data; sticky
};

// Transitions:
//   kStart -> kHeader -> kType -> kStoredLen -> kStoredNlen -> kStoredCopy
//                                   -> kStoredLoad -> (block end)
//                             -> kTableHlit -> kTableHdist -> kTableHclen
//                                   -> kTableClens -> kTableLens <-> kTableRepeat
//                                   -> kLen
//                             -> (fixed codes) kLen
//   kLen -> kLen (literal) | (block end) | kLenExtra -> kDist -> kDistExtra
//        [-> kDistExtraHigh] -> (match) -> kLen
//   block end -> kHeader, or for the final block kDeliver -> kDone
//   a full window: kDeliver -> the step after the byte that filled it
//   invalid data anywhere: kDeliver -> kBad

enum : int { kSymbolPull = -1, kSymbolInvalid = -2 };

// Decodes one symbol: the first-level table for codes up to 8 bits, then one
// tree bit at a time.  walk keeps the tree node reached when a fetch runs dry
// in the middle of a long code (0 = not inside a tree).
inline int decodeSymbol(BitReader &br, const uint16_t *first, const uint16_t *tree,
                        uint16_t &walk) {
    uint32_t e;
    if (walk == 0) {
        e = first[br.bits & 0xFF];
        if (e == 0)
            return kSymbolInvalid;
        if ((e & kEntryNode) == 0) {
            uint32_t len = e & kEntryLengthMask;
            if (!br.needField(len))
                return kSymbolPull;
            br.drop(len);
            return static_cast<int>(e >> kEntrySymbolShift);
        }
        if (!br.pull())  // the 8-bit drop into a tree fetches exactly one byte
            return kSymbolPull;
        br.drop(8);
        walk = static_cast<uint16_t>((e & 0x7FFFu) + 1);
    }
    for (;;) {
        if (!br.needTreeBit())
            return kSymbolPull;
        uint32_t bit = br.take(1);
        e = tree[2 * (walk - 1u) + bit];
        if (e == 0)
            return kSymbolInvalid;
        if ((e & kEntryNode) == 0) {
            walk = 0;
            return static_cast<int>(e >> kEntrySymbolShift);
        }
        walk = static_cast<uint16_t>((e & 0x7FFFu) + 1);
    }
}

inline void copyBytes(uint8_t *dst, const uint8_t *src, uint32_t n) {
    if (n != 0)
        __builtin_memcpy(dst, src, n);
}

void setFixedLengths(Workspace &w) {
    uint32_t s = 0;
    for (; s < 144; ++s) w.lenLengths[s] = 8;
    for (; s < 256; ++s) w.lenLengths[s] = 9;
    for (; s < 280; ++s) w.lenLengths[s] = 7;
    for (; s < kLenSymbols; ++s) w.lenLengths[s] = 8;
    for (s = 0; s < kDistSymbols; ++s) w.distLengths[s] = 5;
}

}  // namespace

uint32_t InflateWorkspaceSize() { return kInflateWorkspaceBytes; }

// The fast tables come last, so the fields all lie between the second
// window and them.
static_assert(offsetof(Workspace, fastSpace) + sizeof(Workspace::fastSpace) == sizeof(Workspace),
              "the fast loop's tables end the workspace");

void InflateReset(void *workspace) {
    Workspace &w = *workspaceAt(workspace);
    uint8_t *from = w.window[1];
    __builtin_memset(from, 0, static_cast<size_t>(w.fastSpace - from));
}

uint16_t inflateState(const void *workspace) {
    return workspaceAt(const_cast<void *>(workspace))->state;
}

void inflateSetByteWise(void *workspace, bool byteWise) {
    workspaceAt(workspace)->byteWise = byteWise ? 1 : 0;
}

int32_t Inflate(const uint8_t *input, uint32_t inputOffset, uint32_t *inputCount,
                uint8_t *output, uint32_t outputOffset, uint32_t *outputCount,
                void *workspace, int16_t finalInput) {
    Workspace &w = *workspaceAt(workspace);
    const uint32_t inGiven = *inputCount;
    const uint32_t outGiven = *outputCount;

    uint32_t mode = w.mode;
    if (mode == 0) {
        mode = kStart;
    } else if (mode < kStart || mode > kBad) {
        // Not a workspace this engine has prepared: nothing can be trusted.
        *outputCount = 0;
        return kInflateFinished;
    }

    // Load the call and the hot state into locals.
    BitReader br;
    br.in = input + inputOffset;
    br.left = inGiven;
    br.bits = w.bits;
    br.count = w.bitCount;
    br.zeroFill = w.zeroFill;
    br.final = finalInput != 0;
    w.finalInput = br.final;
    uint8_t *out = output + outputOffset;
    uint32_t outLeft = outGiven;
    uint32_t wp = w.writePos;
    int32_t result;
    int sym;

    // The fast loop's tables are built when the fast loop is first entered
    // for a block, from the lengths in the workspace.
    FastTables &fast = fastTablesOf(w);
    const bool fastAllowed = w.byteWise == 0;

// A byte fetch of the current step ran dry: suspend, or past final input the
// stream is invalid.  The step has changed nothing and runs again next call.
#define PULL_OR_LEAVE(expr)   \
    do {                      \
        if (!(expr))          \
            goto pull_failed; \
    } while (0)

// Starts delivering the window; afterwards decoding goes on with step next.
#define DELIVER_THEN(next)                           \
    do {                                             \
        w.prevEnd = static_cast<uint16_t>(wp);       \
        w.deliverPos = 0;                            \
        w.afterDeliver = static_cast<uint16_t>(next); \
        mode = kDeliver;                             \
    } while (0)

    for (;;) {
        switch (mode) {
        case kStart:
            w.prevEnd = kWindowBytes;
            while (br.count < 16)
                PULL_OR_LEAVE(br.pull());
            mode = kHeader;
            [[fallthrough]];
        case kHeader:
            PULL_OR_LEAVE(br.needField(1));
            w.finalBlock = static_cast<uint16_t>(br.take(1));
            mode = kType;
            [[fallthrough]];
        case kType: {
            PULL_OR_LEAVE(br.needField(2));
            uint32_t type = br.take(2);
            if (type == 0) {
                mode = kStoredLen;
            } else if (type == 1) {
                setFixedLengths(w);
                buildCode(w.lenLengths, kLenSymbols, w.lenFirst, w.lenTree);
                buildCode(w.distLengths, kDistSymbols, w.distFirst, w.distTree);
                w.fastBuilt = 0;
                w.walk = 0;
                mode = kLen;
            } else if (type == 2) {
                mode = kTableHlit;
            } else {
                goto invalid;
            }
            break;
        }

        // --- stored block -------------------------------------------------
        case kStoredLen:
            // Whole bytes only: drop the rest of the current one; LEN is the
            // next 16 bits, so a lone byte in hand needs a second.
            if ((br.count & ~7u) == 8)
                PULL_OR_LEAVE(br.pull());
            br.drop(br.count & 7);
            w.length = static_cast<uint16_t>(br.bits);
            br.bits = 0;
            br.count = 0;
            mode = kStoredNlen;
            [[fallthrough]];
        case kStoredNlen:
            while (br.count < 16)
                PULL_OR_LEAVE(br.pull());
            if ((br.bits ^ w.length) != 0xFFFF)
                goto invalid;
            br.bits = 0;
            br.count = 0;
            mode = kStoredCopy;
            [[fallthrough]];
        case kStoredCopy:
            // Each byte is fetched, stored and followed by a look at the
            // window limit; a run of bytes at hand is copied in one go up to
            // the limit, which is the same thing.
            while (w.length != 0) {
                if (br.left != 0) {
                    uint32_t n = w.length;
                    if (n > br.left) n = br.left;
                    if (n > kWindowBytes - wp) n = kWindowBytes - wp;
                    copyBytes(fillWindow(w) + wp, br.in, n);
                    br.in += n;
                    br.left -= n;
                    wp += n;
                    w.length = static_cast<uint16_t>(w.length - n);
                } else {
                    PULL_OR_LEAVE(br.pull());
                    fillWindow(w)[wp++] = static_cast<uint8_t>(br.bits);
                    br.bits = 0;
                    br.count = 0;
                    --w.length;
                }
                if (wp >= kWindowBytes) {
                    DELIVER_THEN(kStoredCopy);
                    break;
                }
            }
            if (mode != kStoredCopy)
                break;
            mode = kStoredLoad;
            [[fallthrough]];
        case kStoredLoad:
            while (br.count < 16)
                PULL_OR_LEAVE(br.pull());
            goto block_end;

        // --- dynamic block header -----------------------------------------
        case kTableHlit:
            PULL_OR_LEAVE(br.needField(5));
            w.hlit = static_cast<uint16_t>(br.take(5) + 257);
            if (w.hlit > 286)
                goto invalid;
            mode = kTableHdist;
            [[fallthrough]];
        case kTableHdist:
            PULL_OR_LEAVE(br.needField(5));
            w.hdist = static_cast<uint16_t>(br.take(5) + 1);
            if (w.hdist > 30)
                goto invalid;
            mode = kTableHclen;
            [[fallthrough]];
        case kTableHclen:
            PULL_OR_LEAVE(br.needField(4));
            w.hclen = static_cast<uint16_t>(br.take(4) + 4);
            for (uint32_t i = 0; i < kClenSymbols; ++i)
                w.clenLengths[i] = 0;
            w.index = 0;
            mode = kTableClens;
            [[fallthrough]];
        case kTableClens:
            while (w.index < w.hclen) {
                PULL_OR_LEAVE(br.needField(3));
                w.clenLengths[kClenOrder[w.index++]] = static_cast<uint8_t>(br.take(3));
            }
            if (!buildCode(w.clenLengths, kClenSymbols, w.clenFirst, nullptr))
                goto invalid;
            w.index = 0;
            w.walk = 0;
            mode = kTableLens;
            [[fallthrough]];
        case kTableLens:
            while (w.index < w.hlit + w.hdist) {
                sym = decodeSymbol(br, w.clenFirst, nullptr, w.walk);
                if (sym < 0) {
                    if (sym == kSymbolPull)
                        goto pull_failed;
                    goto invalid;
                }
                if (sym >= 16)
                    break;
                w.lengthList[w.index++] = static_cast<uint8_t>(sym);
            }
            if (w.index < w.hlit + w.hdist) {
                w.symbol = static_cast<uint16_t>(sym);
                mode = kTableRepeat;
            } else {
                // The list is complete: literal/length lengths first, then
                // the distance lengths; symbols beyond HLIT and HDIST unused.
                for (uint32_t i = 0; i < kLenSymbols; ++i)
                    w.lenLengths[i] = i < w.hlit ? w.lengthList[i] : 0;
                for (uint32_t i = 0; i < kDistSymbols; ++i)
                    w.distLengths[i] = i < w.hdist ? w.lengthList[w.hlit + i] : 0;
                if (!buildCode(w.lenLengths, kLenSymbols, w.lenFirst, w.lenTree))
                    goto invalid;
                if (!buildCode(w.distLengths, kDistSymbols, w.distFirst, w.distTree))
                    goto invalid;
                w.fastBuilt = 0;
                w.walk = 0;
                mode = kLen;
                break;
            }
            [[fallthrough]];
        case kTableRepeat: {
            // 16: the previous length (0 at the start) 3 to 6 times;
            // 17: zero 3 to 10 times; 18: zero 11 to 138 times.
            uint32_t bits = w.symbol == 16 ? 2 : w.symbol == 17 ? 3 : 7;
            PULL_OR_LEAVE(br.needField(bits));
            uint32_t times = br.take(bits) + (w.symbol == 18 ? 11 : 3);
            if (w.index + times > static_cast<uint32_t>(w.hlit + w.hdist))
                goto invalid;
            uint8_t value = 0;
            if (w.symbol == 16 && w.index != 0)
                value = w.lengthList[w.index - 1];
            while (times-- != 0)
                w.lengthList[w.index++] = value;
            mode = kTableLens;
            break;
        }

        // --- blocks with codes ---------------------------------------------
        case kLen:
            if (fastAllowed && w.walk == 0 && br.left >= kFastMinInput &&
                wp + kFastWindowRoom <= kWindowBytes) {
                if (w.fastBuilt == 0) {
                    buildFastTables(w, fast);
                    w.fastBuilt = 1;
                }
                if (inflateFast(w, fast, br, wp) == kFastAtDist) {
                    mode = kDist;
                    break;
                }
                if (wp >= kWindowBytes) {
                    DELIVER_THEN(kLen);
                    break;
                }
                // Otherwise one symbol the byte-wise way: the end of the
                // block, something invalid, or the last bytes of the input.
            }
            sym = decodeSymbol(br, w.lenFirst, w.lenTree, w.walk);
            if (sym < 0) {
                if (sym == kSymbolPull)
                    goto pull_failed;
                goto invalid;
            }
            if (sym < 256) {
                fillWindow(w)[wp++] = static_cast<uint8_t>(sym);
                if (wp >= kWindowBytes)
                    DELIVER_THEN(kLen);
                break;
            }
            if (sym == 256)
                goto block_end;
            if (sym > 285)
                goto invalid;
            w.length = kLengthBase[sym - 257];
            w.extra = kLengthExtraBits[sym - 257];
            mode = kLenExtra;
            [[fallthrough]];
        case kLenExtra:
            PULL_OR_LEAVE(br.needField(w.extra));
            w.length = static_cast<uint16_t>(w.length + br.take(w.extra));
            mode = kDist;
            [[fallthrough]];
        case kDist:
            sym = decodeSymbol(br, w.distFirst, w.distTree, w.walk);
            if (sym < 0) {
                if (sym == kSymbolPull)
                    goto pull_failed;
                goto invalid;
            }
            if (sym >= 30)  // only fixed codes can send 30 and 31
                goto invalid;
            w.distance = kDistBase[sym];
            w.extra = kDistExtraBits[sym];
            mode = kDistExtra;
            [[fallthrough]];
        case kDistExtra:
            if (w.extra <= 8) {
                PULL_OR_LEAVE(br.needField(w.extra));
                w.distance = static_cast<uint16_t>(w.distance + br.take(w.extra));
                goto copy_match;
            }
            // 9 to 13 bits: the low byte, with exactly one fetch, then the rest.
            PULL_OR_LEAVE(br.pull());
            w.distance = static_cast<uint16_t>(w.distance + br.take(8));
            w.extra = static_cast<uint16_t>(w.extra - 8);
            mode = kDistExtraHigh;
            [[fallthrough]];
        case kDistExtraHigh:
            PULL_OR_LEAVE(br.needField(w.extra));
            w.distance = static_cast<uint16_t>(w.distance + (br.take(w.extra) << 8));
        copy_match:
            copyMatch(w, wp, w.length, w.distance);
            wp += w.length;
            if (wp >= kWindowBytes)
                DELIVER_THEN(kLen);
            else
                mode = kLen;
            break;

        // --- output ----------------------------------------------------------
        case kDeliver: {
            // Copy as much as fits; running out of room suspends, even when
            // nothing is left to copy, and the next call goes on from here.
            uint32_t n = wp - w.deliverPos;
            if (n > outLeft)
                n = outLeft;
            copyBytes(out, fillWindow(w) + w.deliverPos, n);
            out += n;
            outLeft -= n;
            w.deliverPos = static_cast<uint16_t>(w.deliverPos + n);
            if (outLeft == 0) {
                w.state = kInflateNeedOutput;
                goto suspend;
            }
            // The delivered window keeps the previous fill; the other one
            // fills next.
            w.filling = static_cast<uint16_t>(w.filling ^ 1u);
            wp = 0;
            mode = w.afterDeliver;
            break;
        }

        case kDone:
            result = kInflateFinished;
            goto leave;

        case kBad:
            // The write position follows the last delivery, so that the
            // workspace says which bytes of which window are decoded.
            w.mode = kBad;
            w.writePos = static_cast<uint16_t>(wp);
            *inputCount = inGiven;
            *outputCount = outGiven - outLeft;
            return kInflateFinished;
        }
        continue;

    block_end:
        if (w.finalBlock != 0)
            DELIVER_THEN(kDone);
        else
            mode = kHeader;
        continue;

    invalid:
        DELIVER_THEN(kBad);
        continue;

    pull_failed:
        if (br.final)  // past the zero fill a complete stream can need
            goto invalid;
        w.state = kInflateNeedInput;
        goto suspend;
    }

#undef PULL_OR_LEAVE
#undef DELIVER_THEN

suspend:
    result = kInflateSuspended;
leave:
    w.mode = static_cast<uint16_t>(mode);
    w.bits = static_cast<uint16_t>(br.bits);
    w.bitCount = static_cast<uint16_t>(br.count);
    w.zeroFill = static_cast<uint16_t>(br.zeroFill);
    w.writePos = static_cast<uint16_t>(wp);
    *inputCount = inGiven - br.left;
    *outputCount = outGiven - outLeft;
    return result;
}

}  // namespace decode
}  // namespace qz
