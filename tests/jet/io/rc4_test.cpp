#include "jet/io/rc4.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace jet::io {
namespace {

TEST(Rc4, KnownAnswerVectors) {
  const std::string key = "Key";
  std::vector<std::uint8_t> data{'P', 'l', 'a', 'i', 'n', 't', 'e', 'x', 't'};
  Rc4Apply(std::span(reinterpret_cast<const std::uint8_t*>(key.data()), key.size()), data);
  EXPECT_EQ(data, (std::vector<std::uint8_t>{0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3}));
  const std::string wiki = "Wiki";
  std::vector<std::uint8_t> pedia{'p', 'e', 'd', 'i', 'a'};
  Rc4Apply(std::span(reinterpret_cast<const std::uint8_t*>(wiki.data()), wiki.size()), pedia);
  EXPECT_EQ(pedia, (std::vector<std::uint8_t>{0x10, 0x21, 0xBF, 0x04, 0x20}));
}

TEST(Rc4, StreamingEqualsOneShotAndTwiceRestores) {
  const std::uint8_t key[4] = {1, 2, 3, 4};
  std::vector<std::uint8_t> whole(100, 0x5A), parts = whole, original = whole;
  Rc4Apply(key, whole);
  Rc4 cipher(key);
  cipher.Apply(std::span(parts).subspan(0, 37));
  cipher.Apply(std::span(parts).subspan(37));
  EXPECT_EQ(whole, parts);
  Rc4Apply(key, whole);
  EXPECT_EQ(whole, original);
}

TEST(Rc4, PageKeyDependsOnDatabaseKeyAndPage) {
  std::vector<std::uint8_t> a(16, 0), b(16, 0), c(16, 0);
  Rc4ApplyPageKey(0x01020304, 5, a);
  Rc4ApplyPageKey(0x01020304, 6, b);
  const std::uint8_t explicit_key[4] = {0x01, 0x03, 0x02, 0x01};  // 0x01020304 ^ 5, little-endian
  Rc4Apply(explicit_key, c);
  EXPECT_NE(a, b);
  EXPECT_EQ(a, c);
}

}  // namespace
}  // namespace jet::io
