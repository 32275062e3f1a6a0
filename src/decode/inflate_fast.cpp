// inflate_fast.cpp -- the fast loop of the Deflate engine: the middle of a
// block with fixed or dynamic codes, while input and window room abound.
//
// What it does differently from the byte-wise steps of inflate.cpp:
//   - a 64-bit bit buffer topped up by one 8-byte read per step, without a
//     branch: the loop only runs while the input has a margin for it;
//   - one table lookup for literal/length codes of up to 11 bits (the
//     byte-wise table resolves 8 bits and walks a tree for the rest);
//     longer codes, and distance codes longer than 8 bits (a distance table
//     of 8 bits measured faster than 9 or 10), walk the byte-wise tree;
//   - up to two literals per round of the loop;
//   - the next symbol's table entry fetched before a match is copied, from
//     the bits the length and a distance of the table leave, so that a
//     match refills once;
//   - matches copied by 8-byte words, four without a branch (most matches
//     are shorter than that), each read after the stores before it, so that
//     one test of the distance takes every source a word or more behind,
//     also the previous fill (nearer repeats of 1, 2 or 4 bytes go as a
//     repeated word); the words run past the match into the unread rest of
//     the filling window, since the previous fill has a window of its own
//     (decode.h);
//   - the byte-wise reader's bit count kept as one bit (see HighRule);
//   - on x86, a second build of the loop for processors with BMI2.
//
// Measured and left out: two literals in one table entry (building the
// pairs cost more than they saved, and in zlib's level-6
// streams two literal codes rarely fit 11 bits together: on executables
// fewer than 1 in 400 pairs of literals), three or four literals per
// round, copies that write exactly up to the match's end by merging the
// last word with the bytes behind it (the loads of freshly written words
// stalled), and copies that read their first words before writing any (they
// need a source four words behind, and the second test of the distance,
// which one match in ten fails on executables, cost more than the stalls
// it avoided).
//
// Table sizes: the tables are built for every block (executables compress
// into many small ones) and kept in the workspace while the block lasts, so
// their construction is kept to copies of the table doubling it and one
// store per code.  A one-bit test for a distance stop or long code, and
// hints that the rare branches are unlikely, measured no faster.
//
// What it must not change: the engine's counts and suspension points follow
// the byte-wise model of a 16-bit buffer holding 8 to 16 bits (BitReader in
// decode.h).  So the loop keeps, beside its wide buffer, what it needs to
// know the bit count the model would hold after the same fields (see
// modelAfter and HighRule), and on the way out it gives back every whole
// byte it read beyond the model's, leaving the BitReader exactly where the
// byte-wise steps would have left it.  It never suspends and never declares data invalid: an end
// of block, an invalid symbol or an empty table entry sends it back to the
// byte-wise steps at the start of the step that met it, and they decide.
//
// Entry assumptions (checked by the caller, inflate.cpp at the literal/length
// step):
//   - no tree walk is pending (w.walk == 0) and the model holds 8 to 16 bits;
//   - br.left >= kFastMinInput >= kFastInputMargin (derived below);
//   - wp + kFastWindowRoom <= kWindowBytes: a round of literals fits;
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
// One step decodes up to kLiteralEntries literals of codes in the table, or
// a length with its extra bits and a distance with its extra bits: at most
// 15 + 5 + 15 + 13 bits.
constexpr uint32_t kMaxCodeBits = 15;
constexpr uint32_t kMaxLengthExtra = 5;
constexpr uint32_t kMaxDistExtra = 13;
constexpr uint32_t kLiteralEntries = 2;

// A refill reads 8 bytes at the cursor and moves it over the whole bytes
// that fit in the buffer, leaving 56 to 63 bits in hand.  Every step starts
// with a full buffer.  A round of literals refills once, after its lookups.
// A match refills after the lookup of the next entry, which must see real
// bits; one whose distance code is longer than the table refills after the
// length too, once the tree walk has read its code.  So a step moves the
// cursor by at most 7 bytes: 3 for a round of literals, 6 for a match of
// the table, 3 + 4 for one that walks.
constexpr uint32_t kRefillReadBytes = 8;
constexpr uint32_t kRefillMaxAdvance = 7;
constexpr uint32_t kBitsAfterRefill = 56;
constexpr uint32_t kMaxLengthBits = kMaxCodeBits + kMaxLengthExtra;  // 20
constexpr uint32_t kMaxDistBits = kMaxCodeBits + kMaxDistExtra;      // 28
constexpr uint32_t kMaxTableDistBits = kFastDistBits + kMaxDistExtra;  // 21
static_assert(kBitsAfterRefill >= kLiteralEntries * kFastLenBits + kFastLenBits,
              "a round of literals and the lookup behind it must fit a refill");
