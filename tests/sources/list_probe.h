// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for the message file list and the conversion button: records
// every path added and every write of the button's Enabled.
#pragma once

#include <functional>
#include <vector>

#include <QString>
#include <QStringList>

namespace verdaline::testing {

struct ListProbe {
  QStringList rows;
  std::vector<bool> enabledWrites;

  std::function<void(const QString&)> Adder() {
    return [this](const QString& path) { rows.push_back(path); };
  }
  std::function<void(bool)> Enabler() {
    return [this](bool on) { enabledWrites.push_back(on); };
  }
};

}  // namespace verdaline::testing
