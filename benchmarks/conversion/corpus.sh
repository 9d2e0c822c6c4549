# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the conversion benchmarks (from the project's top folder, with
# BENCH_DIR set).

# The generated corpus of $1 messages, made once and kept; prints its folder.
corpus_of() {
  local dir="$BENCH_DIR/corpus-$1"
  if [[ ! -f "$dir/.complete" ]]; then
    echo "generating $1 messages in $dir" >&2
    rm -rf "$dir"
    python3 benchmarks/conversion/gen_corpus.py "$dir" "$1" >&2 && touch "$dir/.complete" || return 1
  fi
  echo "$dir"
}
