#include "window/win32/folder_glyph.h"

namespace vondrel::window {
namespace {

constexpr COLORREF kOutline = RGB(128, 96, 0);
constexpr COLORREF kBack = RGB(230, 184, 60);
constexpr COLORREF kFront = RGB(255, 224, 120);

void Polygon(HDC dc, const POINT* points, int count, COLORREF fill) {
  HBRUSH brush = CreateSolidBrush(fill);
  HPEN pen = CreatePen(PS_SOLID, 1, kOutline);
  HGDIOBJ old_brush = SelectObject(dc, brush);
  HGDIOBJ old_pen = SelectObject(dc, pen);
  ::Polygon(dc, points, count);
  SelectObject(dc, old_pen);
  SelectObject(dc, old_brush);
  DeleteObject(pen);
  DeleteObject(brush);
}

}  // namespace

void DrawFolderGlyph(HDC dc, const RECT& box, bool open) {
  const int size = box.right - box.left;
  // Sixteenths of the box.
  const auto x = [&](int n) { return static_cast<LONG>(box.left + n * size / 16); };
  const auto y = [&](int n) { return static_cast<LONG>(box.top + n * size / 16); };
  // The back of the folder with its tab.
  const POINT back[] = {{x(1), y(3)}, {x(6), y(3)}, {x(7), y(5)}, {x(15), y(5)}, {x(15), y(14)}, {x(1), y(14)}};
  Polygon(dc, back, 6, open ? kBack : kFront);
  if (open) {
    // The front flap, tipped forward.
    const POINT front[] = {{x(4), y(8)}, {x(16), y(8)}, {x(13), y(14)}, {x(1), y(14)}};
    Polygon(dc, front, 4, kFront);
  }
}

}  // namespace vondrel::window
