// The reader against every Access-written sample: each opens or fails with
// the right number, every table reads, and the recorded row counts agree
// with mdbtools.

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>

#include "jet/dao/dao.h"
#include "jet/read/database.h"
#include "support/property_blob.h"
#include "support/samples.h"

namespace jet {
namespace {

using vondrel::testing::AllSamples;
using vondrel::testing::DecodePropertyBlob;
using vondrel::testing::PropertyBlock;
using vondrel::testing::PropertyValue;
using vondrel::testing::RunCommand;
using vondrel::testing::Sample;
using vondrel::testing::ShellQuote;

// Samples that must be refused, with the number they must be refused with.
const std::map<std::string, int> kRefused = {
    {"jet4_mdbreader_V2000_with-password.mdb", 3031},
    {"jet4_ucanaccess_password.mdb", 3031},
    {"jet4_mimetype_truncated_8k.mdb", 3049},
};

TEST(DatabaseSamples, EverySampleOpensOrIsRefusedWithItsNumber) {
  VONDREL_REQUIRE_SAMPLES();
  int opened = 0;
  for (const auto& path : AllSamples()) {
    const std::string name = path.filename().string();
    const auto refused = kRefused.find(name);
    try {
      auto database = Database::Open(path);
      EXPECT_EQ(refused, kRefused.end()) << name << " opened but must be refused";
      EXPECT_FALSE(database->catalog().empty()) << name;
      EXPECT_FALSE(database->Tables().empty()) << name;
      ++opened;
    } catch (const vondrel::Error& error) {
      ASSERT_NE(refused, kRefused.end()) << name << ": " << error.description();
      EXPECT_EQ(error.number(), refused->second) << name << ": " << error.description();
      EXPECT_NE(error.description().find(name), std::string::npos) << error.description();
    }
  }
  EXPECT_GE(opened, 80);
}

// Reads every row of every table (memo/OLE values assembled) and compares the
// recorded row count with what mdb-count prints for the same table.
TEST(DatabaseSamples, EveryTableReadsAndRecordedCountsMatchMdbCount) {
  VONDREL_REQUIRE_SAMPLES();
  const bool have_mdb_count = RunCommand("command -v mdb-count >/dev/null").status == 0;
  int tables = 0;
  for (const auto& path : AllSamples()) {
    if (kRefused.count(path.filename().string())) continue;
    auto database = Database::Open(path);
    for (const auto& entry : database->Tables()) {
      SCOPED_TRACE(path.filename().string() + " / " + entry.name);
      TableDefinition table;
      ASSERT_NO_THROW(table = database->ReadTableDefinition(entry));
      std::uint64_t rows = 0;
      ASSERT_NO_THROW(database->ScanRows(table, [&](const Row& row) {
        EXPECT_EQ(row.fields.size(), table.columns.size());
        ++rows;
        return true;
      }));
      ++tables;
      if (!have_mdb_count) continue;
      const auto result = RunCommand("mdb-count " + ShellQuote(path.string()) + " " + ShellQuote(entry.name) +
                                     " 2>/dev/null");
      if (result.status != 0) continue;
      EXPECT_EQ(std::to_string(table.row_count) + "\n", result.output);
    }
  }
  EXPECT_GE(tables, 1000);
}

// Live rows equal the recorded count except where Access left a stale count
// (measured on these files; mdb-reader and mdb-export see the same rows).
TEST(DatabaseSamples, LiveRowsEqualRecordedCountsExceptKnownStaleOnes) {
  VONDREL_REQUIRE_SAMPLES();
  const std::set<std::pair<std::string, std::string>> stale = {
      {"jet4_app_RoboExclusao.mdb", "MSysAccessObjects"},
      {"jet4_jackcess_queryTest2000.mdb", "MSysQueries"},
      {"jet4_jackcess_testIndexCodes.mdb", "MSysACEs"},
      {"jet4_jackcess_testIndexCodes.mdb", "Table1"},
      {"jet4_jackcess_testV2000.mdb", "MSysACEs"},
  };
  for (const auto& path : AllSamples()) {
    const std::string name = path.filename().string();
    if (kRefused.count(name)) continue;
    auto database = Database::Open(path);
    for (const auto& entry : database->Tables()) {
      const TableDefinition table = database->ReadTableDefinition(entry);
      const std::uint64_t live = database->CountRows(table);
      if (stale.count({name, entry.name}))
        EXPECT_NE(live, table.row_count) << name << " / " << entry.name;
      else
        EXPECT_EQ(live, table.row_count) << name << " / " << entry.name;
    }
  }
}

TEST(DatabaseSamples, StaleCountSampleHoldsOneRowMoreThanRecorded) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet4_jackcess_testIndexCodes.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  auto database = Database::Open(*path);
  const CatalogEntry* entry = database->FindTable("table1");
  ASSERT_NE(entry, nullptr);
  const TableDefinition table = database->ReadTableDefinition(*entry);
  EXPECT_EQ(table.row_count, 274u);
  EXPECT_EQ(database->CountRows(table), 275u);
}

TEST(DatabaseSamples, EncodedDatabaseDecryptsAndReads) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet4_jackcessencrypt_db-enc.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  auto database = Database::Open(*path);
  EXPECT_NE(database->header().database_key, 0u);
  EXPECT_TRUE(database->file().encrypted());
  int user_tables = 0;
  for (const auto& entry : database->Tables()) {
    if (entry.IsSystemObject()) continue;
    ++user_tables;
    const TableDefinition table = database->ReadTableDefinition(entry);
    EXPECT_EQ(database->CountRows(table), 2u) << entry.name;
  }
  EXPECT_EQ(user_tables, 1);
}

