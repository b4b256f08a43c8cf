#pragma once
// A window Vondrel over an in-memory drive C: and a scripted engine, opened
// on a chosen program folder, with the user's actions as the platform
// delivers them (clicks, keys, list clicks) and a catcher for the message
// boxes it shows.

#include "window/win32/windows_api.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "repair/repair_operation.h"
#include "window/win32/vondrel.h"
#include "window_win32/memory_file_system.h"
#include "window_win32/scripted_engine.h"

namespace vondrel::testing {

std::string Utf8(const std::u16string& text);
std::string Utf8(const std::wstring& text);
// The whole text of a window or control, as UTF-8.
std::string TextOf(HWND window);

// What a message box showed before the catcher pressed its OK button.
struct ShownMessage {
  std::string text;
  std::string title;
  HICON icon = nullptr;
  std::vector<std::string> buttons;
  HWND owner = nullptr;
  bool owner_enabled = true;  // while the box was up
};

// Runs `action`, which is expected to open message boxes, and presses OK on
// each one as it appears, from a timer. A box still open after 20 seconds is
// ended, so that a failing test cannot hang.
std::vector<ShownMessage> CatchMessages(const std::function<void()>& action);

class WindowFixture {
 public:
  WindowFixture();

  MemoryFileSystem files;
  EngineScript engine;
  repair::RepairOperation repair{files, ScriptedEngineFactory(files, engine)};
  std::unique_ptr<window::Vondrel> window;

  // Creates the window as the program would, started from `program_folder`.
  window::Vondrel& Open(const platform::PathText& program_folder);
  // Shows it and lets it paint.
  void Show();

  HWND Control(const char* name, int index = window::table::kNone) const { return window->Control(name, index); }
  std::string PathBox() const { return TextOf(Control("txtPath")); }
  std::string FolderList() const { return Utf8(window->Dir1().Path()); }
  bool RepairEnabled() const { return IsWindowEnabled(Control("cmdRepair")) != FALSE; }
  int SelectedFile() const { return window->File1().ListIndex(); }
  bool Checked(int option) const;
  // The name of the control that has the focus ("optSelect2" for an option), or "".
  std::string FocusName() const;

  // A click with the mouse's left button on a button.
  void Click(HWND button);
  // A click, or a double-click, on a list's entry, at its place in the list.
  void ClickEntry(HWND list, int row);
  void DoubleClickEntry(HWND list, int row);
  // One key press sent to the control with the focus, through the window's
  // keyboard handling, with Shift held when asked.
  void PressKey(WPARAM key, bool shift = false);
  // Delivers the messages waiting in the queue.
  void Pump();
  // The text of each entry of a list box.
  static std::vector<std::string> ListTexts(HWND list);
};

}  // namespace vondrel::testing
