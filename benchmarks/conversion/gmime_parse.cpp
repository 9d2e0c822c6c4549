// SPDX-License-Identifier: GPL-3.0-or-later
// bench-gmime-parse: the floor for the conversion benchmark. Parses every
// .eml file under a folder with GMime and decodes every leaf part into a
// sink, doing nothing else; prints files, bytes and seconds.
#include <fcntl.h>
#include <gmime/gmime.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void DecodeParts(GMimeObject* /*parent*/, GMimeObject* part, gpointer data) {
  auto* decoded = static_cast<size_t*>(data);
  if (GMIME_IS_MESSAGE_PART(part)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
    if (inner) g_mime_message_foreach(inner, DecodeParts, data);
    return;
  }
  if (!GMIME_IS_PART(part)) return;
  GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
  if (!content) return;
  GMimeStream* sink = g_mime_stream_null_new();
  *decoded += static_cast<size_t>(g_mime_data_wrapper_write_to_stream(content, sink));
  g_object_unref(sink);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench-gmime-parse DIR\n");
    return 2;
  }
  g_mime_init();
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(argv[1]))
    if (e.is_regular_file() && e.path().extension() == ".eml") files.push_back(e.path().string());

  const auto start = std::chrono::steady_clock::now();
  size_t bytes = 0, decoded = 0, failed = 0;
  for (const auto& f : files) {
    GMimeStream* stream = g_mime_stream_fs_open(f.c_str(), O_RDONLY, 0, nullptr);
    if (!stream) {
      ++failed;
      continue;
    }
    bytes += static_cast<size_t>(g_mime_stream_length(stream));
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    if (message) {
      g_mime_message_foreach(message, DecodeParts, &decoded);
      g_object_unref(message);
    } else {
      ++failed;
    }
    g_object_unref(parser);
    g_object_unref(stream);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("files %zu bytes %zu decoded %zu failed %zu seconds %.3f\n", files.size(), bytes, decoded, failed,
              seconds);
  g_mime_shutdown();
  return 0;
}
