#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# How the command line scales: small messages (1-3 KB, 1,000 to a folder)
# converted 100,000 at a time (and 1,000,000 with VERDALINE_BENCH_MILLION=1:
# minutes, about 4 GB of mail and 7 GB of .pst), then one message with a
# 1 GB attachment (VERDALINE_BENCH_ATTACHMENT_MB to change its size; 0 to
# skip). Prints for each run the wall time, the time per message and the
# peak memory (/usr/bin/time -v). Generated mail stays in BENCH_DIR for the
# next run; every .pst is removed.
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

# Runs the command line on $2 (label $1, $3 messages): one line of figures.
measure() {
  local label=$1 src=$2 count=$3
  /usr/bin/time -v -o "$work/time" "$cli" -q -d "$work" "$src" > "$work/out" 2>&1
  local rc=$?
  rm -f "$work"/*.pst
  if [[ $rc -ne 0 ]]; then
    echo "scale: $label: exit $rc"; tail -5 "$work/out"; status=1; return
  fi
  awk -F': ' -v label="$label" -v count="$count" '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); w = 0; for (i = 1; i <= n; i++) w = w * 60 + t[i] }
    /Maximum resident set size/ { m = $2 }
    END { printf "%s: %.1f s, %.1f us/message, peak %.0f MB\n", label, w, w * 1e6 / count, m / 1024 }' "$work/time"
}

counts=(100000)
[[ "${VERDALINE_BENCH_MILLION:-0}" == 1 ]] && counts+=(1000000)
for count in "${counts[@]}"; do
  corpus="$BENCH_DIR/small-$count"
  python3 benchmarks/scale/gen_small.py "$corpus" "$count" || exit 1
  measure "$count small messages" "$corpus" "$count"
done

if (( ATTACHMENT_MB > 0 )); then
  big="$BENCH_DIR/attachment-${ATTACHMENT_MB}MB.eml"
  [[ -f "$big" ]] || python3 benchmarks/scale/gen_attachment.py "$big" $((ATTACHMENT_MB << 20)) || exit 1
  measure "one message with a ${ATTACHMENT_MB} MB attachment" "$big" 1
fi
exit $status
