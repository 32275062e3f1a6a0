// The engine's frame: workspace, call protocol, suspension and resumption,
// deliveries of the window and the counts of every return, on hand-built
// streams whose bit layout is known exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "bit_writer.h"
#include "decode/decode.h"
#include "inflate_driver.h"
#include "stream_model.h"

using namespace qz_test;
using qz::decode::Inflate;
using qz::decode::InflateReset;
using qz::decode::InflateState;
using qz::decode::InflateWorkspaceSize;
using qz::decode::kInflateFinished;
using qz::decode::kInflateNeedInput;
using qz::decode::kInflateNeedOutput;
using qz::decode::kInflateSuspended;

namespace {

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A final stored block of n bytes: 5 header bytes, then the data.
std::vector<uint8_t> StoredFinal(const std::vector<uint8_t> &data) {
    BitWriter w;
    w.Stored(true, data);
    return w.Bytes();
}

}  // namespace

// --- workspace -------------------------------------------------------------

TEST(InflateWorkspace, SizeAndResetRangeFromTheFirstEvenAddress) {
    EXPECT_EQ(InflateWorkspaceSize(), 39028u);
    for (size_t shift : {0, 1}) {
        std::vector<uint8_t> block(39028 + 8, 0xAA);
        uint8_t *base = block.data() + 2 + shift;  // block.data() is even
        InflateReset(base);
        size_t even = 2 + shift + shift;          // rounded up to even
        for (size_t i = 0; i < block.size(); ++i) {
            bool inside = i >= even && i < even + 38964;
            ASSERT_EQ(block[i], inside ? 0 : 0xAA) << "shift " << shift << " byte " << i;
        }
        EXPECT_EQ(InflateState(base), 0);
    }
}

TEST(InflateWorkspace, OddAddressDecodesAndStaysInsideItsBlock) {
    // A stored block, then matches that cross deliveries.
    BitWriter w;
    Lz77 m;
    std::vector<uint8_t> data = RandomBytes(40000, 7);
    w.Stored(false, data);
    m.Bytes(data);
    RandomFixedBlock(w, m, true, 20000, 8);
    std::vector<uint8_t> stream = w.Bytes();

    for (size_t shift : {1, 2}) {
        std::vector<uint8_t> mem(39028 + 64, 0x5C);
        uint8_t *block = mem.data() + 32 + shift - 1;  // both parities
        InflateReset(block);
        std::vector<uint8_t> out(m.out.size() + 40000);
        uint32_t in = static_cast<uint32_t>(stream.size());
        uint32_t room = static_cast<uint32_t>(out.size());
        ASSERT_EQ(Inflate(stream.data(), 0, &in, out.data(), 0, &room, block, 1), kInflateFinished);
        ASSERT_EQ(room, m.out.size());
        EXPECT_TRUE(std::equal(m.out.begin(), m.out.end(), out.begin()));
        for (size_t i = 0; i < mem.size(); ++i) {
            bool inside = mem.data() + i >= block && mem.data() + i < block + 39028;
            if (!inside)
                ASSERT_EQ(mem[i], 0x5C) << "byte " << i << " outside the workspace was written";
        }
    }
}

TEST(InflateWorkspace, OffsetsSelectWhereACallReadsAndWrites) {
    std::vector<uint8_t> stream = Concat(Text("junk"), FixedLiterals(Text("hello")));
    qz_test::Engine e;
    std::vector<uint8_t> out(20, '#');
    uint32_t in = static_cast<uint32_t>(stream.size() - 4);
    uint32_t room = 10;
    ASSERT_EQ(Inflate(stream.data(), 4, &in, out.data(), 3, &room, e.workspace(), 1), kInflateFinished);
    EXPECT_EQ(in, stream.size() - 4);
    EXPECT_EQ(room, 5u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 10), "###hello##");
}

