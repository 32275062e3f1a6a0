// The engine on hand-built streams whose bits are known exactly (streams.h
// writes them from specs): what zlib cannot check (zero fill, exact counts,
// deliveries, one-symbol codes, codes of up to 15 bits), invalid data, and
// the calls of a suspended stream.
#include <gtest/gtest.h>

#include "lockstep.h"

using namespace qz_test;
using dc::kInflateFinished;
using dc::kInflateNeedInput;

namespace {

struct Row {
    std::string name, spec;
};

std::string EveryLengthAndDistanceCode() {
    std::string spec = "s0#33000@31 f1";
    for (int len = 3; len <= 258; ++len) {
        int d = len % 30, span = (d == 29 ? 32769 : kDistBase[d + 1]) - kDistBase[d];
        spec += " m" + std::to_string(len) + "," + std::to_string(kDistBase[d] + len * 7919 % span);
    }
    return spec + " m258,32768 c256";
}

const std::string kCodes1To15 = ":257:a=1,b=2,c=3,d=4,e=5,f=6,g=7,h=8,i=9,j=10,k=11,l=12,m=13,n=14,o=15,256=15:1:0=1";
const std::string kAllNineteen = "D1:257:A=1,256=1:1:0=15:0=2,1=2,15=2,18=2:18+54,1,18+127,18+41,1,15";

const std::vector<Row> kValid = {
    {"an empty stored block", "s0' s1'ok"},
    {"stored blocks after every bit phase (9-bit literals move it by one)",
     "f0 c256 s0'a f0 c200 c256 s0'b f0 2*c200 c256 s0'c f0 3*c200 c256 s0'd f0 4*c200 c256 s0'e "
     "f0 5*c200 c256 s0'f f0 6*c200 c256 s0'g f0 7*c200 c256 s0'h f0 8*c200 c256 s1'i"},
    {"two stored blocks of 65,535 bytes", "s0#65535@21 s1#65535@22"},
    {"length 258 at distance 1", "f1 'z m258,1 m258,1 c256"},
    {"every length, a distance of every code", EveryLengthAndDistanceCode()},
    {"a dynamic block", "D1:264:A=2,B=2,C=2,256=3,263=3:2:0=1,1=1 'ABCCBA m9,2 c256"},
    {"all nineteen code-length lengths, a 15-bit distance code", kAllNineteen + " 'A c256"},
    {"repeat codes, a list that starts with 16",
     "D1:257:A=3,B=3,C=3,D=3,E=3,F=3,256=2:2:1=1:0=3,1=3,2=3,3=3,16=3,17=3,18=2:"
     "16+0,17+7,18+41,3,16+2,18+127,18+36,2,0,1 'FEDCBA c256"},
    {"a repeat across into the distance lengths",
     "D1:260:A=1,256=2,257=2:3:2=1:1=2,2=2,17=2,18=2:18+54,1,18+127,18+41,2,2,17+1,1 'A m3,3 c256"},
    {"HLIT 286 and HDIST 30", "D1:286:A=1,256=2,257=2:30:29=1 'A m3,24577 c256"},
    {"an empty distance code", "D1:257:A=1,256=1:1: 'AA c256"},
    {"codes of 1 to 15 bits in two blocks",
     "D0" + kCodes1To15 + " 200*'aobncmdlekfjgih c256 D1" + kCodes1To15 + " 'o c256"},
    {"back-references beyond the decoded bytes", "f1 'x m4,2 m3,30000 c256"},
    {"a match across the window start, one from the far end", "s0#32770@6 f1 m10,5 m20,32768 c256"},
    {"exactly one window from codes", "f1 'q 126*m258,1 m256,1 m3,1 c256"},
    {"random fixed blocks and stored blocks", "s0#20000@9 r0,15000,10 s0' r1,15000,11"},
};

const std::vector<Row> kInvalid = {
    {"stored LEN 0 with NLEN 0", "! h1,0,0"},
    {"stored NLEN of another length", "s0'abc ! h1,5,65531 b0,40"},
    {"block type 3 first", "! b7,3"},
    {"block type 3 after a stored block", "s0'before ! b7,3"},
    {"length symbol 286", "f1 'a ! c286"},
    {"length symbol 287", "f1 'a ! c287"},
    {"distance symbol 30", "f1 'a c257 ! d30"},
    {"distance symbol 31", "f1 'a c257 ! d31"},
    {"HCLEN 18 leaves the code-length code incomplete", "! " + kAllNineteen + ":18"},
    {"a repeat past the end of the list", "! D1:257:A=1,256=1:1:0=1:1=1,18=1:18+54,1,18+127,18+41,1,18+0"},
    {"HLIT 287", "s0'ok ! D1:287:A=1,256=1:1:0=1"},
    {"HLIT 288", "s0'ok ! D1:288:A=1,256=1:1:0=1"},
    {"HDIST 31", "! D1:257:A=1,256=1:31:0=1"},
    {"a length with an empty distance code", "D1:258:A=1,257=2,256=2:1: 'A ! c257"},
    {"the unused code of a one-symbol distance code", "D1:258:A=1,257=2,256=2:4:3=2 'A m3,4 ! c257 b2,2"},
    {"an incomplete literal/length code", "s0'pre ! D1:257:A=1,256=2:1:0=1"},
    {"an over-subscribed literal/length code", "s0'pre ! D1:257:A=1,B=1,256=1:1:0=1"},
    {"an incomplete code with 15-bit lengths", "s0'pre ! D1:257:A=1,B=2,256=15:1:0=1"},
    {"an incomplete code-length code", "! D1:257:A=1,256=1:1:0=1:1=2,18=2:18+54,1"},
    {"an empty code-length code", "! D1:257:A=1,256=1:1:0=1::"},
    {"a one-symbol 10-bit code, a 1 in the first byte", "D1:257:A=10:1: 'A ! b1,1"},
    {"a one-symbol 10-bit code, a 1 in the ninth bit", "D1:257:A=10:1: 'A ! b256,9"},
    {"distance symbol 30 after a full window, input behind it", "r0,4000,4 f1 'x c260 ! d30 b23130,16 a 200*b51,8"},
    {"distance symbol 31 after a full window, input behind it", "r0,4000,4 f1 'x c260 ! d31 b23130,16 a 200*b51,8"},
};

}  // namespace

