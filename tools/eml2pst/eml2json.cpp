// SPDX-License-Identifier: GPL-3.0-or-later
// eml2json FILE...: one JSON line per file, {"file":..., "message":...} or
// {"file":..., "error":...}, each with the importer's warnings.
#include <cstdio>
#include <string>

#include "message_json.h"
#include "mime/importer.h"

namespace {

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) continue;
    out += c;
  }
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: eml2json FILE...\n");
    return 2;
  }
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string path = argv[i];
    std::string line = "{\"file\":" + Quoted(path);
    mime::ImportWarnings warnings;
    try {
      model::Message message;
      mime::ImportOptions options;
      options.fixedNow = 1;
      mime::ImportMessageFile(path, message, options, &warnings);
      line += ",\"message\":" + eml2pst::MessageToJson(message);
    } catch (const mime::ImportError& e) {
      line += ",\"error\":" + Quoted(e.what());
      ++failures;
    }
    line += ",\"warnings\":[";
    for (size_t w = 0; w < warnings.size(); ++w) line += (w ? "," : "") + Quoted(warnings[w]);
    line += "]}\n";
    std::fputs(line.c_str(), stdout);
  }
  return failures == 0 ? 0 : 1;
}
