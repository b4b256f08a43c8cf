// Rows turned into index entries, directly for a small table and on a second
// thread for a large one: every list must receive exactly the entries the
// key encoder gives, however the work was split and whatever was spilled,
// and keys the encoder cannot vouch for must come back with their rows' tags.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "index_entry_reference.h"
#include "jet/write/database_writer.h"
#include "jet/write/index_feeder.h"
#include "support/samples.h"

namespace jet::write {
namespace {

using vondrel::testing::ScratchDir;

class IndexFeederTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DatabaseWriter db(dir_ / "definition.mdb", {});
    table_ = db.Definition(db.AddTable({"Items",
                                        {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, 50}},
                                        {{"PrimaryKey", {{"Id", true}}, true}, {"ByName", {{"Name", true}}}}}));
  }

  // Row i: an id (scattered unless given) and a name that repeats, stored at
  // page 100 + i / 50.
  void MakeRow(std::size_t i, std::int32_t given_id = -1) {
    const std::int32_t id = given_id >= 0 ? given_id : static_cast<std::int32_t>((i * 7919) % 100003);
    std::memcpy(id_, &id, 4);
    name_.clear();
    for (char c : "name " + std::to_string(i % 977)) {
      name_.push_back(static_cast<std::uint8_t>(c));
      name_.push_back(0);
    }
    fields_.assign(table_.columns.size(), {});
    for (std::size_t c = 0; c < table_.columns.size(); ++c) {
      if (table_.columns[c].name == "Id") fields_[c] = {false, false, {id_, 4}};
      if (table_.columns[c].name == "Name") fields_[c] = {false, false, {name_.data(), name_.size()}};
    }
  }
  static RowPointer At(std::size_t i) { return {static_cast<std::uint32_t>(100 + i / 50), static_cast<std::uint8_t>(i % 50)}; }

  // What each index must hold after `rows` rows, from the encoder itself.
  std::vector<std::vector<Reference>> Expected(std::size_t rows) {
    std::vector<std::vector<Reference>> out(table_.real_indexes.size());
    for (std::size_t i = 0; i < rows; ++i) {
      MakeRow(i);
      for (std::size_t r = 0; r < out.size(); ++r) {
        KeyBytes key;
        if (ComputeRowKey(table_, table_.real_indexes[r], fields_, KeyDatabaseSettings{}, key).covered)
          out[r].push_back({key, At(i)});
      }
    }
    for (auto& list : out) std::sort(list.begin(), list.end());
    return out;
  }

  ScratchDir dir_;
  TableDefinition table_;
  std::uint8_t id_[4] = {};
  std::vector<std::uint8_t> name_;
  std::vector<KeyField> fields_;
};

TEST_F(IndexFeederTest, ListsHoldTheEncodersEntriesWithOrWithoutTheThreadAndSpills) {
  for (std::size_t rows : {std::size_t{300}, 4 * IndexFeeder::kThreadWorthRows}) {
    for (std::size_t budget : {kDefaultIndexMemoryBudget, std::size_t{64 * 1024}}) {
      // 0: the caller computes every key itself once the thread runs.
      for (std::size_t caller_helps_at : {IndexFeeder::kCallerHelpsAtQueued, std::size_t{0}}) {
        std::vector<IndexEntryList> lists(table_.real_indexes.size());
        IndexFeeder feeder(table_, KeyDatabaseSettings{}, lists, budget, caller_helps_at);
        for (std::size_t i = 0; i < rows; ++i) {
          MakeRow(i);
          feeder.AddRow(fields_, At(i), i);
        }
        EXPECT_TRUE(feeder.Finish().empty());
        const auto expected = Expected(rows);
        for (std::size_t r = 0; r < lists.size(); ++r)
          EXPECT_TRUE(ReadAll(lists[r]) == expected[r])
              << rows << " rows, budget " << budget << ", caller helps at " << caller_helps_at << ", index " << r;
      }
    }
  }
}

