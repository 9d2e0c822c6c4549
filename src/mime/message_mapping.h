// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces of the mapping from a parsed GMime message to a message object,
// each in its own file; ImportParsedMessage runs them in order.
#pragma once

#include <gmime/gmime.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "mime/gmime_session.h"
#include "mime/importer.h"
#include "model/message.h"

namespace mime::detail {

class ContentFile;

struct ImportContext {
  const ImportOptions& options;
  ImportWarnings* warnings;  // may be null
  int64_t now;               // FILETIME used for creation and modification times
  const ParsedMessage* top;  // the input as parsed, for the top-level message's raw bytes
  // The file the input is parsed from, when large parts may be read from
  // it after the import (streamed_part.h); null for input held in memory.
  std::shared_ptr<const ContentFile> file = nullptr;
  void Warn(std::string text) const {
    if (warnings && warnings->size() < 200) warnings->push_back(std::move(text));
  }
};

// A mailbox as a mail client shows it.
struct Mailbox {
  std::string name;     // decoded display name, may be empty
  std::string address;  // addr-spec
  // What a mail client shows: the name, or the address when there is none.
  std::string Shown() const { return name.empty() ? address : name; }
};
// Recipient rows of one type (PidTagRecipientType) for SMTP mailboxes.
void AddRecipients(model::Message& out, std::span<const Mailbox> boxes, int32_t type);
// The sender and sent-representing properties both for one SMTP mailbox.
void SetSenderAndAuthor(model::PropertyBag& props, const Mailbox& m);
// Names as the display lists (PidTagDisplayTo...) give them: "a; b".
std::string JoinShown(const std::vector<Mailbox>& boxes);

// Everything below, for the message itself (depth 0) or for one embedded in
// it (depth 1 and more).
void ImportParsedMessage(GMimeMessage* message, model::Message& out, const ImportContext& ctx,
                         int depth);

// Subject, times, identifiers, importance and friends, transport headers.
void MapEnvelope(GMimeMessage* message, model::Message& out, const ImportContext& ctx);
// Sender, sent-representing, reply-to, recipient rows and the display lists.
void MapAddresses(GMimeMessage* message, model::Message& out, const ImportContext& ctx);

// Whether X-Unsent marks the message a draft not yet sent.
bool IsUnsent(GMimeMessage* message);
// Keywords to the categories (PidNameKeywords), each once.
void MapCategories(GMimeMessage* message, model::Message& out, const ImportContext& ctx);

// Bodies and attachments from the MIME tree; sets the message class for
// signed and encrypted mail. Returns the number of visible attachments.
int MapContent(GMimeMessage* message, model::Message& out, const ImportContext& ctx, int depth);

// A message that carries a meeting invitation, cancellation or reply
// (text/calendar) becomes the meeting message Outlook shows; the calendar
// stays attached. Call after MapContent.
void MapMeetingMessage(GMimeMessage* message, model::Message& out, const ImportContext& ctx);
// A delivery status notification or a read receipt (multipart/report)
// becomes a report message; its parts stay attached. Returns whether it was
// one. Call after MapContent.
bool MapReportMessage(GMimeMessage* message, model::Message& out, const ImportContext& ctx);

}  // namespace mime::detail
