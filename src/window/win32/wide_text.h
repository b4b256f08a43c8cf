#pragma once
// The program's UTF-16 text and the platform's wide strings, which hold the
// same 16-bit units on Windows.

#include "window/win32/windows_api.h"

#include <string>
#include <string_view>

namespace vondrel::window {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

inline std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string FromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// The whole text of a window or control.
inline std::u16string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return FromWide(text);
}

}  // namespace vondrel::window
