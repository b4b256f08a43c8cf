#pragma once
// The file list File1: the ordinary files of its folder whose names match its
// pattern (wildcards, without regard to case, several patterns separated by
// ";"), sorted by name. Setting the folder or a different pattern re-reads
// the list and clears the selection. Click is raised when the user selects an entry
// and when the program sets the selected position; a double-click raises
// Click and then DblClick.

#include <QListWidget>

#include <vector>

#include "location/controls.h"
#include "platform/file_system.h"

namespace vondrel::window {

class FileListBox : public QListWidget, public location::FileList {
  Q_OBJECT

 public:
  explicit FileListBox(platform::FileSystem& file_system, QWidget* parent = nullptr);

  platform::PathText Path() const override { return path_; }
  void SetPath(const platform::PathText& folder) override;
  std::u16string Pattern() const override { return pattern_; }
  void SetPattern(const std::u16string& pattern) override;
  int ListCount() const override { return static_cast<int>(names_.size()); }
  int ListIndex() const override { return list_index_; }
  void SetListIndex(int position) override;
  std::u16string FileName() const override;

  // The entry at a position, for callers that walk the list.
  std::u16string List(int position) const;

 signals:
  void Click();
  void DblClick();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::vector<std::u16string> Read(const platform::PathText& folder, const std::u16string& pattern);
  void Show(std::vector<std::u16string> names);
  void Select(int position);

  platform::FileSystem& file_system_;
  platform::PathText path_;
  std::u16string pattern_ = u"*.*";
  std::vector<std::u16string> names_;
  int list_index_ = -1;
};

}  // namespace vondrel::window
