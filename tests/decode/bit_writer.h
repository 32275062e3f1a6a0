// bit_writer.h -- builds Deflate streams bit by bit for the engine's tests:
// fields least significant bit first, Huffman codes most significant bit
// first, with helpers for stored, fixed and dynamic blocks.
#ifndef QZ_TESTS_DECODE_BIT_WRITER_H
#define QZ_TESTS_DECODE_BIT_WRITER_H

#include <stdint.h>

#include <utility>
#include <vector>

namespace qz_test {

class BitWriter {
public:
    // A field of n bits, lowest bit first.
    void Bits(uint32_t value, int n) {
        for (int i = 0; i < n; ++i)
            Bit(i < 32 ? (value >> i) & 1 : 0);
    }
    // A Huffman code of len bits, highest bit first.
    void Code(uint32_t code, int len) {
        for (int i = len - 1; i >= 0; --i)
            Bit((code >> i) & 1);
    }
    // Zero bits up to the next byte boundary.
    void Align() {
        while (bits_ % 8 != 0)
            Bit(0);
    }
    void Byte(uint8_t b) { Bits(b, 8); }

    size_t BitCount() const { return bits_; }
    // The stream so far, the last byte padded with zero bits.
    std::vector<uint8_t> Bytes() const { return bytes_; }

    // --- stored blocks ---
    // Header, padding, LEN, NLEN (the complement unless given) and the bytes.
    void Stored(bool final, const std::vector<uint8_t> &data) {
        StoredHeader(final, static_cast<uint16_t>(data.size()),
                     static_cast<uint16_t>(~data.size()));
        for (uint8_t b : data)
            Byte(b);
    }
    void StoredHeader(bool final, uint16_t len, uint16_t nlen) {
        Bits(final, 1);
        Bits(0, 2);
        Align();
        Bits(len, 16);
        Bits(nlen, 16);
    }

    // --- fixed codes ---
    void FixedHeader(bool final) {
        Bits(final, 1);
        Bits(1, 2);
    }
    // Any literal/length symbol 0 to 287 in the fixed code.
    void FixedSymbol(int sym) {
        if (sym < 144)
            Code(0x30 + sym, 8);
        else if (sym < 256)
            Code(0x190 + sym - 144, 9);
        else if (sym < 280)
            Code(sym - 256, 7);
        else
            Code(0xC0 + sym - 280, 8);
    }
    void FixedDistanceSymbol(int sym) { Code(sym, 5); }
    void FixedEnd() { FixedSymbol(256); }
    void FixedMatch(int length, int distance) {
        int ls, lextra, lbits, ds, dextra, dbits;
        LengthSymbol(length, &ls, &lextra, &lbits);
        DistanceSymbol(distance, &ds, &dextra, &dbits);
        FixedSymbol(ls);
        Bits(lextra, lbits);
        FixedDistanceSymbol(ds);
        Bits(dextra, dbits);
    }

