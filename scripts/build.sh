#!/usr/bin/env bash
# Configures and builds one variant: scripts/build.sh [release|asan] [targets...]
#   release  gcc, optimised, with the benchmarks
#   asan     clang with AddressSanitizer and UndefinedBehaviorSanitizer; the
#            same objects also make the libFuzzer programs (scripts/fuzz.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
variant=${1:-release}
shift || true
case "$variant" in
  # Line tables are debug information enough for traces, profiles and the
  # sanitizers' reports, and much quicker to build than full information.
  # Unity batches (a few source files compiled as one) save the work the
  # files of a batch share; with most libraries one or two batches long, a
  # precompiled header would cost more than it saves.
  release) dir=build/release; compiler=()
           flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVRAX_WERROR=ON
                  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
                  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG") ;;
  asan)    dir=build/asan; compiler=(-DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14)
           flags=(-DCMAKE_BUILD_TYPE=Debug -DVRAX_WERROR=ON -DVRAX_SANITIZE=ON -DVRAX_FUZZ=ON -DVRAX_BENCH=OFF
                  -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1) ;;
  *) echo "unknown variant: $variant (release or asan)" >&2; exit 2 ;;
esac
# A folder configured for another compiler starts again.
if [ ${#compiler[@]} -gt 0 ] && [ -f "$dir/CMakeCache.txt" ] &&
    ! grep -q "^CMAKE_CXX_COMPILER:.*clang++-14" "$dir/CMakeCache.txt"; then
  rm -rf "$dir"
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_UNITY_BUILD=ON -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON "${compiler[@]}" "${flags[@]}" >/dev/null
ninja -C "$dir" "$@"
