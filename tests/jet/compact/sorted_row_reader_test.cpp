// The sorted rows come out in key order with their long values read apart on
// a second thread: whole across its batches, damage handed over with its row,
// a failure after the rows before it, and a reader let go early stops.
#include "jet/compact/sorted_row_reader.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "jet/write/database_writer.h"
#include "support/samples.h"

namespace jet::compact {
namespace {

using jet::write::Value;
using vondrel::testing::ScratchDir;

std::vector<std::uint8_t> KeyOf(std::int32_t number) {
  const auto n = static_cast<std::uint32_t>(number);
  return {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 8),
          static_cast<std::uint8_t>(n)};
}

std::vector<std::uint8_t> Bytes(const io::ByteView& view) {
  return std::vector<std::uint8_t>(view.data(), view.data() + view.size());
}

// Even numbers 0..3998 in a shuffled order, each with a memo of a few KiB
// (a long-value chain for some): six MiB of memos, several batches' worth.
class SortedRowReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_ / "rows.mdb";
    write::DatabaseWriter writer(path_, {});
    const auto table = writer.AddTable({"Notes",
                                        {{"Number", ColumnType::Long}, {"Note", ColumnType::Memo}},
                                        {{"PrimaryKey", {{"Number", true}}, true}}});
    writer.BeginRows(table);
    for (int n = 0; n < 2000; ++n) {
      const int number = 2 * ((n * 7919) % 2000);
      writer.Insert({Value::Long(number), Value::Text(std::string(1000 + number, static_cast<char>('a' + n % 26)))});
    }
    writer.EndRows();
    writer.Close();
    db_ = Database::Open(path_);
    table_ = db_->ReadTableDefinition(*db_->FindTable("Notes"));
    db_->ScanRows(table_, [&](const Row& row) {
      memos_[row.fields[0].bytes.I32(0)] = Bytes(row.fields[1].bytes);
      return true;
    });
    ASSERT_EQ(memos_.size(), 2000u);
  }

  // Every row into the sorter with its long values left in the source, and
  // one more row whose memo names a page past the end of the file.
  void Fill(RowSorter& sorter) {
    ScanOptions plain;
    plain.assemble_long_values = false;
    std::vector<std::uint8_t> record;
    db_->ScanRows(
        table_,
        [&](const Row& row) {
          record.resize(RowRecordSize({}, row.fields));
          EncodeRowRecord(row.pointer, row.listed_at, {}, row.fields, record.data());
          sorter.Add(KeyOf(row.fields[0].bytes.I32(0)), record);
          return true;
        },
        plain);
    const std::uint8_t number[4] = {0xE9, 0x03, 0, 0};                    // 1001
    const std::uint8_t memo[12] = {10, 0, 0, 0x40, 0, 0xFF, 0xFF, 0x7F};  // one row on page 0x7FFFFF
    std::vector<StoredField> fields(2);
    fields[0].is_null = fields[1].is_null = false;
    fields[0].bytes = io::ByteView(number, sizeof number);
    fields[1].bytes = io::ByteView(memo, sizeof memo);
    record.resize(RowRecordSize({}, fields));
    EncodeRowRecord({7, 0}, {7, 0}, {}, fields, record.data());
    sorter.Add(KeyOf(1001), record);
  }

  ScratchDir dir_;
  std::filesystem::path path_;
  std::unique_ptr<Database> db_;
  TableDefinition table_;
  std::map<std::int32_t, std::vector<std::uint8_t>> memos_;
};

TEST_F(SortedRowReaderTest, HandsOutEveryRowInKeyOrderWithItsLongValuesAndItsDamage) {
  for (const std::size_t budget : {std::size_t{64} << 10, kDefaultRowSortMemory}) {  // through runs, and in memory
    RowSorter sorter(budget);
    Fill(sorter);
    SortedRowReader reader(sorter, *db_, table_, true, true);
    std::int32_t last = -1;
    std::size_t rows = 0, damaged = 0;
    while (const SortedRow* row = reader.Next()) {
      ++rows;
      const std::int32_t number = row->fields[0].bytes.I32(0);
      EXPECT_GT(number, last);
      last = number;
      if (number == 1001) {
        ++damaged;
        ASSERT_EQ(row->long_value_damage.size(), 1u);
        EXPECT_EQ(row->long_value_damage[0].column, 1);
        EXPECT_EQ(row->long_value_damage[0].number, 3049);
        EXPECT_TRUE(row->fields[1].is_null && row->fields[1].damaged);
        continue;
      }
      EXPECT_TRUE(row->long_value_damage.empty());
      EXPECT_TRUE(Bytes(row->fields[1].bytes) == memos_.at(number)) << "the memo of " << number;
    }
    EXPECT_EQ(rows, 2001u);
    EXPECT_EQ(damaged, 1u);
    EXPECT_EQ(reader.Next(), nullptr);
  }
}