TEST(DatabaseSamples, HeaderFactsOfJet3AndJet4Files) {
  VONDREL_REQUIRE_SAMPLES();
  auto jet3 = Sample("jet3_jackcess_testV1997.mdb");
  auto jet4 = Sample("jet4_jackcess_testV2000.mdb");
  if (!jet3 || !jet4) GTEST_SKIP() << "samples absent";
  auto old_file = Database::Open(*jet3);
  EXPECT_EQ(old_file->version(), FormatVersion::Jet3);
  EXPECT_EQ(old_file->file().page_size(), 2048u);
  EXPECT_EQ(old_file->header().sort_order, 1033);
  EXPECT_EQ(old_file->header().code_page, 1252);
  EXPECT_FALSE(old_file->header().has_password);
  auto new_file = Database::Open(*jet4);
  EXPECT_EQ(new_file->version(), FormatVersion::Jet4);
  EXPECT_EQ(new_file->file().page_size(), 4096u);
  EXPECT_EQ(new_file->header().sort_order, 1033);
  EXPECT_GT(new_file->header().creation_date, 30000.0);  // after 1982
}

// The "GBK" sample records code page 1252 in its header: its Chinese bytes
// were stored by a program that ignored the code page, so they read as 1252
// characters, as mdbtools reads them too.
TEST(DatabaseSamples, TextOfTheGbkSampleDecodesInTheRecordedCodePage) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet3_ucanaccess_charsetGBK.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  auto database = Database::Open(*path);
  EXPECT_EQ(database->header().code_page, 1252);
  const CatalogEntry* entry = database->FindTable("table1");
  ASSERT_NE(entry, nullptr);
  const TableDefinition table = database->ReadTableDefinition(*entry);
  std::vector<std::string> texts;
  database->ScanRows(table, [&](const Row& row) {
    const StoredField& field = row.fields[1];
    texts.push_back(database->DecodeText(std::span(field.bytes.data(), field.bytes.size())));
    return true;
  });
  EXPECT_EQ(texts, std::vector<std::string>{"GBK\u00B1\u00E0\u00C2\u00EB"});
}

TEST(DaoSamples, TableDefsCountItemsAndRefusesOutOfRange) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet4_northwind_2000_b.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  dao::DBEngine engine;
  auto database = engine.OpenDatabase(*path);
  const dao::TableDefCollection defs = database->TableDefs();
  ASSERT_GT(defs.Count(), 10);
  std::string previous;
  for (int k = 0; k < defs.Count(); ++k) {
    const dao::TableDef def = defs.Item(k);
    EXPECT_FALSE(def.Fields().empty()) << def.Name();
    // Documented order: by name, case-insensitive.
    std::string lowered;
    for (unsigned char c : def.Name()) lowered.push_back(static_cast<char>(std::tolower(c)));
    EXPECT_LE(previous, lowered);
    previous = lowered;
  }
  const dao::TableDef customers = defs.Item("customers");
  EXPECT_EQ(customers.Name(), "Customers");
  EXPECT_FALSE(customers.Indexes().empty());
  for (int bad : {-1, defs.Count()}) {
    try {
      defs.Item(bad);
      ADD_FAILURE() << "no error for " << bad;
    } catch (const vondrel::Error& error) {
      EXPECT_EQ(error.number(), 3265);
    }
  }
  database->Close();
  EXPECT_THROW(database->TableDefs(), vondrel::Error);
  database->Close();  // twice is harmless
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

// The AccessVersion property of MSysDb, from its property blob.
std::string AccessVersionOf(const Database& database) {
  const TableDefinition objects = database.ReadTableDefinition(kCatalogTdefPage);
  const ColumnDefinition* name = objects.FindColumn(std::string("Name"));
  const ColumnDefinition* props = objects.FindColumn(std::string("LvProp"));
  if (!name || !props) return "";
  std::string version;
  database.ScanRows(objects, [&](const Row& row) {
    const StoredField* name_field = nullptr;
    const StoredField* props_field = nullptr;
    for (std::size_t k = 0; k < objects.columns.size(); ++k) {
      if (objects.columns[k].number == name->number) name_field = &row.fields[k];
      if (objects.columns[k].number == props->number) props_field = &row.fields[k];
    }
    if (name_field->is_null || props_field->is_null) return true;
    if (database.DecodeText(std::span(name_field->bytes.data(), name_field->bytes.size())) != "MSysDb") return true;
    for (const PropertyBlock& block : DecodePropertyBlob(props_field->bytes, database.version(), database.header().code_page))
      for (const PropertyValue& value : block.values)
        if (value.name == "AccessVersion") version = database.DecodeText(value.data);
    return false;
  });
  return version;
}

TEST(DatabaseSamples, PropertyBlobsGiveTheAccessVersion) {
  VONDREL_REQUIRE_SAMPLES();
  auto jet3 = Sample("jet3_northwind_de_nwind.mdb");
  auto jet4 = Sample("jet4_northwind_2000_b.mdb");
  if (!jet3 || !jet4) GTEST_SKIP() << "samples absent";
  EXPECT_EQ(AccessVersionOf(*Database::Open(*jet3)), "07.53");
  const std::string version = AccessVersionOf(*Database::Open(*jet4));
  EXPECT_TRUE(version == "08.50" || version == "09.50") << version;
}

}  // namespace
}  // namespace jet
