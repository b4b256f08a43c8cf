#include "jet/format/tdef_decode.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "byte_builder.h"

namespace jet {
namespace {

using testing::Append16;
using testing::Append32;
using testing::Put32;

constexpr std::size_t kPage = 4096;

// A Jet 4 definition with `columns` Long columns (stored in reverse number
// order, to check sorting), one real index on column 0, one primary-key
// logical index and one memo map entry.
std::vector<std::uint8_t> Jet4Stream(std::uint16_t columns) {
  std::vector<std::uint8_t> s(63, 0);
  s[0] = 0x02;
  s[1] = 0x01;
  Put32(s, 12, 1625);
  Put32(s, 16, 275);   // rows
  Put32(s, 20, 300);   // autonumber
  s[24] = 1;
  s[40] = 0x4E;
  testing::Put16(s, 41, columns + 2u);  // max columns: two deleted
  testing::Put16(s, 43, 1);             // var slots
  testing::Put16(s, 45, columns);
  Put32(s, 47, 1);
  Put32(s, 51, 1);
  Put32(s, 55, (9u << 8) | 3);  // owned map row pointer page 9 row 3
  Put32(s, 59, (9u << 8) | 4);
  Append32(s, 275);  // index statistics
  Append32(s, 275);
  Append32(s, 0);
  for (int k = columns - 1; k >= 0; --k) {
    std::vector<std::uint8_t> d(25, 0);
    d[0] = static_cast<std::uint8_t>(ColumnType::Long);
    Put32(d, 1, 1625);
    testing::Put16(d, 5, static_cast<std::uint32_t>(k));
    testing::Put16(d, 11, 1033);
    d[15] = column_flags::kFixed | column_flags::kUpdatable;
    testing::Put16(d, 21, static_cast<std::uint32_t>(4 * k));
    testing::Put16(d, 23, 4);
    s.insert(s.end(), d.begin(), d.end());
  }
  for (int k = columns - 1; k >= 0; --k) {
    const std::string name = "C" + std::to_string(k);
    Append16(s, static_cast<std::uint32_t>(2 * name.size()));
    testing::AppendUtf16(s, name);
  }
  std::vector<std::uint8_t> real(52, 0);
  Put32(real, 0, 1923);
  for (int slot = 0; slot < 10; ++slot) testing::Put16(real, 4 + 3 * slot, 0xFFFF);
  testing::Put16(real, 4, 0);
  real[6] = 0x01;
  testing::Put16(real, 7, columns - 1u);
  real[9] = 0x00;  // descending second key column
  Put32(real, 34, (10u << 8) | 0);
  Put32(real, 38, 11);
  real[46] = 0x89;
  s.insert(s.end(), real.begin(), real.end());
  std::vector<std::uint8_t> logical(28, 0);
  Put32(logical, 0, 1625);
  Put32(logical, 4, 0);
  Put32(logical, 8, 0);
  Put32(logical, 13, 0xFFFFFFFF);
  logical[23] = 1;
  s.insert(s.end(), logical.begin(), logical.end());
  Append16(s, 2 * 10);
  testing::AppendUtf16(s, "PrimaryKey");
  Append16(s, 0);            // memo map entry for column 0 (a test value)
  Append32(s, (12u << 8) | 1);
  Append32(s, (12u << 8) | 2);
  Append16(s, 0xFFFF);
  Put32(s, 8, static_cast<std::uint32_t>(s.size()));
  return s;
}

// Splits a stream over TDEF pages 1, 2, ... (continuations from byte 8).
std::vector<std::uint8_t> FileWithStream(const std::vector<std::uint8_t>& stream, std::vector<std::uint32_t> order) {
  std::vector<std::vector<std::uint8_t>> parts;
  parts.emplace_back(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(std::min(stream.size(), kPage)));
  for (std::size_t at = kPage; at < stream.size(); at += kPage - 8)
    parts.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                       stream.begin() + static_cast<std::ptrdiff_t>(std::min(stream.size(), at + kPage - 8)));
  std::vector<std::uint8_t> file((order.size() + 1) * kPage, 0);
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const std::size_t base = order[k] * kPage;
    const std::size_t from = k == 0 ? 0 : 8;
    std::copy(parts[k].begin(), parts[k].end(), file.begin() + static_cast<std::ptrdiff_t>(base + from));
    file[base] = 0x02;
    file[base + 1] = 0x01;
    Put32(file, base + 4, k + 1 < parts.size() ? order[k + 1] : 0);
  }
  return file;
}

