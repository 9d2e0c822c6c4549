#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The conversion benchmark: headless conversions of a generated corpus
# alternating with GMime alone parsing and decoding the same files (median
# of BENCH_RATIO_ROUNDS, 3, each), beside the same files concatenated with
# cat and the produced .pst exported back to .eml files by readpst; then the
# command line and the window side by side on it.
#
#   BUILD=build BENCH_DIR=/tmp/verdaline-bench BENCH_MESSAGES=10000 benchmarks/conversion/run.sh
#
# BENCH_LARGE_MESSAGES=100000 adds one more conversion of a corpus that
# large (about 5 GB of messages, and as much again for the .pst), for its
# peak memory: memory use must stay flat as the number of messages grows.
set -u
BUILD="${BUILD:-build}"
BENCH_DIR="${BENCH_DIR:-/tmp/verdaline-bench}"
COUNT="${BENCH_MESSAGES:-10000}"
cd "$(dirname "$0")/../.."

headless="$BUILD/verdaline-headless"
parse="$BUILD/bench-gmime-parse"
for exe in "$headless" "$parse"; do
  [[ -x "$exe" ]] || { echo "conversion: $exe not built, skipped"; exit 0; }
done
command -v readpst >/dev/null || { echo "conversion: readpst missing, skipped"; exit 0; }
[[ -x /usr/bin/time ]] || { echo "conversion: /usr/bin/time missing, skipped"; exit 0; }

source benchmarks/conversion/corpus.sh
corpus=$(corpus_of "$COUNT") || exit 1
bytes=$(find "$corpus" -name '*.eml' -printf '%s\n' | awk '{s+=$1} END {print s}')
files=$(find "$corpus" -name '*.eml' | wc -l)
work="$BENCH_DIR/run"
rm -rf "$work" && mkdir -p "$work/out" "$work/export"

# Each contestant under /usr/bin/time: wall seconds, then user + system CPU
# seconds (the CPU figure is the fairer one on a busy machine).
timed() {
  local out="$1"; shift
  /usr/bin/time -f '%e %U %S %M' -o "$out" "$@"
}
wall() { awk '{print $1}' "$1"; }
cpu() { awk '{print $2 + $3}' "$1"; }

# Warm the page cache so that every contestant reads from memory.
find "$corpus" -name '*.eml' -print0 | xargs -0 cat > /dev/null

timed "$work/cat.time" sh -c "find '$corpus' -name '*.eml' -print0 | xargs -0 cat > '$work/all.txt'"
rm -f "$work/all.txt"

# GMime alone and the conversion alternate (parse, convert, parse, ...), each
# run into a fresh folder, so that neither always meets a cooler cache or a
# quieter machine; the ratio is taken between the median runs of each side.
ratio_rounds="${BENCH_RATIO_ROUNDS:-3}"
for r in $(seq 1 "$ratio_rounds"); do
  timed "$work/parse.$r.time" "$parse" "$corpus" > "$work/parse.txt"
  rm -rf "$work/out" && mkdir -p "$work/out"
  timed "$work/convert.$r.time" "$headless" --add-folder "$corpus" --convert-to "$work/out" > "$work/headless.txt"
  status=$?
  pst=$(sed -n 's/^pst: //p' "$work/headless.txt")
  if [[ $status -ne 0 || -z "$pst" ]]; then
    echo "conversion: the headless run failed (exit $status)"; tail -5 "$work/headless.txt"; exit 1
  fi
done
# The median of each figure (wall, user, system, RSS) on its own.
median_of() {
  local field=$1; shift
  awk -v f="$field" '{ print (f == "cpu" ? $2 + $3 : $f) }' "$@" | sort -n | awk '{ a[NR] = $0 } END { print a[int((NR + 1) / 2)] }'
}
rss_kb=$(median_of 4 "$work"/convert.*.time)
notconv=$(grep -c '^msgbox: .*were converted' "$work/headless.txt")

# -j 0: readpst's default parallel mode occasionally loses messages from its
# output, which would make the exported count unreliable.
timed "$work/export.time" readpst -j 0 -q -e -o "$work/export" "$pst"
exported=$(find "$work/export" -type f -name '*.eml' | wc -l)