TEST(InflateWorkspace, SeparateWorkspacesDecodeSideBySide) {
    BitWriter w1, w2;
    Lz77 m1, m2;
    RandomFixedBlock(w1, m1, true, 30000, 1);
    RandomFixedBlock(w2, m2, true, 30000, 2);
    std::vector<uint8_t> s1 = w1.Bytes(), s2 = w2.Bytes(), o1, o2;
    Engine e1, e2(true);
    size_t p1 = 0, p2 = 0;
    bool done1 = false, done2 = false;
    while (!done1 || !done2) {
        if (!done1) {
            uint32_t n = std::min<size_t>(7, s1.size() - p1);
            auto r = e1.Call(s1.data() + p1, n, o1, 1000, p1 + n == s1.size());
            p1 += r.consumed;
            done1 = r.result == kInflateFinished;
        }
        if (!done2) {
            uint32_t n = std::min<size_t>(13, s2.size() - p2);
            auto r = e2.Call(s2.data() + p2, n, o2, 777, p2 + n == s2.size());
            p2 += r.consumed;
            done2 = r.result == kInflateFinished;
        }
    }
    EXPECT_EQ(o1, m1.out);
    EXPECT_EQ(o2, m2.out);
}

TEST(InflateWorkspace, AWorkspaceNeverResetIsRefused) {
    std::vector<uint8_t> block(39028, 0xFF);
    std::vector<uint8_t> stream = FixedLiterals(Text("abc")), out(100);
    uint32_t in = static_cast<uint32_t>(stream.size()), room = 100;
    EXPECT_EQ(Inflate(stream.data(), 0, &in, out.data(), 0, &room, block.data(), 1), kInflateFinished);
    EXPECT_EQ(room, 0u);
}

// --- counts and suspension -------------------------------------------------

TEST(InflateProtocol, FinalFlagWithExactlyTheStreamEndsAndConsumesIt) {
    // 3 header bits, 5 literals of 8 bits, end code of 7 bits: 50 bits, 7 bytes.
    std::vector<uint8_t> stream = FixedLiterals(Text("hello"));
    ASSERT_EQ(stream.size(), 7u);
    Engine e;
    std::vector<uint8_t> out;
    auto r = e.Call(stream, out, 1000, true);
    EXPECT_EQ(r.result, kInflateFinished);
    EXPECT_EQ(r.consumed, 7u);
    EXPECT_EQ(r.written, 5u);
    EXPECT_EQ(std::string(out.begin(), out.end()), "hello");
}

TEST(InflateProtocol, WithoutTheFinalFlagTheEndWaitsForMoreInput) {
    // The end code leaves 6 bits in hand and so fetches an eighth byte.
    std::vector<uint8_t> stream = FixedLiterals(Text("hello"));
    {
        Engine e;
        std::vector<uint8_t> out;
        auto r = e.Call(stream, out, 1000, false);
        EXPECT_EQ(r.result, kInflateSuspended);
        EXPECT_EQ(r.state, kInflateNeedInput);
        EXPECT_EQ(r.consumed, 7u);
        EXPECT_EQ(r.written, 0u);
        // The final flag alone ends it; the missing byte is a zero.
        r = e.Call(nullptr, 0, out, 1000, true);
        EXPECT_EQ(r.result, kInflateFinished);
        EXPECT_EQ(r.consumed, 0u);
        EXPECT_EQ(r.written, 5u);
        EXPECT_EQ(std::string(out.begin(), out.end()), "hello");
    }
    {
        // More bytes end it too; exactly one of them is taken.
        Engine e;
        std::vector<uint8_t> out;
        e.Call(stream, out, 1000, false);
        std::vector<uint8_t> more = {0xEE, 0xEE, 0xEE};
        auto r = e.Call(more, out, 1000, false);
        EXPECT_EQ(r.result, kInflateFinished);
        EXPECT_EQ(r.consumed, 1u);
        EXPECT_EQ(r.written, 5u);
    }
}

