// SPDX-License-Identifier: GPL-3.0-or-later
// The window's fonts: Tahoma 8.25 for every control and Tahoma 14.25 bold for
// the title. Wine's Tahoma (Debian's fonts-wine) is not in the font path, so
// it is added to the application's fonts while a window uses it; without it
// Qt picks the nearest sans-serif face.
#pragma once

#include <QFont>

namespace verdaline {

// Holds the Tahoma faces found on this system in the application's fonts for
// as long as any holder lives. The last holder to go removes them again, so
// that they are gone before the application object is (its destructor
// cannot remove them safely once the program is exiting).
class TahomaFonts {
 public:
  TahomaFonts();
  ~TahomaFonts();
  TahomaFonts(const TahomaFonts&) = delete;
  TahomaFonts& operator=(const TahomaFonts&) = delete;

  // Whether a face named Tahoma is available.
  static bool Available();
};

QFont WindowFont();
QFont TitleFont();

}  // namespace verdaline
