// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/mod_main.h"

#include "engine/quick_sort.h"
#include "platform/vb_error.h"

namespace verdaline {
namespace {

// QString's operator< compares UTF-16 code units, independent of locale.
struct OrdinalLess {
  bool operator()(const QString& a, const QString& b) const { return a < b; }
};

template <typename List>
void RemoveDuplicatesIn(List& list) {
  using sorting::At;
  using sorting::Position;
  const Position n = static_cast<Position>(list.size()) - 1;

  // Blanking pass: within each run of equal non-empty neighbours the first
  // entry stays and the rest become "". An empty entry ends a run.
  Position i = 1;
  for (Position j = 0; j <= n && j + i <= n; ++j) {
    if (At(list, j).isEmpty()) continue;
    if (At(list, j + i) == At(list, j)) {
      At(list, j + i) = QString();
      ++i;
      --j;  // compare the same entry with the next position
    } else {
      i = 1;
    }
  }

  // Compaction pass: the kept entries move up, in order.
  Position kept = 0;
  for (Position j = 0; j <= n; ++j) {
    if (!At(list, j).isEmpty()) {
      if (kept != j) At(list, kept) = std::move(At(list, j));
      ++kept;
    }
  }
  // A list cannot be left with no position at all.
  if (kept == 0) RaiseSubscript();
  list.resize(static_cast<typename List::size_type>(kept));
}

}  // namespace

void QuickSortStrings(std::vector<QString>& list, std::int64_t lo, std::int64_t hi) {
  sorting::QuickSortRange(list, lo, hi, OrdinalLess{});
}

void QuickSortStrings(QStringList& list, std::int64_t lo, std::int64_t hi) {
  sorting::QuickSortRange(list, lo, hi, OrdinalLess{});
}

int QuickSortStringsDepth(std::vector<QString>& list, std::int64_t lo, std::int64_t hi) {
  sorting::DepthMeter meter;
  sorting::QuickSortRange(list, lo, hi, OrdinalLess{}, &meter);
  return meter.deepest;
}

void RemoveDuplicates(std::vector<QString>& list) { RemoveDuplicatesIn(list); }
void RemoveDuplicates(QStringList& list) { RemoveDuplicatesIn(list); }

}  // namespace verdaline
