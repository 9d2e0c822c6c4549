// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include "mapi/new_file_check.h"
#include "model/windows_text.h"

namespace mapi::detail {

std::string WhyNotCreatable(const std::string& path) {
  using model::windows::WidePath;
  // The attributes of a link itself: one that points nowhere takes the name
  // as much as a file does.
  if (GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES) return "the file already exists";
  const size_t slash = path.find_last_of("/\\");
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  if (dir.empty() || (dir.size() == 2 && dir[1] == ':')) dir += '\\';  // the root of the drive
  const DWORD attributes = GetFileAttributesW(WidePath(dir).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return "the folder " + dir + " does not exist";
  // Whether the folder takes a new file is decided by its access rights when
  // the file is made; the writer names the system's reason then.
  return "";
}

}  // namespace mapi::detail
