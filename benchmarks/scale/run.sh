#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# How the command line scales: small messages (1-3 KB, 1,000 to a folder)
# converted 100,000 at a time (and 1,000,000 with VERDALINE_BENCH_MILLION=1:
# minutes, about 4 GB of mail and 7 GB of .pst), then one message with a
# 1 GB attachment (VERDALINE_BENCH_ATTACHMENT_MB to change its size; 0 to
# skip). Prints for each run the wall time, the time per message and the
# peak memory (/usr/bin/time -v), each the median of BENCH_SCALE_ROUNDS
# runs (3; 1 for the attachment), and how the time per message at the
# largest count compares with that at 100,000. Each corpus is read once
# before it is timed, so that every run reads its mail from memory (as the
# conversion benchmark does) and what is compared is the conversion's own
# work, not how much of a corpus the page cache happened to keep. Generated
# mail stays in BENCH_DIR for the next run; every .pst is removed.
#
#   BUILD=build BENCH_DIR=/tmp/verdaline-bench benchmarks/scale/run.sh
set -u
BUILD="${BUILD:-build}"
BENCH_DIR="${BENCH_DIR:-/tmp/verdaline-bench}"
ATTACHMENT_MB="${VERDALINE_BENCH_ATTACHMENT_MB:-1024}"
cd "$(dirname "$0")/../.."

cli="$BUILD/verdaline-convert"
[[ -x "$cli" ]] || { echo "scale: $cli not built, skipped"; exit 0; }
[[ -x /usr/bin/time ]] || { echo "scale: /usr/bin/time missing, skipped"; exit 0; }
work="$BENCH_DIR/scale-run"
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
status=0

rounds="${BENCH_SCALE_ROUNDS:-3}"

# Runs the command line on $2 (label $1, $3 messages) $4 times: one line of
# figures, the median run's; its microseconds per message in $work/us.
measure() {
  local label=$1 src=$2 count=$3 times=$4
  find "$src" -type f -print0 | xargs -0 cat > /dev/null
  : > "$work/runs"
  for r in $(seq 1 "$times"); do
    /usr/bin/time -v -o "$work/time" "$cli" -q -d "$work" "$src" > "$work/out" 2>&1
    local rc=$?
    rm -f "$work"/*.pst
    if [[ $rc -ne 0 ]]; then
      echo "scale: $label: exit $rc"; tail -5 "$work/out"; status=1; return
    fi
    awk -F': ' '
      /Elapsed \(wall clock\)/ { n = split($2, t, ":"); w = 0; for (i = 1; i <= n; i++) w = w * 60 + t[i] }
      /Maximum resident set size/ { m = $2 }
      END { print w, m }' "$work/time" >> "$work/runs"
  done
  sort -n "$work/runs" | awk -v label="$label" -v count="$count" -v n="$times" -v us="$work/us" '
    { w[NR] = $1; m[NR] = $2 }
    END {
      k = int((NR + 1) / 2)
      printf "%s: %.1f s, %.1f us/message, peak %.0f MB (median of %d)\n", label, w[k], w[k] * 1e6 / count, m[k] / 1024, n
      printf "%.3f\n", w[k] * 1e6 / count > us
    }'
}

counts=(100000)
[[ "${VERDALINE_BENCH_MILLION:-0}" == 1 ]] && counts+=(1000000)
for count in "${counts[@]}"; do
  corpus="$BENCH_DIR/small-$count"
  python3 benchmarks/scale/gen_small.py "$corpus" "$count" || exit 1
  measure "$count small messages" "$corpus" "$count" "$rounds"
  [[ -f "$work/us" ]] && mv "$work/us" "$work/us-$count"
done
if [[ -f "$work/us-100000" && -f "$work/us-1000000" ]]; then
  awk -v a="$(cat "$work/us-100000")" -v b="$(cat "$work/us-1000000")" \
    'BEGIN { printf "time per message, 1,000,000 / 100,000: %.2f (target <= 1.10)\n", b / a }'
fi

if (( ATTACHMENT_MB > 0 )); then
  big="$BENCH_DIR/attachment-${ATTACHMENT_MB}MB.eml"
  [[ -f "$big" ]] || python3 benchmarks/scale/gen_attachment.py "$big" $((ATTACHMENT_MB << 20)) || exit 1
  measure "one message with a ${ATTACHMENT_MB} MB attachment" "$big" 1 1
fi
exit $status
