#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The .deb `make package` makes: run-time dependencies only, lintian finds
# no error or warning, installs with dpkg onto this machine, the programs
# run, and dpkg -r takes every file away again. Changes the machine, so it
# runs only as root (CI).
# Usage: deb_test.sh BUILD_DIR PROGRAM...
set -euo pipefail
build=$1; shift
PROGRAMS=("$@")
source "$(dirname "$0")/check_layout.sh"
[ "$(id -u)" -eq 0 ] || { echo "SKIP: installs a .deb into the system, runs only as root"; exit 77; }
need_tools dpkg dpkg-deb dpkg-shlibdeps cpack lintian desktop-file-validate appstreamcli file man ldd timeout
if dpkg-query -W -f='${Status}' verdaline 2>/dev/null | grep -q installed; then
  echo "SKIP: a verdaline package is already installed; not replacing it"; exit 77
fi

work=$(mktemp -d)
cleanup() { dpkg -r verdaline >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(echo "$work"/verdaline_*.deb)
[ -f "$deb" ] || fail "cpack made no verdaline_*.deb"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(sed 's/ *([^)]*)//g; s/ *[,|] */\n/g' <<<"$depends")
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libgmime-3.0-0 libglib2.0-0 zlib1g libstdc++6 libc6 python3; do
  grep -Fxq "$lib" <<<"$names" || fail "Depends lacks $lib"
done
! grep -q -- '-dev$' <<<"$names" || fail "Depends names a -dev package"
for field in Maintainer Section Description; do
  [ -n "$(dpkg-deb -f "$deb" $field)" ] || fail "control field $field is empty"
done
version=$(dpkg-deb -f "$deb" Version)
dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/doc/verdaline/changelog.Debian.gz | zcat | head -n1 |
  grep -q "^verdaline ($version) " || fail "changelog.Debian's entry is not for version $version"

# Errors and warnings fail; info and pedantic tags are shown but may stay.
# (Its complaint about running as root goes to standard error, kept apart.)
lintian --fail-on error,warning --display-info --pedantic "$deb" >"$work/lintian.log" 2>"$work/lintian.err" || {
  cat "$work/lintian.log" "$work/lintian.err"; fail "lintian reports errors or warnings on $deb"; }
[ ! -s "$work/lintian.log" ] || { echo "lintian (info and pedantic):"; cat "$work/lintian.log"; }

dpkg -i "$deb" >/dev/null || fail "dpkg -i failed"
dpkg-query -L verdaline >"$work/listed"
while read -r f; do
  if [ -f "$f" ] && [ ! -L "$f" ]; then
    case $f in /usr/*) echo "${f#/usr/}" ;; *) fail "package installs $f, outside /usr" ;; esac
  fi
done <"$work/listed" >"$work/files"
check_layout /usr "$work/files"
for p in "${PROGRAMS[@]}"; do
  if is_elf "/usr/bin/$p"; then
    file -b "/usr/bin/$p" | grep -q 'ELF.*, stripped' || fail "/usr/bin/$p is not a stripped ELF program"
  fi
done

# The window has no option to end by itself: still running after a few
# seconds off screen means it loaded its libraries and built its window.
rc=0
(cd "$work" && QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/verdaline >"$work/run.log" 2>&1) || rc=$?
[ "$rc" -eq 124 ] || { cat "$work/run.log"; fail "/usr/bin/verdaline ended by itself with status $rc"; }

# The installed command line: its version, and a small conversion read back.
if [[ " ${PROGRAMS[*]} " == *" verdaline-convert "* ]]; then
  out=$(/usr/bin/verdaline-convert --version) || fail "verdaline-convert --version failed"
  [[ $out =~ ^verdaline-convert\ [0-9.]+$ ]] || fail "verdaline-convert --version printed: $out"
  mkdir -p "$work/mail/Inbox" "$work/out"
  for n in 1 2 3; do
    printf 'From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: deb %s\r\n\r\nHello.\r\n' "$n" \
      >"$work/mail/Inbox/m$n.eml"
  done
  # --verify: the installed program finds the installed checker beside it.
  (cd "$work" && /usr/bin/verdaline-convert -q --verify -d "$work/out" "$work/mail") >"$work/convert.log" 2>&1 ||
    { cat "$work/convert.log"; fail "the installed verdaline-convert --verify failed"; }
  pst=$(echo "$work"/out/*.pst)
  [ -f "$pst" ] || fail "the installed verdaline-convert made no .pst"
  if command -v pffexport >/dev/null; then
    pffexport -q -t "$work/export" "$pst" >/dev/null 2>&1 || fail "pffexport cannot read $pst"
    got=$(find "$work/export.export" -type d -regex '.*/Message[0-9]+' | wc -l)
    [ "$got" -eq 3 ] || fail "pffexport read $got messages from $pst, expected 3"
  fi
fi

check_checker /usr "$work"

dpkg -r verdaline >/dev/null || fail "dpkg -r failed"
! dpkg-query -W -f='${Status}' verdaline 2>/dev/null | grep -q 'ok installed' || fail "verdaline still installed"
while read -r f; do
  if [ -e "/usr/$f" ]; then fail "/usr/$f is still there after dpkg -r"; fi
done <"$work/files"
echo "deb package OK"
