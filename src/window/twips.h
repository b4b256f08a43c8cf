#pragma once
// Positions and sizes of the window's layout in twips (1/1440 inch), turned
// into pixels for the screen's resolution: 15 twips to a pixel at 96 dpi.

namespace vondrel::window {

struct TwipsRect {
  int left;
  int top;
  int width;
  int height;
};

struct PixelRect {
  int left;
  int top;
  int width;
  int height;

  int right() const { return left + width; }    // one past the last column
  int bottom() const { return top + height; }   // one past the last row
  bool operator==(const PixelRect&) const = default;
};

class TwipsScale {
 public:
  explicit TwipsScale(double dotsPerInch) : dots_per_inch_(dotsPerInch > 0 ? dotsPerInch : 96.0) {}

  int ToPixels(int twips) const;
  // Edges are converted, not sizes, so that edges that coincide in twips
  // coincide in pixels at every resolution.
  PixelRect ToPixels(const TwipsRect& rect) const;

 private:
  double dots_per_inch_;
};

}  // namespace vondrel::window
