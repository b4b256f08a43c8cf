#include "window/win32/file_list_box.h"

#include "window/win32/wide_text.h"

namespace vondrel::window {

FileListBox::FileListBox(platform::FileSystem& file_system, HWND list) : FileListContents(file_system), list_(list) {}

void FileListBox::ShowNames(const std::vector<std::u16string>& names) {
  SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list_, LB_RESETCONTENT, 0, 0);
  for (const std::u16string& name : names) {
    SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(name).c_str()));
  }
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
}

void FileListBox::ShowSelection(int position) { SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(position), 0); }

int FileListBox::Cursor() const { return static_cast<int>(SendMessageW(list_, LB_GETCURSEL, 0, 0)); }

void FileListBox::Notify(int code) {
  const int row = Cursor();
  if (row < 0 || row >= ListCount()) return;
  if (code == LBN_SELCHANGE) {
    Pick(row);
  } else if (code == LBN_DBLCLK) {
    // The first press of a double-click has already selected the entry and
    // raised the click; should the second land on another entry, that entry
    // is clicked first.
    if (row != ListIndex()) Pick(row);
    if (on_dbl_click_) on_dbl_click_();
  }
}

}  // namespace vondrel::window
