#include "window/win32/folder_list_box.h"

#include "window/win32/folder_glyph.h"
#include "window/win32/wide_text.h"

namespace vondrel::window {
namespace {

constexpr int kIndentAt96Dpi = 8;

}  // namespace

FolderListBox::FolderListBox(platform::FileSystem& file_system, HWND list)
    : FolderListContents(file_system), list_(list) {}

void FolderListBox::ShowEntries(const std::vector<Entry>& entries, int chain_length) {
  SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list_, LB_RESETCONTENT, 0, 0);
  for (const Entry& entry : entries) {
    SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(entry.text).c_str()));
  }
  SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(chain_length - 1), 0);
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
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
    const Entry& entry = Entries()[static_cast<std::size_t>(row)];
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
