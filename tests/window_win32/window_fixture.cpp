#include "window_win32/window_fixture.h"

#include <commctrl.h>

#include "platform/path_text.h"
#include "window/win32/wide_text.h"

namespace vondrel::testing {
namespace {

constexpr UINT kPollMilliseconds = 20;
constexpr int kSafetyPolls = 1000;  // 20 seconds

struct Catcher {
  std::vector<ShownMessage>* shown = nullptr;
  int polls = 0;
};
Catcher* active_catcher = nullptr;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

BOOL CALLBACK FindMessageBox(HWND window, LPARAM found) {
  if (ClassOf(window) == L"#32770" && IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK ReadPart(HWND control, LPARAM into) {
  auto& message = *reinterpret_cast<ShownMessage*>(into);
  const std::wstring kind = ClassOf(control);
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  if (_wcsicmp(kind.c_str(), L"Button") == 0 && (style & WS_VISIBLE)) message.buttons.push_back(TextOf(control));
  if (_wcsicmp(kind.c_str(), L"Static") == 0) {
    if ((style & SS_TYPEMASK) == SS_ICON) {
      message.icon = reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0));
    } else if (GetWindowTextLengthW(control) > 0) {
      message.text = TextOf(control);
    }
  }
  return TRUE;
}

void CALLBACK Poll(HWND, UINT, UINT_PTR, DWORD) {
  Catcher* catcher = active_catcher;
  if (!catcher) return;
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindMessageBox, reinterpret_cast<LPARAM>(&box));
  if (!box) return;
  if (++catcher->polls > kSafetyPolls) {
    EndDialog(box, IDCANCEL);
    return;
  }
  ShownMessage message;
  message.title = TextOf(box);
  EnumChildWindows(box, ReadPart, reinterpret_cast<LPARAM>(&message));
  message.owner = GetWindow(box, GW_OWNER);
  message.owner_enabled = message.owner && IsWindowEnabled(message.owner);
  catcher->shown->push_back(message);
  if (HWND ok = GetDlgItem(box, IDOK)) {
    SendMessageW(ok, BM_CLICK, 0, 0);
  } else {
    EndDialog(box, IDCANCEL);
  }
}

}  // namespace

std::string Utf8(const std::u16string& text) { return platform::ToUtf8(text); }
std::string Utf8(const std::wstring& text) { return platform::ToUtf8(window::FromWide(text)); }
std::string TextOf(HWND window) { return Utf8(window::WindowText(window)); }

std::vector<ShownMessage> CatchMessages(const std::function<void()>& action) {
  std::vector<ShownMessage> shown;
  Catcher catcher{&shown, 0};
  active_catcher = &catcher;
  const UINT_PTR timer = SetTimer(nullptr, 0, kPollMilliseconds, Poll);
  action();
  KillTimer(nullptr, timer);
  active_catcher = nullptr;
  return shown;
}

WindowFixture::WindowFixture() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    return InitCommonControlsEx(&controls) != FALSE;
  }();
  (void)registered;
}

window::Vondrel& WindowFixture::Open(const platform::PathText& program_folder) {
  files.MakeFolder(program_folder);
  files.SetProgramFolder(program_folder);
  window = std::make_unique<window::Vondrel>(files, repair);
  return *window;
}

void WindowFixture::Show() {
  window->Show();
  Pump();
}

bool WindowFixture::Checked(int option) const {
  return SendMessageW(Control("optSelect", option), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string WindowFixture::FocusName() const {
  HWND focus = GetFocus();
  for (const window::table::ControlRow& row : window::table::kControls) {
    if (window->Control(row) != focus) continue;
    std::string name(row.name);
    if (row.index != window::table::kNone) name += std::to_string(row.index);
    return name;
  }
  return "";
}

void WindowFixture::Click(HWND button) {
  SendMessageW(button, BM_CLICK, 0, 0);
  Pump();
}

void WindowFixture::ClickEntry(HWND list, int row) {
  RECT entry{};
  SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&entry));
  const LPARAM at = MAKELPARAM(entry.left + 4, (entry.top + entry.bottom) / 2);
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(list, WM_LBUTTONUP, 0, at);
  Pump();
}

void WindowFixture::DoubleClickEntry(HWND list, int row) {
  RECT entry{};
  SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&entry));
  const LPARAM at = MAKELPARAM(entry.left + 4, (entry.top + entry.bottom) / 2);
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(list, WM_LBUTTONUP, 0, at);
  SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageW(list, WM_LBUTTONUP, 0, at);
  Pump();
}

void WindowFixture::PressKey(WPARAM key, bool shift) {
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_SHIFT] = shift ? 0x80 : 0;
  SetKeyboardState(keys);
  MSG message{};
  message.hwnd = GetFocus() ? GetFocus() : window->Handle();
  message.message = WM_KEYDOWN;
  message.wParam = key;
  message.lParam = 1;
  if (!window->PreTranslateMessage(message)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  keys[VK_SHIFT] = 0;
  SetKeyboardState(keys);
  Pump();
}

void WindowFixture::Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (window && window->PreTranslateMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

std::vector<std::string> WindowFixture::ListTexts(HWND list) {
  std::vector<std::string> texts;
  const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0)) + 1, L'\0');
    const LRESULT length = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data()));
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    texts.push_back(Utf8(text));
  }
  return texts;
}

}  // namespace vondrel::testing
