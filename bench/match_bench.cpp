// match_bench.cpp -- the wildcard matcher against two references measured
// in the same run: the direct backtracking transcription of the rules
// (tests/select/backtrack_reference.h) and the C library's fnmatch(3).
//
// Three families of inputs:
//   typical  names and patterns as hosts pass them ("*.TXT", "DOCS/*.C");
//   scaling  A^n against ("*A" repeated n/4 times)"B": every split of the
//            name is a candidate, so backtracking grows exponentially with
//            n; sizes are kept where it still terminates;
//   hardest  259-byte names and 259-byte patterns of 129 '*' runs, which
//            only the library's matcher is run on (the references would
//            not finish).
// After the runs a table gives reference time / library time per input.
#include <benchmark/benchmark.h>
#include <fnmatch.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "qzunpack.h"
#include "select/backtrack_reference.h"
#include "select/select.h"

namespace {

struct Input {
    std::string label, name, pattern;
};

std::vector<Input> inputs() {
    std::vector<Input> v = {
        {"typical/ext", "README.TXT", "*.TXT"},
        {"typical/dir", "DOCS/SUB/FILE.C", "DOCS/*.C"},
        {"typical/miss", "SETUP.EXE", "*.TXT"},
        {"typical/marks", "AB12CD.DAT", "AB??CD.*"},
    };
    for (int n : {16, 20, 24, 28}) {
        std::string pattern;
        for (int i = 0; i < n / 4; ++i) pattern += "*A";
        v.push_back({"scaling/" + std::to_string(n), std::string(n, 'A'), pattern + "B"});
    }
    return v;
}

// The same pattern against a name it does not fit (the last segment fits
// nowhere, so the matcher can stop early) and against one it fits (every
// row of the evaluation is needed).
std::vector<Input> hardest() {
    std::string pattern;
    for (int i = 0; i < 129; ++i) pattern += "*A";
    pattern += "B";
    return {{"hardest/miss", std::string(259, 'A'), pattern},
            {"hardest/fit", std::string(258, 'A') + "B", pattern},
            {"hardest/marks", std::string(259, 'A'), std::string(258, '*') + "?"}};
}

enum Kind { kLibrary, kMatchFile, kBacktrack, kFnmatch };
const char *const kKindNames[] = {"library", "QzMatchFile", "backtrack", "fnmatch"};

void run(benchmark::State &state, Kind kind, const Input &in) {
    const char *n = in.name.c_str(), *p = in.pattern.c_str();
    for (auto _ : state) {
        bool r = false;
        switch (kind) {
        case kLibrary: r = qz::select::matchCore(n, p); break;
        case kMatchFile: r = QzMatchFile(n, p) != 0; break;
        case kBacktrack: r = qztest::backtrack::core(n, p); break;
        case kFnmatch: r = fnmatch(p, n, FNM_NOESCAPE) == 0; break;
        }
        benchmark::DoNotOptimize(r);
    }
}

// Keeps the mean real time of every run by name, and prints as usual.
class Recorder : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> nanos;
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration) nanos[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

std::string key(Kind kind, const Input &in) { return std::string(kKindNames[kind]) + "/" + in.label; }

}  // namespace

int main(int argc, char **argv) {
    const std::vector<Input> all = inputs();
    const std::vector<Input> hard = hardest();
    for (const Input &in : all)
        for (Kind k : {kLibrary, kMatchFile, kBacktrack, kFnmatch})
            benchmark::RegisterBenchmark(key(k, in).c_str(), run, k, in)->Unit(benchmark::kNanosecond);
    for (const Input &in : hard)
        for (Kind k : {kLibrary, kMatchFile})
            benchmark::RegisterBenchmark(key(k, in).c_str(), run, k, in)->Unit(benchmark::kNanosecond);

    benchmark::Initialize(&argc, argv);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);

    // All three must agree on the inputs they share, or the ratios mean nothing.
    for (const Input &in : all) {
        const bool a = qz::select::matchCore(in.name.c_str(), in.pattern.c_str());
        const bool b = qztest::backtrack::core(in.name.c_str(), in.pattern.c_str());
        const bool c = fnmatch(in.pattern.c_str(), in.name.c_str(), FNM_NOESCAPE) == 0;
        if (a != b || a != c) std::printf("DISAGREEMENT on %s\n", in.label.c_str());
    }

    std::printf("\n%-16s %12s %12s %14s %14s\n", "input", "library ns", "QzMatchFile",
                "backtrack/lib", "fnmatch/lib");
    for (const Input &in : all) {
        const double lib = recorder.nanos[key(kLibrary, in)];
        if (lib <= 0) continue;  // filtered out on the command line
        std::printf("%-16s %12.1f %12.1f %14.2f %14.2f\n", in.label.c_str(), lib,
                    recorder.nanos[key(kMatchFile, in)], recorder.nanos[key(kBacktrack, in)] / lib,
                    recorder.nanos[key(kFnmatch, in)] / lib);
    }
    for (const Input &in : hard) {
        const double lib = recorder.nanos[key(kLibrary, in)];
        if (lib > 0)
            std::printf("%-16s %12.1f %12.1f   (references do not finish; limit 1,000,000 ns)\n",
                        in.label.c_str(), lib, recorder.nanos[key(kMatchFile, in)]);
    }
    return 0;
}
