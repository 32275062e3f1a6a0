#!/bin/sh
# fuzz/run.sh SECONDS -- builds the libFuzzer targets with clang into
# build-fuzz and runs each for SECONDS (default 60), one job at a time.
#
# Each target keeps its working corpus in build-fuzz/corpus/<target>/ and
# reads the seeds of fuzz/corpus/<target>/ when that folder exists (new
# inputs are written to the working corpus only, so the seeds stay as they
# are).  After each run the executions and coverage are printed; the full
# log is build-fuzz/<target>.log, crashes land in build-fuzz/artifacts/.
set -eu

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DQZ_FUZZ=ON -DQZ_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

targets=""
for source in "$root"/fuzz/*_fuzz.cpp; do
    targets="$targets $(basename "$source" .cpp)"
done
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $targets

mkdir -p "$build/artifacts"
status=0
for target in $targets; do
    work=$build/corpus/$target
    mkdir -p "$work"
    seeds=""
    if [ -d "$root/fuzz/corpus/$target" ]; then
        seeds=$root/fuzz/corpus/$target
    fi
    log=$build/$target.log
    echo "== $target: $seconds s"
    # shellcheck disable=SC2086
    if ! "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$build/artifacts/$target-" "$work" $seeds >"$log" 2>&1; then
        echo "   FAILED, see $log"
        status=1
    fi
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
    cov=$(echo "$last" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$last" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
    corp=$(echo "$last" | sed -n 's/.*corp: \([0-9]*\).*/\1/p')
    echo "   executions ${execs:-?}, cov ${cov:-?}, ft ${ft:-?}, corpus ${corp:-?} inputs"
done
exit $status
