// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/byte_source.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace model {

void MemorySource::read(uint64_t offset, std::span<uint8_t> out) const {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
    throw std::runtime_error("read past the end of a memory source");
  if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
}

void SpanSource::read(uint64_t offset, std::span<uint8_t> out) const {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
    throw std::runtime_error("read past the end of a memory source");
  if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
}

FileSource::FileSource(std::string path, uint64_t offset, uint64_t length)
    : path_(std::move(path)), offset_(offset), length_(length) {
  std::ifstream f(path_, std::ios::binary);
  if (!f) throw std::runtime_error("cannot open " + path_);
}

FileSource::FileSource(std::string path) : path_(std::move(path)), offset_(0), length_(0) {
  std::ifstream f(path_, std::ios::binary | std::ios::ate);
  if (!f) throw std::runtime_error("cannot open " + path_);
  length_ = static_cast<uint64_t>(f.tellg());
}

void FileSource::read(uint64_t offset, std::span<uint8_t> out) const {
  if (offset > length_ || out.size() > length_ - offset)
    throw std::runtime_error("read past the end of " + path_);
  std::ifstream f(path_, std::ios::binary);
  f.seekg(static_cast<std::streamoff>(offset_ + offset));
  f.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  if (static_cast<size_t>(f.gcount()) != out.size())
    throw std::runtime_error("short read from " + path_);
}

std::vector<uint8_t> ReadAll(const ByteSource& src) {
  std::vector<uint8_t> v(src.size());
  src.read(0, v);
  return v;
}

}  // namespace model
