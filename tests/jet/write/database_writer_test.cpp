// Databases built with the writing API, read back by our reader, mdbtools
// and our index checker.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "base/error.h"
#include "jet/check/checker.h"
#include "jet/check/index_check.h"
#include "jet/read/database.h"
#include "jet/write/database_writer.h"
#include "support/export_oracle.h"
#include "support/samples.h"

namespace {

using jet::ColumnType;
using jet::FormatVersion;
using jet::write::DatabaseWriter;
using jet::write::Value;
using vondrel::testing::ScratchDir;

jet::write::TableSpec People() {
  return {"People",
          {{"Id", ColumnType::Long, 0, true},
           {"Name", ColumnType::Text, 50},
           {"Born", ColumnType::DateTime},
           {"Notes", ColumnType::Memo},
           {"Ok", ColumnType::Boolean},
           {"Score", ColumnType::Double},
           {"Photo", ColumnType::OLE}},
          {{"PrimaryKey", {{"Id", true}}, true}, {"ByName", {{"Name", true}, {"Born", false}}}}};
}

std::string Notes(int i) { return i % 4 == 0 ? std::string() : std::string(static_cast<std::size_t>((i * 37) % 9000), static_cast<char>('a' + i % 26)); }

void BuildPeople(const std::filesystem::path& path, FormatVersion version, int rows) {
  jet::write::CreateOptions options;
  options.version = version;
  DatabaseWriter db(path, options);
  const auto people = db.AddTable(People());
  const auto empty = db.AddTable({"Empty", {{"A", ColumnType::Integer}, {"B", ColumnType::Text, 10}}, {}});
  (void)empty;
  db.BeginRows(people);
  for (int i = 0; i < rows; ++i) {
    std::vector<std::uint8_t> photo(static_cast<std::size_t>(i % 3 == 0 ? 5000 + i : i % 50), static_cast<std::uint8_t>(i));
    db.Insert({Value::Null(), Value::Text("Person " + std::to_string(i) + (i % 5 ? "" : " \xC3\xA9t\xC3\xA9")),
               Value::Date(40000.25 + i), i % 4 == 0 ? Value::Null() : Value::Text(Notes(i)), Value::Boolean(i % 2 == 1),
               Value::Double(i * 0.5), Value::Binary(photo)});
  }
  db.EndRows();
  db.Close();
}

class WrittenDatabase : public ::testing::TestWithParam<FormatVersion> {};

TEST_P(WrittenDatabase, ReaderSeesEveryRowAndValue) {
  ScratchDir dir;
  const auto path = dir / "people.mdb";
  BuildPeople(path, GetParam(), 700);
  const auto db = jet::Database::Open(path);
  EXPECT_EQ(db->version(), GetParam());
  const jet::CatalogEntry* entry = db->FindTable("People");
  ASSERT_NE(entry, nullptr);
  const jet::TableDefinition table = db->ReadTableDefinition(*entry);
  EXPECT_EQ(table.row_count, 700u);
  EXPECT_EQ(table.autonumber, 700u);
  int i = 0;
  db->ScanRows(table, [&](const jet::Row& row) {
    EXPECT_EQ(row.fields[0].bytes.U32(0), static_cast<std::uint32_t>(i + 1));
    const std::string notes = row.fields[3].is_null ? std::string() : db->DecodeText(std::span(row.fields[3].bytes.data(), row.fields[3].bytes.size()));
    EXPECT_EQ(row.fields[3].is_null, i % 4 == 0);
    EXPECT_EQ(notes, Notes(i)) << "row " << i;
    EXPECT_EQ(row.fields[4].bool_value, i % 2 == 1);
    const std::size_t photo = static_cast<std::size_t>(i % 3 == 0 ? 5000 + i : i % 50);
    EXPECT_EQ(row.fields[6].bytes.size(), photo);
    ++i;
    return true;
  });
  EXPECT_EQ(i, 700);
  EXPECT_NE(db->FindTable("Empty"), nullptr);
  EXPECT_NE(db->FindTable("MSysACEs"), nullptr);
}

TEST_P(WrittenDatabase, IndexesAndRowCountsCheckClean) {
  ScratchDir dir;
  const auto path = dir / "people.mdb";
  BuildPeople(path, GetParam(), 2000);
  const auto db = jet::Database::Open(path);
  std::uint64_t equal = 0;
  for (const jet::CatalogEntry& entry : db->Tables()) {
    SCOPED_TRACE(entry.name);
    const jet::TableDefinition table = db->ReadTableDefinition(entry);
    EXPECT_EQ(table.row_count, db->CountRows(table));
    const jet::IndexCheckResult check = jet::CheckTableIndexes(*db, table);
    for (const auto& f : check.findings) EXPECT_FALSE(f.problem) << f.message;
    equal += check.counts.equal;
  }
  // People has two indexes over 2000 rows; the catalog tables add theirs.
  EXPECT_GE(equal, 4000u);
  const jet::CheckReport report = jet::CheckDatabase(*db);
  EXPECT_EQ(report.ProblemCount(), 0u);
  for (const auto& f : report.findings) EXPECT_NE(f.severity, jet::Severity::Problem) << f.table << ": " << f.message;
}

TEST_P(WrittenDatabase, MdbToolsReadsTheSameRows) {
  ScratchDir dir;
  const auto path = dir / "people.mdb";
  BuildPeople(path, GetParam(), 300);
  const auto tables = vondrel::testing::MdbTables(path);
  EXPECT_NE(std::find(tables.begin(), tables.end(), "People"), tables.end());
  EXPECT_NE(std::find(tables.begin(), tables.end(), "MSysObjects"), tables.end());
  bool ok = false;
  const auto rows = vondrel::testing::MdbExportSorted(path, "People", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(rows.size(), 300u + 0);  // memo values here hold no line breaks
  EXPECT_EQ(vondrel::testing::MdbExportHeader(path, "People"), "Id,Name,Born,Notes,Ok,Score,Photo");
  const auto count = vondrel::testing::RunCommand("mdb-count " + vondrel::testing::ShellQuote(path.string()) + " People");
  EXPECT_EQ(count.output, "300\n");
}

INSTANTIATE_TEST_SUITE_P(Versions, WrittenDatabase, ::testing::Values(FormatVersion::Jet3, FormatVersion::Jet4),
                         [](const auto& info) { return info.param == FormatVersion::Jet3 ? "Jet3" : "Jet4"; });

TEST(DatabaseWriter, RefusesAnExistingFileWith3204AndLeavesItAlone) {
  ScratchDir dir;
  const auto path = dir / "there.mdb";
  { std::ofstream(path) << "keep"; }
  try {
    DatabaseWriter db(path, {});
    FAIL() << "no error";
  } catch (const vondrel::Error& e) {
    EXPECT_EQ(e.number(), 3204);
  }
  EXPECT_EQ(std::filesystem::file_size(path), 4u);
}

TEST(DatabaseWriter, AFailedWriteLeavesNoFile) {
  ScratchDir dir;
  const auto path = dir / "broken.mdb";
  {
    DatabaseWriter db(path, {});
    const auto t = db.AddTable({"T", {{"Name", ColumnType::Text, 5}}, {}});
    db.BeginRows(t);
    const jet::RowPointer first = db.Insert({Value::Text("ok")});
    EXPECT_GT(first.page, t);  // data pages follow the definitions
    EXPECT_EQ(first.row, 0);
    EXPECT_EQ(db.Insert({Value::Text("ok 2")}), (jet::RowPointer{first.page, 1}));
    EXPECT_THROW(db.Insert({Value::Text("far too long")}), std::invalid_argument);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(DatabaseWriter, LargeTablesSpillIntoReferenceUsageMaps) {
  ScratchDir dir;
  const auto path = dir / "big.mdb";
  {
    DatabaseWriter db(path, {});
    const auto t = db.AddTable({"Wide", {{"Id", ColumnType::Long}, {"Text", ColumnType::Text, 255}}, {{"Id", {{"Id", true}}, false, true}}});
    db.BeginRows(t);
    // About 7 rows per page: more pages than an inline map row of 64 bytes covers.
    for (int i = 0; i < 6000; ++i) db.Insert({Value::Long(i), Value::Text(std::string(250, static_cast<char>('A' + i % 26)) + "\xD0\x96")});
    db.EndRows();
    db.Close();
  }
  const auto db = jet::Database::Open(path);
  const jet::TableDefinition table = db->ReadTableDefinition(*db->FindTable("Wide"));
  EXPECT_EQ(db->CountRows(table), 6000u);
  EXPECT_GT(db->TableDataPages(table).size(), 600u);
  const auto check = jet::CheckTableIndexes(*db, table);
  for (const auto& f : check.findings) EXPECT_FALSE(f.problem) << f.message;
  bool ok = false;
  EXPECT_EQ(vondrel::testing::MdbExportSorted(path, "Wide", &ok).size(), 6000u);
  EXPECT_TRUE(ok);
}

}  // namespace

namespace {

std::vector<std::string> StoredColumnNames(const jet::TableDefinition& t) {
  std::vector<std::string> names;
  for (const std::uint16_t number : t.stored_column_order) names.push_back(t.FindColumn(number)->name);
  return names;
}

}  // namespace

// A new database's system tables store their column descriptors in the order
// Access stores them in its own files of the same version (by name).
TEST(DatabaseWriter, SystemTableDescriptorsFollowAccessOrder) {
  VONDREL_REQUIRE_SAMPLES();
  const std::pair<FormatVersion, const char*> cases[] = {{FormatVersion::Jet4, "jet4_northwind_2000_b.mdb"},
                                                         {FormatVersion::Jet3, "jet3_northwind_de_nwind.mdb"}};
  for (const auto& [version, sample] : cases) {
    SCOPED_TRACE(sample);
    const auto path = vondrel::testing::Sample(sample);
    if (!path) continue;
    ScratchDir dir;
    jet::write::CreateOptions options;
    options.version = version;
    {
      DatabaseWriter writer(dir / "new.mdb", options);
      writer.Close();
    }
    const auto ours = jet::Database::Open(dir / "new.mdb");
    const auto access = jet::Database::Open(*path);
    int compared = 0;
    for (const jet::CatalogEntry& entry : ours->Tables()) {
      SCOPED_TRACE(entry.name);
      const jet::CatalogEntry* theirs = access->FindTable(entry.name);
      if (!theirs) continue;
      const jet::TableDefinition a = ours->ReadTableDefinition(entry);
      const jet::TableDefinition b = access->ReadTableDefinition(*theirs);
      if (a.columns.size() != b.columns.size()) continue;  // Access versions differ in their columns
      EXPECT_EQ(StoredColumnNames(a), StoredColumnNames(b));
      ++compared;
    }
    EXPECT_GE(compared, 2);
  }
}
