// Key parts per column type and direction, and the two text orders.

#include "jet/format/index_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "jet/format/index_sort_tables.h"

namespace jet {
namespace {

KeyBytes Bytes(std::initializer_list<int> values) {
  KeyBytes out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

template <typename T>
std::vector<std::uint8_t> Stored(T value) {
  std::vector<std::uint8_t> bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));  // the test machine is little-endian, as files are
  return bytes;
}

KeyBytes LongKey(std::int32_t value, bool ascending) {
  KeyBytes key;
  key::AppendSignedInteger(key, Stored(value), ascending);
  return key;
}

KeyBytes DoubleKey(double value, bool ascending) {
  KeyBytes key;
  key::AppendFloatingPoint(key, Stored(value), ascending);
  return key;
}

KeyBytes TextKey(std::u16string_view text, bool ascending = true) {
  KeyBytes key;
  key::AppendText(key, text, ascending);
  return key;
}

KeyBytes Text97Key(std::string_view text, bool ascending = true) {
  KeyBytes key;
  key::AppendText97(key, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                    ascending);
  return key;
}

TEST(IndexKeyNumbers, IntegersFlipTheSignBit) {
  EXPECT_EQ(LongKey(1, true), Bytes({0x7F, 0x80, 0, 0, 1}));
  EXPECT_EQ(LongKey(-1, true), Bytes({0x7F, 0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(LongKey(1, false), Bytes({0x80, 0x7F, 0xFF, 0xFF, 0xFE}));
  KeyBytes small;
  key::AppendSignedInteger(small, Stored(std::int16_t{-2}), true);
  EXPECT_EQ(small, Bytes({0x7F, 0x7F, 0xFE}));
  KeyBytes currency;
  key::AppendSignedInteger(currency, Stored(std::int64_t{10000}), true);
  EXPECT_EQ(currency, Bytes({0x7F, 0x80, 0, 0, 0, 0, 0, 0x27, 0x10}));
}

TEST(IndexKeyNumbers, FloatingPointFollowsSign) {
  EXPECT_EQ(DoubleKey(1.0, true), Bytes({0x7F, 0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(DoubleKey(-1.0, true), Bytes({0x7F, 0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(DoubleKey(1.0, false), Bytes({0x80, 0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(DoubleKey(-1.0, false), Bytes({0x80, 0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
  KeyBytes single;
  key::AppendFloatingPoint(single, Stored(2.0f), true);
  EXPECT_EQ(single, Bytes({0x7F, 0xC0, 0, 0, 0}));
}

// Keys must sort as their values do, in both directions.
TEST(IndexKeyNumbers, KeysSortAsValues) {
  std::mt19937 random(7);
  std::uniform_int_distribution<std::int32_t> ints;
  std::uniform_real_distribution<double> reals(-1e9, 1e9);
  for (int i = 0; i < 2000; ++i) {
    const std::int32_t a = ints(random), b = ints(random);
    EXPECT_EQ(CompareKeys(LongKey(a, true), LongKey(b, true)) < 0, a < b);
    EXPECT_EQ(CompareKeys(LongKey(a, false), LongKey(b, false)) < 0, a > b);
    const double x = reals(random), y = reals(random);
    EXPECT_EQ(CompareKeys(DoubleKey(x, true), DoubleKey(y, true)) < 0, x < y);
    EXPECT_EQ(CompareKeys(DoubleKey(x, false), DoubleKey(y, false)) < 0, x > y);
  }
}

TEST(IndexKeyValues, NullBooleanAndByte) {
  KeyBytes key;
  key::AppendNull(key, true);
  key::AppendNull(key, false);
  EXPECT_EQ(key, Bytes({0x00, 0xFF}));
  key.clear();
  key::AppendBoolean(key, true, true);
  key::AppendBoolean(key, false, true);
  key::AppendBoolean(key, true, false);
  key::AppendBoolean(key, false, false);
  EXPECT_EQ(key, Bytes({0x7F, 0x00, 0x7F, 0xFF, 0x80, 0xFF, 0x80, 0x00}));
  key.clear();
  key::AppendByte(key, 0x12, true);
  key::AppendByte(key, 0x12, false);
  EXPECT_EQ(key, Bytes({0x7F, 0x12, 0x80, 0xED}));
}

TEST(IndexKeyValues, BinaryGroupsOfEight) {
  KeyBytes key;
  key::AppendBinary(key, Bytes({1, 2, 3}), true);
  EXPECT_EQ(key, Bytes({0x7F, 1, 2, 3, 0, 0, 0, 0, 0, 3}));
  key.clear();
  key::AppendBinary(key, Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9}), false);
  EXPECT_EQ(key, Bytes({0x80, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8, 0xF7, 0x09,  // 09 kept
                        0xF6, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}));
  key.clear();
  key::AppendBinary(key, Bytes({1, 2, 3, 4, 5, 6, 7, 8}), true);
  EXPECT_EQ(key, Bytes({0x7F, 1, 2, 3, 4, 5, 6, 7, 8, 8}));
}

TEST(IndexKeyValues, GuidUsesCanonicalOrder) {
  // {00112233-4455-6677-8899-AABBCCDDEEFF} as a row stores it.
  const auto stored = Bytes({0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                             0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});
  KeyBytes key;
  ASSERT_TRUE(key::AppendGuid(key, stored, true));
  EXPECT_EQ(key, Bytes({0x7F, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x09,
                        0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x08}));
  EXPECT_FALSE(key::AppendGuid(key, Bytes({1, 2, 3}), true));
}

TEST(IndexKeyValues, NumericSignAndMagnitude) {
  // 5 and -5: sign byte, then four words most significant first, each little-endian.
  auto five = Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0});
  auto minus_five = five;
  minus_five[0] = 0x80;
  KeyBytes key;
  ASSERT_TRUE(key::AppendNumeric(key, five, true));
  KeyBytes expected = Bytes({0x7F, 0xFF});
  expected.resize(17, 0);
  expected.push_back(5);
  EXPECT_EQ(key, expected);
  key.clear();
  ASSERT_TRUE(key::AppendNumeric(key, minus_five, true));
  EXPECT_EQ(key[1], 0x00);
  EXPECT_EQ(key.back(), 0xFA);
  EXPECT_LT(CompareKeys(key, expected), 0);
  EXPECT_FALSE(key::AppendNumeric(key, Bytes({1}), true));
}

TEST(IndexKeyGeneralLegacy, DocumentedExamples) {
  EXPECT_EQ(TextKey(u"abc"), Bytes({0x7F, 0x4A, 0x4C, 0x4D, 0x01, 0x00}));
  EXPECT_EQ(TextKey(u"ABC"), TextKey(u"abc"));  // case shares codes
  EXPECT_EQ(TextKey(u"\u00E9"), Bytes({0x7F, 0x51, 0x01, 0x0E, 0x00}));
  EXPECT_EQ(TextKey(u"a\u00E9"), Bytes({0x7F, 0x4A, 0x51, 0x01, 0x02, 0x0E, 0x00}));
  EXPECT_EQ(TextKey(u"abc", false), Bytes({0x80, 0xB5, 0xB3, 0xB2, 0xFE, 0xFF, 0x00}));
  EXPECT_EQ(TextKey(u"a\u0001b"),
            Bytes({0x7F, 0x4A, 0x4C, 0x01, 0x01, 0x01, 0x01, 0x80, 0x0B, 0x06, 0x03, 0x00}));
}

TEST(IndexKeyGeneralLegacy, TrailingSpacesAndLengthLimit) {
  EXPECT_EQ(TextKey(u"abc   "), TextKey(u"abc"));
  EXPECT_NE(TextKey(u"  abc"), TextKey(u"abc"));
  const std::u16string long_text(300, u'a');
  EXPECT_EQ(TextKey(long_text), TextKey(std::u16string(255, u'a')));
  EXPECT_EQ(TextKey(u""), Bytes({0x7F, 0x01, 0x00}));
}

TEST(IndexKeyGeneralLegacy, ApostropheAndHyphenAreUnprintable) {
  // "it's": the apostrophe contributes no inline code, only its position.
  const KeyBytes key = TextKey(u"it's");
  EXPECT_EQ(key, Bytes({0x7F, 0x59, 0x6D, 0x6B, 0x01, 0x01, 0x01, 0x01, 0x80, 0x0F, 0x06, 0x80, 0x00}));
  EXPECT_LT(CompareKeys(TextKey(u"co-op"), TextKey(u"cop")), 0);
}

// Keys Access wrote (Northwind 2000 and the Jackcess Unicode sample): a
// ligature counts as two characters until the first accent, as one after.
TEST(IndexKeyGeneralLegacy, LigaturesAsAccessCountsThem) {
  EXPECT_EQ(TextKey(u"NuNuCa Nu\u00DF-Nougat-Creme"),
            Bytes({0x7F, 0x62, 0x6F, 0x62, 0x6F, 0x4D, 0x4A, 0x07, 0x62, 0x6F, 0x6B, 0x6B, 0x62, 0x64,
                   0x6F, 0x55, 0x4A, 0x6D, 0x4D, 0x69, 0x51, 0x60, 0x51, 0x01, 0x01, 0x01, 0x01, 0x80,
                   0x33, 0x06, 0x82, 0x80, 0x4B, 0x06, 0x82, 0x00}));
  // "gro\u00DFm\u00E4rkte": the accent of the a-umlaut sits in slot 26 of the
  // stored key, ß having taken two slots.
  const KeyBytes plutzer = TextKey(u"Plutzer Lebensmittelgro\u00DFm\u00E4rkte AG");
  const auto end_of_text = std::find(plutzer.begin(), plutzer.end(), 0x01);
  ASSERT_NE(end_of_text, plutzer.end());
  EXPECT_EQ(std::vector(end_of_text + 1, plutzer.end()),
            [] { KeyBytes b(26, 0x02); b.push_back(0x13); b.push_back(0x00); return b; }());
  // After an accent (on the A-ring) the ligature takes one slot: 1A 02 1C.
  const KeyBytes run = TextKey(u"\u00C5\u00C6\u00C7");
  EXPECT_EQ(run, Bytes({0x7F, 0x4A, 0x4A, 0x51, 0x4D, 0x01, 0x1A, 0x02, 0x1C, 0x00}));
}

TEST(IndexKeyGeneralLegacy, SurrogatesAreComputed) {
  const KeyBytes key = TextKey(std::u16string{char16_t{0xD83D}, char16_t{0xDE00}});  // one emoji
  // Two inline pairs, then the extra byte 3F for each half.
  ASSERT_GE(key.size(), 6u);
  EXPECT_EQ(key[1], (0xD83D - 10238) >> 8);
  EXPECT_EQ(key[2], (0xD83D - 10238) & 0xFF);
  EXPECT_EQ(std::vector(key.end() - 3, key.end()), Bytes({0x3F, 0x3F, 0x00}));
}

TEST(IndexKeyGeneralLegacy, TableCoversEveryCodeUnit) {
  ASSERT_GT(sortcodes::kGeneralLegacyRunCount, 1000u);
  EXPECT_EQ(sortcodes::kGeneralLegacyRuns[0].first, 0);
  for (std::size_t i = 1; i < sortcodes::kGeneralLegacyRunCount; ++i) {
    ASSERT_LT(sortcodes::kGeneralLegacyRuns[i - 1].first, sortcodes::kGeneralLegacyRuns[i].first);
  }
  EXPECT_EQ(sortcodes::GeneralLegacyCode(u'a').kind, sortcodes::kSimple);
  EXPECT_EQ(sortcodes::GeneralLegacyCode(u'\u00E9').kind, sortcodes::kInternational);
  EXPECT_EQ(sortcodes::GeneralLegacyCode(char16_t{0xD800}).kind, sortcodes::kSurrogate);
  EXPECT_EQ(sortcodes::GeneralLegacyCode(u'\uFFFF').kind, sortcodes::kIgnored);
}

TEST(IndexKeyGeneral97, DocumentedExamples) {
  EXPECT_EQ(Text97Key("abc"), Bytes({0x7F, 0x60, 0x61, 0x62, 0x00}));
  EXPECT_EQ(Text97Key("\xE9"), Bytes({0x7F, 0x66, 0x04, 0x00}));
  EXPECT_EQ(Text97Key("a\xE9"), Bytes({0x7F, 0x60, 0x66, 0x02, 0x40}));
  EXPECT_EQ(Text97Key("abc", false), Bytes({0x80, 0x9F, 0x9E, 0x9D, 0xFF}));
  EXPECT_EQ(Text97Key("ABC  "), Text97Key("abc"));
  EXPECT_EQ(sortcodes::kGeneral97RunCount > 0 && sortcodes::kGeneral97Runs[0].first == 0, true);
  EXPECT_EQ(Text97Key(" "), Bytes({0x7F, 0x00}));  // only spaces: nothing left
}

TEST(IndexKeyGeneral97, NulAndLigaturesAsAccessKeysThem) {
  // "Lock" plus a NUL, as Access 95 and 97 store it in MSysModules.
  EXPECT_EQ(Text97Key(std::string_view("Lock\0", 5)), Bytes({0x7F, 0x6D, 0x72, 0x62, 0x6C, 0x10, 0x00}));
  // ß before an accented letter counts as two significant letters (s, s):
  // two more placeholder nibbles than a plain letter in its place.
  const KeyBytes with_ligature = Text97Key("gro\xDFm\xE4");
  const KeyBytes with_letter = Text97Key("grozm\xE4");
  EXPECT_EQ(with_ligature.size(), with_letter.size() + 2);  // one byte more inline, one more nibble pair
}

TEST(IndexKeyHelpers, HexAndCompare) {
  EXPECT_EQ(KeyToHex(Bytes({0x7F, 0x00, 0xAB})), "7F 00 AB");
  EXPECT_EQ(KeyToHex({}), "");
  EXPECT_EQ(CompareKeys(Bytes({1}), Bytes({1, 0})), -1);
  EXPECT_EQ(CompareKeys(Bytes({2}), Bytes({1, 0})), 1);
  EXPECT_EQ(CompareKeys(Bytes({1, 0}), Bytes({1, 0})), 0);
}

// Keys are compared a word at a time: the order must be the bytes' order
// for every length and wherever the first difference lies.
TEST(IndexKeyHelpers, CompareFollowsTheBytesAtEveryLength) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 20000; ++trial) {
    KeyBytes a(random() % 25), b;
    for (auto& byte : a) byte = static_cast<std::uint8_t>(random() % 3 == 0 ? 0xFF : random());
    // b: a's first bytes, then maybe one changed byte, maybe a different length.
    b.assign(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(random() % (a.size() + 1)));
    const std::size_t length = a.size() + random() % 3;  // one shorter than a, as long, or one longer
    while (b.size() + 1 < length) b.push_back(static_cast<std::uint8_t>(random()));
    if (!b.empty() && random() % 2) b[random() % b.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    const int expected = std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end())   ? -1
                         : std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end()) ? 1
                                                                                                : 0;
    ASSERT_EQ(CompareKeys(a, b), expected) << KeyToHex(a) << " | " << KeyToHex(b);
    ASSERT_EQ(CompareKeys(b, a), -expected) << KeyToHex(a) << " | " << KeyToHex(b);
  }
}

}  // namespace
}  // namespace jet
