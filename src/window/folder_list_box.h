#pragma once
// The folder list Dir1 on a Qt list widget. What it holds and how setting
// its folder behaves is the shared folder list's; this shows it, each entry
// indented by its depth. A double-click (or Enter) on an entry moves there.

#include <QListWidget>

#include <vector>

#include "location/folder_list_contents.h"
#include "platform/file_system.h"

namespace vondrel::window {

class FolderListBox : public QListWidget, public location::FolderListContents {
  Q_OBJECT

 public:
  explicit FolderListBox(platform::FileSystem& file_system, QWidget* parent = nullptr);

 signals:
  void Change();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ShowEntries(const std::vector<Entry>& entries, int chain_length) override;
  void RaiseChange() override { emit Change(); }
};

}  // namespace vondrel::window
