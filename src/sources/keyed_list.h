// SPDX-License-Identifier: GPL-3.0-or-later
// An ordered list of values with positions counted from 1, where each value
// may carry a key that is unique within the list, compared without regard to
// letter case. The directory walker fills its results into such lists and
// hands them out through shared_ptr, so a caller keeps a list alive after the
// walker is gone.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include <QHash>
#include <QString>

#include "platform/vb_error.h"

namespace verdaline {

template <typename T>
class KeyedList {
 public:
  using Position = std::int64_t;

  // Appends `value` at the end. With a key that the list already holds (in
  // any letter case) it raises error 457 and adds nothing.
  void Add(T value, std::optional<QString> key = std::nullopt) {
    if (key) {
      const QString folded = key->toCaseFolded();
      if (index_.contains(folded)) RaiseDuplicateKey();
      index_.insert(folded, Count() + 1);
    }
    values_.push_back(std::move(value));
    keys_.push_back(key ? *key : QString());
  }

  Position Count() const { return static_cast<Position>(values_.size()); }
  bool IsEmpty() const { return values_.empty(); }

  // The value at `position` (from 1); outside 1..Count() raises error 9.
  const T& Item(Position position) const { return values_[Checked(position)]; }

  // The value stored under `key` (any letter case); an unknown key raises
  // error 5, as a keyed collection does.
  const T& Item(const QString& key) const {
    const auto it = index_.constFind(key.toCaseFolded());
    if (it == index_.constEnd()) RaiseInvalidCall();
    return values_[static_cast<std::size_t>(*it - 1)];
  }

  bool ContainsKey(const QString& key) const { return index_.contains(key.toCaseFolded()); }

  // The key given with the value at `position`, as it was spelt; "" when the
  // value was added without one.
  QString KeyAt(Position position) const { return keys_[Checked(position)]; }

  // Position order.
  auto begin() const { return values_.begin(); }
  auto end() const { return values_.end(); }

 private:
  std::size_t Checked(Position position) const {
    if (position < 1 || position > Count()) RaiseSubscript();
    return static_cast<std::size_t>(position - 1);
  }

  std::vector<T> values_;
  std::vector<QString> keys_;
  QHash<QString, Position> index_;  // case-folded key -> position
};

}  // namespace verdaline
