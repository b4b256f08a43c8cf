#pragma once
// A window Vondrel over a temporary drive C: and a scripted engine, opened
// on a chosen program folder, and a catcher for the modal messages it shows.

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "repair/repair_operation.h"
#include "support/fake_database_engine.h"
#include "support/fake_file_system.h"
#include "window/qt_application.h"
#include "window/vondrel.h"

namespace vondrel::testing {

// What a message box showed before the catcher pressed its OK button.
struct ShownMessage {
  std::string text;
  std::string title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  std::vector<std::string> buttons;
  bool modal = false;
  QWidget* owner = nullptr;
};

// Runs `action`, which is expected to open modal message boxes, and presses
// OK on each one as it appears. A safety timer ends a box that was never
// seen so that a failing test cannot hang.
inline std::vector<ShownMessage> CatchMessages(const std::function<void()>& action) {
  std::vector<ShownMessage> shown;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    ShownMessage message;
    message.text = box->text().toStdString();
    message.title = box->windowTitle().toStdString();
    message.icon = box->icon();
    for (QAbstractButton* button : box->buttons()) message.buttons.push_back(button->text().remove('&').toStdString());
    message.modal = box->isModal();
    message.owner = box->parentWidget();
    shown.push_back(message);
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
      ok->click();
    } else {
      box->reject();
    }
  });
  QTimer safety;
  safety.setSingleShot(true);
  QObject::connect(&safety, &QTimer::timeout, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  poll.start();
  safety.start(20000);
  action();
  return shown;
}

class WindowFixture {
 public:
  QApplication& application = EnsureQtApplication();
  FakeFileSystem files;
  FakeEngineLog engineLog;
  repair::RepairOperation repair{files, FakeEngineFactory(files, engineLog)};
  std::unique_ptr<window::Vondrel> window;

  // Creates the window as the program would, started from `programFolder`.
  window::Vondrel& Open(const platform::PathText& programFolder) {
    files.SetProgramFolder(programFolder);
    window = std::make_unique<window::Vondrel>(files, repair);
    return *window;
  }

  std::string PathBox() const { return window->txtPath()->toPlainText().toStdString(); }
  std::string FolderList() const { return Utf8(window->Dir1()->Path()); }
  bool RepairEnabled() const { return window->cmdRepair()->isEnabled(); }
  int SelectedFile() const { return window->File1()->ListIndex(); }
};

}  // namespace vondrel::testing
