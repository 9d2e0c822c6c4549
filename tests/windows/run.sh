#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows eml2pst.exe under wine, against the Linux build of the same
# sources: usage tests/windows/run.sh WINDOWS_BUILD LINUX_BUILD (make
# windows-test). Checks that
#  - the .exe turns the regression messages into the same bytes as Linux
#    does with the clock fixed (paths, time zone, line endings and locale
#    must not leak into the file), and the checker, pffexport and readpst
#    read every message of it;
#  - names reach Windows as UTF-16 and long paths are not cut: messages in
#    folders named with non-ASCII letters, deeper than MAX_PATH, written to
#    a .pst there, give the folders their names (and the same bytes as on
#    Linux). wine itself has no MAX_PATH limit, so the \\?\ prefix that
#    Windows needs for such paths is not proven here;
#  - an existing file is never replaced;
#  - a message file past 64 MiB, which the importer does not read whole but
#    hands to GMime's file stream over the descriptor of a Windows handle,
#    gives Linux's bytes too.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
win=$(realpath "${1:-build-windows}")
linux=$(realpath "${2:-build}")
exe=$win/eml2pst.exe
for f in "$exe" "$linux/eml2pst" "$linux/verdaline-check"; do
  [ -e "$f" ] || { echo "windows test: $f is missing (make windows; make build)" >&2; exit 2; }
done
for p in wine pffexport readpst; do
  command -v "$p" >/dev/null || { echo "windows test: $p is missing (scripts/install-deps windows)" >&2; exit 2; }
done

export WINEPREFIX=${WINEPREFIX:-$win/wine} WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
pass() { echo "ok: $1"; passed=$((passed + 1)); }
fail() { echo "FAILED: $1" >&2; failed=$((failed + 1)); }
# wine's own start-up notes (a missing 32-bit wine, no display) go to
# stderr with the program's; only the program's lines are kept.
wine_run() { wine "$exe" "$@" 2> >(grep -v -e '^wine' -e 'wine32' -e 'multiarch' -e '^execute' -e 'apt-get install' \
  -e ':err:' -e ':fixme:' >&2); }

# How many messages each reader finds in a .pst.
checker_ok() { "$linux/verdaline-check" "$1" >"$work/check.out" 2>&1; }
pff_count() {
  rm -rf "$work/pff" "$work/pff.export"
  pffexport -f all -q -t "$work/pff" "$1" >/dev/null 2>&1 || true
  # Messages and meetings in folders, not those attached to them.
  find "$work/pff.export" -type d \( -name 'Message[0-9]*' -o -name 'Meeting[0-9]*' \) -not -path '*/Attachments/*' | wc -l
}
readpst_count() {
  rm -rf "$work/readpst" && mkdir "$work/readpst"
  readpst -q -e -o "$work/readpst" "$1" >/dev/null 2>&1 || true
  find "$work/readpst" -type f -name '*.eml' | wc -l
}

