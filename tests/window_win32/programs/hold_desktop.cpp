// Holds Wine's desktop open for a whole test run:
//   hold_desktop [SECONDS]
// Wine starts its desktop process (explorer.exe /desktop) when a first
// program opens a window, and ends it some seconds after the last such
// program has ended. Started by a window test, the desktop process keeps that
// test's output pipe, and CTest waits for the pipe to close: the test then
// seems to run 20 s or more longer. Run before the tests, this program keeps
// one hidden window on the desktop, so that the desktop process is started
// once, with this program's output. It prints "ready" once its window exists
// and ends after SECONDS (default 3600), or when the Wine server is stopped.

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const long seconds = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 3600;
  // Never shown: it only has to exist for the desktop to stay.
  HWND window = CreateWindowExW(0, L"STATIC", L"hold_desktop", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (!window) return 1;
  SetTimer(nullptr, 0, static_cast<UINT>(seconds > 0 ? seconds : 1) * 1000, OnTimer);
  std::puts("ready");
  std::fflush(stdout);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  DestroyWindow(window);
  return 0;
}
