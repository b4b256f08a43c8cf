// The gate of a pass that records losses refuses a unique key admitted
// before. Told which keys may repeat, it remembers those alone.

#include "jet/compact/row_gate.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "jet/compact/row_converter.h"
#include "jet/read/database.h"
#include "jet/write/row_keys.h"
#include "support/salvage_corpus.h"
#include "support/samples.h"

namespace jet::compact {
namespace {

using vondrel::testing::ScratchDir;

class RowGateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vondrel::testing::BuildPeopleDatabase(dir_ / "people.mdb", FormatVersion::Jet4, 50);
    db_ = Database::Open(dir_ / "people.mdb");
    table_ = db_->ReadTableDefinition(*db_->FindTable("People"));
    keys_ = std::make_unique<SourceKeyCache>(*db_);
    job_ = std::make_unique<CopyJob>(CopyJob{.source = *db_,
                                             .source_table = table_,
                                             .target_table = table_,
                                             .remap = remap_,
                                             .source_keys = *keys_,
                                             .key_settings = {},
                                             .losses = &losses_,
                                             .table_name = "People",
                                             .keep = {},
                                             .check_keys = true,
                                             .restart = {},
                                             .on_page = {}});
    converter_ = std::make_unique<RowConverter>(*job_);
    for (std::size_t r = 0; r < table_.real_indexes.size(); ++r) {
      if (!table_.real_indexes[r].IsUnique()) continue;
      const ColumnDefinition* first = table_.FindColumn(table_.real_indexes[r].columns.at(0).column_number);
      (first->name == "Name" ? name_index_ : id_index_) = r;
    }
    ASSERT_NE(name_index_, id_index_);
  }

  // Offers every row to the gate; returns the refusals.
  std::vector<Refusal> AdmitAll(RowGate& gate) {
    std::vector<Refusal> refused;
    db_->ScanRows(table_, [&](const Row& row) {
      if (auto refusal = gate.Admit(converter_->Convert(row.fields), row.listed_at.ToRaw())) refused.push_back(*refusal);
      return true;
    });
    return refused;
  }

  // Offers the first row again.
  std::optional<Refusal> AdmitFirstAgain(RowGate& gate) {
    std::optional<Refusal> refusal;
    db_->ScanRows(table_, [&](const Row& row) {
      refusal = gate.Admit(converter_->Convert(row.fields), row.listed_at.ToRaw());
      return false;
    });
    return refusal;
  }

  std::string FirstKeyOf(std::size_t r) {
    std::string key;
    db_->ScanRows(table_, [&](const Row& row) {
      const write::RowKey computed = write::ComputeRowKey(table_, table_.real_indexes[r], converter_->Convert(row.fields), {});
      key.assign(computed.key.begin(), computed.key.end());
      return false;
    });
    return key;
  }

  ScratchDir dir_;
  std::unique_ptr<Database> db_;
  TableDefinition table_;
  IdRemap remap_;
  std::unique_ptr<SourceKeyCache> keys_;
  LossLog losses_;
  std::unique_ptr<CopyJob> job_;
  std::unique_ptr<RowConverter> converter_;
  const write::KeyFallback no_fallback_;
  std::size_t name_index_ = 0, id_index_ = 0;
};

TEST_F(RowGateTest, RemembersEveryKeyOfUniqueIndexesWhoseKeysComeUnordered) {
  RowGate gate(*job_, no_fallback_);
  EXPECT_TRUE(AdmitAll(gate).empty());
  EXPECT_EQ(gate.remembered_keys(), 2u * 50u);
  const std::optional<Refusal> again = AdmitFirstAgain(gate);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->number, 3022);
}

TEST_F(RowGateTest, RemembersOnlyTheKeysThatMayRepeat) {
  RowGate gate(*job_, no_fallback_);
  gate.RemembersOnly(id_index_, {});
  gate.RemembersOnly(name_index_, {FirstKeyOf(name_index_)});
  EXPECT_TRUE(AdmitAll(gate).empty());
  EXPECT_EQ(gate.remembered_keys(), 1u);
  // The first row's Id was not to repeat and goes through; its name repeats.
  const std::optional<Refusal> again = AdmitFirstAgain(gate);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->number, 3022);
  EXPECT_EQ(again->reason, "it repeats a key of unique index " + std::to_string(name_index_));
}

}  // namespace
}  // namespace jet::compact