TEST(InflateProtocol, BytesBehindTheStreamAreLeftBarTheLookahead) {
    const std::vector<uint8_t> tail = {0xEE, 0xEE, 0xEE, 0xEE};
    struct Case {
        const char *what;
        std::vector<uint8_t> stream;
        size_t lookahead;
        size_t decoded;
    };
    std::vector<Case> cases;
    {
        // Empty fixed block, 10 bits: the end code leaves 6 bits, one fetch.
        BitWriter w;
        w.FixedHeader(true);
        w.FixedEnd();
        cases.push_back({"empty fixed block", w.Bytes(), 1, 0});
    }
    {
        // A stored block ends with two fresh bytes in the bit buffer.
        cases.push_back({"empty stored block", StoredFinal({}), 2, 0});
        cases.push_back({"stored block", StoredFinal(Text("xyz")), 2, 3});
    }
    {
        // Six 9-bit literals each leave one bit less in hand (13 down to 8,
        // then a fetch inside the tree walk brings 15); the end code then
        // drops to 8 and fetches: 16 bits in hand, exactly 2 bytes ahead.
        BitWriter w;
        w.FixedHeader(true);
        for (int i = 0; i < 6; ++i)
            w.FixedSymbol(200 + i);
        w.FixedEnd();
        ASSERT_EQ(w.BitCount(), 64u);
        cases.push_back({"six long literals", w.Bytes(), 2, 6});
    }
    for (auto &c : cases) {
        for (bool final : {false, true}) {
            Engine e;
            std::vector<uint8_t> out;
            auto r = e.Call(Concat(c.stream, tail), out, 1000, final);
            EXPECT_EQ(r.result, kInflateFinished) << c.what;
            EXPECT_EQ(r.consumed, c.stream.size() + c.lookahead) << c.what;
            EXPECT_EQ(r.written, c.decoded) << c.what;
        }
    }
}

TEST(InflateProtocol, AFirstCallWithOneByteWaitsForTheSecond) {
    std::vector<uint8_t> stream = FixedLiterals(Text("abc"));
    Engine e;
    std::vector<uint8_t> out;
    auto r = e.Call(stream.data(), 1, out, 1000, false);
    EXPECT_EQ(r.result, kInflateSuspended);
    EXPECT_EQ(r.state, kInflateNeedInput);
    EXPECT_EQ(r.consumed, 1u);
    EXPECT_EQ(r.written, 0u);
    r = e.Call(stream.data() + 1, static_cast<uint32_t>(stream.size() - 1), out, 1000, true);
    EXPECT_EQ(r.result, kInflateFinished);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abc");
}

TEST(InflateProtocol, ASmallStreamIsWrittenOnlyByTheCallThatEndsIt) {
    std::vector<uint8_t> text(1000);
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<uint8_t>('a' + i % 26);
    std::vector<uint8_t> stream = FixedLiterals(text);
    Engine e;
    std::vector<uint8_t> out;
    for (size_t i = 0; i < stream.size(); ++i) {
        bool last = i + 1 == stream.size();
        auto r = e.Call(stream.data() + i, 1, out, 5000, last);
        EXPECT_EQ(r.consumed, 1u);
        if (!last) {
            ASSERT_EQ(r.result, kInflateSuspended) << "byte " << i;
            ASSERT_EQ(r.state, kInflateNeedInput);
            ASSERT_EQ(r.written, 0u);
        } else {
            EXPECT_EQ(r.result, kInflateFinished);
            EXPECT_EQ(r.written, 1000u);
        }
    }
    EXPECT_EQ(out, text);
}

TEST(InflateProtocol, ADecodedSizeOfExactlyOneWindowIsDeliveredWhenItsLastByteIsWritten) {
    std::vector<uint8_t> data = RandomBytes(32768, 3);
    std::vector<uint8_t> stream = StoredFinal(data);
    {
        // Room for exactly the window: the delivery fills it and suspends;
        // the next call delivers nothing more and ends.
        Engine e;
        std::vector<uint8_t> out;
        auto r = e.Call(stream, out, 32768, true);
        EXPECT_EQ(r.result, kInflateSuspended);
        EXPECT_EQ(r.state, kInflateNeedOutput);
        EXPECT_EQ(r.consumed, stream.size());
        EXPECT_EQ(r.written, 32768u);
        r = e.Call(nullptr, 0, out, 1, true);
        EXPECT_EQ(r.result, kInflateFinished);
        EXPECT_EQ(r.consumed, 0u);
        EXPECT_EQ(r.written, 0u);
        EXPECT_EQ(out, data);
    }
    {
        // With codes: a literal, 126 matches of 258, one of 256 and one of 3.
        BitWriter w;
        w.FixedHeader(true);
        w.FixedSymbol('q');
        for (int i = 0; i < 126; ++i)
            w.FixedMatch(258, 1);
        w.FixedMatch(256, 1);
        w.FixedMatch(3, 1);
        w.FixedEnd();
        std::vector<uint8_t> s = w.Bytes();
        Engine e;
        std::vector<uint8_t> out;
        auto r = e.Call(s.data(), static_cast<uint32_t>(s.size()), out, 100000, true);
        EXPECT_EQ(r.result, kInflateFinished);
        EXPECT_EQ(r.written, 32768u);
        EXPECT_EQ(out, std::vector<uint8_t>(32768, 'q'));
    }
}

