// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "mapi/new_file_check.h"

namespace mapi::detail {

std::string WhyNotCreatable(const std::string& name) {
  const std::filesystem::path path(name);
  std::error_code ec;
  // A link that points nowhere takes the name as much as a file does.
  if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return "the file already exists";
  auto dir = path.parent_path();
  if (dir.empty()) dir = ".";
  if (!std::filesystem::is_directory(dir, ec)) return "the folder " + dir.string() + " does not exist";
  if (::access(dir.c_str(), W_OK) != 0) return "the folder " + dir.string() + " is not writable";
  return "";
}

}  // namespace mapi::detail
