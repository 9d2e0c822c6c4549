#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The same generated messages converted by verdaline-convert once as .eml
# files and once as one mbox, side by side: the two alternate (eml, mbox,
# eml, ...) so that neither always runs on a cooler cache or a quieter
# machine. Prints each side's time per message (median run), the ratio, and
# the peak memory of the mbox run, which must not grow with the file.
#
#   BUILD=build BENCH_DIR=/tmp/verdaline-bench BENCH_MESSAGES=10000 benchmarks/conversion/mbox.sh
set -u
BUILD="${BUILD:-build}"
BENCH_DIR="${BENCH_DIR:-/tmp/verdaline-bench}"
COUNT="${BENCH_MESSAGES:-10000}"
ROUNDS="${BENCH_MBOX_ROUNDS:-3}"
cd "$(dirname "$0")/../.."

cli="$BUILD/verdaline-convert"
[[ -x "$cli" ]] || { echo "mbox: $cli not built, skipped"; exit 0; }
[[ -x /usr/bin/time ]] || { echo "mbox: /usr/bin/time missing, skipped"; exit 0; }

source benchmarks/conversion/corpus.sh
corpus=$(corpus_of "$COUNT") || exit 1
mbox="$BENCH_DIR/corpus-$COUNT.mbox"
if [[ ! -f "$mbox" || "$corpus/.complete" -nt "$mbox" ]]; then
  find "$corpus" -name '*.eml' | sort > "$BENCH_DIR/corpus-$COUNT.list"
  python3 benchmarks/conversion/to_mbox.py "$BENCH_DIR/corpus-$COUNT.list" "$mbox.part" && mv "$mbox.part" "$mbox" || exit 1
fi
files=$(find "$corpus" -name '*.eml' | wc -l)
work="$BENCH_DIR/mbox-run"
rm -rf "$work" && mkdir -p "$work"
cat "$mbox" > /dev/null
find "$corpus" -name '*.eml' -print0 | xargs -0 cat > /dev/null

# /usr/bin/time -v: wall seconds, CPU seconds and peak RSS (KB) as one line.
timed() {
  local out="$1"; shift
  /usr/bin/time -v -o "$out.v" "$@"
  local rc=$?
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); w = 0; for (i = 1; i <= n; i++) w = w * 60 + t[i] }
    /User time/ { u = $2 } /System time/ { s = $2 } /Maximum resident set size/ { m = $2 }
    END { print w, u + s, m }' "$out.v" > "$out"
  return $rc
}

for r in $(seq 1 "$ROUNDS"); do
  for side in eml mbox; do
    rm -f "$work/$side.pst"
    src="$corpus"; [[ $side == mbox ]] && src="$mbox"
    timed "$work/$side.$r.time" "$cli" -q -o "$work/$side.pst" --report "$work/$side.json" "$src" > "$work/$side.txt" 2>&1
    rc=$?
    [[ $rc -eq 0 ]] || { echo "mbox: the $side run failed (exit $rc)"; tail -5 "$work/$side.txt"; exit 1; }
  done
done
stored() { python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(d["stored"] + d["storedWithWarnings"])' "$1"; }
median() { cat "$work"/$1.*.time | sort -n | awk '{ a[NR] = $0 } END { print a[int((NR + 1) / 2)] }'; }
awk -v e="$(median eml)" -v m="$(median mbox)" -v f="$files" -v n="$ROUNDS" \
    -v se="$(stored "$work/eml.json")" -v sm="$(stored "$work/mbox.json")" \
    -v mb="$(stat -c %s "$mbox")" 'BEGIN {
  split(e, E, " "); split(m, M, " ")
  printf ".eml files vs one mbox (%d messages, %.1f MB mbox), median of %d alternating runs each:\n", f, mb / 1048576, n
  printf "  .eml files: %7.2f s wall  %7.3f ms/message  %6.2f s cpu  peak RSS %.1f MB  (%d stored)\n", E[1], E[1] * 1000 / f, E[2], E[3] / 1024, se
  printf "  one mbox:   %7.2f s wall  %7.3f ms/message  %6.2f s cpu  peak RSS %.1f MB  (%d stored)\n", M[1], M[1] * 1000 / f, M[2], M[3] / 1024, sm
  printf "  mbox / eml: %5.2f wall  %5.2f cpu\n", M[1] / E[1], (E[2] > 0 ? M[2] / E[2] : 0)
}'
rm -f "$work"/*.pst
