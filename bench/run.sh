#!/usr/bin/env bash
# Builds a release and measures it: the throughput of whole compiles of
# generated scores of 5, 10, 20 and 40 MB (time per MB shows whether every
# stage stays linear), adversarial scores, a typical 10 KB song with process
# start included, `cat` of the same file as the floor, the speed of
# rendering (krb2wav and the FM engine), and the micro benchmarks.
#
#   bench/run.sh [runs] [before]   (scores are written to build-bench/scores)
#
# It ends with a before/after table: the same scores compiled by the
# executable of the revision `before` (by default the one named in
# bench/BASELINE) and by this tree's, interleaved, and the instructions
# both spend (callgrind, when valgrind is installed) on the realistic and the
# loop score of 2 MB.  The before build lives in a worktree under
# build-bench/before; the tables are left out outside a git checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
before=${2:-$(cat bench/BASELINE)}
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTALLOW_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" >/dev/null
bin=build-bench
scores=$bin/scores
mkdir -p "$scores"

echo "== whole compiles (median of $runs runs; peak resident set of the process)"
for mb in 5 10 20 40; do
  [ -f "$scores/score$mb.mml" ] || "$bin/score_gen" "$mb" "$scores/score$mb.mml"
  (cd "$scores" && "../tallow_bench" "score$mb.mml" "$runs")
done
echo "== CR LF line ends and adversarial scores"
for flavour in crlf commands loops macros; do
  for mb in 5 40; do
    f="$flavour$mb.mml"
    [ -f "$scores/$f" ] || "$bin/score_gen" "$mb" "$scores/$f" --flavour "$flavour"
    (cd "$scores" && "../tallow_bench" "$f" "$runs")
  done
done

echo "== cat of the 20 MB score (the floor)"
start=$(date +%s%N); cat "$scores/score20.mml" >/dev/null; end=$(date +%s%N)
awk -v ns=$((end - start)) 'BEGIN { printf "cat: %.4f s, %.0f MB/s\n", ns / 1e9, 20 / (ns / 1e9) }'

echo "== a typical 10 KB song, process start included"
[ -f "$scores/song10k.mml" ] || "$bin/score_gen" 0.0098 "$scores/song10k.mml"
(cd "$scores" && ../tallow_bench --spawn ../tallowc song10k.mml 200)
echo "== process start alone (the floor): /bin/true"
(cd "$scores" && ../tallow_bench --spawn /bin/true song10k.mml 200)

if [ -x "$bin/render_bench" ]; then
  echo "== rendering: krb2wav on a two-minute song of fifteen parts, and the FM engine"
  "$bin/render_bench"
  "$bin/fmchip_bench"
fi

if [ -x "$bin/micro_bench" ]; then
  echo "== micro benchmarks"
  "$bin/micro_bench" --benchmark_min_time=0.2
fi

echo "== before ($before) and after (this tree), process start included, median of $runs runs"
if git rev-parse --verify -q "$before^{commit}" >/dev/null; then
  old=$bin/before
  if [ "$(git -C "$old" rev-parse HEAD 2>/dev/null)" != "$(git rev-parse "$before^{commit}")" ]; then
    rm -rf "$old"
    git worktree prune
    git worktree add -q --detach "$old" "$before"
  fi
  cmake -S "$old" -B "$old/build" -DCMAKE_BUILD_TYPE=Release -DTALLOW_TESTS=OFF >/dev/null
  cmake --build "$old/build" -j "$(nproc)" --target tallowc >/dev/null
  for flavour in loops crlf; do
    [ -f "$scores/${flavour}20.mml" ] || "$bin/score_gen" 20 "$scores/${flavour}20.mml" --flavour "$flavour"
  done
  (cd "$scores" && "../tallow_bench" --compare "$PWD/../before/build/tallowc" "$PWD/../tallowc" "$runs" \
    score5.mml score20.mml crlf20.mml loops20.mml song10k.mml)
  if command -v valgrind >/dev/null; then
    echo "== instructions (callgrind, repeatable to the instruction), before and after"
    [ -f "$scores/score2.mml" ] || "$bin/score_gen" 2 "$scores/score2.mml"
    [ -f "$scores/loops2.mml" ] || "$bin/score_gen" 2 "$scores/loops2.mml" --flavour loops
    instructions() {
      (cd "$scores" && valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        awk '/Collected/ { print $NF }')
    }
    echo "| Score | before | after | after / before | before per byte | after per byte |"
    echo "|-------|--------|-------|----------------|-----------------|----------------|"
    for score in score2 loops2; do
      b=$(instructions "$PWD/$old/build/tallowc" "$score.mml")
      a=$(instructions "$PWD/$bin/tallowc" "$score.mml")
      # The realistic score per source byte, the loop score per byte of KRB.
      if [ "$score" = score2 ]; then unit=$(wc -c <"$scores/$score.mml"); what="source"; else
        unit=$(wc -c <"$scores/LOOPS2.KRB"); what="KRB"; fi
      awk -v s="$score" -v b="$b" -v a="$a" -v u="$unit" -v w="$what" 'BEGIN {
        printf "| %s | %.1f M | %.1f M | %.3f | %.1f a %s byte | %.1f a %s byte |\n",
          s, b / 1e6, a / 1e6, a / b, b / u, w, a / u, w }'
    done
  fi
else
  echo "(no git revision $before here: no table)"
fi
