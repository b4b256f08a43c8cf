// The checker over real files: healthy samples show no problems, stale row
// counts are notes, and damage put into a copy in memory is found with its
// table and page.

#include "jet/check/checker.h"

#include <gtest/gtest.h>

#include <random>

#include "jet/format/data_page_decode.h"
#include "jet/format/long_value_decode.h"
#include "support/samples.h"

namespace jet {
namespace {

using vondrel::testing::AllSamples;
using vondrel::testing::Sample;

std::string Describe(const CheckReport& report) {
  std::string text;
  for (const Finding& f : report.findings)
    text += (f.severity == Severity::Problem ? "problem " : "note ") + f.table + " page " + std::to_string(f.page) +
            ": " + f.message + "\n";
  return text;
}

bool HasProblemOnPage(const CheckReport& report, std::int64_t page) {
  for (const Finding& f : report.findings)
    if (f.severity == Severity::Problem && f.page == page) return true;
  return false;
}

TEST(CheckerSamples, HealthySamplesHaveNoProblems) {
  VONDREL_REQUIRE_SAMPLES();
  int checked = 0;
  for (const auto& path : AllSamples()) {
    std::unique_ptr<Database> database;
    try {
      database = Database::Open(path);
    } catch (const vondrel::Error&) {
      continue;  // refused files are covered by the reader tests
    }
    const CheckReport report = CheckDatabase(*database);
    EXPECT_FALSE(report.HasProblems()) << path.filename() << "\n" << Describe(report);
    ++checked;
  }
  EXPECT_GE(checked, 80);
}

TEST(CheckerSamples, StaleRowCountIsANoteNamingBothCounts) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet4_jackcess_testIndexCodes.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  const CheckReport report = CheckDatabase(*Database::Open(*path));
  EXPECT_FALSE(report.HasProblems()) << Describe(report);
  bool found = false;
  for (const Finding& f : report.findings)
    if (f.severity == Severity::Note && f.table == "Table1" && f.message.find("274") != std::string::npos &&
        f.message.find("275") != std::string::npos)
      found = true;
  EXPECT_TRUE(found) << Describe(report);
}

// A copy of a sample in memory, to damage.
struct Copy {
  std::vector<std::uint8_t> bytes;
  std::size_t page_size = 0;
  std::unique_ptr<Database> Open() const { return Database::FromBytes(bytes, "damaged.mdb"); }
  std::uint8_t* Page(std::uint32_t page) { return bytes.data() + page * page_size; }
};

std::optional<Copy> CopyOf(const std::string& name) {
  auto path = Sample(name);
  if (!path) return std::nullopt;
  Copy copy;
  copy.bytes = io::ReadWholeFile(*path);
  copy.page_size = Database::FromBytes(copy.bytes, name)->file().page_size();
  return copy;
}

// The first user table with rows, and one of its data pages.
std::pair<TableDefinition, std::uint32_t> UserTableWithRows(const Database& database) {
  for (const CatalogEntry& entry : database.Tables()) {
    if (entry.IsSystemObject()) continue;
    TableDefinition table = database.ReadTableDefinition(entry);
    auto pages = database.TableDataPages(table);
    if (!pages.empty() && table.row_count > 0) return {table, pages.front()};
  }
  return {};
}

TEST(CheckerDamage, ForeignPageTypeInAnOwnedMapIsAProblemOnThatPage) {
  VONDREL_REQUIRE_SAMPLES();
  auto copy = CopyOf("jet4_fcorpus_reviews.mdb");
  if (!copy) GTEST_SKIP() << "sample absent";
  std::uint32_t page = 0;
  {
    auto database = copy->Open();
    page = UserTableWithRows(*database).second;
  }
  ASSERT_NE(page, 0u);
  copy->Page(page)[0] = 0x04;  // now claims to be an index leaf
  const CheckReport report = CheckDatabase(*copy->Open());
  EXPECT_TRUE(HasProblemOnPage(report, page)) << Describe(report);
}

TEST(CheckerDamage, ADataPageOfTheTableMissingFromItsMapIsAProblemOnThatPage) {
  VONDREL_REQUIRE_SAMPLES();
  auto copy = CopyOf("jet4_fcorpus_reviews.mdb");
  if (!copy) GTEST_SKIP() << "sample absent";
  std::uint32_t page = 0;
  std::size_t map_at = 0;  // of the table's owned-pages map in the file
  {
    auto database = copy->Open();
    TableDefinition table;
    std::tie(table, page) = UserTableWithRows(*database);
    ASSERT_NE(page, 0u);
    const DataPage map_page(database->file().Page(table.owned_map.page), database->constants());
    map_at = table.owned_map.page * copy->page_size + (map_page.RawEntry(table.owned_map.row) & 0x1FFF);
  }
  // An inline map: type 0, its first page, then a bit for each page from there.
  const std::uint8_t* map = copy->bytes.data() + map_at;
  ASSERT_EQ(map[0], 0) << "needs an inline map";
  const std::uint32_t first = static_cast<std::uint32_t>(map[1] | (map[2] << 8) | (map[3] << 16) | (map[4] << 24));
  ASSERT_GE(page, first);
  copy->bytes[map_at + 5 + (page - first) / 8] &= static_cast<std::uint8_t>(~(1u << ((page - first) % 8)));

  const CheckReport report = CheckDatabase(*copy->Open());
  bool found = false;
  for (const Finding& f : report.findings)
    if (f.severity == Severity::Problem && f.page == page && f.message.find("map omits it") != std::string::npos)
      found = true;
  EXPECT_TRUE(found) << Describe(report);
}

TEST(CheckerDamage, OverlappingRowsAndWrongFreeSpaceAreProblems) {
  VONDREL_REQUIRE_SAMPLES();
  auto copy = CopyOf("jet3_jackcess_testV1997.mdb");
  if (!copy) GTEST_SKIP() << "sample absent";
  std::uint32_t page = 0;
  {
    auto database = copy->Open();
    page = UserTableWithRows(*database).second;
  }
  ASSERT_NE(page, 0u);
  std::uint8_t* bytes = copy->Page(page);
  // Row 1 now starts above row 0.
  const std::uint16_t row0 = static_cast<std::uint16_t>(bytes[10] | (bytes[11] << 8));
  ASSERT_GE(bytes[8], 2) << "needs two rows";
  const std::uint16_t moved = static_cast<std::uint16_t>((row0 & 0x1FFF) + 4);
  bytes[12] = static_cast<std::uint8_t>(moved);
  bytes[13] = static_cast<std::uint8_t>(moved >> 8);
  const CheckReport report = CheckDatabase(*copy->Open());
  EXPECT_TRUE(HasProblemOnPage(report, page)) << Describe(report);
}

TEST(CheckerDamage, BrokenLongValueIsAProblemAndReadersCanSkipIt) {
  VONDREL_REQUIRE_SAMPLES();
  auto copy = CopyOf("jet4_vb_jitin_images.mdb");
  if (!copy) GTEST_SKIP() << "sample absent";
  std::uint32_t lval_page = 0;
  std::string table_name;
  {
    auto database = copy->Open();
    for (const CatalogEntry& entry : database->Tables()) {
      if (entry.IsSystemObject() || lval_page) continue;
      const TableDefinition table = database->ReadTableDefinition(entry);
      ScanOptions raw;
      raw.assemble_long_values = false;
      database->ScanRows(table, [&](const Row& row) {
        for (std::size_t k = 0; k < row.fields.size(); ++k) {
          if (row.fields[k].is_null || !IsLongValueType(table.columns[k].type)) continue;
          const LongValueHeader header = DecodeLongValueHeader(row.fields[k].bytes);
          if (header.kind == LongValueKind::Inline) continue;
          lval_page = header.first_row.page;
          table_name = entry.name;
          return false;
        }
        return true;
      }, raw);
    }
  }
  ASSERT_NE(lval_page, 0u) << "no long value outside its row";
  copy->Page(lval_page)[4] = 'X';  // no longer an LVAL page
  auto database = copy->Open();
  const CheckReport report = CheckDatabase(*database);
  bool found = false;
  for (const Finding& f : report.findings)
    if (f.severity == Severity::Problem && f.table == table_name) found = true;
  EXPECT_TRUE(found) << Describe(report);

  // Wipe the page entirely: a reader asked to salvage gets the row with the
  // value marked damaged instead of an exception.
  std::fill_n(copy->Page(lval_page), copy->page_size, 0);
  auto wiped = copy->Open();
  const TableDefinition table = wiped->ReadTableDefinition(*wiped->FindTable(table_name));
  int damaged = 0, rows = 0;
  ScanOptions salvage;
  salvage.on_damaged_value = [&](RowPointer, const ColumnDefinition&, const vondrel::Error& error) {
    EXPECT_EQ(error.number(), 3049);
    ++damaged;
  };
  wiped->ScanRows(table, [&](const Row& row) {
    ++rows;
    for (const StoredField& field : row.fields)
      if (field.damaged) {
        EXPECT_TRUE(field.is_null);
      }
    return true;
  }, salvage);
  EXPECT_GT(damaged, 0);
  EXPECT_EQ(rows, static_cast<int>(table.row_count));
  EXPECT_THROW(wiped->ScanRows(table, [](const Row&) { return true; }), vondrel::Error);
}

// Random damage never crashes the reader or the checker: every outcome is a
// result or a vondrel::Error with a number.
TEST(CheckerDamage, RandomlyDamagedCopiesNeverCrash) {
  VONDREL_REQUIRE_SAMPLES();
  std::mt19937 random(20261208);
  for (const char* name : {"jet3_jackcess_testV1997.mdb", "jet4_jackcess_testV2000.mdb", "jet4_vb_jitin_images.mdb"}) {
    auto copy = CopyOf(name);
    if (!copy) continue;
    for (int round = 0; round < 60; ++round) {
      Copy damaged = *copy;
      const int kind = round % 4;
      if (kind == 0) {  // flip bytes anywhere after the header
        for (int k = 0; k < 40; ++k) damaged.bytes[copy->page_size + random() % (damaged.bytes.size() - copy->page_size)] ^= static_cast<std::uint8_t>(1 + random() % 255);
      } else if (kind == 1) {  // zero a page
        const std::uint32_t page = 1 + random() % (damaged.bytes.size() / copy->page_size - 1);
        std::fill_n(damaged.Page(page), copy->page_size, 0);
      } else if (kind == 2) {  // random bytes over a page
        const std::uint32_t page = 1 + random() % (damaged.bytes.size() / copy->page_size - 1);
        for (std::size_t k = 0; k < copy->page_size; ++k) damaged.Page(page)[k] = static_cast<std::uint8_t>(random());
      } else {  // truncate
        damaged.bytes.resize(random() % damaged.bytes.size());
      }
      try {
        auto database = damaged.Open();
        CheckDatabase(*database);
        for (const CatalogEntry& entry : database->Tables()) {
          try {
            database->ScanRows(database->ReadTableDefinition(entry), [](const Row&) { return true; });
          } catch (const vondrel::Error& error) {
            EXPECT_NE(error.number(), 0);
            EXPECT_FALSE(error.description().empty());
          }
        }
      } catch (const vondrel::Error& error) {
        EXPECT_NE(error.number(), 0);
        EXPECT_FALSE(error.description().empty());
      }
    }
  }
}

}  // namespace
}  // namespace jet
