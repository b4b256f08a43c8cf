#include "jet/format/data_page_decode.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "byte_builder.h"

namespace jet {
namespace {

using testing::MakeDataPage;

TEST(DataPage, RowsRunFromThePageEndDownwards) {
  const auto bytes = MakeDataPage(4096, false, 42, {{1, 2, 3}, {4, 5}, {6}}, {0, kRowDeletedFlag, 0});
  const DataPage page(io::ByteView(bytes.data(), bytes.size()), kJet4Constants);
  EXPECT_EQ(page.owner(), 42u);
  EXPECT_EQ(page.row_count(), 3);
  EXPECT_EQ(page.free_space(), 4096 - 14 - 6 - 6);
  const RowSlot first = page.Slot(0);
  EXPECT_EQ(first.start, 4093u);
  EXPECT_EQ(first.end, 4096u);
  EXPECT_FALSE(first.deleted());
  EXPECT_TRUE(page.Slot(1).deleted());
  EXPECT_EQ(page.RowBytes(2).U8(0), 6);
  EXPECT_EQ(page.RowBytes(2).size(), 1u);
  EXPECT_THROW(page.Slot(3), vondrel::Error);
}

TEST(DataPage, Jet3HeaderIsFourBytesShorter) {
  const auto bytes = MakeDataPage(2048, true, kLongValueOwner, {{9, 9}});
  const DataPage page(io::ByteView(bytes.data(), bytes.size()), kJet3Constants);
  EXPECT_TRUE(page.IsLongValuePage());
  EXPECT_EQ(page.row_table_end(), 12u);
  EXPECT_EQ(page.RowBytes(0).size(), 2u);
}

TEST(DataPage, ACutPageGivesTheRowsThatLieWhollyBeforeTheCut) {
  // Rows are stored from the end of the page: row 2 lies lowest.
  const auto bytes = MakeDataPage(4096, false, 7, {{1, 2, 3}, {4, 5}, {6, 7, 8, 9}});
  const DataPage whole(io::ByteView(bytes.data(), bytes.size()), kJet4Constants);
  const std::size_t cut = whole.Slot(1).end - 1;  // inside row 1; row 2 lies before it
  const DataPage page(io::ByteView(bytes.data(), cut), kJet4Constants);
  EXPECT_EQ(page.RowBytes(2).size(), 4u);
  EXPECT_EQ(page.RowBytes(2).U8(3), 9);
  for (std::uint32_t row : {0u, 1u}) {
    try {
      page.RowBytes(row);
      FAIL() << row;
    } catch (const vondrel::Error& error) {
      EXPECT_EQ(error.number(), 3049);
      EXPECT_NE(error.description().find("past the end of the file"), std::string::npos) << error.description();
    }
  }
  // Cut inside the row table: not a page whose rows can be found.
  EXPECT_THROW(DataPage(io::ByteView(bytes.data(), 15), kJet4Constants), vondrel::Error);
}

TEST(DataPage, ImpossibleLayoutsAreCorruption) {
  auto bytes = MakeDataPage(4096, false, 7, {{1, 2, 3}, {4}});
  // Wrong page type.
  auto index_page = bytes;
  index_page[0] = 0x04;
  EXPECT_THROW(DataPage(io::ByteView(index_page.data(), index_page.size()), kJet4Constants), vondrel::Error);
  // A row count whose offset table does not fit.
  auto huge = bytes;
  testing::Put16(huge, 12, 0xFFFF);
  EXPECT_THROW(DataPage(io::ByteView(huge.data(), huge.size()), kJet4Constants), vondrel::Error);
  // A row starting inside the row table, and one ending before it starts.
  auto inside = bytes;
  testing::Put16(inside, 16, 10);
  const DataPage bad(io::ByteView(inside.data(), inside.size()), kJet4Constants);
  EXPECT_THROW(bad.RowBytes(1), vondrel::Error);
  auto crossed = bytes;
  testing::Put16(crossed, 14, 4000);  // row 0 now starts below row 1
  const DataPage crossing(io::ByteView(crossed.data(), crossed.size()), kJet4Constants);
  EXPECT_THROW(crossing.RowBytes(1), vondrel::Error);
}

TEST(DataPage, OverflowTargetIsRowByteThenPage) {
  const std::vector<std::uint8_t> row{0x03, 0x10, 0x02, 0x00, 0xEE};
  const RowPointer target = OverflowTarget(io::ByteView(row.data(), row.size()));
  EXPECT_EQ(target.page, 0x0210u);
  EXPECT_EQ(target.row, 3);
  EXPECT_THROW(OverflowTarget(io::ByteView(row.data(), 3)), vondrel::Error);
}

}  // namespace
}  // namespace jet
