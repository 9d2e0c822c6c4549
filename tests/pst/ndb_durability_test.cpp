// SPDX-License-Identifier: GPL-3.0-or-later
// The last committed state survives: the next transaction never overwrites
// it, a process killed at any write inside a commit leaves a readable store,
// and a failing write surfaces as PstError with the file still at its last
// commit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "pst/ndb/node_database.h"
#include "pst/ndb_test_reader.h"
#include "pst/ndb_test_util.h"
#include "pst/pst_writer.h"

namespace pst {
namespace {

using testing::NdbTestReader;
using testing::Pattern;
using testing::ScratchDir;

using Model = std::map<Nid, std::vector<uint8_t>>;

// State A: 60 nodes, some with large streams.
Model WriteStateA(NodeDatabase& db) {
  Model m;
  for (uint32_t i = 0; i < 60; ++i) {
    std::vector<uint8_t> bytes = Pattern(i % 10 == 0 ? 30000 : 100 + i, i);
    const Nid nid = (0x400 + i) << 5 | 4;
    db.SetNode(nid, db.WriteStream(MemorySource(bytes)), 0, 0x122);
    m[nid] = std::move(bytes);
  }
  return m;
}

// State B: every third node replaced, every fifth deleted, 40 added.
Model WriteStateB(NodeDatabase& db, Model m) {
  uint32_t i = 0;
  for (auto it = m.begin(); it != m.end(); ++i) {
    if (i % 5 == 0) {
      db.DeleteNode(it->first);
      it = m.erase(it);
      continue;
    }
    if (i % 3 == 0) {
      it->second = Pattern(200 + i, 1000 + i);
      db.SetNode(it->first, db.WriteStream(MemorySource(it->second)), 0, 0x122);
    }
    ++it;
  }
  for (uint32_t k = 0; k < 40; ++k) {
    std::vector<uint8_t> bytes = Pattern(50 + k * 300, 2000 + k);
    const Nid nid = (0x800 + k) << 5 | 4;
    db.SetNode(nid, db.WriteStream(MemorySource(bytes)), 0, 0x122);
    m[nid] = std::move(bytes);
  }
  return m;
}

bool Holds(NdbTestReader& r, const Model& m) {
  if (r.nodes().size() != m.size()) return false;
  for (const auto& [nid, bytes] : m) {
    auto it = r.nodes().find(nid);
    if (it == r.nodes().end() || r.Stream(it->second.data) != bytes) return false;
  }
  return true;
}

TEST(NodeDatabaseDurability, NextTransactionLeavesTheCommittedStateUntouched) {
  ScratchDir dir;
  const std::string path = dir.File("cow.pst");
  auto db = NodeDatabase::Create(path, {.deterministic = true});
  const Model a = WriteStateA(*db);
  db->Commit();
  const std::vector<uint8_t> headerA = NdbTestReader::Slurp(path);
  const Model b = WriteStateB(*db, a);
  // Before and after the next commit, state A is still whole in the file.
  for (int pass = 0; pass < 2; ++pass) {
    NdbTestReader old(NdbTestReader::Slurp(path),
                      std::vector<uint8_t>(headerA.begin(), headerA.begin() + 0x234));
    EXPECT_TRUE(old.faults().empty()) << old.FaultText();
    EXPECT_TRUE(Holds(old, a));
    if (pass == 0) db->Commit();
  }
  NdbTestReader now(NdbTestReader::Slurp(path));
  now.CheckMaps();
  EXPECT_TRUE(now.faults().empty()) << now.FaultText();
  EXPECT_TRUE(Holds(now, b));
  EXPECT_GT(now.dwUnique, NdbTestReader(headerA).dwUnique);
}

// Runs fn in a child process and returns its exit status (or 1000 + signal).
template <typename Fn>
int InChild(Fn fn) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int code = 1;
    try {
      code = fn();
    } catch (...) {
      code = 2;
    }
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

TEST(NodeDatabaseDurability, KilledAtAnyWriteLeavesACommittedState) {
  ScratchDir dir;
  // Count the writes of creation and of both commits once.
  int64_t created = 0, beforeCommitA = 0, committedA = 0, beforeCommitB = 0, total = 0;
  Model a, b;
  {
    auto db = NodeDatabase::Create(dir.File("count.pst"), {.deterministic = true});
    created = db->WriteCount();
    a = WriteStateA(*db);
    beforeCommitA = db->WriteCount();
    db->Commit();
    committedA = db->WriteCount();
    b = WriteStateB(*db, a);
    beforeCommitB = db->WriteCount();
    db->Commit();
    total = db->WriteCount();
  }
  ASSERT_GT(total, created + 20);
  // Every write of both commits, and a sample of the block writes between.
  std::vector<int64_t> points;
  for (int64_t n = 1; n <= total + 1; ++n) {
    const bool inCommit = (n > beforeCommitA && n <= committedA) || n > beforeCommitB;
    if (n <= created + 1 || inCommit || n % 23 == 0) points.push_back(n);
  }
  int sawA = 0, sawB = 0, sawInvalidMaps = 0;
  for (int64_t n : points) {
    const std::string path = dir.File("crash" + std::to_string(n) + ".pst");
    const int real = InChild([&] {
      auto db = NodeDatabase::Create(path, {.deterministic = true, .crashAfterWrites = n});
      const Model ma = WriteStateA(*db);
      db->Commit();
      WriteStateB(*db, ma);
      db->Commit();
      return 0;
    });
    if (n <= total) {
      ASSERT_EQ(real, 137) << "write " << n;
    } else {
      ASSERT_EQ(real, 0);
    }
    if (n <= created) continue;  // died while the file was being made
    NdbTestReader r(NdbTestReader::Slurp(path));
    ASSERT_TRUE(r.faults().empty()) << "write " << n << ": " << r.FaultText();
    const bool isA = Holds(r, a), isB = Holds(r, b);
    ASSERT_TRUE(r.nodes().empty() || isA || isB) << "write " << n;
    sawA += isA;
    sawB += isB;
    if (r.fAMapValid == 2) {
      r.CheckMaps();
      ASSERT_TRUE(r.faults().empty()) << "write " << n << ": " << r.FaultText();
    } else {
      ASSERT_EQ(r.fAMapValid, 0) << "write " << n;
      ++sawInvalidMaps;
    }
  }
  EXPECT_GT(sawA, 0);
  EXPECT_GT(sawB, 0);
  EXPECT_GT(sawInvalidMaps, 0);
}

// The crash point reaches the file only through the writer's options, which
// only crash-test drivers set; the old environment variable does nothing.
TEST(NodeDatabaseDurability, CrashPointComesFromTheWriterOptionsOnly) {
  ScratchDir dir;
  EXPECT_EQ(InChild([&] {
              ::setenv("VERDALINE_PST_CRASH_AFTER_WRITES", "3", 1);
              PstWriter::Create(dir.File("env.pst"), "Store")->Close();
              return 0;
            }),
            0);
  EXPECT_EQ(InChild([&] {
              PstWriter::Create(dir.File("option.pst"), "Store", {.crashAfterWrites = 3});
              return 0;
            }),
            137);
}

TEST(NodeDatabaseDurability, WriteFailureIsAPstErrorAndKeepsTheLastCommit) {
  ScratchDir dir;
  const std::string path = dir.File("full.pst");
  Model a;
  const int status = InChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit lim = {2 * 1024 * 1024, 2 * 1024 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    auto db = NodeDatabase::Create(path, {.deterministic = true});
    WriteStateA(*db);
    db->Commit();
    try {
      for (uint32_t i = 0; i < 100; ++i)
        db->SetNode((0x900 + i) << 5 | 4, db->WriteStream(MemorySource(Pattern(200000, i))), 0, 0);
      db->Commit();
      return 3;  // the limit was never hit
    } catch (const PstError&) {
    }
    try {
      db->Commit();
      return 4;  // a failed database must not pretend to commit
    } catch (const PstError&) {
    }
    return 0;
  });
  ASSERT_EQ(status, 0);
  {
    auto db = NodeDatabase::Create(dir.File("model.pst"), {.deterministic = true});
    a = WriteStateA(*db);
  }
  NdbTestReader r(NdbTestReader::Slurp(path));
  r.CheckMaps();
  EXPECT_TRUE(r.faults().empty()) << r.FaultText();
  EXPECT_TRUE(Holds(r, a));
}

}  // namespace
}  // namespace pst
