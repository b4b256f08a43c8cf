#pragma once
// Colours of the platform's colour scheme that the window uses.

#include <QColor>

namespace vondrel::window {

// The colour of an inactive title bar (system colour 3). Where the platform
// has no such colour, the classic Windows value, mid grey.
QColor InactiveTitleBarColour();

}  // namespace vondrel::window
