// SPDX-License-Identifier: GPL-3.0-or-later
#include "message_json.h"

#include <cstdio>
#include <type_traits>
#include <variant>

namespace eml2pst {
namespace {

void AppendEscaped(std::string& out, const std::string& s) {
  out += '"';
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

std::string Base64(const std::vector<uint8_t>& bytes) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const uint32_t n = (static_cast<uint32_t>(bytes[i]) << 16) |
                       (i + 1 < bytes.size() ? static_cast<uint32_t>(bytes[i + 1]) << 8 : 0u) |
                       (i + 2 < bytes.size() ? bytes[i + 2] : 0u);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
  }
  return out;
}

void AppendValue(std::string& out, const model::PropValue& value) {
  std::visit(
      [&out](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
          out += std::to_string(v);
        } else if constexpr (std::is_same_v<T, double>) {
          out += std::to_string(v);
        } else if constexpr (std::is_same_v<T, bool>) {
          out += v ? "true" : "false";
        } else if constexpr (std::is_same_v<T, std::string>) {
          AppendEscaped(out, v);
        } else if constexpr (std::is_same_v<T, model::Bytes>) {
          out += "{\"base64\":\"" + Base64(v) + "\"}";
        } else {
          out += "null";
        }
      },
      value.data);
}

void AppendBag(std::string& out, const model::PropertyBag& bag) {
  out += '{';
  bool first = true;
  for (const auto& [id, value] : bag.props()) {
    if (!first) out += ',';
    first = false;
    char tag[16];
    std::snprintf(tag, sizeof tag, "\"%04X%04X\":", id, static_cast<unsigned>(value.type));
    out += tag;
    AppendValue(out, value);
  }
  out += '}';
}

// Named properties keyed "GUID:LID" (the set's 16 bytes in hex as stored,
// the id in hex) or "GUID:name".
void AppendNamed(std::string& out, const model::PropertyBag& bag) {
  out += '{';
  bool first = true;
  for (const auto& [name, value] : bag.named()) {
    if (!first) out += ',';
    first = false;
    std::string key;
    for (const uint8_t b : name.guid) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02X", b);
      key += hex;
    }
    if (name.lid) {
      char id[16];
      std::snprintf(id, sizeof id, ":%04X", *name.lid);
      key += id;
    } else {
      key += ":" + name.name;
    }
    AppendEscaped(out, key);
    out += ':';
    AppendValue(out, value);
  }
  out += '}';
}

void AppendMessage(std::string& out, const model::Message& m) {
  out += "{\"props\":";
  AppendBag(out, m.props);
  out += ",\"named\":";
  AppendNamed(out, m.props);
  out += ",\"recipients\":[";
  for (size_t i = 0; i < m.recipients.size(); ++i) {
    if (i) out += ',';
    AppendBag(out, m.recipients[i].props);
  }
  out += "],\"attachments\":[";
  for (size_t i = 0; i < m.attachments.size(); ++i) {
    if (i) out += ',';
    const auto& a = m.attachments[i];
    out += "{\"props\":";
    AppendBag(out, a.props);
    if (a.data) out += ",\"data\":\"" + Base64(model::ReadAll(*a.data)) + "\"";
    if (a.embedded) {
      out += ",\"embedded\":";
      AppendMessage(out, *a.embedded);
    }
    out += '}';
  }
  out += "]}";
}

}  // namespace

std::string MessageToJson(const model::Message& message) {
  std::string out;
  AppendMessage(out, message);
  return out;
}

}  // namespace eml2pst
