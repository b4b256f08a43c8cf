#include "support/property_blob.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "byte_builder.h"

namespace jet {
namespace {

using testing::Append16;
using vondrel::testing::DecodePropertyBlob;
using testing::Append32;

std::vector<std::uint8_t> Jet4Blob() {
  std::vector<std::uint8_t> blob{'M', 'R', '2', 0};
  // Names chunk: "Title", "Ver".
  std::vector<std::uint8_t> names;
  Append16(names, 10);
  testing::AppendUtf16(names, "Title");
  Append16(names, 6);
  testing::AppendUtf16(names, "Ver");
  Append32(blob, static_cast<std::uint32_t>(6 + names.size()));
  Append16(blob, 0x0080);
  blob.insert(blob.end(), names.begin(), names.end());
  // Object chunk: unnamed, Ver = "08.50" (Text, 10 bytes UTF-16).
  std::vector<std::uint8_t> body;
  Append32(body, 6);
  Append16(body, 0);
  Append16(body, 8 + 10);
  body.push_back(0);
  body.push_back(0x0A);
  Append16(body, 1);
  Append16(body, 10);
  testing::AppendUtf16(body, "08.50");
  Append32(blob, static_cast<std::uint32_t>(6 + body.size()));
  Append16(blob, 0x0000);
  blob.insert(blob.end(), body.begin(), body.end());
  return blob;
}

TEST(PropertyBlob, DecodesNamesAndValues) {
  const auto blob = Jet4Blob();
  const auto blocks = DecodePropertyBlob(io::ByteView(blob.data(), blob.size()), FormatVersion::Jet4, 1252);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].name, "");
  ASSERT_EQ(blocks[0].values.size(), 1u);
  EXPECT_EQ(blocks[0].values[0].name, "Ver");
  EXPECT_EQ(blocks[0].values[0].type, 0x0A);
  EXPECT_EQ(blocks[0].values[0].data.size(), 10u);
}

TEST(PropertyBlob, MalformedBlobsAreCorruption) {
  auto blob = Jet4Blob();
  EXPECT_THROW(DecodePropertyBlob(io::ByteView(blob.data(), blob.size()), FormatVersion::Jet3, 1252), vondrel::Error);
  auto bad_index = blob;
  bad_index[bad_index.size() - 14] = 7;  // name index beyond the list
  EXPECT_THROW(DecodePropertyBlob(io::ByteView(bad_index.data(), bad_index.size()), FormatVersion::Jet4, 1252),
               vondrel::Error);
  auto cut = blob;
  cut.resize(cut.size() - 3);
  EXPECT_THROW(DecodePropertyBlob(io::ByteView(cut.data(), cut.size()), FormatVersion::Jet4, 1252), vondrel::Error);
}

}  // namespace
}  // namespace jet
