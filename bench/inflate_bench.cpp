// inflate_bench.cpp -- the Deflate engine, CRC-32 and the cipher against
// references measured in the same run.
//
// Two corpora are assembled when the program starts, from files of this
// machine, so that nothing large is kept in the repository:
//   text    C headers under /usr/include, concatenated in path order;
//   binary  ELF executables under /usr/bin, concatenated in path order.
// Each is compressed once with zlib at level 6 as raw Deflate, then decoded
//   qz          by the engine, fed as the entry pipeline feeds it: chunks of
//               65,520 input bytes and 65,520 bytes of output room per call;
//   zlib        by zlib's raw inflate with the same chunking;
//   libdeflate  in one call over the whole buffer (for information: it does
//               not resume, so it has no chunking to match).
// Every decoder's output is checked against the original once, then each is
// timed over several rounds of one run each.  MB/s counts decoded bytes (10^6 per MB); the
// table shows the best run and the spread (slowest..fastest run), and the
// ratio qz/zlib of the best runs: above 1 the engine is faster.
//
// CRC-32 (QzCrc32A against zlib's crc32 and libdeflate's, in the pipeline's
// 65,520-byte blocks) and the cipher (QzDecryptData) are measured the same
// way over the text corpus.
//
// On a machine shared with other work, --cpu times each run by the CPU time
// of the thread instead of the wall clock, so that time the thread spends
// waiting for a core does not count (the caches are still shared).
//
// Usage: inflate_bench [--runs N] [--mb N] [--cpu]    (default 9 runs, 16 MB each)
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "decode/decode.h"
#include "qzunpack.h"

namespace {

namespace fs = std::filesystem;

enum : uint32_t { kChunk = 65520 };  // the pipeline's transfer buffers

using Bytes = std::vector<uint8_t>;

// --- corpora -------------------------------------------------------------------

bool ReadFile(const fs::path &p, Bytes *out) {
    std::ifstream f(p, std::ios::binary);
    if (!f)
        return false;
    out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

// Concatenates the files under root that keep() accepts, in path order,
// until limit bytes are reached.
Bytes Assemble(const char *root, size_t limit, const std::function<bool(const fs::path &, const Bytes &)> &keep) {
    std::vector<fs::path> paths;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         it != end; it.increment(ec)) {
        if (ec)
            break;
        if (it->is_regular_file(ec) && !it->is_symlink(ec))
            paths.push_back(it->path());
    }
    std::sort(paths.begin(), paths.end());
    Bytes corpus, file;
    for (const fs::path &p : paths) {
        if (corpus.size() >= limit)
            break;
        if (!ReadFile(p, &file) || !keep(p, file))
            continue;
        corpus.insert(corpus.end(), file.begin(), file.end());
    }
    if (corpus.size() > limit)
        corpus.resize(limit);
    return corpus;
}

Bytes TextCorpus(size_t limit) {
    return Assemble("/usr/include", limit, [](const fs::path &p, const Bytes &) { return p.extension() == ".h"; });
}

Bytes BinaryCorpus(size_t limit) {
    return Assemble("/usr/bin", limit, [](const fs::path &, const Bytes &b) {
        return b.size() > 4 && b[0] == 0x7F && b[1] == 'E' && b[2] == 'L' && b[3] == 'F';
    });
}

Bytes ZlibRawLevel6(const Bytes &data) {
    z_stream s = {};
    deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&s, data.size()));
    s.next_in = const_cast<Bytef *>(data.data());
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    if (deflate(&s, Z_FINISH) != Z_STREAM_END) {
        std::fprintf(stderr, "deflate failed\n");
        std::exit(1);
    }
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// --- decoders --------------------------------------------------------------------
// Each decodes the whole stream; sink (when given) receives every piece of
// output, for the check.  The result is the number of bytes decoded.

using Sink = std::function<void(const uint8_t *, size_t)>;

struct QzDecoder {
    Bytes workspace = Bytes(qz::decode::InflateWorkspaceSize());
    Bytes room = Bytes(kChunk);

    // The pipeline's loop: a chunk of at most 65,520 bytes, the final-input
    // flag with the last one, engine calls until the chunk is used up or the
    // stream ends; an empty last chunk when the engine still has output.
    size_t Run(const Bytes &stream, const Sink *sink) {
        qz::decode::InflateReset(workspace.data());
        size_t pos = 0, total = 0;
        bool done = false;
        while (!done) {
            uint32_t size = static_cast<uint32_t>(std::min<size_t>(kChunk, stream.size() - pos));
            bool last = stream.size() - pos <= kChunk;
            uint32_t at = 0;
            do {
                uint32_t in = size - at, out = kChunk;
                int32_t r = qz::decode::Inflate(stream.data() + pos, at, &in, room.data(), 0, &out,
                                                workspace.data(), last ? 1 : 0);
                if (sink)
                    (*sink)(room.data(), out);
                total += out;
                at += in;
                done = r != qz::decode::kInflateSuspended;
            } while (!done && at < size);
            pos += size;
        }
        return total;
    }
};

