#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# How a conversion scales: small messages (1-3 KB, 1,000 to a folder)
# converted 100,000 at a time (and 1,000,000 with VERDALINE_BENCH_MILLION=1:
# minutes, about 4 GB of mail and 7 GB of .pst), by the command line and by
# the window (verdaline-headless, whose list holds every path), then one
# message with a 1 GB attachment (VERDALINE_BENCH_ATTACHMENT_MB to change
# its size; 0 to skip). Each run is repeated VERDALINE_BENCH_RUNS times
# (3 unless set) and the median wall time, time per message and peak memory
# (/usr/bin/time -v) are printed. BASELINE_BUILD names another build
# folder (an older commit's) whose programs run in turn with this build's,
# so that before and after are measured side by side on the same machine.
# Generated mail stays in BENCH_DIR for the next run; every .pst is removed.
#
#   BUILD=build BENCH_DIR=/tmp/verdaline-bench benchmarks/scale/run.sh
set -u
BUILD="${BUILD:-build}"
BENCH_DIR="${BENCH_DIR:-/tmp/verdaline-bench}"
ATTACHMENT_MB="${VERDALINE_BENCH_ATTACHMENT_MB:-1024}"
RUNS="${VERDALINE_BENCH_RUNS:-3}"
BASELINE="${BASELINE_BUILD:-}"
cd "$(dirname "$0")/../.."

[[ -x "$BUILD/verdaline-convert" ]] || { echo "scale: $BUILD/verdaline-convert not built, skipped"; exit 0; }
[[ -x /usr/bin/time ]] || { echo "scale: /usr/bin/time missing, skipped"; exit 0; }
work="$BENCH_DIR/scale-run"
rm -rf "$work" && mkdir -p "$work/out"
trap 'rm -rf "$work"' EXIT
status=0

builds=("$BUILD")
[[ -n "$BASELINE" ]] && builds=("$BASELINE" "$BUILD")

# One run of program $2 of build $1 on $3: "wall_seconds peak_kb" on stdout.
one_run() {
  local build=$1 program=$2 src=$3 rc
  if [[ $program == cli ]]; then
    /usr/bin/time -v -o "$work/time" "$build/verdaline-convert" -q -d "$work/out" "$src" > "$work/log" 2>&1
  else
    local flag=--add-folder
    [[ -f $src ]] && flag=--add-files
    /usr/bin/time -v -o "$work/time" "$build/verdaline-headless" "$flag" "$src" --convert-to "$work/out" > "$work/log" 2>&1
  fi
  rc=$?
  rm -rf "$work/out" && mkdir -p "$work/out"
  if [[ $rc -ne 0 ]]; then
    echo "scale: $build $program on $src: exit $rc" >&2; tail -5 "$work/log" >&2; return 1
  fi
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); w = 0; for (i = 1; i <= n; i++) w = w * 60 + t[i] }
    /Maximum resident set size/ { m = $2 }
    END { print w, m }' "$work/time"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# Runs $RUNS rounds over every build in turn; one line of medians per build.
measure() {
  local label=$1 program=$2 src=$3 count=$4 round build figures
  [[ $program == window && ! -x "$BUILD/verdaline-headless" ]] && { echo "$label: verdaline-headless not built, skipped"; return; }
  declare -A walls peaks
  for ((round = 0; round < RUNS; round++)); do
    for build in "${builds[@]}"; do
      figures=$(one_run "$build" "$program" "$src") || { status=1; return; }
      walls[$build]+="${figures% *} "
      peaks[$build]+="${figures#* } "
    done
  done
  local i=0
  for build in "${builds[@]}"; do
    local w m
    w=$(tr ' ' '\n' <<<"${walls[$build]}" | grep . | median)
    m=$(tr ' ' '\n' <<<"${peaks[$build]}" | grep . | median)
    awk -v l="$label" -v b="$build" -v w="$w" -v m="$m" -v c="$count" -v r="$RUNS" \
      'BEGIN { printf "%s [%s]: %.1f s, %.1f us/message, peak %.0f MB (median of %d)\n", l, b, w, w * 1e6 / c, m / 1024, r }'
    awk -v w="$w" -v c="$count" 'BEGIN { printf "%.3f\n", w * 1e6 / c }' > "$work/us-$program-$count-$i"
    i=$((i + 1))
  done
}

counts=(100000)
[[ "${VERDALINE_BENCH_MILLION:-0}" == 1 ]] && counts+=(1000000)
for count in "${counts[@]}"; do
  corpus="$BENCH_DIR/small-$count"
  python3 benchmarks/scale/gen_small.py "$corpus" "$count" || exit 1
  find "$corpus" -type f -print0 | xargs -0 cat > /dev/null
  measure "$count small messages, verdaline-convert" cli "$corpus" "$count"
  measure "$count small messages, the window" window "$corpus" "$count"
done
# Time per message should not grow with the mailbox.
for program in cli window; do
  for ((i = 0; i < ${#builds[@]}; i++)); do
    [[ -f "$work/us-$program-100000-$i" && -f "$work/us-$program-1000000-$i" ]] || continue
    awk -v p="$program" -v b="${builds[$i]}" -v a="$(cat "$work/us-$program-100000-$i")" \
      -v z="$(cat "$work/us-$program-1000000-$i")" \
      'BEGIN { printf "time per message, 1,000,000 / 100,000, %s [%s]: %.2f (target <= 1.10)\n", p, b, z / a }'
  done
done

if (( ATTACHMENT_MB > 0 )); then
  big="$BENCH_DIR/attachment-${ATTACHMENT_MB}MB.eml"
  [[ -f "$big" ]] || python3 benchmarks/scale/gen_attachment.py "$big" $((ATTACHMENT_MB << 20)) || exit 1
  measure "one message with a ${ATTACHMENT_MB} MB attachment, verdaline-convert" cli "$big" 1
fi
exit $status