TEST(Inflate, HandBuiltStreamsDecodeEveryWay) {
    for (const Row &row : kValid) {
        Built b = Build(row.spec);
        bool bytes = b.stream.size() <= static_cast<size_t>(Runs(16) * 10000);
        Outcome whole = CheckEveryWay(b.stream, &b.out, b.out.size(), row.name, bytes, 1, true);
        EXPECT_EQ(whole.rets.size(), 1u) << row.name;
        EXPECT_EQ(whole.consumed, b.stream.size()) << row.name;
        EXPECT_EQ(whole.rets.back().result, kInflateFinished) << row.name;
    }
}

TEST(Inflate, InvalidDataEndsTheStreamAndTakesAllInput) {
    for (const Row &row : kInvalid) {
        Built b = Build(row.spec + " b0,16 a 8*b165,8");  // the fault must not need the bytes behind it
        for (bool final : {false, true}) {
            Engine e;
            Bytes out(1 << 20);
            Ret r = e.Call(b.stream.data(), static_cast<uint32_t>(b.stream.size()), out.data(), 1 << 20, final);
            EXPECT_EQ(r.result, kInflateFinished) << row.name;
            EXPECT_EQ(r.consumed, b.stream.size()) << row.name;
            EXPECT_TRUE(Bytes(out.begin(), out.begin() + r.written) == b.out) << row.name;
        }
        CheckEveryWay(b.stream, &b.out, b.out.size(), row.name, true, 1);
    }
}

