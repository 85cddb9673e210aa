#!/usr/bin/env bash
# Builds a libFuzzer target with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs it for the given number of seconds (default 60): fuzz_compile (the
# whole compile, the default) or fuzz_playback (reading KRB files, the driver
# model and the FM chip).
#
#   fuzz/run.sh [seconds] [workers] [fuzz_compile|fuzz_playback]
#
# A source may legitimately produce up to 2 GiB of events, which takes some
# seconds under the sanitizers: hence the generous time and memory limits.
# New inputs are kept in build-fuzz/corpus-TARGET (the seeds in fuzz/ stay as
# they are); crashes are written to build-fuzz/artifacts.  Installs clang and
# its fuzzer runtime from Debian's packages when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)  # the target changes its directory: every path it gets is absolute
seconds=${1:-60}
workers=${2:-1}
target=${3:-fuzz_compile}
case "$target" in
  fuzz_compile) seeds=fuzz/seeds; binary=build-fuzz/fuzz_compile; extra=(-dict="$root/fuzz/mml.dict") ;;
  fuzz_playback) seeds=fuzz/seeds_playback; binary=build-fuzz/fuzz_playback; extra=() ;;
  *) echo "fuzz/run.sh: no fuzz target $target" >&2; exit 2 ;;
esac

if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "== installing clang and its fuzzer runtime"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
fi

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTALLOW_SANITIZE=ON -DTALLOW_FUZZ=ON -DTALLOW_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "$target" >/dev/null

corpus=build-fuzz/corpus-$target
mkdir -p "$corpus" build-fuzz/artifacts
echo "== fuzzing for ${seconds}s with ${workers} worker(s)"
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$root/$binary" "$root/$corpus" "$root/$seeds" \
  "${extra[@]}" -max_total_time="$seconds" -max_len=16384 -timeout=30 -rss_limit_mb=6144 \
  -fork="$workers" -artifact_prefix="$root/build-fuzz/artifacts/" -print_final_stats=1
