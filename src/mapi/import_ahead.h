// Message files imported on a worker thread ahead of the calls that ask for
// them. A caller that knows which files it is going to import, in which
// order, names them here; while this object lives, RDOMail::Import of the
// next named file takes the finished result instead of reading the file
// itself, so that parsing the next message overlaps storing the last one.
//
// Every import still happens exactly once and in the named order, with the
// importer that was current when this object was made; only the thread
// differs. Named files the caller passes over are imported all the same and
// their results dropped. An Import of a file that is not named further on
// stops the worker for good and imports on the caller's thread, so two
// imports never run at once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pst/message.h"

namespace mapi {

class ImportAhead {
 public:
  struct Limits {
    size_t files = 256;          // finished imports waiting at most
    uint64_t bytes = 64 << 20;   // their files' sizes together at most (one is always allowed)
  };

  // Starts the worker. Only one may live at a time in a process.
  explicit ImportAhead(std::vector<std::string> paths);
  ImportAhead(std::vector<std::string> paths, Limits limits);
  // The files named by index, 0 to count - 1, so that a long list need not
  // be copied: pathAt is called on both threads and must stay valid, and
  // give the same answers, while this object lives.
  ImportAhead(size_t count, std::function<std::string(size_t)> pathAt);
  ImportAhead(size_t count, std::function<std::string(size_t)> pathAt, Limits limits);
  // Stops the worker and waits for the import it is in.
  ~ImportAhead();
  ImportAhead(const ImportAhead&) = delete;
  ImportAhead& operator=(const ImportAhead&) = delete;

  // When path is the next named file: waits for its import and fills out,
  // or rethrows what the import threw; returns true. Otherwise returns
  // false and the caller imports the file itself.
  bool Take(const std::string& path, pst::Message& out);

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
  // The oldest finished import; false when the worker stopped without it.
  bool Pop(Done& d);

  const size_t count_;
  const std::function<std::string(size_t)> pathAt_;
  const Limits limits_;
  const std::function<void(const std::string&, pst::Message&)> import_;
  size_t next_ = 0;  // index of the next file Take expects

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Done> done_;  // results for files next_, next_ + 1, ...
  uint64_t doneBytes_ = 0;
  bool stopping_ = false;
  bool finished_ = false;  // the worker has left its loop
  std::thread worker_;
};

}  // namespace mapi
