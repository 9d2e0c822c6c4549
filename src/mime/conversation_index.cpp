// SPDX-License-Identifier: GPL-3.0-or-later
#include "mime/conversation_index.h"

#include <glib.h>

#include "mime/text_util.h"

namespace mime::detail {
namespace {

constexpr size_t kHeaderSize = 22;
constexpr size_t kLevelSize = 5;
// More ancestors than this add nothing to the tree a client draws.
constexpr size_t kMaxLevels = 32;

std::vector<uint8_t> FromThreadIndex(const std::string& text) {
  const std::string clean = Trimmed(text);
  if (clean.empty()) return {};
  gsize length = 0;
  guchar* decoded = g_base64_decode(clean.c_str(), &length);  // never fails, may be short
  std::vector<uint8_t> out(decoded, decoded + length);
  g_free(decoded);
  if (out.size() < kHeaderSize || (out.size() - kHeaderSize) % kLevelSize != 0 || out[0] != 0x01)
    return {};
  return out;
}

// The message ids in `text`, in order ("<a@b> <c@d>").
std::vector<std::string> MessageIds(const std::string& text) {
  std::vector<std::string> ids;
  size_t pos = 0;
  while ((pos = text.find('<', pos)) != std::string::npos) {
    const size_t close = text.find('>', pos);
    if (close == std::string::npos) break;
    ids.push_back(text.substr(pos, close - pos + 1));
    pos = close + 1;
  }
  return ids;
}

// A name-based GUID (RFC 4122 version 3) from `key`; the first three fields
// are written big-endian, as the index holds them.
void AppendGuid(const std::string& key, std::vector<uint8_t>& out) {
  GChecksum* md5 = g_checksum_new(G_CHECKSUM_MD5);
  g_checksum_update(md5, reinterpret_cast<const guchar*>(key.data()), static_cast<gssize>(key.size()));
  guint8 digest[16];
  gsize size = sizeof digest;
  g_checksum_get_digest(md5, digest, &size);
  g_checksum_free(md5);
  digest[6] = static_cast<guint8>((digest[6] & 0x0F) | 0x30);
  digest[8] = static_cast<guint8>((digest[8] & 0x3F) | 0x80);
  out.insert(out.end(), digest, digest + 16);
}

}  // namespace

std::vector<uint8_t> ConversationIndexFor(const ThreadFields& fields) {
  if (std::vector<uint8_t> given = FromThreadIndex(fields.threadIndex); !given.empty()) return given;
  std::vector<std::string> ancestors = MessageIds(fields.references);
  const std::vector<std::string> parent = MessageIds(fields.inReplyTo);
  if (!parent.empty() && (ancestors.empty() || ancestors.back() != parent.front()))
    ancestors.push_back(parent.front());
  const std::string own = MessageIds(fields.messageId).empty() ? std::string()
                                                               : MessageIds(fields.messageId).front();
  const std::string root = !ancestors.empty() ? ancestors.front()
                           : !own.empty()     ? own
                                              : fields.fallbackKey;

  std::vector<uint8_t> out;
  out.reserve(kHeaderSize + kLevelSize * std::min(ancestors.size(), kMaxLevels));
  out.push_back(0x01);
  // The 40 high bits of the FILETIME, most significant byte first.
  const uint64_t time = static_cast<uint64_t>(fields.sent > 0 ? fields.sent : 0);
  for (int shift = 56; shift >= 24; shift -= 8) out.push_back(static_cast<uint8_t>(time >> shift));
  AppendGuid(root, out);
  // One response level per ancestor. The times of the ancestors are not
  // known here, so each level has a zero time delta; its random nibble
  // comes from the ancestor's id so that the index stays repeatable.
  for (size_t level = 0; level < ancestors.size() && level < kMaxLevels; ++level) {
    const guint hash = g_str_hash(ancestors[level].c_str());
    out.insert(out.end(), {0, 0, 0, 0, static_cast<uint8_t>((hash & 0x0F) << 4)});
  }
  return out;
}

}  // namespace mime::detail