struct ZlibDecoder {
    Bytes room = Bytes(kChunk);

    size_t Run(const Bytes &stream, const Sink *sink) {
        z_stream s = {};
        inflateInit2(&s, -15);
        size_t pos = 0, total = 0;
        int rc = Z_OK;
        while (rc == Z_OK) {
            uInt size = static_cast<uInt>(std::min<size_t>(kChunk, stream.size() - pos));
            s.next_in = const_cast<Bytef *>(stream.data() + pos);
            s.avail_in = size;
            do {
                s.next_out = room.data();
                s.avail_out = kChunk;
                rc = inflate(&s, Z_NO_FLUSH);
                size_t out = kChunk - s.avail_out;
                if (sink)
                    (*sink)(room.data(), out);
                total += out;
            } while (rc == Z_OK && (s.avail_in != 0 || s.avail_out == 0));
            pos += size;
            if (rc == Z_BUF_ERROR && pos < stream.size())
                rc = Z_OK;  // needed the next chunk
        }
        inflateEnd(&s);
        if (rc != Z_STREAM_END)
            std::fprintf(stderr, "zlib inflate ended with %d\n", rc);
        return total;
    }
};

struct LibdeflateDecoder {
    libdeflate_decompressor *d = libdeflate_alloc_decompressor();
    Bytes out;
    explicit LibdeflateDecoder(size_t size) : out(size) {}
    ~LibdeflateDecoder() { libdeflate_free_decompressor(d); }

    size_t Run(const Bytes &stream, const Sink *sink) {
        size_t n = 0;
        if (libdeflate_deflate_decompress(d, stream.data(), stream.size(), out.data(), out.size(), &n) !=
            LIBDEFLATE_SUCCESS)
            std::fprintf(stderr, "libdeflate failed\n");
        if (sink)
            (*sink)(out.data(), n);
        return n;
    }
};

// --- timing ------------------------------------------------------------------------

bool gCpuClock = false;  // --cpu: the thread's CPU time instead of the wall clock

