#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh          warnings as errors, build folder build/
#   scripts/test.sh asan     AddressSanitizer + UndefinedBehaviorSanitizer, build folder build-asan/
#   scripts/test.sh locale   the build/ suite once more under fr_FR.UTF-8 (comma decimals), as
#                            the desktop program sets the user's locale
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
  locale)
    dir=build
    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTOFOLD_WERROR=ON)
    export LC_ALL=fr_FR.UTF-8 LANG=fr_FR.UTF-8
    ;;
  asan)
    dir=build-asan
    flags=(-DCMAKE_BUILD_TYPE=Debug -DPICTOFOLD_WERROR=ON -DPICTOFOLD_SANITIZE=ON -DPICTOFOLD_UI=OFF
           -DPICTOFOLD_BENCH=OFF)
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ;;
  *)
    echo "usage: scripts/test.sh [release|asan|locale]" >&2
    exit 2
    ;;
esac

cmake -S . -B "$dir" "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$jobs"
ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
