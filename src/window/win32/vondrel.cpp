#include "window/win32/vondrel.h"

#include <cmath>
#include <cwchar>
#include <map>
#include <string>

#include "resources/resource_ids.h"
#include "window/twips.h"
#include "window/win32/panel_classes.h"
#include "window/win32/wide_text.h"

namespace vondrel::window {
namespace {

constexpr wchar_t kWindowClass[] = L"Vondrel";
// A fixed dialog border: no resizing, no minimise or maximise button, the
// close button kept. The dialog keyboard handling enters Frame1.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
// Control identifiers: this plus the row's place in the control table.
constexpr int kFirstControlId = 100;
constexpr int kFolderGlyphAt96Dpi = 16;
constexpr wchar_t kDialogFontFamily[] = L"MS Shell Dlg";
constexpr double kDialogFontPoints = 8;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// A function of user32 that older Windows lacks, or nothing.
template <typename Function>
Function User32Function(const char* name) {
  const FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// The resolution of the screen a window is on: per monitor where Windows
// tells it (Windows 10 and later), else the system's.
int DpiFor(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto get_dpi = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  if (get_dpi && window) {
    const UINT dpi = get_dpi(window);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// The outer size of the window for a client area of this size.
SIZE OuterSize(int width, int height, int dpi) {
  RECT rect{0, 0, width, height};
  using AdjustFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = User32Function<AdjustFunction>("AdjustWindowRectExForDpi");
  if (adjust) {
    adjust(&rect, kWindowStyle, FALSE, kWindowExStyle, static_cast<UINT>(dpi));
  } else {
    AdjustWindowRectEx(&rect, kWindowStyle, FALSE, kWindowExStyle);
  }
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

HFONT MakeFont(const std::wstring& family, double points, int weight, int dpi) {
  LOGFONTW font{};
  font.lfHeight = -static_cast<LONG>(std::lround(points * dpi / 72.0));
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  std::wcsncpy(font.lfFaceName, family.c_str(), LF_FACESIZE - 1);
  return CreateFontIndirectW(&font);
}

// The logo, an enhanced metafile kept in the program's resources.
HENHMETAFILE LoadLogo() {
  HRSRC found = FindResourceW(Instance(), MAKEINTRESOURCEW(VONDREL_LOGO_ID), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!found) return nullptr;
  HGLOBAL loaded = LoadResource(Instance(), found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return nullptr;
  return SetEnhMetaFileBits(SizeofResource(Instance(), found), static_cast<const BYTE*>(bytes));
}

void RegisterWindowClass() {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(Instance(), kWindowClass, &existing)) return;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = Instance();
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  // The window's background: the inactive title bar's colour, system colour 3.
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_INACTIVECAPTION + 1));
  window_class.hIcon = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(VONDREL_ICON_ID), IMAGE_ICON,
                                                      32, 32, LR_DEFAULTCOLOR));
  window_class.hIconSm = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(VONDREL_ICON_ID), IMAGE_ICON,
                                                        16, 16, LR_DEFAULTCOLOR));
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);
}

bool IsEditControl(HWND control) {
  wchar_t name[16] = {};
  GetClassNameW(control, name, 16);
  return _wcsicmp(name, L"Edit") == 0;
}

}  // namespace

Vondrel::Vondrel(platform::FileSystem& file_system, repair::RepairOperation& repair_operation)
    : file_system_(file_system), repair_operation_(repair_operation) {
  RegisterWindowClass();
  RegisterPanelClasses(Instance());
  // The window procedure is set once the window knows this object, so that
  // no message reaches it half made.
  window_ = CreateWindowExW(kWindowExStyle, kWindowClass, ToWide(table::kCaption).c_str(), kWindowStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, Instance(), nullptr);
  if (!window_) throw Error(static_cast<std::int32_t>(GetLastError()), "The window could not be created");
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Vondrel::WindowProcedure));
  try {
    dpi_ = DpiFor(window_);
    CreateControls();
    ApplyStackingOrder();
    ApplyFonts();
    ApplyLayout();
    Form_Load();
  } catch (...) {
    DestroyWindow(window_);
    throw;
  }
}

Vondrel::~Vondrel() {
  if (IsWindow(window_)) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  if (dialog_font_) DeleteObject(dialog_font_);
  if (heading_font_) DeleteObject(heading_font_);
  if (logo_) DeleteEnhMetaFile(logo_);
}

