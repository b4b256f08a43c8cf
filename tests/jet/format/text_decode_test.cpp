#include "jet/format/text_decode.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/unicode.h"

namespace jet {
namespace {

std::string Jet4(std::vector<std::uint8_t> bytes) { return DecodeJet4Text(bytes); }

TEST(Jet4Text, CompressedRunsToggleOnZeroBytes) {
  EXPECT_EQ(Jet4({0xFF, 0xFE, 'a', 'b', 'c'}), "abc");
  EXPECT_EQ(Jet4({0xFF, 0xFE, 'a', 0xE9}), "a\u00E9");
  // "ab" compressed, then Greek alpha uncompressed, then "c" compressed again.
  EXPECT_EQ(Jet4({0xFF, 0xFE, 'a', 'b', 0x00, 0xB1, 0x03, 0x00, 'c'}), "ab\u03B1c");
  // Ending in uncompressed mode, with a stray odd byte dropped.
  EXPECT_EQ(Jet4({0xFF, 0xFE, 0x00, 0x14, 0x04, 0x41}), "\u0414");
}

TEST(Jet4Text, PlainUtf16WithSurrogates) {
  EXPECT_EQ(Jet4({'H', 0, 'i', 0}), "Hi");
  EXPECT_EQ(Jet4({0x3D, 0xD8, 0x00, 0xDE}), "\U0001F600");
  EXPECT_EQ(Jet4({0x3D, 0xD8}), "\uFFFD");  // unpaired
  EXPECT_EQ(Jet4({}), "");
}

TEST(Jet3Text, CodePage1252AndOthers) {
  const std::vector<std::uint8_t> euro{0x80, 'x', 0xE9};
  EXPECT_EQ(DecodeJet3Text(euro, 1252), "\u20ACx\u00E9");
  const std::vector<std::uint8_t> gbk{0xB1, 0xE0, 0xC2, 0xEB};  // "编码" in code page 936
  const std::string converted = DecodeJet3Text(gbk, 936);
  EXPECT_TRUE(converted == "\u7F16\u7801" || converted == "\u00B1\u00E0\u00C2\u00EB") << converted;
  const std::vector<std::uint8_t> ascii{'p', 'l', 'a', 'i', 'n'};
  EXPECT_EQ(DecodeJet3Text(ascii, 936), "plain");
}

TEST(Utf16LeToUtf8, RoundTripsWithTheEncoder) {
  const std::string text = "a\u00E9\u03B1\U0001F600";
  const std::u16string wide = vondrel::unicode::Utf8ToUtf16(text);
  ASSERT_EQ(wide.size(), 5u);
  std::vector<std::uint8_t> bytes;
  for (char16_t unit : wide) {
    bytes.push_back(static_cast<std::uint8_t>(unit));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  EXPECT_EQ(Utf16LeToUtf8(bytes), text);
  EXPECT_EQ(Utf16LeToUtf8(std::vector<std::uint8_t>{0x00, 0xDC, 'a', 0}), "\uFFFDa");  // lone low surrogate
}

}  // namespace
}  // namespace jet