    // The symbol and extra bits of a match length (3 to 258) and distance
    // (1 to 32768), from the tables of RFC 1951.
    static void LengthSymbol(int length, int *sym, int *extra, int *nbits) {
        static const int base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                     31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const int bits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        int i = 28;
        while (base[i] > length)
            --i;
        *sym = 257 + i;
        *extra = length - base[i];
        *nbits = bits[i];
    }
    static void DistanceSymbol(int distance, int *sym, int *extra, int *nbits) {
        static const int base[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                     33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                     1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        int i = 29;
        while (base[i] > distance)
            --i;
        *sym = i;
        *extra = distance - base[i];
        *nbits = i < 4 ? 0 : i / 2 - 1;
    }

private:
    void Bit(uint32_t b) {
        if (bits_ % 8 == 0)
            bytes_.push_back(0);
        bytes_.back() |= static_cast<uint8_t>(b << (bits_ % 8));
        ++bits_;
    }

    std::vector<uint8_t> bytes_;
    size_t bits_ = 0;
};

// Canonical Huffman codes for a set of code lengths (RFC 1951, 3.2.2);
// unused symbols (length 0) get code 0.
inline std::vector<uint32_t> CanonicalCodes(const std::vector<int> &lengths) {
    int count[16] = {};
    for (int l : lengths)
        if (l)
            ++count[l];
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (int l = 1; l < 16; ++l) {
        next[l] = code;
        code = (code + count[l]) << 1;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s])
            codes[s] = next[lengths[s]]++;
    return codes;
}

// One entry of a code-length list: a symbol 0 to 18 and its extra bits.
struct ClenToken {
    int sym;
    int extra;
};

// A dynamic block: the code lengths of its literal/length and distance codes
// (HLIT and HDIST are their sizes), the code-length code and the list that
// sends them, and writers for its symbols.
class DynamicBlock {
public:
    DynamicBlock(std::vector<int> litlen, std::vector<int> dist)
        : litlen_(std::move(litlen)), dist_(std::move(dist)),
          litlenCodes_(CanonicalCodes(litlen_)), distCodes_(CanonicalCodes(dist_)) {
        // Plain list: every length as its own symbol.
        for (int l : litlen_)
            list_.push_back({l, 0});
        for (int l : dist_)
            list_.push_back({l, 0});
        // A complete code over the symbols the list uses (one symbol: length 1).
        std::vector<int> used;
        for (auto &t : list_) {
            bool seen = false;
            for (int u : used)
                seen |= u == t.sym;
            if (!seen)
                used.push_back(t.sym);
        }
        clen_.assign(19, 0);
        int k = static_cast<int>(used.size());
        int m = 0;
        while ((1 << m) < k)
            ++m;
        if (k == 1) {
            clen_[used[0]] = 1;
        } else {
            int shorter = (1 << m) - k;
            for (int i = 0; i < k; ++i)
                clen_[used[i]] = i < shorter ? m - 1 : m;
        }
    }

    // Replaces the code-length code (lengths by symbol 0 to 18) and the list.
    void SetClen(std::vector<int> clen, std::vector<ClenToken> list) {
        clen_ = std::move(clen);
        list_ = std::move(list);
    }
    // HLIT, HDIST and HCLEN as written; by default the real sizes and the
    // shortest HCLEN that covers the code-length code.
    int hlitField = -1, hdistField = -1, hclenField = -1;

    void WriteHeader(BitWriter &w, bool final) const {
        static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        int hclen = 4;
        for (int i = 0; i < 19; ++i)
            if (clen_[order[i]])
                hclen = i + 1 > hclen ? i + 1 : hclen;
        w.Bits(final, 1);
        w.Bits(2, 2);
        w.Bits(hlitField >= 0 ? hlitField : static_cast<int>(litlen_.size()) - 257, 5);
        w.Bits(hdistField >= 0 ? hdistField : static_cast<int>(dist_.size()) - 1, 5);
        if (hclenField >= 0)
            hclen = hclenField + 4;
        w.Bits(hclen - 4, 4);
        for (int i = 0; i < hclen; ++i)
            w.Bits(clen_[order[i]], 3);
        std::vector<uint32_t> codes = CanonicalCodes(clen_);
        for (auto &t : list_) {
            w.Code(codes[t.sym], clen_[t.sym]);
            if (t.sym == 16) w.Bits(t.extra, 2);
            if (t.sym == 17) w.Bits(t.extra, 3);
            if (t.sym == 18) w.Bits(t.extra, 7);
        }
    }
    void Symbol(BitWriter &w, int sym) const { w.Code(litlenCodes_[sym], litlen_[sym]); }
    void DistanceSymbol(BitWriter &w, int sym) const { w.Code(distCodes_[sym], dist_[sym]); }
    void Match(BitWriter &w, int length, int distance) const {
        int ls, le, lb, ds, de, db;
        BitWriter::LengthSymbol(length, &ls, &le, &lb);
        BitWriter::DistanceSymbol(distance, &ds, &de, &db);
        Symbol(w, ls);
        w.Bits(le, lb);
        DistanceSymbol(w, ds);
        w.Bits(de, db);
    }

private:
    std::vector<int> litlen_, dist_;
    std::vector<uint32_t> litlenCodes_, distCodes_;
    std::vector<int> clen_;
    std::vector<ClenToken> list_;
};

}  // namespace qz_test

#endif
