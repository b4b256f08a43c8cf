#include "window/win32/file_list_box.h"

#include "location/name_matching.h"
#include "window/win32/wide_text.h"

namespace vondrel::window {
namespace {

// The number and text the platform's list controls give for a position
// that does not exist.
constexpr std::int32_t kInvalidPropertyValue = 380;

}  // namespace

FileListBox::FileListBox(platform::FileSystem& file_system, HWND list) : file_system_(file_system), list_(list) {}

std::vector<std::u16string> FileListBox::Read(const platform::PathText& folder, const std::u16string& pattern) {
  return location::MatchingFiles(file_system_, folder, pattern);
}

void FileListBox::SetPath(const platform::PathText& folder) {
  // Resolving and reading both throw on a missing folder, before anything changes.
  const platform::PathText resolved = file_system_.ResolveFolder(folder);
  std::vector<std::u16string> names = Read(resolved, pattern_);
  path_ = resolved;
  Show(std::move(names));
}

void FileListBox::SetPattern(const std::u16string& pattern) {
  // The same pattern again leaves the list and its selection alone, so that
  // Find keeps the file that its folder change has just selected.
  if (pattern == pattern_) return;
  std::vector<std::u16string> names = Read(path_, pattern);
  pattern_ = pattern;
  Show(std::move(names));
}

void FileListBox::Show(std::vector<std::u16string> names) {
  names_ = std::move(names);
  list_index_ = -1;
  SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list_, LB_RESETCONTENT, 0, 0);
  for (const std::u16string& name : names_) {
    SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(name).c_str()));
  }
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
}

void FileListBox::SetListIndex(int position) {
  if (position < -1 || position >= ListCount()) throw Error(kInvalidPropertyValue, "Invalid property value");
  Select(position);
  if (position >= 0 && on_click_) on_click_();
}

void FileListBox::Select(int position) {
  list_index_ = position;
  SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

int FileListBox::Cursor() const { return static_cast<int>(SendMessageW(list_, LB_GETCURSEL, 0, 0)); }

std::u16string FileListBox::FileName() const {
  return list_index_ >= 0 ? names_[static_cast<std::size_t>(list_index_)] : std::u16string();
}

std::u16string FileListBox::List(int position) const {
  if (position < 0 || position >= ListCount()) throw Error(kInvalidPropertyValue, "Invalid property value");
  return names_[static_cast<std::size_t>(position)];
}

void FileListBox::Notify(int code) {
  const int row = Cursor();
  if (row < 0 || row >= ListCount()) return;
  if (code == LBN_SELCHANGE) {
    Select(row);
    if (on_click_) on_click_();
  } else if (code == LBN_DBLCLK) {
    // The first press of a double-click has already selected the entry and
    // raised the click; should the second land on another entry, that entry
    // is clicked first.
    if (row != list_index_) {
      Select(row);
      if (on_click_) on_click_();
    }
    if (on_dbl_click_) on_dbl_click_();
  }
}

}  // namespace vondrel::window
