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

enum : uint32_t { kMaxCodeLength = 15 };

// The low length bits of code in reverse order (length 1 to 15).
uint32_t reverse(uint32_t code, uint32_t length) {
    code = ((code & 0x5555) << 1) | ((code >> 1) & 0x5555);
    code = ((code & 0x3333) << 2) | ((code >> 2) & 0x3333);
    code = ((code & 0x0F0F) << 4) | ((code >> 4) & 0x0F0F);
    code = ((code & 0x00FF) << 8) | ((code >> 8) & 0x00FF);
    return code >> (16 - length);
}

}  // namespace

bool buildCode(const uint8_t *lengths, uint32_t n, uint16_t *first, uint16_t *tree) {
    // Count the codes of each length; length 0 marks an unused symbol.
    uint16_t count[kMaxCodeLength + 1] = {};
    uint32_t used = 0;
    for (uint32_t s = 0; s < n; ++s) {
        ++count[lengths[s]];
        if (lengths[s] != 0)
            ++used;
    }

    // Kraft: a complete code uses up the whole code space, 2^-L per symbol.
    // Over-subscribed or incomplete sets are refused, except the empty code
    // and a lone symbol, which Deflate encoders emit for sparse blocks.
    if (used > 1) {
        int32_t space = 1;
        for (uint32_t len = 1; len <= kMaxCodeLength; ++len) {
            space = space * 2 - count[len];
            if (space < 0)
                return false;
        }
        if (space != 0)
            return false;
    }

    // First canonical code of each length.
    uint16_t next[kMaxCodeLength + 1] = {};
    for (uint32_t len = 2; len <= kMaxCodeLength; ++len)
        next[len] = static_cast<uint16_t>((next[len - 1] + count[len - 1]) << 1);

    for (uint32_t i = 0; i < 256; ++i)
        first[i] = 0;
    if (tree != nullptr) {
        for (uint32_t i = 0; i < 2 * n; ++i)
            tree[i] = 0;
    }

    uint32_t nodes = 0;
    for (uint32_t s = 0; s < n; ++s) {
        uint32_t len = lengths[s];
        if (len == 0)
            continue;
        uint32_t r = reverse(next[len]++, len);
        uint16_t leaf = static_cast<uint16_t>((s << kEntrySymbolShift) | len);
        if (len <= 8) {
            for (uint32_t i = r; i < 256; i += 1u << len)
                first[i] = leaf;
            continue;
        }
        // A long code: the first 8 bits lead to a node, each further bit but
        // the last to a child node, and the last bit to the leaf.
        if (tree == nullptr)
            return false;  // this code has no tree (its lengths are at most 7)
        uint16_t *slot = &first[r & 0xFF];
        for (uint32_t bit = 8; bit < len; ++bit) {
            if (*slot == 0) {
                if (nodes == n)
                    return false;  // cannot happen for an accepted code
                *slot = static_cast<uint16_t>(kEntryNode | nodes++);
            }
            slot = &tree[2 * (*slot & 0x7FFFu) + ((r >> bit) & 1)];
        }
        *slot = leaf;
    }
    return true;
}

}  // namespace engine
}  // namespace decode
}  // namespace qz
