// SPDX-License-Identifier: GPL-3.0-or-later
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

// Every charset label the importer knows, in one list: the name iconv reads
// it by, and the Windows code page a mail client is told the bytes are in
// (PidTagInternetCodepage, which it also uses to read an HTML body kept as
// sent). Both must name the same characters: a label read here as a larger
// set than its code page (euc-kr as CP949) would leave the client unable to
// read characters the import found good. Labels seen in real mail are
// routinely used for the larger Windows set, so that set is what both name.
enum class Western : uint8_t {
  kNo,
  kWindows1252,  // read as Windows-1252, of which it is a subset
  kOther,        // a Western single-byte set Windows-1252 does not cover
};
struct CharsetLabel {
  const char* label;      // lower case
  const char* iconvName;  // nullptr: the label itself
  int32_t codepage;
  Western western = Western::kNo;
};
constexpr CharsetLabel kCharsets[] = {
    {"utf-8", nullptr, 65001},
    {"utf8", "UTF-8", 65001},
    {"us-ascii", nullptr, 20127, Western::kWindows1252},
    {"ascii", nullptr, 20127, Western::kWindows1252},
    {"ansi_x3.4-1968", nullptr, 20127, Western::kWindows1252},
    {"iso-8859-1", nullptr, 28591, Western::kWindows1252},
    {"latin1", nullptr, 28591, Western::kWindows1252},
    {"iso_8859-1", nullptr, 28591, Western::kWindows1252},
    {"windows-1252", nullptr, 1252, Western::kWindows1252},
    {"cp1252", nullptr, 1252, Western::kWindows1252},
    {"iso-8859-15", nullptr, 28605, Western::kOther},
    {"iso-8859-2", nullptr, 28592},
    {"iso-8859-3", nullptr, 28593},
    {"iso-8859-4", nullptr, 28594},
    {"iso-8859-5", nullptr, 28595},
    {"iso-8859-6", nullptr, 28596},
    {"iso-8859-7", nullptr, 28597},
    {"iso-8859-8", nullptr, 28598},
    {"iso-8859-8-i", "ISO-8859-8", 38598},  // the same letters in logical order
    {"iso-8859-9", nullptr, 28599},
    {"iso-8859-13", nullptr, 28603},
    {"windows-1250", nullptr, 1250},
    {"windows-1251", nullptr, 1251},
    {"windows-1253", nullptr, 1253},
    {"windows-1254", nullptr, 1254},
    {"windows-1255", nullptr, 1255},
    {"windows-1256", nullptr, 1256},
    {"windows-1257", nullptr, 1257},
    {"windows-1258", nullptr, 1258},
    {"koi8-r", nullptr, 20866},
    {"koi8-u", nullptr, 21866},
    {"ibm850", nullptr, 850},
    {"cp850", nullptr, 850},
    {"ibm866", nullptr, 866},
    {"cp866", nullptr, 866},
    {"macintosh", "MACINTOSH", 10000},
    {"x-mac-roman", "MACINTOSH", 10000},
    {"tis-620", "CP874", 874},
    {"windows-874", "CP874", 874},
    {"iso-2022-jp", "ISO-2022-JP-2", 50220},
    {"shift_jis", "CP932", 932},
    {"x-sjis", "CP932", 932},
    {"sjis", "CP932", 932},
    {"euc-jp", nullptr, 51932},
    {"gb2312", "GB18030", 936},
    {"gbk", "GB18030", 936},
    {"x-gbk", "GB18030", 936},
    {"cp936", "GB18030", 936},
    {"gb18030", nullptr, 54936},
    {"big5", "CP950", 950},
    {"x-big5", "CP950", 950},
    {"euc-kr", "CP949", 949},
    {"ks_c_5601-1987", "CP949", 949},
    {"ks_c_5601", "CP949", 949},
    {"iso-2022-kr", nullptr, 50225},
    {"utf-7", "UTF-7", 65000},
    {"unicode-1-1-utf-7", "UTF-7", 65000},
    {"utf7", "UTF-7", 65000},
    {"utf-16", nullptr, 1200},
    {"utf-16le", nullptr, 1200},
    {"utf-16be", nullptr, 1201},
};

// nullptr for a label not in the list. REQUIRES: label in lower case.
const CharsetLabel* Find(std::string_view label) {
  for (const CharsetLabel& c : kCharsets)
    if (label == c.label) return &c;
  return nullptr;
}

std::string IconvNameFor(const std::string& label) {
  const CharsetLabel* c = Find(label);
  return c && c->iconvName ? c->iconvName : label;
}

Western WesternOf(const std::string& label) {
  const CharsetLabel* c = Find(label);
  return c ? c->western : Western::kNo;
}

bool IsUtf8Label(const std::string& label) { return label == "utf-8" || label == "utf8"; }
bool IsAsciiLabel(const std::string& label) {
  const CharsetLabel* c = Find(label);
  return c && c->codepage == 20127;
}

// Whether text of ASCII bytes only reads as those characters: not in the
// 7-bit encodings of more (UTF-7, ISO-2022-*) nor in UTF-16 or UTF-32, whose
// ASCII letters come with zero bytes.
bool AsciiReadsAsItself(const std::string& label) {
  const std::string name = AsciiLower(IconvNameFor(label));
  return name != "utf-7" && name.rfind("iso-2022", 0) != 0 && name.rfind("utf-16", 0) != 0 &&
         name.rfind("utf-32", 0) != 0;
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

  if (IsAsciiOnly(bytes) && AsciiReadsAsItself(label)) {
    out.utf8 = std::string(text);
    out.charsetUsed = label.empty() ? "us-ascii" : label;
    return out;
  }
  // UTF-8 in disguise: unlabelled, or labelled with a Western single-byte
  // charset, yet valid multi-byte UTF-8. Genuine Latin-1 text practically
  // never forms valid UTF-8 sequences.
  const bool unlabelled = label.empty() || label == "unknown-8bit" || label == "x-unknown" ||
                          label == "default" || label == "x-user-defined" || label == "8bit";
  // UTF-16 sent without its label (or under a Western one) starts with its
  // byte order mark; read as single bytes it would show as "y-diaeresis,
  // thorn" and then letters between zero bytes.
  if ((unlabelled || WesternOf(label) != Western::kNo) && bytes.size() >= 2 &&
      ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)) &&
      ConvertWithIconv(bytes.subspan(2), bytes[0] == 0xFF ? "UTF-16LE" : "UTF-16BE", out)) {
    out.charsetUsed = bytes[0] == 0xFF ? "utf-16le" : "utf-16be";
    out.asLabelled = false;
    return out;
  }
  if ((unlabelled || IsUtf8Label(label) || WesternOf(label) != Western::kNo) && IsValidUtf8(text)) {
    out.utf8 = std::string(text);
    out.charsetUsed = "utf-8";
    out.asLabelled = IsUtf8Label(label);
    return out;
  }
  if (IsUtf8Label(label)) {
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
  if (unlabelled || IsUtf8Label(label) || WesternOf(label) == Western::kWindows1252) {
    out.utf8 = Utf8FromWindows1252(text);
    out.charsetUsed = "windows-1252";
    // Bytes above 0x7F were never US-ASCII.
    out.asLabelled = !unlabelled && !IsUtf8Label(label) && !IsAsciiLabel(label);
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
  const CharsetLabel* c = Find(AsciiLower(Trimmed(charset)));
  return c ? c->codepage : 0;
}

}  // namespace mime::detail