static_assert(kBitsAfterRefill >= kMaxLengthBits + kMaxTableDistBits + kFastLenBits,
              "a length, a distance of the table and the next lookup must fit a refill");
static_assert(kBitsAfterRefill >= kMaxLengthBits + kMaxCodeBits,
              "the distance lookup or tree walk must see real bits before the refill");
static_assert(kBitsAfterRefill >= kMaxDistBits + kFastLenBits,
              "a walked distance and the next lookup must fit the refill between them");
constexpr uint32_t advanceAfter(uint32_t bits) { return (63 - kBitsAfterRefill + bits) / 8; }
static_assert(advanceAfter(kLiteralEntries * kFastLenBits) <= kRefillMaxAdvance &&
                  advanceAfter(kMaxLengthBits + kMaxTableDistBits) <= kRefillMaxAdvance &&
                  advanceAfter(kMaxLengthBits) + advanceAfter(kMaxDistBits) <= kRefillMaxAdvance,
              "a step's refills move the cursor by at most kRefillMaxAdvance bytes");

// A step starts only while kFastInputMargin bytes remain: its refills read 8
// bytes each and move the cursor by up to 7 in all, after which 8 still
// remain for the one refill the exit may need (to hold the model's 16 bits
// before giving bytes back).
constexpr uint32_t kFastInputMargin = kRefillMaxAdvance + kRefillReadBytes;  // 15
static_assert(kFastMinInput >= kFastInputMargin + kRefillMaxAdvance, "the first refill must leave a step");

// A step writes at most kFastWindowRoom literals, or one 258-byte match from
// wp < kWindowBytes, whose copy writes up to 31 bytes past it (and reads as
// far past its source).  All of it stays inside the window and its slack.
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kCopyWord = 8;
static_assert(kWindowBytes - 1 + kMaxMatch + 4 * kCopyWord <= kWindowBytes + kWindowSlack,
              "a match copied by words must stay in the window's slack");
static_assert(kFastWindowRoom >= kLiteralEntries, "room for a round of literals");

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

// The fast loop does not count like this field by field.  The model's
// count and the wide buffer's count describe the same bit position, and
// each holds whole bytes beyond it, so they agree modulo 8: the wide count
// gives the model's, 8 + (avail mod 8), except at byte boundaries, where the
// model holds 8 or 16.  Which of the two is one bit, "high" (16), and a
// field of n bits sets it by a rule that needs no count:
//   n == 8: high stays as it was;  n < 8: high;  n > 8: not high.
// The bit only matters at byte boundaries; elsewhere it may be stale, and
// the rule still gives the right one at the next boundary (checked below
// for every count and either stale bit).
struct HighRule {
    bool keep;   // the bit stays as it was
    bool value;  // otherwise the bit becomes this
};

constexpr HighRule highAfter(uint32_t n) { return {n == 8, n < 8}; }

// The rule of two fields in a row.
constexpr HighRule highAfter(HighRule first, HighRule second) {
    return second.keep ? first : second;
}

constexpr uint32_t modelFromWide(uint32_t avail, bool high) {
    return (avail & 7) != 0 ? 8 + (avail & 7) : high ? 16 : 8;
}

constexpr bool highRuleHolds() {
    for (uint32_t c = 8; c <= 16; ++c) {
        for (uint32_t stale = 0; stale <= 1; ++stale) {
            bool high = (c & 7) != 0 ? stale != 0 : c == 16;
            for (uint32_t n = 0; n <= kMaxCodeBits; ++n) {
                HighRule rule = highAfter(n);
                bool next = rule.keep ? high : rule.value;
                // Any wide count of the same residue stands for the model's.
                if (modelFromWide(c - n + 64, next) != modelAfter(c, n))
                    return false;
            }
        }
    }
    return true;
}
static_assert(highRuleHolds(), "the high bit must give the model's count");

