// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapi/import_ahead.h"
#include "mapi/mapi_error.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include "mapi/message_memory.h"
#include "mime/message_file.h"
#include "mapi/profile.h"

namespace mapi {
namespace {

// Messages waiting to be freed by a worker at most.
constexpr size_t kMaxTrash = 64;
// A caller that has to wait for a result waits for this many in a row, so
// that it is not woken (and the worker it wakes not set aside) for every
// message when storing is quicker than importing.
constexpr size_t kWakeBatch = 16;

// What the file takes on disk, the first guess at what its import holds in
// memory; 0 when it cannot be looked at (the import will say why).
uint64_t FileBytes(const model::MessageRef& ref) {
  if (ref.length != model::MessageRef::kToEnd) return ref.length;
  mime::file::Facts facts;
  if (!mime::file::FactsOf(ref.path, facts) || facts.size < 0) return 0;
  return static_cast<uint64_t>(facts.size);
}

}  // namespace

struct ImportAhead::Shared {
  Shared(size_t n, std::function<model::MessageRef(size_t)> at, Limits l)
      : count(n), pathAt(std::move(at)), limits(std::move(l)), import(ImporterOrDefault(limits.importer)) {}

  const size_t count;
  // The caller's: called only under the mutex and never once stopping is
  // set, so that workers let go of never touch the caller's list again.
  const std::function<model::MessageRef(size_t)> pathAt;
  const Limits limits;
  const MessageImporter import;

  std::mutex mutex;
  std::condition_variable changed;  // for the workers: the caller moved on, or a limit eased
  std::condition_variable ready;    // for the caller
  size_t next = 0;     // the file the caller takes next
  size_t claimed = 0;  // the file the next free worker takes
  std::map<size_t, Done> done;
  std::vector<pst::Message> trash;  // for the next worker to free
  uint64_t heldBytes = 0;  // estimated memory of files claimed past the wait and not yet taken
  bool stopping = false;
  size_t running = 0;
  bool finished = false;  // every worker has left its loop
  bool callerWaiting = false;
  size_t wantEnd = 0;  // while the caller waits: the results it waits for end here
  size_t held = 0;     // workers waiting for the caller to take results

  // Whether the waiting caller is to go on: its batch is in, or a worker
  // waits for it, or no more is coming. Called under the mutex.
  bool CallerMayGo() const {
    if (finished) return true;
    if (done.count(next) == 0) return false;
    if (held > 0) return true;
    for (size_t j = next + 1; j < wantEnd; ++j)
      if (done.count(j) == 0) return false;
    return true;
  }
  // Wakes the caller when it waits and may now go on. Called under the mutex.
  void WakeCallerIfDue() {
    if (callerWaiting && CallerMayGo()) ready.notify_one();
  }
};

ImportAhead::ImportAhead(std::vector<std::string> paths) : ImportAhead(std::move(paths), Limits{}) {}

ImportAhead::ImportAhead(std::vector<std::string> paths, Limits limits)
    : ImportAhead(std::make_shared<const std::vector<std::string>>(std::move(paths)), std::move(limits)) {}

// The list is moved into shared ownership before anything reads its size:
// the order in which arguments are evaluated is unspecified.
ImportAhead::ImportAhead(std::shared_ptr<const std::vector<std::string>> list, Limits limits)
    : ImportAhead(
          list->size(), [list](size_t i) { return (*list)[i]; }, std::move(limits)) {}

ImportAhead::ImportAhead(size_t count, std::function<model::MessageRef(size_t)> pathAt)
    : ImportAhead(count, std::move(pathAt), Limits{}) {}

ImportAhead::ImportAhead(size_t count, std::function<model::MessageRef(size_t)> pathAt, Limits limits)
    : shared_(std::make_shared<Shared>(count, std::move(pathAt), std::move(limits))) {
  Shared& s = *shared_;
  const size_t threads = std::max<size_t>(1, s.limits.threads);
  s.running = threads;
  for (size_t t = 0; t < threads; ++t) {
    try {
      std::function<void()> body = [shared = shared_] { Work(shared); };
      workers_.push_back(s.limits.startThread ? s.limits.startThread(std::move(body)) : std::thread(std::move(body)));
    } catch (...) {
      // The system would start no more threads (a process limit, or no
      // memory for a stack): the workers there are do the work, and with
      // none the caller imports every file itself.
      break;
    }
  }
  std::lock_guard lock(s.mutex);
  s.running -= threads - workers_.size();
  if (s.running == 0) s.finished = true;
  if (workers_.empty()) s.next = s.count;  // nothing is taken from here
}

ImportAhead::~ImportAhead() { Stop(); }

size_t ImportAhead::DefaultThreads() {
  const unsigned cpus = std::thread::hardware_concurrency();
  return std::clamp<size_t>(cpus, 1, 3);
}

void ImportAhead::Stop() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
  }
  shared_->changed.notify_all();
  for (std::thread& w : workers_) {
    if (!w.joinable()) continue;
    // A worker may be deep in one long import; when the program is ending
    // it finishes on its own, with its share of the state.
    if (letGo_)
      w.detach();
    else
      w.join();
  }
}

