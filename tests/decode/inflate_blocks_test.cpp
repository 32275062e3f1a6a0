// Block decoding: stored blocks, fixed and dynamic codes, code construction
// and every kind of invalid data, on hand-built streams.
#include <gtest/gtest.h>

#include "bit_writer.h"
#include "decode/decode.h"
#include "inflate_driver.h"
#include "stream_model.h"

using namespace qz_test;
using qz::decode::kInflateFinished;
using qz::decode::kInflateNeedInput;
using qz::decode::kInflateSuspended;

namespace {

// Decodes a complete stream in one call with the final flag and checks that
// every way of feeding it gives the same output.
std::vector<uint8_t> DecodeAllWays(const std::vector<uint8_t> &stream, int32_t *result = nullptr,
                                   uint32_t *consumed = nullptr) {
    Engine e;
    std::vector<uint8_t> out;
    auto r = e.Call(stream, out, 1 << 20, true);
    if (result)
        *result = r.result;
    if (consumed)
        *consumed = r.consumed;
    DriveResult bytes = Drive(stream, Feed::Bytes());
    EXPECT_EQ(bytes.error, "");
    EXPECT_EQ(bytes.out, out) << "byte-at-a-time differs";
    EXPECT_EQ(bytes.result, kInflateFinished);
    DriveResult chunks = Drive(stream, Feed::Random(77, 50, 50));
    EXPECT_EQ(chunks.error, "");
    EXPECT_EQ(chunks.out, out) << "random chunks differ";
    return out;
}

// Expects invalid data: result -1, the whole input consumed, and the given
// output (what came before the fault).
void ExpectInvalid(const std::vector<uint8_t> &stream, const std::vector<uint8_t> &before,
                   const char *what) {
    std::vector<uint8_t> padded = stream;
    padded.insert(padded.end(), 8, 0xA5);  // the fault must not need these bytes
    for (bool final : {false, true}) {
        Engine e;
        std::vector<uint8_t> out;
        auto r = e.Call(padded, out, 1 << 20, final);
        EXPECT_EQ(r.result, kInflateFinished) << what;
        EXPECT_EQ(r.consumed, padded.size()) << what;
        EXPECT_EQ(out, before) << what;
    }
    std::vector<uint8_t> out = DecodeAllWays(padded);
    EXPECT_EQ(out, before) << what;
}

std::vector<int> Lengths(size_t n, std::initializer_list<std::pair<int, int>> set) {
    std::vector<int> v(n, 0);
    for (auto &p : set)
        v[p.first] = p.second;
    return v;
}

}  // namespace

// --- stored blocks ---------------------------------------------------------

TEST(InflateStored, LengthZeroWithItsComplementIsAnEmptyBlock) {
    BitWriter w;
    w.Stored(false, {});
    w.Stored(true, Text("ok"));
    int32_t result;
    EXPECT_EQ(DecodeAllWays(w.Bytes(), &result), Text("ok"));
    EXPECT_EQ(result, kInflateFinished);
}

TEST(InflateStored, ALengthWithoutItsComplementIsInvalid) {
    {
        BitWriter w;
        w.StoredHeader(true, 0, 0);
        ExpectInvalid(w.Bytes(), {}, "LEN 0, NLEN 0");
    }
    {
        BitWriter w;
        w.Stored(false, Text("abc"));
        w.StoredHeader(true, 5, 0xFFFB);  // complement of 4
        w.Bits(0, 40);
        ExpectInvalid(w.Bytes(), Text("abc"), "NLEN of another length");
    }
}

TEST(InflateStored, AFinalStoredBlockNeedsTwoBytesBehindIt) {
    std::vector<uint8_t> stream;
    {
        BitWriter w;
        w.Stored(true, Text("data"));
        stream = w.Bytes();
    }
    ASSERT_EQ(stream.size(), 9u);
    // Without the final flag the two bytes are waited for ...
    Engine e;
    std::vector<uint8_t> out;
    auto r = e.Call(stream, out, 100, false);
    EXPECT_EQ(r.result, kInflateSuspended);
    EXPECT_EQ(r.state, kInflateNeedInput);
    EXPECT_EQ(r.consumed, 9u);
    EXPECT_EQ(r.written, 0u);
    // ... with it they are the zero fill.
    r = e.Call(nullptr, 0, out, 100, true);
    EXPECT_EQ(r.result, kInflateFinished);
    EXPECT_EQ(r.consumed, 0u);
    EXPECT_EQ(out, Text("data"));
}

