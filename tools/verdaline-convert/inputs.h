// SPDX-License-Identifier: GPL-3.0-or-later
// From the PATH arguments to the ordered list of messages: each PATH is
// scanned as mail (a message file, a Maildir, an mbox, a folder of any of
// them), and every message found becomes one message for the engine, in the
// order the scan gives. What is not converted has a record of its own, in
// its place among the others: a message its source marks as deleted, and
// whatever could not be taken (a path that does not exist, a file or folder
// that cannot be read, a path that holds no mail).
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <vector>

#include "command_line.h"
#include "engine/conversion_engine.h"
#include "message_list.h"

namespace verdaline::cli {

enum class RecordKind { kMessage, kExpunged, kProblem };

// A record of the report that is not a message to convert.
struct InputEntry {
  RecordKind kind = RecordKind::kProblem;  // kExpunged or kProblem
  size_t before = 0;        // how many of the messages come before it
  FileResult record;        // its path, store folder and reason
  qint64 index = -1;        // position in a file of many messages; -1: the file is one message
  qint64 offset = -1;       // where its entry starts in the file; -1: the whole file
};

struct Inputs {
  MessageList messages;           // in the order they are to be stored
  qint64 bytes = 0;               // the messages' bytes on disk, for progress
  std::vector<InputEntry> others;  // the other records, in order among the messages
  std::vector<QString> errors;    // "PATH: cause", for standard error
  qint64 expunged = 0;
};

// Every record of the report in order: message(i) for the message i,
// other(entry) for the others.
template <typename OnMessage, typename OnOther>
void ForEachInput(const Inputs& inputs, OnMessage&& message, OnOther&& other) {
  size_t next = 0;
  for (const InputEntry& entry : inputs.others) {
    for (; next < entry.before; ++next) message(next);
    other(entry);
  }
  for (; next < inputs.messages.size(); ++next) message(next);
}

// `cancel` set: stop scanning soon (a signal during a long scan), keeping
// what was found.
Inputs CollectInputs(const QStringList& paths, FolderMode folders, const std::atomic<bool>* cancel = nullptr);

// The store folder of a message whose source placed it in `names` (bytes as
// the source gives them: UTF-8 text or file names); "" when there are none.
QString SourceStoreFolder(const std::vector<std::string>& names);
// The window's store folder for messages kept in `container` (a directory
// or a file of many messages): its folders below the root of the file
// system. Throws RowPathError for the root itself.
QString PathStoreFolder(const std::string& container);

// `text` (a reason, a checker's line) for a line or record that names
// `path` already: a leading "PATH: " or "PATH at byte N: " is dropped, and
// the path anywhere else in it becomes "it" ("cannot open PATH: ..." is
// "cannot open it: ...", "PATH is empty" is "it is empty").
QString NamedOnce(const QString& path, const QString& text);

// The bytes a message takes on disk: its range, or what is left of its
// file from where it starts (0 for a file that cannot be looked at).
qint64 BytesOnDisk(const model::MessageRef& ref);

// The absolute, cleaned form of a path given relative to the current folder.
QString AbsolutePath(const QString& path);

}  // namespace verdaline::cli
