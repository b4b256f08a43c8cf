// The salvage expectations themselves: which rows a damaged page takes with
// it, and that the comparison notices a row that is missing or altered.
#include <algorithm>
#include <set>

#include <gtest/gtest.h>

#include "jet/read/database.h"
#include "support/damage.h"
#include "support/salvage_corpus.h"
#include "support/salvage_expectations.h"
#include "support/salvage_run.h"
#include "support/samples.h"

namespace vondrel::testing {
namespace {

constexpr int kOrders = 300;
constexpr std::uint64_t kCustomers = kOrders / 3;

struct Built {
  std::vector<std::uint8_t> bytes;
  OriginalContent content;
};

const Built& BuiltJet4() {
  static const Built built = [] {
    ScratchDir dir;
    BuildSalvageDatabase(dir / "orders.mdb", jet::FormatVersion::Jet4, kOrders);
    Built b{ReadFileBytes((dir / "orders.mdb").string()), {}};
    b.content = OriginalContent::Read(b.bytes, "orders.mdb");
    return b;
  }();
  return built;
}

const OriginalTable& TableNamed(const OriginalContent& content, const std::string& name) {
  for (const auto& table : content.tables()) {
    if (table.name == name) return table;
  }
  throw std::runtime_error("no table " + name);
}

std::uint64_t RequiredRowsOf(const SalvageExpectation& expectation, const std::string& name) {
  for (const auto& table : expectation.tables) {
    if (table.table->name != name) continue;
    return static_cast<std::uint64_t>(
        std::count_if(table.rows.begin(), table.rows.end(), [](const ExpectedRow& row) { return row.required; }));
  }
  return 0;
}

// Marks one stored row deleted, as Jet does: the flag bit of its offset entry.
std::vector<std::uint8_t> WithRowDeleted(const std::vector<std::uint8_t>& bytes, jet::RowPointer row) {
  std::vector<std::uint8_t> patched = bytes;
  const auto db = jet::Database::FromBytes(bytes, "patch");
  const auto& c = db->constants();
  patched[row.page * c.page_size + c.data_row_table_offset + 2 * row.row + 1] |= 0x80;
  return patched;
}

TEST(SalvageExpectations, UserTablesAndTheirRowsAreRead) {
  const OriginalContent& content = BuiltJet4().content;
  std::set<std::string> names;
  for (const auto& table : content.tables()) names.insert(table.name);
  EXPECT_EQ(names, (std::set<std::string>{"Customers", "Empty", "Orders"}));
  EXPECT_EQ(TableNamed(content, "Orders").rows.size(), static_cast<std::size_t>(kOrders));
  EXPECT_EQ(TableNamed(content, "Customers").rows.size(), kCustomers);
  EXPECT_EQ(content.row_count(), kOrders + kCustomers);
  // Long notes live on long-value pages, which the rows must name.
  const auto& orders = TableNamed(content, "Orders");
  EXPECT_TRUE(std::any_of(orders.rows.begin(), orders.rows.end(), [](const OriginalRow& row) {
    return std::any_of(row.long_values.begin(), row.long_values.end(),
                       [](const OriginalRow::LongValue& value) { return value.pages.size() > 1; });
  })) << "no memo spans several long-value pages";
}

TEST(SalvageExpectations, NoDamageRequiresEverything) {
  const SalvageExpectation expectation = BuiltJet4().content.Expect({});
  EXPECT_EQ(expectation.rows_required, kOrders + kCustomers);
  EXPECT_EQ(expectation.values_emptiable, 0u);
  EXPECT_FALSE(expectation.content_damaged);
  for (const auto& table : expectation.tables) EXPECT_TRUE(table.required) << table.table->name;
}

TEST(SalvageExpectations, ADamagedDataPageReleasesOnlyItsRows) {
  const OriginalContent& content = BuiltJet4().content;
  const auto& orders = TableNamed(content, "Orders");
  const std::uint32_t page = orders.rows[kOrders / 2].pages.front();
  const auto on_page = std::count_if(orders.rows.begin(), orders.rows.end(), [&](const OriginalRow& row) {
    return std::find(row.pages.begin(), row.pages.end(), page) != row.pages.end();
  });
  ASSERT_GT(on_page, 0);
  const SalvageExpectation expectation = content.Expect({page});
  EXPECT_TRUE(expectation.content_damaged);
  EXPECT_EQ(RequiredRowsOf(expectation, "Orders"), static_cast<std::uint64_t>(kOrders - on_page));
  EXPECT_EQ(RequiredRowsOf(expectation, "Customers"), kCustomers);
}

TEST(SalvageExpectations, ADamagedLongValuePageEmptiesOnlyItsValues) {
  const OriginalContent& content = BuiltJet4().content;
  const auto& orders = TableNamed(content, "Orders");
  std::uint32_t page = 0;
  for (const auto& row : orders.rows) {
    for (const auto& value : row.long_values) {
      if (!value.pages.empty()) page = value.pages.back();
    }
  }
  ASSERT_NE(page, 0u);
  const SalvageExpectation expectation = content.Expect({page});
  EXPECT_EQ(expectation.rows_required, kOrders + kCustomers);
  EXPECT_GT(expectation.values_emptiable, 0u);
  EXPECT_TRUE(expectation.content_damaged);
}

TEST(SalvageExpectations, ADamagedDefinitionOrCatalogLosesTheTable) {
  const OriginalContent& content = BuiltJet4().content;
  const auto& orders = TableNamed(content, "Orders");
  const SalvageExpectation definition = content.Expect({orders.definition_pages.front()});
  EXPECT_EQ(RequiredRowsOf(definition, "Orders"), 0u);
  EXPECT_EQ(RequiredRowsOf(definition, "Customers"), kCustomers);

  const SalvageExpectation catalog = content.Expect({jet::kCatalogTdefPage});
  EXPECT_TRUE(catalog.catalog_definition_damaged);
  EXPECT_EQ(catalog.rows_required, 0u);
}

TEST(SalvageExpectations, IndexAndUsageMapPagesAreNoLoss) {
  const Built& built = BuiltJet4();
  DamageGenerator generator(built.bytes);
  std::vector<std::uint32_t> pages = generator.PagesWithRole(PageRole::Index);
  for (auto page : generator.PagesWithRole(PageRole::UsageMap)) pages.push_back(page);
  ASSERT_FALSE(pages.empty());
  const SalvageExpectation expectation = built.content.Expect(pages);
  EXPECT_EQ(expectation.rows_required, kOrders + kCustomers);
  EXPECT_FALSE(expectation.content_damaged);
}

TEST(SalvageExpectations, ACleanCompactionKeepsEverything) {
  const Built& built = BuiltJet4();
  ScratchDir dir;
  ASSERT_TRUE(WriteFileBytes((dir / "source.mdb").string(), built.bytes));
  const CompactionRun run = CompactInChild(dir / "source.mdb", dir / "output.mdb", 120);
  ASSERT_EQ(run.kind, CompactionRun::Compacted) << run.Summary();
  const auto output = jet::Database::Open(dir / "output.mdb");
  const SalvageComparison comparison = CompareSalvage(built.content.Expect({}), *output);
  EXPECT_TRUE(comparison.RequirementsMet()) << Describe(comparison);
  EXPECT_TRUE(comparison.everything_kept) << Describe(comparison);
  EXPECT_EQ(comparison.rows_required_found, kOrders + kCustomers);
  EXPECT_EQ(comparison.rows_unmatched, 0u);
  EXPECT_FALSE(comparison.error_table);
}

TEST(SalvageExpectations, AMissingRowIsNoticed) {
  const Built& built = BuiltJet4();
  const auto db = jet::Database::FromBytes(built.bytes, "orders.mdb");
  const jet::TableDefinition orders = db->ReadTableDefinition(*db->FindTable("Orders"));
  jet::RowPointer victim;
  int seen = 0;
  db->ScanRows(orders, [&](const jet::Row& row) {
    victim = row.pointer;
    return ++seen < 10;
  });
  const auto damaged = jet::Database::FromBytes(WithRowDeleted(built.bytes, victim), "orders.mdb");
  const SalvageComparison comparison = CompareSalvage(built.content.Expect({}), *damaged);
  EXPECT_FALSE(comparison.RequirementsMet());
  EXPECT_FALSE(comparison.everything_kept);
  EXPECT_EQ(comparison.rows_required_found, kOrders + kCustomers - 1);
  ASSERT_FALSE(comparison.failures.empty());
  EXPECT_NE(comparison.failures.front().find("Orders"), std::string::npos) << comparison.failures.front();

  // The same row is no longer required once its page is damaged.
  const SalvageComparison excused = CompareSalvage(built.content.Expect({victim.page}), *damaged);
  EXPECT_TRUE(excused.RequirementsMet()) << Describe(excused);
}

TEST(SalvageExpectations, AnAlteredValueIsNoticed) {
  const Built& built = BuiltJet4();
  const auto db = jet::Database::FromBytes(built.bytes, "orders.mdb");
  const jet::TableDefinition customers = db->ReadTableDefinition(*db->FindTable("Customers"));
  // Flip one byte inside the Score (Double) of the first customer row.
  std::size_t offset = 0;
  db->ScanRows(customers, [&](const jet::Row& row) {
    const auto& score = row.fields[2];
    const std::uint8_t* page = db->file().Page(row.pointer.page).data();
    offset = row.pointer.page * db->constants().page_size + static_cast<std::size_t>(score.bytes.data() - page);
    return false;
  });
  std::vector<std::uint8_t> altered = built.bytes;
  altered[offset + 3] ^= 0x10;
  const auto output = jet::Database::FromBytes(altered, "orders.mdb");
  const SalvageComparison comparison = CompareSalvage(built.content.Expect({}), *output);
  EXPECT_EQ(comparison.rows_required_found, kOrders + kCustomers - 1);
  EXPECT_EQ(comparison.rows_unmatched, 1u);
}

}  // namespace
}  // namespace vondrel::testing
