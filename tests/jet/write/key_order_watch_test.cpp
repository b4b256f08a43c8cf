// A table builder watching one index tells whether the rows it received came
// in that index's order: strictly ascending keys, each one the encoder's own.
// Compaction relies on it to copy a table in one pass when it can.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "jet/write/database_writer.h"
#include "jet/write/table_builder.h"
#include "support/samples.h"

namespace jet::write {
namespace {

using vondrel::testing::ScratchDir;

class KeyOrderWatch : public ::testing::Test {
 protected:
  void SetUp() override {
    DatabaseWriter db(dir_ / "definition.mdb", {});
    const auto handle = db.AddTable({"Items",
                                     {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, 50}},
                                     {{"PrimaryKey", {{"Id", true}}, true}, {"ByName", {{"Name", true}}}}});
    table_ = db.Definition(handle);  // the writer is not closed: its file goes away
    for (std::size_t r = 0; r < table_.real_indexes.size(); ++r) {
      const ColumnDefinition* column = table_.FindColumn(table_.real_indexes[r].columns.at(0).column_number);
      (column->name == "Id" ? id_index_ : name_index_) = r;
    }
    sink_ = std::make_unique<PageSink>(dir_ / "rows.mdb", FormatVersion::Jet4, 0);
    sink_->Allocate(table_.tdef_page + 1);
    rows_ = std::make_unique<TableBuilder>(*sink_, table_, KeyDatabaseSettings{});
  }

  // Adds a row; a null id when id < 0.
  void Add(std::int32_t id, const std::string& name) {
    std::memcpy(id_bytes_, &id, 4);
    name_bytes_.clear();
    for (char c : name) {
      name_bytes_.push_back(static_cast<std::uint8_t>(c));
      name_bytes_.push_back(0);
    }
    std::vector<encode::FieldValue> values(table_.columns.size());
    for (std::size_t i = 0; i < table_.columns.size(); ++i) {
      encode::FieldValue& v = values[i];
      if (table_.columns[i].name == "Id" && id >= 0) v = {false, false, id_bytes_, 4};
      if (table_.columns[i].name == "Name") v = {false, false, name_bytes_.data(), name_bytes_.size()};
    }
    rows_->AddRow(values);
  }

  ScratchDir dir_;
  TableDefinition table_;
  std::size_t id_index_ = 0, name_index_ = 0;
  std::unique_ptr<PageSink> sink_;
  std::unique_ptr<TableBuilder> rows_;
  std::uint8_t id_bytes_[4] = {};
  std::vector<std::uint8_t> name_bytes_;
};

TEST_F(KeyOrderWatch, AscendingKeysKeepTheVerdictAndAnyStepBackEndsIt) {
  rows_->WatchKeyOrder(id_index_);
  EXPECT_TRUE(rows_->WatchedKeysAscending());  // nothing received yet
  for (int id : {-5, 1, 2, 40, 41}) Add(id < 0 ? -1 : id, "b");  // a null key sorts first
  EXPECT_TRUE(rows_->WatchedKeysAscending());
  Add(7, "b");
  EXPECT_FALSE(rows_->WatchedKeysAscending());
  Add(100, "b");  // once out of order, always
  EXPECT_FALSE(rows_->WatchedKeysAscending());
}

TEST_F(KeyOrderWatch, ARepeatedKeyIsNotAscending) {
  rows_->WatchKeyOrder(id_index_);
  Add(1, "a");
  Add(2, "b");
  Add(2, "c");
  EXPECT_FALSE(rows_->WatchedKeysAscending());
}

TEST_F(KeyOrderWatch, OnlyTheWatchedIndexCounts) {
  rows_->WatchKeyOrder(name_index_);
  Add(3, "apple");
  Add(2, "banana");
  Add(1, "cherry");
  EXPECT_TRUE(rows_->WatchedKeysAscending());
  rows_->WatchKeyOrder(id_index_);  // watching anew forgets the verdict so far
  Add(10, "date");
  EXPECT_TRUE(rows_->WatchedKeysAscending());
  Add(9, "egg");
  EXPECT_FALSE(rows_->WatchedKeysAscending());
}

TEST_F(KeyOrderWatch, AKeyFromTheFallbackIsNotTheEncodersAndEndsTheVerdict) {
  // A collation without sort-code tables: every text key needs the fallback.
  for (ColumnDefinition& column : table_.columns)
    if (column.name == "Name") column.sort_order = 2052;
  rows_ = std::make_unique<TableBuilder>(*sink_, table_, KeyDatabaseSettings{});
  rows_->WatchKeyOrder(id_index_);
  Add(1, "a");
  EXPECT_TRUE(rows_->WatchedKeysAscending());  // the id keys are the encoder's
  rows_->WatchKeyOrder(name_index_);
  Add(2, "b");
  EXPECT_FALSE(rows_->WatchedKeysAscending());
  // A fallback vouches for the name keys afterwards, but the verdict stays.
  std::uint8_t next = 0;
  rows_->SettleKeys([&](std::size_t, const RowKey&, std::uint64_t) { return std::optional<KeyBytes>(KeyBytes{0x7F, ++next}); });
  EXPECT_EQ(next, 2);
  EXPECT_FALSE(rows_->WatchedKeysAscending());
}

}  // namespace
}  // namespace jet::write
