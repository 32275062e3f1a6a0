// inflate_tables.cpp -- the order of the code-length code lengths and the
// construction of a Huffman code's lookup tables from its code lengths.
//
// Codes are canonical (RFC 1951, 3.2.2): shorter codes sort before longer
// ones, and codes of one length are consecutive in symbol order.  Deflate
// sends a code's bits most significant first while the bit reader takes them
// lowest first, so each code is placed by its bit-reversed value.
#include "decode/decode.h"

namespace qz {
namespace decode {
namespace engine {

const uint8_t kClenOrder[kClenSymbols] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                          11, 4, 12, 3, 13, 2, 14, 1, 15};

namespace {

enum : uint32_t { kMaxCodeLength = 15, kFirstBits = 8 };

// A code of up to 8 bits in reverse order.
inline uint32_t reverse(uint32_t code, uint32_t length) {
    return kReversed.byte[code] >> (kFirstBits - length);
}

inline uint16_t leafOf(uint32_t symbol, uint32_t length) {
    return static_cast<uint16_t>(symbol << kEntrySymbolShift | length);
}

// The empty code and a lone symbol: the one code is all zero bits, and
// whatever else the bits say leads to an empty entry.
bool buildSparse(const uint8_t *lengths, uint32_t n, uint16_t *first, uint16_t *tree) {
    for (uint32_t s = 0; s < n; ++s) {
        uint32_t len = lengths[s];
        if (len == 0)
            continue;
        if (len <= kFirstBits) {
            for (uint32_t i = 0; i < 256; i += 1u << len)
                first[i] = leafOf(s, len);
            return true;
        }
        if (tree == nullptr)
            return false;  // this code has no tree (its lengths are at most 7)
        // Nodes 0 to len - 9 along the zero bits, then the leaf.
        first[0] = kEntryNode;
        for (uint32_t node = 0; node + kFirstBits + 1 < len; ++node)
            tree[2 * node] = static_cast<uint16_t>(kEntryNode | (node + 1));
        tree[2 * (len - kFirstBits - 1)] = leafOf(s, len);
        return true;
    }
    return true;
}

}  // namespace

// A complete code is laid out level by level, the way canonical codes fall:
// at each length the codes of that length take the next code values in
// symbol order, and every value above them is the prefix of longer codes.
// So the first-level table is filled length by length, copying what is
// there behind itself for each further bit (which repeats the shorter codes
// for it) and placing the codes of that length; the entries no code of up
// to 8 bits covers are the prefixes at depth 8, which become nodes in value
// order, and so on down: the children of a node are codes of the next
// length while their value is below the first prefix of that length, and
// nodes after it.  Symbols are sorted by code length first, so that no step
// branches on a symbol's length.
bool buildCode(const uint8_t *lengths, uint32_t n, uint16_t *first, uint16_t *tree) {
    // Count the codes of each length; length 0 marks an unused symbol.
    uint32_t count[kMaxCodeLength + 1] = {};
    for (uint32_t s = 0; s < n; ++s)
        ++count[lengths[s]];
    const uint32_t used = n - count[0];

    for (uint32_t i = 0; i < 256; ++i)
        first[i] = 0;
    if (tree != nullptr) {
        for (uint32_t i = 0; i < 2 * n; ++i)
            tree[i] = 0;
    }
    // Over-subscribed or incomplete sets are refused, except the empty code
    // and a lone symbol, which Deflate encoders emit for sparse blocks.
    if (used <= 1)
        return buildSparse(lengths, n, first, tree);

    // Kraft: a complete code uses up the whole code space, 2^-L per symbol.
    int32_t space = 1;
    for (uint32_t len = 1; len <= kMaxCodeLength; ++len) {
        space = space * 2 - static_cast<int32_t>(count[len]);
        if (space < 0)
            return false;
    }
    if (space != 0)
        return false;

    // The used symbols by code length, then symbol; the unused ones after them.
    uint32_t next[kMaxCodeLength + 1];
    next[0] = used;
    next[1] = 0;
    for (uint32_t len = 1; len < kMaxCodeLength; ++len)
        next[len + 1] = next[len] + count[len];
    uint16_t sorted[kLenSymbols];
    for (uint32_t s = 0; s < n; ++s)
        sorted[next[lengths[s]]++] = static_cast<uint16_t>(s);

    // Codes of up to 8 bits.
    uint32_t k = 0;     // next symbol in sorted
    uint32_t code = 0;  // its canonical code
    for (uint32_t len = 1; len <= kFirstBits; ++len) {
        const uint32_t half = 1u << (len - 1);
        for (uint32_t i = 0; i < half; ++i)
            first[half + i] = first[i];
        for (uint32_t end = k + count[len]; k < end; ++k, ++code)
            first[reverse(code, len)] = leafOf(sorted[k], len);
        code <<= 1;
    }
    // code is now twice the first prefix of depth 8; the prefixes run to 2^8.
    uint32_t prefix = code >> 1;
    uint32_t node = 0;  // the node of the first prefix at this depth
    if (prefix < (1u << kFirstBits) && tree == nullptr)
        return false;  // this code has no tree (its lengths are at most 7)
    for (uint32_t v = prefix; v < (1u << kFirstBits); ++v)
        first[reverse(v, kFirstBits)] = static_cast<uint16_t>(kEntryNode | (node + v - prefix));

    // Longer codes: the children of the nodes at depth len - 1.
    for (uint32_t len = kFirstBits + 1; prefix < (1u << (len - 1)); ++len) {
        const uint32_t childNode = node + (1u << (len - 1)) - prefix;  // the nodes of this depth start here
        const uint32_t codesEnd = 2 * prefix + count[len];             // the first prefix of this depth
        for (uint32_t u = 2 * prefix; u < (1u << len); ++u) {
            uint32_t slot = 2 * (node + (u >> 1) - prefix) + (u & 1);
            tree[slot] = u < codesEnd ? leafOf(sorted[k + u - 2 * prefix], len)
                                      : static_cast<uint16_t>(kEntryNode | (childNode + u - codesEnd));
        }
        k += count[len];
        node = childNode;
        prefix = codesEnd;
    }
    return true;
}

}  // namespace engine
}  // namespace decode
}  // namespace qz
