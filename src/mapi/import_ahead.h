// SPDX-License-Identifier: GPL-3.0-or-later
// Message files imported on worker threads ahead of the calls that ask for
// them. A caller that knows which files it is going to import, in which
// order, names them here; while this object lives, RDOMail::Import of the
// next named file takes the finished result instead of reading the file
// itself, so that parsing the next messages overlaps storing the last one.
//
// Every named file is imported exactly once, with the importer its limits
// name, and its result handed over in the
// named order; only the threads differ. Several workers may each import a
// different file at the same time (the importer keeps no state between
// files). Named files the caller passes over are imported all the same and
// their results dropped. An Import of a file that is not named further on
// stops the workers for good and imports on the caller's thread, so that
// the caller's import never runs beside theirs.
//
// Nothing here waits without bound on the caller's thread: while it waits
// for a result it runs the pump it was given (the window's event loop) every
// few milliseconds. When the pump throws (the program is ending), the
// exception reaches the caller and this object lets go of workers still in
// an import instead of waiting for them. When no worker can be started (a
// process limit), every file is imported on the caller's thread instead.
#pragma once

#include <chrono>
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

#include "mapi/profile.h"
#include "model/message_ref.h"
#include "pst/message.h"

namespace mapi {

class ImportAhead {
 public:
  // As many workers as processors, at least one and no more than three.
  // Storing does not go short: workers as far ahead as the limits allow
  // wait for it, and when importing is the slower side (most runs on two
  // processors), the processor storing leaves idle between messages imports.
  static size_t DefaultThreads();

  using ThreadStarter = std::function<std::thread(std::function<void()>)>;
  struct Limits {
    size_t files = 256;          // files started or finished ahead of the caller at most
    // What their messages hold in memory together at most (the caller's
    // next is always allowed): a file's size stands for its message until
    // the import says how large the message really is.
    uint64_t bytes = 64 << 20;
    size_t threads = DefaultThreads();  // workers
    ThreadStarter startThread;          // empty: std::thread; a test may make it fail
    MessageImporter importer;           // empty: the RFC 822 importer
  };

  // Starts the workers.
  explicit ImportAhead(std::vector<std::string> paths);
  ImportAhead(std::vector<std::string> paths, Limits limits);
  // The files named by index, 0 to count - 1, so that a long list need not
  // be copied: pathAt is called on every thread and must stay valid, and
  // give the same answers, while this object lives.
  ImportAhead(size_t count, std::function<model::MessageRef(size_t)> pathAt);
  ImportAhead(size_t count, std::function<model::MessageRef(size_t)> pathAt, Limits limits);
  // Stops the workers and waits for the imports they are in.
  ~ImportAhead();
  ImportAhead(const ImportAhead&) = delete;
  ImportAhead& operator=(const ImportAhead&) = delete;

  // When path is the next named file: waits for its import and fills out,
  // or throws what the import threw as a MapiError; returns true. Otherwise returns
  // false and the caller imports the file itself. Rethrows what the pump
  // throws while it waits.
  bool Take(const model::MessageRef& path, pst::Message& out);

  // Run on the caller's thread every kPumpEvery while Take waits.
  void SetPump(std::function<void()> pump) { pump_ = std::move(pump); }
  static constexpr std::chrono::milliseconds kPumpEvery{20};

  // Workers started (fewer than asked when the system would not start more).
  size_t Workers() const { return workers_.size(); }

  // Frees a message the caller is done with on a worker, when it next goes
  // round: the memory goes back to the thread that took it, and the caller
  // does not spend its time on it. Frees it at once when the workers have
  // stopped; what no worker came round for is freed with this object.
  void Dispose(pst::Message&& message);

 private:
  struct Done {
    pst::Message message;
    std::exception_ptr error;
    uint64_t bytes = 0;
  };
  // What the workers share with this object; it outlives this object when
  // workers are let go in the middle of an import.
  struct Shared;

  ImportAhead(std::shared_ptr<const std::vector<std::string>> list, Limits limits);
  static void Work(const std::shared_ptr<Shared>& shared);
  void Stop();
  void StopForGood();  // and nothing more is taken
  size_t Next();
  // The result for file next_; false when the workers stopped without it.
  bool Pop(Done& d);

  const std::shared_ptr<Shared> shared_;
  std::function<void()> pump_;
  bool letGo_ = false;  // the pump threw: workers are not waited for
  std::vector<std::thread> workers_;
};

}  // namespace mapi
