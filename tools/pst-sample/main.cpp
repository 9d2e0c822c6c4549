// pst-sample OUT.pst: writes a store that uses every feature of the writer.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "pst/pst_writer.h"
#include "sample_content.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pst-sample OUT.pst\n");
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
