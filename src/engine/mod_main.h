// SPDX-License-Identifier: GPL-3.0-or-later
// Ordering of string lists: the conversion run sorts its list of folder paths
// and removes repeats and empty entries before it builds the store's folders,
// so that every folder occurs once and comes before its sub-folders.
//
// Strings compare ordinally by UTF-16 code unit, case-sensitively ("Z" before
// "a", "Mail" before "Mail Archive" before "Mail\Inbox").
#pragma once

#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

namespace verdaline {

// Sorts the entries at positions lo..hi (inclusive, from 0) into ascending
// order in place. With hi < lo nothing moves, but the entries at lo, at hi
// and at the middle position are still read: one outside the list raises
// error 9 (so lo = 0, hi = -1 raises it).
void QuickSortStrings(std::vector<QString>& list, std::int64_t lo, std::int64_t hi);
void QuickSortStrings(QStringList& list, std::int64_t lo, std::int64_t hi);

// Blanks every entry that repeats its non-empty neighbour before it, then
// drops the empty entries and shrinks the list. On a sorted list this leaves
// each distinct non-empty entry once. A list left with no entry raises error
// 9 and is kept as it was.
void RemoveDuplicates(std::vector<QString>& list);
void RemoveDuplicates(QStringList& list);

// QuickSortStrings that also reports how deep its recursion went (1 for a
// call that never recursed): for tests and diagnostics.
int QuickSortStringsDepth(std::vector<QString>& list, std::int64_t lo, std::int64_t hi);

}  // namespace verdaline
