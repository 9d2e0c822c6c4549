// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion itself, without a window: an ordered list of message files
// and an output place in, one new .pst file and a result per file out.
//
// It checks every file's path, names the file and its store from the clock,
// creates the store's folder tree mirroring the files' folders, imports the
// files on worker threads ahead of the loop that stores them in list order,
// sets each message's flags, and logs off so that the file is complete. It
// shows nothing: callers (the window, the command line) turn the report and
// the callbacks into what their user sees.
//
// Everything it needs from outside is passed in (EngineDeps); nothing is set
// process-wide.
#pragma once

#include <QChar>
#include <QDateTime>
#include <QString>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "mapi/profile.h"
#include "model/message_ref.h"
#include "model/message_state.h"
#include "mapi/rdo_session.h"
#include "engine/size_limit.h"
#include "platform/paths.h"

namespace verdaline {

// What the engine needs from outside; empty members mean the real thing.
struct EngineDeps {
  mapi::WriterFactory writer;                  // empty: pst::PstWriter::Create
  mapi::MessageImporter importer;              // empty: the RFC 822 importer
  std::function<QDateTime()> now;              // empty: the system clock (names the file and store)
  std::function<bool(const QString&)> isFile;  // empty: stat(), anything but a folder
  size_t importThreads = 0;                    // 0: ImportAhead::DefaultThreads()
  // How the mail session is made; empty: mapi::CreateRDOSession. A caller may
  // make it fail as a missing mail library does.
  std::function<std::unique_ptr<mapi::RDOSession>(const mapi::SessionOptions&)> session;
  // The mail profile the run's store is attached to while it is written;
  // nullptr: one of the run's own, seen by nobody else.
  mapi::Profile* profile = nullptr;
};

enum class FileOutcome { kStored, kStoredWithWarnings, kNotStored };

struct FileResult {
  QString path;                   // as given (a row's path after its trim rule)
  QString storeFolder;            // source folder path below Top of Personal Folders, names as StoreFolderName gives them ("" when none)
  FileOutcome outcome = FileOutcome::kNotStored;
  QString reason;                 // why not stored ("" when stored)
  std::vector<QString> warnings;  // what the importer repaired or left out
  int pstFile = -1;               // stored: which of the report's pstPaths holds it
};

inline const QString kPstFilePrefix = QStringLiteral("OutlookExpressMessages");
inline const QString kStoreNamePrefix = QStringLiteral("Outlook Express Messages : Created - ");
// How far " (2)" ... goes before a taken name is given up on.
inline constexpr int kMaxNameSuffix = 999;

// The reasons of files the run never got to store because the file failed
// or the run stopped: a caller may list them apart from files that failed.
inline const QString kReasonNotWritten = QStringLiteral("not written before the file failed");
inline const QString kReasonNotReached = QStringLiteral("not reached");

// One message of a mail store (an mbox entry, a Maildir file...), with the
// store folder it goes to and what its source says of it.
struct SourceMessage {
  model::MessageRef ref;   // where its bytes are
  QString storeFolder;     // store folder path, names as stored joined by kStoreSeparator (never empty)
  model::MessageState state;
};

struct ConversionRequest {
  std::vector<QString> files;  // message files, in the order they are stored
  // Or, when `files` is empty, these messages in this order: each goes to
  // its own store folder and keeps its state; results name them by the
  // path of their file.
  std::vector<SourceMessage> messages;
  // Or, when both lists are empty, `messageCount` messages that
  // `messageAt` gives (called any number of times, from any thread): a
  // caller with a million messages holds them in a form of its own.
  size_t messageCount = 0;
  std::function<SourceMessage(size_t)> messageAt;
  // false: each file's result goes to `finished` only, and the report's
  // `files` stays empty (`notWritten` names the files the failed file lost):
  // a run of a million files then holds no result for each.
  bool keepResults = true;
  QString storeName;           // the store's display name; empty: the clock's
  QString outputFolder;        // the .pst is made here, named from the clock, next free " (2)" name
  QString outputFile;          // or exactly this file (no renaming; refused when it exists)
  // No file grows past this many bytes: when the next message would pass
  // it, the file is closed and the run goes on in "NAME (2).pst" beside it.
  uint64_t maxFileSize = kDefaultMaxFileSize;
  QChar separator = kPathSeparator;
};

struct EngineCallbacks {
  std::function<void()> yield;                 // the caller's event pump; may throw to end the run
  std::function<void(qint64 index)> starting;  // before file `index` (from 0) is dealt with
  std::function<void(qint64 index, qint64 total, const FileResult&)> finished;  // after it
  const std::atomic<bool>* cancel = nullptr;   // set: stop before the next file, keep a valid file
};

enum class RunStatus { kFinished, kListRejected, kSessionFailed, kFileFailed, kCancelled };

struct ListProblem {
  qint64 index;
  QString path;
  QString reason;
};

struct ConversionReport {
  RunStatus status = RunStatus::kFinished;
  std::vector<ListProblem> listProblems;  // kListRejected (empty + emptyList for no list)
  bool emptyList = false;
  QString sessionError;  // kSessionFailed: the cause (e.g. output exists / cannot be made)
  QString storeName, pstPath, renamedFrom;  // renamedFrom: the first name tried when it was taken
  // Every file the run made, in order: pstPath first, then "NAME (2).pst"...
  // when the size limit made the run go on in another file; their stores
  // are named storeName, then storeName + " (2)"...
  std::vector<QString> pstPaths;
  QString fileFailure;                      // kFileFailed: why the last file could not be written
  bool fileGone = false;                    // kFileFailed: that file no longer exists
  qint64 kept = 0;                          // kFileFailed: messages that file holds
  std::vector<QString> folderPaths;         // the store folders the run asked for, parents first
  std::map<QString, QString> storedFolders;  // source folder path -> its store folder path
  std::vector<FileResult> files;  // one per request file, in order, once the run started
                                  // (not reached / not written: kNotStored with that reason)
  // kFileFailed without keepResults: the files that `finished` gave as
  // stored but the file does not hold (kReasonNotWritten), in order.
  std::vector<qint64> notWritten;
  qint64 storedCount() const;
};

class ConversionEngine {
 public:
  explicit ConversionEngine(EngineDeps deps = {});
  ConversionReport Run(const ConversionRequest& request, const EngineCallbacks& callbacks = {});

 private:
  EngineDeps deps_;
};

}  // namespace verdaline
