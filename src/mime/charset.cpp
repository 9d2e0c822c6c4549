#include "mime/charset.h"

#include <gmime/gmime.h>
#include <iconv.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "mime/gmime_session.h"
#include "mime/text_util.h"
#include "mime/utf8_repair.h"

namespace mime::detail {
namespace {

// Labels seen in real mail whose iconv name differs, or which are routinely
// used for a larger character set than they name.
std::string IconvNameFor(const std::string& label) {
  static const std::pair<const char*, const char*> kAliases[] = {
      {"unicode-1-1-utf-7", "UTF-7"}, {"utf7", "UTF-7"},
      {"ks_c_5601-1987", "CP949"},    {"ks_c_5601", "CP949"},     {"euc-kr", "CP949"},
      {"gb2312", "GB18030"},          {"gbk", "GB18030"},         {"x-gbk", "GB18030"},
      {"cp936", "GB18030"},           {"big5", "CP950"},          {"x-big5", "CP950"},
      {"shift_jis", "CP932"},         {"x-sjis", "CP932"},        {"sjis", "CP932"},
      {"iso-2022-jp", "ISO-2022-JP-2"}, {"iso-8859-8-i", "ISO-8859-8"},
      {"x-mac-roman", "MACINTOSH"},   {"macintosh", "MACINTOSH"}, {"utf8", "UTF-8"},
      {"tis-620", "CP874"},           {"windows-874", "CP874"},
  };
  for (const auto& [from, to] : kAliases)
    if (label == from) return to;
  return label;
}

bool IsAsciiOnly(std::span<const uint8_t> bytes) {
  for (uint8_t b : bytes)
    if (b >= 0x80) return false;
  return true;
}

std::string_view AsView(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Converts with iconv, replacing what it cannot read. Returns false when
// iconv does not know the charset at all.
bool ConvertWithIconv(std::span<const uint8_t> bytes, const std::string& name, DecodedText& out) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    EnsureGMime();  // GMime's charset tables exist only after its initialisation
    const char* canon = g_mime_charset_iconv_name(name.c_str());
    if (!canon) return false;
    cd = iconv_open("UTF-8", canon);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  }
  std::string result;
  result.reserve(bytes.size() + bytes.size() / 2 + 16);
  std::vector<char> input(bytes.begin(), bytes.end());  // iconv wants a mutable pointer
  char* in = input.data();
  size_t inLeft = input.size();
  char buffer[4096];
  while (true) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t rc = iconv(cd, inLeft ? &in : nullptr, &inLeft, &outPtr, &outLeft);
    result.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (rc != static_cast<size_t>(-1)) {
      if (inLeft == 0) {
        // Flush any shift state (ISO-2022 and UTF-7 keep one).
        outPtr = buffer;
        outLeft = sizeof buffer;
        iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        result.append(buffer, static_cast<size_t>(outPtr - buffer));
        break;
      }
      continue;
    }
    if (errno == E2BIG) continue;
    // EILSEQ: a byte this charset cannot explain; EINVAL: a sequence cut off
    // at the end. Either way one replacement character and move on.
    result += "\xEF\xBF\xBD";
    out.lossy = true;
    if (errno == EINVAL || inLeft == 0) break;
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
  }
  iconv_close(cd);
  out.utf8 = std::move(result);
  return true;
}

bool IsWesternLabel(const std::string& label) {
  return label == "us-ascii" || label == "ascii" || label == "iso-8859-1" || label == "latin1" ||
         label == "iso_8859-1" || label == "windows-1252" || label == "cp1252" ||
         label == "iso-8859-15" || label == "ansi_x3.4-1968";
}

}  // namespace

namespace {
DecodedText DecodeTextKeepingBom(std::span<const uint8_t> bytes, std::string_view charset);
}  // namespace

DecodedText DecodeText(std::span<const uint8_t> bytes, std::string_view charset) {
  // A byte order mark is an encoding detail, not text.
  DecodedText out = DecodeTextKeepingBom(bytes, charset);
  if (out.utf8.rfind("\xEF\xBB\xBF", 0) == 0) out.utf8.erase(0, 3);
  return out;
}

