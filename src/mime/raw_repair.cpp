// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/raw_repair.h"

#include <algorithm>
#include <cstddef>

#include "mime/text_util.h"

namespace mime::detail {
namespace {

// Entities nested deeper than this are left to the parser as they are.
constexpr int kMaxDepth = 64;
// How far ahead a header line is looked past to decide what it is.
constexpr size_t kLookahead = 1 << 20;
constexpr size_t npos = std::string_view::npos;

struct Line {
  size_t begin;
  size_t end;   // end of the text, before CR LF
  size_t next;  // start of the following line
};

bool IsFieldNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 33 && u <= 126 && u != ':';
}

// The length of the field name when the line starts a field, else 0.
size_t FieldNameLength(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && IsFieldNameChar(line[i])) ++i;
  size_t j = i;
  while (j < line.size() && (line[j] == ' ' || line[j] == '\t')) ++j;
  return i > 0 && j < line.size() && line[j] == ':' ? i : 0;
}

// Fields that every mail or part has; after one of them, an odd line was a
// damaged field, not the start of the body.
bool IsStandardField(std::string_view name) {
  for (const char* f : {"from", "to", "cc", "subject", "date", "message-id", "mime-version",
                        "content-type", "content-transfer-encoding", "content-disposition"})
    if (EqualsIgnoreCase(name, f)) return true;
  return false;
}

// Reads like text: a space before any colon.
bool IsProse(std::string_view line) {
  const size_t colon = line.find(':');
  const size_t space = line.find(' ');
  return space != npos && (colon == npos || space < colon);
}

bool IsBase64Line(std::string_view line) {
  if (line.size() < 4) return false;
  for (char c : line) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '+' || c == '/' || c == '=';
    if (!ok) return false;
  }
  return true;
}

struct Field {
  std::string name;  // lower case
  std::string value;  // unfolded
  size_t begin;       // first byte of the field
  size_t next;        // first byte after its last line
};

struct ContentType {
  std::string type;  // "type/subtype", lower case
  std::string boundary;
};

ContentType ParseContentType(std::string_view value) {
  ContentType out;
  size_t i = value.find(';');
  std::string head(value.substr(0, i));
  head.erase(std::remove_if(head.begin(), head.end(), [](char c) { return c == ' ' || c == '\t'; }),
             head.end());
  out.type = AsciiLower(head);
  while (i != npos && i < value.size()) {
    ++i;  // past ';'
    const size_t eq = value.find('=', i);
    if (eq == npos) break;
    const std::string name = AsciiLower(Trimmed(value.substr(i, eq - i)));
    size_t v = eq + 1;
    while (v < value.size() && (value[v] == ' ' || value[v] == '\t')) ++v;
    std::string param;
    if (v < value.size() && value[v] == '"') {
      size_t q = v + 1;
      while (q < value.size() && value[q] != '"') {
        if (value[q] == '\\' && q + 1 < value.size()) ++q;
        param += value[q++];
      }
      i = value.find(';', q);
    } else {
      const size_t stop = value.find(';', v);
      param = Trimmed(value.substr(v, stop == npos ? npos : stop - v));
      i = stop;
    }
    if (name == "boundary" && out.boundary.empty()) out.boundary = param;
  }
  return out;
}

class Planner {
 public:
  Planner(std::string_view data, bool whole, std::vector<std::string>& notes)
      : d_(data), whole_(whole), notes_(notes) {}

  std::vector<RawEdit> Run() {
    Entity(0, d_.size(), 0, "text/plain");
    std::stable_sort(edits_.begin(), edits_.end(),
                     [](const RawEdit& a, const RawEdit& b) { return a.at < b.at; });
    return std::move(edits_);
  }

 private:
  Line LineAt(size_t pos, size_t limit) const {
    const size_t nl = d_.find('\n', pos);
    if (nl == npos || nl >= limit) return {pos, limit, limit};
    size_t end = nl;
    if (end > pos && d_[end - 1] == '\r') --end;
    return {pos, end, nl + 1};
  }
  std::string_view Text(const Line& l) const { return d_.substr(l.begin, l.end - l.begin); }