namespace {

enum : uint32_t { kRest = 0xFFFFFFFFu, kAny = 0xFFFFFFFEu };

struct Step {
    uint32_t in;  // bytes handed out from where the last call stopped, or kRest
    uint32_t room;
    bool final;
    int32_t result;
    uint32_t consumed, written;  // or kAny
    uint16_t state = 0;  // checked after a suspension
    uint32_t times = 1;
};

struct Script {
    std::string name, spec;  // the spec's output is what all calls write
    std::vector<Step> steps;
};

const int32_t F = kInflateFinished, S = dc::kInflateSuspended;
const uint16_t In = kInflateNeedInput, Out = dc::kInflateNeedOutput;

const std::vector<Script> kScripts = {
    {"final input with exactly the stream", "f1 'hello c256", {{kRest, 1000, 1, F, 7, 5}}},
    {"the end waits for a byte, the final flag gives it", "f1 'hello c256",
     {{7, 1000, 0, S, 7, 0, In}, {0, 1000, 1, F, 0, 5}}},
    {"the end takes one more byte", "f1 'hello c256 a 3*b238,8", {{7, 1000, 0, S, 7, 0, In}, {kRest, 1000, 0, F, 1, 5}}},
    {"an empty fixed block looks one byte ahead", "f1 c256 a 4*b238,8", {{kRest, 100, 0, F, 3, 0}}},
    {"an empty fixed block, final input", "f1 c256 a 4*b238,8", {{kRest, 100, 1, F, 3, 0}}},
    {"a stored block looks two bytes ahead", "s1' 4*b238,8", {{kRest, 100, 0, F, 7, 0}}},
    {"a stored block with data, final input", "s1'xyz 4*b238,8", {{kRest, 100, 1, F, 10, 3}}},
    {"long literals end with 16 bits in hand", "f1 c200 c201 c202 c203 c204 c205 c256 4*b238,8",
     {{kRest, 100, 0, F, 10, 6}}},
    {"a final stored block waits for two bytes", "s1'data", {{kRest, 100, 0, S, 9, 0, In}, {0, 100, 1, F, 0, 4}}},
    {"a stored block cut short gets two zero bytes", "h1,6,65529 'ab z2", {{kRest, 100, 1, F, 7, 4}}},
    {"a fixed block cut short ends", "f0 'ab", {{kRest, 100, 1, F, 3, 2}}},
    {"a first call with one byte waits", "f1 'abc c256", {{1, 1000, 0, S, 1, 0, In}, {kRest, 1000, 1, F, 4, 3}}},
    {"a small stream is written by the call that ends it", "f1 1000*'a c256",
     {{1, 5000, 0, S, 1, 0, In, 1000}, {1, 5000, 1, F, 1, 1000}}},
    {"exactly one window fills exactly the room", "s1#32768@3",
     {{kRest, 32768, 1, S, 32773, 32768, Out}, {0, 1, 1, F, 0, 0}}},
    {"room for exactly a delivery, then input runs dry", "s1#40000@4",
     {{kRest, 32768, 0, S, 32773, 32768, Out}, {0, 100, 0, S, 0, 0, In}, {kRest, 100000, 1, F, 7232, 7232}}},
    {"a stored delivery comes with the byte that fills the window", "s1#50000@6",
     {{1, 100000, 0, S, 1, 0, In, 32772}, {1, 100000, 0, S, 1, 32768, In}, {kRest, 100000, 1, F, kAny, kAny}}},
    {"block type 3 in pieces", "b7,8 3*b85,8", {{1, 100, 0, S, 1, 0, In}, {kRest, 100, 0, F, 3, 0}}},
    {"invalid data delivers what came before", "s0'before b7,3 a b153,8",
     {{kRest, 4, 0, S, 13, 4, Out}, {0, 100, 0, F, 0, 2}}},
    {"a finished stream stays finished", "f1 'once c256 a 6*b238,8", {{6, 100, 1, F, 6, 4}, {kRest, 100, 1, F, 0, 0}}},
};

}  // namespace

TEST(Inflate, CallScriptsReturnAndConsumeWhatTheyShould) {
    for (const Script &row : kScripts) {
        Built b = Build(row.spec);
        for (bool byteWise : {false, true}) {
            Engine e(byteWise);
            Bytes out, room(1 << 17);
            size_t pos = 0;
            for (const Step &step : row.steps) {
                for (uint32_t t = 0; t < step.times; ++t) {
                    uint32_t n = static_cast<uint32_t>(std::min<size_t>(step.in, b.stream.size() - pos));
                    Ret r = e.Call(b.stream.data() + pos, n, room.data(), step.room, step.final);
                    std::string at = row.name + ", call " + std::to_string(&step - &row.steps[0]) + "." +
                                     std::to_string(t) + (byteWise ? ", byte-wise" : "");
                    ASSERT_EQ(r.result, step.result) << at;
                    if (step.consumed != kAny)
                        ASSERT_EQ(r.consumed, step.consumed) << at;
                    if (step.written != kAny)
                        ASSERT_EQ(r.written, step.written) << at;
                    if (r.result == S)
                        ASSERT_EQ(r.state, step.state) << at;
                    pos += r.consumed;
                    out.insert(out.end(), room.begin(), room.begin() + r.written);
                }
            }
            EXPECT_TRUE(out == b.out) << row.name;
        }
    }
}

