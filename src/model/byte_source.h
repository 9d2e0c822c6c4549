// SPDX-License-Identifier: GPL-3.0-or-later
// A readable run of bytes whose length is known up front: attachment contents
// and other large values are handed to the writer this way, so that a 200 MB
// attachment never has to sit in memory as one buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace model {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // REQUIRES: offset + out.size() <= size(). Fills out completely or throws
  // std::runtime_error.
  virtual void read(uint64_t offset, std::span<uint8_t> out) const = 0;
  // All size() bytes when they already sit in memory in one piece, so that
  // they can be used where they are; nullptr otherwise.
  virtual const uint8_t* contiguous() const { return nullptr; }
};

// Bytes held in memory.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint64_t size() const override { return bytes_.size(); }
  void read(uint64_t offset, std::span<uint8_t> out) const override;
  const uint8_t* contiguous() const override { return bytes_.data(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// Bytes in memory that belong to someone else and outlive this source.
class SpanSource final : public ByteSource {
 public:
  explicit SpanSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  void read(uint64_t offset, std::span<uint8_t> out) const override;
  const uint8_t* contiguous() const override { return bytes_.data(); }

 private:
  std::span<const uint8_t> bytes_;
};

// A byte range of a file on disk, read on demand.
class FileSource final : public ByteSource {
 public:
  // Throws std::runtime_error when the file cannot be opened.
  FileSource(std::string path, uint64_t offset, uint64_t length);
  explicit FileSource(std::string path);  // the whole file
  uint64_t size() const override { return length_; }
  void read(uint64_t offset, std::span<uint8_t> out) const override;

 private:
  std::string path_;
  uint64_t offset_;
  uint64_t length_;
};

std::vector<uint8_t> ReadAll(const ByteSource& src);

}  // namespace model