TEST(TdefDecode, MultiPageDefinitionDecodesEveryField) {
  const auto stream = Jet4Stream(170);
  ASSERT_GT(stream.size(), kPage);  // spans two pages
  io::PageFile file(FileWithStream(stream, {2, 1}), kPage, 0, "t.mdb");
  const TableDefinition table = ReadTableDefinition(file, FormatVersion::Jet4, 1252, 2);
  EXPECT_EQ(table.pages, (std::vector<std::uint32_t>{2, 1}));
  EXPECT_EQ(table.tdef_length, stream.size());
  EXPECT_EQ(table.row_count, 275u);
  EXPECT_EQ(table.autonumber, 300u);
  EXPECT_EQ(table.max_columns, 172);
  EXPECT_EQ(table.owned_map, (RowPointer{9, 3}));
  EXPECT_EQ(table.free_map, (RowPointer{9, 4}));
  ASSERT_EQ(table.columns.size(), 170u);
  for (std::size_t k = 0; k < table.columns.size(); ++k) {
    EXPECT_EQ(table.columns[k].number, k);
    EXPECT_EQ(table.columns[k].name, "C" + std::to_string(k));
    EXPECT_EQ(table.columns[k].fixed_offset, 4 * k);
    EXPECT_EQ(table.columns[k].sort_order, 1033);
  }
  ASSERT_EQ(table.real_indexes.size(), 1u);
  const RealIndexDefinition& real = table.real_indexes[0];
  ASSERT_EQ(real.columns.size(), 2u);
  EXPECT_EQ(real.columns[0].column_number, 0);
  EXPECT_TRUE(real.columns[0].ascending);
  EXPECT_EQ(real.columns[1].column_number, 169);
  EXPECT_FALSE(real.columns[1].ascending);
  EXPECT_EQ(real.usage_map, (RowPointer{10, 0}));
  EXPECT_EQ(real.root_page, 11u);
  EXPECT_EQ(real.flags, 0x89);
  EXPECT_EQ(real.stats_rows, 275u);
  EXPECT_TRUE(real.IsUnique());
  ASSERT_EQ(table.logical_indexes.size(), 1u);
  EXPECT_EQ(table.logical_indexes[0].name, "PrimaryKey");
  EXPECT_EQ(table.logical_indexes[0].type, LogicalIndexType::PrimaryKey);
  EXPECT_EQ(table.logical_indexes[0].related_index, -1);
  ASSERT_EQ(table.long_value_maps.size(), 1u);
  EXPECT_EQ(table.long_value_maps[0].owned_map, (RowPointer{12, 1}));
  EXPECT_EQ(table.long_value_maps[0].free_map, (RowPointer{12, 2}));
  std::size_t end = 0;
  DecodeTableDefinition(ReadTdefStream(file, FormatVersion::Jet4, 2), FormatVersion::Jet4, 1252, "t.mdb", &end);
  EXPECT_EQ(end, stream.size());
}

TEST(TdefDecode, LoopsWrongPagesAndOverrunsAreCorruption) {
  const auto stream = Jet4Stream(170);
  auto looped = FileWithStream(stream, {1, 2});
  Put32(looped, 2 * kPage + 4, 1);  // page 2 points back at page 1
  io::PageFile loop_file(std::move(looped), kPage, 0, "t.mdb");
  EXPECT_THROW(ReadTdefStream(loop_file, FormatVersion::Jet4, 1), vondrel::Error);

  auto beyond = FileWithStream(stream, {1, 2});
  Put32(beyond, 1 * kPage + 4, 99);
  io::PageFile beyond_file(std::move(beyond), kPage, 0, "t.mdb");
  EXPECT_THROW(ReadTdefStream(beyond_file, FormatVersion::Jet4, 1), vondrel::Error);

  auto not_tdef = FileWithStream(stream, {1, 2});
  not_tdef[2 * kPage] = 0x01;
  io::PageFile data_file(std::move(not_tdef), kPage, 0, "t.mdb");
  EXPECT_THROW(ReadTdefStream(data_file, FormatVersion::Jet4, 1), vondrel::Error);

  // A column count beyond the stream.
  auto short_stream = Jet4Stream(3);
  testing::Put16(short_stream, 45, 60000);
  io::PageFile overrun(FileWithStream(short_stream, {1}), kPage, 0, "t.mdb");
  EXPECT_THROW(ReadTableDefinition(overrun, FormatVersion::Jet4, 1252, 1), vondrel::Error);

  // Two columns with one number.
  auto twins = Jet4Stream(3);
  testing::Put16(twins, 63 + 12 + 25 + 5, 2);  // second descriptor (number 1) renumbered to 2
  io::PageFile twin_file(FileWithStream(twins, {1}), kPage, 0, "t.mdb");
  EXPECT_THROW(ReadTableDefinition(twin_file, FormatVersion::Jet4, 1252, 1), vondrel::Error);
}

TEST(TdefDecode, Jet3DescriptorOffsets) {
  std::vector<std::uint8_t> s(43, 0);
  s[0] = 0x02;
  s[1] = 0x01;
  s[2] = 'V';
  s[3] = 'C';
  Put32(s, 12, 5);     // rows
  Put32(s, 16, 8);     // autonumber
  s[20] = 0x4E;
  testing::Put16(s, 21, 1);
  testing::Put16(s, 23, 1);
  testing::Put16(s, 25, 1);
  std::vector<std::uint8_t> d(18, 0);
  d[0] = static_cast<std::uint8_t>(ColumnType::Text);
  testing::Put16(d, 1, 0);
  testing::Put16(d, 3, 0);
  testing::Put16(d, 9, 1033);
  testing::Put16(d, 11, 1252);
  d[13] = column_flags::kUpdatable;
  testing::Put16(d, 16, 50);
  s.insert(s.end(), d.begin(), d.end());
  s.push_back(4);
  testing::AppendBytes(s, "Name");
  Append16(s, 0xFFFF);
  Put32(s, 8, static_cast<std::uint32_t>(s.size()));
  std::vector<std::uint8_t> file(2 * 2048, 0);
  std::copy(s.begin(), s.end(), file.begin() + 2048);
  io::PageFile pages(std::move(file), 2048, 0, "old.mdb");
  const TableDefinition table = ReadTableDefinition(pages, FormatVersion::Jet3, 1252, 1);
  EXPECT_EQ(table.row_count, 5u);
  EXPECT_EQ(table.autonumber, 8u);
  ASSERT_EQ(table.columns.size(), 1u);
  EXPECT_EQ(table.columns[0].name, "Name");
  EXPECT_EQ(table.columns[0].type, ColumnType::Text);
  EXPECT_EQ(table.columns[0].sort_order, 1033);
  EXPECT_EQ(table.columns[0].code_page, 1252);
  EXPECT_EQ(table.columns[0].length, 50);
  EXPECT_TRUE(table.long_value_maps.empty());
}

}  // namespace
}  // namespace jet
