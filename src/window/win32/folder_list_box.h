#pragma once
// The folder list Dir1 on an owner-drawn list box. What it holds and how
// setting its folder behaves is the shared folder list's; this draws it,
// each entry indented by its depth with an open or a closed folder. A
// double-click (or Enter) on an entry moves there.

#include "window/win32/windows_api.h"

#include <functional>
#include <string>
#include <vector>

#include "location/folder_list_contents.h"
#include "platform/file_system.h"

namespace vondrel::window {

class FolderListBox : public location::FolderListContents {
 public:
  // `list` is an owner-drawn list box with strings (LBS_OWNERDRAWFIXED | LBS_HASSTRINGS).
  FolderListBox(platform::FileSystem& file_system, HWND list);

  void OnChange(std::function<void()> handler) { on_change_ = std::move(handler); }

  HWND Handle() const { return list_; }
  // The list box's notifications and drawing, passed on by the window.
  void Notify(int code);
  void Draw(const DRAWITEMSTRUCT& item, int dpi) const;

 private:
  void ShowEntries(const std::vector<Entry>& entries, int chain_length) override;
  void RaiseChange() override {
    if (on_change_) on_change_();
  }

  HWND list_;
  std::function<void()> on_change_;
};

}  // namespace vondrel::window
