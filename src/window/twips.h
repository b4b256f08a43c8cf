#pragma once
// Positions and sizes of the window's layout in twips (1/1440 inch), turned
// into pixels for the screen's resolution: 15 twips to a pixel at 96 dpi.

#include <QRect>

namespace vondrel::window {

struct TwipsRect {
  int left;
  int top;
  int width;
  int height;
};

class TwipsScale {
 public:
  explicit TwipsScale(double dotsPerInch) : dotsPerInch_(dotsPerInch > 0 ? dotsPerInch : 96.0) {}

  int ToPixels(int twips) const;
  // Edges are converted, not sizes, so that edges that coincide in twips
  // coincide in pixels at every resolution.
  QRect ToPixels(const TwipsRect& rect) const;

 private:
  double dotsPerInch_;
};

}  // namespace vondrel::window