void Vondrel::CreateControls() {
  // The frame first, then the options inside it.
  for (const table::ControlRow& row : table::kControls) {
    if (row.container.empty()) {
      controls_[table::StackPosition(row)] = Create(row, window_, kFirstControlId + int(table::StackPosition(row)));
    }
  }
  for (const table::ControlRow& row : table::kControls) {
    if (!row.container.empty()) {
      controls_[table::StackPosition(row)] =
          Create(row, Control(table::Row(row.container)), kFirstControlId + int(table::StackPosition(row)));
    }
  }

  Dir1_ = std::make_unique<FolderListBox>(file_system_, Control("Dir1"));
  File1_ = std::make_unique<FileListBox>(file_system_, Control("File1"));
  Dir1_->OnChange([this] { Dir1_Change(); });
  File1_->OnClick([this] { File1_Click(); });
  File1_->OnDblClick([this] { File1_DblClick(); });
  for (int index = 0; index < int(location::kProgramChoiceCount); ++index) {
    option_adapters_.push_back(std::make_unique<OptionButtonAdapter>(Control("optSelect", index)));
    browse_.optSelect[static_cast<std::size_t>(index)] = option_adapters_.back().get();
  }
  path_box_ = std::make_unique<TextBoxAdapter>(Control("txtPath"));
  instructions_box_ = std::make_unique<TextBoxAdapter>(Control("txtInstructions"));
  repair_button_ = std::make_unique<CommandButtonAdapter>(Control("cmdRepair"));
  browse_.Dir1 = Dir1_.get();
  browse_.File1 = File1_.get();
  browse_.txtPath = path_box_.get();
  browse_.cmdRepair = repair_button_.get();

  logo_ = LoadLogo();
  if (logo_) SendMessageW(Control("Image1"), STM_SETIMAGE, IMAGE_ENHMETAFILE, reinterpret_cast<LPARAM>(logo_));
}

