// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/coding.h"

#include <gtest/gtest.h>

#include "model/byte_source.h"
#include "model/message.h"

namespace model {
namespace {

TEST(LittleEndian, PutAndGetAgree) {
  std::vector<uint8_t> b;
  PutU16(b, 0x1234);
  PutU32(b, 0xA1B2C3D4u);
  PutU64(b, 0x0102030405060708ull);
  ASSERT_EQ(b.size(), 14u);
  EXPECT_EQ(b[0], 0x34);  // low byte first
  EXPECT_EQ(b[2], 0xD4);
  EXPECT_EQ(b[6], 0x08);
  EXPECT_EQ(GetU16(b, 0), 0x1234);
  EXPECT_EQ(GetU32(b, 2), 0xA1B2C3D4u);
  EXPECT_EQ(GetU64(b, 6), 0x0102030405060708ull);
  StoreU32(b, 2, 7);
  EXPECT_EQ(GetU32(b, 2), 7u);
}

TEST(Utf16, RoundTripsEveryPlane) {
  const std::string s = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  const auto u = Utf16LeFromUtf8(s);
  const std::vector<uint8_t> want = {0x41, 0x00, 0xE9, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE};
  EXPECT_EQ(u, want);
  EXPECT_EQ(Utf8FromUtf16Le(u), s);
}

TEST(Utf16, LongTextWithNonAsciiAtEveryOffsetOfAnAsciiRun) {
  // ASCII goes eight bytes at a time; a multi-byte character may start at
  // any byte of such a run, and the text may end inside one.
  for (size_t run = 0; run < 20; ++run) {
    std::string s;
    std::vector<uint8_t> want;
    for (int rep = 0; rep < 3; ++rep) {
      for (size_t k = 0; k < run; ++k) {
        const char c = static_cast<char>('a' + (k % 26));
        s += c;
        want.push_back(static_cast<uint8_t>(c));
        want.push_back(0);
      }
      s += "\xC3\xA9";  // é
      want.insert(want.end(), {0xE9, 0x00});
      s += "\xF0\x9F\x98\x80";  // a surrogate pair
      want.insert(want.end(), {0x3D, 0xD8, 0x00, 0xDE});
    }
    s += std::string(run, 'z');
    for (size_t k = 0; k < run; ++k) want.insert(want.end(), {'z', 0});
    EXPECT_EQ(Utf16LeFromUtf8(s), want) << run;
  }
}

TEST(Utf16, BadInputBecomesReplacementCharacter) {
  // A lone continuation byte, a truncated sequence, an overlong form and an
  // encoded surrogate each become U+FFFD; the text around them survives.
  const auto u = Utf16LeFromUtf8(std::string("a\x80" "b\xE2\x82" "c\xC0\xAF" "d\xED\xA0\x80"));
  const std::string back = Utf8FromUtf16Le(u);
  EXPECT_EQ(back.front(), 'a');
  EXPECT_NE(back.find('b'), std::string::npos);
  EXPECT_NE(back.find('d'), std::string::npos);
  EXPECT_NE(back.find("\xEF\xBF\xBD"), std::string::npos);
  // An unpaired high surrogate on the way back.
  const std::vector<uint8_t> lone = {0x3D, 0xD8, 0x41, 0x00};
  EXPECT_EQ(Utf8FromUtf16Le(lone), "\xEF\xBF\xBD" "A");
}

TEST(FileTime, UnixEpochAndBack) {
  EXPECT_EQ(FileTimeFromUnix(0), 116444736000000000LL);
  EXPECT_EQ(UnixFromFileTime(FileTimeFromUnix(1765004703)), 1765004703);
}

TEST(MemorySource, RefusesReadsPastTheEnd) {
  MemorySource m({1, 2, 3});
  std::vector<uint8_t> out(2);
  m.read(1, out);
  EXPECT_EQ(out, (std::vector<uint8_t>{2, 3}));
  EXPECT_THROW(m.read(2, out), std::runtime_error);
}

}  // namespace
}  // namespace model
