// SPDX-License-Identifier: GPL-3.0-or-later
// Imports done ahead on a worker thread: the order, the errors, the limits,
// files passed over or never named, and stopping in the middle.
#include "mapi/import_ahead.h"
#include "mapi/mapi_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <new>
#include <thread>

#include "mapi/fake_pst_writer.h"
#include "mapi/profile.h"
#include "mapi/rdo_mail.h"
#include "mapi/rdo_session.h"
#include "mapi/temp_dir.h"
#include "pst/prop_tags.h"

namespace {

using mapi::ImportAhead;

// A fake importer that notes which file it imported on which thread, how
// many imports ran at once, and can be held back.
class RecordingImporter {
 public:
  mapi::MessageImporter Fn() {
    return [this](const std::string& path, pst::Message& out) { Import(path, out); };
  }
  // Limits whose imports are this importer's.
  ImportAhead::Limits Limits(size_t files = 256, uint64_t bytes = 1 << 30,
                             size_t threads = ImportAhead::DefaultThreads()) {
    ImportAhead::Limits l{files, bytes, threads};
    l.importer = Fn();
    return l;
  }
  // What an item's import does: the prepared result, or its own import.
  void TakeOrImport(ImportAhead& ahead, const std::string& path, pst::Message& out) {
    if (!ahead.Take(path, out)) Import(path, out);
  }

