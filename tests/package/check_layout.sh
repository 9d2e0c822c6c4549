# Shared by the package tests: checks that the files installed under a prefix
# are exactly the expected ones and that each is what Debian and the desktop
# expect. Sourced; needs PROGRAMS (array) and fail().

APP_ID=org.verdaline.Verdaline
ICON_SIZES=(16 22 24 32 48 64 128 256)

fail() { echo "FAIL: $*" >&2; exit 1; }

expected_files() {  # relative to the prefix, sorted
  local p s
  for p in "${PROGRAMS[@]}"; do
    echo "bin/$p"
    echo "share/man/man1/$p.1.gz"
  done
  echo share/applications/verdaline.desktop
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
    out=$(ldd "$prefix/bin/$p") || fail "ldd $p failed"
    ! grep -q 'not found' <<<"$out" || fail "$p has unresolved libraries: $(grep 'not found' <<<"$out")"
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

  for s in "${ICON_SIZES[@]}"; do
    file -b "$prefix/share/icons/hicolor/${s}x$s/apps/verdaline.png" | grep -q "^PNG image data, $s x $s, 8-bit/color RGBA" ||
      fail "icon ${s}x$s is not a $s x $s RGBA PNG"
  done
}

need_tools() {
  local t
  for t in "$@"; do
    command -v "$t" >/dev/null || { echo "SKIP: $t is not installed (scripts/install-deps installs it)"; exit 77; }
  done
}
