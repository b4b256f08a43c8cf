#include "jet/format/usage_map_decode.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "byte_builder.h"

namespace jet {
namespace {

TEST(UsageMap, InlineBitsCountFromTheStartPage) {
  std::vector<std::uint8_t> row{0x00};
  testing::Append32(row, 16);
  row.insert(row.end(), {0b00000101, 0x00, 0b10000000});
  const UsageMap map = DecodeUsageMap(io::ByteView(row.data(), row.size()));
  EXPECT_EQ(map.type, UsageMapType::Inline);
  EXPECT_EQ(map.start_page, 16u);
  const auto pages = UsageMapPages(map, kJet4Constants, 100, {});
  EXPECT_EQ(pages, (std::vector<std::uint32_t>{16, 18, 39}));
  // Pages past the file's end are not listed.
  EXPECT_EQ(UsageMapPages(map, kJet4Constants, 39, {}), (std::vector<std::uint32_t>{16, 18}));
}

TEST(UsageMap, ReferenceMapReadsItsBitmapPages) {
  std::vector<std::uint8_t> row{0x01};
  testing::Append32(row, 0);  // slot 0 unused
  testing::Append32(row, 7);  // slot 1: bitmap page 7
  const UsageMap map = DecodeUsageMap(io::ByteView(row.data(), row.size()));
  ASSERT_EQ(map.type, UsageMapType::Reference);
  std::vector<std::uint8_t> bitmap(2048, 0);
  bitmap[0] = 0x05;
  bitmap[1] = 0x01;
  bitmap[4] = 0b00000011;
  const std::size_t per_slot = ReferenceMapPagesPerSlot(kJet3Constants);
  EXPECT_EQ(per_slot, 16352u);
  const PageFetcher fetch = [&](std::uint32_t page) {
    EXPECT_EQ(page, 7u);
    return io::ByteView(bitmap.data(), bitmap.size());
  };
  EXPECT_EQ(UsageMapPages(map, kJet3Constants, 40000, fetch),
            (std::vector<std::uint32_t>{static_cast<std::uint32_t>(per_slot), static_cast<std::uint32_t>(per_slot + 1)}));
  bitmap[0] = 0x01;  // not a map page
  EXPECT_THROW(UsageMapPages(map, kJet3Constants, 40000, fetch), vondrel::Error);
}

TEST(UsageMap, UnknownTypeIsCorruption) {
  std::vector<std::uint8_t> row{0x07, 0, 0, 0, 0};
  EXPECT_THROW(DecodeUsageMap(io::ByteView(row.data(), row.size())), vondrel::Error);
  EXPECT_THROW(DecodeUsageMap(io::ByteView(row.data(), 0)), vondrel::Error);
  std::vector<std::uint8_t> short_inline{0x00, 1};
  EXPECT_THROW(DecodeUsageMap(io::ByteView(short_inline.data(), short_inline.size())), vondrel::Error);
}

}  // namespace
}  // namespace jet
