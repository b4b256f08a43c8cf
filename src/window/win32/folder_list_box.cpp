#include "window/win32/folder_list_box.h"

#include "location/name_matching.h"
#include "platform/path_text.h"
#include "window/win32/folder_glyph.h"
#include "window/win32/wide_text.h"

namespace vondrel::window {
namespace {

constexpr int kIndentAt96Dpi = 8;

}  // namespace

FolderListBox::FolderListBox(platform::FileSystem& file_system, HWND list) : file_system_(file_system), list_(list) {}

void FolderListBox::SetPath(const platform::PathText& folder) {
  // Both reads throw on a missing folder, before anything changes.
  const platform::PathText resolved = file_system_.ResolveFolder(folder);
  std::vector<std::u16string> sub_folders = file_system_.SubFolders(resolved);
  location::SortNames(sub_folders);
  const bool changed = !platform::SameNameIgnoringCase(resolved, path_);
  path_ = resolved;
  Show(resolved, sub_folders);
  if (changed && on_change_) on_change_();
}

void FolderListBox::Show(const platform::PathText& folder, const std::vector<std::u16string>& sub_folders) {
  entries_.clear();
  const std::vector<platform::PathText> chain = platform::FolderChain(folder);
  int depth = 0;
  for (const platform::PathText& ancestor : chain) {
    entries_.push_back(Entry{ancestor, platform::LastComponent(ancestor), depth++, true});
  }
  chain_length_ = static_cast<int>(chain.size());
  for (const std::u16string& name : sub_folders) {
    entries_.push_back(Entry{platform::ChildFolder(folder, name), name, depth, false});
  }
  SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list_, LB_RESETCONTENT, 0, 0);
  for (const Entry& entry : entries_) {
    SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(entry.text).c_str()));
  }
  SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(chain_length_ - 1), 0);
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
}

platform::PathText FolderListBox::EntryPath(int row) const {
  return row >= 0 && row < Count() ? entries_[static_cast<std::size_t>(row)].path : platform::PathText();
}

int FolderListBox::EntryDepth(int row) const {
  return row >= 0 && row < Count() ? entries_[static_cast<std::size_t>(row)].depth : 0;
}

bool FolderListBox::EntryIsOpen(int row) const {
  return row >= 0 && row < Count() && entries_[static_cast<std::size_t>(row)].open;
}

void FolderListBox::OpenEntry(int row) {
  const platform::PathText target = EntryPath(row);
  if (target.empty()) return;
  try {
    SetPath(target);
  } catch (const std::exception&) {
    // The folder vanished since the list was read: show what is there now.
    try {
      SetPath(path_);
    } catch (const std::exception&) {
    }
  }
}

void FolderListBox::Notify(int code) {
  if (code == LBN_DBLCLK) OpenEntry(static_cast<int>(SendMessageW(list_, LB_GETCURSEL, 0, 0)));
}

void FolderListBox::Draw(const DRAWITEMSTRUCT& item, int dpi) const {
  HDC dc = item.hDC;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(dc, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  const int row = static_cast<int>(item.itemID);
  if (row >= 0 && row < Count()) {
    const Entry& entry = entries_[static_cast<std::size_t>(row)];
    const int height = item.rcItem.bottom - item.rcItem.top;
    const int glyph = height - 2;
    RECT box{item.rcItem.left + 2 + entry.depth * MulDiv(kIndentAt96Dpi, dpi, 96), item.rcItem.top + 1, 0, 0};
    box.right = box.left + glyph;
    box.bottom = box.top + glyph;
    DrawFolderGlyph(dc, box, entry.open);
    RECT text = item.rcItem;
    text.left = box.right + MulDiv(4, dpi, 96);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    const std::wstring name = ToWide(entry.text);
    DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &item.rcItem);
}

}  // namespace vondrel::window