TEST(InflateStored, AStoredBlockCutShortGetsExactlyTwoZeroBytes) {
    // LEN 6, but only "ab" follows: the final flag supplies two zero bytes,
    // a third would be beyond what any complete stream needs.
    BitWriter w;
    w.StoredHeader(true, 6, 0xFFF9);
    w.Byte('a');
    w.Byte('b');
    std::vector<uint8_t> stream = w.Bytes();
    Engine e;
    std::vector<uint8_t> out;
    auto r = e.Call(stream, out, 100, true);
    EXPECT_EQ(r.result, kInflateFinished);
    EXPECT_EQ(r.consumed, stream.size());
    EXPECT_EQ(out, (std::vector<uint8_t>{'a', 'b', 0, 0}));
    DriveResult bytes = Drive(stream, Feed::Bytes());
    EXPECT_EQ(bytes.error, "");
    EXPECT_EQ(bytes.out, out);
}

TEST(InflateStored, TheHeaderStartsAtTheNextByteWhateverIsInHand) {
    // Stored blocks after fixed blocks of every bit phase.
    BitWriter w;
    Lz77 m;
    for (int i = 0; i < 9; ++i) {
        w.FixedHeader(false);
        for (int k = 0; k < i; ++k) {
            w.FixedSymbol(200 + k);  // 9-bit literals shift the phase by one
            m.Literal(static_cast<uint8_t>(200 + k));
        }
        w.FixedEnd();
        std::vector<uint8_t> data = RandomBytes(i * 37, i);
        w.Stored(i == 8, data);
        m.Bytes(data);
    }
    EXPECT_EQ(DecodeAllWays(w.Bytes()), m.out);
}

TEST(InflateStored, TheLargestStoredBlockCrossesTheWindow) {
    std::vector<uint8_t> data = RandomBytes(65535, 21);
    BitWriter w;
    w.Stored(false, data);
    w.Stored(true, data);
    std::vector<uint8_t> want = data;
    want.insert(want.end(), data.begin(), data.end());
    EXPECT_EQ(DecodeAllWays(w.Bytes()), want);
}

// --- fixed codes -------------------------------------------------------------

TEST(InflateFixed, ALengthOf258AtDistance1RepeatsTheByteBefore) {
    BitWriter w;
    w.FixedHeader(true);
    w.FixedSymbol('z');
    w.FixedMatch(258, 1);
    w.FixedSymbol(285);  // 258 again, by the symbol without extra bits
    w.FixedDistanceSymbol(0);
    w.FixedEnd();
    EXPECT_EQ(DecodeAllWays(w.Bytes()), std::vector<uint8_t>(1 + 258 + 258, 'z'));
}

