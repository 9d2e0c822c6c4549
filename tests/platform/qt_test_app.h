// SPDX-License-Identifier: GPL-3.0-or-later
// One QApplication for a whole GUI test executable, made on first use with
// the style the program uses. GoogleTest's own main runs the tests, so each
// test that needs widgets calls EnsureQtApp() first.
#pragma once

#include <QApplication>

namespace verdaline::testing {

inline QApplication& EnsureQtApp() {
  static int argc = 1;
  static char name[] = "verdaline-tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    QApplication::setStyle(QStringLiteral("Fusion"));
    return new QApplication(argc, argv);
  }();
  return *app;
}

}  // namespace verdaline::testing
