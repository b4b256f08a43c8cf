#pragma once
// The file list File1 on a list box. What it holds and how setting its
// folder, pattern or position behaves is the shared file list's; this shows
// it. The click notification is raised when the user selects an entry and
// when the program sets the selected position; a double-click raises the
// click notification and then the double-click notification.

#include "window/win32/windows_api.h"

#include <functional>
#include <string>
#include <vector>

#include "location/file_list_contents.h"
#include "platform/file_system.h"

namespace vondrel::window {

class FileListBox : public location::FileListContents {
 public:
  FileListBox(platform::FileSystem& file_system, HWND list);

  void OnClick(std::function<void()> handler) { on_click_ = std::move(handler); }
  void OnDblClick(std::function<void()> handler) { on_dbl_click_ = std::move(handler); }

  HWND Handle() const { return list_; }
  // The list box's notifications, passed on by the window.
  void Notify(int code);

 private:
  void ShowNames(const std::vector<std::u16string>& names) override;
  void ShowSelection(int position) override;
  void RaiseClick() override {
    if (on_click_) on_click_();
  }
  int Cursor() const;

  HWND list_;
  std::function<void()> on_click_;
  std::function<void()> on_dbl_click_;
};

}  // namespace vondrel::window
