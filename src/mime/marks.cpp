// SPDX-License-Identifier: GPL-3.0-or-later
// Header fields that mark the message rather than describe it: X-Unsent,
// which makes it a draft ([MS-OXCMAIL]), and Keywords, which
// become its categories (PidNameKeywords).
#include <algorithm>
#include <vector>

#include "mime/encoded_words.h"
#include "mime/gmime_session.h"
#include "mime/message_mapping.h"
#include "mime/text_util.h"
#include "model/prop_tags.h"

namespace mime::detail {
namespace {

// Categories are few in any real message; the list and each name are
// bounded so that a hostile field cannot make a property of megabytes.
constexpr size_t kMaxCategories = 200;
constexpr size_t kMaxCategoryBytes = 255;

// The comma-separated phrases of one Keywords field; a comma inside a
// quoted string belongs to its phrase.
std::vector<std::string> Phrases(const std::string& value) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (c == '\\' && quoted && i + 1 < value.size()) {
      out.back() += value[++i];
      continue;
    }
    if (c == ',' && !quoted) {
      out.emplace_back();
      continue;
    }
    out.back() += c;
  }
  return out;
}

}  // namespace

// "1", as Outlook Express and Outlook write it; the mail store scan reads
// the field the same way.
bool IsUnsent(GMimeMessage* message) { return HeaderValue(GMIME_OBJECT(message), "X-Unsent") == "1"; }

void MapCategories(GMimeMessage* message, model::Message& out, const ImportContext& ctx) {
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));  // transfer none
  const int count = headers ? g_mime_header_list_get_count(headers) : 0;
  std::vector<std::string> categories;
  size_t dropped = 0;
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);  // transfer none
    const char* name = g_mime_header_get_name(header);
    if (!name || !EqualsIgnoreCase(name, "Keywords")) continue;
    const char* raw = g_mime_header_get_raw_value(header);
    for (const std::string& phrase : Phrases(Unfolded(raw ? raw : ""))) {
      std::string category = Trimmed(DecodedHeaderText(ValidUtf8(Trimmed(phrase))));
      if (category.empty()) continue;
      const bool seen = std::any_of(categories.begin(), categories.end(),
                                    [&](const std::string& c) { return EqualsIgnoreCase(c, category); });
      if (seen) continue;
      if (categories.size() >= kMaxCategories || category.size() > kMaxCategoryBytes) {
        ++dropped;
        continue;
      }
      categories.push_back(std::move(category));
    }
  }
  if (dropped > 0)
    ctx.Warn(std::to_string(dropped) + " keyword(s) were not made categories: more than " +
             std::to_string(kMaxCategories) + ", or longer than " + std::to_string(kMaxCategoryBytes) +
             " bytes");
  if (!categories.empty())
    out.props.SetNamed({model::tags::kPsPublicStrings, std::nullopt, "Keywords"}, model::PropType::MvUnicode,
                       std::move(categories));
}

}  // namespace mime::detail
