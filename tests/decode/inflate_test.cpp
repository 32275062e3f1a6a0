// The engine in lockstep on hand-built streams (what zlib cannot check), random codes and
// streams of zlib and libdeflate, and on their damaged forms; then the calls of suspended
// streams and the deliveries.
#include <gtest/gtest.h>

#include "inflate_test.h"
#if defined(QZ_TEST_HAVE_ZLIB)
#include <zlib.h>
#endif
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#endif

using namespace qz_test;

namespace {

struct Row {
    std::string name, recipe;
};

std::string EveryLengthAndDistanceCode() {
    std::string recipe = "s0#33000@31 f1";
    for (int len = 3; len <= 258; ++len) {
        int d = len % 30, span = (d == 29 ? 32769 : kDistBase[d + 1]) - kDistBase[d];
        recipe += " m" + std::to_string(len) + "," + std::to_string(kDistBase[d] + len * 7919 % span);
    }
    return recipe + " m258,32768 c256";
}

const std::string kCodes1To15 = ":257:a=1,b=2,c=3,d=4,e=5,f=6,g=7,h=8,i=9,j=10,k=11,l=12,m=13,n=14,o=15,"
                                "256=15:1:0=1";
const std::string kAllNineteen = "D1:257:A=1,256=1:1:0=15:0=2,1=2,15=2,18=2:18+54,1,18+127,18+41,1,15";

const std::vector<Row> kStreams = {
    {"an empty stored block", "s0' s1'ok"},
    {"stored blocks after every bit phase (9-bit literals move it by one)",
     "f0 c256 s0'a f0 c200 c256 s0'b f0 2*c200 c256 s0'c f0 3*c200 c256 s0'd f0 4*c200 c256 s0'e "
     "f0 5*c200 c256 s0'f f0 6*c200 c256 s0'g f0 7*c200 c256 s0'h f0 8*c200 c256 s1'i"},
    {"length 258 at distance 1", "f1 'z m258,1 m258,1 c256"},
    {"every length, a distance of every code", EveryLengthAndDistanceCode()},
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
    // Invalid data ('!' marks the fault; 8 bytes follow that it must not need)
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
    {"distance symbol 30 after a full window", RandomFixed(0, 4000, 4) + " f1 'x c260 ! d30 a 200*b51,8"},
    {"distance symbol 31 after a full window", RandomFixed(0, 4000, 4) + " f1 'x c260 ! d31 a 200*b51,8"},
};

enum : uint32_t { kRest = 0xFFFFFFFFu };

struct Step {
    uint32_t in, room;  // in: bytes from where the last call stopped, or kRest
    bool final;
    int32_t result;
    uint32_t consumed, written;
    uint16_t state = 0;  // checked after a suspension
    uint32_t times = 1;
};

struct Script {
    std::string name, recipe;  // the recipe's output is what all calls write
    std::vector<Step> steps;
};

const int32_t F = dc::kInflateFinished, S = dc::kInflateSuspended;
const uint16_t In = dc::kInflateNeedInput, Out = dc::kInflateNeedOutput;

const std::vector<Script> kScripts = {
    {"final input with exactly the stream", "f1 'hello c256", {{kRest, 1000, 1, F, 7, 5}}},
    {"the end waits for a byte, the final flag gives it", "f1 'hello c256",
     {{7, 1000, 0, S, 7, 0, In}, {0, 1000, 1, F, 0, 5}}},
    {"the end takes one more byte", "f1 'hello c256 a 3*b238,8",
     {{7, 1000, 0, S, 7, 0, In}, {kRest, 1000, 0, F, 1, 5}}},
    {"an empty fixed block looks one byte ahead", "f1 c256 a 4*b238,8", {{kRest, 100, 0, F, 3, 0}}},
    {"a stored block looks two bytes ahead", "s1' 4*b238,8", {{kRest, 100, 0, F, 7, 0}}},
    {"a stored block with data, final input", "s1'xyz 4*b238,8", {{kRest, 100, 1, F, 10, 3}}},
    {"long literals end with 16 bits in hand", "f1 c200 c201 c202 c203 c204 c205 c256 4*b238,8",
     {{kRest, 100, 0, F, 10, 6}}},
    {"a final stored block waits for two bytes", "s1'data",
     {{kRest, 100, 0, S, 9, 0, In}, {0, 100, 1, F, 0, 4}}},
    {"a stored block cut short gets two zero bytes", "h1,6,65529 'ab z2", {{kRest, 100, 1, F, 7, 4}}},
    {"a fixed block cut short ends", "f0 'ab", {{kRest, 100, 1, F, 3, 2}}},
    {"a small stream is written by the call that ends it", "f1 1000*'a c256",
     {{1, 5000, 0, S, 1, 0, In, 1000}, {1, 5000, 1, F, 1, 1000}}},
    {"exactly one window fills exactly the room", "s1#32768@3",
     {{kRest, 32768, 1, S, 32773, 32768, Out}, {0, 1, 1, F, 0, 0}}},
    {"room for exactly a delivery, then input runs dry", "s1#40000@4",
     {{kRest, 32768, 0, S, 32773, 32768, Out}, {0, 100, 0, S, 0, 0, In}, {kRest, 100000, 1, F, 7232, 7232}}},
    {"a stored delivery comes with the byte that fills the window", "s1#50000@6",
     {{1, 100000, 0, S, 1, 0, In, 32772}, {1, 100000, 0, S, 1, 32768, In},
      {kRest, 100000, 1, F, 17232, 17232}}},
    {"block type 3 in pieces", "b7,8 3*b85,8", {{1, 100, 0, S, 1, 0, In}, {kRest, 100, 0, F, 3, 0}}},
    {"invalid data delivers what came before", "s0'before b7,3 a b153,8",
     {{kRest, 4, 0, S, 13, 4, Out}, {0, 100, 0, F, 0, 2}}},
    {"a finished stream stays finished", "f1 'once c256 a 6*b238,8",
     {{6, 100, 1, F, 6, 4}, {kRest, 100, 1, F, 0, 0}}},
};

Bytes Flip(Bytes s, std::mt19937 &rng, int flips) {
    for (int i = 0; i < flips && !s.empty(); ++i)
        s[rng() % s.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
    return s;
}

// Lengths of a random complete code of n symbols up to 15 bits (skewed: longer codes).
std::vector<int> RandomCompleteLengths(size_t n, std::mt19937 &rng, bool skewed) {
    if (n == 1)
        return {1 + static_cast<int>(rng() % 15)};
    std::vector<int> depth = {0};
    while (depth.size() < n) {
        size_t i = rng() % depth.size(), j = rng() % depth.size();
        if (skewed && rng() % 2 && depth[j] > depth[i])
            i = j;
        if (depth[i] >= 15)
            i = std::min_element(depth.begin(), depth.end()) - depth.begin();
        depth.push_back(++depth[i]);
    }
    std::shuffle(depth.begin(), depth.end(), rng);
    return depth;
}

// A dynamic block of random codes, literals and matches (some reaching beyond the data).
std::string RandomDynamic(bool final, std::mt19937 &rng, int ops) {
    int n[2] = {257 + static_cast<int>(rng() % 30), 1 + static_cast<int>(rng() % 30)}, skewed = rng() % 2;
    std::vector<int> used[2];  // the literal/length and the distance symbols in use
    std::string recipe = final ? "D1" : "D0";
    for (int k = 0; k < 2; ++k) {
        for (int s = 0; s < n[k]; ++s)
            if (rng() % 3 != 0 || s == (k ? 0 : 256))
                used[k].push_back(s);
        std::vector<int> len = RandomCompleteLengths(used[k].size(), rng, skewed);
        recipe += ":" + std::to_string(n[k]) + ":";
        for (size_t i = 0; i < used[k].size(); ++i)
            recipe += std::to_string(used[k][i]) + "=" + std::to_string(len[i]) + ",";
    }
    for (int i = 0; i < ops; ++i) {
        int s = used[0][rng() % used[0].size()], l = s - 257;
        int d = used[1][rng() % std::min<size_t>(used[1].size(), rng() % 4 ? 8 : 30)];
        if (s < 256)
            recipe += " c" + std::to_string(s);
        else if (s > 256)  // 258 is symbol 285, never 284 with all extra bits set
            recipe += " m" + std::to_string(kLengthBase[l] + rng() % ((1 << LengthExtra(l)) - (l == 27))) +
                    "," + std::to_string(kDistBase[d] + rng() % (1 << DistExtra(d)));
    }
    return recipe + " c256";
}


#if defined(QZ_TEST_HAVE_ZLIB)
struct Compressor {
    std::string name;
    int level, strategy;  // strategy -1: libdeflate
};

Bytes Compress(const Compressor &c, const Bytes &data) {
    Bytes out(data.size() + data.size() / 8 + 1024);
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
    if (c.strategy < 0) {
        libdeflate_compressor *lc = libdeflate_alloc_compressor(c.level);
        out.resize(libdeflate_deflate_compress(lc, data.data(), data.size(), out.data(), out.size()));
        libdeflate_free_compressor(lc);
        return out;
    }
#endif
    z_stream s = {};
    deflateInit2(&s, c.level, Z_DEFLATED, -15, 9, c.strategy);
    s.next_in = const_cast<Bytef *>(data.data());
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// zlib's raw inflate of a whole stream: true if it decodes to the end.
bool ZlibInflate(const Bytes &stream, Bytes &out) {
    z_stream z = {};
    inflateInit2(&z, -15);
    z.next_in = const_cast<uint8_t *>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    bool ended = inflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(z.total_out);
    inflateEnd(&z);
    return ended;
}
#endif

struct Source {
    std::string name;
    Bytes stream, data;
    bool valid;
};

}  // namespace

TEST(Inflate, EveryStreamAndItsDamagedFormsDecodeAlikeEveryWayInOneCallWhenWhole) {
    std::vector<Source> sources;
    for (const Row &row : kStreams) {
        bool valid = row.recipe.find('!') == std::string::npos;
        Built b = Build(row.recipe + (valid ? "" : " b0,16 a 8*b165,8"));  // 8 bytes the fault must not need
        sources.push_back({row.name, b.stream, b.out, valid});
    }
    for (uint32_t seed = 1; seed <= static_cast<uint32_t>(Runs(60)); ++seed) {
        std::mt19937 rng(seed);  // one to four blocks: random dynamic, fixed and stored ones
        std::string recipe;
        for (uint32_t b = 0, ops = seed % 6 ? 200 + seed * 97 % 3000 : 150; b <= seed % 4; ++b) {
            uint32_t kind = rng() % 5;
            if (kind == 0)
                recipe += " " + RandomFixed(b == seed % 4, ops, rng());
            else
                recipe += kind == 1 ? (b == seed % 4 ? " s1#" : " s0#") + std::to_string(rng() % 3000) + "@1"
                                  : " " + RandomDynamic(b == seed % 4, rng, ops);
        }
        Built b = Build(recipe);
        sources.push_back({"random stream " + std::to_string(seed), b.stream, b.out, true});
    }
#if defined(QZ_TEST_HAVE_ZLIB)
    std::vector<Compressor> compressors = {{"zlib filtered", 6, Z_FILTERED}, {"zlib RLE", 6, Z_RLE},
                                           {"zlib Huffman only", 6, Z_HUFFMAN_ONLY},
                                           {"zlib fixed", 6, Z_FIXED}};
    for (int level = 0; level <= 9; ++level)
        compressors.push_back({"zlib level " + std::to_string(level), level, Z_DEFAULT_STRATEGY});
#if defined(QZ_TEST_HAVE_LIBDEFLATE)
    compressors.push_back({"libdeflate level 12", 12, -1});
#endif
    const size_t large = Runs(16) * (3 << 16);  // 3 MiB, under valgrind 192 KiB
    for (const Compressor &c : compressors) {
        for (size_t n : std::vector<size_t>{0, 1, 2, 17, 1000, 32767, 32768, 32769, 65536, 100003, large}) {
            if (n == large && (c.level % 3 != 0 || c.strategy > 0))
                continue;  // large inputs for levels 0, 3, 6, 9 and 12 only
            std::string what = c.name + ", " + std::to_string(n) + " bytes";
            Bytes random = RandomBytes(n, 1), sample = SampleData(n, 2);
            sources.push_back({what + " of noise", Compress(c, random), random, true});
            sources.push_back({what + " of sample data", Compress(c, sample), sample, true});
        }
    }
#endif
    std::mt19937 rng(2024);
    int agreed = 0;
    for (const Source &s : sources) {
        bool handBuilt = &s < &sources[kStreams.size()];  // fed a byte per call even under valgrind
        bool bytes = s.stream.size() <= (handBuilt ? 100000u : Runs(256) * 40u);
        Outcome whole = CheckEveryWay(s.stream, &s.data, s.data.size() + 1, s.name, bytes, 1, s.valid);
        EXPECT_EQ(whole.rets.size(), 1u) << s.name;
        EXPECT_EQ(whole.consumed, s.stream.size()) << s.name;
        for (int k = 0; k < (s.stream.size() > 40000 ? 0 : Runs(6)); ++k) {
            Bytes damaged = Flip(s.stream, rng, 1 + k % 3), ref(4 * s.data.size() + 65536);
#if defined(QZ_TEST_HAVE_ZLIB)
            bool ended = ZlibInflate(damaged, ref);  // where zlib ends, the engine must agree
#else
            bool ended = false;
#endif
            agreed += ended;
            CheckEveryWay(damaged, ended ? &ref : nullptr, ref.size(), s.name + " damaged", false, 1);
        }
        if (HasFailure())
            return;
    }
#if defined(QZ_TEST_HAVE_ZLIB)
    EXPECT_GT(agreed, Runs(100)) << "too few damaged streams to compare";
#endif
}

TEST(Inflate, CallScriptsReturnAndConsumeWhatTheyShould) {
    for (const Script &row : kScripts) {
        Built b = Build(row.recipe);
        Engine e;
        Bytes out, room(1 << 17);
        size_t pos = 0;
        for (const Step &step : row.steps) {
            for (uint32_t t = 0; t < step.times; ++t) {
                uint32_t n = static_cast<uint32_t>(std::min<size_t>(step.in, b.stream.size() - pos));
                Ret r = e.Call(b.stream.data() + pos, n, room.data(), step.room, step.final);
                Ret want = {step.result, step.consumed, step.written, step.state};
                want.state = r.result == S ? step.state : r.state;
                ASSERT_FALSE(r != want) << row.name << ", step " << &step - &row.steps[0] << ": returned "
                                        << r.result << ", consumed " << r.consumed << ", wrote " << r.written
                                        << ", state " << r.state;
                pos += r.consumed;
                out.insert(out.end(), room.begin(), room.begin() + r.written);
            }
        }
        EXPECT_TRUE(out == b.out) << row.name;
    }
}

TEST(Inflate, OutputLeavesInWholeWindowDeliveriesOf32768To33025Bytes) {
    // A byte of input and room per call: a delivery is a run of one-byte writes.
    Built b = Build(RandomFixed(true, 12000, 12));
    Outcome run = Lockstep(b.stream, {"bytes", 1, 1, 0}, b.out.size());
    ASSERT_TRUE(run.error.empty() && run.out == b.out) << run.error;
    std::vector<size_t> runs(1, 0);
    for (const Ret &r : run.rets) {
        if (r.written)
            ++runs.back();
        else if (runs.back())
            runs.push_back(0);
    }
    ASSERT_GE(runs.size(), 5u);
    for (size_t i = 0; i + 2 < runs.size(); ++i)
        EXPECT_TRUE(runs[i] >= 32768 && runs[i] <= 33025) << runs[i];
    // The largest: a 258-byte match from the window's last byte.
    run = Lockstep(Build("s0#32767@5 f1 m258,300 m258,32768 c256").stream, {"bytes", 1, 100000, 0}, 1 << 20);
    auto first = std::find_if(run.rets.begin(), run.rets.end(), [](const Ret &r) { return r.written != 0; });
    ASSERT_TRUE(first != run.rets.end() && run.error.empty()) << run.error;
    EXPECT_EQ(first->written, 33025u);
}

TEST(Inflate, OffsetsSelectWhereACallReadsAndWritesAndAWorkspaceMustBeReset) {
    Bytes stream = Build("'junk f1 'hello c256").stream, out(20, '#'), junk(Engine().size, 0xFF);
    uint32_t in = static_cast<uint32_t>(stream.size() - 4), room = 10;
    ASSERT_EQ(dc::Inflate(stream.data(), 4, &in, out.data(), 3, &room, Engine().ws, 1), F);
    EXPECT_EQ(in, stream.size() - 4);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 10), "###hello##");
    in = static_cast<uint32_t>(stream.size() - 4);
    EXPECT_EQ(dc::Inflate(stream.data(), 4, &in, out.data(), 0, &room, junk.data(), 1), F);
    EXPECT_EQ(room, 0u);  // never reset: refused
}
