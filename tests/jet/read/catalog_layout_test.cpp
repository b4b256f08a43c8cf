// The catalog layout the engine keeps for MSysObjects against the catalogs
// Access wrote: every sample stores the same columns and indexes, so a file
// whose page 2 was destroyed can be read through it and a written catalog
// looks like Access's own.

#include "jet/format/catalog_layout.h"

#include <gtest/gtest.h>

#include <set>

#include "jet/read/database.h"
#include "support/samples.h"

namespace jet {
namespace {

using vondrel::testing::AllSamples;

// Variable columns keep stray fixed offsets in some files, which nothing reads.
std::string ColumnsOf(const TableDefinition& t, std::uint8_t ignored_flags = 0) {
  std::string text;
  for (const ColumnDefinition& c : t.columns) {
    text += c.name + " type " + std::to_string(static_cast<int>(c.type)) + " number " + std::to_string(c.number) +
            " var " + std::to_string(c.var_index) + " flags " + std::to_string(c.flags & ~ignored_flags) + " offset " +
            std::to_string(c.IsFixed() ? c.fixed_offset : 0) + " length " + std::to_string(c.length) + "\n";
  }
  return text;
}

std::string IndexesOf(const TableDefinition& t) {
  std::set<std::string> indexes;  // files and the layout list them in different orders
  for (const LogicalIndexDefinition& logical : t.logical_indexes) {
    std::string text = logical.name + " number " + std::to_string(logical.number) + " type " +
                       std::to_string(static_cast<int>(logical.type)) + " keys";
    for (const RealIndexDefinition& real : t.real_indexes) {
      if (static_cast<std::int32_t>(real.number) != logical.real_index) continue;
      for (const IndexKeyColumn& key : real.columns) text += " " + std::to_string(key.column_number);
      text += " flags " + std::to_string(real.flags);
    }
    indexes.insert(text);
  }
  std::string text;
  for (const std::string& index : indexes) text += index + "\n";
  return text;
}

TEST(CatalogLayout, EverySampleStoresTheStandardCatalog) {
  VONDREL_REQUIRE_SAMPLES();
  int compared = 0;
  std::set<std::string> owner_without_sid;
  for (const auto& path : AllSamples()) {
    std::unique_ptr<Database> database;
    try {
      database = Database::Open(path);
    } catch (const vondrel::Error&) {
      continue;  // the refused samples are covered by DatabaseSamples
    }
    const TableDefinition& stored = database->catalog_definition();
    const TableDefinition standard = StandardCatalogDefinition(stored.version, database->header().code_page);
    const std::string name = path.filename().string();
    // Access 95 does not mark MSysObjects.Owner as a SID column.
    const ColumnDefinition* owner = stored.FindColumn(std::string("Owner"));
    const bool sid_missing = owner && (owner->flags & column_flags::kSid) == 0;
    if (sid_missing) owner_without_sid.insert(name);
    const std::uint8_t ignored = sid_missing ? column_flags::kSid : 0;
    EXPECT_EQ(ColumnsOf(stored, ignored), ColumnsOf(standard, ignored)) << name;
    EXPECT_EQ(IndexesOf(stored), IndexesOf(standard)) << name;
    EXPECT_EQ(stored.max_columns, standard.max_columns) << name;
    EXPECT_EQ(stored.var_slots, standard.var_slots) << name;
    EXPECT_EQ(stored.table_type, standard.table_type) << name;
    EXPECT_EQ(CatalogDefinitionFault(stored), std::nullopt) << name;
    ++compared;
  }
  EXPECT_GE(compared, 80);
  EXPECT_EQ(owner_without_sid, std::set<std::string>{"jet3_fcorpus_acc95.mdb"});
}

TEST(CatalogLayout, ADefinitionThatMisplacesAnObjectColumnIsFaulted) {
  for (const FormatVersion version : {FormatVersion::Jet3, FormatVersion::Jet4}) {
    const TableDefinition standard = StandardCatalogDefinition(version, 1252);
    EXPECT_EQ(CatalogDefinitionFault(standard), std::nullopt);
    const auto fault_after = [&](auto&& damage) {
      TableDefinition damaged = standard;
      damage(damaged);
      return CatalogDefinitionFault(damaged).value_or("");
    };
    const auto column = [](TableDefinition& t, std::uint16_t number) -> ColumnDefinition& { return t.columns[number]; };
    EXPECT_NE(fault_after([&](TableDefinition& t) { column(t, msys_objects::kParentId).name = "PcrentId"; })
                  .find("lacks the column ParentId"),
              std::string::npos);
    EXPECT_NE(fault_after([&](TableDefinition& t) { column(t, msys_objects::kName).var_index = 3; }).find("Name"),
              std::string::npos);
    EXPECT_NE(fault_after([&](TableDefinition& t) { column(t, msys_objects::kName).flags |= column_flags::kFixed; })
                  .find("Name"),
              std::string::npos);
    EXPECT_NE(fault_after([&](TableDefinition& t) { column(t, msys_objects::kType).fixed_offset = 9; }).find("Type"),
              std::string::npos);
    EXPECT_NE(fault_after([&](TableDefinition& t) { column(t, msys_objects::kId).type = ColumnType::Text; }).find("Id"),
              std::string::npos);
    EXPECT_NE(fault_after([&](TableDefinition& t) { column(t, msys_objects::kFlags).number = 20; }).find("Flags"),
              std::string::npos);
    // The columns past Flags are read for copying only; their damage is the copy's to mend.
    EXPECT_EQ(fault_after([&](TableDefinition& t) { column(t, 12).var_index = 30; }), "");
  }
}

TEST(CatalogLayout, ACatalogRowWithoutAnIdParentNameOrTypeIsNoObject) {
  const TableDefinition standard = StandardCatalogDefinition(FormatVersion::Jet4, 1252);
  std::vector<StoredField> fields(standard.columns.size());
  for (StoredField& field : fields) field.is_null = false;
  fields[msys_objects::kFlags].is_null = true;  // the other columns may be empty
  fields[msys_objects::kOwner].is_null = true;
  EXPECT_EQ(CatalogRowFault(standard, fields), std::nullopt);
  for (const std::uint16_t number : {msys_objects::kId, msys_objects::kParentId, msys_objects::kName, msys_objects::kType}) {
    std::vector<StoredField> missing = fields;
    missing[number].is_null = true;
    const std::string fault = CatalogRowFault(standard, missing).value_or("");
    EXPECT_NE(fault.find("no " + standard.columns[number].name + ","), std::string::npos) << fault;
  }
}

}  // namespace
}  // namespace jet