// --- table entries ----------------------------------------------------------------
//
// Both kinds keep in their low 6 bits the number of bits the entry takes
// with its extra bits, so that dropping them is one shift by the entry (the
// processor's shift takes the count modulo 64 without a mask), and in bits
// 8 and 9 the high-bit rule of the entry's fields: kHighKeep, kHighValue.
//
// Literal/length entries, 32 bits, indexed by the next kFastLenBits bits:
//   0                    stop: end of block, symbol 286 or 287, or no code
//                        (the byte-wise steps take it)
//   bit 6 (literal)      bits 23..16 the byte
//   bit 15 (length)      bits 24..16 the base length (3 to 258), bits 31..28
//                        the code length L, bits 5..0 L plus the extra bits
//                        (0 to 5)
//   kLenLong             a code longer than kFastLenBits bits begins here:
//                        walk the byte-wise tree
// Distance entries, 32 bits, indexed by the next kFastDistBits bits:
//   0                    stop: symbol 30 or 31, or no code
//   bit 6 (long)         a code longer than kFastDistBits bits: walk the tree
//   otherwise            bits 31..17 the base distance (1 to 24,577), bits
//                        13..10 the code length L, bits 5..0 L plus the
//                        extra bits e (0 to 13)
constexpr uint32_t kLitFlag = 1u << 6;
constexpr uint32_t kLengthFlag = 1u << 15;
constexpr uint32_t kLenLong = 1u << 16;
constexpr uint32_t kDistLongFlag = 1u << 6;
constexpr uint32_t kDropMask = 0x3F;
constexpr uint32_t kHighKeep = 1u << 8;
constexpr uint32_t kHighValue = 1u << 9;
constexpr uint32_t kLenMask = (1u << kFastLenBits) - 1;
constexpr uint32_t kDistMask = (1u << kFastDistBits) - 1;
static_assert(kFastLenBits >= 8 && kFastLenBits <= kMaxCodeBits,
              "longer codes walk the 8-bit tables' trees");
static_assert(kFastDistBits >= 8 && kFastDistBits <= kMaxCodeBits,
              "longer codes walk the 8-bit tables' trees");
static_assert(kMaxCodeBits + kMaxDistExtra <= kDropMask, "a symbol's bits fit the drop field");
static_assert(24577 < (1u << 15), "the base distance fits bits 31..17");

constexpr uint32_t highBits(HighRule rule) {
    return (rule.keep ? kHighKeep : 0) | (rule.value ? kHighValue : 0);
}

// The entry of a symbol and its code length; 0 for symbols that stop the
// loop.
constexpr uint32_t lenEntry(uint32_t symbol, uint32_t codeLength) {
    if (symbol < 256)
        return symbol << 16 | highBits(highAfter(codeLength)) | kLitFlag | codeLength;
    if (symbol == 256 || symbol > 285)
        return 0;
    uint32_t extra = kLengthExtraBits[symbol - 257];
    return codeLength << 28 | uint32_t(kLengthBase[symbol - 257]) << 16 | kLengthFlag |
           highBits(highAfter(highAfter(codeLength), highAfter(extra))) | (codeLength + extra);
}

// Distance extra bits of 9 to 13 are read as the low 8 bits and the rest.
constexpr uint32_t distEntry(uint32_t symbol, uint32_t codeLength) {
    if (symbol >= 30)
        return 0;
    uint32_t extra = kDistExtraBits[symbol];
    HighRule code = highAfter(codeLength);
    HighRule rule = extra > 8 ? highAfter(highAfter(code, highAfter(8)), highAfter(extra - 8))
                              : highAfter(code, highAfter(extra));
    return uint32_t(kDistBase[symbol]) << 17 | codeLength << 10 | highBits(rule) | (codeLength + extra);
}