double clockNow() {
    if (gCpuClock) {
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec + t.tv_nsec * 1e-9;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Timing {
    double best = 0, worst = 0;  // MB/s of the fastest and the slowest run
};

// Times the contenders in rounds, one run of each per round, so that load
// from elsewhere on the machine falls on all of them alike.
std::vector<Timing> Measure(int runs, size_t bytes, const std::vector<std::function<void()>> &contenders) {
    std::vector<Timing> t(contenders.size());
    for (auto &run : contenders)
        run();  // warm the caches and the page tables
    for (int i = 0; i < runs; ++i) {
        for (size_t k = 0; k < contenders.size(); ++k) {
            double start = clockNow();
            contenders[k]();
            double s = clockNow() - start;
            double mbs = bytes / s / 1e6;
            t[k].best = i == 0 ? mbs : std::max(t[k].best, mbs);
            t[k].worst = i == 0 ? mbs : std::min(t[k].worst, mbs);
        }
    }
    return t;
}

template <class Decoder>
bool Check(Decoder &d, const Bytes &stream, const Bytes &original, const char *name) {
    Bytes got;
    got.reserve(original.size());
    Sink sink = [&](const uint8_t *p, size_t n) { got.insert(got.end(), p, p + n); };
    d.Run(stream, &sink);
    if (got != original) {
        std::printf("  %s: OUTPUT DIFFERS from the original (%zu of %zu bytes)\n", name, got.size(),
                    original.size());
        return false;
    }
    return true;
}

void Row(const char *name, const Timing &t) {
    std::printf("  %-11s %9.1f MB/s   (runs %.1f .. %.1f)\n", name, t.best, t.worst, t.best);
}

struct Ratio {
    std::string corpus;
    double qzOverZlib, spreadLow, spreadHigh;
};

Ratio BenchCorpus(const char *label, const Bytes &data, int runs) {
    Bytes stream = ZlibRawLevel6(data);
    std::printf("\n%s corpus: %zu bytes, %zu compressed (%.1f%%)\n", label, data.size(), stream.size(),
                100.0 * stream.size() / std::max<size_t>(1, data.size()));
    QzDecoder qzd;
    ZlibDecoder zd;
    LibdeflateDecoder ld(data.size());
    bool ok = Check(qzd, stream, data, "qz") & Check(zd, stream, data, "zlib") & Check(ld, stream, data, "libdeflate");
    if (!ok)
        std::exit(1);
    std::vector<Timing> m = Measure(runs, data.size(), {[&] { qzd.Run(stream, nullptr); },
                                                        [&] { zd.Run(stream, nullptr); },
                                                        [&] { ld.Run(stream, nullptr); }});
    const Timing &q = m[0], &z = m[1], &l = m[2];
    Row("qz", q);
    Row("zlib", z);
    Row("libdeflate", l);
    // The ratio of best runs, and the range the noise allows: slowest qz run
    // over fastest zlib run up to fastest qz run over slowest zlib run.
    Ratio r = {label, q.best / z.best, q.worst / z.best, q.best / z.worst};
    std::printf("  qz/zlib     %9.2f        (noise range %.2f .. %.2f)\n", r.qzOverZlib, r.spreadLow, r.spreadHigh);
    std::printf("  qz/libdeflate %7.2f\n", q.best / l.best);
    return r;
}

void BenchChecksums(const Bytes &data, int runs) {
    std::printf("\nCRC-32 over the text corpus in %u-byte blocks\n", kChunk);
    // Every one of them must give the same register, also from odd starts.
    for (size_t skip : {0, 1, 3, 7}) {
        const uint8_t *p = data.data() + skip;
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(kChunk, data.size() - skip));
        uint32_t a = QzCrc32A(p, n, 0xFFFFFFFFu);
        uint32_t b = ~static_cast<uint32_t>(crc32(0, p, n));
        uint32_t c = ~libdeflate_crc32(0, p, n);
        if (a != b || a != c) {
            std::printf("  CRC-32 DIFFERS at offset %zu: %08x %08x %08x\n", skip, a, b, c);
            std::exit(1);
        }
    }
    auto blocks = [&](const std::function<uint32_t(const uint8_t *, uint32_t, uint32_t)> &f) {
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t pos = 0; pos < data.size(); pos += kChunk)
            crc = f(data.data() + pos, static_cast<uint32_t>(std::min<size_t>(kChunk, data.size() - pos)), crc);
        static volatile uint32_t keep;
        keep = crc;
    };
    std::vector<Timing> m = Measure(
        runs, data.size(),
        {[&] {
             blocks([](const uint8_t *p, uint32_t n, uint32_t crc) { return static_cast<uint32_t>(QzCrc32A(p, n, crc)); });
         },
         [&] {
             blocks([](const uint8_t *p, uint32_t n, uint32_t crc) { return ~static_cast<uint32_t>(crc32(~crc, p, n)); });
         },
         [&] { blocks([](const uint8_t *p, uint32_t n, uint32_t crc) { return ~libdeflate_crc32(~crc, p, n); }); }});
    const Timing &q = m[0], &z = m[1], &l = m[2];
    Row("QzCrc32A", q);
    Row("zlib", z);
    Row("libdeflate", l);
    std::printf("  qz/zlib     %9.2f        (noise range %.2f .. %.2f)\n", q.best / z.best, q.worst / z.best,
                q.best / z.worst);

    std::printf("\nCipher (QzDecryptData) over the text corpus in %u-byte blocks\n", kChunk);
    Bytes copy = data;
    std::vector<Timing> c = Measure(runs, data.size(), {[&] {
                                        QzInitKeys("password", 8);
                                        for (size_t pos = 0; pos < copy.size(); pos += kChunk)
                                            QzDecryptData(copy.data() + pos, static_cast<uint32_t>(std::min<size_t>(
                                                                                 kChunk, copy.size() - pos)));
                                    }});
    Row("decrypt", c[0]);
}

}  // namespace

int main(int argc, char **argv) {
    int runs = 9;
    size_t mb = 16;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cpu") == 0)
            gCpuClock = true;
        else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--mb") == 0 && i + 1 < argc)
            mb = static_cast<size_t>(std::max(1, std::atoi(argv[++i])));
    }
    const size_t limit = mb << 20;
    Bytes text = TextCorpus(limit), binary = BinaryCorpus(limit);
    if (text.size() < (1u << 20) || binary.size() < (1u << 20)) {
        std::printf("not enough files for the corpora (%zu text, %zu binary bytes)\n", text.size(), binary.size());
        return 1;
    }
    std::printf("best of %d runs; MB/s of decoded bytes, timed by %s\n", runs,
                gCpuClock ? "the thread's CPU time" : "the wall clock");
    Ratio t = BenchCorpus("text", text, runs);
    Ratio b = BenchCorpus("binary", binary, runs);
    BenchChecksums(text, runs);

    std::printf("\nsummary: qz/zlib  text %.2f (%.2f..%.2f), binary %.2f (%.2f..%.2f)\n", t.qzOverZlib, t.spreadLow,
                t.spreadHigh, b.qzOverZlib, b.spreadLow, b.spreadHigh);
    return 0;
}
