// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/conversion_engine.h"

#include <QSet>
#include <algorithm>
#include <exception>
#include <map>
#include <new>
#include <optional>

#include "engine/file_rows.h"
#include "engine/folder_list.h"
#include "engine/message_state_props.h"
#include "engine/relative_folder.h"
#include "engine/store_folders.h"
#include "engine/time_stamp.h"
#include "mapi/import_ahead.h"
#include "mapi/mapi_error.h"
#include "mapi/rdo_mail.h"
#include "platform/file_names.h"
#include "pst/prop_tags.h"

namespace verdaline {

qint64 ConversionReport::storedCount() const {
  return std::count_if(files.begin(), files.end(),
                       [](const FileResult& f) { return f.outcome != FileOutcome::kNotStored; });
}

namespace {

std::string SystemPath(const QString& path) { return EncodeFileName(path).toStdString(); }
QString Text(const std::exception& e) { return QString::fromStdString(e.what()); }

// One conversion: the state that lives from the first check to the logoff.
class Conversion {
 public:
  Conversion(const EngineDeps& deps, const ConversionRequest& request, const EngineCallbacks& callbacks)
      : deps_(deps), request_(request), cb_(callbacks) {}

  ConversionReport Run();
  ConversionReport RunRows();

 private:
  // Runs the caller's pump. What it throws ends the run; it is remembered so
  // that no handler of a single step takes it for that step's failure.
  void Yield();
  void RethrowYieldError() const {
    if (yieldError_) std::rethrow_exception(yieldError_);
  }
  bool Prepare();
  void CreateStore(const QString& stamp);
  // The store's folder tree in the current file, committed; its size then.
  void BuildTree();
  // The name of the run's file numbered n (2, 3...) beside the first.
  QString NumberedPath(int n) const;
  // Closes the current file and goes on in the next one, with the same
  // folder tree. Throws MapiError kDiskError when either fails: the run
  // then stops.
  void OpenNextFile();
  // After the current file was closed: it moved while it was written, so
  // the run names where it is now.
  void NoteWhereTheFileIs();
  // Makes sure the file takes the imported item without passing the size
  // limit, in the next file when not in this one (the item is then moved
  // there); the reason the message is not stored otherwise.
  QString MakeRoom(std::unique_ptr<mapi::RDOMail>& item, const QString& relative);
  // Starts reading and parsing the messages on worker threads, every one
  // in list order, so that the first are ready by the time the file and
  // its folders are made.
  void StartImports();
  void StoreFiles();
  FileResult StoreOne(size_t index);
  bool FromSources() const {
    return request_.files.empty() && (!request_.messages.empty() || request_.messageCount > 0);
  }
  size_t Count() const {
    if (!FromSources()) return rows_.size();
    return request_.messages.empty() ? request_.messageCount : request_.messages.size();
  }
  // A source message is looked at when its turn comes rather than copied
  // into a row: a million of them are held once, by the caller.
  SourceMessage Source(size_t index) const {
    return request_.messages.empty() ? request_.messageAt(index) : request_.messages[index];
  }
  model::MessageRef RefOf(size_t index) const {
    return FromSources() ? Source(index).ref : model::MessageRef(SystemPath(rows_[index].path));
  }
  static FileRow RowOf(const SourceMessage& m) {
    return {DecodeFileName(QByteArray::fromStdString(m.ref.path)), m.storeFolder};
  }
  FileRow RowOf(size_t index) const { return FromSources() ? RowOf(Source(index)) : rows_[index]; }
  // Each folder of the list once, in the order first met: many files share
  // one, and the folder list is sorted.
  void AddFolder(const QString& folder) {
    if ((relative_.empty() || relative_.back() != folder) && !seenFolders_.contains(folder)) {
      seenFolders_.insert(folder);
      relative_.push_back(folder);
    }
  }
  // The store folder of a path, found once and then held for the run.
  mapi::RDOFolder& FolderOf(const QString& relative);
  void Finish();
  void LogoffQuietly() noexcept;