void ImportAhead::Work(const std::shared_ptr<Shared>& shared) {
  Shared& s = *shared;
  pthread_setname_np(pthread_self(), "import-ahead");  // as tools like top and perf show it
  // Whatever fails outside an import (no memory for a path or a result)
  // stops the work ahead; the caller then imports the rest itself.
  try {
    for (;;) {
      size_t i = 0;
      model::MessageRef path;
      std::vector<pst::Message> trash;
      {
        std::lock_guard lock(s.mutex);
        trash.swap(s.trash);
        if (s.stopping || s.claimed >= s.count) break;
        i = s.claimed++;  // claimed before the wait, so that the order of claims is the order of files
        path = s.pathAt(i);
      }
      trash.clear();
      uint64_t bytes = FileBytes(path);
      {
        std::unique_lock lock(s.mutex);
        // The file the caller waits for always goes ahead; others only
        // within the limits.
        auto mayStart = [&] {
          return s.stopping || i == s.next ||
                 (i - s.next < s.limits.files && s.heldBytes + bytes <= s.limits.bytes);
        };
        if (!mayStart()) {
          ++s.held;
          s.WakeCallerIfDue();
          s.changed.wait(lock, mayStart);
          --s.held;
        }
        if (s.stopping) break;
        s.heldBytes += bytes;
      }
      Done d;
      try {
        s.import(path, d.message);
        // From here the message counts for what it holds, not for its file.
        const uint64_t real = MessageMemory(d.message);
        std::lock_guard lock(s.mutex);
        s.heldBytes = s.heldBytes - bytes + real;
        bytes = real;
      } catch (...) {
        d.error = std::current_exception();
        d.message = pst::Message{};
      }
      d.bytes = bytes;
      {
        std::lock_guard lock(s.mutex);
        s.done.emplace(i, std::move(d));
        s.WakeCallerIfDue();
      }
      s.changed.notify_all();
    }
  } catch (...) {
    std::lock_guard lock(s.mutex);
    s.stopping = true;
  }
  {
    std::lock_guard lock(s.mutex);
    if (--s.running == 0) s.finished = true;
    s.WakeCallerIfDue();
  }
  s.changed.notify_all();
}

bool ImportAhead::Pop(Done& d) {
  Shared& s = *shared_;
  {
    std::unique_lock lock(s.mutex);
    for (;;) {
      if (s.done.count(s.next) != 0 || s.finished) break;
      s.callerWaiting = true;
      s.wantEnd = std::min(s.next + kWakeBatch, s.count);
      s.ready.wait_for(lock, kPumpEvery, [&] { return s.CallerMayGo(); });
      s.callerWaiting = false;
      if (s.done.count(s.next) != 0 || s.finished) break;
      if (!pump_) continue;
      lock.unlock();
      try {
        pump_();
      } catch (...) {
        letGo_ = true;
        throw;
      }
      lock.lock();
    }
    auto it = s.done.find(s.next);
    if (it == s.done.end()) return false;  // stopped before it got this far
    d = std::move(it->second);
    s.done.erase(it);
    s.heldBytes -= d.bytes;
    ++s.next;
  }
  s.changed.notify_all();
  return true;
}

bool ImportAhead::Take(const model::MessageRef& path, pst::Message& out) {
  const size_t count = shared_->count;
  if (Next() >= count) return false;
  auto pathAt = [&](size_t i) {
    std::lock_guard lock(shared_->mutex);
    return shared_->pathAt(i);
  };
  if (pathAt(Next()) != path) {
    // A named file the caller passed over (its folder could not be found,
    // say): its result is dropped. A file never named, or named only
    // earlier, stops the work ahead, so that this import and the workers'
    // never run side by side.
    size_t at = Next() + 1;
    while (at < count && pathAt(at) != path) ++at;
    if (at == count) {
      StopForGood();
      return false;
    }
    while (Next() < at) {
      Done skipped;
      if (!Pop(skipped)) {
        StopForGood();
        return false;
      }
    }
  }
  Done d;
  if (!Pop(d)) {
    StopForGood();
    return false;
  }
  if (d.error) ThrowImportFailure(d.error);
  out = std::move(d.message);
  return true;
}

void ImportAhead::Dispose(pst::Message&& message) {
  pst::Message doomed = std::move(message);
  {
    std::lock_guard lock(shared_->mutex);
    // No worker to do it, or the workers are held up in long imports:
    // freed here.
    if (shared_->finished || shared_->stopping || shared_->trash.size() >= kMaxTrash) return;
    try {
      shared_->trash.push_back(std::move(doomed));
    } catch (const std::bad_alloc&) {
      // No room in the list: freed here after all.
    }
  }
}

size_t ImportAhead::Next() {
  std::lock_guard lock(shared_->mutex);
  return shared_->next;
}

void ImportAhead::StopForGood() {
  Stop();
  std::lock_guard lock(shared_->mutex);
  shared_->next = shared_->count;
}

}  // namespace mapi
