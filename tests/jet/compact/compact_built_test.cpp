// Compaction of databases the tests build: deleted rows and dropped tables
// disappear, rows come out in primary-key order, AutoNumber and row counts
// are recomputed, and the destination rules hold.

#include <gtest/gtest.h>

#include <fstream>

#include "base/error.h"
#include "jet/check/index_check.h"
#include "jet/compact/compactor.h"
#include "jet/dao/dao.h"
#include "jet/io/page_file.h"
#include "jet/read/database.h"
#include "jet/write/database_writer.h"
#include "support/export_oracle.h"
#include "support/samples.h"

namespace {

using jet::ColumnType;
using jet::write::DatabaseWriter;
using jet::write::Value;
using vondrel::testing::ScratchDir;

jet::write::TableSpec KeepSpec() {
  return {"Keep",
          {{"Id", ColumnType::Long, 0, true}, {"Name", ColumnType::Text, 40}, {"Memo", ColumnType::Memo}},
          {{"PrimaryKey", {{"Id", true}}, true}, {"Name", {{"Name", true}}}}};
}

// Keep holds ids 1..n inserted in a scrambled order; Drop is a second table.
void Build(const std::filesystem::path& path, int n, bool with_drop, const std::function<bool(int)>& keep_id) {
  DatabaseWriter db(path, {});
  const auto keep = db.AddTable(KeepSpec());
  const auto drop = with_drop ? db.AddTable({"Drop", {{"X", ColumnType::Long}, {"Blob", ColumnType::OLE}}, {}}) : 0;
  db.BeginRows(keep);
  for (int k = 0; k < n; ++k) {
    const int id = 1 + (k * 7919) % n;  // n is prime to 7919: every id once
    if (!keep_id(id)) continue;
    db.Insert({Value::Long(id), Value::Text("name " + std::to_string(id)),
               Value::Text(std::string(static_cast<std::size_t>(id % 700), 'm'))});
  }
  db.EndRows();
  if (with_drop) {
    db.BeginRows(drop);
    for (int k = 0; k < 1500; ++k) db.Insert({Value::Long(k), Value::Binary(std::vector<std::uint8_t>(3000, 7))});
    db.EndRows();
  }
  db.Close();
}

// Marks rows deleted and the catalog row of a table dropped, as Jet leaves
// them: the bytes stay, the row-offset entries carry the deleted flag.
void DeleteInPlace(const std::filesystem::path& path, const std::function<bool(int)>& keep_id, const std::string& dropped) {
  std::vector<std::uint8_t> bytes = jet::io::ReadWholeFile(path);
  const auto db = jet::Database::FromBytes(bytes, "patch");
  const auto& c = db->constants();
  auto mark = [&](jet::RowPointer p) {
    const std::size_t at = p.page * c.page_size + c.data_row_table_offset + 2 * p.row;
    bytes[at + 1] |= 0x80;
  };
  const jet::TableDefinition keep = db->ReadTableDefinition(*db->FindTable("Keep"));
  db->ScanRows(keep, [&](const jet::Row& row) {
    if (!keep_id(static_cast<int>(row.fields[0].bytes.U32(0)))) mark(row.pointer);
    return true;
  });
  mark(db->FindTable(dropped)->row);
  std::filesystem::remove(path);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(CompactBuilt, DeletedRowsAndDroppedTablesShrinkToTheLiveData) {
  ScratchDir dir;
  const int n = 5003;
  const auto live = [](int id) { return id % 3 == 0 || id > 4900; };
  const auto source = dir / "source.mdb";
  Build(source, n, true, [](int) { return true; });
  DeleteInPlace(source, live, "Drop");
  const auto output = dir / "output.mdb";
  const auto stats = jet::compact::CompactDatabase(source, output);

  // The same live data written directly: what compaction should come to.
  const auto fresh = dir / "fresh.mdb";
  Build(fresh, n, false, live);
  const auto pages = [](const std::filesystem::path& p) { return std::filesystem::file_size(p) / 4096; };
  EXPECT_LT(pages(output) * 3, pages(source));
  EXPECT_LE(pages(output), pages(fresh) + 2) << "output " << pages(output) << " pages, live data " << pages(fresh);
  EXPECT_EQ(stats.destination_pages, pages(output));

  const auto db = jet::Database::Open(output);
  EXPECT_EQ(db->FindTable("Drop"), nullptr);
  const jet::TableDefinition keep = db->ReadTableDefinition(*db->FindTable("Keep"));
  int expected = 0;
  for (int id = 1; id <= n; ++id) expected += live(id);
  EXPECT_EQ(keep.row_count, static_cast<std::uint32_t>(expected));
  EXPECT_EQ(keep.autonumber, static_cast<std::uint32_t>(n));
  // Rows are stored in primary-key order.
  std::int64_t previous = 0;
  db->ScanRows(keep, [&](const jet::Row& row) {
    const std::int64_t id = row.fields[0].bytes.I32(0);
    EXPECT_GT(id, previous);
    EXPECT_TRUE(live(static_cast<int>(id)));
    previous = id;
    return true;
  });
  const auto check = jet::CheckTableIndexes(*db, keep);
  for (const auto& f : check.findings) EXPECT_FALSE(f.problem) << f.message;
  EXPECT_EQ(check.counts.equal, 2u * static_cast<std::uint64_t>(expected));
  bool ok = false;
  EXPECT_EQ(vondrel::testing::MdbExportSorted(output, "Keep", &ok), vondrel::testing::MdbExportSorted(fresh, "Keep"));
  EXPECT_TRUE(ok);
}

TEST(CompactBuilt, AutoNumberFollowsTheLargestRemainingValue) {
  ScratchDir dir;
  const auto source = dir / "source.mdb";
  Build(source, 101, true, [](int) { return true; });
  DeleteInPlace(source, [](int id) { return id <= 60; }, "Drop");
  const auto output = dir / "output.mdb";
  jet::compact::CompactDatabase(source, output);
  const auto db = jet::Database::Open(output);
  EXPECT_EQ(db->ReadTableDefinition(*db->FindTable("Keep")).autonumber, 60u);
}

TEST(CompactBuilt, DestinationMustNotExistAndFailuresLeaveNothing) {
  ScratchDir dir;
  const auto source = dir / "source.mdb";
  Build(source, 11, false, [](int) { return true; });
  const auto taken = dir / "taken.mdb";
  { std::ofstream(taken) << "x"; }
  try {
    jet::compact::CompactDatabase(source, taken);
    FAIL();
  } catch (const vondrel::Error& e) {
    EXPECT_EQ(e.number(), 3204);
  }
  EXPECT_EQ(std::filesystem::file_size(taken), 1u);

  // A source that is not a database: an error, and no destination.
  const auto junk = dir / "junk.mdb";
  { std::ofstream(junk) << std::string(8192, 'j'); }
  const auto out = dir / "out.mdb";
  EXPECT_THROW(jet::compact::CompactDatabase(junk, out), vondrel::Error);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_THROW(jet::compact::CompactDatabase(dir / "missing.mdb", out), vondrel::Error);
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(CompactBuilt, DaoFacadeCompactsAndTheResultOpens) {
  ScratchDir dir;
  const auto source = dir / "source.mdb";
  Build(source, 97, true, [](int) { return true; });
  const auto output = dir / "output.mdb";
  jet::dao::DBEngine engine;
  engine.CompactDatabase(source, output);
  auto db = engine.OpenDatabase(output);
  auto defs = db->TableDefs();
  EXPECT_EQ(defs.Count(), 6);
  EXPECT_NO_THROW(defs.Item(1));
  db->Close();
  // Compacting the output again gives the same bytes.
  const auto again = dir / "again.mdb";
  engine.CompactDatabase(output, again);
  EXPECT_EQ(vondrel::testing::RunCommand("cmp -s " + vondrel::testing::ShellQuote(output.string()) + " " +
                                         vondrel::testing::ShellQuote(again.string())).status, 0);
}

}  // namespace
