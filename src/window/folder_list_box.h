#pragma once
// The folder list Dir1: the current drive's folders from its root down to the
// current folder, then the current folder's subfolders. A double-click (or
// Enter) on an entry moves there. Setting a different folder raises Change
// before SetPath returns; a folder that does not exist throws and changes
// nothing.

#include <QListWidget>

#include "location/controls.h"
#include "platform/file_system.h"

namespace vondrel::window {

class FolderListBox : public QListWidget, public location::FolderList {
  Q_OBJECT

 public:
  explicit FolderListBox(platform::FileSystem& file_system, QWidget* parent = nullptr);

  platform::PathText Path() const override { return path_; }
  void SetPath(const platform::PathText& folder) override;

  // The full folder path an entry stands for.
  platform::PathText EntryPath(int row) const;
  // The number of entries that are ancestors of the current folder or the folder itself.
  int ChainLength() const { return chain_length_; }

 signals:
  void Change();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void OpenEntry(int row);
  void Show(const platform::PathText& folder, const std::vector<std::u16string>& sub_folders);

  platform::FileSystem& file_system_;
  platform::PathText path_;
  int chain_length_ = 0;
};

}  // namespace vondrel::window
