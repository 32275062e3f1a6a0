#!/usr/bin/env bash
# Builds and runs every test suite of QZUNPACK:
#   native        the Linux library on the POSIX layer
#   asan          the same suites under AddressSanitizer and UBSan
#   wine          the x86_64 Windows build, run by Wine against the real Win32 API
#   i686          the 32-bit DLL, whose export table is checked
#   valgrind      the native suites under valgrind memcheck (no error, no leak)
#   fuzz          every libFuzzer target for 60 seconds (fuzz/run.sh 60)
# Usage: scripts/test-all.sh [native|asan|wine|i686|valgrind|fuzz ...]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
builds=("$@")
[ ${#builds[@]} -gt 0 ] || builds=(native asan wine i686 valgrind fuzz)

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

run() {
  local name=$1 dir=$2; shift 2
  echo "=== $name: configure and build ($dir)"
  mkdir -p "$dir"
  cmake -S . -B "$dir" "$@" >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; exit 1; }
  cmake --build "$dir" -j"$jobs"
  echo "=== $name: test"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

for b in "${builds[@]}"; do
  case $b in
    native) run native build ;;
    asan)   run asan build-asan -DQZ_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
              -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ ;;
    wine)   wineboot -i >/dev/null 2>&1 || true
            run wine build-wine -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake ;;
    i686)   run i686 build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake ;;
    valgrind) run valgrind build-valgrind -DQZ_VALGRIND=ON ;;
    fuzz)   echo "=== fuzz: every target for 60 s"
            fuzz/run.sh 60 ;;
    *) echo "unknown build: $b" >&2; exit 2 ;;
  esac
done
echo "=== all requested builds passed: ${builds[*]}"