// The entries as a symbol's part and a code length's part, from small
// tables, since the tables are built for every block.  A literal's high-bit
// rule is its code's; a length's and a distance's are those of the extra
// bits that end them, unless a distance ends in exactly 8 (then its code's).
struct EntryParts {
    uint32_t len[kLenSymbols];    // 0 for symbols that stop the loop
    uint32_t dist[kDistSymbols];  // 0 for symbols that stop the loop
    uint32_t literalLength[kMaxCodeBits + 1];
    uint32_t lengthLength[kMaxCodeBits + 1];
    uint32_t distLength[kMaxCodeBits + 1];
    constexpr EntryParts() : len(), dist(), literalLength(), lengthLength(), distLength() {
        for (uint32_t s = 0; s < kLenSymbols; ++s)
            len[s] = s < 256 ? s << 16 | kLitFlag : lenEntry(s, 0);
        for (uint32_t s = 0; s < kDistSymbols; ++s)
            dist[s] = distEntry(s, 0);
        for (uint32_t n = 0; n <= kMaxCodeBits; ++n) {
            literalLength[n] = highBits(highAfter(n)) | n;
            lengthLength[n] = n << 28 | n;
            distLength[n] = n << 10 | n;
        }
    }
};
constexpr EntryParts kParts;

inline uint32_t lenEntryOf(uint32_t symbol, uint32_t codeLength) {
    uint32_t part = kParts.len[symbol];
    if (part == 0)
        return 0;
    return part + (symbol < 256 ? kParts.literalLength[codeLength] : kParts.lengthLength[codeLength]);
}

inline uint32_t distEntryOf(uint32_t symbol, uint32_t codeLength) {
    uint32_t part = kParts.dist[symbol];
    if (part == 0)
        return 0;
    if (kDistExtraBits[symbol] == 8)
        part = (part & ~(kHighKeep | kHighValue)) | highBits(highAfter(codeLength));
    return part + kParts.distLength[codeLength];
}

constexpr bool partsHold() {
    for (uint32_t n = 1; n <= kMaxCodeBits; ++n) {
        for (uint32_t s = 0; s < kLenSymbols; ++s) {
            uint32_t part = kParts.len[s];
            uint32_t e = part == 0 ? 0 : part + (s < 256 ? kParts.literalLength[n] : kParts.lengthLength[n]);
            if (e != lenEntry(s, n))
                return false;
        }
        for (uint32_t s = 0; s < kDistSymbols; ++s) {
            uint32_t part = kParts.dist[s];
            if (part != 0 && kDistExtraBits[s] == 8)
                part = (part & ~(kHighKeep | kHighValue)) | highBits(highAfter(n));
            if ((part == 0 ? 0 : part + kParts.distLength[n]) != distEntry(s, n))
                return false;
        }
    }
    return true;
}
static_assert(partsHold(), "the parts must add up to the entries");

// The low length bits of code in reverse order (length 1 to 15).
inline uint32_t reverse(uint32_t code, uint32_t length) {
    uint32_t r = uint32_t(kReversed.byte[code & 0xFF]) << 8 | kReversed.byte[(code >> 8) & 0xFF];
    return r >> (16 - length);
}

// Fills a one-lookup table of 2^bits entries from n code lengths that the
// byte-wise construction has accepted (so a complete code, one symbol or
// none).  Codes longer than bits mark their first bits with longEntry.
//
// The table is built length by length: once the codes of up to len bits are
// in its first 2^len entries, those entries are copied behind themselves,
// which repeats every shorter code for the new bit above it, and the codes
// of len + 1 bits go into the places no shorter code covers.  Entries that
// no code covers (an empty or one-symbol code) stay 0, a stop.
//
// The table is built for every block, so the counting and sorting run over
// four quarters of the symbols side by side.
static_assert(kLenSymbols % 4 == 0 && kDistSymbols % 4 == 0, "the symbols fall into four quarters");