awk -v f="$files" -v b="$bytes" -v r="$rss_kb" -v x="$exported" -v pst="$(stat -c %s "$pst")" \
    -v cw="$(median_of 1 "$work"/convert.*.time)" -v cc="$(median_of cpu "$work"/convert.*.time)" \
    -v tw="$(wall "$work/cat.time")" -v tc="$(cpu "$work/cat.time")" \
    -v pw="$(median_of 1 "$work"/parse.*.time)" -v pc="$(median_of cpu "$work"/parse.*.time)" \
    -v rounds="$ratio_rounds" \
    -v ew="$(wall "$work/export.time")" -v ec="$(cpu "$work/export.time")" -v nc="$notconv" 'BEGIN {
  mb = b / 1048576
  printf "corpus: %d files, %.1f MB; pst %.1f MB; readpst exported %d messages%s\n", f, mb, pst / 1048576, x,
         (nc > 0 ? "; SOME FILES NOT CONVERTED (see headless.txt)" : "")
  printf "                        wall s    cpu s   (conversion and GMime: median of %d alternating runs each)\n", rounds
  printf "conversion (headless): %7.2f  %7.2f   %.0f messages/s  %.1f MB/s (wall)  peak RSS %.1f MB\n", cw, cc, f / cw, mb / cw, r / 1024
  printf "cat into one file:     %7.2f  %7.2f\n", tw, tc
  printf "GMime parse + decode:  %7.2f  %7.2f\n", pw, pc
  printf "readpst export:        %7.2f  %7.2f\n", ew, ec
  printf "conversion / export:   %5.2f wall  %5.2f cpu  (target <= 0.5)\n", cw / ew, cc / ec
  printf "conversion / parse:    %5.2f wall  %5.2f cpu  (target <= 1.0)\n", cw / pw, cc / pc
}'

# The command line beside the window on the same corpus: the two alternate
# (window, command line, window, ...), each into a fresh folder of the same
# file system, so that neither always runs on a cooler cache or a quieter
# machine; each side's median run counts.
cli="$BUILD/verdaline-convert"
if [[ -x "$cli" ]]; then
  rounds="${BENCH_CLI_ROUNDS:-5}"
  for r in $(seq 1 "$rounds"); do
    for side in window cli; do
      rm -rf "$work/out-$side" && mkdir -p "$work/out-$side"
      if [[ $side == window ]]; then
        timed "$work/$side.$r.time" "$headless" --add-folder "$corpus" --convert-to "$work/out-$side" > "$work/$side.txt"
      else
        timed "$work/$side.$r.time" "$cli" -q -d "$work/out-$side" "$corpus" > "$work/$side.txt" 2>&1
      fi
      rc=$?
      [[ $rc -eq 0 ]] || { echo "conversion: the $side run failed (exit $rc)"; tail -5 "$work/$side.txt"; exit 1; }
    done
  done
  rm -rf "$work/out-window" "$work/out-cli"
  # The median run of each side (wall, user, system, RSS), and its best wall time.
  median() { cat "$work"/$1.*.time | sort -n | awk '{ a[NR] = $0 } END { print a[int((NR + 1) / 2)] }'; }
  best() { cat "$work"/$1.*.time | sort -n | head -1 | awk '{ print $1 }'; }
  awk -v w="$(median window)" -v c="$(median cli)" -v wb="$(best window)" -v cb="$(best cli)" \
      -v f="$files" -v n="$rounds" 'BEGIN {
    split(w, W, " "); split(c, C, " ")
    printf "window vs command line, median of %d alternating runs each (best wall in brackets):\n", n
    printf "  window (verdaline-headless):      %6.2f s wall (%5.2f)  %6.2f s cpu  %.0f messages/s  peak RSS %.1f MB\n", W[1], wb, W[2] + W[3], f / W[1], W[4] / 1024
    printf "  command line (verdaline-convert): %6.2f s wall (%5.2f)  %6.2f s cpu  %.0f messages/s  peak RSS %.1f MB\n", C[1], cb, C[2] + C[3], f / C[1], C[4] / 1024
    printf "  command line / window:            %5.2f wall  %5.2f cpu  (target <= 1.0)\n", C[1] / W[1], (C[2] + C[3]) / (W[2] + W[3])
  }'
else
  echo "conversion: $cli not built, the command line not compared"
fi

large="${BENCH_LARGE_MESSAGES:-}"
if [[ -n "$large" ]]; then
  big=$(corpus_of "$large") || exit 1
  rm -rf "$work/out"
  mkdir -p "$work/out"
  timed "$work/large.time" "$headless" --add-folder "$big" --convert-to "$work/out" > "$work/large.txt"
  status=$?
  bigpst=$(sed -n 's/^pst: //p' "$work/large.txt")
  [[ $status -eq 0 && -n "$bigpst" ]] || { echo "conversion of $large messages failed (exit $status)"; exit 1; }
  awk -v n="$large" -v w="$(wall "$work/large.time")" -v r="$(awk '{print $4}' "$work/large.time")" \
      -v nc="$(grep -c '^msgbox: .*were converted' "$work/large.txt")" 'BEGIN {
    printf "conversion of %d messages: %.1f s wall, %.0f messages/s, peak RSS %.1f MB (target < 200)%s\n",
           n, w, n / w, r / 1024, (nc > 0 ? "; SOME FILES NOT CONVERTED" : "")
  }'
  rm -rf "$work/out"
fi