TEST(InflateProtocol, RoomForExactlyADeliverySuspendsWithNothingLeftToCopy) {
    std::vector<uint8_t> data = RandomBytes(40000, 4);
    std::vector<uint8_t> stream = StoredFinal(data);
    Engine e;
    std::vector<uint8_t> out;
    // The copy stops at the window limit: 5 header bytes and 32,768 data bytes.
    auto r = e.Call(stream, out, 32768, false);
    EXPECT_EQ(r.result, kInflateSuspended);
    EXPECT_EQ(r.state, kInflateNeedOutput);
    EXPECT_EQ(r.consumed, 5u + 32768u);
    EXPECT_EQ(r.written, 32768u);
    // Room again, no input: the delivery has nothing left, then the copy
    // needs a byte.
    r = e.Call(nullptr, 0, out, 100, false);
    EXPECT_EQ(r.result, kInflateSuspended);
    EXPECT_EQ(r.state, kInflateNeedInput);
    EXPECT_EQ(r.written, 0u);
    EXPECT_EQ(r.consumed, 0u);
    uint32_t rest = static_cast<uint32_t>(stream.size() - (5 + 32768));
    r = e.Call(stream.data() + 5 + 32768, rest, out, 100000, true);
    EXPECT_EQ(r.result, kInflateFinished);
    EXPECT_EQ(r.consumed, rest);
    EXPECT_EQ(r.written, 40000u - 32768u);
    EXPECT_EQ(out, data);
}

TEST(InflateProtocol, ByteAtATimeGivesTheSameOutputAsOneCall) {
    BitWriter w;
    Lz77 m;
    std::vector<uint8_t> data = RandomBytes(20000, 9);
    w.Stored(false, data);
    m.Bytes(data);
    RandomFixedBlock(w, m, false, 15000, 10);
    w.Stored(false, {});
    RandomFixedBlock(w, m, true, 15000, 11);
    std::vector<uint8_t> stream = w.Bytes();
    ASSERT_GT(m.out.size(), 100000u);

    DriveResult whole = Drive(stream, Feed::Whole(), true, m.out.size());
    ASSERT_EQ(whole.error, "");
    EXPECT_EQ(whole.calls, 1u);
    EXPECT_EQ(whole.result, kInflateFinished);
    EXPECT_EQ(whole.out, m.out);

    DriveResult bytes = Drive(stream, Feed::Bytes());
    ASSERT_EQ(bytes.error, "");
    EXPECT_EQ(bytes.result, kInflateFinished);
    EXPECT_EQ(bytes.out, m.out);
    EXPECT_TRUE(bytes.sawNeedInput);
    EXPECT_TRUE(bytes.sawNeedOutput);
    EXPECT_EQ(bytes.consumed, whole.consumed);

    for (uint32_t seed = 1; seed <= 5; ++seed) {
        DriveResult chunks = Drive(stream, Feed::Random(seed, 5000, 70000));
        ASSERT_EQ(chunks.error, "") << seed;
        EXPECT_EQ(chunks.out, m.out) << seed;
        EXPECT_EQ(chunks.consumed, whole.consumed) << seed;
    }
}

