#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The generated messages converted once into one file and once with a small
# --max-size, so that the run goes on in "split (2).pst" and on: prints each
# file written with its size against the limit, and both runs' times.
#
#   BUILD=build BENCH_DIR=/tmp/verdaline-bench BENCH_MESSAGES=10000 BENCH_SPLIT_SIZE=20M benchmarks/conversion/split.sh
set -u
BUILD="${BUILD:-build}"
BENCH_DIR="${BENCH_DIR:-/tmp/verdaline-bench}"
COUNT="${BENCH_MESSAGES:-10000}"
LIMIT="${BENCH_SPLIT_SIZE:-20M}"
cd "$(dirname "$0")/../.."

cli="$BUILD/verdaline-convert"
[[ -x "$cli" ]] || { echo "split: $cli not built, skipped"; exit 0; }

source benchmarks/conversion/corpus.sh
corpus=$(corpus_of "$COUNT") || exit 1
work="$BENCH_DIR/split-run"
rm -rf "$work" && mkdir -p "$work"
find "$corpus" -name '*.eml' -print0 | xargs -0 cat > /dev/null

# Runs the conversion; prints its wall seconds.
convert() {
  local start end
  start=$(date +%s.%N)
  "$cli" "$@" > "$work/summary.txt" 2> "$work/errors.txt"
  local rc=$?
  end=$(date +%s.%N)
  [[ $rc -eq 0 ]] || { echo "split: the run failed (exit $rc)" >&2; tail -5 "$work/errors.txt" >&2; return 1; }
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f", e - s }'
}

whole=$(convert -q -o "$work/whole.pst" "$corpus") || exit 1
split=$(convert -o "$work/split.pst" --max-size "$LIMIT" "$corpus") || exit 1
limit=$(python3 -c 'import sys; v = sys.argv[1]; u = "KMGT".find(v[-1].upper()); print(int(v) if u < 0 else int(v[:-1]) << (10 * (u + 1)))' "$LIMIT")
echo "$COUNT messages, one file: $(stat -c %s "$work/whole.pst") bytes in $whole s"
echo "--max-size $LIMIT ($limit bytes): $split s"
n=0
while IFS= read -r line; do
  file="${line#*: }"
  n=$((n + 1))
  size=$(stat -c %s "$file")
  awk -v f="$(basename "$file")" -v s="$size" -v l="$limit" \
      'BEGIN { printf "  %-28s %12d bytes  %5.1f%% of the limit%s\n", f, s, s * 100 / l, (s > l ? "  OVER THE LIMIT" : "") }'
  [[ $size -le $limit ]] || status=1
done < <(grep -E '^output( [0-9]+)?: ' "$work/summary.txt")
echo "  $n files"
rm -f "$work"/*.pst
exit "${status:-0}"
