// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/part_file_name.h"

#include "mime/encoded_words.h"
#include "mime/gmime_session.h"
#include "mime/text_util.h"

namespace mime::detail {
namespace {

// The parameter `name` of a structured field's raw value: what follows the
// first ';', parsed as a parameter list.
std::string ParameterOf(const std::string& value, const char* name) {
  const size_t semi = value.find(';');
  if (semi == std::string::npos) return {};
  GMimeParamList* list = g_mime_param_list_parse(nullptr, value.c_str() + semi + 1);  // transfer full
  if (!list) return {};
  std::string out;
  if (GMimeParam* param = g_mime_param_list_get_parameter(list, name)) {  // transfer none
    const char* v = g_mime_param_get_value(param);
    out = v ? v : "";
  }
  g_object_unref(list);
  return out;
}

}  // namespace

std::string PartFileName(GMimePart* part) {
  GMimeObject* object = GMIME_OBJECT(part);
  const std::string disposition = HeaderValue(object, "Content-Disposition");
  const std::string type = HeaderValue(object, "Content-Type");
  for (const auto& [value, name] : {std::pair{disposition, "filename"}, std::pair{type, "name"}}) {
    if (value.find("=?") == std::string::npos) continue;
    const std::string mended = MendEncodedWords(value);
    if (mended == value) continue;
    if (std::string found = ParameterOf(mended, name); !found.empty()) return ValidUtf8(found);
  }
  const char* known = g_mime_part_get_filename(part);  // transfer none, decoded
  if (known && *known) return ValidUtf8(known);
  const size_t slash = type.find('/'), semi = type.find(';');
  if (slash == std::string::npos || (semi != std::string::npos && slash > semi))
    return ValidUtf8(ParameterOf(type, "name"));
  return {};
}

}  // namespace mime::detail
