#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# `cmake --install` into a fresh prefix places exactly the programs, man
# pages, desktop entry, metainfo, icons, copyright and changelog, each valid,
# and the installed checker works from there.
# Usage: install_tree_test.sh BUILD_DIR PROGRAM...
set -euo pipefail
build=$1; shift
PROGRAMS=("$@")
source "$(dirname "$0")/check_layout.sh"
need_tools desktop-file-validate appstreamcli file man ldd

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/root" >/dev/null
(cd "$work/root" && find . -type f -printf '%P\n') >"$work/files"
check_layout "$work/root" "$work/files"
check_checker "$work/root" "$work"
echo "install tree OK"
