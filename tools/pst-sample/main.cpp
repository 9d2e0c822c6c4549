// SPDX-License-Identifier: GPL-3.0-or-later
// pst-sample OUT.pst: writes a store that uses every feature of the writer.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

#include "pst/pst_writer.h"
#include "sample_content.h"

namespace {
const char kUsage[] = "usage: pst-sample OUT.pst\n";
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  // An option it does not know is a mistake, not the name of the file to
  // write; ./-name still names such a file.
  if (argv[1][0] == '-') {
    std::fprintf(stderr, "pst-sample: unknown option %s\n%s", argv[1], kUsage);
    return 2;
  }
  if (std::filesystem::exists(argv[1])) {
    std::fprintf(stderr, "pst-sample: %s exists; not overwritten\n", argv[1]);
    return 1;
  }
  try {
    pst::WriterOptions opt;
    opt.deterministic = true;
    auto w = pst::PstWriter::Create(argv[1], "Verdaline sample \xE2\x9C\x89", opt);
    pst::sample::WriteSampleStore(*w);
    w->Close();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pst-sample: %s\n", e.what());
    return 1;
  }
  return 0;
}