namespace {

DecodedText DecodeTextKeepingBom(std::span<const uint8_t> bytes, std::string_view charset) {
  DecodedText out;
  std::string label = AsciiLower(Trimmed(charset));
  if (label.size() >= 2 && (label.front() == '"' || label.front() == '\''))
    label = label.substr(1, label.size() - 2);
  const std::string_view text = AsView(bytes);

  if (IsAsciiOnly(bytes) && label != "utf-7" && label != "unicode-1-1-utf-7" &&
      label.rfind("iso-2022", 0) != 0 && label != "utf-16" && label.rfind("utf-16", 0) != 0) {
    out.utf8 = std::string(text);
    out.charsetUsed = label.empty() ? "us-ascii" : label;
    return out;
  }
  // UTF-8 in disguise: unlabelled, or labelled with a Western single-byte
  // charset, yet valid multi-byte UTF-8. Genuine Latin-1 text practically
  // never forms valid UTF-8 sequences.
  const bool unlabelled = label.empty() || label == "unknown-8bit" || label == "x-unknown" ||
                          label == "default" || label == "x-user-defined" || label == "8bit";
  if ((unlabelled || label == "utf-8" || label == "utf8" || IsWesternLabel(label)) &&
      IsValidUtf8(text)) {
    out.utf8 = std::string(text);
    out.charsetUsed = "utf-8";
    out.asLabelled = label == "utf-8" || label == "utf8";
    return out;
  }
  if (label == "utf-8" || label == "utf8") {
    // Mostly UTF-8 with a few bad bytes: only those are lost. Text with
    // no valid multi-byte sequence at all was mislabelled and is read as
    // Windows-1252 below.
    RepairedUtf8 repaired = RepairUtf8(text);
    if (repaired.multiByte > 0 && repaired.multiByte >= repaired.replaced) {
      out.utf8 = std::move(repaired.text);
      out.charsetUsed = "utf-8";
      out.lossy = true;
      return out;
    }
  }
  if (unlabelled || label == "utf-8" || label == "utf8" || label == "us-ascii" ||
      label == "ascii" || label == "iso-8859-1" || label == "latin1" || label == "iso_8859-1" ||
      label == "ansi_x3.4-1968" || label == "windows-1252" || label == "cp1252") {
    out.utf8 = Utf8FromWindows1252(text);
    out.charsetUsed = "windows-1252";
    out.asLabelled = !unlabelled && label != "utf-8" && label != "utf8" && label != "us-ascii" &&
                     label != "ascii" && label != "ansi_x3.4-1968";
    return out;
  }
  if (ConvertWithIconv(bytes, IconvNameFor(label), out)) {
    out.charsetUsed = label;
    return out;
  }
  // A label nobody knows.
  out.utf8 = Utf8FromWindows1252(text);
  out.charsetUsed = "windows-1252";
  out.lossy = false;
  out.asLabelled = false;
  return out;
}

}  // namespace

int32_t CodepageOfCharset(std::string_view charset) {
  static const std::pair<const char*, int32_t> kCodepages[] = {
      {"utf-8", 65001},        {"utf8", 65001},         {"us-ascii", 20127},
      {"ascii", 20127},        {"iso-8859-1", 28591},   {"latin1", 28591},
      {"iso-8859-2", 28592},   {"iso-8859-3", 28593},   {"iso-8859-4", 28594},
      {"iso-8859-5", 28595},   {"iso-8859-6", 28596},   {"iso-8859-7", 28597},
      {"iso-8859-8", 28598},   {"iso-8859-8-i", 38598}, {"iso-8859-9", 28599},
      {"iso-8859-13", 28603},  {"iso-8859-15", 28605},  {"windows-1250", 1250},
      {"windows-1251", 1251},  {"windows-1252", 1252},  {"windows-1253", 1253},
      {"windows-1254", 1254},  {"windows-1255", 1255},  {"windows-1256", 1256},
      {"windows-1257", 1257},  {"windows-1258", 1258},  {"cp1252", 1252},
      {"koi8-r", 20866},       {"koi8-u", 21866},       {"iso-2022-jp", 50220},
      {"shift_jis", 932},      {"euc-jp", 51932},       {"gb2312", 936},
      {"gbk", 936},            {"gb18030", 54936},      {"big5", 950},
      {"euc-kr", 51949},       {"ks_c_5601-1987", 949}, {"iso-2022-kr", 50225},
      {"utf-7", 65000},        {"unicode-1-1-utf-7", 65000}, {"tis-620", 874},
      {"windows-874", 874},    {"utf-16", 1200},        {"utf-16le", 1200},
      {"utf-16be", 1201},      {"ibm850", 850},         {"cp850", 850},
      {"ibm866", 866},         {"cp866", 866},          {"macintosh", 10000},
  };
  const std::string label = AsciiLower(Trimmed(charset));
  for (const auto& [name, cp] : kCodepages)
    if (label == name) return cp;
  return 0;
}

}  // namespace mime::detail
