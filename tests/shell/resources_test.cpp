// SPDX-License-Identifier: GPL-3.0-or-later
// The embedded icon and the Windows manifest.
#include <gtest/gtest.h>

#include <QFile>
#include <cstdint>
#include <vector>

#include "shell/shell_resources.h"

namespace verdaline {
namespace {

struct IconImage {
  int width;
  int height;
  int bits;
  bool png;
};

uint32_t Le(const QByteArray& b, qsizetype at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
  return v;
}

// Reads the icon directory and checks each image's own header against it.
std::vector<IconImage> ReadIcon(const QByteArray& ico) {
  std::vector<IconImage> out;
  EXPECT_GE(ico.size(), 6);
  EXPECT_EQ(Le(ico, 0, 2), 0u);
  EXPECT_EQ(Le(ico, 2, 2), 1u);  // an icon, not a cursor
  const int count = static_cast<int>(Le(ico, 4, 2));
  for (int i = 0; i < count; ++i) {
    const qsizetype e = 6 + 16 * i;
    const int w = Le(ico, e, 1) == 0 ? 256 : static_cast<int>(Le(ico, e, 1));
    const int h = Le(ico, e + 1, 1) == 0 ? 256 : static_cast<int>(Le(ico, e + 1, 1));
    const int bits = static_cast<int>(Le(ico, e + 6, 2));
    const uint32_t size = Le(ico, e + 8, 4);
    const uint32_t offset = Le(ico, e + 12, 4);
    EXPECT_LE(static_cast<qsizetype>(offset) + size, ico.size());
    const QByteArray data = ico.mid(offset, size);
    const bool png = data.startsWith("\x89PNG\r\n\x1a\n");
    if (png) {
      // IHDR: width, height (big-endian), bit depth 8, colour type 6 (RGBA).
      EXPECT_EQ(data.mid(12, 4), QByteArray("IHDR"));
      EXPECT_EQ(static_cast<uint8_t>(data[18]) << 8 | static_cast<uint8_t>(data[19]), w);
      EXPECT_EQ(static_cast<uint8_t>(data[22]) << 8 | static_cast<uint8_t>(data[23]), h);
      EXPECT_EQ(data[24], 8);
      EXPECT_EQ(data[25], 6);
    } else {
      EXPECT_EQ(Le(data, 0, 4), 40u);  // BITMAPINFOHEADER
      EXPECT_EQ(static_cast<int>(Le(data, 4, 4)), w);
      EXPECT_EQ(static_cast<int>(Le(data, 8, 4)), 2 * h);  // colour rows and mask rows
      EXPECT_EQ(static_cast<int>(Le(data, 14, 2)), bits);
      const qsizetype table = bits == 8 ? 256 * 4 : 0;
      const qsizetype rowBytes = ((w * bits + 31) / 32) * 4;
      const qsizetype maskBytes = ((w + 31) / 32) * 4;
      EXPECT_EQ(data.size(), 40 + table + (rowBytes + maskBytes) * h);
    }
    out.push_back({w, h, bits, png});
  }
  return out;
}

TEST(WindowIcon, HasTheTenImagesInTheirSizesAndDepths) {
  InitShellResources();
  QFile embedded(":/verdaline/verdaline.ico");
  ASSERT_TRUE(embedded.open(QIODevice::ReadOnly));
  const QByteArray ico = embedded.readAll();
  const auto images = ReadIcon(ico);
  ASSERT_EQ(images.size(), 10u);
  const IconImage expected[] = {{48, 48, 8, false},   {32, 32, 8, false},   {24, 24, 8, false},
                                {16, 16, 8, false},   {256, 256, 32, true}, {128, 128, 32, false},
                                {48, 48, 32, false},  {32, 32, 32, false},  {24, 24, 32, false},
                                {16, 16, 32, false}};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(images[i].width, expected[i].width) << i;
    EXPECT_EQ(images[i].height, expected[i].height) << i;
    EXPECT_EQ(images[i].bits, expected[i].bits) << i;
    EXPECT_EQ(images[i].png, expected[i].png) << i;
  }
  // What the program carries is the icon kept with its sources.
  QFile source(VERDALINE_SOURCE_DIR "/src/shell/verdaline.ico");
  ASSERT_TRUE(source.open(QIODevice::ReadOnly));
  EXPECT_EQ(source.readAll(), ico);
}

TEST(Manifest, IsTheCommonControlsManifestWithCarriageReturnLines) {
  QFile file(VERDALINE_SOURCE_DIR "/src/shell/verdaline.manifest");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray m = file.readAll();
  EXPECT_EQ(m.size(), 568);
  EXPECT_FALSE(m.contains('\n'));
  EXPECT_TRUE(m.endsWith('\r'));
  EXPECT_TRUE(m.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r"));
  EXPECT_TRUE(m.contains("<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"));
  EXPECT_TRUE(m.contains("<description></description>"));
  // Attributes in their order, whatever the white space between them.
  const QByteArray flat = QByteArray(m).replace('\r', ' ').simplified();
  EXPECT_TRUE(flat.contains("<assemblyIdentity name=\"XPStyle Control Demo\" processorArchitecture=\"x86\" "
                            "version=\"1.0.0.0\" type=\"win32\" />"));
  EXPECT_TRUE(flat.contains("<dependency> <dependentAssembly> <assemblyIdentity type=\"win32\" "
                            "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
                            "processorArchitecture=\"x86\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\" />"));
  EXPECT_EQ(m.count("<dependency>"), 1);
  EXPECT_EQ(m.count("<assemblyIdentity"), 2);
  EXPECT_FALSE(m.contains("trustInfo"));
  EXPECT_FALSE(m.contains("dpiAware"));
  for (char c : m) EXPECT_LT(static_cast<unsigned char>(c), 0x80);  // plain ASCII, so UTF-8 as declared
  // The Windows build carries it as resource type 24, identifier 1.
  QFile rc(VERDALINE_SOURCE_DIR "/src/shell/verdaline.rc");
  ASSERT_TRUE(rc.open(QIODevice::ReadOnly));
  EXPECT_TRUE(rc.readAll().contains("1 24 \"verdaline.manifest\""));
}

}  // namespace
}  // namespace verdaline
