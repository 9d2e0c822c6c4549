// SPDX-License-Identifier: GPL-3.0-or-later
// The quicksort behind QuickSortStrings, written over any random-access
// sequence and ordering so that it can be exercised with counted or
// adversarial comparisons. Callers use QuickSortStrings (mod_main.h).
//
// Hoare partition around the entry at the middle position, where the middle
// of an odd-length sum lo + hi rounds half to even (as (0,3) -> 2, (3,4) -> 4).
// Positions are 64-bit: any list that fits in memory sorts; a position
// outside the sequence raises error 9 and arithmetic past 64 bits error 6.
// The smaller side is sorted by recursion and the larger one by the loop, so
// the recursion never goes deeper than about log2(n), whatever the data.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/vb_error.h"

namespace verdaline::sorting {

using Position = std::int64_t;

// Round-half-even of (lo + hi) / 2, in exact integer arithmetic.
inline Position PivotPosition(Position lo, Position hi) {
  Position sum = 0;
  if (__builtin_add_overflow(lo, hi, &sum)) RaiseOverflow();
  const Position down = sum >= 0 ? sum / 2 : -((-sum + 1) / 2);  // floor(sum / 2)
  if (sum % 2 == 0) return down;
  return down % 2 == 0 ? down : down + 1;  // of the two middles, the even one
}

template <typename Seq>
auto& At(Seq& seq, Position position) {
  if (position < 0 || position >= static_cast<Position>(seq.size())) RaiseSubscript();
  return seq[static_cast<typename Seq::size_type>(position)];
}

struct DepthMeter {
  int current = 0;
  int deepest = 0;
};

// Sorts seq[lo..hi] by `less`. `meter` (optional) records how deeply the
// recursion went.
template <typename Seq, typename Less>
void QuickSortRange(Seq& seq, Position lo, Position hi, Less less, DepthMeter* meter = nullptr) {
  if (meter != nullptr && ++meter->current > meter->deepest) meter->deepest = meter->current;
  for (;;) {
    const auto pivot = At(seq, PivotPosition(lo, hi));  // a copy: swaps leave it alone
    Position i = lo;
    Position j = hi;
    do {
      while (less(At(seq, i), pivot) && i < hi) ++i;
      while (less(pivot, At(seq, j)) && j > lo) --j;
      if (i <= j) {
        using std::swap;
        swap(At(seq, i), At(seq, j));
        ++i;
        --j;
      }
    } while (i <= j);

    // Two disjoint stretches remain, lo..j and i..hi; the order in which they
    // are sorted does not change the result.
    const bool left = lo < j;
    const bool right = i < hi;
    if (left && right) {
      if (j - lo < hi - i) {
        QuickSortRange(seq, lo, j, less, meter);
        lo = i;
      } else {
        QuickSortRange(seq, i, hi, less, meter);
        hi = j;
      }
    } else if (left) {
      hi = j;
    } else if (right) {
      lo = i;
    } else {
      break;
    }
  }
  if (meter != nullptr) --meter->current;
}

}  // namespace verdaline::sorting
