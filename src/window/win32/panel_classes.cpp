#include "window/win32/panel_classes.h"

namespace vondrel::window {
namespace {

LRESULT CALLBACK FrameProcedure(HWND frame, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return SendMessageW(GetParent(frame), message, w, l);
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(frame, &paint);
      RECT box;
      GetClientRect(frame, &box);
      DrawEdge(dc, &box, EDGE_ETCHED, BF_RECT);
      EndPaint(frame, &paint);
      return 0;
    }
    default:
      return DefWindowProcW(frame, message, w, l);
  }
}

LRESULT CALLBACK ShapeProcedure(HWND shape, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(shape, &paint);
      RECT box;
      GetClientRect(shape, &box);
      FrameRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      EndPaint(shape, &paint);
      return 0;
    }
    default:
      return DefWindowProcW(shape, message, w, l);
  }
}

void Register(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, name, &existing)) return;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  // Both are filled with the inactive title bar's colour, system colour 3.
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_INACTIVECAPTION + 1));
  window_class.lpszClassName = name;
  RegisterClassExW(&window_class);
}

}  // namespace

void RegisterPanelClasses(HINSTANCE instance) {
  Register(instance, kFrameClass, FrameProcedure);
  Register(instance, kShapeClass, ShapeProcedure);
}

}  // namespace vondrel::window
