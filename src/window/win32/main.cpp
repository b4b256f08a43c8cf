// Starts the program on Windows: its one window over the real file system
// and the program's own Jet engine. Closing the window ends the program.

#include "window/win32/windows_api.h"

#include <commctrl.h>

#include <string>

#include "platform/host_file_system.h"
#include "repair/jet_database_engine.h"
#include "repair/repair_operation.h"
#include "window/win32/vondrel.h"
#include "window/win32/wide_text.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command) {
  // The manifest asks for version 6 of the common controls; they register here.
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  vondrel::platform::HostFileSystem files;
  vondrel::repair::RepairOperation repair(files, vondrel::repair::JetEngineFactory(files));
  try {
    vondrel::window::Vondrel window(files, repair);
    window.EndProgramOnClose();
    window.Show(show_command);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (window.PreTranslateMessage(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
  } catch (const vondrel::Error& error) {
    // Only the start-up can fail this way (the program's own folder cannot be read).
    const std::wstring text = L"Error: " + std::to_wstring(error.number()) + L"  " +
                              vondrel::window::ToWide(vondrel::platform::FromUtf8(error.description()));
    MessageBoxW(nullptr, text.c_str(), L"Vondrel", MB_OK | MB_ICONERROR);
    return 1;
  }
}
