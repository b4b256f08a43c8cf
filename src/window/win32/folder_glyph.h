#pragma once
// The small folder pictures of the folder list, drawn with GDI so that they
// scale with the screen's resolution: an open folder for the current folder
// and its ancestors, a closed one for its subfolders.

#include "window/win32/windows_api.h"

namespace vondrel::window {

// Draws the glyph into the square `box`.
void DrawFolderGlyph(HDC dc, const RECT& box, bool open);

}  // namespace vondrel::window
