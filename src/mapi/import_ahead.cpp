#include "mapi/import_ahead.h"

#include <pthread.h>
#include <sys/stat.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <utility>

#include "mapi/profile.h"

namespace mapi {
namespace {

std::atomic<ImportAhead*> g_current{nullptr};

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
  worker_ = std::thread([this] { Work(); });
}

ImportAhead::~ImportAhead() {
  Stop();
  g_current.store(nullptr);
}

ImportAhead* ImportAhead::Current() { return g_current.load(); }

void ImportAhead::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void ImportAhead::Work() {
  pthread_setname_np(pthread_self(), "import-ahead");  // as tools like top and perf show it
  for (size_t i = 0; i < count_; ++i) {
    const std::string path = pathAt_(i);
    const uint64_t bytes = FileBytes(path);
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] {
        return stopping_ || done_.empty() ||
               (done_.size() < limits_.files && doneBytes_ + bytes <= limits_.bytes);
      });
      if (stopping_) break;
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
      doneBytes_ += d.bytes;
      done_.push_back(std::move(d));
    }
    changed_.notify_all();
  }
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
}

bool ImportAhead::Pop(Done& d) {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !done_.empty() || finished_; });
    if (done_.empty()) return false;  // stopped before it got this far
    d = std::move(done_.front());
    done_.pop_front();
    doneBytes_ -= d.bytes;
  }
  changed_.notify_all();
  return true;
}

bool ImportAhead::Take(const std::string& path, pst::Message& out) {
  if (next_ >= count_) return false;
  if (pathAt_(next_) != path) {
    // A named file the caller passed over (its folder could not be found,
    // say): its result is dropped. A file never named, or named only
    // earlier, stops the work ahead, so that this import and the worker's
    // never run side by side.
    size_t at = next_ + 1;
    while (at < count_ && pathAt_(at) != path) ++at;
    if (at == count_) {
      Stop();
      next_ = count_;
      return false;
    }
    for (; next_ < at; ++next_) {
      Done skipped;
      if (!Pop(skipped)) {
        next_ = count_;
        return false;
      }
    }
  }
  Done d;
  if (!Pop(d)) {
    next_ = count_;
    return false;
  }
  ++next_;
  if (d.error) std::rethrow_exception(d.error);
  out = std::move(d.message);
  return true;
}

}  // namespace mapi
