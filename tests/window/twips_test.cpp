// Twips to pixels at other resolutions than 96 dpi.

#include <gtest/gtest.h>

#include "window/twips.h"

namespace vondrel::window {
namespace {

TEST(TwipsScale, FifteenTwipsToAPixelAtNinetySixDpi) {
  const TwipsScale scale(96);
  EXPECT_EQ(scale.ToPixels(8370), 558);
  EXPECT_EQ(scale.ToPixels(-15), -1);
  EXPECT_EQ(scale.ToPixels(TwipsRect{2595, 4800, 2295, 375}), (PixelRect{173, 320, 153, 25}));
}

TEST(TwipsScale, ScalesWithTheResolution) {
  EXPECT_EQ(TwipsScale(192).ToPixels(TwipsRect{120, 1080, 2535, 2790}), (PixelRect{16, 144, 338, 372}));
  EXPECT_EQ(TwipsScale(120).ToPixels(8370), 698);  // 697.5 rounds up
  EXPECT_EQ(TwipsScale(0).ToPixels(1440), 96) << "an unknown resolution counts as 96 dpi";
}

TEST(TwipsScale, EdgesThatMeetInTwipsMeetInPixels) {
  // Find's right and bottom edges lie on the frame's at every resolution.
  const TwipsRect frame{2640, 0, 2295, 975};
  const TwipsRect find{3960, 720, 975, 255};
  for (double dpi : {72.0, 96.0, 110.0, 120.0, 133.0, 144.0, 168.0, 192.0}) {
    const TwipsScale scale(dpi);
    EXPECT_EQ(scale.ToPixels(find).right(), scale.ToPixels(frame).right()) << dpi;
    EXPECT_EQ(scale.ToPixels(find).bottom(), scale.ToPixels(frame).bottom()) << dpi;
  }
}

}  // namespace
}  // namespace vondrel::window
