#include "base/unicode.h"

#include <gtest/gtest.h>

namespace vondrel::unicode {
namespace {

TEST(Unicode, RoundTripsEveryPlane) {
  const std::u16string wide = u"a\u00e9\u0416\u20ac\U0001F600\U0010FFFF";
  const std::string narrow = "a\xC3\xA9\xD0\x96\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
  EXPECT_EQ(Utf16ToUtf8(wide), narrow);
  EXPECT_EQ(Utf8ToUtf16(narrow), wide);
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80").size(), 2u);
  EXPECT_EQ(Utf8ToUtf16(std::string_view("\0x", 2)), std::u16string(u"\0x", 2));
}

TEST(Unicode, EachBadUtf8ByteIsOneReplacementCharacter) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\x80"), u"\uFFFD");                          // continuation without lead
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");                // overlong '/'
  EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), u"\uFFFD\uFFFD");                // overlong NUL
  EXPECT_EQ(Utf8ToUtf16("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");      // overlong in three bytes
  EXPECT_EQ(Utf8ToUtf16("\xF0\x80\x80\xAF"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");      // an encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");                // cut short
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82x"), u"\uFFFD\uFFFDx");              // cut by an ASCII byte
}

TEST(Unicode, EachLoneSurrogateIsOneReplacementCharacter) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xD800, u'b'}), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00, 0xD83D}), "\xEF\xBF\xBD\xEF\xBF\xBD");  // reversed pair
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D, 0xD83D, 0xDE00}), "\xEF\xBF\xBD\xF0\x9F\x98\x80");
}

TEST(Unicode, CodePointsThatAreNoScalarValuesBecomeReplacementCharacters) {
  std::string narrow;
  AppendUtf8(0xD800, narrow);
  AppendUtf8(0x110000, narrow);
  EXPECT_EQ(narrow, "\xEF\xBF\xBD\xEF\xBF\xBD");
  std::u16string wide;
  AppendUtf16(0xDFFF, wide);
  AppendUtf16(0x110000, wide);
  EXPECT_EQ(wide, u"\uFFFD\uFFFD");
}

TEST(Unicode, DecodesStoredUnitsInPlace) {
  const unsigned char le[] = {0x3D, 0xD8, 0x00, 0xDE, 0x41, 0x00};
  const auto unit = [&](std::size_t k) { return char16_t(le[2 * k] | le[2 * k + 1] << 8); };
  std::size_t length = 0;
  EXPECT_EQ(DecodeUtf16(unit, 0, 3, length), U'\U0001F600');
  EXPECT_EQ(length, 2u);
  EXPECT_EQ(DecodeUtf16(unit, 2, 3, length), U'A');
  EXPECT_EQ(length, 1u);
  EXPECT_EQ(DecodeUtf16(unit, 0, 1, length), kReplacement);  // the pair's low half is past the end
  EXPECT_EQ(length, 1u);
}

}  // namespace
}  // namespace vondrel::unicode