  // Whether the odd line `odd` (not a field, not the first) starts the body
  // of the block that ends at `end`. One look ahead serves all the odd
  // lines it passed, so that a block of many broken lines is read once.
  bool StartsBody(const Line& odd, size_t end) {
    if (odd.next < scan_.from || odd.next > scan_.stop || scan_.end != end) {
      scan_ = Lookahead{odd.next, odd.next, end, npos, npos, false};
      const size_t limit = std::min(end, odd.next + kLookahead);
      size_t pos = odd.next;
      while (pos < limit) {
        const Line l = LineAt(pos, limit);
        const std::string_view t = Text(l);
        if (t.empty()) break;
        if (const size_t n = FieldNameLength(t)) {
          if (IsStandardField(t.substr(0, n))) {
            scan_.standardAt = l.begin;
            break;
          }
          scan_.lastFieldAt = l.begin;
        }
        pos = l.next;
      }
      scan_.stop = pos;
      scan_.runsPast = !whole_ && pos >= d_.size();  // the block goes on past what was read
    }
    if (scan_.runsPast) return false;
    if (scan_.standardAt != npos && scan_.standardAt >= odd.next) return false;
    const bool anyField = scan_.lastFieldAt != npos && scan_.lastFieldAt >= odd.next;
    const std::string_view t = Text(odd);
    return IsProse(t) || (!anyField && IsBase64Line(t));
  }

  // Reads the header block at `begin`; returns where its content starts.
  // A part's block may be missing altogether (list software leaves a bare
  // note where it removed an attached message; some signers put the signed
  // text straight after the boundary): a first line that reads as text is
  // then its content. The message's own first line is never taken so.
  size_t ReadHeader(size_t begin, size_t end, std::vector<Field>& fields, bool isPart) {
    size_t pos = begin;
    bool first = true;
    while (pos < end) {
      const Line l = LineAt(pos, end);
      const std::string_view t = Text(l);
      if (t.empty()) return l.next;
      if (t[0] == ' ' || t[0] == '\t') {
        if (!fields.empty()) {
          fields.back().value += t;
          fields.back().next = l.next;
        }
      } else if (const size_t n = FieldNameLength(t)) {
        const size_t colon = t.find(':');
        fields.push_back(Field{AsciiLower(t.substr(0, n)), std::string(t.substr(colon + 1)),
                               l.begin, l.next});
      } else if (first && isPart && StartsBody(l, end)) {
        edits_.push_back(RawEdit{l.begin, 0, l.end < l.next && d_[l.end] == '\r' ? "\r\n" : "\n"});
        notes_.push_back("a part without a header section at byte " + std::to_string(l.begin) +
                         "; all of it is its content");
        return l.begin;
      } else if (!first && StartsBody(l, end)) {
        const bool crlf = l.begin >= 2 && d_[l.begin - 2] == '\r';
        edits_.push_back(RawEdit{l.begin, 0, crlf ? "\r\n" : "\n"});
        notes_.push_back("no blank line after a header block; its content starts at byte " +
                         std::to_string(l.begin));
        return l.begin;
      }
      first = false;
      pos = l.next;
    }
    return end;
  }

  bool HasDelimiter(size_t from, size_t end, const std::string& delimiter) const {
    const std::string_view body = d_.substr(from, end - from);
    if (body.compare(0, delimiter.size(), delimiter) == 0) return true;
    return body.find("\n" + delimiter) != npos;
  }

  void Entity(size_t begin, size_t end, int depth, const char* defaultType) {
    if (depth > kMaxDepth || begin >= end) return;
    std::vector<Field> fields;
    const size_t bodyStart = ReadHeader(begin, end, fields, depth > 0);
    std::vector<const Field*> types;
    std::string encoding;
    for (const Field& f : fields) {
      if (f.name == "content-type") types.push_back(&f);
      if (f.name == "content-transfer-encoding") encoding = AsciiLower(Trimmed(f.value));
    }
    ContentType type{defaultType, ""};
    if (!types.empty()) type = ParseContentType(types.back()->value);
    if (types.size() >= 2) {
      // The parser keeps the last of two Content-Type fields; when the
      // first is a multipart whose boundary is really there, the second is
      // the stray one.
      ContentType first = ParseContentType(types.front()->value);
      if (first.type.rfind("multipart/", 0) == 0 && !first.boundary.empty() &&
          HasDelimiter(bodyStart, end, "--" + first.boundary)) {
        for (size_t i = 1; i < types.size(); ++i)
          edits_.push_back(RawEdit{types[i]->begin, types[i]->next - types[i]->begin, ""});
        notes_.push_back("two Content-Type fields; the first, whose boundary occurs, is kept");
        type = std::move(first);
      }
    }
    if (!whole_) return;
    if (type.type.rfind("multipart/", 0) == 0 && !type.boundary.empty()) {
      if (!types.empty() && UnsplitBinary(*types.back(), bodyStart, end, type.boundary)) return;
      Multipart(bodyStart, end, type, depth);
    } else if (type.type == "message/rfc822" && encoding != "base64" &&
               encoding != "quoted-printable") {
      Entity(bodyStart, end, depth + 1, "text/plain");
    }
  }

