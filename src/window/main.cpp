// Starts the program: its one window over the real file system and the
// program's own Jet engine. Closing the window ends the program.

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>

#include "platform/host_file_system.h"
#include "repair/jet_database_engine.h"
#include "repair/repair_operation.h"
#include "resources/version.h"
#include "window/vondrel.h"

namespace {

constexpr char kHelpText[] =
    "usage: vondrel [--help | --version]\n"
    "Compacts and repairs a damaged Microsoft Access database (.mdb) in place: choose the\n"
    "application, find or browse to its database, press Repair. The window accepts the\n"
    "options of every Qt program. For scripts, see vondrel-jet repair.\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before Qt starts, so that they work without a display.
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kHelpText, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("vondrel %s\n", vondrel::resources::kVersionText);
    return 0;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vondrel"));
  QApplication::setApplicationVersion(QString::fromLatin1(vondrel::resources::kVersionText));
  QApplication::setDesktopFileName(QStringLiteral("vondrel"));

  vondrel::platform::HostFileSystem files;
  vondrel::repair::RepairOperation repair(files, vondrel::repair::JetEngineFactory(files));
  try {
    vondrel::window::Vondrel window(files, repair);
    window.show();
    return application.exec();
  } catch (const vondrel::Error& error) {
    // Only the start-up can fail this way (the program's own folder cannot be read).
    QMessageBox::critical(nullptr, QStringLiteral("Vondrel"),
                          QStringLiteral("Error: %1  %2").arg(error.number()).arg(QString::fromStdString(error.description())));
    return 1;
  }
}