TEST(InflateProtocol, OutputLeavesInWholeWindowDeliveries) {
    // With one byte of input and of output per call, each mid-stream delivery
    // is a run of calls writing one byte each, closed by a call that writes
    // nothing (the one that finds the delivery complete and goes on decoding).
    BitWriter w;
    Lz77 m;
    RandomFixedBlock(w, m, true, 60000, 12);
    ASSERT_GT(m.out.size(), 4 * 33025u);
    DriveResult run = Drive(w.Bytes(), Feed::Bytes());
    ASSERT_EQ(run.error, "");
    ASSERT_EQ(run.out, m.out);
    std::vector<size_t> runs;
    size_t current = 0;
    for (auto &r : run.rets) {
        ASSERT_LE(r.written, 1u);
        if (r.written == 1) {
            ++current;
        } else if (current != 0) {
            runs.push_back(current);
            current = 0;
        }
    }
    if (current != 0)
        runs.push_back(current);
    ASSERT_GE(runs.size(), 4u);
    size_t total = 0;
    for (size_t i = 0; i + 1 < runs.size(); ++i) {
        EXPECT_GE(runs[i], 32768u) << i;
        EXPECT_LE(runs[i], 33025u) << i;
        total += runs[i];
    }
    // The last run may hold the final delivery behind the one before it.
    EXPECT_EQ(total + runs.back(), m.out.size());
}

TEST(InflateProtocol, ADeliveryHappensWhenAByteOrMatchReachesTheLimit) {
    // 32,767 stored bytes, then a 258-byte match: the window holds 33,025
    // bytes when it is delivered, the largest delivery there is.
    std::vector<uint8_t> data = RandomBytes(32767, 5);
    BitWriter w;
    Lz77 m;
    w.Stored(false, data);
    m.Bytes(data);
    w.FixedHeader(true);
    w.FixedMatch(258, 300);
    m.Match(258, 300);
    w.FixedMatch(258, 32768);  // reaches back into the delivered bytes
    m.Match(258, 32768);
    w.FixedMatch(40, 3);
    m.Match(40, 3);
    w.FixedEnd();
    std::vector<uint8_t> stream = w.Bytes();

    // Input one byte at a time, ample room: the first call that writes
    // anything writes exactly the delivery and then waits for input.
    DriveResult run = Drive(stream, {[] { return 1u; }, [] { return 100000u; }});
    ASSERT_EQ(run.error, "");
    EXPECT_EQ(run.out, m.out);
    auto first = std::find_if(run.rets.begin(), run.rets.end(),
                              [](const Engine::Ret &r) { return r.written != 0; });
    ASSERT_NE(first, run.rets.end());
    EXPECT_EQ(first->written, 33025u);
    EXPECT_EQ(first->state, kInflateNeedInput);
    EXPECT_EQ(first->result, kInflateSuspended);

    // A stored block's delivery comes with the byte that reaches the limit.
    std::vector<uint8_t> big = RandomBytes(50000, 6);
    DriveResult stored = Drive(StoredFinal(big), {[] { return 1u; }, [] { return 100000u; }});
    first = std::find_if(stored.rets.begin(), stored.rets.end(),
                         [](const Engine::Ret &r) { return r.written != 0; });
    ASSERT_NE(first, stored.rets.end());
    EXPECT_EQ(first->written, 32768u);
    EXPECT_EQ(first - stored.rets.begin(), 5 + 32768 - 1);  // the call with that byte
    EXPECT_EQ(stored.out, big);
}

TEST(InflateProtocol, BlockType3FirstIsInvalidAndConsumesEverything) {
    std::vector<uint8_t> stream = {0x07, 0x55, 0x66, 0x77};  // BFINAL 1, BTYPE 3
    {
        Engine e;
        std::vector<uint8_t> out;
        auto r = e.Call(stream, out, 100, false);
        EXPECT_EQ(r.result, kInflateFinished);
        EXPECT_EQ(r.consumed, 4u);
        EXPECT_EQ(r.written, 0u);
    }
    {
        Engine e;
        std::vector<uint8_t> out;
        auto r = e.Call(stream.data(), 1, out, 100, false);
        EXPECT_EQ(r.result, kInflateSuspended);
        EXPECT_EQ(r.consumed, 1u);
        r = e.Call(stream.data() + 1, 3, out, 100, false);
        EXPECT_EQ(r.result, kInflateFinished);
        EXPECT_EQ(r.consumed, 3u);
        EXPECT_EQ(r.written, 0u);
    }
}