// The verdict on the watched index follows the rows in order, also those
// handed to the thread, and is final once the feeder is idle.
TEST_F(IndexFeederTest, TheWatchedIndexsVerdictIsFinalOnceIdle) {
  std::size_t id_index = 0;
  for (std::size_t r = 0; r < table_.real_indexes.size(); ++r)
    if (table_.FindColumn(table_.real_indexes[r].columns.at(0).column_number)->name == "Id") id_index = r;
  for (std::size_t caller_helps_at : {IndexFeeder::kCallerHelpsAtQueued, std::size_t{0}}) {
    std::vector<IndexEntryList> lists(table_.real_indexes.size());
    IndexFeeder feeder(table_, KeyDatabaseSettings{}, lists, kDefaultIndexMemoryBudget, caller_helps_at);
    feeder.Watch(id_index);
    const std::size_t rows = 3 * IndexFeeder::kThreadWorthRows;
    for (std::size_t i = 0; i < rows; ++i) {
      MakeRow(i, static_cast<std::int32_t>(2 * i));
      feeder.AddRow(fields_, At(i), i);
    }
    feeder.WaitUntilIdle();
    EXPECT_TRUE(feeder.WatchedKeysAscending());
    MakeRow(rows, static_cast<std::int32_t>(2 * rows - 2));  // repeats the last id
    feeder.AddRow(fields_, At(rows), rows);
    MakeRow(rows + 1, static_cast<std::int32_t>(4 * rows));  // ascending again: the verdict stays
    feeder.AddRow(fields_, At(rows + 1), rows + 1);
    feeder.WaitUntilIdle();
    EXPECT_FALSE(feeder.WatchedKeysAscending());
    feeder.Watch(id_index);  // a new watch forgets the verdict
    EXPECT_TRUE(feeder.WatchedKeysAscending());
    EXPECT_TRUE(feeder.Finish().empty());
    EXPECT_EQ(ReadAll(lists[id_index]).size(), rows + 2);
  }
}

TEST_F(IndexFeederTest, UnvouchedKeysComeBackWithTheirTagsAndFeedingGoesOn) {
  for (ColumnDefinition& column : table_.columns)
    if (column.name == "Name") column.sort_order = 2052;  // no sort-code tables: not vouched for
  std::size_t name_index = 0;
  for (std::size_t r = 0; r < table_.real_indexes.size(); ++r)
    if (table_.FindColumn(table_.real_indexes[r].columns.at(0).column_number)->name == "Name") name_index = r;
  const std::size_t rows = 2 * IndexFeeder::kThreadWorthRows;
  for (std::size_t caller_helps_at : {IndexFeeder::kCallerHelpsAtQueued, std::size_t{0}}) {
    std::vector<IndexEntryList> lists(table_.real_indexes.size());
    IndexFeeder feeder(table_, KeyDatabaseSettings{}, lists, kDefaultIndexMemoryBudget, caller_helps_at);
    std::vector<IndexFeeder::UnvouchedKey> unvouched;
    for (std::size_t i = 0; i < rows; ++i) {
      MakeRow(i);
      feeder.AddRow(fields_, At(i), 1000 + i);
      if (i == rows / 2) unvouched = feeder.TakeUnvouched();
    }
    EXPECT_EQ(unvouched.size(), rows / 2 + 1);
    for (IndexFeeder::UnvouchedKey& k : feeder.Finish()) unvouched.push_back(std::move(k));
    ASSERT_EQ(unvouched.size(), rows);
    for (std::size_t i = 0; i < rows; ++i) {
      EXPECT_EQ(unvouched[i].real_index, name_index);
      EXPECT_EQ(unvouched[i].tag, 1000 + i);
      EXPECT_EQ(unvouched[i].row, At(i));
      EXPECT_FALSE(unvouched[i].key.coverage.covered);
    }
    EXPECT_TRUE(ReadAll(lists[name_index]).empty());
    EXPECT_TRUE(ReadAll(lists[1 - name_index]) == Expected(rows)[1 - name_index]);
  }
}

}  // namespace
}  // namespace jet::write
