// SPDX-License-Identifier: GPL-3.0-or-later
// The window's colours, read from a picture of it.
#include <QImage>

#include "shell/window_fixture.h"

namespace verdaline::testing {
namespace {

class WindowLook : public WindowTest {
 protected:
  QImage Picture() {
    window().show();
    QImage img = window().grab().toImage();
    // Compare in logical pixels whatever the device pixel ratio.
    return img.scaled(window().size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
  }
  static QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b); }
  static QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFFu; }
};

TEST_F(WindowLook, DarkBlueTitleBandWithWhiteTitle) {
  const QImage img = Picture();
  const QRgb navy = Rgb(0, 0, 128) & 0xFFFFFFu;
  const QRgb white = Rgb(255, 255, 255) & 0xFFFFFFu;
  // The band covers the whole width; its white border shows along the top and bottom only.
  for (int x : {0, 5, 300, 540, 542}) {
    EXPECT_EQ(At(img, x, 30), navy) << x;
    EXPECT_EQ(At(img, x, 0), white) << x;
    EXPECT_EQ(At(img, x, 56), white) << x;
  }
  EXPECT_EQ(At(img, 0, 20), navy);    // no border on the left edge
  EXPECT_EQ(At(img, 542, 20), navy);  // nor on the right edge
  // The title label: navy background and some white text pixels.
  int whiteInTitle = 0;
  for (int y = 8; y < 33; ++y)
    for (int x = 16; x < 433; ++x) {
      const QRgb c = At(img, x, y);
      if (c == white) {
        ++whiteInTitle;
      } else {
        EXPECT_GE(qBlue(c), qRed(c)) << x << "," << y;  // navy, or text blended into it
      }
    }
  EXPECT_GT(whiteInTitle, 20);
  EXPECT_EQ(At(img, 430, 30), navy);
}

TEST_F(WindowLook, WhiteStripAlongTheBottomWithGreyTopAndLeftBorder) {
  const QImage img = Picture();
  const QRgb white = 0xFFFFFFu;
  const QRgb grey = Rgb(192, 192, 192) & 0xFFFFFFu;
  for (int x : {1, 10, 200, 540, 542}) {
    EXPECT_EQ(At(img, x, 408), grey) << x;
    EXPECT_EQ(At(img, x, 449), white) << x;  // the bottom border lies outside the window
  }
  EXPECT_EQ(At(img, 0, 430), grey);
  EXPECT_EQ(At(img, 542, 430), white);  // the right border lies outside too
  EXPECT_EQ(At(img, 100, 430), white);  // the panel holding Exit is white as well
}

TEST_F(WindowLook, PaleYellowCellsOnAWhiteArea) {
  window().AddFileRow("C:\\Mail\\a.eml");
  const QImage img = Picture();
  const QRect grid = Control("grdFiles1")->geometry();
  // Inside the first row, right of its text: pale yellow.
  EXPECT_EQ(At(img, grid.right() - 30, grid.top() + 8), Rgb(255, 255, 191) & 0xFFFFFFu);
  // Below the only row: the white area outside the cells.
  EXPECT_EQ(At(img, grid.left() + 40, grid.top() + 60), 0xFFFFFFu);
  // The grid line under the first row is grey.
  bool greyLine = false;
  for (int y = grid.top() + 14; y < grid.top() + 22; ++y)
    if (At(img, grid.left() + 100, y) == (Rgb(192, 192, 192) & 0xFFFFFFu)) greyLine = true;
  EXPECT_TRUE(greyLine);
}

TEST_F(WindowLook, FrameLabelsLetTheFrameShowThrough) {
  for (const char* name : {"LblCurrentDBX", "LblProgessCurrent", "Label1", "Label2"}) {
    QWidget* label = Control(name);
    EXPECT_FALSE(label->autoFillBackground()) << name;
  }
  EXPECT_TRUE(Control("lblCount1")->autoFillBackground());
  EXPECT_TRUE(Control("lblTitle")->autoFillBackground());
}

}  // namespace
}  // namespace verdaline::testing
