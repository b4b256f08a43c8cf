#pragma once
// Conversions between the program's UTF-16 text and Qt's strings and rectangles.

#include <QRect>
#include <QString>

#include <string>

#include "window/twips.h"

namespace vondrel::window {

inline QString ToQString(const std::u16string& text) { return QString::fromStdU16String(text); }
inline QString ToQString(std::u16string_view text) { return QString::fromStdU16String(std::u16string(text)); }
inline std::u16string ToU16(const QString& text) { return text.toStdU16String(); }
inline QRect ToQRect(const PixelRect& rect) { return QRect(rect.left, rect.top, rect.width, rect.height); }

}  // namespace vondrel::window
