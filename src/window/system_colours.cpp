#include "window/system_colours.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vondrel::window {

QColor InactiveTitleBarColour() {
#ifdef _WIN32
  const DWORD colour = GetSysColor(COLOR_INACTIVECAPTION);
  return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour));
#else
  return QColor(128, 128, 128);
#endif
}

}  // namespace vondrel::window