template <uint32_t (*Entry)(uint32_t, uint32_t)>
void fill(const uint8_t *lengths, uint32_t n, uint32_t bits, uint32_t longEntry, uint32_t *table) {
    const uint32_t quarter = n / 4;
    uint32_t count[4][kMaxCodeBits + 1] = {};
    for (uint32_t s = 0; s < quarter; ++s) {
        ++count[0][lengths[s]];
        ++count[1][lengths[s + quarter]];
        ++count[2][lengths[s + 2 * quarter]];
        ++count[3][lengths[s + 3 * quarter]];
    }
    // Where each quarter's symbols of each length go in the sorted list.
    uint32_t place[4][kMaxCodeBits + 1];
    uint32_t total[kMaxCodeBits + 1];
    uint32_t at = 0;
    for (uint32_t len = 1; len <= kMaxCodeBits; ++len) {
        for (uint32_t q = 0; q < 4; ++q) {
            place[q][len] = at;
            at += count[q][len];
        }
        total[len] = count[0][len] + count[1][len] + count[2][len] + count[3][len];
    }
    uint16_t sorted[kLenSymbols + 1];  // the used symbols by code length, then symbol; one spare
    for (uint32_t s = 0; s < quarter; ++s) {
        // Unused symbols (length 0) all land on the spare slot.
        uint32_t l0 = lengths[s], l1 = lengths[s + quarter];
        uint32_t l2 = lengths[s + 2 * quarter], l3 = lengths[s + 3 * quarter];
        sorted[l0 ? place[0][l0]++ : kLenSymbols] = static_cast<uint16_t>(s);
        sorted[l1 ? place[1][l1]++ : kLenSymbols] = static_cast<uint16_t>(s + quarter);
        sorted[l2 ? place[2][l2]++ : kLenSymbols] = static_cast<uint16_t>(s + 2 * quarter);
        sorted[l3 ? place[3][l3]++ : kLenSymbols] = static_cast<uint16_t>(s + 3 * quarter);
    }

    const uint32_t mask = (1u << bits) - 1;
    uint32_t k = 0;     // next symbol in sorted
    uint32_t code = 0;  // its canonical code
    table[0] = 0;
    for (uint32_t len = 1; len <= kMaxCodeBits; ++len) {
        if (len <= bits) {
            const uint32_t half = 1u << (len - 1);
            for (uint32_t i = 0; i < half; ++i)
                table[half + i] = table[i];
        }
        for (uint32_t end = k + total[len]; k < end; ++k, ++code)
            table[reverse(code, len) & mask] = len <= bits ? Entry(sorted[k], len) : longEntry;
        code <<= 1;
    }
}

// --- input and window -----------------------------------------------------------------

// The rare paths of the loop (codes longer than its tables, near and split
// copies) are functions of their own: inlined, their temporaries pushed the
// loop's own values out of registers (about 2 % on executables).
#if defined(__GNUC__)
#define QZ_RARE __attribute__((noinline))
#else
#define QZ_RARE
#endif

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

// The entry of a code longer than the one-lookup tables, or 0 when the bits
// lead to no code (or to a symbol that stops the loop).
QZ_RARE uint32_t longLenEntry(const Workspace &w, uint64_t buf) {
    uint32_t leaf = walkTree(w.lenFirst, w.lenTree, buf);
    return leaf == 0 ? 0 : lenEntry(leaf >> kEntrySymbolShift, leaf & kEntryLengthMask);
}

QZ_RARE uint32_t longDistEntry(const Workspace &w, uint64_t buf) {
    uint32_t leaf = walkTree(w.distFirst, w.distTree, buf);
    return leaf == 0 ? 0 : distEntry(leaf >> kEntrySymbolShift, leaf & kEntryLengthMask);
}

// The copies of a match write whole words from the destination on and may
// run up to 31 bytes past the match, into the part of the filling window
// that nothing reads (decode.h).
//
// By words, each read after the stores before it, so that a source the
// match is itself writing, a word or more behind, is read as written; a
// source in the previous fill lies in a window of its own.  The first four
// words go without a branch (most matches are shorter), the rest by pairs.
inline void copyWords(uint8_t *dst, const uint8_t *src, const uint8_t *end) {
    storeWord(dst, loadWord(src));
    storeWord(dst + kCopyWord, loadWord(src + kCopyWord));
    storeWord(dst + 2 * kCopyWord, loadWord(src + 2 * kCopyWord));
    storeWord(dst + 3 * kCopyWord, loadWord(src + 3 * kCopyWord));
    dst += 4 * kCopyWord;
    src += 4 * kCopyWord;
    while (dst < end) {
        storeWord(dst, loadWord(src));
        storeWord(dst + kCopyWord, loadWord(src + kCopyWord));
        dst += 2 * kCopyWord;
        src += 2 * kCopyWord;
    }
}