TEST(InflateProtocol, InvalidDataDeliversWhatCameBefore) {
    BitWriter w;
    w.Stored(false, Text("before"));
    w.Bits(1, 1);
    w.Bits(3, 2);  // block type 3
    std::vector<uint8_t> stream = w.Bytes();
    stream.push_back(0x99);
    Engine e;
    std::vector<uint8_t> out;
    // Room for 4 bytes: the delivery of the 6 suspends in state 2 first.
    auto r = e.Call(stream, out, 4, false);
    EXPECT_EQ(r.result, kInflateSuspended);
    EXPECT_EQ(r.state, kInflateNeedOutput);
    EXPECT_EQ(r.written, 4u);
    // After the stored block the engine loaded two bytes: the header byte of
    // the bad block and the one behind it.
    EXPECT_EQ(r.consumed, 5u + 6u + 2u);
    r = e.Call(nullptr, 0, out, 100, false);
    EXPECT_EQ(r.result, kInflateFinished);
    EXPECT_EQ(r.written, 2u);
    EXPECT_EQ(std::string(out.begin(), out.end()), "before");
}

TEST(InflateProtocol, AFinishedStreamStaysFinished) {
    std::vector<uint8_t> stream = FixedLiterals(Text("once"));
    Engine e;
    std::vector<uint8_t> out;
    ASSERT_EQ(e.Call(stream, out, 100, true).result, kInflateFinished);
    auto r = e.Call(stream, out, 100, true);
    EXPECT_EQ(r.result, kInflateFinished);
    EXPECT_EQ(r.consumed, 0u);
    EXPECT_EQ(r.written, 0u);
    EXPECT_EQ(std::string(out.begin(), out.end()), "once");
    // A reset makes it a fresh stream again.
    InflateReset(e.workspace());
    out.clear();
    r = e.Call(stream, out, 100, true);
    EXPECT_EQ(r.result, kInflateFinished);
    EXPECT_EQ(std::string(out.begin(), out.end()), "once");
}

TEST(InflateProtocol, ABackReferenceBeyondTheDecodedBytesCopiesTheFreshWindow) {
    // 'x', then 4 bytes from distance 2: the first comes from before the
    // window start (a zero), the rest repeat what the match writes.
    BitWriter w;
    w.FixedHeader(true);
    w.FixedSymbol('x');
    w.FixedMatch(4, 2);
    w.FixedMatch(3, 30000);
    w.FixedEnd();
    Engine e;
    std::vector<uint8_t> out;
    auto r = e.Call(w.Bytes(), out, 100, true);
    EXPECT_EQ(r.result, kInflateFinished);
    std::vector<uint8_t> want = {'x', 0, 'x', 0, 'x', 0, 0, 0};
    EXPECT_EQ(out, want);
}

TEST(InflateProtocol, AMatchStraddlingTheWindowStartIsCopiedInTwoPieces) {
    // 32,770 stored bytes: the delivery at 32,768 leaves two in the window.
    std::vector<uint8_t> data = RandomBytes(32770, 6);
    BitWriter w;
    Lz77 m;
    w.Stored(false, data);
    m.Bytes(data);
    w.FixedHeader(true);
    w.FixedMatch(10, 5);   // 3 bytes from the previous fill, 7 from the start
    m.Match(10, 5);
    w.FixedMatch(20, 32768);
    m.Match(20, 32768);
    w.FixedEnd();
    DriveResult run = Drive(w.Bytes(), Feed::Whole(), true, 40000);
    ASSERT_EQ(run.error, "");
    EXPECT_EQ(run.out, m.out);
    DriveResult bytes = Drive(w.Bytes(), Feed::Bytes());
    EXPECT_EQ(bytes.out, m.out);
}
