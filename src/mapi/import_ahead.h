// Message files imported on worker threads ahead of the calls that ask for
// them. A caller that knows which files it is going to import, in which
// order, names them here; while this object lives, RDOMail::Import of the
// next named file takes the finished result instead of reading the file
// itself, so that parsing the next messages overlaps storing the last one.
//
// Every named file is imported exactly once, with the importer that was
// current when this object was made, and its result handed over in the
// named order; only the threads differ. Several workers may each import a
// different file at the same time (the importer keeps no state between
// files). Named files the caller passes over are imported all the same and
// their results dropped. An Import of a file that is not named further on
// stops the workers for good and imports on the caller's thread, so that
// the caller's import never runs beside theirs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pst/message.h"

namespace mapi {

class ImportAhead {
 public:
  // One worker less than the processors, so that storing never waits for
  // a processor: at least one, and no more than three.
  static size_t DefaultThreads();

  struct Limits {
    size_t files = 256;          // files started or finished ahead of the caller at most
    uint64_t bytes = 64 << 20;   // their sizes together at most (the caller's next is always allowed)
    size_t threads = DefaultThreads();  // workers
  };

  // Starts the workers. Only one may live at a time in a process.
  explicit ImportAhead(std::vector<std::string> paths);
  ImportAhead(std::vector<std::string> paths, Limits limits);
  // The files named by index, 0 to count - 1, so that a long list need not
  // be copied: pathAt is called on every thread and must stay valid, and
  // give the same answers, while this object lives.
  ImportAhead(size_t count, std::function<std::string(size_t)> pathAt);
  ImportAhead(size_t count, std::function<std::string(size_t)> pathAt, Limits limits);
  // Stops the workers and waits for the imports they are in.
  ~ImportAhead();
  ImportAhead(const ImportAhead&) = delete;
  ImportAhead& operator=(const ImportAhead&) = delete;

  // When path is the next named file: waits for its import and fills out,
  // or rethrows what the import threw; returns true. Otherwise returns
  // false and the caller imports the file itself.
  bool Take(const std::string& path, pst::Message& out);

  // Frees a message the caller is done with on a worker, when it next goes
  // round: the memory goes back to the thread that took it, and the caller
  // does not spend its time on it. Frees it at once when the workers have
  // stopped; what no worker came round for is freed with this object.
  void Dispose(pst::Message&& message);

  // The one living in this process, or nullptr.
  static ImportAhead* Current();

 private:
  struct Done {
    pst::Message message;
    std::exception_ptr error;
    uint64_t bytes = 0;
  };

  ImportAhead(std::shared_ptr<const std::vector<std::string>> list, Limits limits);
  void Work();
  void Stop();
  void StopForGood();  // and nothing more is taken
  size_t Next();
  // The result for file next_; false when the workers stopped without it.
  bool Pop(Done& d);

  const size_t count_;
  const std::function<std::string(size_t)> pathAt_;
  const Limits limits_;
  const std::function<void(const std::string&, pst::Message&)> import_;

  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;     // the file the caller takes next
  size_t claimed_ = 0;  // the file the next free worker takes
  std::map<size_t, Done> done_;
  std::vector<pst::Message> trash_;  // for the next worker to free
  uint64_t heldBytes_ = 0;  // sizes of files claimed past the wait and not yet taken
  bool stopping_ = false;
  size_t running_ = 0;
  bool finished_ = false;  // every worker has left its loop
  std::vector<std::thread> workers_;
};

}  // namespace mapi
