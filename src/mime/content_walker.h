// SPDX-License-Identifier: GPL-3.0-or-later
// One recursive walk over a message's MIME tree that picks the bodies
// ([MS-OXCMAIL] 2.1.3.1: the first text/plain and text/html outside any
// attachment, both when they are alternatives of each other) and turns every
// other part into an attachment: leaves by value, message/rfc822 as embedded
// messages, the related parts of an HTML body as hidden inline attachments.
#pragma once

#include <gmime/gmime.h>

#include <memory>
#include <string>
#include <vector>

#include "mime/message_mapping.h"

namespace mime::detail {

class ContentWalker {
 public:
  ContentWalker(model::Message& out, const ImportContext& ctx, int messageDepth)
      : out_(out), ctx_(ctx), messageDepth_(messageDepth) {}

  // Walks the tree below `root`. With bodiesOnly, only bodies are taken and
  // no attachment is made (the signed content of a clear-signed message,
  // whose parts live on in the smime.p7m attachment).
  void Walk(GMimeObject* root, bool bodiesOnly = false);
  // Stores the bodies found into the message; call once after Walk.
  void Finish();

  // Keeps an object as one attachment, serialized as it was in the message.
  void AddEntityAttachment(GMimeObject* object, const std::string& fileName,
                           const std::string& mimeTag);
  // Keeps raw bytes as one attachment.
  void AddBytesAttachment(std::vector<uint8_t> bytes, const std::string& fileName,
                          const std::string& mimeTag);
  void AddSourceAttachment(std::shared_ptr<const model::ByteSource> data, const std::string& fileName,
                           const std::string& mimeTag);

  int visibleAttachments() const { return visible_; }

 private:
  void WalkObject(GMimeObject* object, int mimeDepth, GMimeObject* alternative);
  void WalkMultipart(GMimeMultipart* multipart, int mimeDepth, GMimeObject* alternative);
  void WalkRelated(GMimeMultipart* related, int mimeDepth, GMimeObject* alternative);
  bool TryTakeBody(GMimePart* part, GMimeObject* alternative);
  void KeepUnsplitContent(GMimeMultipart* multipart, GMimeObject* alternative);
  void AddPartAttachment(GMimePart* part, bool relatedInline);
  void AddEmbeddedMessage(GMimeMessagePart* part);
  void AddEmbeddedMessage(GMimeMessage* inner);
  bool AddEncodedMessage(GMimePart* part);
  // A winmail.dat part decoded onto the message (tnef_import.cpp): false
  // when the part is not TNEF or cannot be decoded, and is to be kept as it is.
  bool AddTnefContent(GMimePart* part);
  void MergeTnefProperties();
  model::Attachment& NewAttachment(const std::string& longName, const std::string& mimeTag,
                                 bool hidden);

  model::Message& out_;
  const ImportContext& ctx_;
  int messageDepth_;
  bool bodiesOnly_ = false;
  int visible_ = 0;
  int unnamed_ = 0;

  // Bodies found so far.
  bool havePlain_ = false;
  bool haveHtml_ = false;
  GMimeObject* bodyAlternative_ = nullptr;  // the multipart/alternative the first body came from
  std::string plain_;                       // UTF-8
  std::vector<uint8_t> html_;
  int32_t htmlCodepage_ = 0;
  int32_t plainCodepage_ = 0;
  // What decoded winmail.dat parts said of the message itself, merged in
  // by Finish once the MIME bodies are known.
  std::vector<model::Message> tnef_;
};

}  // namespace mime::detail
