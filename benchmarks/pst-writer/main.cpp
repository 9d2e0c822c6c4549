// SPDX-License-Identifier: GPL-3.0-or-later
// bench-pst-writer: throughput and peak memory of the .pst writer.
//
//   bench-pst-writer [--small N] [--large K] [--large-mb M] [--dir DIR]
//
// Case 1 writes N small messages (default 100,000) into 10 folders, the
// commit interval left at the writer's default. Case 2 writes K messages
// (default 5) each with one attachment of M MB (default 200) read from a
// file through a FileSource. Each case prints messages/s, MB/s of .pst
// written and the process's peak resident memory (getrusage ru_maxrss).
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "pst/pst_writer.h"

namespace {

constexpr uint32_t kMessageClass = 0x001A001F, kSubject = 0x0037001F, kBody = 0x1000001F;
constexpr uint32_t kSenderEmail = 0x0C1F001F, kSenderName = 0x0C1A001F, kSubmitTime = 0x00390040;
constexpr uint32_t kRecipientType = 0x0C150003, kDisplayName = 0x3001001F, kEmailAddress = 0x3003001F;
constexpr uint32_t kAttachMethod = 0x37050003, kAttachLongFilename = 0x3707001F;

long PeakRssKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

pst::Message SmallMessage(uint64_t n) {
  pst::Message m;
  m.props.Set(kMessageClass, std::string("IPM.Note"));
  m.props.Set(kSubject, "Benchmark message " + std::to_string(n));
  m.props.Set(kSenderName, std::string("Bench Sender"));
  m.props.Set(kSenderEmail, std::string("sender@example.org"));
  m.props.Set(kSubmitTime, pst::FileTimeFromUnix(1600000000 + static_cast<int64_t>(n)));
  std::string body = "Hello,\r\n";
  for (int i = 0; i < 12; ++i) body += "This is line " + std::to_string(i) + " of a short benchmark body.\r\n";
  m.props.Set(kBody, body);
  pst::Recipient r;
  r.props.Set(kRecipientType, int32_t{1});
  r.props.Set(kDisplayName, std::string("Someone"));
  r.props.Set(kEmailAddress, std::string("someone@example.org"));
  m.recipients.push_back(std::move(r));
  return m;
}

struct Result {
  double seconds;
  uint64_t fileBytes;
};

void Report(const char* name, uint64_t messages, const Result& r) {
  const double mb = static_cast<double>(r.fileBytes) / (1024.0 * 1024.0);
  std::printf("%-28s %8llu msgs  %8.2f s  %10.1f msg/s  %8.1f MB  %8.1f MB/s  peak RSS %ld MB\n", name,
              static_cast<unsigned long long>(messages), r.seconds, static_cast<double>(messages) / r.seconds, mb,
              mb / r.seconds, PeakRssKb() / 1024);
  std::fflush(stdout);
}

template <typename Fn>
Result Timed(const std::string& path, Fn fn) {
  std::filesystem::remove(path);
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  const auto t1 = std::chrono::steady_clock::now();
  Result r{std::chrono::duration<double>(t1 - t0).count(), std::filesystem::file_size(path)};
  std::filesystem::remove(path);
  return r;
}

bool MakeBigFile(const std::string& path, uint64_t bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::vector<uint8_t> buf(1 << 20);
  uint64_t x = 88172645463325252ULL;
  for (uint64_t done = 0; done < bytes; done += buf.size()) {
    for (auto& b : buf) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      b = static_cast<uint8_t>(x);
    }
    const size_t k = static_cast<size_t>(std::min<uint64_t>(buf.size(), bytes - done));
    if (std::fwrite(buf.data(), 1, k, f) != k) {
      std::fclose(f);
      return false;
    }
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t small = 100000, large = 5, largeMb = 200;
  std::string dir = std::filesystem::temp_directory_path().string();
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--small")) small = std::strtoull(argv[i + 1], nullptr, 10);
    else if (!std::strcmp(argv[i], "--large")) large = std::strtoull(argv[i + 1], nullptr, 10);
    else if (!std::strcmp(argv[i], "--large-mb")) largeMb = std::strtoull(argv[i + 1], nullptr, 10);
    else if (!std::strcmp(argv[i], "--dir")) dir = argv[i + 1];
  }
  const std::string tag = std::to_string(getpid());
  const std::string pstPath = dir + "/bench-pst-writer-" + tag + ".pst";
  try {
    if (small > 0) {
      auto r = Timed(pstPath, [&] {
        auto w = pst::PstWriter::Create(pstPath, "Benchmark");
        std::vector<pst::Nid> folders;
        for (int k = 0; k < 10; ++k) folders.push_back(w->CreateFolder(w->IpmSubtree(), "Folder " + std::to_string(k)));
        for (uint64_t n = 0; n < small; ++n) w->AddMessage(folders[n % folders.size()], SmallMessage(n));
        w->Close();
      });
      Report("small messages", small, r);
    }
    if (large > 0 && largeMb > 0) {
      const std::string src = dir + "/bench-pst-writer-" + tag + ".bin";
      if (!MakeBigFile(src, largeMb * 1024 * 1024)) throw std::runtime_error("cannot write " + src);
      auto r = Timed(pstPath, [&] {
        auto w = pst::PstWriter::Create(pstPath, "Benchmark");
        const pst::Nid folder = w->CreateFolder(w->IpmSubtree(), "Large");
        for (uint64_t n = 0; n < large; ++n) {
          pst::Message m = SmallMessage(n);
          pst::Attachment a;
          a.props.Set(kAttachMethod, int32_t{1});
          a.props.Set(kAttachLongFilename, "big-" + std::to_string(n) + ".bin");
          a.data = std::make_shared<pst::FileSource>(src);
          m.attachments.push_back(std::move(a));
          w->AddMessage(folder, m);
        }
        w->Close();
      });
      std::filesystem::remove(src);
      Report(("attachments " + std::to_string(largeMb) + " MB each").c_str(), large, r);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench-pst-writer: %s\n", e.what());
    std::filesystem::remove(pstPath);
    return 1;
  }
  return 0;
}
