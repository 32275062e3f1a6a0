// inflate_fast.cpp -- the fast loop of the Deflate engine: the middle of a
// block with fixed or dynamic codes, while input and window room abound.
//
// What it does differently from the byte-wise steps of inflate.cpp:
//   - a 64-bit bit buffer refilled by one 8-byte read instead of one byte
//     fetch per field;
//   - one table lookup for literal/length and distance codes of up to 10 bits
//     (the byte-wise tables resolve 8 bits and walk a tree for the rest);
//     longer codes walk the byte-wise tree;
//   - up to three literals per refill, and the next symbol's table entry
//     fetched before a match is copied;
//   - matches copied 8 bytes at a time where the distance allows it, also
//     those that begin in the previous fill.
//
// Table sizes: 10 bits for both codes measured as fast as 11 for literals
// and lengths, and the tables are rebuilt in every call that enters the loop
// (about every 64 KiB of output in the entry pipeline), so smaller is
// cheaper.  Tried and dropped: an arithmetic form of the bit-count rule (the
// table below is fewer instructions per field).
//
// What it must not change: the engine's counts and suspension points follow
// the byte-wise model of a 16-bit buffer holding 8 to 16 bits (BitReader in
// decode.h).  So the loop keeps, beside its wide buffer, the bit count the
// model would hold after the same fields ("model" below; see modelAfter),
// and on the way out it gives back every whole byte it read beyond the
// model's, leaving the BitReader exactly where the byte-wise steps would
// have left it.  It never suspends and never declares data invalid: an end
// of block, an invalid symbol or an empty table entry sends it back to the
// byte-wise steps at the start of the step that met it, and they decide.
//
// Entry assumptions (checked by the caller, inflate.cpp at the literal/length
// step):
//   - no tree walk is pending (w.walk == 0) and the model holds 8 to 16 bits;
//   - br.left >= kFastMinInput >= kFastInputMargin (derived below);
//   - wp < kWindowBytes: the window has not reached its limit;
//   - t holds the tables of the block's current lengths.
// Within the loop the input never runs dry, so there is no zero fill and no
// final-input question; the window never passes its limit by more than one
// match, as with the byte-wise steps, and the caller delivers it.
#include "decode/decode.h"

