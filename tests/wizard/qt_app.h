// One QApplication on the offscreen platform for the tests of a program.
#pragma once

#include <QApplication>
#include <cstdlib>

namespace verilo_test {

inline QApplication* EnsureQtApp() {
  static int argc = 1;
  static char name[] = "verilo_test";
  static char* argv[] = {name, nullptr};
  if (!QApplication::instance()) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    auto* app = new QApplication(argc, argv);
    app->setQuitOnLastWindowClosed(false);
  }
  return static_cast<QApplication*>(QApplication::instance());
}

}  // namespace verilo_test