TEST(Inflate, AOneSymbolCodeCutShortDecodesTheZeroFillAndEnds) {
    // 'A' is the only symbol, its code ten zero bits: the two zero bytes of
    // the fill decode as 'A' too, and a third would be invalid data.
    Built b = Build("D1:257:A=10:1: 'AAAAA");
    Outcome run = CheckEveryWay(b.stream, nullptr, 1000, "one-symbol code", true, 1);
    EXPECT_EQ(run.consumed, b.stream.size());
    EXPECT_GE(run.out.size(), 5u);
    EXPECT_LE(run.out.size(), 5 + (b.stream.size() * 8 - b.bits + 16) / 10);
    EXPECT_TRUE(run.out == Bytes(run.out.size(), 'A'));
}

TEST(Inflate, OutputLeavesInWholeWindowDeliveries) {
    // Fed a byte of input and of room per call, each delivery is a run of
    // calls that write one byte, closed by a call that writes none.
    Built b = Build("r1,12000,12");
    ASSERT_GT(b.out.size(), 4 * 33025u);
    Outcome run = Lockstep(b.stream, Fixed("bytes", 1, 1, false), b.out.size());
    ASSERT_EQ(run.error, "");
    ASSERT_TRUE(run.out == b.out);
    std::vector<size_t> runs(1, 0);
    for (const Ret &r : run.rets) {
        if (r.written == 1)
            ++runs.back();
        else if (runs.back() != 0)
            runs.push_back(0);
    }
    ASSERT_GE(runs.size(), 4u);
    for (size_t i = 0; i + 2 < runs.size(); ++i) {
        EXPECT_GE(runs[i], 32768u) << i;
        EXPECT_LE(runs[i], 33025u) << i;
    }
    // The largest delivery: a 258-byte match from the window's last byte.
    run = Lockstep(Build("s0#32767@5 f1 m258,300 m258,32768 c256").stream, Fixed("bytes in, wide room", 1, 100000), 1 << 20);
    ASSERT_EQ(run.error, "");
    auto first = std::find_if(run.rets.begin(), run.rets.end(), [](const Ret &r) { return r.written != 0; });
    ASSERT_NE(first, run.rets.end());
    EXPECT_EQ(first->written, 33025u);
    EXPECT_EQ(first->state, kInflateNeedInput);
}

TEST(Inflate, TheWorkspaceIsResetAndUsedFromItsFirstEvenAddressOnly) {
    Built b = Build("s0#40000@7 r1,20000,8");
    const uint32_t size = dc::InflateWorkspaceSize();
    for (size_t shift : {0, 1}) {
        Bytes mem(size + 64, 0x5C);
        uint8_t *block = mem.data() + 32 - (reinterpret_cast<uintptr_t>(mem.data()) & 1) + shift;
        dc::InflateReset(block);
        for (size_t i = 0; i < mem.size(); ++i) {
            bool reset = mem.data() + i >= block + shift && mem.data() + i < block + shift + 38964;
            ASSERT_EQ(mem[i], reset ? 0 : 0x5C) << "shift " << shift << ", byte " << i;
        }
        Bytes out(b.out.size() + 40000);
        uint32_t in = static_cast<uint32_t>(b.stream.size()), room = static_cast<uint32_t>(out.size());
        ASSERT_EQ(dc::Inflate(b.stream.data(), 0, &in, out.data(), 0, &room, block, 1), kInflateFinished);
        EXPECT_TRUE(Bytes(out.begin(), out.begin() + room) == b.out);
        for (size_t i = 0; i < mem.size(); ++i)
            if (mem.data() + i < block || mem.data() + i >= block + size)
                ASSERT_EQ(mem[i], 0x5C) << "shift " << shift << ", byte " << i << " outside the block";
    }
    // A block never reset is refused.
    Bytes junk(size, 0xFF), stream = Build("f1 'abc c256").stream, out(100);
    uint32_t in = static_cast<uint32_t>(stream.size()), room = 100;
    EXPECT_EQ(dc::Inflate(stream.data(), 0, &in, out.data(), 0, &room, junk.data(), 1), kInflateFinished);
    EXPECT_EQ(room, 0u);
}

TEST(Inflate, OffsetsSelectWhereACallReadsAndWrites) {
    Bytes stream = Build("'junk f1 'hello c256").stream;
    Engine e;
    Bytes out(20, '#');
    uint32_t in = static_cast<uint32_t>(stream.size() - 4), room = 10;
    ASSERT_EQ(dc::Inflate(stream.data(), 4, &in, out.data(), 3, &room, e.ws, 1), kInflateFinished);
    EXPECT_EQ(in, stream.size() - 4);
    EXPECT_EQ(room, 5u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 10), "###hello##");
}
