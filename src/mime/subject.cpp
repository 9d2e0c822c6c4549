// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/subject.h"

namespace mime::detail {

SubjectParts SplitSubject(const std::string& subject) {
  // Count characters, not bytes, so that "Ответ: " style prefixes in UTF-8
  // are judged by their length in letters.
  size_t chars = 0;
  size_t i = 0;
  for (; i < subject.size(); ++i) {
    const auto c = static_cast<unsigned char>(subject[i]);
    if (c == ':') break;
    if ((c & 0xC0) == 0x80) continue;  // continuation byte
    if (c == ' ' || c == '\t' || (c >= '0' && c <= '9')) return {"", subject};
    if (++chars > 3) return {"", subject};
  }
  if (chars == 0 || i >= subject.size() || i + 1 >= subject.size() || subject[i + 1] != ' ')
    return {"", subject};
  return {subject.substr(0, i + 2), subject.substr(i + 2)};
}

}  // namespace mime::detail
