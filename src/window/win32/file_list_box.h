#pragma once
// The file list File1 on a list box: the ordinary files of its folder whose
// names match its pattern (wildcards, without regard to case, several
// patterns separated by ";"), sorted by name. Setting the folder or a
// different pattern re-reads the list and clears the selection. The click
// notification is raised when the user selects an entry and when the
// program sets the selected position; a double-click raises the click
// notification and then the double-click notification.

#include "window/win32/windows_api.h"

#include <functional>
#include <string>
#include <vector>

#include "location/controls.h"
#include "platform/file_system.h"

namespace vondrel::window {

class FileListBox : public location::FileList {
 public:
  FileListBox(platform::FileSystem& file_system, HWND list);

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

  void OnClick(std::function<void()> handler) { on_click_ = std::move(handler); }
  void OnDblClick(std::function<void()> handler) { on_dbl_click_ = std::move(handler); }

  HWND Handle() const { return list_; }
  // The list box's notifications, passed on by the window.
  void Notify(int code);

 private:
  std::vector<std::u16string> Read(const platform::PathText& folder, const std::u16string& pattern);
  void Show(std::vector<std::u16string> names);
  void Select(int position);
  int Cursor() const;

  platform::FileSystem& file_system_;
  HWND list_;
  platform::PathText path_;
  std::u16string pattern_ = u"*.*";
  std::vector<std::u16string> names_;
  int list_index_ = -1;
  std::function<void()> on_click_;
  std::function<void()> on_dbl_click_;
};

}  // namespace vondrel::window
