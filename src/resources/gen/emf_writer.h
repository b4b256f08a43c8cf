#pragma once
// Writes an enhanced metafile (the Windows vector picture format) record by
// record: solid pens and brushes, polygons, polylines, ellipses and rounded
// rectangles in 16-bit logical units, which map one to one onto a reference
// device of 1440 pixels per inch.

#include <cstdint>
#include <string>
#include <vector>

namespace vondrel::resources {

struct Point {
  std::int16_t x;
  std::int16_t y;
};

class EmfWriter {
 public:
  // A picture of this many logical units across and down.
  EmfWriter(int width, int height);

  // Colours are 0xRRGGBB. A width of 0 draws no outline; kNoFill, no inside.
  static constexpr std::uint32_t kNoFill = 0xFFFFFFFF;
  void Polygon(const std::vector<Point>& points, std::uint32_t fill, std::uint32_t outline, int outline_width);
  void Polyline(const std::vector<Point>& points, std::uint32_t colour, int width);
  void Ellipse(int left, int top, int right, int bottom, std::uint32_t fill, std::uint32_t outline, int outline_width);
  void RoundRect(int left, int top, int right, int bottom, int corner, std::uint32_t fill, std::uint32_t outline,
                 int outline_width);

  // The whole file: header, the records so far, end of file.
  std::string Finish() const;

 private:
  void Begin(std::uint32_t type);
  void End();
  void Put32(std::uint32_t value);
  void Put16(std::uint16_t value);
  void PutRect(int left, int top, int right, int bottom);
  // Selects a pen and a brush for the next shape into handle slots 1 and 2.
  void SelectTools(std::uint32_t fill, std::uint32_t outline, int outline_width);
  void ReleaseTools();
  void Points(std::uint32_t type, const std::vector<Point>& points);

  int width_;
  int height_;
  std::string records_;
  std::size_t record_start_ = 0;
  std::uint32_t record_count_ = 0;
};

}  // namespace vondrel::resources
