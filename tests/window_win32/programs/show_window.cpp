// Shows the Win32 window over an in-memory drive C: on which Tamberlo's
// database lies in the program's folder, for pictures of the window:
//   show_window [window | success | error] [SECONDS]
// "success" and "error" press the repair button once the window is up, which
// shows the message of a successful or a failed repair over it. The program
// ends when the window is closed, or after SECONDS (default 30).

#include "window/win32/windows_api.h"

#include <commctrl.h>

#include <cwchar>
#include <string>

#include "repair/repair_operation.h"
#include "window/win32/vondrel.h"
#include "window_win32/memory_file_system.h"
#include "window_win32/scripted_engine.h"

namespace {

constexpr UINT_PTR kPressRepair = 1;
constexpr UINT_PTR kGiveUp = 2;
HWND repair_button = nullptr;

void CALLBACK OnTimer(HWND window, UINT, UINT_PTR timer, DWORD) {
  KillTimer(window, timer);
  if (timer == kPressRepair) PostMessageW(repair_button, BM_CLICK, 0, 0);
  if (timer == kGiveUp) PostQuitMessage(0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"window";
  const int seconds = argc > 2 ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : 30;
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  vondrel::testing::MemoryFileSystem files;
  files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", "data");
  files.MakeFolder(u"C:\\Program Files\\Tamberlo\\Backup");
  files.MakeFolder(u"C:\\Program Files\\Guvrine");
  files.SetProgramFolder(u"C:\\Program Files\\Tamberlo");
  vondrel::testing::EngineScript script;
  if (mode == L"error") {
    script.compact_error = vondrel::Error(-1032, "Unrecognized database format 'C:\\Program Files\\Tamberlo\\Data.mdb'.");
  }
  vondrel::repair::RepairOperation repair(files, vondrel::testing::ScriptedEngineFactory(files, script));
  vondrel::window::Vondrel window(files, repair);
  window.EndProgramOnClose();
  window.Show();
  repair_button = window.Control("cmdRepair");
  // Timers of the window, so that they keep these numbers.
  if (mode != L"window") SetTimer(window.Handle(), kPressRepair, 1000, OnTimer);
  SetTimer(window.Handle(), kGiveUp, static_cast<UINT>(seconds) * 1000, OnTimer);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window.PreTranslateMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