TEST(InflateFixed, EveryLengthAndDistanceCodeDecodes) {
    // Every length 3..258 and a distance from each of the 30 distance codes,
    // with all their extra-bit forms (the 9- to 13-bit ones come in two reads).
    BitWriter w;
    Lz77 m;
    std::vector<uint8_t> seed = RandomBytes(33000, 31);
    w.Stored(false, seed);
    m.Bytes(seed);
    w.FixedHeader(true);
    static const int bases[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                  33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                  1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    for (int len = 3; len <= 258; ++len) {
        int d = len % 30;
        int span = d == 29 ? 32768 - bases[29] + 1 : d < 29 ? bases[d + 1] - bases[d] : 1;
        int distance = bases[d] + (len * 7919) % span;
        w.FixedMatch(len, distance);
        m.Match(len, distance);
    }
    w.FixedMatch(258, 32768);
    m.Match(258, 32768);
    w.FixedEnd();
    EXPECT_EQ(DecodeAllWays(w.Bytes()), m.out);
}

TEST(InflateFixed, LengthSymbols286And287AreInvalid) {
    for (int sym : {286, 287}) {
        BitWriter w;
        w.FixedHeader(true);
        w.FixedSymbol('a');
        w.FixedSymbol(sym);
        w.Bits(0, 16);
        ExpectInvalid(w.Bytes(), Text("a"), "length symbol");
    }
}

TEST(InflateFixed, DistanceSymbols30And31AreInvalid) {
    for (int sym : {30, 31}) {
        BitWriter w;
        w.FixedHeader(true);
        w.FixedSymbol('a');
        w.FixedSymbol(257);
        w.FixedDistanceSymbol(sym);
        w.Bits(0, 16);
        ExpectInvalid(w.Bytes(), Text("a"), "distance symbol");
    }
}

TEST(InflateFixed, ATruncatedStreamEndsWithTheFinalFlag) {
    // The missing rest reads as zero bits: the end code of the fixed block,
    // then a stored header whose length would need a third zero byte.
    BitWriter w;
    w.FixedHeader(false);
    w.FixedSymbol('a');
    w.FixedSymbol('b');
    Engine e;
    std::vector<uint8_t> out;
    auto r = e.Call(w.Bytes(), out, 1000, true);
    EXPECT_EQ(r.result, kInflateFinished);
    EXPECT_EQ(r.consumed, w.Bytes().size());
    EXPECT_EQ(out, Text("ab"));
}

// --- dynamic codes -----------------------------------------------------------

TEST(InflateDynamic, APlainBlockDecodes) {
    // A, B, C of length 2, end of block and length 9 (symbol 263) of length 3,
    // distance codes 0 and 1 of length 1.
    DynamicBlock b(Lengths(264, {{'A', 2}, {'B', 2}, {'C', 2}, {256, 3}, {263, 3}}), {1, 1});
    BitWriter w;
    b.WriteHeader(w, true);
    for (char c : std::string("ABCCBA"))
        b.Symbol(w, c);
    b.Match(w, 9, 2);
    b.Symbol(w, 256);
    EXPECT_EQ(DecodeAllWays(w.Bytes()), Text("ABCCBABABABABAB"));
}

TEST(InflateDynamic, AllNineteenCodeLengthLengthsAreRead) {
    // The code-length code uses symbol 15, the last in the order, so only
    // HCLEN 19 makes it complete; the distance code has one symbol of 15 bits.
    DynamicBlock b(Lengths(257, {{'A', 1}, {256, 1}}), {15});
    std::vector<int> clen(19, 0);
    clen[0] = 2;
    clen[1] = 2;
    clen[15] = 2;
    clen[18] = 2;
    std::vector<ClenToken> list = {{18, 54}, {1, 0}, {18, 127}, {18, 41}, {1, 0}, {15, 0}};
    b.SetClen(clen, list);
    BitWriter w;
    b.WriteHeader(w, true);
    b.Symbol(w, 'A');
    b.Symbol(w, 'A');
    b.Symbol(w, 256);
    EXPECT_EQ(DecodeAllWays(w.Bytes()), Text("AA"));
    // The same block with HCLEN 18: symbol 15 gets no length, which leaves
    // the code-length code incomplete.
    b.hclenField = 14;
    BitWriter w2;
    b.WriteHeader(w2, true);
    ExpectInvalid(w2.Bytes(), {}, "HCLEN 18");
}

TEST(InflateDynamic, RepeatCodesAndAListThatStartsWithCode16) {
    // The list starts with 16 (three zeros); later 16 repeats a 3.
    DynamicBlock b(Lengths(257, {{'A', 3}, {'B', 3}, {'C', 3}, {'D', 3}, {'E', 3}, {'F', 3}, {256, 2}}),
                   {0, 1});
    std::vector<int> clen(19, 0);
    for (int s : {0, 1, 2, 3, 16, 17, 18})
        clen[s] = 3;
    clen[18] = 2;  // 6 symbols of 3 bits and one of 2 bits: complete
    std::vector<ClenToken> list = {{16, 0},  {17, 7}, {18, 41},  // 3 + 10 + 52 zeros: 0..64
                                   {3, 0},   {16, 2},            // A, then B..F
                                   {18, 127}, {18, 36},          // 138 + 47 zeros: 71..255
                                   {2, 0},   {0, 0}, {1, 0}};
    b.SetClen(clen, list);
    BitWriter w;
    b.WriteHeader(w, true);
    for (char c : std::string("FEDCBA"))
        b.Symbol(w, c);
    b.Symbol(w, 256);
    EXPECT_EQ(DecodeAllWays(w.Bytes()), Text("FEDCBA"));
}

TEST(InflateDynamic, ARepeatMayCrossIntoTheDistanceLengths) {
    DynamicBlock b(Lengths(260, {{'A', 1}, {256, 2}, {257, 2}}), {0, 0, 1});
    std::vector<int> clen(19, 0);
    for (int sym : {1, 2, 17, 18})
        clen[sym] = 2;
    std::vector<ClenToken> list = {{18, 54}, {1, 0}, {18, 127}, {18, 41}, {2, 0}, {2, 0},
                                   {17, 1},  // 258, 259, distance 0 and 1
                                   {1, 0}};
    b.SetClen(clen, list);
    BitWriter w;
    b.WriteHeader(w, true);
    b.Symbol(w, 'A');
    b.Match(w, 3, 3);  // distance symbol 2
    b.Symbol(w, 256);
    EXPECT_EQ(DecodeAllWays(w.Bytes()), (std::vector<uint8_t>{'A', 0, 0, 'A'}));
}

TEST(InflateDynamic, ARepeatPastTheEndOfTheListIsInvalid) {
    DynamicBlock b(Lengths(257, {{'A', 1}, {256, 1}}), {1});
    std::vector<int> clen(19, 0);
    clen[1] = 1;
    clen[18] = 1;
    // 65 + 1 + 138 + 52 + 1 = 257 literal/length entries, then 1 for the
    // distance: the list is full; a last 18 asks for 11 more.
    std::vector<ClenToken> good = {{18, 54}, {1, 0}, {18, 127}, {18, 41}, {1, 0}, {1, 0}};
    std::vector<ClenToken> bad = {{18, 54}, {1, 0}, {18, 127}, {18, 41}, {1, 0}, {18, 0}};
    b.SetClen(clen, good);
    BitWriter w;
    b.WriteHeader(w, true);
    b.Symbol(w, 'A');
    b.Symbol(w, 256);
    EXPECT_EQ(DecodeAllWays(w.Bytes()), Text("A"));
    b.SetClen(clen, bad);
    BitWriter w2;
    b.WriteHeader(w2, true);
    ExpectInvalid(w2.Bytes(), {}, "repeat past the end");
}

TEST(InflateDynamic, Hlit286AndHdist30AreTheLargestAccepted) {
    DynamicBlock b(Lengths(286, {{'A', 1}, {256, 2}, {257, 2}}), Lengths(30, {{29, 1}}));
    BitWriter w;
    b.WriteHeader(w, true);
    b.Symbol(w, 'A');
    b.Match(w, 3, 24577);  // before the first byte: zeros
    b.Symbol(w, 256);
    EXPECT_EQ(DecodeAllWays(w.Bytes()), (std::vector<uint8_t>{'A', 0, 0, 0}));

    // One more literal/length or distance length, in blocks that would
    // otherwise decode "A".
    for (size_t hlit : {287, 288}) {
        DynamicBlock c(Lengths(hlit, {{'A', 1}, {256, 1}}), {1});
        BitWriter v;
        v.Stored(false, Text("ok"));
        c.WriteHeader(v, true);
        c.Symbol(v, 'A');
        c.Symbol(v, 256);
        ExpectInvalid(v.Bytes(), Text("ok"), "HLIT");
    }
    DynamicBlock d(Lengths(257, {{'A', 1}, {256, 1}}), Lengths(31, {{0, 1}}));
    BitWriter v;
    d.WriteHeader(v, true);
    d.Symbol(v, 'A');
    d.Symbol(v, 256);
    ExpectInvalid(v.Bytes(), {}, "HDIST 31");
}

TEST(InflateDynamic, OneOrNoDistanceSymbolsAreAccepted) {
    {
        DynamicBlock b(Lengths(257, {{'A', 1}, {256, 1}}), {0});
        BitWriter w;
        b.WriteHeader(w, true);
        b.Symbol(w, 'A');
        b.Symbol(w, 'A');
        b.Symbol(w, 256);
        EXPECT_EQ(DecodeAllWays(w.Bytes()), Text("AA"));
    }
    {
        // A length with an empty distance code is invalid data.
        DynamicBlock b(Lengths(258, {{'A', 1}, {257, 2}, {256, 2}}), {0});
        BitWriter w;
        b.WriteHeader(w, true);
        b.Symbol(w, 'A');
        b.Symbol(w, 257);
        w.Bits(0, 16);
        ExpectInvalid(w.Bytes(), Text("A"), "empty distance code");
    }
    {
        // One distance symbol of length 2: code 00 decodes, 01 is empty.
        DynamicBlock b(Lengths(258, {{'A', 1}, {257, 2}, {256, 2}}), Lengths(4, {{3, 2}}));
        BitWriter w;
        b.WriteHeader(w, true);
        b.Symbol(w, 'A');
        b.Match(w, 3, 4);
        b.Symbol(w, 257);
        w.Code(1, 2);
        w.Bits(0, 16);
        ExpectInvalid(w.Bytes(), (std::vector<uint8_t>{'A', 0, 0, 0}), "unused one-symbol code");
    }
}

TEST(InflateDynamic, CodesThatAreNotCompleteAreInvalid) {
    struct Case {
        const char *what;
        std::vector<int> litlen;
    };
    std::vector<Case> cases = {
        {"two symbols, incomplete", Lengths(257, {{'A', 1}, {256, 2}})},
        {"over-subscribed", Lengths(257, {{'A', 1}, {'B', 1}, {256, 1}})},
        {"long and incomplete", Lengths(257, {{'A', 1}, {'B', 2}, {256, 15}})},
    };
    for (auto &c : cases) {
        DynamicBlock b(c.litlen, {1});
        BitWriter w;
        w.Stored(false, Text("pre"));
        b.WriteHeader(w, true);
        w.Bits(0, 16);
        ExpectInvalid(w.Bytes(), Text("pre"), c.what);
    }
    // An incomplete code-length code: two symbols of length 2.
    DynamicBlock b(Lengths(257, {{'A', 1}, {256, 1}}), {1});
    std::vector<int> clen(19, 0);
    clen[1] = 2;
    clen[18] = 2;
    b.SetClen(clen, {{18, 54}, {1, 0}});
    BitWriter w;
    b.WriteHeader(w, true);
    ExpectInvalid(w.Bytes(), {}, "incomplete code-length code");
}

TEST(InflateDynamic, CodesOfUpTo15BitsWalkTheTree) {
    // Lengths 1, 2, ..., 15, 15: a complete code reaching the longest codes.
    std::vector<int> litlen(257, 0);
    for (int i = 0; i < 15; ++i)
        litlen['a' + i] = i + 1;
    litlen[256] = 15;
    DynamicBlock b(litlen, {1});
    BitWriter w;
    Lz77 m;
    b.WriteHeader(w, false);
    for (int k = 0; k < 3000; ++k) {
        uint8_t c = static_cast<uint8_t>('a' + (k * 7 + k / 15) % 15);
        b.Symbol(w, c);
        m.Literal(c);
    }
    b.Symbol(w, 256);
    // A second dynamic block with the same code, final.
    b.WriteHeader(w, true);
    b.Symbol(w, 'o');
    m.Literal('o');
    b.Symbol(w, 256);
    EXPECT_EQ(DecodeAllWays(w.Bytes()), m.out);
}

TEST(InflateDynamic, AOneSymbolLiteralCodeEndsAtItsEmptyCodes) {
    // 'A' is the only literal/length symbol, 10 bits long: its code is all
    // zeros, and any 1 bit leads to an empty entry, in the first-level table
    // or in the tree.  There is no end-of-block code at all.
    DynamicBlock b(Lengths(257, {{'A', 10}}), {0});
    {
        BitWriter w;
        b.WriteHeader(w, true);
        b.Symbol(w, 'A');
        w.Bits(1, 1);  // first bit of a code: the first-level entry is empty
        w.Bits(0xFF, 16);
        ExpectInvalid(w.Bytes(), Text("A"), "empty first-level entry");
    }
    {
        BitWriter w;
        b.WriteHeader(w, true);
        b.Symbol(w, 'A');
        w.Bits(0, 8);
        w.Bits(1, 1);  // ninth bit: the tree entry is empty
        w.Bits(0xFF, 16);
        ExpectInvalid(w.Bytes(), Text("A"), "empty tree entry");
    }
    {
        // Cut short with the final flag: the zero fill decodes as 'A' (ten
        // zero bits each) for two bytes at most, then the stream is invalid.
        BitWriter w;
        b.WriteHeader(w, true);
        for (int i = 0; i < 5; ++i)
            b.Symbol(w, 'A');
        std::vector<uint8_t> stream = w.Bytes();
        size_t pad = stream.size() * 8 - w.BitCount();
        Engine e;
        std::vector<uint8_t> out;
        auto r = e.Call(stream, out, 1000, true);
        EXPECT_EQ(r.result, kInflateFinished);
        EXPECT_EQ(r.consumed, stream.size());
        EXPECT_GE(out.size(), 5u);
        EXPECT_LE(out.size(), 5 + (pad + 16) / 10);
        EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 'A'));
        // Fed byte by byte the result is the same.
        DriveResult bytes = Drive(stream, Feed::Bytes());
        EXPECT_EQ(bytes.error, "");
        EXPECT_EQ(bytes.out, out);
    }
}

TEST(InflateDynamic, ADynamicBlockWithoutACodeLengthSymbolIsInvalid) {
    // All code-length lengths 0: the code-length code is empty, so the first
    // code-length symbol meets an empty entry.
    DynamicBlock b(Lengths(257, {{'A', 1}, {256, 1}}), {1});
    b.SetClen(std::vector<int>(19, 0), {});
    BitWriter w;
    b.WriteHeader(w, true);
    w.Bits(0, 16);
    ExpectInvalid(w.Bytes(), {}, "empty code-length code");
}