namespace qz {
namespace decode {
namespace engine {

namespace {

// --- margins ------------------------------------------------------------------
//
// One step decodes a literal, or a length with its extra bits and a distance
// with its extra bits: at most 15 + 5 + 15 + 13 bits.
constexpr uint32_t kMaxCodeBits = 15;
constexpr uint32_t kMaxLengthExtra = 5;
constexpr uint32_t kMaxDistExtra = 13;
constexpr uint32_t kMaxStepBits = kMaxCodeBits + kMaxLengthExtra + kMaxCodeBits + kMaxDistExtra;  // 48

// A refill reads 8 bytes at the cursor and moves it over the whole bytes
// that fit in the buffer, at most 7, leaving 56 to 63 bits in hand.
constexpr uint32_t kRefillReadBytes = 8;
constexpr uint32_t kRefillMaxAdvance = 7;
constexpr uint32_t kBitsAfterRefill = 56;

// A step refills when fewer than kMaxStepBits are in hand, after which one
// step can run without looking at the input again.
static_assert(kBitsAfterRefill >= kMaxStepBits, "a refill must cover a whole step");

// Before each refill kFastInputMargin bytes must remain: the refill reads 8,
// and after moving the cursor by up to 7, 8 still remain for the one refill
// the exit may need (to hold the model's 16 bits before giving bytes back).
constexpr uint32_t kFastInputMargin = kRefillReadBytes + kRefillMaxAdvance;  // 15
static_assert(kFastMinInput >= kFastInputMargin, "the first step must be able to refill");

// A step writes at most one 258-byte match from wp < kWindowBytes; the copy
// by pairs of 8-byte words reads and restores 16 bytes behind the match.
// All of it stays inside the window and its slack.
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kCopyWord = 8;
static_assert(kWindowBytes - 1 + kMaxMatch + 2 * kCopyWord <= kWindowBytes + kWindowSlack,
              "a match copied by words must stay in the window's slack");

// --- the byte-wise model's bit count --------------------------------------------
//
// The byte-wise reader holds c bits (8 to 16) between fields.  For a field
// of n bits (a code of up to 8 bits found in the first-level table, extra
// bits, n from 0 to 8) it fetches one byte when c - n <= 8, so afterwards
//   c' = c - n + 8  if c - n <= 8,   c - n  otherwise.
// A code of L = 9 to 15 bits drops 8 bits with exactly one fetch (c stays),
// then walks L - 8 single bits, fetching before a bit when exactly 8 are in
// hand; that comes to c' = 8 + ((c - L) mod 8).  Distance extra bits of 9 to
// 13 read their low 8 bits with exactly one fetch (c stays) and the rest as a
// field of e - 8 bits.  Both rules depend on r = c - n only, over r = -7..16:
//   r < 0: r + 16;  0 <= r <= 8: r + 8;  r > 8: r.
constexpr uint32_t modelAfter(uint32_t count, uint32_t n) {
    int32_t r = static_cast<int32_t>(count) - static_cast<int32_t>(n);
    return static_cast<uint32_t>(r + (r <= 8 ? 8 : 0) + (r < 0 ? 8 : 0));
}

// The same by following the byte-wise steps bit by bit, to check the rule.
constexpr uint32_t modelByWalking(uint32_t count, uint32_t n) {
    if (n <= 8)
        return count - n <= 8 ? count - n + 8 : count - n;
    // 8-bit drop with one fetch: count unchanged; then single bits.
    for (uint32_t i = 8; i < n; ++i) {
        if (count == 8)
            count += 8;
        count -= 1;
    }
    return count;
}

constexpr bool modelRuleHolds() {
    for (uint32_t c = 8; c <= 16; ++c)
        for (uint32_t n = 0; n <= kMaxCodeBits; ++n)
            if (modelAfter(c, n) != modelByWalking(c, n) || modelAfter(c, n) < 8 || modelAfter(c, n) > 16)
                return false;
    return true;
}
static_assert(modelRuleHolds(), "the count rule must follow the byte-wise reader");

// The rule as a table, indexed by count + 7 - n (0 to 23): one load per field
// instead of the comparisons.
struct ModelTable {
    uint8_t next[24];
    constexpr ModelTable() : next() {
        for (uint32_t i = 0; i < 24; ++i)
            next[i] = static_cast<uint8_t>(i >= 15 ? modelAfter(i - 7, 0) : modelAfter(8, 15 - i));
    }
};
constexpr ModelTable kModel;

constexpr bool modelTableHolds() {
    for (uint32_t c = 8; c <= 16; ++c)
        for (uint32_t n = 0; n <= kMaxCodeBits; ++n)
            if (kModel.next[c + 7 - n] != modelAfter(c, n))
                return false;
    return true;
}
static_assert(modelTableHolds(), "the table must give the rule");

// --- table entries ----------------------------------------------------------------
//
// Both kinds keep in their low 6 bits the number of bits the symbol takes
// with its extra bits, so that dropping them is one shift by the entry (the
// processor's shift takes the count modulo 64 without a mask).
//
// Literal/length entries, 32 bits, indexed by the next kFastLenBits bits:
//   0                    stop: end of block, symbol 286 or 287, or no code
//                        (the byte-wise steps take it)
//   bit 31 (literal)     bits 23..16 the byte; bits 11..8 and 5..0 the code
//                        length
//   bit 30 (length)      bits 24..16 the base length (3 to 258), bits 11..8
//                        the code length L, bits 5..0 L plus the extra bits
//                        (0 to 5)
//   bit 29 (long)        a code longer than kFastLenBits bits begins here:
//                        walk the byte-wise tree
// Distance entries, 32 bits, indexed by the next kFastDistBits bits:
//   0                    stop: symbol 30 or 31, or no code
//   bit 6 (long)         a code longer than kFastDistBits bits: walk the tree
//   otherwise            bits 31..17 the base distance (1 to 24,577), bits
//                        14..11 the extra bits as the model counts them as
//                        a field (e, or e - 8 for e > 8), bits 10..7 the code
//                        length L, bits 5..0 L plus the extra bits e (0 to 13)
constexpr uint32_t kLitFlag = 1u << 31;
constexpr uint32_t kLengthFlag = 1u << 30;
constexpr uint32_t kLenLongFlag = 1u << 29;
constexpr uint32_t kDistLongFlag = 1u << 6;
constexpr uint32_t kDropMask = 0x3F;
constexpr uint32_t kLenMask = (1u << kFastLenBits) - 1;
constexpr uint32_t kDistMask = (1u << kFastDistBits) - 1;
static_assert(kFastLenBits >= 8 && kFastLenBits <= kMaxCodeBits, "longer codes walk the 8-bit tables' trees");
static_assert(kFastDistBits >= 8 && kFastDistBits <= kMaxCodeBits, "longer codes walk the 8-bit tables' trees");
static_assert(kMaxCodeBits + kMaxDistExtra <= kDropMask, "a symbol's bits fit the drop field");
static_assert(24577 < (1u << 15), "the base distance fits bits 31..17");

inline uint32_t lenEntry(uint32_t symbol, uint32_t codeLength) {
    if (symbol < 256)
        return kLitFlag | symbol << 16 | codeLength << 8 | codeLength;
    if (symbol == 256 || symbol > 285)
        return 0;
    return kLengthFlag | uint32_t(kLengthBase[symbol - 257]) << 16 | codeLength << 8 |
           (codeLength + kLengthExtraBits[symbol - 257]);
}

inline uint32_t distEntry(uint32_t symbol, uint32_t codeLength) {
    if (symbol >= 30)
        return 0;
    uint32_t extra = kDistExtraBits[symbol];
    uint32_t field = extra > 8 ? extra - 8 : extra;
    return uint32_t(kDistBase[symbol]) << 17 | field << 11 | codeLength << 7 | (codeLength + extra);
}

// The low length bits of code in reverse order (length 1 to 15).
inline uint32_t reverse(uint32_t code, uint32_t length) {
    code = ((code & 0x5555) << 1) | ((code >> 1) & 0x5555);
    code = ((code & 0x3333) << 2) | ((code >> 2) & 0x3333);
    code = ((code & 0x0F0F) << 4) | ((code >> 4) & 0x0F0F);
    code = ((code & 0x00FF) << 8) | ((code >> 8) & 0x00FF);
    return code >> (16 - length);
}

// Fills a one-lookup table of 2^bits entries from n code lengths that the
// byte-wise construction has accepted (so a complete code, one symbol or
// none).  Codes longer than bits mark their first bits with longFlag.
template <uint32_t (*Entry)(uint32_t, uint32_t)>
void fill(const uint8_t *lengths, uint32_t n, uint32_t bits, uint32_t longFlag, uint32_t *table) {
    uint32_t count[kMaxCodeBits + 1] = {};
    for (uint32_t s = 0; s < n; ++s)
        ++count[lengths[s]];
    const uint32_t unused = count[0];
    count[0] = 0;
    uint32_t next[kMaxCodeBits + 1] = {};
    for (uint32_t len = 2; len <= kMaxCodeBits; ++len)
        next[len] = (next[len - 1] + count[len - 1]) << 1;

    // A complete code covers every entry; only an empty or one-symbol code
    // leaves entries without a code, which must read as stops.
    const uint32_t size = 1u << bits;
    if (n - unused <= 1) {
        for (uint32_t i = 0; i < size; ++i)
            table[i] = 0;
    }
    for (uint32_t s = 0; s < n; ++s) {
        uint32_t len = lengths[s];
        if (len == 0)
            continue;
        uint32_t r = reverse(next[len]++, len);
        if (len > bits) {
            table[r & (size - 1)] = longFlag;
            continue;
        }
        uint32_t e = Entry(s, len);
        for (uint32_t i = r; i < size; i += 1u << len)
            table[i] = e;
    }
}

// --- input and window -----------------------------------------------------------------

inline uint64_t load64(const uint8_t *p) {
    uint64_t v;
    __builtin_memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

inline uint64_t loadWord(const uint8_t *p) {
    uint64_t v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

inline void storeWord(uint8_t *p, uint64_t v) { __builtin_memcpy(p, &v, sizeof v); }

// Follows a code longer than the one-lookup table through the byte-wise
// first-level table and tree.  Returns the leaf (symbol and code length, as
// in decode.h), or 0 when the bits lead to no code.
inline uint32_t walkTree(const uint16_t *first, const uint16_t *tree, uint64_t buf) {
    uint32_t e = first[buf & 0xFF];
    uint32_t bit = 8;
    while (e & kEntryNode) {
        e = tree[2 * (e & 0x7FFFu) + ((buf >> bit) & 1)];
        ++bit;
    }
    return e;
}

// A match whose source lies in the window behind the write position.  Bytes
// go in ascending order as with the byte-wise copy: pairs of words when the
// distance is at least two words, words when it is at least a word or at
// least the length (no word then reads a byte the same match writes later),
// byte by byte for short repeats.  The word copies may run up to 15 bytes
// past the match; those bytes may still be needed (the previous fill behind
// the write position), so they are saved and put back.
inline void copyNear(uint8_t *dst, uint32_t length, uint32_t distance) {
    const uint8_t *src = dst - distance;
    if (distance >= 2 * kCopyWord) {
        uint8_t *end = dst + length;
        uint64_t behind0 = loadWord(end), behind1 = loadWord(end + kCopyWord);
        do {
            uint64_t a = loadWord(src), b = loadWord(src + kCopyWord);
            storeWord(dst, a);
            storeWord(dst + kCopyWord, b);
            dst += 2 * kCopyWord;
            src += 2 * kCopyWord;
        } while (dst < end);
        storeWord(end, behind0);
        storeWord(end + kCopyWord, behind1);
    } else if (distance >= kCopyWord || distance >= length) {
        uint8_t *end = dst + length;
        uint64_t behind = loadWord(end);
        do {
            storeWord(dst, loadWord(src));
            dst += kCopyWord;
            src += kCopyWord;
        } while (dst < end);
        storeWord(end, behind);
    } else if (distance == 1) {
        __builtin_memset(dst, src[0], length);
    } else {
        for (uint32_t i = 0; i < length; ++i)
            dst[i] = src[i];
    }
}

// A match whose source begins in the previous fill, in front of the write
// position (the window's start lies within the distance).  That part is
// copied forward from ahead of the destination, so each word is read before
// anything at or after it is written, whatever the gap; the rest, if any,
// comes from the window start like a near match.  The 8 bytes behind the
// match are saved and put back, as for a near match.
inline void copyFar(Workspace &w, uint32_t wp, uint32_t length, uint32_t distance) {
    uint8_t *dst = w.window + wp;
    uint8_t *end = dst + length;
    uint64_t behind = loadWord(end);
    uint32_t before = distance - wp;
    const uint8_t *src = w.window + w.prevEnd - before;
    uint32_t first = before < length ? before : length;
    for (uint32_t i = 0; i < first; i += kCopyWord)
        storeWord(dst + i, loadWord(src + i));
    if (first < length)
        copyNear(dst + first, length - first, wp + first);
    storeWord(end, behind);
}

}  // namespace

void buildFastTables(const Workspace &w, FastTables &t) {
    fill<lenEntry>(w.lenLengths, kLenSymbols, kFastLenBits, kLenLongFlag, t.len);
    fill<distEntry>(w.distLengths, kDistSymbols, kFastDistBits, kDistLongFlag, t.dist);
}

FastStop inflateFast(Workspace &w, const FastTables &t, BitReader &br, uint32_t &wpInOut) {
    const uint8_t *in = br.in;
    const uint8_t *const inEnd = br.in + br.left;
    uint32_t model = br.count;  // the byte-wise reader's bit count
    uint32_t avail = br.count;  // bits in hand in buf
    uint64_t buf = br.bits & ((1u << br.count) - 1);
    uint32_t wp = wpInOut;
    uint8_t *const window = w.window;
    FastStop stop = kFastAtLen;

// Drops n bits that are in hand, and counts them as the byte-wise reader
// would count a field of modelBits.
#define CONSUME(n, modelBits)                    \
    do {                                         \
        buf >>= (n);                             \
        avail -= (n);                            \
        model = kModel.next[model + 7 - (modelBits)]; \
    } while (0)

// Drops a code of n bits and the extra bits behind it (read beforehand),
// total bits in one shift; the model counts them as two fields.
#define CONSUME_WITH_EXTRA(total, n, extraModelBits)                                \
    do {                                                                           \
        buf >>= (total);                                                           \
        avail -= (total);                                                          \
        model = kModel.next[kModel.next[model + 7 - (n)] + 7 - (extraModelBits)]; \
    } while (0)

// Fills the buffer to 56 to 63 bits with one 8-byte read; the cursor moves
// over the whole bytes taken.  Bits already in hand stay where they are, so
// an entry looked up before stays valid.
#define REFILL()                                \
    do {                                        \
        buf |= load64(in) << avail;             \
        in += (63 - avail) >> 3;                \
        avail |= kBitsAfterRefill;              \
    } while (0)

// A literal from the one-lookup table: code of at most kFastLenBits bits.
#define LITERAL(e)                                      \
    do {                                                \
        uint32_t n_ = (e) & kDropMask;                  \
        CONSUME(n_, n_);                                \
        window[wp++] = static_cast<uint8_t>((e) >> 16); \
    } while (0)

    // Tops the buffer up for the next round: false when the input is too
    // near its end for one (the byte-wise steps take over there).
    auto topUp = [&]() -> bool {
        if (avail >= kMaxStepBits)
            return true;
        if (static_cast<uint32_t>(inEnd - in) < kFastInputMargin)
            return false;
        REFILL();
        return true;
    };

    // A round starts with at least kMaxStepBits in hand and takes up to three
    // literals of at most kFastLenBits bits, each looked up first, and looks
    // up the entry after them: four lookups' worth of valid bits.
    static_assert(kMaxStepBits >= 4 * kFastLenBits, "room for the literals of one round");

    // The loop carries the entry of the next symbol, looked up as soon as its
    // bits are in hand.  At the top of each round: a step boundary, the
    // window below its limit, at least kMaxStepBits in hand, e the entry.
    REFILL();  // the caller leaves at least kFastMinInput bytes
    uint32_t e = t.len[buf & kLenMask];
    for (;;) {
        if (e & kLitFlag) {
            // Up to three literals per round, each with the window checked.
            LITERAL(e);
            e = t.len[buf & kLenMask];
            if ((e & kLitFlag) && wp < kWindowBytes) {
                LITERAL(e);
                e = t.len[buf & kLenMask];
                if ((e & kLitFlag) && wp < kWindowBytes) {
                    LITERAL(e);
                    e = t.len[buf & kLenMask];
                }
            }
            if (wp >= kWindowBytes || !topUp())
                break;
            continue;
        }

        // length symbol and extra bits
        if (!(e & kLengthFlag)) {
            if (!(e & kLenLongFlag))
                break;  // end of block, invalid symbol or no code
            uint32_t leaf = walkTree(w.lenFirst, w.lenTree, buf);
            e = leaf == 0 ? 0 : lenEntry(leaf >> kEntrySymbolShift, leaf & kEntryLengthMask);
            if (e == 0)
                break;  // end of block, invalid symbol or no code
            if (e & kLitFlag) {
                uint32_t n = e & kDropMask;
                CONSUME(n, n);
                window[wp++] = static_cast<uint8_t>(e >> 16);
                if (wp >= kWindowBytes || !topUp())
                    break;
                e = t.len[buf & kLenMask];
                continue;
            }
        }
        uint32_t n = (e >> 8) & 0xF;
        uint32_t extra = (e & kDropMask) - n;
        uint32_t length = ((e >> 16) & 0x1FF) + (static_cast<uint32_t>(buf >> n) & ((1u << extra) - 1));
        CONSUME_WITH_EXTRA(e & kDropMask, n, extra);

        // distance symbol and extra bits
        uint32_t d = t.dist[buf & kDistMask];
        if (d & kDistLongFlag) {
            uint32_t leaf = walkTree(w.distFirst, w.distTree, buf);
            d = leaf == 0 ? 0 : distEntry(leaf >> kEntrySymbolShift, leaf & kEntryLengthMask);
        }
        if (d == 0) {
            // Symbol 30 or 31, or no code: the byte-wise distance step decides.
            w.length = static_cast<uint16_t>(length);
            stop = kFastAtDist;
            break;
        }
        n = (d >> 7) & 0xF;
        uint32_t dextra = (d & kDropMask) - n;
        uint32_t distance = (d >> 17) + (static_cast<uint32_t>(buf >> n) & ((1u << dextra) - 1));
        CONSUME_WITH_EXTRA(d & kDropMask, n, (d >> 11) & 0xF);

        // The next symbol's entry is fetched before the copy, so that its
        // lookup overlaps the copy.
        bool more = topUp();
        e = t.len[buf & kLenMask];

        if (distance <= wp)
            copyNear(window + wp, length, distance);
        else
            copyFar(w, wp, length, distance);
        wp += length;
        if (!more || wp >= kWindowBytes)
            break;
    }

    // Hold at least the model's bits, then give back the whole bytes beyond
    // them.  Both counts describe the same bit position, so they differ by
    // whole bytes; kFastInputMargin leaves the 8 bytes the refill reads.
    if (avail < model)
        REFILL();
#undef CONSUME
#undef CONSUME_WITH_EXTRA
#undef REFILL
#undef LITERAL
    in -= (avail - model) >> 3;
    br.bits = static_cast<uint32_t>(buf) & ((1u << model) - 1);
    br.count = model;
    br.left = static_cast<uint32_t>(inEnd - in);
    br.in = in;
    wpInOut = wp;
    return stop;
}

}  // namespace engine
}  // namespace decode
}  // namespace qz
