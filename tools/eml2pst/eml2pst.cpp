// SPDX-License-Identifier: GPL-3.0-or-later
// eml2pst [--folder-per-file] OUT.pst FILE...
// Imports each file and stores it in a new .pst. By default the folders
// mirror the files' directories below their common parent; with
// --folder-per-file every message gets a folder of its own, named after the
// file, so that a reader's export can be matched back to its source.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "mime/importer.h"
#include "pst/pst_writer.h"

namespace fs = std::filesystem;

namespace {

fs::path CommonParent(const std::vector<fs::path>& files) {
  fs::path common = files.front().parent_path();
  for (const auto& f : files) {
    fs::path parent = f.parent_path();
    fs::path shared;
    auto a = common.begin();
    auto b = parent.begin();
    for (; a != common.end() && b != parent.end() && *a == *b; ++a, ++b) shared /= *a;
    common = shared;
  }
  return common;
}

}  // namespace

int main(int argc, char** argv) {
  int arg = 1;
  bool folderPerFile = false;
  if (arg < argc && std::strcmp(argv[arg], "--folder-per-file") == 0) {
    folderPerFile = true;
    ++arg;
  }
  if (argc - arg < 2) {
    std::fprintf(stderr, "usage: eml2pst [--folder-per-file] OUT.pst FILE...\n");
    return 2;
  }
  const std::string out = argv[arg++];
  std::vector<fs::path> files;
  for (; arg < argc; ++arg) files.push_back(fs::absolute(argv[arg]).lexically_normal());

  try {
    auto writer = pst::PstWriter::Create(out, "eml2pst");
    const fs::path common = CommonParent(files);
    std::map<fs::path, pst::Nid> folders;  // relative directory -> folder
    int failures = 0;
    for (const auto& file : files) {
      pst::Nid folder = writer->IpmSubtree();
      if (folderPerFile) {
        folder = writer->CreateFolder(folder, file.filename().string());
      } else {
        fs::path rel = file.parent_path().lexically_relative(common);
        fs::path sofar;
        for (const auto& piece : rel) {
          if (piece.empty() || piece == ".") continue;
          sofar /= piece;
          auto it = folders.find(sofar);
          if (it == folders.end())
            it = folders.emplace(sofar, writer->CreateFolder(folder, piece.string())).first;
          folder = it->second;
        }
      }
      pst::Message message;
      mime::ImportWarnings warnings;
      try {
        mime::ImportMessageFile(file.string(), message, mime::ImportOptions{}, &warnings);
      } catch (const mime::ImportError& e) {
        std::printf("FAIL\t%s\t%s\n", file.c_str(), e.what());
        ++failures;
        continue;
      }
      writer->AddMessage(folder, message);
      std::printf("OK\t%s\t%zu warning(s)\n", file.c_str(), warnings.size());
      for (const auto& w : warnings) std::printf("WARN\t%s\t%s\n", file.c_str(), w.c_str());
    }
    writer->Close();
    return failures == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "eml2pst: %s\n", e.what());
    return 1;
  }
}
