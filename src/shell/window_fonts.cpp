// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/window_fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <vector>

namespace verdaline {

namespace {

const char* const kFontFiles[] = {
    "/usr/share/wine/fonts/tahoma.ttf",
    "/usr/share/wine/fonts/tahomabd.ttf",
};

int holders = 0;
std::vector<int> fontIds;

QFont Tahoma(double points, int weight) {
  QFont font(QStringLiteral("Tahoma"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setWeight(static_cast<QFont::Weight>(weight));
  font.setItalic(false);
  font.setUnderline(false);
  font.setStrikeOut(false);
  return font;
}

}  // namespace

TahomaFonts::TahomaFonts() {
  if (holders++ > 0) return;
  for (const char* path : kFontFiles) {
    const QString file = QString::fromLatin1(path);
    if (!QFile::exists(file)) continue;
    const int id = QFontDatabase::addApplicationFont(file);
    if (id >= 0) fontIds.push_back(id);
  }
}

TahomaFonts::~TahomaFonts() {
  if (--holders > 0) return;
  // Removing the faces one by one leaves their (empty) slots behind, and the
  // application's destructor still tidies up whenever a slot is left; so all
  // of them go at once. The program adds no other fonts of its own.
  if (!fontIds.empty()) QFontDatabase::removeAllApplicationFonts();
  fontIds.clear();
}

bool TahomaFonts::Available() { return QFontDatabase::families().contains(QStringLiteral("Tahoma")); }

QFont WindowFont() { return Tahoma(8.25, QFont::Normal); }

QFont TitleFont() { return Tahoma(14.25, QFont::Bold); }

}  // namespace verdaline
