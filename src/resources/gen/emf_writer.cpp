#include "emf_writer.h"

#include <algorithm>
#include <cmath>

namespace vondrel::resources {
namespace {

// Record types and stock objects of the format.
constexpr std::uint32_t kHeader = 1;
constexpr std::uint32_t kEof = 14;
constexpr std::uint32_t kSetBkMode = 18;
constexpr std::uint32_t kSelectObject = 37;
constexpr std::uint32_t kCreatePen = 38;
constexpr std::uint32_t kCreateBrushIndirect = 39;
constexpr std::uint32_t kDeleteObject = 40;
constexpr std::uint32_t kEllipse = 42;
constexpr std::uint32_t kRoundRect = 44;
constexpr std::uint32_t kPolygon16 = 86;
constexpr std::uint32_t kPolyline16 = 87;
constexpr std::uint32_t kNullBrush = 0x80000005;
constexpr std::uint32_t kNullPen = 0x80000008;
constexpr std::uint32_t kSignature = 0x464D4520;  // " EMF"
constexpr std::uint32_t kTransparent = 1;
constexpr std::uint32_t kPenSlot = 1;
constexpr std::uint32_t kBrushSlot = 2;

// 0xRRGGBB to the format's 0x00BBGGRR.
std::uint32_t ColourRef(std::uint32_t rgb) {
  return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

void Append32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

// Hundredths of a millimetre for logical units at 1440 to the inch.
std::uint32_t Hundredths(int units) { return static_cast<std::uint32_t>(std::lround(units * 2540.0 / 1440.0)); }

}  // namespace

EmfWriter::EmfWriter(int width, int height) : width_(width), height_(height) {
  Begin(kSetBkMode);
  Put32(kTransparent);
  End();
}

void EmfWriter::Begin(std::uint32_t type) {
  record_start_ = records_.size();
  Put32(type);
  Put32(0);  // the size, filled in by End
}

void EmfWriter::End() {
  const std::uint32_t size = static_cast<std::uint32_t>(records_.size() - record_start_);
  for (int i = 0; i < 4; ++i) records_[record_start_ + 4 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  ++record_count_;
}

void EmfWriter::Put32(std::uint32_t value) { Append32(records_, value); }

void EmfWriter::Put16(std::uint16_t value) {
  records_.push_back(static_cast<char>(value & 0xFF));
  records_.push_back(static_cast<char>(value >> 8));
}

void EmfWriter::PutRect(int left, int top, int right, int bottom) {
  Put32(static_cast<std::uint32_t>(left));
  Put32(static_cast<std::uint32_t>(top));
  Put32(static_cast<std::uint32_t>(right));
  Put32(static_cast<std::uint32_t>(bottom));
}

void EmfWriter::SelectTools(std::uint32_t fill, std::uint32_t outline, int outline_width) {
  if (outline_width > 0) {
    Begin(kCreatePen);
    Put32(kPenSlot);
    Put32(0);  // solid; wider than one unit it has round ends and joins
    Put32(static_cast<std::uint32_t>(outline_width));
    Put32(0);
    Put32(ColourRef(outline));
    End();
  }
  if (fill != kNoFill) {
    Begin(kCreateBrushIndirect);
    Put32(kBrushSlot);
    Put32(0);  // solid
    Put32(ColourRef(fill));
    Put32(0);
    End();
  }
  Begin(kSelectObject);
  Put32(outline_width > 0 ? kPenSlot : kNullPen);
  End();
  Begin(kSelectObject);
  Put32(fill != kNoFill ? kBrushSlot : kNullBrush);
  End();
}

void EmfWriter::ReleaseTools() {
  // The stock objects go back in before the shape's own are deleted.
  Begin(kSelectObject);
  Put32(kNullPen);
  End();
  Begin(kSelectObject);
  Put32(kNullBrush);
  End();
  for (std::uint32_t slot : {kPenSlot, kBrushSlot}) {
    Begin(kDeleteObject);
    Put32(slot);
    End();
  }
}

void EmfWriter::Points(std::uint32_t type, const std::vector<Point>& points) {
  int left = width_, top = height_, right = 0, bottom = 0;
  for (const Point& point : points) {
    left = std::min<int>(left, point.x);
    top = std::min<int>(top, point.y);
    right = std::max<int>(right, point.x);
    bottom = std::max<int>(bottom, point.y);
  }
  Begin(type);
  PutRect(left, top, right, bottom);
  Put32(static_cast<std::uint32_t>(points.size()));
  for (const Point& point : points) {
    Put16(static_cast<std::uint16_t>(point.x));
    Put16(static_cast<std::uint16_t>(point.y));
  }
  End();
}

void EmfWriter::Polygon(const std::vector<Point>& points, std::uint32_t fill, std::uint32_t outline, int outline_width) {
  SelectTools(fill, outline, outline_width);
  Points(kPolygon16, points);
  ReleaseTools();
}

void EmfWriter::Polyline(const std::vector<Point>& points, std::uint32_t colour, int width) {
  SelectTools(kNoFill, colour, width);
  Points(kPolyline16, points);
  ReleaseTools();
}

void EmfWriter::Ellipse(int left, int top, int right, int bottom, std::uint32_t fill, std::uint32_t outline,
                        int outline_width) {
  SelectTools(fill, outline, outline_width);
  Begin(kEllipse);
  PutRect(left, top, right, bottom);
  End();
  ReleaseTools();
}

void EmfWriter::RoundRect(int left, int top, int right, int bottom, int corner, std::uint32_t fill,
                          std::uint32_t outline, int outline_width) {
  SelectTools(fill, outline, outline_width);
  Begin(kRoundRect);
  PutRect(left, top, right, bottom);
  Put32(static_cast<std::uint32_t>(corner));
  Put32(static_cast<std::uint32_t>(corner));
  End();
  ReleaseTools();
}

std::string EmfWriter::Finish() const {
  constexpr std::uint32_t kHeaderSize = 108;
  constexpr std::uint32_t kEofSize = 20;
  const std::uint32_t total = kHeaderSize + static_cast<std::uint32_t>(records_.size()) + kEofSize;
  std::string out;
  Append32(out, kHeader);
  Append32(out, kHeaderSize);
  // Bounds in reference-device pixels, frame in hundredths of a millimetre, both inclusive.
  for (int value : {0, 0, width_ - 1, height_ - 1}) Append32(out, static_cast<std::uint32_t>(value));
  for (int value : {0, 0, width_ - 1, height_ - 1}) Append32(out, Hundredths(value));
  Append32(out, kSignature);
  Append32(out, 0x10000);  // version
  Append32(out, total);
  Append32(out, record_count_ + 2);
  Append32(out, 3);  // handle slots: 0 (the metafile itself), the pen and the brush
  Append32(out, 0);  // no description
  Append32(out, 0);
  Append32(out, 0);  // no palette
  // The reference device: 10 by 10 inches at 1440 pixels per inch.
  Append32(out, 14400);
  Append32(out, 14400);
  Append32(out, 254);
  Append32(out, 254);
  Append32(out, 0);  // no pixel format
  Append32(out, 0);
  Append32(out, 0);  // not OpenGL
  Append32(out, 254000);  // the device in micrometres
  Append32(out, 254000);
  out += records_;
  Append32(out, kEof);
  Append32(out, kEofSize);
  Append32(out, 0);   // no palette entries
  Append32(out, 16);  // where they would start
  Append32(out, kEofSize);
  return out;
}

}  // namespace vondrel::resources