  void Import(const std::string& path, pst::Message& out) {
    const int now = ++active_;
    {
      std::lock_guard lock(mutex_);
      maxActive_ = std::max(maxActive_, now);
      if (std::this_thread::get_id() == testThread_) maxActiveByCaller_ = std::max(maxActiveByCaller_, now);
      calls_.push_back({path, std::this_thread::get_id()});
    }
    while (held_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    --active_;
    if (path.find("bad") != std::string::npos) throw std::runtime_error("cannot import " + path);
    out.props.Set(pst::tags::kSubject, path);
    if (bulk_) out.props.Set(pst::tags::kBody, std::string(bulk_, 'x'));
  }
  // Each message holds this many bytes of body besides.
  void SetBulk(size_t bytes) { bulk_ = bytes; }

  struct Call {
    std::string path;
    std::thread::id thread;
  };
  std::vector<Call> Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  int MaxActive() {
    std::lock_guard lock(mutex_);
    return maxActive_;
  }
  // Imports running at once while the test's own thread imported.
  int MaxActiveByCaller() {
    std::lock_guard lock(mutex_);
    return maxActiveByCaller_;
  }
  size_t CallCount() { return Calls().size(); }
  int Active() const { return active_.load(); }
  std::atomic<bool>& held() { return held_; }

 private:
  std::mutex mutex_;
  std::vector<Call> calls_;
  std::atomic<int> active_{0};
  int maxActive_ = 0;
  int maxActiveByCaller_ = 0;
  const std::thread::id testThread_ = std::this_thread::get_id();
  std::atomic<bool> held_{false};
  size_t bulk_ = 0;
};

std::string SubjectOf(const pst::Message& m) { return m.props.GetString(pst::TagId(pst::tags::kSubject)).value_or(""); }

// Waits (bounded) until cond holds; the worker runs on its own schedule.
template <typename F>
bool Eventually(F cond) {
  for (int i = 0; i < 5000; ++i) {
    if (cond()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return cond();
}

TEST(ImportAhead, ImportsEachNamedFileOnceOnAnotherThreadInOrder) {
  RecordingImporter importer;
  const std::vector<std::string> paths = {"a.eml", "bad.eml", "c.eml", "a.eml"};
  {
    ImportAhead ahead(paths, importer.Limits());
    pst::Message m;
    ASSERT_TRUE(ahead.Take("a.eml", m));
    EXPECT_EQ(SubjectOf(m), "a.eml");
    // The failure reaches the caller at its own turn, with its own text,
    // as the layer's one error type.
    try {
      ahead.Take("bad.eml", m);
      ADD_FAILURE() << "no error";
    } catch (const mapi::MapiError& e) {
      EXPECT_STREQ(e.what(), "cannot import bad.eml");
      EXPECT_EQ(e.hresult(), mapi::hr::kCallFailed);
    }
    ASSERT_TRUE(ahead.Take("c.eml", m));
    EXPECT_EQ(SubjectOf(m), "c.eml");
    ASSERT_TRUE(ahead.Take("a.eml", m));  // the same file named twice is imported twice
    EXPECT_EQ(SubjectOf(m), "a.eml");
    EXPECT_FALSE(ahead.Take("a.eml", m));  // all taken
  }
  // Workers may start them in any order; each was imported once, off the
  // caller's thread.
  const auto calls = importer.Calls();
  std::vector<std::string> imported;
  for (const auto& c : calls) {
    imported.push_back(c.path);
    EXPECT_NE(c.thread, std::this_thread::get_id());
  }
  std::vector<std::string> named = paths;
  std::sort(imported.begin(), imported.end());
  std::sort(named.begin(), named.end());
  EXPECT_EQ(imported, named);
}

TEST(ImportAhead, ResultsComeInOrderWhateverOrderTheWorkersFinishIn) {
  // The first file is held back while the others are done: the caller
  // still gets them in the named order.
  RecordingImporter importer;
  importer.held() = true;
  std::vector<std::string> paths;
  for (int i = 0; i < 30; ++i) paths.push_back("n" + std::to_string(i) + ".eml");
  ImportAhead ahead(paths, importer.Limits(256, 1 << 30, 4));
  ASSERT_TRUE(Eventually([&] { return importer.CallCount() >= 4; }));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    importer.held() = false;
  });
  pst::Message m;
  for (const auto& p : paths) {
    ASSERT_TRUE(ahead.Take(p, m));
    EXPECT_EQ(SubjectOf(m), p);
  }
  release.join();
  EXPECT_GT(importer.MaxActive(), 1);  // they did run side by side
}

TEST(ImportAhead, TheItemImportTakesThePreparedResult) {
  RecordingImporter importer;
  fake::Factory factory;
  testutil::TempDir dir;
  auto session = mapi::CreateRDOSession({factory.Writer(), importer.Fn()});
  session->Logon();
  auto store = session->Stores().AddPSTStore(dir / "a.pst", mapi::kStoreUnicode, "S");
  auto folder = store->IPMRootFolder();
  ImportAhead ahead({"one.eml", "two.eml"}, importer.Limits());
  session->SetImportAhead(&ahead);
  auto import = [&](const std::string& path) {
    auto item = folder->Items().Add(0);
    item->Import(path, mapi::kImportRfc822);
    return SubjectOf(item->message());
  };
  EXPECT_EQ(import("one.eml"), "one.eml");
  EXPECT_EQ(import("two.eml"), "two.eml");
  // A file not named is imported where it is asked for.
  EXPECT_EQ(import("three.eml"), "three.eml");
  session->SetImportAhead(nullptr);
  session->Logoff();
  const auto calls = importer.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_NE(calls[0].thread, std::this_thread::get_id());
  EXPECT_EQ(calls[2].thread, std::this_thread::get_id());
}

TEST(ImportAhead, PassedOverFilesAreDroppedAndUnnamedOnesStopTheWorker) {
  RecordingImporter importer;
  std::vector<std::string> paths;
  for (int i = 0; i < 40; ++i) paths.push_back("m" + std::to_string(i) + ".eml");
  ImportAhead ahead(paths, importer.Limits(4, 1 << 30));
  pst::Message m;
  ASSERT_TRUE(ahead.Take("m0.eml", m));
  ASSERT_TRUE(ahead.Take("m3.eml", m));  // m1 and m2 passed over
  EXPECT_EQ(SubjectOf(m), "m3.eml");
  EXPECT_FALSE(ahead.Take("m1.eml", m));  // only earlier: out of order
  // From here on the caller imports alone: the worker has stopped and
  // nothing more is taken from it.
  const size_t stoppedAt = importer.CallCount();
  EXPECT_LE(stoppedAt, 3u + 4u + 1u);
  importer.TakeOrImport(ahead, "m4.eml", m);
  EXPECT_EQ(SubjectOf(m), "m4.eml");
  EXPECT_EQ(importer.CallCount(), stoppedAt + 1);
  EXPECT_EQ(importer.MaxActiveByCaller(), 1);
}

TEST(ImportAhead, StaysWithinItsLimits) {
  testutil::TempDir dir;
  RecordingImporter importer;
  std::vector<std::string> paths;
  for (int i = 0; i < 12; ++i) {
    const std::string p = dir / ("f" + std::to_string(i) + ".eml");
    std::ofstream(p) << std::string(1000, 'x');
    paths.push_back(p);
  }
  {
    // By count: three files ahead of the caller at most, with any number
    // of workers.
    ImportAhead ahead(paths, importer.Limits(3, 1 << 30, 2));
    ASSERT_TRUE(Eventually([&] { return importer.CallCount() >= 3; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(importer.CallCount(), 3u);
    pst::Message m;
    ASSERT_TRUE(ahead.Take(paths[0], m));
    ASSERT_TRUE(Eventually([&] { return importer.CallCount() >= 4; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(importer.CallCount(), 4u);
  }
  RecordingImporter bySize;
  bySize.SetBulk(100'000);
  {
    // By memory: each 1,000-byte file becomes a message of 100 kB, and
    // 250 kB hold two of them; a third starts on its file's size before
    // the second is done, and the fourth waits.
    ImportAhead ahead(paths, bySize.Limits(100, 250'000, 1));
    ASSERT_TRUE(Eventually([&] { return bySize.CallCount() >= 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_LE(bySize.CallCount(), 3u);
    pst::Message m;
    for (const auto& p : paths) ASSERT_TRUE(ahead.Take(p, m));
    EXPECT_EQ(bySize.CallCount(), paths.size());
  }
  RecordingImporter twoWorkers;
  twoWorkers.SetBulk(100'000);
  {
    // With two workers, the caller's next file may come on top of the
    // limit when another worker filled it first.
    ImportAhead ahead(paths, twoWorkers.Limits(100, 250'000, 2));
    ASSERT_TRUE(Eventually([&] { return twoWorkers.CallCount() >= 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_LE(twoWorkers.CallCount(), 4u);
  }
}

TEST(ImportAhead, StopsInTheMiddle) {
  RecordingImporter importer;
  importer.held() = true;
  // Two workers: each takes one file and is held in it.
  auto ahead = std::make_unique<ImportAhead>(std::vector<std::string>{"x.eml", "y.eml", "z.eml"},
                                             importer.Limits(256, 1 << 30, 2));
  // Another may live beside it (each session knows its own).
  RecordingImporter otherImporter;
  ImportAhead other({"other.eml"}, otherImporter.Limits());
  pst::Message taken;
  ASSERT_TRUE(other.Take("other.eml", taken));
  EXPECT_EQ(SubjectOf(taken), "other.eml");
  ASSERT_TRUE(Eventually([&] { return importer.CallCount() == 2; }));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    importer.held() = false;
  });
  ahead.reset();  // waits for the imports in hand, starts no other
  release.join();
  EXPECT_EQ(importer.CallCount(), 2u);
}

// Notes the thread that destroys it.
class WatchedSource final : public pst::ByteSource {
 public:
  explicit WatchedSource(std::atomic<std::thread::id>* freedOn) : freedOn_(freedOn) {}
  ~WatchedSource() override { *freedOn_ = std::this_thread::get_id(); }
  uint64_t size() const override { return 0; }
  void read(uint64_t, std::span<uint8_t>) const override {}

 private:
  std::atomic<std::thread::id>* freedOn_;
};

pst::Message Watched(std::atomic<std::thread::id>* freedOn) {
  pst::Message m;
  m.attachments.emplace_back();
  m.attachments.back().data = std::make_shared<WatchedSource>(freedOn);
  return m;
}

TEST(ImportAhead, DisposedMessagesAreFreedByAWorkerWhileOneIsLeft) {
  RecordingImporter importer;
  std::atomic<std::thread::id> freedOn{};
  {
    ImportAhead ahead({"a.eml", "b.eml", "c.eml"}, importer.Limits(1, 1 << 30, 1));
    pst::Message m;
    ASSERT_TRUE(ahead.Take("a.eml", m));
    ahead.Dispose(Watched(&freedOn));
    ASSERT_TRUE(ahead.Take("b.eml", m));  // lets the worker go round again
    ASSERT_TRUE(ahead.Take("c.eml", m));
    ASSERT_TRUE(Eventually([&] { return freedOn.load() != std::thread::id{}; }));
    EXPECT_NE(freedOn.load(), std::this_thread::get_id());
  }
  {
    // Once the workers have stopped for good, freed at once.
    ImportAhead ahead({"a.eml", "b.eml"}, importer.Limits(1, 1 << 30, 1));
    pst::Message m;
    EXPECT_FALSE(ahead.Take("never named.eml", m));
    freedOn = std::thread::id{};
    ahead.Dispose(Watched(&freedOn));
    EXPECT_EQ(freedOn.load(), std::this_thread::get_id());
  }
}

// The system refuses threads (a process limit): the files are imported on
// the caller's thread, in order, and none is lost.
TEST(ImportAhead, WithoutThreadsTheCallerImportsEveryFile) {
  RecordingImporter importer;
  size_t started = 0;
  ImportAhead::Limits limits = importer.Limits(256, 1 << 30, 3);
  limits.startThread = [&](std::function<void()> body) {
    if (++started > 1) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(body));
  };
  const std::vector<std::string> paths = {"a.eml", "b.eml", "c.eml"};
  {
    ImportAhead one(paths, limits);  // one of three started
    EXPECT_EQ(one.Workers(), 1u);
    pst::Message m;
    for (const auto& p : paths) {
      importer.TakeOrImport(one, p, m);
      EXPECT_EQ(SubjectOf(m), p);
    }
  }
  started = 1;  // none at all
  ImportAhead none(paths, limits);
  EXPECT_EQ(none.Workers(), 0u);
  pst::Message m;
  for (const auto& p : paths) {
    importer.TakeOrImport(none, p, m);
    EXPECT_EQ(SubjectOf(m), p);
  }
  const auto calls = importer.Calls();
  ASSERT_EQ(calls.size(), 6u);
  for (size_t i = 3; i < 6; ++i) EXPECT_EQ(calls[i].thread, std::this_thread::get_id());
}

// A worker that fails outside any import (no memory for a path, say) ends
// the work ahead; the caller imports the rest itself.
TEST(ImportAhead, AFailingWorkerHandsTheRestToTheCaller) {
  RecordingImporter importer;
  const std::thread::id caller = std::this_thread::get_id();
  const std::vector<std::string> paths = {"a.eml", "b.eml", "c.eml"};
  ImportAhead ahead(
      paths.size(),
      [&](size_t i) {
        if (i == 1 && std::this_thread::get_id() != caller) throw std::bad_alloc();
        return paths[i];
      },
      importer.Limits(256, 1 << 30, 1));
  pst::Message m;
  for (const auto& p : paths) {
    importer.TakeOrImport(ahead, p, m);
    EXPECT_EQ(SubjectOf(m), p);
  }
}

// While the caller waits it keeps its window going; when the window is
// closed (the pump throws) it leaves at once, whatever a worker is in.
TEST(ImportAhead, TheWaitPumpsAndAThrowingPumpLeavesAtOnce) {
  auto importer = std::make_shared<RecordingImporter>();
  importer->held() = true;
  int pumped = 0;
  const auto start = std::chrono::steady_clock::now();
  {
    ImportAhead ahead({"stuck.eml", "next.eml"}, importer->Limits(256, 1 << 30, 1));
    ahead.SetPump([&] {
      if (++pumped == 5) throw 42;
    });
    pst::Message m;
    EXPECT_THROW(ahead.Take("stuck.eml", m), int);
  }
  EXPECT_EQ(pumped, 5);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // The worker let go of finishes on its own.
  importer->held() = false;
  ASSERT_TRUE(Eventually([&] { return importer->Active() == 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

}  // namespace
