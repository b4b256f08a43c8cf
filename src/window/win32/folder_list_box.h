#pragma once
// The folder list Dir1 on a list box: the current drive's folders from its
// root down to the current folder as open folders, each indented one step
// more, then the current folder's subfolders as closed folders. A
// double-click (or Enter) on an entry moves there. Setting a different
// folder raises the change notification before SetPath returns; a folder
// that does not exist throws and changes nothing.

#include "window/win32/windows_api.h"

#include <functional>
#include <string>
#include <vector>

#include "location/controls.h"
#include "platform/file_system.h"

namespace vondrel::window {

class FolderListBox : public location::FolderList {
 public:
  // `list` is an owner-drawn list box with strings (LBS_OWNERDRAWFIXED | LBS_HASSTRINGS).
  FolderListBox(platform::FileSystem& file_system, HWND list);

  platform::PathText Path() const override { return path_; }
  void SetPath(const platform::PathText& folder) override;

  void OnChange(std::function<void()> handler) { on_change_ = std::move(handler); }

  HWND Handle() const { return list_; }
  int Count() const { return static_cast<int>(entries_.size()); }
  // The full folder path an entry stands for; empty for a row that does not exist.
  platform::PathText EntryPath(int row) const;
  int EntryDepth(int row) const;
  bool EntryIsOpen(int row) const;
  // The number of entries that are ancestors of the current folder or the folder itself.
  int ChainLength() const { return chain_length_; }

  // Moves to the folder of an entry, as a double-click on it does.
  void OpenEntry(int row);
  // The list box's notifications and drawing, passed on by the window.
  void Notify(int code);
  void Draw(const DRAWITEMSTRUCT& item, int dpi) const;

 private:
  struct Entry {
    platform::PathText path;
    std::u16string text;
    int depth;
    bool open;
  };
  void Show(const platform::PathText& folder, const std::vector<std::u16string>& sub_folders);

  platform::FileSystem& file_system_;
  HWND list_;
  platform::PathText path_;
  std::vector<Entry> entries_;
  int chain_length_ = 0;
  std::function<void()> on_change_;
};

}  // namespace vondrel::window
