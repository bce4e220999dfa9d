#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh          warnings as errors, build folder build/
#   scripts/test.sh asan     AddressSanitizer + UndefinedBehaviorSanitizer, build folder build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

kind=${1:-release}
jobs=$(nproc 2>/dev/null || echo 2)
case "$kind" in
  release)
    dir=build
    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTOFOLD_WERROR=ON)
    ;;
  asan)
    dir=build-asan
    flags=(-DCMAKE_BUILD_TYPE=Debug -DPICTOFOLD_WERROR=ON -DPICTOFOLD_SANITIZE=ON -DPICTOFOLD_UI=OFF
           -DPICTOFOLD_BENCH=OFF)
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ;;
  *)
    echo "usage: scripts/test.sh [release|asan]" >&2
    exit 2
    ;;
esac

cmake -S . -B "$dir" "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$jobs"
ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