// Makes the control of one row, of the row's kind, with its caption and settings.
HWND Vondrel::Create(const table::ControlRow& row, HWND container, int id) {
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  DWORD ex_style = 0;
  const wchar_t* window_class = L"STATIC";
  switch (row.kind) {
    case table::Kind::TextBox:
      window_class = L"EDIT";
      style |= ES_LEFT | ES_AUTOVSCROLL;
      if (row.Has(table::kMultiLine)) style |= ES_MULTILINE;
      if (row.Has(table::kReadOnly)) style |= ES_READONLY;
      if (!row.Has(table::kNoTabStop)) style |= WS_TABSTOP | WS_GROUP;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    case table::Kind::PushButton:
      window_class = L"BUTTON";
      style |= BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP;
      break;
    case table::Kind::Frame:
      window_class = kFrameClass;
      style |= WS_GROUP;
      ex_style = WS_EX_CONTROLPARENT;
      break;
    case table::Kind::OptionButton:
      // The options of one frame form one group, which starts at index 0.
      window_class = L"BUTTON";
      style |= BS_AUTORADIOBUTTON;
      if (row.index == 0) style |= WS_GROUP | WS_TABSTOP;
      break;
    case table::Kind::FolderList:
      window_class = L"LISTBOX";
      style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP |
               WS_GROUP;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    case table::Kind::FileList:
      window_class = L"LISTBOX";
      style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP | WS_GROUP;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    case table::Kind::Label:
      style |= SS_NOPREFIX | (row.Has(table::kTextCentred) ? SS_CENTER : SS_LEFT);
      break;
    case table::Kind::Picture:
      style |= SS_ENHMETAFILE;
      break;
    case table::Kind::Rectangle:
      window_class = kShapeClass;
      break;
  }
  HWND control = CreateWindowExW(ex_style, window_class, ToWide(row.caption).c_str(), style, 0, 0, 0, 0, container,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
  if (!control) throw Error(static_cast<std::int32_t>(GetLastError()), "A control of the window could not be created");
  if (row.Has(table::kSelected)) SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
  return control;
}

void Vondrel::ApplyStackingOrder() {
  // Each control goes under the one listed before it among its siblings.
  std::map<HWND, HWND> last_of_parent;
  for (const table::ControlRow& row : table::kControls) {
    HWND control = Control(row);
    HWND parent = GetParent(control);
    const auto previous = last_of_parent.find(parent);
    const HWND after = previous == last_of_parent.end() ? HWND_TOP : previous->second;
    SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    last_of_parent[parent] = control;
  }
}

void Vondrel::ApplyFonts() {
  HFONT old_dialog = dialog_font_;
  HFONT old_heading = heading_font_;
  dialog_font_ = MakeFont(kDialogFontFamily, kDialogFontPoints, FW_NORMAL, dpi_);
  const std::string_view family = table::kHeadingFontFamily;
  heading_font_ = MakeFont(std::wstring(family.begin(), family.end()), table::kHeadingFontPoints, FW_BOLD, dpi_);
  for (const table::ControlRow& row : table::kControls) {
    HFONT font = row.Has(table::kHeadingFont) ? heading_font_ : dialog_font_;
    SendMessageW(Control(row), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  SendMessageW(Control("Dir1"), LB_SETITEMHEIGHT, 0, MulDiv(kFolderGlyphAt96Dpi, dpi_, 96));
  if (old_dialog) DeleteObject(old_dialog);
  if (old_heading) DeleteObject(old_heading);
}

void Vondrel::ApplyLayout() {
  const TwipsScale scale(dpi_);
  for (const table::ControlRow& row : table::kControls) {
    const PixelRect pixels = scale.ToPixels(row.bounds);
    SetWindowPos(Control(row), nullptr, pixels.left, pixels.top, pixels.width, pixels.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The client area at its size in this resolution's pixels; a frame that
  // the system draws otherwise than it reported is corrected for.
  const int width = scale.ToPixels(table::kClientWidth);
  const int height = scale.ToPixels(table::kClientHeight);
  SIZE outer = OuterSize(width, height, dpi_);
  SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  GetClientRect(window_, &client);
  if (client.right != width || client.bottom != height) {
    outer.cx += width - client.right;
    outer.cy += height - client.bottom;
    SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // Placed in the middle of the screen's work area.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const int left = work.left + (work.right - work.left - outer.cx) / 2;
  const int top = work.top + (work.bottom - work.top - outer.cy) / 2;
  SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Vondrel::Form_Load() {
  // No handling of its own: AppPath names an existing folder.
  Dir1_->SetPath(AppPath());
  Dir1_Change();
  instructions_box_->SetText(table::kInstructionsText);
}

void Vondrel::Show(int show_command) {
  ShowWindow(window_, show_command);
  UpdateWindow(window_);
  const std::vector<HWND> stops = TabStops();
  if (!stops.empty()) SetFocus(stops.front());
}

std::vector<HWND> Vondrel::TabStops() const {
  std::vector<HWND> stops;
  bool any_option_on = false;
  for (int index = 0; index < int(location::kProgramChoiceCount); ++index) {
    any_option_on = any_option_on || SendMessageW(Control("optSelect", index), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  for (const table::ControlRow* row : table::InTabOrder()) {
    if (row->kind == table::Kind::Frame || row->kind == table::Kind::Label || row->Has(table::kNoTabStop)) continue;
    HWND control = Control(*row);
    if (row->kind == table::Kind::OptionButton) {
      const bool on = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
      if (!(on || (!any_option_on && row->index == 0))) continue;
    }
    const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
    if ((style & WS_VISIBLE) && !(style & WS_DISABLED)) stops.push_back(control);
  }
  return stops;
}

void Vondrel::MoveFocus(bool backwards) {
  const std::vector<HWND> stops = TabStops();
  if (stops.empty()) return;
  // The tab index the focus is at now; a control that is no stop (the
  // instructions, an option that is off) keeps its place in tab order.
  HWND focus = GetFocus();
  int at = -1;
  for (const table::ControlRow& row : table::kControls) {
    if (Control(row) == focus) at = row.tab_index;
  }
  const auto tab_index_of = [&](HWND stop) {
    for (const table::ControlRow& row : table::kControls) {
      if (Control(row) == stop) return row.tab_index;
    }
    return table::kNone;
  };
  HWND target = backwards ? stops.back() : stops.front();
  if (at != table::kNone) {
    if (backwards) {
      for (auto stop = stops.rbegin(); stop != stops.rend(); ++stop) {
        if (tab_index_of(*stop) < at) {
          target = *stop;
          break;
        }
      }
    } else {
      for (HWND stop : stops) {
        if (tab_index_of(stop) > at) {
          target = stop;
          break;
        }
      }
    }
  }
  SetFocus(target);
  // As in a dialog, a text box that the Tab key enters has its text selected.
  if (IsEditControl(target)) SendMessageW(target, EM_SETSEL, 0, -1);
}

bool Vondrel::PreTranslateMessage(MSG& message) {
  if (!IsWindow(window_) || (message.hwnd != window_ && !IsChild(window_, message.hwnd))) return false;
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && !(GetKeyState(VK_CONTROL) & 0x8000)) {
    MoveFocus((GetKeyState(VK_SHIFT) & 0x8000) != 0);
    return true;
  }
  return IsDialogMessageW(window_, &message) != 0;
}

LRESULT CALLBACK Vondrel::WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<Vondrel*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, w, l);
  // No error may cross the platform's code: one that a handler lets out is shown.
  try {
    return self->Dispatch(message, w, l);
  } catch (const Error& error) {
    const std::wstring text = L"Error: " + std::to_wstring(error.number()) + L"  " +
                              ToWide(platform::FromUtf8(error.description()));
    MessageBoxW(window, text.c_str(), L"Vondrel", MB_OK | MB_ICONERROR);
  } catch (const std::exception& error) {
    MessageBoxW(window, ToWide(platform::FromUtf8(error.what())).c_str(), L"Vondrel", MB_OK | MB_ICONERROR);
  }
  return 0;
}

LRESULT Vondrel::Dispatch(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(w), HIWORD(w), reinterpret_cast<HWND>(l));
      return 0;
    case WM_CTLCOLORSTATIC:
      return ControlColour(reinterpret_cast<HDC>(w), reinterpret_cast<HWND>(l));
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(l);
      item->itemHeight = static_cast<UINT>(MulDiv(kFolderGlyphAt96Dpi, dpi_, 96));
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(l);
      if (Dir1_ && item->hwndItem == Dir1_->Handle()) Dir1_->Draw(*item, dpi_);
      return TRUE;
    }
    case WM_DPICHANGED: {
      // The window moves to a screen of another resolution: the same layout in its pixels.
      dpi_ = HIWORD(w);
      ApplyFonts();
      const RECT* suggested = reinterpret_cast<const RECT*>(l);
      ApplyLayout();
      SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      if (ends_program_) PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window_, message, w, l);
  }
}

void Vondrel::Command(int id, int code, HWND control) {
  if (id == IDOK && control == GetDlgItem(window_, IDOK)) {
    // Enter, sent by the dialog keyboard handling: it presses the button
    // that has the focus and opens the folder list's entry.
    HWND focus = GetFocus();
    if (focus == Control("cmdFind") || focus == Control("cmdRepair")) {
      SendMessageW(focus, BM_CLICK, 0, 0);
    } else if (focus == Dir1_->Handle()) {
      Dir1_->OpenEntry(static_cast<int>(SendMessageW(focus, LB_GETCURSEL, 0, 0)));
    }
    return;
  }
  const int position = id - kFirstControlId;
  if (position < 0 || position >= int(table::kControls.size())) return;
  const table::ControlRow& row = table::kControls[static_cast<std::size_t>(position)];
  switch (row.kind) {
    case table::Kind::PushButton:
      if (code != BN_CLICKED) return;
      if (row.name == "cmdFind") cmdFind_Click();
      if (row.name == "cmdRepair") cmdRepair_Click();
      return;
    case table::Kind::OptionButton:
      if (code == BN_CLICKED) optSelect_Click(row.index);
      return;
    case table::Kind::FileList:
      File1_->Notify(code);
      return;
    case table::Kind::FolderList:
      Dir1_->Notify(code);
      return;
    default:
      return;
  }
}

LRESULT Vondrel::ControlColour(HDC dc, HWND control) {
  for (const table::ControlRow& row : table::kControls) {
    if (Control(row) != control) continue;
    // Read-only text boxes ask here too: the instructions stay on the window colour.
    if (row.kind == table::Kind::TextBox && !row.Has(table::kPanelBackground)) {
      SetBkColor(dc, GetSysColor(COLOR_WINDOW));
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    SetBkColor(dc, GetSysColor(COLOR_INACTIVECAPTION));
    SetTextColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_INACTIVECAPTION));
  }
  return DefWindowProcW(window_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
}

platform::PathText Vondrel::AppPath() { return location::WithoutTrailingBackslash(file_system_.ProgramFolder()); }

void Vondrel::Dir1_Change() { location::FollowFolderChange(browse_); }

void Vondrel::cmdFind_Click() { location::FindDefaultLocation(browse_); }

void Vondrel::optSelect_Click(int /*index*/) { Dir1_Change(); }

void Vondrel::File1_Click() { location::ShowClickedFile(browse_); }

void Vondrel::File1_DblClick() { location::ShowDoubleClickedFile(browse_); }

void Vondrel::cmdRepair_Click() {
  const repair::RepairOutcome outcome = repair_operation_.Run(path_box_->Text());
  ShowMessage(repair::MessageFor(outcome));
}

void Vondrel::ShowMessage(const repair::OutcomeMessage& message) {
  // Modal and owned by the window, with the outcome's icon (style 16 or 48) and one OK button.
  MessageBoxW(window_, ToWide(message.text).c_str(), ToWide(message.title).c_str(),
              MB_OK | static_cast<UINT>(message.icon));
}

}  // namespace vondrel::window
