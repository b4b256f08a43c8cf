#pragma once
// The file list File1 on a Qt list widget. What it holds and how setting its
// folder, pattern or position behaves is the shared file list's; this shows
// it. Click is raised when the user selects an entry and when the program
// sets the selected position; a double-click raises Click and then DblClick.

#include <QListWidget>

#include <string>
#include <vector>

#include "location/file_list_contents.h"
#include "platform/file_system.h"

namespace vondrel::window {

class FileListBox : public QListWidget, public location::FileListContents {
  Q_OBJECT

 public:
  explicit FileListBox(platform::FileSystem& file_system, QWidget* parent = nullptr);

 signals:
  void Click();
  void DblClick();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ShowNames(const std::vector<std::u16string>& names) override;
  void ShowSelection(int position) override;
  void RaiseClick() override { emit Click(); }
};

}  // namespace vondrel::window