// A source less than a word behind the destination: a distance of 1, 2 or
// 4 repeats one word of the pattern; 3, 5, 6 and 7 go byte by byte.
QZ_RARE void copyNear(uint8_t *dst, const uint8_t *end, uint32_t distance) {
    const uint8_t *src = dst - distance;
    uint64_t pattern;
    if (distance == 1) {
        pattern = src[0] * 0x0101010101010101ull;
    } else if (distance == 2) {
        uint16_t v;
        __builtin_memcpy(&v, src, sizeof v);
        pattern = v * 0x0001000100010001ull;
    } else if (distance == 4) {
        uint32_t v;
        __builtin_memcpy(&v, src, sizeof v);
        pattern = v * 0x0000000100000001ull;
    } else {
        while (dst < end)
            *dst++ = *src++;
        return;
    }
    do {
        storeWord(dst, pattern);
        dst += kCopyWord;
    } while (dst < end);
}

// A match whose source lies distance bytes behind the destination.
inline void copyBehind(uint8_t *dst, const uint8_t *end, uint32_t distance) {
    if (distance >= kCopyWord)
        copyWords(dst, dst - distance, end);
    else
        copyNear(dst, end, distance);
}

// A match whose source begins in the previous fill and runs on into the
// window start: the first part from the previous fill, the rest as a match
// from the window start.  The first part's words may run into the rest,
// which is written after them.
QZ_RARE void copySplit(const uint8_t *prevEnd, uint8_t *dst, const uint8_t *end, uint32_t wp, uint32_t distance) {
    uint32_t before = distance - wp;  // bytes that come from the previous fill, fewer than the match
    copyWords(dst, prevEnd - before, dst + before);
    copyBehind(dst + before, end, distance);
}

}  // namespace

void buildFastTables(const Workspace &w, FastTables &t) {
    fill<lenEntryOf>(w.lenLengths, kLenSymbols, kFastLenBits, kLenLong, t.len);
    fill<distEntryOf>(w.distLengths, kDistSymbols, kFastDistBits, kDistLongFlag, t.dist);
}