  const EngineDeps& deps_;
  const ConversionRequest& request_;
  const EngineCallbacks& cb_;
  ConversionReport report_;
  std::vector<FileRow> rows_;
  std::vector<QString> relative_;
  QSet<QString> seenFolders_;
  std::exception_ptr yieldError_;
  // Declared before the session, so that it outlives it.
  mapi::Profile ownProfile_;  // when the caller gives none
  std::unique_ptr<mapi::RDOSession> session_;
  std::unique_ptr<mapi::RDOStore> store_;
  std::string storeEntryId_;
  StoreFolderTree tree_;
  std::map<QString, std::unique_ptr<mapi::RDOFolder>> folders_;
  // Files in the order they went into the current file, as runs of
  // consecutive files (first, last): one run when every file is stored.
  std::vector<std::pair<size_t, size_t>> stored_;
  size_t storedCount_ = 0;
  std::vector<QString> sourceFolders_;  // the tree's folders as the sources name them
  QString storeName_;                   // the current file's store display name
  QString stamp_;                       // the clock's text in the files' names
  int fileIndex_ = 0;                   // the current file's place in report_.pstPaths
  int nextSuffix_ = 2;                  // the next " (n)" to try for another file
  uint64_t emptySize_ = 0;              // the current file with its folders only; 0: unknown
  qint64 next_ = 0;             // the files before it were dealt with
  bool cancelled_ = false;
  // Last, so that its workers, which read the list, stop first.
  std::unique_ptr<mapi::ImportAhead> ahead_;
};

void Conversion::Yield() {
  if (!cb_.yield) return;
  try {
    cb_.yield();
  } catch (...) {
    yieldError_ = std::current_exception();
    throw;
  }
}

ConversionReport Conversion::Run() {
  if (FromSources()) {
    // A mail store's messages come with their folders; only a message
    // without one cannot be placed.
    for (size_t i = 0; i < Count(); ++i) {
      const SourceMessage m = Source(i);
      AddFolder(m.storeFolder);
      if (m.storeFolder.isEmpty())
        report_.listProblems.push_back({static_cast<qint64>(i), DecodeFileName(QByteArray::fromStdString(m.ref.path)),
                                        QStringLiteral("the message has no store folder")});
    }
    if (!report_.listProblems.empty()) {
      report_.status = RunStatus::kListRejected;
      return std::move(report_);
    }
    return RunRows();
  }
  const auto isFile = deps_.isFile ? deps_.isFile : IsExistingFile;
  RowCheck check = CheckRows(request_.files, request_.separator, isFile);
  if (check.emptyList || !check.problems.empty()) {
    report_.status = RunStatus::kListRejected;
    report_.emptyList = check.emptyList;
    if (!check.emptyList)
      for (auto& p : check.problems) report_.listProblems.push_back({p.index, p.text, p.reason});
    return std::move(report_);
  }
  rows_ = std::move(check.rows);
  for (const FileRow& row : rows_) AddFolder(row.relative);
  return RunRows();
}

ConversionReport Conversion::RunRows() {
  try {
    StartImports();
    if (!Prepare()) {
      ahead_.reset();
      return std::move(report_);
    }
    StoreFiles();
  } catch (...) {
    // The caller ends the run (its window is closing): finish the file so
    // that what was stored is kept.
    LogoffQuietly();
    throw;
  }
  Finish();
  return std::move(report_);
}

bool Conversion::Prepare() {
  try {
    mapi::SessionOptions options{deps_.writer, deps_.importer, deps_.profile ? deps_.profile : &ownProfile_};
    session_ = deps_.session ? deps_.session(options) : mapi::CreateRDOSession(std::move(options));
    session_->Logon();
    const QString stamp = FormatTimeStamp(deps_.now ? deps_.now() : QDateTime::currentDateTime());
    report_.storeName = request_.storeName.isEmpty() ? kStoreNamePrefix + stamp : request_.storeName;
    CreateStore(stamp);
    report_.folderPaths = BuildFolderList(relative_, [this] { Yield(); });
    relative_.clear();
    seenFolders_.clear();
    sourceFolders_ = report_.folderPaths;
    return true;
  } catch (const std::exception& e) {
    RethrowYieldError();
    report_.status = RunStatus::kSessionFailed;
    report_.sessionError = Text(e);
    // A file that was made is closed, so that it is a valid (empty) one.
    LogoffQuietly();
    return false;
  }
}

void Conversion::CreateStore(const QString& stamp) {
  stamp_ = stamp;
  const std::string displayName = report_.storeName.toStdString();
  if (!request_.outputFile.isEmpty()) {
    // Exactly this name: a file there already is refused, never replaced.
    report_.pstPath = request_.outputFile;
    store_ = session_->Stores().AddPSTStore(SystemPath(report_.pstPath), mapi::kStoreUnicode, displayName);
    nextSuffix_ = 2;
  } else {
    // A second conversion in the same second makes a second file: the next
    // free name, "... (2).pst" and on, never the first file overwritten.
    const QString stem = WithTrailingSeparator(request_.outputFolder, request_.separator) + kPstFilePrefix + stamp;
    for (int n = 1;; ++n) {
      report_.pstPath = stem + (n == 1 ? QString() : QStringLiteral(" (%1)").arg(n)) + QStringLiteral(".pst");
      try {
        store_ = session_->Stores().AddPSTStore(SystemPath(report_.pstPath), mapi::kStoreUnicode, displayName);
        nextSuffix_ = n + 1;
        break;
      } catch (const mapi::MapiError& e) {
        if (e.hresult() != mapi::hr::kCollision || n >= kMaxNameSuffix) throw;
        if (report_.renamedFrom.isEmpty()) report_.renamedFrom = report_.pstPath;
      }
    }
  }
  storeEntryId_ = store_->EntryID();
  storeName_ = report_.storeName;
  report_.pstPaths.push_back(report_.pstPath);
}

QString Conversion::NumberedPath(int n) const {
  const QString number = QStringLiteral(" (%1)").arg(n);
  if (request_.outputFile.isEmpty())
    return WithTrailingSeparator(request_.outputFolder, request_.separator) + kPstFilePrefix + stamp_ + number +
           QStringLiteral(".pst");
  // "out.pst" goes on in "out (2).pst"; a name without an extension takes
  // the number at its end.
  const QString& file = request_.outputFile;
  const qsizetype name = std::max(file.lastIndexOf(request_.separator), file.lastIndexOf(u'/')) + 1;
  const qsizetype dot = file.lastIndexOf(u'.');
  if (dot <= name) return file + number;
  return file.left(dot) + number + file.mid(dot);
}

void Conversion::BuildTree() {
  // Room the writer grows ahead stays below the limit too: a run killed
  // before its last commit leaves the file as large as it was grown.
  store_->LimitGrowth(request_.maxFileSize);
  tree_ = CreateStoreFolders(*session_, storeEntryId_, storeName_, sourceFolders_, [this] { Yield(); });
  // Committed, the file's size is known rather than bounded: the messages
  // have all the room the limit leaves.
  try {
    store_->Commit();
  } catch (const std::exception&) {
    // A file that cannot be written says so with its first message.
  }
  emptySize_ = store_->SizeIfClosed();
}

void Conversion::OpenNextFile() {
  try {
    folders_.clear();
    session_->Logoff();
    NoteWhereTheFileIs();
    session_->Logon();
    ++fileIndex_;
    storeName_ = QStringLiteral("%1 (%2)").arg(report_.storeName).arg(fileIndex_ + 1);
    for (;; ++nextSuffix_) {
      const QString path = NumberedPath(nextSuffix_);
      try {
        store_ = session_->Stores().AddPSTStore(SystemPath(path), mapi::kStoreUnicode, storeName_.toStdString());
        report_.pstPaths.push_back(path);
        // The messages of the file before are complete there; should this
        // file not be made, the run's failure counts them as kept.
        stored_.clear();
        storedCount_ = 0;
        break;
      } catch (const mapi::MapiError& e) {
        if (e.hresult() != mapi::hr::kCollision || nextSuffix_ >= kMaxNameSuffix) throw;
      }
    }
    ++nextSuffix_;
    storeEntryId_ = store_->EntryID();
  } catch (const mapi::MapiError& e) {
    RethrowYieldError();
    throw mapi::MapiError(mapi::hr::kDiskError, e.what());
  }
  BuildTree();
}

void Conversion::NoteWhereTheFileIs() {
  if (const std::string now = store_->FilePath(); !now.empty() && now != SystemPath(report_.pstPaths.back()))
    report_.pstPaths.back() = DecodeFileName(QByteArray::fromStdString(now));
}

QString Conversion::MakeRoom(std::unique_ptr<mapi::RDOMail>& item, const QString& relative) {
  const uint64_t limit = request_.maxFileSize;
  if (limit == 0 || emptySize_ == 0) return {};  // no limit, or a writer that cannot tell
  const uint64_t needed = StoredSizeBound(item->message());
  auto fitsIn = [needed, limit](uint64_t size) { return size <= limit && needed <= limit - size; };
  // On its own in an empty file it would pass the limit: no file takes it.
  if (!fitsIn(emptySize_)) return TooLargeReason(needed, limit);
  if (fitsIn(store_->SizeIfClosed())) return {};
  // What is not yet committed is counted at its most; once committed, the
  // file's size is known, and the message may fit after all.
  store_->Commit();
  if (fitsIn(store_->SizeIfClosed())) return {};
  if (stored_.empty()) return TooLargeReason(needed, limit);
  OpenNextFile();
  if (!fitsIn(emptySize_)) return TooLargeReason(needed, limit);
  if (const QString failure = FolderFailureFor(tree_.failures, relative); !failure.isEmpty())
    return QStringLiteral("its folder %1 could not be created: %2").arg(tree_.StoredPath(relative), failure);
  auto moved = FolderOf(relative).Items().Add(0);
  item->MoveContentTo(*moved);
  item = std::move(moved);
  return {};
}

void Conversion::StartImports() {
  mapi::ImportAhead::Limits limits;
  if (deps_.importThreads > 0) limits.threads = deps_.importThreads;
  limits.importer = deps_.importer;
  ahead_ = std::make_unique<mapi::ImportAhead>(Count(), [this](size_t i) { return RefOf(i); }, std::move(limits));
}

void Conversion::StoreFiles() {
  BuildTree();
  // From here on the run speaks of folders by the names they have in the store.
  for (QString& path : report_.folderPaths) path = tree_.StoredPath(path);
  report_.storedFolders = tree_.stored;

  // The files are read and parsed on worker threads, ahead of the loop
  // below, which stores each message as its turn comes; the files of a
  // folder that failed are passed over, and their imports dropped.
  mapi::ImportAhead& ahead = *ahead_;
  // However long a worker takes over a file, the caller's pump goes on
  // while the run waits for it, and what was stored reaches the disk within
  // the writer's commit interval. A commit that fails here fails again, and
  // is reported, when the next message is stored or the file is closed.
  ahead.SetPump([this] {
    try {
      store_->CommitIfDue();
    } catch (const std::exception&) {
    }
    Yield();
  });
  struct Handed {
    mapi::RDOSession& session;
    ~Handed() { session.SetImportAhead(nullptr); }
  } handed{*session_};
  session_->SetImportAhead(&ahead);

  const qint64 n = static_cast<qint64>(Count());
  if (request_.keepResults) report_.files.reserve(Count());
  while (next_ < n && report_.fileFailure.isEmpty()) {
    if (cb_.cancel && cb_.cancel->load()) {
      cancelled_ = true;
      break;
    }
    if (cb_.starting) cb_.starting(next_);
    Yield();
    FileResult result = StoreOne(static_cast<size_t>(next_));
    ++next_;
    if (request_.keepResults) report_.files.push_back(std::move(result));
    if (cb_.finished) cb_.finished(next_ - 1, n, request_.keepResults ? report_.files.back() : result);
  }
  Yield();
}

mapi::RDOFolder& Conversion::FolderOf(const QString& relative) {
  auto it = folders_.find(relative);
  if (it == folders_.end()) {
    auto folder = session_->GetFolderFromPath(
        (QStringLiteral("\\\\") + storeName_ + kStoreSeparator + tree_.StoredPath(relative)).toStdString());
    it = folders_.emplace(relative, std::move(folder)).first;
  }
  return *it->second;
}

FileResult Conversion::StoreOne(size_t index) {
  // A source message is asked for once.
  std::optional<SourceMessage> source;
  if (FromSources()) source = Source(index);
  const FileRow row = source ? RowOf(*source) : rows_[index];
  FileResult result{row.path, tree_.StoredPath(row.relative), FileOutcome::kNotStored, QString(), {}};
  const QString folderFailure = FolderFailureFor(tree_.failures, row.relative);
  if (!folderFailure.isEmpty()) {
    result.reason = QStringLiteral("its folder %1 could not be created: %2").arg(result.storeFolder, folderFailure);
    return result;
  }
  try {
    auto item = FolderOf(row.relative).Items().Add(0);
    item->Import(source ? source->ref : RefOf(index), mapi::kImportRfc822);
    for (const std::string& w : item->message().warnings) result.warnings.push_back(QString::fromStdString(w));
    if (QString refused = MakeRoom(item, row.relative); !refused.isEmpty()) {
      result.reason = std::move(refused);
      result.warnings.clear();
      return result;
    }
    if (source) {
      ApplyMessageState(item->MAPIOBJECT(), source->state, item->message());
    } else {
      // Read, unless the message is a draft by its own header (X-Unsent),
      // and has-attachments only when it has some.
      int32_t flags = SaysUnsent(item->message()) ? pst::tags::kMsgFlagUnsent : pst::tags::kMsgFlagRead;
      if (item->AttachmentCount() > 0) flags |= pst::tags::kMsgFlagHasAttach;
      mapi::CreateMAPIUtils()->HrSetOneProp(item->MAPIOBJECT(), pst::tags::kMessageFlags, flags, true);
    }
    item->Save();
    if (!stored_.empty() && stored_.back().second + 1 == index)
      ++stored_.back().second;
    else
      stored_.emplace_back(index, index);
    ++storedCount_;
    result.pstFile = fileIndex_;
    result.outcome = result.warnings.empty() ? FileOutcome::kStored : FileOutcome::kStoredWithWarnings;
  } catch (const std::bad_alloc&) {
    result.reason = QStringLiteral("there was not enough memory to convert it");
  } catch (const mapi::MapiError& e) {
    RethrowYieldError();
    // The file takes no more messages: stop here rather than fail every
    // file that is left the same way.
    if (e.hresult() == mapi::hr::kDiskError) report_.fileFailure = Text(e);
    result.reason = Text(e);
  } catch (const std::exception& e) {
    RethrowYieldError();
    result.reason = Text(e);
  }
  if (result.outcome == FileOutcome::kNotStored) result.warnings.clear();
  return result;
}

void Conversion::Finish() {
  try {
    session_->Logoff();
  } catch (const std::exception& e) {
    if (report_.fileFailure.isEmpty()) report_.fileFailure = Text(e);
  }
  session_.reset();
  folders_.clear();
  const int64_t inFile = store_->MessagesInFile();
  NoteWhereTheFileIs();
  report_.pstPath = report_.pstPaths.front();
  store_.reset();
  if (!report_.fileFailure.isEmpty()) {
    // What the file holds is what its last commit wrote: the first inFile
    // of the stored messages. Every other file of the list is not in it.
    report_.status = RunStatus::kFileFailed;
    const auto isFile = deps_.isFile ? deps_.isFile : IsExistingFile;
    report_.fileGone = !isFile(report_.pstPaths.back());
    report_.kept = report_.fileGone ? 0 : std::clamp<qint64>(inFile, 0, static_cast<qint64>(storedCount_));
    size_t position = 0;  // in the order stored
    for (const auto& [first, last] : stored_)
      for (size_t file = first; file <= last; ++file, ++position) {
        if (position < static_cast<size_t>(report_.kept)) continue;
        if (!request_.keepResults) {
          report_.notWritten.push_back(static_cast<qint64>(file));
          continue;
        }
        FileResult& lost = report_.files[file];
        lost.outcome = FileOutcome::kNotStored;
        lost.reason = kReasonNotWritten;
        lost.pstFile = -1;
        lost.warnings.clear();
      }
  } else if (cancelled_) {
    report_.status = RunStatus::kCancelled;
  }
  if (!request_.keepResults) return;
  for (size_t i = report_.files.size(); i < Count(); ++i) {
    const FileRow row = RowOf(i);
    report_.files.push_back({row.path, tree_.StoredPath(row.relative), FileOutcome::kNotStored, kReasonNotReached, {}});
  }
}

void Conversion::LogoffQuietly() noexcept {
  try {
    if (session_ && session_->LoggedOn()) session_->Logoff();
  } catch (...) {
    // What could not be written is lost either way; the caller's own end
    // (or failure) is what it reports.
  }
  folders_.clear();
  session_.reset();
  store_.reset();
}

}  // namespace

ConversionEngine::ConversionEngine(EngineDeps deps) : deps_(std::move(deps)) {}

ConversionReport ConversionEngine::Run(const ConversionRequest& request, const EngineCallbacks& callbacks) {
  return Conversion(deps_, request, callbacks).Run();
}

}  // namespace verdaline
