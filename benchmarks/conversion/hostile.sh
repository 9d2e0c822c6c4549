#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Hostile messages through the headless conversion: the peak memory of 40
# messages of 1.2 MB with 60,000 To: addresses each (target < 300 MB), and
# the time of one message whose Content-Type has 100,000 parameters
# (target < 1 s for the whole run).
#
#   BUILD=build BENCH_DIR=/tmp/verdaline-bench benchmarks/conversion/hostile.sh
set -u
BUILD="${BUILD:-build}"
BENCH_DIR="${BENCH_DIR:-/tmp/verdaline-bench}"
cd "$(dirname "$0")/../.."
headless="$BUILD/verdaline-headless"
[[ -x "$headless" ]] || { echo "hostile: $headless not built, skipped"; exit 0; }
[[ -x /usr/bin/time ]] || { echo "hostile: /usr/bin/time missing, skipped"; exit 0; }

dir="$BENCH_DIR/hostile"
if [[ ! -f "$dir/.complete" ]]; then
  rm -rf "$dir"
  python3 - "$dir" <<'PY' || exit 1
import os, sys
root = sys.argv[1]
head = 'From: Ann <ann@example.org>\r\nDate: Sun, 06 Dec 2026 07:05:03 +0000\r\n'
os.makedirs(os.path.join(root, 'addresses'))
to = ', '.join('u%d@example.org' % i for i in range(60000))
for k in range(40):
    with open(os.path.join(root, 'addresses', 'a%02d.eml' % k), 'w', newline='') as f:
        f.write(head + 'To: ' + to + '\r\nSubject: addresses %d\r\n\r\nHello\r\n' % k)
os.makedirs(os.path.join(root, 'parameters'))
with open(os.path.join(root, 'parameters', 'p.eml'), 'w', newline='') as f:
    f.write(head + 'Subject: parameters\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii' +
            ''.join('; p%d=v' % i for i in range(100000)) + '\r\n\r\nHello\r\n')
PY
  touch "$dir/.complete"
fi

status=0
one() {  # name, folder: prints wall s, cpu s, peak RSS MB
  local out="$BENCH_DIR/hostile-run"
  rm -rf "$out" && mkdir -p "$out"
  /usr/bin/time -f '%e %U %S %M' -o "$out.time" "$headless" --add-folder "$2" --convert-to "$out" > "$out.txt" 2> "$out.err" || {
    echo "hostile: the $1 run failed"; tail -3 "$out.txt"; status=1; return; }
  grep -q 'were converted' "$out.txt" && { echo "hostile: $1: SOME FILES NOT CONVERTED"; status=1; }
  awk -v n="$1" '{printf "%-44s %6.2f s wall %6.2f s cpu  peak RSS %.1f MB\n", n, $1, $2 + $3, $4 / 1024}' "$out.time"
  rm -rf "$out"
}
one "40 x 60,000 To: addresses (target < 300 MB)" "$dir/addresses"
one "100,000 Content-Type parameters (target < 1 s)" "$dir/parameters"
exit $status
