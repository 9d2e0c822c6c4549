#include "mapi/import_ahead.h"

#include <pthread.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <utility>

#include "mapi/profile.h"

namespace mapi {
namespace {

std::atomic<ImportAhead*> g_current{nullptr};

// Messages waiting to be freed by a worker at most.
constexpr size_t kMaxTrash = 64;

// What the file takes on disk, as a measure of what its import holds in
// memory; 0 when it cannot be looked at (the import will say why).
uint64_t FileBytes(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || st.st_size < 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

}  // namespace

ImportAhead::ImportAhead(std::vector<std::string> paths) : ImportAhead(std::move(paths), Limits{}) {}

ImportAhead::ImportAhead(std::vector<std::string> paths, Limits limits)
    : ImportAhead(std::make_shared<const std::vector<std::string>>(std::move(paths)), limits) {}

// The list is moved into shared ownership before anything reads its size:
// the order in which arguments are evaluated is unspecified.
ImportAhead::ImportAhead(std::shared_ptr<const std::vector<std::string>> list, Limits limits)
    : ImportAhead(
          list->size(), [list](size_t i) { return (*list)[i]; }, limits) {}

ImportAhead::ImportAhead(size_t count, std::function<std::string(size_t)> pathAt)
    : ImportAhead(count, std::move(pathAt), Limits{}) {}

ImportAhead::ImportAhead(size_t count, std::function<std::string(size_t)> pathAt, Limits limits)
    : count_(count), pathAt_(std::move(pathAt)), limits_(limits), import_(CurrentMessageImporter()) {
  ImportAhead* none = nullptr;
  if (!g_current.compare_exchange_strong(none, this))
    throw std::logic_error("only one ImportAhead may live at a time");
  const size_t threads = std::max<size_t>(1, limits_.threads);
  running_ = threads;
  try {
    for (size_t t = 0; t < threads; ++t) workers_.emplace_back([this] { Work(); });
  } catch (...) {
    {
      std::lock_guard lock(mutex_);
      running_ -= threads - workers_.size();
      finished_ = running_ == 0;
    }
    Stop();
    g_current.store(nullptr);
    throw;
  }
}

ImportAhead::~ImportAhead() {
  Stop();
  g_current.store(nullptr);
}

ImportAhead* ImportAhead::Current() { return g_current.load(); }

size_t ImportAhead::DefaultThreads() {
  const unsigned cpus = std::thread::hardware_concurrency();
  return std::clamp<size_t>(cpus > 1 ? cpus - 1 : 1, 1, 3);
}

void ImportAhead::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& w : workers_)
    if (w.joinable()) w.join();
}

void ImportAhead::Work() {
  pthread_setname_np(pthread_self(), "import-ahead");  // as tools like top and perf show it
  for (;;) {
    size_t i = 0;
    std::vector<pst::Message> trash;
    {
      std::lock_guard lock(mutex_);
      trash.swap(trash_);
      if (stopping_ || claimed_ >= count_) break;
      i = claimed_++;  // claimed before the wait, so that the order of claims is the order of files
    }
    trash.clear();
    const std::string path = pathAt_(i);
    const uint64_t bytes = FileBytes(path);
    {
      std::unique_lock lock(mutex_);
      // The file the caller waits for always goes ahead; others only
      // within the limits.
      changed_.wait(lock, [&] {
        return stopping_ || i == next_ ||
               (i - next_ < limits_.files && heldBytes_ + bytes <= limits_.bytes);
      });
      if (stopping_) break;
      heldBytes_ += bytes;
    }
    Done d;
    d.bytes = bytes;
    try {
      import_(path, d.message);
    } catch (...) {
      d.error = std::current_exception();
      d.message = pst::Message{};
    }
    {
      std::lock_guard lock(mutex_);
      done_.emplace(i, std::move(d));
    }
    changed_.notify_all();
  }
  {
    std::lock_guard lock(mutex_);
    if (--running_ == 0) finished_ = true;
  }
  changed_.notify_all();
}

bool ImportAhead::Pop(Done& d) {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return done_.count(next_) != 0 || finished_; });
    auto it = done_.find(next_);
    if (it == done_.end()) return false;  // stopped before it got this far
    d = std::move(it->second);
    done_.erase(it);
    heldBytes_ -= d.bytes;
    ++next_;
  }
  changed_.notify_all();
  return true;
}

bool ImportAhead::Take(const std::string& path, pst::Message& out) {
  if (Next() >= count_) return false;
  if (pathAt_(Next()) != path) {
    // A named file the caller passed over (its folder could not be found,
    // say): its result is dropped. A file never named, or named only
    // earlier, stops the work ahead, so that this import and the workers'
    // never run side by side.
    size_t at = Next() + 1;
    while (at < count_ && pathAt_(at) != path) ++at;
    if (at == count_) {
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
  if (d.error) std::rethrow_exception(d.error);
  out = std::move(d.message);
  return true;
}

void ImportAhead::Dispose(pst::Message&& message) {
  pst::Message doomed = std::move(message);
  {
    std::lock_guard lock(mutex_);
    // No worker to do it, or the workers are held up in long imports:
    // freed here.
    if (finished_ || stopping_ || trash_.size() >= kMaxTrash) return;
    trash_.push_back(std::move(doomed));
  }
}

size_t ImportAhead::Next() {
  std::lock_guard lock(mutex_);
  return next_;
}

void ImportAhead::StopForGood() {
  Stop();
  std::lock_guard lock(mutex_);
  next_ = count_;
}

}  // namespace mapi
