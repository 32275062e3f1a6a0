#!/usr/bin/env bash
# Builds and runs every test suite of QZUNPACK:
#   native        the Linux library on the POSIX layer
#   asan          the same suites under AddressSanitizer and UBSan
#   wine          the x86_64 Windows build, run by Wine against the real Win32 API
#   i686          the 32-bit DLL, qzunzip and every suite under 32-bit Wine, with the host tests
#                 (run-time loading, both import libraries, the header under many compilers)
#                 and the install tree and zip package of the DLL
#   install       the Linux install tree, and a consumer built against it with pkg-config
#                 and with find_package
#   valgrind      the native suites under valgrind memcheck (no error, no leak)
#   fuzz          every libFuzzer target for 60 seconds (fuzz/run.sh 60)
# Usage: scripts/test-all.sh [native|asan|wine|i686|install|valgrind|fuzz ...]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
builds=("$@")
[ ${#builds[@]} -gt 0 ] || builds=(native asan wine i686 install valgrind fuzz)

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

# Runs a command under Wine in a private prefix, with one wineserver kept alive
# for it (stopped on every way out): no test process pays Wine's start-up, and
# none starts Wine cold while another is booting the prefix, which fails with
# "Application could not be started" now and then.
with_wine() {
  local prefix=$1 arch=$2; shift 2
  (
    export WINEPREFIX="$prefix" WINEARCH="$arch"
    mkdir -p "$WINEPREFIX"
    trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
    wineserver -p >/dev/null 2>&1 </dev/null
    wineboot -i >/dev/null 2>&1 </dev/null
    "$@"
  )
}

# The 32-bit build under 32-bit Wine, then its install tree and zip package.
i686_stage() {
  run i686 build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
  echo "=== i686: install tree and zip package"
  rm -rf build-i686/install
  cmake --install build-i686 --prefix build-i686/install >/dev/null
  for f in bin/QZUNPACK.dll bin/qzunzip.exe lib/libQZUNPACK.dll.a lib/qzunpack.lib \
           lib/qzunpack.def include/qzunpack.h; do
    [ -f "build-i686/install/$f" ] || { echo "not installed: $f" >&2; exit 1; }
  done
  (cd build-i686 && cpack -G ZIP >/dev/null) && unzip -l build-i686/qzunpack-*-win32.zip | tail -1
}

# Installs the Linux library and qzunzip into build-inst/prefix, checks what a C
# or CMake user expects there, and builds and runs examples/consumer against it
# once through pkg-config and once through find_package.
install_stage() {
  local d=build-inst p=$PWD/build-inst/prefix
  echo "=== install: configure, build and install ($d)"
  rm -rf "$p" "$d/consumer-cmake"
  cmake -S . -B $d -DQZ_TESTS=OFF -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$p" >/dev/null
  cmake --build $d -j"$jobs" >/dev/null
  cmake --install $d >/dev/null
  local lib=$p/lib/libqzunpack.so
  [ "$(readlink "$lib")" = libqzunpack.so.1 ] || { echo "libqzunpack.so is not a link to .so.1" >&2; exit 1; }
  objdump -p "$lib.1" | grep -q 'SONAME *libqzunpack.so.1$' || { echo "SONAME is not libqzunpack.so.1" >&2; exit 1; }
  for f in include/qzunpack.h lib/pkgconfig/qzunpack.pc lib/cmake/qzunpack/qzunpackConfig.cmake \
           bin/qzunzip share/man/man1/qzunzip.1 share/doc/qzunpack/LICENSE; do
    [ -f "$p/$f" ] || { echo "not installed: $f" >&2; exit 1; }
  done
  "$p/bin/qzunzip" -t -q $d/examples/sample.zip
  echo "=== install: consumer through pkg-config"
  cc -std=c99 -Wall -Werror examples/consumer/consumer.c -o $d/consumer-pc \
     $(PKG_CONFIG_PATH="$p/lib/pkgconfig" pkg-config --cflags --libs qzunpack) -Wl,-rpath,"$p/lib"
  $d/consumer-pc
  echo "=== install: consumer through find_package"
  cmake -S examples/consumer -B $d/consumer-cmake -DCMAKE_PREFIX_PATH="$p" >/dev/null
  cmake --build $d/consumer-cmake >/dev/null
  $d/consumer-cmake/consumer
}

for b in "${builds[@]}"; do
  case $b in
    native) run native build ;;
    asan)   run asan build-asan -DQZ_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
              -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ ;;
    wine)   with_wine "$PWD/build-wine/wineprefix" win64 \
              run wine build-wine -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake ;;
    i686)   with_wine "$PWD/build-i686/wineprefix" win32 i686_stage ;;
    install) install_stage ;;
    valgrind) run valgrind build-valgrind -DQZ_VALGRIND=ON ;;
    fuzz)   echo "=== fuzz: every target for 60 s"
            fuzz/run.sh 60 ;;
    *) echo "unknown build: $b" >&2; exit 2 ;;
  esac
done
echo "=== all requested builds passed: ${builds[*]}"
