// Writes the logo (logo.svg's drawing: a database drum of three disks,
// pressed together by two clamps, over a ribbon with the letter V) as an
// enhanced metafile for the Windows window: make_logo_emf OUTPUT.EMF
// The gradients of the drawing become bands of flat colour.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

#include "emf_writer.h"

namespace {

using vondrel::resources::EmfWriter;
using vondrel::resources::Point;

constexpr int kWidth = 2491;
constexpr int kHeight = 2851;
// The drum: left and right edges, the top disk's centre and radii.
constexpr int kDrumLeft = 345;
constexpr int kDrumRight = 2145;
constexpr int kDrumTop = 610;
constexpr int kDrumBottom = 1990;
constexpr double kCentreX = 1245;
constexpr double kRadiusX = 900;
constexpr double kRadiusY = 300;
constexpr int kBands = 24;

Point At(double x, double y) { return Point{static_cast<std::int16_t>(std::lround(x)), static_cast<std::int16_t>(std::lround(y))}; }

// The lower half of the drum's ellipse at height `y`, at horizontal position x.
double LowerEdge(double x, double y) {
  const double t = (x - kCentreX) / kRadiusX;
  return y + kRadiusY * std::sqrt(std::max(0.0, 1 - t * t));
}

std::vector<Point> LowerArc(double from_x, double to_x, double y, int steps) {
  std::vector<Point> points;
  for (int i = 0; i <= steps; ++i) {
    const double x = from_x + (to_x - from_x) * i / steps;
    points.push_back(At(x, LowerEdge(x, y)));
  }
  return points;
}

std::uint32_t Mix(std::uint32_t a, std::uint32_t b, double t) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
    out |= static_cast<std::uint32_t>(std::lround(ca + (cb - ca) * t)) << shift;
  }
  return out;
}

// The drum's colour across its width: dark blue, light blue at 45%, dark blue.
std::uint32_t BodyColour(double t) {
  return t < 0.45 ? Mix(0x1d3f8f, 0x4f86e0, t / 0.45) : Mix(0x4f86e0, 0x17306e, (t - 0.45) / 0.55);
}

void DrawDrum(EmfWriter& picture) {
  for (int band = 0; band < kBands; ++band) {
    const double x0 = kDrumLeft + double(kDrumRight - kDrumLeft) * band / kBands;
    const double x1 = kDrumLeft + double(kDrumRight - kDrumLeft) * (band + 1) / kBands;
    std::vector<Point> slice{At(x0, kDrumTop), At(x1 + 1, kDrumTop)};
    for (const Point& p : LowerArc(x1 + 1 > kDrumRight ? kDrumRight : x1 + 1, x0, kDrumBottom, 4)) slice.push_back(p);
    picture.Polygon(slice, BodyColour((x0 + x1) / 2 / kDrumRight - double(kDrumLeft) / kDrumRight), 0, 0);
  }
  std::vector<Point> outline{At(kDrumRight, kDrumTop), At(kDrumLeft, kDrumTop)};
  for (const Point& p : LowerArc(kDrumLeft, kDrumRight, kDrumBottom, 48)) outline.push_back(p);
  picture.Polygon(outline, EmfWriter::kNoFill, 0x0d1d45, 40);
  for (int disk_edge : {1070, 1530}) picture.Polyline(LowerArc(kDrumLeft, kDrumRight, disk_edge, 48), 0x0d1d45, 40);
  picture.Ellipse(kDrumLeft, kDrumTop - 300, kDrumRight, kDrumTop + 300, 0x93b9f8, 0x0d1d45, 40);
}

void DrawClamps(EmfWriter& picture) {
  for (int left : {90, 2231}) {
    picture.RoundRect(left, 420, left + 170, 2240, 120, 0xc08a20, 0x5a3a00, 30);
    picture.Polygon({At(left + 55, 480), At(left + 115, 480), At(left + 115, 2180), At(left + 55, 2180)}, 0xf6c343, 0, 0);
  }
  for (const auto& arm : {std::vector<Point>{At(260, 520), At(420, 520)}, std::vector<Point>{At(260, 2140), At(420, 2140)},
                          std::vector<Point>{At(2231, 520), At(2071, 520)},
                          std::vector<Point>{At(2231, 2140), At(2071, 2140)}}) {
    picture.Polyline(arm, 0x5a3a00, 70);
  }
}

void DrawRibbon(EmfWriter& picture) {
  picture.Polygon({At(120, 2420), At(2371, 2420), At(2250, 2620), At(2371, 2820), At(120, 2820), At(241, 2620)},
                  0xc0392b, 0x6e1a12, 30);
  picture.Polygon({At(1005, 2460), At(1125, 2460), At(1245, 2720), At(1365, 2460), At(1485, 2460), At(1305, 2790),
                   At(1185, 2790)},
                  0xffffff, 0, 0);
}

void DrawSpark(EmfWriter& picture) {
  // White at 85% over the top disk's light blue.
  picture.Polygon({At(1245, 420), At(1300, 560), At(1445, 610), At(1300, 660), At(1245, 800), At(1190, 660),
                   At(1045, 610), At(1190, 560)},
                  0xf2f7fe, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_logo_emf OUTPUT.EMF\n", stderr);
    return 2;
  }
  EmfWriter picture(kWidth, kHeight);
  DrawDrum(picture);
  DrawClamps(picture);
  DrawRibbon(picture);
  DrawSpark(picture);
  const std::string bytes = picture.Finish();
  std::ofstream out(argv[1], std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return out.good() ? 0 : 1;
}