TEST_F(SortedRowReaderTest, AnUnreadableLongValueNotReportedEndsTheRowsAfterThoseBeforeIt) {
  RowSorter sorter(64 << 10);
  Fill(sorter);
  SortedRowReader reader(sorter, *db_, table_, true, false);
  std::size_t rows = 0;
  try {
    while (const SortedRow* row = reader.Next()) {
      EXPECT_LT(row->fields[0].bytes.I32(0), 1001);
      ++rows;
    }
    ADD_FAILURE() << "the unreadable memo was not thrown";
  } catch (const vondrel::Error& error) {
    EXPECT_EQ(error.number(), 3049);
  }
  EXPECT_EQ(rows, 501u);  // 0, 2, ... 1000
}

TEST_F(SortedRowReaderTest, AReaderLetGoBeforeTheEndStopsItsThread) {
  RowSorter sorter(64 << 10);
  Fill(sorter);
  {
    SortedRowReader reader(sorter, *db_, table_, true, true);
    ASSERT_NE(reader.Next(), nullptr);
  }
  // The sorter can be merged again from the start.
  SortedRowReader again(sorter, *db_, table_, false, true);
  const SortedRow* first = again.Next();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->fields[0].bytes.I32(0), 0);
}

// A table of 200 one-byte columns: each row is a few hundred bytes, and its
// fields, as the reader hands them out, take several times that.
TEST(SortedRowReaderBatches, CountTheFieldsOfTheirRowsAsWellAsTheBytes) {
  ScratchDir dir;
  const std::filesystem::path path = dir / "wide.mdb";
  {
    write::DatabaseWriter writer(path, {});
    write::TableSpec spec{"Wide", {{"Number", ColumnType::Long}}, {{"PrimaryKey", {{"Number", true}}, true}}};
    for (int c = 0; c < 199; ++c) spec.columns.push_back({"C" + std::to_string(c), ColumnType::Byte});
    const auto table = writer.AddTable(spec);
    writer.BeginRows(table);
    for (int n = 0; n < 3000; ++n) {
      const int number = (n * 7919) % 3000;  // a permutation
      std::vector<Value> row{Value::Long(number)};
      for (int c = 0; c < 199; ++c) row.push_back(Value::Byte(static_cast<std::uint8_t>(number + c)));
      writer.Insert(row);
    }
    writer.EndRows();
    writer.Close();
  }
  const auto db = Database::Open(path);
  const TableDefinition table = db->ReadTableDefinition(*db->FindTable("Wide"));
  RowSorter sorter;
  std::vector<std::uint8_t> record;
  db->ScanRows(table, [&](const Row& row) {
    record.resize(RowRecordSize({}, row.fields));
    EncodeRowRecord(row.pointer, row.listed_at, {}, row.fields, record.data());
    sorter.Add(KeyOf(row.fields[0].bytes.I32(0)), record);
    return true;
  });
  SortedRowReader reader(sorter, *db, table, true, true);
  std::int32_t expected = 0;
  bool whole = true;
  while (const SortedRow* row = reader.Next()) {
    const std::int32_t number = row->fields[0].bytes.I32(0);
    whole = whole && number == expected && row->fields.size() == 200 &&
            row->fields[199].bytes.U8(0) == static_cast<std::uint8_t>(number + 198);
    ++expected;
  }
  EXPECT_EQ(expected, 3000);
  EXPECT_TRUE(whole);
  // Three thousand rows of 200 fields are over 28 MiB of fields: they came
  // in batches, none larger than a batch may be.
  EXPECT_GT(reader.largest_batch(), SortedRowReader::kBatchBytes / 2);
  EXPECT_LE(reader.largest_batch(), SortedRowReader::kBatchBytes);
}

}  // namespace
}  // namespace jet::compact
