#include "jet/io/byte_view.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/error.h"

namespace jet::io {
namespace {

TEST(ByteView, ReadsLittleEndianValues) {
  const std::vector<std::uint8_t> bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
  ByteView view(bytes.data(), bytes.size());
  EXPECT_EQ(view.U8(7), 0x88);
  EXPECT_EQ(view.U16(0), 0x0201);
  EXPECT_EQ(view.U24(1), 0x040302u);
  EXPECT_EQ(view.U32(4), 0x88070605u);
  EXPECT_EQ(view.I32(4), static_cast<std::int32_t>(0x88070605u));
  EXPECT_EQ(view.U64(0), 0x8807060504030201ull);
  EXPECT_EQ(view.Sub(2, 3).U24(0), 0x050403u);
}

TEST(ByteView, EveryReadPastTheEndThrowsCorruptionNamingFileAndPage) {
  const std::vector<std::uint8_t> bytes(6, 0);
  const std::string file = "sample.mdb";
  ByteView view(bytes.data(), bytes.size(), ByteSource{&file, 7});
  EXPECT_THROW(view.U8(6), vondrel::Error);
  EXPECT_THROW(view.U16(5), vondrel::Error);
  EXPECT_THROW(view.U32(3), vondrel::Error);
  EXPECT_THROW(view.U64(0), vondrel::Error);
  EXPECT_THROW(view.Sub(4, 3), vondrel::Error);
  // An offset near SIZE_MAX must not wrap around the check.
  EXPECT_THROW(view.Sub(SIZE_MAX, 2), vondrel::Error);
  EXPECT_THROW(view.Sub(2, SIZE_MAX), vondrel::Error);
  try {
    view.U32(4);
    FAIL() << "no error";
  } catch (const vondrel::Error& error) {
    EXPECT_EQ(error.number(), 3049);
    EXPECT_NE(error.description().find("sample.mdb"), std::string::npos);
    EXPECT_NE(error.description().find("page 7"), std::string::npos);
  }
}

TEST(ByteView, EmptyRangesAtTheEndAreFine) {
  const std::vector<std::uint8_t> bytes(4, 0);
  ByteView view(bytes.data(), bytes.size());
  EXPECT_EQ(view.Sub(4, 0).size(), 0u);
  EXPECT_EQ(view.From(4).size(), 0u);
  EXPECT_THROW(view.From(5), vondrel::Error);
}

}  // namespace
}  // namespace jet::io
