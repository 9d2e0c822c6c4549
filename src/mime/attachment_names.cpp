// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/attachment_names.h"

#include <cstdio>
#include <utility>

#include "mime/text_util.h"

namespace mime::detail {

std::string SafeFileName(const std::string& name) {
  std::string s = name;
  const size_t slash = s.find_last_of("/\\");
  if (slash != std::string::npos) s = s.substr(slash + 1);
  std::string out;
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) continue;
    if (c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
      out += '_';
    else
      out += c;
  }
  out = Trimmed(out);
  // "." and ".." name no file; trailing dots and spaces Windows drops.
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  return out;
}

std::string ExtensionOf(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return {};
  const std::string ext = name.substr(dot);
  if (ext.find_first_of(" /\\") != std::string::npos) return {};
  return ext;
}

namespace {

std::string ShortPiece(const std::string& s, size_t max) {
  std::string out;
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || c == ' ' || c == '.' || c == '+' || c == ',' || c == ';' || c == '=' ||
        c == '[' || c == ']')
      out += '_';
    else
      out += c;
    if (out.size() == max) break;
  }
  return AsciiUpper(out);
}

}  // namespace

std::string ShortFileName(const std::string& longName) {
  std::string ext = ExtensionOf(longName);
  std::string base = ext.empty() ? longName : longName.substr(0, longName.size() - ext.size());
  // Count characters, not bytes: a UTF-8 sequence is one character.
  size_t chars = 0;
  for (char c : base)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++chars;
  bool longBase = chars > 8;
  bool plain = true;
  for (char c : base)
    if (static_cast<unsigned char>(c) >= 0x80 || c == ' ' || c == '.') plain = false;
  std::string shortBase;
  if (longBase || !plain) {
    std::string cleaned;
    for (char c : base) {
      const auto u = static_cast<unsigned char>(c);
      if ((u & 0xC0) == 0x80) continue;  // continuation bytes: one '_' per character
      cleaned += c;
    }
    shortBase = ShortPiece(cleaned, 6) + "~1";
  } else {
    shortBase = ShortPiece(base, 8);
  }
  if (shortBase.empty() || shortBase == "~1") shortBase = "ATTACH~1";
  std::string shortExt = ext.size() > 1 ? ShortPiece(ext.substr(1), 3) : "";
  return shortExt.empty() ? shortBase : shortBase + "." + shortExt;
}

std::string ExtensionForMimeType(const std::string& mimeType) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {"text/plain", ".txt"},       {"text/html", ".htm"},
      {"text/calendar", ".ics"},    {"text/vcard", ".vcf"},
      {"text/x-vcard", ".vcf"},     {"text/csv", ".csv"},
      {"text/xml", ".xml"},         {"text/rfc822-headers", ".txt"},
      {"text/enriched", ".txt"},    {"message/rfc822", ".eml"},
      {"message/delivery-status", ".txt"}, {"message/disposition-notification", ".txt"},
      {"image/jpeg", ".jpg"},       {"image/jpg", ".jpg"},
      {"image/pjpeg", ".jpg"},      {"image/png", ".png"},
      {"image/gif", ".gif"},        {"image/bmp", ".bmp"},
      {"image/tiff", ".tif"},       {"image/svg+xml", ".svg"},
      {"image/webp", ".webp"},      {"application/pdf", ".pdf"},
      {"application/zip", ".zip"},  {"application/msword", ".doc"},
      {"application/vnd.ms-excel", ".xls"}, {"application/rtf", ".rtf"},
      {"application/pgp-signature", ".asc"}, {"application/pgp-encrypted", ".pgp"},
      {"application/pkcs7-signature", ".p7s"}, {"application/x-pkcs7-signature", ".p7s"},
      {"application/pkcs7-mime", ".p7m"}, {"application/x-pkcs7-mime", ".p7m"},
      {"application/ms-tnef", ".dat"}, {"audio/mpeg", ".mp3"},
      {"audio/wav", ".wav"},        {"video/mp4", ".mp4"},
      {"application/json", ".json"}, {"application/xml", ".xml"},
  };
  for (const auto& [type, ext] : kTypes)
    if (mimeType == type) return ext;
  if (mimeType.rfind("text/", 0) == 0) return ".txt";
  return ".bin";
}

std::string DefaultFileName(const std::string& mimeType, int number) {
  char base[32];
  std::snprintf(base, sizeof base, "ATT%05d", number);
  return std::string(base) + ExtensionForMimeType(mimeType);
}

}  // namespace mime::detail
