#pragma once
// The one QApplication a Qt test binary needs, made on first use so that
// listing the tests needs no display, and helpers that make UTF-16 texts
// readable in test failures.

#include <QApplication>
#include <QString>

#include <string>

namespace vondrel::testing {

inline QApplication& EnsureQtApplication() {
  static int argc = 1;
  static char name[] = "vondrel-tests";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

inline std::string Utf8(const std::u16string& text) { return QString::fromStdU16String(text).toStdString(); }

}  // namespace vondrel::testing
