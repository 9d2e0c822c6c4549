// SPDX-License-Identifier: GPL-3.0-or-later
// pst-stress: writes messages into a new .pst through pst::PstWriter, for
// interop, crash and load tests.
//
//   pst-stress OUT.pst [--messages N] [--folders F] [--depth D]
//              [--attachment-bytes B] [--attachment-file PATH] [--unicode]
//              [--commit-each] [--forever] [--crash-after-writes W]
//
// Folders: F folders "Folder k" under the top of the store, or with --depth
// a chain of D nested folders "Level k"; messages go round-robin into the
// folders (or into the deepest one), message n into folder n % F.
// --commit-each commits after every message and prints "committed N" (N
// messages durable) to stdout; --forever keeps writing until killed.
// --crash-after-writes W ends the process with exit status 137 just before
// its Wth write to the file, for crash tests.
//
//   pst-stress --emit-attachment N BYTES OUT
// writes the generated attachment of message N (BYTES long) to OUT, for a
// test to compare with what the readers extract.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "content.h"
#include "pst/pst_writer.h"

namespace {

struct Args {
  std::string out;
  uint64_t messages = 10;
  uint64_t folders = 1;
  uint64_t depth = 0;
  bool commitEach = false;
  bool forever = false;
  int64_t crashAfterWrites = -1;
  stress::ContentOptions content;
};

bool Parse(int argc, char** argv, Args& a) {
  for (int i = 1; i < argc; ++i) {
    const std::string s = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (s == "--messages") {
      const char* v = next();
      if (!v) return false;
      a.messages = std::strtoull(v, nullptr, 10);
    } else if (s == "--folders") {
      const char* v = next();
      if (!v) return false;
      a.folders = std::strtoull(v, nullptr, 10);
    } else if (s == "--depth") {
      const char* v = next();
      if (!v) return false;
      a.depth = std::strtoull(v, nullptr, 10);
    } else if (s == "--attachment-bytes") {
      const char* v = next();
      if (!v) return false;
      a.content.attachmentBytes = std::strtoull(v, nullptr, 10);
    } else if (s == "--attachment-file") {
      const char* v = next();
      if (!v) return false;
      a.content.attachmentFile = v;
    } else if (s == "--unicode") {
      a.content.unicode = true;
    } else if (s == "--commit-each") {
      a.commitEach = true;
    } else if (s == "--forever") {
      a.forever = true;
    } else if (s == "--crash-after-writes") {
      const char* v = next();
      if (!v) return false;
      a.crashAfterWrites = std::strtoll(v, nullptr, 10);
    } else if (!s.empty() && s[0] != '-' && a.out.empty()) {
      a.out = s;
    } else {
      return false;
    }
  }
  return !a.out.empty() && a.folders >= 1;
}

}  // namespace

int EmitAttachment(const char* n, const char* bytes, const char* out) {
  const uint64_t msg = std::strtoull(n, nullptr, 10), size = std::strtoull(bytes, nullptr, 10);
  std::FILE* f = std::fopen(out, "wb");
  if (!f) return 1;
  std::vector<uint8_t> buf(1 << 16);
  for (uint64_t done = 0; done < size;) {
    const uint64_t k = std::min<uint64_t>(buf.size(), size - done);
    for (uint64_t i = 0; i < k; ++i) buf[i] = stress::AttachmentByte(msg, done + i);
    if (std::fwrite(buf.data(), 1, k, f) != k) {
      std::fclose(f);
      return 1;
    }
    done += k;
  }
  return std::fclose(f) == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--emit-attachment") == 0) return EmitAttachment(argv[2], argv[3], argv[4]);
  Args args;
  if (!Parse(argc, argv, args)) {
    std::fprintf(stderr, "usage: pst-stress OUT.pst [--messages N] [--folders F] [--depth D] "
                         "[--attachment-bytes B] [--attachment-file PATH] [--unicode] "
                         "[--commit-each] [--forever] [--crash-after-writes W]\n");
    return 2;
  }
  try {
    pst::WriterOptions options;
    options.deterministic = true;
    options.crashAfterWrites = args.crashAfterWrites;
    auto writer = pst::PstWriter::Create(args.out, "Stress Store", options);
    std::vector<pst::Nid> targets;
    const std::string tail = args.content.unicode ? " \xE2\x82\xAC\xF0\x9F\x98\x80" : "";
    if (args.depth > 0) {
      pst::Nid parent = writer->IpmSubtree();
      for (uint64_t k = 0; k < args.depth; ++k) parent = writer->CreateFolder(parent, "Level " + std::to_string(k) + tail);
      targets.push_back(parent);
    } else {
      for (uint64_t k = 0; k < args.folders; ++k)
        targets.push_back(writer->CreateFolder(writer->IpmSubtree(), "Folder " + std::to_string(k) + tail));
    }
    if (args.commitEach) {
      writer->Commit();
      std::printf("committed 0\n");
      std::fflush(stdout);
    }
    for (uint64_t n = 0; args.forever || n < args.messages; ++n) {
      writer->AddMessage(targets[n % targets.size()], stress::MakeMessage(n, args.content));
      if (args.commitEach) {
        writer->Commit();
        std::printf("committed %llu\n", static_cast<unsigned long long>(n + 1));
        std::fflush(stdout);
      }
    }
    writer->Close();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pst-stress: %s\n", e.what());
    return 1;
  }
  return 0;
}
