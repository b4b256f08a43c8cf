// Repair of definitions read from damaged files: limits are raised to what
// the columns use, indexes naming what is missing are left out with the
// remaining ones renumbered, a text column marked fixed over another's bytes
// is read as variable again, a Yes/No column marked variable is marked fixed,
// columns sharing a variable slot are written apart, and definitions that
// cannot be made consistent are refused.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "jet/compact/definition_repair.h"

namespace {

using jet::ColumnType;

jet::TableDefinition TwoColumnsThreeIndexes() {
  jet::TableDefinition t;
  jet::ColumnDefinition id;
  id.name = "Id";
  id.type = ColumnType::Long;
  id.number = 0;
  id.flags = jet::column_flags::kFixed;
  id.length = 4;
  jet::ColumnDefinition name;
  name.name = "Name";
  name.type = ColumnType::Text;
  name.number = 1;
  name.var_index = 0;
  name.length = 100;
  t.columns = {id, name};
  t.max_columns = 2;
  t.var_slots = 1;
  for (std::uint32_t r = 0; r < 3; ++r) {
    jet::RealIndexDefinition real;
    real.number = r;
    real.columns = {{static_cast<std::uint16_t>(r), true}};  // index 2 names a column that does not exist
    t.real_indexes.push_back(real);
    jet::LogicalIndexDefinition logical;
    logical.name = "index " + std::to_string(r);
    logical.number = static_cast<std::int32_t>(r);
    logical.real_index = static_cast<std::int32_t>(r);
    t.logical_indexes.push_back(logical);
  }
  return t;
}

// Id and Name with their sound indexes, and more text columns after Name
// (numbered 2, 3, …), each in the variable slot given.
jet::TableDefinition WithTextColumnsInSlots(std::initializer_list<std::uint16_t> slots) {
  jet::TableDefinition t = TwoColumnsThreeIndexes();
  t.real_indexes.pop_back();
  t.logical_indexes.pop_back();
  for (const std::uint16_t slot : slots) {
    jet::ColumnDefinition more = t.columns[1];
    more.number = static_cast<std::uint16_t>(t.columns.size());
    more.name = "Text" + std::to_string(more.number);
    more.var_index = slot;
    t.columns.push_back(more);
  }
  t.max_columns = static_cast<std::uint16_t>(t.columns.size());
  return t;
}

TEST(DefinitionRepair, ASoundDefinitionIsLeftAlone) {
  jet::TableDefinition t = WithTextColumnsInSlots({});
  const jet::TableDefinition before = t;
  EXPECT_TRUE(jet::compact::RepairDefinition(t).empty());
  EXPECT_EQ(t.real_indexes.size(), before.real_indexes.size());
  EXPECT_EQ(t.max_columns, before.max_columns);
}

TEST(DefinitionRepair, AYesNoColumnMarkedVariableIsMarkedFixedAndClaimsNoSlot) {
  jet::TableDefinition t = WithTextColumnsInSlots({});
  jet::ColumnDefinition flag;
  flag.name = "Done";
  flag.type = ColumnType::Boolean;
  flag.number = 2;
  flag.var_index = 1280;  // damaged: far past the table's one slot
  t.columns.push_back(flag);
  t.max_columns = 3;
  const std::vector<std::string> repairs = jet::compact::RepairDefinition(t);
  ASSERT_EQ(repairs.size(), 1u);
  EXPECT_NE(repairs[0].find("Done"), std::string::npos) << repairs[0];
  EXPECT_TRUE(t.columns[2].IsFixed());
  EXPECT_EQ(t.var_slots, 1u);
  for (const jet::ColumnDefinition& c : t.columns) {
    if (!c.IsFixed()) {
      EXPECT_LT(c.var_index, t.var_slots) << c.name;
    }
  }
}

TEST(DefinitionRepair, AnIndexNamingAMissingColumnIsLeftOutAndTheRestRenumbered) {
  jet::TableDefinition t = TwoColumnsThreeIndexes();
  t.real_indexes[0].columns = {{7, true}};  // the first index is the damaged one
  t.real_indexes[2].columns = {{1, true}};
  const std::vector<std::string> repairs = jet::compact::RepairDefinition(t);
  ASSERT_EQ(repairs.size(), 1u);
  ASSERT_EQ(t.real_indexes.size(), 2u);
  EXPECT_EQ(t.real_indexes[0].number, 0u);
  EXPECT_EQ(t.real_indexes[1].number, 1u);
  ASSERT_EQ(t.logical_indexes.size(), 2u);
  EXPECT_EQ(t.logical_indexes[0].name, "index 1");
  EXPECT_EQ(t.logical_indexes[0].real_index, 0);
  EXPECT_EQ(t.logical_indexes[1].real_index, 1);
}

TEST(DefinitionRepair, LimitsBelowWhatTheColumnsUseAreRaised) {
  jet::TableDefinition t = WithTextColumnsInSlots({});
  t.columns[1].number = 40;
  t.columns[1].var_index = 3;
  t.real_indexes[1].columns = {{40, true}};
  EXPECT_EQ(jet::compact::RepairDefinition(t).size(), 2u);
  EXPECT_EQ(t.max_columns, 41);
  EXPECT_EQ(t.var_slots, 4);
  EXPECT_EQ(t.real_indexes.size(), 2u);
}

TEST(DefinitionRepair, ALogicalIndexWithoutItsRealIndexIsLeftOut) {
  jet::TableDefinition t = TwoColumnsThreeIndexes();
  t.real_indexes.pop_back();
  t.logical_indexes[2].real_index = 9;
  EXPECT_EQ(jet::compact::RepairDefinition(t).size(), 1u);
  EXPECT_EQ(t.logical_indexes.size(), 2u);
}

TEST(DefinitionRepair, DefinitionsThatCannotBeMadeConsistentAreRefused) {
  const std::vector<std::pair<const char*, void (*)(jet::TableDefinition&)>> damages = {
      {"two columns share a number", [](jet::TableDefinition& t) { t.columns[1].number = 0; }},
      {"a fixed column lies past any row", [](jet::TableDefinition& t) { t.columns[0].fixed_offset = 60000; }},
      // Limits one past the highest number or slot would not fit their 16 bits.
      {"a column numbered 65535", [](jet::TableDefinition& t) { t.columns[1].number = 0xFFFF; }},
      {"a column in variable slot 65535", [](jet::TableDefinition& t) { t.columns[1].var_index = 0xFFFF; }},
      {"a shared slot at the last one", [](jet::TableDefinition& t) {
         t.columns[1].var_index = 0xFFFE;
         t.columns.push_back(t.columns[1]);
         t.columns.back().number = 2;
       }},
  };
  for (const auto& [what, damage] : damages) {
    SCOPED_TRACE(what);
    jet::TableDefinition t = TwoColumnsThreeIndexes();
    damage(t);
    EXPECT_THROW(jet::compact::RepairDefinition(t), vondrel::Error);
  }
}

TEST(DefinitionRepair, ColumnsSharingAVariableSlotKeepReadingItAndAreWrittenApart) {
  jet::TableDefinition t = WithTextColumnsInSlots({0, 0});  // Name's slot
  const std::vector<std::string> repairs = jet::compact::RepairDefinition(t);
  ASSERT_EQ(repairs.size(), 2u);
  EXPECT_NE(repairs[0].find("Name and Text2 both named variable slot 0"), std::string::npos) << repairs[0];
  EXPECT_NE(repairs[1].find("Name and Text3 both named variable slot 0"), std::string::npos) << repairs[1];
  for (std::size_t c = 1; c < 4; ++c) EXPECT_EQ(t.columns[c].var_index, 0u) << "read from the shared slot";

  jet::compact::ArrangeSlotsForWriting(t);
  EXPECT_EQ(t.columns[1].var_index, 0u);
  EXPECT_EQ(t.columns[2].var_index, 1u);
  EXPECT_EQ(t.columns[3].var_index, 2u);
  EXPECT_EQ(t.var_slots, 3u);
  EXPECT_TRUE(jet::compact::RepairDefinition(t).empty());
}

TEST(DefinitionRepair, SlotsPastWhatARowHoldsAreWrittenAfresh) {
  jet::TableDefinition t = WithTextColumnsInSlots({1024});  // damaged
  const std::vector<std::string> repairs = jet::compact::RepairDefinition(t);
  ASSERT_EQ(repairs.size(), 2u);
  EXPECT_NE(repairs[0].find("raised from 1 to 1025"), std::string::npos) << repairs[0];
  EXPECT_NE(repairs[1].find("more than a row holds"), std::string::npos) << repairs[1];
  EXPECT_EQ(t.columns[2].var_index, 1024u) << "read where it claims to be";

  jet::compact::ArrangeSlotsForWriting(t);
  EXPECT_EQ(t.columns[1].var_index, 0u);
  EXPECT_EQ(t.columns[2].var_index, 1u);
  EXPECT_EQ(t.var_slots, 2u);
}

TEST(DefinitionRepair, ATextColumnMarkedFixedOverAnotherIsReadAsVariable) {
  jet::TableDefinition t = WithTextColumnsInSlots({});
  t.columns[1].flags |= jet::column_flags::kFixed;  // Name now claims bytes 0..99, over Id
  const std::vector<std::string> repairs = jet::compact::RepairDefinition(t);
  ASSERT_EQ(repairs.size(), 1u);
  EXPECT_NE(repairs[0].find("Name"), std::string::npos) << repairs[0];
  EXPECT_FALSE(t.columns[1].IsFixed());
  EXPECT_EQ(t.columns[1].var_index, 0);
  EXPECT_TRUE(t.columns[0].IsFixed());
  EXPECT_EQ(t.columns[0].fixed_offset, 0);
  // Side by side, without overlap, a fixed text column is sound.
  jet::TableDefinition apart = WithTextColumnsInSlots({});
  apart.columns[1].flags |= jet::column_flags::kFixed;
  apart.columns[1].fixed_offset = 4;
  EXPECT_TRUE(jet::compact::RepairDefinition(apart).empty());
  EXPECT_TRUE(apart.columns[1].IsFixed());
}

TEST(DefinitionRepair, FixedColumnsSharingBytesWithoutATextOrBinaryOneAreRefused) {
  jet::TableDefinition t = TwoColumnsThreeIndexes();
  jet::ColumnDefinition count = t.columns[0];
  count.name = "Count";
  count.number = 2;
  count.fixed_offset = 2;  // bytes 2..5, over Id's 0..3
  t.columns.push_back(count);
  t.max_columns = 3;
  EXPECT_THROW(jet::compact::RepairDefinition(t), vondrel::Error);
  // A text column whose variable slot another column holds cannot be moved back either.
  jet::TableDefinition taken = TwoColumnsThreeIndexes();
  jet::ColumnDefinition other = taken.columns[1];
  other.name = "Other";
  other.number = 2;
  taken.columns.push_back(other);  // variable, slot 0
  taken.max_columns = 3;
  taken.columns[1].flags |= jet::column_flags::kFixed;
  EXPECT_THROW(jet::compact::RepairDefinition(taken), vondrel::Error);
}

}  // namespace