# 1. The regression messages: same bytes, read by every reader.
# GLib for Windows converts charsets with Windows' code pages (win_iconv),
# which know fewer names than glibc's iconv: UTF-7 and unknown labels decode
# differently there, so hostile-params.eml (which has both) is not compared.
inputs=()
for f in tests/corpus/regressions/*.eml; do
  case "$(basename "$f")" in hostile-params.eml) ;; *) inputs+=("$root/$f") ;; esac
done
wine_rc=0 linux_rc=0
(cd "$work" && wine_run --fixed-time win.pst "${inputs[@]}") | tr -d '\r' >"$work/win.out" || wine_rc=$?
(cd "$work" && "$linux/eml2pst" --fixed-time linux.pst "${inputs[@]}") >"$work/linux.out" || linux_rc=$?
stored=$(grep -c '^OK' "$work/linux.out" || true)
if [ "$wine_rc" = "$linux_rc" ] && [ "$(grep -c '^OK' "$work/win.out" || true)" = "$stored" ]; then
  pass "eml2pst.exe stores the $stored messages Linux stores (exit $wine_rc)"
else
  fail "eml2pst.exe exit $wine_rc, $(grep -c '^OK' "$work/win.out" || true) stored; Linux exit $linux_rc, $stored stored"
fi
if cmp -s "$work/win.pst" "$work/linux.pst"; then
  pass "the Windows and Linux files are the same bytes ($(stat -c %s "$work/win.pst") bytes)"
else
  fail "the Windows and Linux files differ: $(cmp "$work/win.pst" "$work/linux.pst" 2>&1 | head -n1)"
fi
if checker_ok "$work/win.pst"; then pass "verdaline-check accepts the Windows file"
else fail "verdaline-check: $(head -n5 "$work/check.out")"; fi
n=$(pff_count "$work/win.pst")
[ "$n" = "$stored" ] && pass "pffexport reads $n messages" || fail "pffexport reads $n of $stored messages"
n=$(readpst_count "$work/win.pst")
[ "$n" = "$stored" ] && pass "readpst reads $n messages" || fail "readpst reads $n of $stored messages"

# 2. Non-ASCII names and a path longer than MAX_PATH (260), for the
# messages and for the .pst.
deep=$work/long
for i in 1 2 3 4 5 6; do deep=$deep/folder-$i-$(printf '%040d' "$i"); done
mkdir -p "$deep/Grüße – ünïcode" "$deep/日本語"
cp tests/corpus/regressions/tnef-winmail.eml "$deep/Grüße – ünïcode/erste.eml"
cp tests/corpus/regressions/address-8bit-legacy.eml "$deep/日本語/zweite.eml"
long_pst=$deep/ausgabe-übersicht.pst
if [ "${#long_pst}" -le 300 ]; then fail "the long path is only ${#long_pst} bytes"; fi
# wine shows the machine's / as drive Z: (winepath cuts long paths).
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
wine_rc=0
(cd "$work" && wine_run --fixed-time "$(windows_path "$long_pst")" \
  "$(windows_path "$deep/Grüße – ünïcode/erste.eml")" "$(windows_path "$deep/日本語/zweite.eml")") \
  | tr -d '\r' >"$work/long.out" || wine_rc=$?
if [ "$wine_rc" = 0 ] && [ "$(grep -c '^OK' "$work/long.out")" = 2 ] && [ -f "$long_pst" ]; then
  pass "eml2pst.exe reads and writes through a ${#long_pst}-byte path with non-ASCII names"
else
  fail "long, non-ASCII path: exit $wine_rc: $(head -n3 "$work/long.out")"
fi
if [ -f "$long_pst" ] && checker_ok "$long_pst"; then pass "verdaline-check accepts that file"
else fail "verdaline-check on the long-path file: $(head -n5 "$work/check.out" 2>/dev/null)"; fi
pff_count "$long_pst" >/dev/null
for name in "Grüße – ünïcode" "日本語"; do
  if find "$work/pff.export" -type d -name "$name" | grep -q .; then pass "pffexport finds the folder $name"
  else fail "pffexport finds no folder $name: $(find "$work/pff.export" -maxdepth 3 -type d | head -n5)"; fi
done
"$linux/eml2pst" --fixed-time "$work/long-linux.pst" "$deep/Grüße – ünïcode/erste.eml" "$deep/日本語/zweite.eml" >/dev/null
if cmp -s "$long_pst" "$work/long-linux.pst"; then pass "the same bytes as Linux makes of those folders"
else fail "the long-path file differs from Linux's: $(cmp "$long_pst" "$work/long-linux.pst" 2>&1 | head -n1)"; fi

# 3. An existing file is never replaced, nor a temporary file left beside it.
before=$(sha256sum <"$work/win.pst")
wine_rc=0
(cd "$work" && wine_run win.pst "${inputs[0]}") >"$work/again.out" 2>&1 || wine_rc=$?
if [ "$wine_rc" != 0 ] && grep -q 'already exists' "$work/again.out" && [ "$(sha256sum <"$work/win.pst")" = "$before" ] &&
   ! compgen -G "$work/win.pst.partial-*" >/dev/null; then
  pass "an existing .pst is refused and left as it was"
else
  fail "an existing .pst: exit $wine_rc: $(head -n3 "$work/again.out")"
fi

# 4. A message too large to be read whole: GMime's file stream reads it
# through the C runtime's descriptor of the handle the importer opened.
python3 - "$work/large.eml" <<'PY'
import base64, random, sys
rng = random.Random(7)
data = rng.randbytes(50 << 20)
with open(sys.argv[1], 'wb') as f:
    f.write(b'From: a@example.com\r\nTo: b@example.com\r\nSubject: large\r\n'
            b'Date: Tue, 8 Dec 2026 10:00:00 +0000\r\nMIME-Version: 1.0\r\n'
            b'Content-Type: multipart/mixed; boundary="b"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n'
            b'body\r\n--b\r\nContent-Type: application/octet-stream; name="x.bin"\r\n'
            b'Content-Transfer-Encoding: base64\r\n\r\n')
    f.write(base64.encodebytes(data).replace(b'\n', b'\r\n'))
    f.write(b'--b--\r\n')
PY
wine_rc=0
(cd "$work" && wine_run --fixed-time large-win.pst large.eml) | tr -d '\r' >"$work/large.out" || wine_rc=$?
"$linux/eml2pst" --fixed-time "$work/large-linux.pst" "$work/large.eml" >/dev/null
if [ "$wine_rc" = 0 ] && cmp -s "$work/large-win.pst" "$work/large-linux.pst"; then
  pass "a $(($(stat -c %s "$work/large.eml") >> 20)) MiB message gives the same bytes as on Linux"
else
  fail "the large message: exit $wine_rc: $(head -n2 "$work/large.out")"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
