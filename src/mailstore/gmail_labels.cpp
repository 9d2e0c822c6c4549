// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/gmail_labels.h"

#include <unordered_set>

#include "mailstore/file_io.h"

namespace mailstore::detail {
namespace {

bool Is(std::string_view label, std::string_view name) {
  return label.size() == name.size() && EndsWithNoCase(label, name);
}

bool IsFolderLabel(std::string_view label) {
  if (Is(label, "Important") || Is(label, "Starred") || Is(label, "Unread") || Is(label, "Opened") ||
      Is(label, "Archived") || Is(label, "Chat")) {
    return false;
  }
  return !(label.size() > 9 && EndsWithNoCase(label.substr(0, 9), "Category "));
}

std::vector<std::string> FolderNames(std::string_view label) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= label.size()) {
    size_t slash = label.find('/', start);
    if (slash == std::string_view::npos) slash = label.size();
    if (slash > start) {
      if (names.size() + 1 == kMaxLabelDepth) {
        // Every folder keeps the names of all above it: a label of
        // thousands of levels would cost the square of its length. The
        // deepest folder takes the rest of the label as its name.
        names.emplace_back(label.substr(start));
        while (names.back().back() == '/') names.back().pop_back();
        break;
      }
      names.emplace_back(label.substr(start, slash - start));
    }
    start = slash + 1;
  }
  return names;
}

}  // namespace

std::vector<std::string> SplitGmailLabels(std::string_view value) {
  std::vector<std::string> labels;
  size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
    std::string label;
    if (i < value.size() && value[i] == '"') {
      ++i;
      while (i < value.size() && value[i] != '"') {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        label += value[i++];
      }
      if (i < value.size()) ++i;  // the closing quote
      while (i < value.size() && value[i] != ',') ++i;
    } else {
      while (i < value.size() && value[i] != ',') label += value[i++];
      while (!label.empty() && (label.back() == ' ' || label.back() == '\t')) label.pop_back();
    }
    if (i < value.size()) ++i;  // the comma
    if (!label.empty()) labels.push_back(std::move(label));
  }
  return labels;
}

TakeoutPlace PlaceByLabels(const std::vector<std::string>& labels) {
  TakeoutPlace place;
  size_t folder_label = labels.size();
  for (size_t i = 0; i < labels.size(); ++i) {
    if (IsFolderLabel(labels[i])) {
      std::vector<std::string> names = FolderNames(labels[i]);
      if (names.empty()) continue;
      place.folder = std::move(names);
      folder_label = i;
      break;
    }
  }
  place.state.read = true;
  std::unordered_set<std::string_view> seen;
  for (size_t i = 0; i < labels.size(); ++i) {
    const std::string& label = labels[i];
    if (Is(label, "Unread")) place.state.read = false;
    if (Is(label, "Starred")) place.state.flagged = true;
    if (Is(label, "Drafts")) place.state.draft = true;
    if (i == folder_label || Is(label, "Unread") || Is(label, "Opened") || Is(label, "Archived") ||
        Is(label, "Starred")) {
      continue;
    }
    // A set beside the list: a field of thousands of labels must not cost
    // the square of their number.
    if (seen.insert(label).second) place.state.categories.push_back(label);
  }
  if (place.state.draft) place.state.read = false;
  return place;
}

}  // namespace mailstore::detail
