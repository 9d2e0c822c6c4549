// SPDX-License-Identifier: GPL-3.0-or-later
// eml2pst [--folder-per-file] [--fixed-time] OUT.pst FILE...
// Imports each file and stores it in a new .pst. By default the folders
// mirror the files' directories below their common parent; with
// --folder-per-file every message gets a folder of its own, named after the
// file, so that a reader's export can be matched back to its source.
// --fixed-time makes the file depend on its input only (the clock reads
// 2020-01-01, keys are counted, not drawn), so that two builds' files can
// be compared byte for byte.
#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "mime/importer.h"
#include "pst/pst_writer.h"
#ifdef _WIN32
#include "model/windows_text.h"
#endif

namespace fs = std::filesystem;

namespace {

// 2020-01-01 00:00:00 UTC as a FILETIME, the writer's fixed time too.
constexpr int64_t kFixedTime = 132223104000000000LL;

#ifdef _WIN32
// Windows hands main() its arguments in the ANSI code page; the program
// works in UTF-8, and a path keeps every character that way.
std::vector<std::string> Arguments(int, char**) {
  int n = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back(model::windows::Utf8(wide[i]));
  LocalFree(wide);
  return out;
}
fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
std::string TextOf(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}
#else
std::vector<std::string> Arguments(int argc, char** argv) { return {argv, argv + argc}; }
fs::path PathOf(const std::string& bytes) { return fs::path(bytes); }
std::string TextOf(const fs::path& path) { return path.string(); }
#endif

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
  const std::vector<std::string> args = Arguments(argc, argv);
  size_t arg = 1;
  bool folderPerFile = false;
  bool fixedTime = false;
  for (; arg < args.size(); ++arg) {
    if (args[arg] == "--folder-per-file") folderPerFile = true;
    else if (args[arg] == "--fixed-time") fixedTime = true;
    else break;
  }
  if (args.size() - arg < 2) {
    std::fprintf(stderr, "usage: eml2pst [--folder-per-file] [--fixed-time] OUT.pst FILE...\n");
    return 2;
  }
  const std::string out = args[arg++];
  std::vector<fs::path> files;
  for (; arg < args.size(); ++arg) files.push_back(fs::absolute(PathOf(args[arg])).lexically_normal());
  pst::WriterOptions writerOptions;
  writerOptions.deterministic = fixedTime;
  mime::ImportOptions importOptions;
  if (fixedTime) importOptions.fixedNow = kFixedTime;

  try {
    auto writer = pst::PstWriter::Create(out, "eml2pst", writerOptions);
    const fs::path common = CommonParent(files);
    std::map<fs::path, pst::Nid> folders;  // relative directory -> folder
    int failures = 0;
    for (const auto& file : files) {
      pst::Nid folder = writer->IpmSubtree();
      if (folderPerFile) {
        folder = writer->CreateFolder(folder, TextOf(file.filename()));
      } else {
        fs::path rel = file.parent_path().lexically_relative(common);
        fs::path sofar;
        for (const auto& piece : rel) {
          if (piece.empty() || piece == ".") continue;
          sofar /= piece;
          auto it = folders.find(sofar);
          if (it == folders.end())
            it = folders.emplace(sofar, writer->CreateFolder(folder, TextOf(piece))).first;
          folder = it->second;
        }
      }
      pst::Message message;
      mime::ImportWarnings warnings;
      const std::string name = TextOf(file);
      try {
        mime::ImportMessageFile(name, message, importOptions, &warnings);
      } catch (const mime::ImportError& e) {
        std::printf("FAIL\t%s\t%s\n", name.c_str(), e.what());
        ++failures;
        continue;
      }
      writer->AddMessage(folder, message);
      std::printf("OK\t%s\t%zu warning(s)\n", name.c_str(), warnings.size());
      for (const auto& w : warnings) std::printf("WARN\t%s\t%s\n", name.c_str(), w.c_str());
    }
    writer->Close();
    return failures == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "eml2pst: %s\n", e.what());
    return 1;
  }
}
