#include "window/twips.h"

#include <cmath>

namespace vondrel::window {

int TwipsScale::ToPixels(int twips) const {
  return static_cast<int>(std::lround(twips * dots_per_inch_ / 1440.0));
}

PixelRect TwipsScale::ToPixels(const TwipsRect& rect) const {
  const int left = ToPixels(rect.left);
  const int top = ToPixels(rect.top);
  const int right = ToPixels(rect.left + rect.width);
  const int bottom = ToPixels(rect.top + rect.height);
  return PixelRect{left, top, right - left, bottom - top};
}

}  // namespace vondrel::window
