#pragma once
// Two window classes the platform lacks in the form the window needs:
//  - kFrameClass, Frame1: a container for the option buttons, drawn as an
//    etched box on the panel colour, which passes its children's
//    notifications and colour requests on to its parent, and which the
//    dialog keyboard handling enters (WS_EX_CONTROLPARENT);
//  - kShapeClass, Shape1: a thin black outline on the panel colour that
//    takes no clicks.

#include "window/win32/windows_api.h"

namespace vondrel::window {

inline constexpr wchar_t kFrameClass[] = L"VondrelFrame";
inline constexpr wchar_t kShapeClass[] = L"VondrelShape";

// Registers both classes once per process.
void RegisterPanelClasses(HINSTANCE instance);

}  // namespace vondrel::window