namespace {

// The loop itself, compiled once for any processor of the target and once
// more, on x86, for processors with the BMI2 shifts (shifts by a register
// without the flags, and the extraction of low bits), which most of its
// steps are made of.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(_M_X64))
#define QZ_FAST_BMI2 1
#define QZ_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define QZ_FAST_BMI2 0
#define QZ_ALWAYS_INLINE inline
#endif

QZ_ALWAYS_INLINE FastStop fastLoop(Workspace &w, const FastTables &t, BitReader &br, uint32_t &wpInOut) {
    const uint8_t *in = br.in;
    const uint8_t *const inEnd = br.in + br.left;
    const uint8_t *const inLimit = inEnd - kFastInputMargin;  // a step starts at or below it
    // The last entry whose rule set the model's high bit (its kHighValue is
    // the bit), or at the start a word that holds the bit as it is.
    uint32_t setter = br.count == 16 ? kHighValue : 0;
    // Bits in hand in buf: the low 6 bits of avail.  Dropping an entry's
    // bits subtracts the whole entry, whose bits above its low 6 are a
    // multiple of 64, so only the bits above go wrong.
    uint32_t avail = br.count;
    uint64_t buf = br.bits & ((1u << br.count) - 1);
    uint8_t *const window = fillWindow(w);
    uint8_t *out = window + wpInOut;
    uint8_t *const outLimit = window + kWindowBytes - kFastWindowRoom;  // a step starts at or below it
    const uint8_t *const prevEnd = previousFill(w) + w.prevEnd;
    FastStop stop = kFastAtLen;

// Fills the buffer to 56 to 63 bits with one 8-byte read; the cursor moves
// over the whole bytes taken.  Bits already in hand stay where they are, so
// an entry looked up before stays valid.
#define REFILL()                                \
    do {                                        \
        buf |= load64(in) << (avail & 63);      \
        in += (~avail & 63) >> 3;               \
        avail |= kBitsAfterRefill;              \
    } while (0)

// Drops the bits of an entry and follows the high-bit rule of its fields.
#define CONSUME_ENTRY(e)                                           \
    do {                                                           \
        buf >>= (e) & kDropMask;                                   \
        avail -= (e);                                              \
        setter = ((e) & kHighKeep) ? setter : (e);                 \
    } while (0)

#define LITERAL(e)                                \
    do {                                          \
        CONSUME_ENTRY(e);                         \
        *out++ = static_cast<uint8_t>((e) >> 16); \
    } while (0)

    // At the top of each step: a step boundary, the buffer refilled since
    // the last fields, e the entry of the next symbol.
    REFILL();  // the caller leaves at least kFastMinInput bytes
    uint32_t e = t.len[buf & kLenMask];
    while (in <= inLimit && out <= outLimit) {
        if (e & kLitFlag) {
            LITERAL(e);
            e = t.len[buf & kLenMask];
            if (e & kLitFlag) {
                LITERAL(e);
                e = t.len[buf & kLenMask];
            }
            REFILL();
            continue;
        }

        // length symbol and extra bits
        if (!(e & kLengthFlag)) {
            if (e == 0)
                break;  // end of block, invalid symbol or no code
            e = longLenEntry(w, buf);
            if (e == 0)
                break;  // end of block, invalid symbol or no code
            if (e & kLitFlag) {
                LITERAL(e);
                REFILL();
                e = t.len[buf & kLenMask];
                continue;
            }
        }
        uint32_t n = e >> 28;
        uint32_t extra = (e & kDropMask) - n;
        uint32_t length = ((e >> 16) & 0x1FF) + (static_cast<uint32_t>(buf >> n) & ((1u << extra) - 1));
        CONSUME_ENTRY(e);

        // distance symbol and extra bits: the bits left after the length
        // hold a distance of the table and the next lookup behind it; a
        // longer code may not, and refills once it is known.
        uint32_t d = t.dist[buf & kDistMask];
        if (d & kDistLongFlag) {
            d = longDistEntry(w, buf);
            REFILL();
        }
        if (d == 0) {
            // Symbol 30 or 31, or no code: the byte-wise distance step decides.
            w.length = static_cast<uint16_t>(length);
            stop = kFastAtDist;
            break;
        }
        n = (d >> 10) & 0xF;
        uint32_t dextra = (d & kDropMask) - n;
        uint32_t distance = (d >> 17) + (static_cast<uint32_t>(buf >> n) & ((1u << dextra) - 1));
        CONSUME_ENTRY(d);

        // The next symbol's entry is fetched before the copy, so that its
        // lookup overlaps the copy, and then the buffer is topped up again.
        e = t.len[buf & kLenMask];
        REFILL();

        // The source: behind the write position, or in the previous fill.
        uint32_t wp = static_cast<uint32_t>(out - window);
        uint8_t *end = out + length;
        if (distance <= wp) {
            copyBehind(out, end, distance);
        } else if (distance - wp >= length) {
            copyWords(out, prevEnd - (distance - wp), end);
        } else {
            copySplit(prevEnd, out, end, wp, distance);
        }
        out = end;
    }

    // Hold at least the model's bits, then give back the whole bytes beyond
    // them.  Both counts describe the same bit position, so they differ by
    // whole bytes; kFastInputMargin leaves the 8 bytes the refill reads.
    avail &= 63;
    const uint32_t model = modelFromWide(avail, (setter & kHighValue) != 0);
    if (avail < model)
        REFILL();
#undef REFILL
#undef CONSUME_ENTRY
#undef LITERAL
    in -= (avail - model) >> 3;
    br.bits = static_cast<uint32_t>(buf) & ((1u << model) - 1);
    br.count = model;
    br.left = static_cast<uint32_t>(inEnd - in);
    br.in = in;
    wpInOut = static_cast<uint32_t>(out - window);
    return stop;
}

FastStop fastLoopPlain(Workspace &w, const FastTables &t, BitReader &br, uint32_t &wp) {
    return fastLoop(w, t, br, wp);
}

#if QZ_FAST_BMI2
__attribute__((target("bmi,bmi2"))) FastStop fastLoopBmi2(Workspace &w, const FastTables &t, BitReader &br,
                                                          uint32_t &wp) {
    return fastLoop(w, t, br, wp);
}
#endif

}  // namespace

FastStop inflateFast(Workspace &w, const FastTables &t, BitReader &br, uint32_t &wp) {
#if QZ_FAST_BMI2
    if (__builtin_cpu_supports("bmi2"))
        return fastLoopBmi2(w, t, br, wp);
#endif
    return fastLoopPlain(w, t, br, wp);
}

}  // namespace engine
}  // namespace decode
}  // namespace qz
