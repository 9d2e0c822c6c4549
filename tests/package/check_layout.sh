# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the package tests: checks that the files installed under a prefix
# are exactly the expected ones and that each is what Debian and the desktop
# expect. Sourced; needs PROGRAMS (array) and fail().

APP_ID=org.verdaline.Verdaline
ICON_SIZES=(16 22 24 32 48 64 128 256)
CHECKER_MODULES=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../tools/pst-check/pstcheck" && ls -- *.py)

fail() { echo "FAIL: $*" >&2; exit 1; }

expected_files() {  # relative to the prefix, sorted
  local p s
  for p in "${PROGRAMS[@]}"; do
    echo "bin/$p"
    echo "share/man/man1/$p.1.gz"
  done
  echo share/applications/verdaline.desktop
  echo share/doc/verdaline/copyright
  echo share/doc/verdaline/changelog.Debian.gz
  echo share/lintian/overrides/verdaline
  for s in $CHECKER_MODULES; do echo "share/verdaline/pstcheck/$s"; done
  echo "share/metainfo/$APP_ID.metainfo.xml"
  for s in "${ICON_SIZES[@]}"; do echo "share/icons/hicolor/${s}x$s/apps/verdaline.png"; done
}

# check_layout PREFIX ACTUAL_LIST_FILE: the list holds every installed regular
# file relative to PREFIX.
check_layout() {
  local prefix=$1 actual=$2 p s out
  diff -u <(expected_files | sort) <(sort "$actual") || fail "installed files under $prefix differ from the expected list"

  for p in "${PROGRAMS[@]}"; do
    [ -x "$prefix/bin/$p" ] || fail "$prefix/bin/$p is not executable"
    if is_elf "$prefix/bin/$p"; then
      out=$(ldd "$prefix/bin/$p") || fail "ldd $p failed"
      ! grep -q 'not found' <<<"$out" || fail "$p has unresolved libraries: $(grep 'not found' <<<"$out")"
    else
      # A script runs Debian's python3 (in Depends), not the first in PATH.
      head -n1 "$prefix/bin/$p" | grep -qx '#!/usr/bin/python3' || fail "$p is neither a program nor a /usr/bin/python3 script"
    fi
    file -b "$prefix/share/man/man1/$p.1.gz" | grep -q '^gzip' || fail "man page of $p is not gzipped"
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$p.1.gz" 2>&1 >/dev/null)
    [ -z "$out" ] || fail "man page of $p has warnings: $out"
    zcat "$prefix/share/man/man1/$p.1.gz" | grep -q "^\.TH ${p^^} 1 " || fail "man page of $p lacks '.TH ${p^^} 1'"
    ! zcat "$prefix/share/man/man1/$p.1.gz" | grep -q '@[A-Z_]*@' || fail "man page of $p has unsubstituted @VARIABLES@"
  done
  # The command line runs on a server without a desktop: QtCore only.
  if [ -x "$prefix/bin/verdaline-convert" ]; then
    ! ldd "$prefix/bin/verdaline-convert" | grep -Eq 'libQt6(Gui|Widgets)' || fail "verdaline-convert links Qt Gui or Widgets"
  fi

  local desktop=$prefix/share/applications/verdaline.desktop
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
  grep -qx 'Exec=verdaline' "$desktop" || fail "desktop entry does not start verdaline"
  grep -qx 'Icon=verdaline' "$desktop" || fail "desktop entry does not name the verdaline icon"

  local meta=$prefix/share/metainfo/$APP_ID.metainfo.xml
  appstreamcli validate --no-net "$meta" || fail "appstreamcli rejects $meta"
  grep -q "<id>$APP_ID</id>" "$meta" || fail "metainfo id is not $APP_ID"
  grep -q '<launchable type="desktop-id">verdaline.desktop</launchable>' "$meta" ||
    fail "metainfo does not launch verdaline.desktop"

  grep -q '<project_license>GPL-3.0-or-later</project_license>' "$meta" || fail "metainfo lacks the project licence"
  ! grep -q '@[A-Z_]*@' "$meta" || fail "metainfo has unsubstituted @VARIABLES@"

  for s in "${ICON_SIZES[@]}"; do
    file -b "$prefix/share/icons/hicolor/${s}x$s/apps/verdaline.png" | grep -q "^PNG image data, $s x $s, 8-bit/color RGBA" ||
      fail "icon ${s}x$s is not a $s x $s RGBA PNG"
  done

  local doc=$prefix/share/doc/verdaline
  head -n1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "copyright is not in the machine-readable format"
  grep -qx 'License: GPL-3+' "$doc/copyright" || fail "copyright does not name GPL-3+"
  file -b "$doc/changelog.Debian.gz" | grep -q '^gzip' || fail "changelog.Debian.gz is not gzipped"
  zcat "$doc/changelog.Debian.gz" | head -n1 | grep -Eq '^verdaline \([0-9.]+-[0-9]+\) [a-z]+; urgency=' ||
    fail "changelog.Debian does not start with a verdaline entry"
  ! grep -rq '@[A-Z_]*@\|\.invalid>' "$doc/copyright" <(zcat "$doc/changelog.Debian.gz") ||
    fail "copyright or changelog has a placeholder"
}

is_elf() { file -b "$1" | grep -q '^ELF'; }

# check_checker PREFIX WORK: the installed verdaline-check passes a file the
# installed verdaline-convert wrote and finds the problem in a copy with a
# broken header.
check_checker() {
  local prefix=$1 work=$2 rc=0 out
  mkdir -p "$work/checker/mail/Inbox"
  printf 'From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: check\r\n\r\nHello.\r\n' \
    >"$work/checker/mail/Inbox/m.eml"
  "$prefix/bin/verdaline-convert" -q -o "$work/checker/good.pst" "$work/checker/mail" >/dev/null ||
    fail "the installed verdaline-convert failed"
  out=$(cd / && "$prefix/bin/verdaline-check" "$work/checker/good.pst" 2>&1) ||
    fail "the installed verdaline-check rejects a converted file: $out"
  cp "$work/checker/good.pst" "$work/checker/bad.pst"
  # wVerClient, inside the header's checksum.
  printf '\x07' | dd of="$work/checker/bad.pst" bs=1 seek=12 conv=notrunc status=none
  out=$(cd / && "$prefix/bin/verdaline-check" "$work/checker/bad.pst" 2>&1) || rc=$?
  [ "$rc" -eq 1 ] && grep -q '^header \[' <<<"$out" ||
    fail "the installed verdaline-check gave status $rc on a damaged file: $out"
  # Byte code written beside the installed modules would outlive dpkg -r.
  [ -z "$(find "$prefix/share/verdaline" -name __pycache__)" ] || fail "verdaline-check wrote __pycache__ into $prefix"
}

need_tools() {
  local t
  for t in "$@"; do
    command -v "$t" >/dev/null || { echo "SKIP: $t is not installed (scripts/install-deps installs it)"; exit 77; }
  done
}