  // A multipart whose boundary never occurs is one unsplit piece, which the
  // parser keeps as text that ends at the first NUL byte. Content with NUL
  // bytes is made a leaf of binary data instead, so that all of it is kept.
  bool UnsplitBinary(const Field& typeField, size_t bodyStart, size_t end, const std::string& boundary) {
    const std::string_view content = d_.substr(bodyStart, end - bodyStart);
    if (content.find('\0') == npos || HasDelimiter(bodyStart, end, "--" + boundary)) return false;
    const bool crlf = typeField.next >= 2 && d_[typeField.next - 2] == '\r';
    edits_.push_back(RawEdit{typeField.begin, typeField.next - typeField.begin,
                             std::string("Content-Type: application/octet-stream") + (crlf ? "\r\n" : "\n")});
    notes_.push_back("a multipart whose boundary never occurs holds binary data; it was kept whole as one file");
    return true;
  }

  void Multipart(size_t bodyStart, size_t end, const ContentType& type, int depth) {
    const std::string delimiter = "--" + type.boundary;
    const char* childType = type.type == "multipart/digest" ? "message/rfc822" : "text/plain";
    size_t partBegin = npos;
    size_t pos = bodyStart;
    while (pos < end) {
      // Straight to the next line that starts with the delimiter.
      size_t at = d_.find(delimiter, pos);
      while (at != npos && at < end && at > bodyStart && d_[at - 1] != '\n')
        at = d_.find(delimiter, at + 1);
      if (at == npos || at >= end) break;
      const Line l = LineAt(at, end);
      std::string_view t = Text(l);
      if (t.size() >= delimiter.size() && t.compare(0, delimiter.size(), delimiter) == 0) {
        std::string_view rest = t.substr(delimiter.size());
        const bool closing = rest.substr(0, 2) == "--";
        if (closing) rest.remove_prefix(2);
        if (Trimmed(rest).empty()) {
          if (partBegin != npos) ClosePart(partBegin, l, depth, childType);
          if (closing) {
            // "--b--" as the very last bytes of a CRLF file: the part
            // before it must not keep the CR of the line break.
            if (l.end == d_.size() && l.begin >= 2 && d_[l.begin - 2] == '\r')
              edits_.push_back(RawEdit{d_.size(), 0, "\r\n"});
            return;
          }
          partBegin = l.next;
        }
      }
      pos = l.next;
    }
    if (partBegin != npos && partBegin < end) Entity(partBegin, end, depth + 1, childType);
  }

  // The part from `partBegin` up to the delimiter line `delimiter`.
  void ClosePart(size_t partBegin, const Line& delimiter, int depth, const char* childType) {
    size_t partEnd = delimiter.begin;
    bool bareLf = false;
    if (partEnd > partBegin && d_[partEnd - 1] == '\n') {
      --partEnd;
      if (partEnd > partBegin && d_[partEnd - 1] == '\r')
        --partEnd;
      else
        bareLf = true;
    }
    Entity(partBegin, partEnd, depth + 1, childType);
    const bool delimiterCrlf = delimiter.end < delimiter.next && d_[delimiter.end] == '\r';
    if (bareLf && delimiterCrlf) {
      // A parser that takes CRLF before this boundary would cut the
      // part's last byte instead of the LF.
      edits_.push_back(RawEdit{delimiter.begin - 1, 0, "\r"});
      notes_.push_back("a bare line feed before a CRLF boundary at byte " +
                       std::to_string(delimiter.begin));
    }
  }

  // What the last look ahead found, for odd lines from `from` to `stop`.
  struct Lookahead {
    size_t from, stop, end, standardAt, lastFieldAt;
    bool runsPast;
  };
  Lookahead scan_{npos, 0, 0, npos, npos, false};

  std::string_view d_;
  bool whole_;
  std::vector<std::string>& notes_;
  std::vector<RawEdit> edits_;
};

}  // namespace

std::vector<RawEdit> PlanRawRepairs(std::string_view data, bool whole,
                                    std::vector<std::string>& notes) {
  return Planner(data, whole, notes).Run();
}

std::vector<uint8_t> Repaired(const std::vector<uint8_t>& message, std::vector<std::string>& notes) {
  const std::string_view text(reinterpret_cast<const char*>(message.data()), message.size());
  const std::vector<RawEdit> edits = PlanRawRepairs(text, true, notes);
  if (edits.empty()) return message;
  std::vector<uint8_t> out;
  out.reserve(message.size() + 16);
  size_t from = 0;
  for (const RawEdit& edit : edits) {
    if (edit.at > from) out.insert(out.end(), message.begin() + static_cast<std::ptrdiff_t>(from),
                                   message.begin() + static_cast<std::ptrdiff_t>(edit.at));
    out.insert(out.end(), edit.insert.begin(), edit.insert.end());
    from = std::max(from, edit.at + edit.remove);
  }
  if (from < message.size())
    out.insert(out.end(), message.begin() + static_cast<std::ptrdiff_t>(from), message.end());
  return out;
}

}  // namespace mime::detail
