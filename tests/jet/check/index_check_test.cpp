// The index check on damaged copies of Access-written files: each kind of
// damage is reported, and keys we cannot vouch for are notes, not problems.

#include "jet/check/index_check.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "jet/format/index_row_key.h"
#include "jet/io/page_file.h"
#include "jet/read/index_reader.h"
#include "support/samples.h"

namespace jet {
namespace {

struct Subject {
  std::vector<std::uint8_t> bytes;
  std::string table_name;
  std::size_t index_position = 0;
};

bool IndexesText(const TableDefinition& table, const RealIndexDefinition& index) {
  return std::any_of(index.columns.begin(), index.columns.end(), [&](const IndexKeyColumn& c) {
    const ColumnDefinition* column = table.FindColumn(c.column_number);
    return column && IsTextType(column->type);
  });
}

// The first table of the sample with an index of at least `min_entries`
// entries (on a text column when `text` is set).
std::optional<Subject> FindSubject(const std::string& sample, std::size_t min_entries, bool text = false) {
  const auto path = vondrel::testing::Sample(sample);
  if (!path) return std::nullopt;
  Subject subject;
  subject.bytes = io::ReadWholeFile(*path);
  const auto database = Database::FromBytes(subject.bytes, sample);
  for (const CatalogEntry& entry : database->Tables()) {
    const TableDefinition table = database->ReadTableDefinition(entry);
    for (std::size_t i = 0; i < table.real_indexes.size(); ++i) {
      if (text && !IndexesText(table, table.real_indexes[i])) continue;
      if (ReadIndexEntries(*database, table, table.real_indexes[i]).entries.size() >= min_entries) {
        subject.table_name = entry.name;
        subject.index_position = i;
        return subject;
      }
    }
  }
  return std::nullopt;
}

// Rewrites the leaf holding entry `n` of the subject's index after `change`.
template <typename Change>
std::vector<std::uint8_t> DamageEntry(const Subject& subject, std::size_t n, Change change) {
  const auto database = Database::FromBytes(subject.bytes, "copy");
  const TableDefinition table = database->ReadTableDefinition(*database->FindTable(subject.table_name));
  const IndexTreeWalk walk = ReadIndexEntries(*database, table, table.real_indexes[subject.index_position]);
  const std::uint32_t page_number = walk.entry_pages.at(n);
  const IndexPageLayout layout = IndexLayoutFor(database->version());
  const io::ByteView view = database->file().Page(page_number);
  IndexPage page = DecodeIndexPage(std::span(view.data(), view.size()), layout);
  const auto it = std::find(page.entries.begin(), page.entries.end(), walk.entries[n]);
  change(page, static_cast<std::size_t>(it - page.entries.begin()));
  const auto encoded = EncodeIndexPage(page, layout);
  std::vector<std::uint8_t> damaged = subject.bytes;
  std::copy(encoded.begin(), encoded.end(), damaged.begin() + page_number * layout.page_size);
  return damaged;
}

IndexCheckResult Check(const std::vector<std::uint8_t>& bytes, const Subject& subject) {
  const auto database = Database::FromBytes(bytes, "copy");
  const TableDefinition table = database->ReadTableDefinition(*database->FindTable(subject.table_name));
  return CheckTableIndexes(*database, table);
}

bool HasProblem(const IndexCheckResult& result, const std::string& text) {
  return std::any_of(result.findings.begin(), result.findings.end(), [&](const IndexFinding& f) {
    return f.problem && f.message.find(text) != std::string::npos;
  });
}

std::size_t Problems(const IndexCheckResult& result) {
  return std::count_if(result.findings.begin(), result.findings.end(),
                       [](const IndexFinding& f) { return f.problem; });
}

class IndexCheckDamage : public ::testing::TestWithParam<const char*> {};

TEST_P(IndexCheckDamage, EachDamageIsReported) {
  VONDREL_REQUIRE_SAMPLES();
  const auto subject = FindSubject(GetParam(), 20);
  ASSERT_TRUE(subject) << "no table with an index of 20 entries";

  const IndexCheckResult healthy = Check(subject->bytes, *subject);
  EXPECT_EQ(Problems(healthy), 0u);
  EXPECT_GE(healthy.counts.equal, 20u);
  EXPECT_EQ(healthy.counts.mismatched, 0u);

  const auto wrong_key = DamageEntry(*subject, 10, [](IndexPage& page, std::size_t i) {
    page.entries[i].key.back() ^= 0x01;
  });
  const IndexCheckResult wrong_key_result = Check(wrong_key, *subject);
  EXPECT_TRUE(HasProblem(wrong_key_result, "stored key of row"));
  EXPECT_GE(wrong_key_result.counts.mismatched, 1u);

  const auto missing = DamageEntry(*subject, 5, [](IndexPage& page, std::size_t i) {
    page.entries.erase(page.entries.begin() + static_cast<std::ptrdiff_t>(i));
  });
  EXPECT_TRUE(HasProblem(Check(missing, *subject), "have no entry"));

  const auto dangling = DamageEntry(*subject, 7, [](IndexPage& page, std::size_t i) {
    page.entries[i].row = 250;
  });
  const IndexCheckResult dangling_result = Check(dangling, *subject);
  EXPECT_TRUE(HasProblem(dangling_result, "not a live row"));
  EXPECT_TRUE(HasProblem(dangling_result, "have no entry"));

  const auto duplicated = DamageEntry(*subject, 3, [](IndexPage& page, std::size_t i) {
    page.entries.insert(page.entries.begin() + static_cast<std::ptrdiff_t>(i), page.entries[i]);
  });
  const IndexCheckResult duplicated_result = Check(duplicated, *subject);
  EXPECT_TRUE(HasProblem(duplicated_result, "out of order"));
  EXPECT_TRUE(HasProblem(duplicated_result, "more than one entry"));
}

INSTANTIATE_TEST_SUITE_P(Samples, IndexCheckDamage,
                         ::testing::Values("jet3_jackcess_compIndexTest.mdb", "jet4_jackcess_compIndexTest2003.mdb"));

TEST(IndexCheck, BrokenRootAndUncoveredCollation) {
  VONDREL_REQUIRE_SAMPLES();
  const auto subject = FindSubject("jet4_fcorpus_reviews.mdb", 20, true);
  ASSERT_TRUE(subject);
  const auto database = Database::FromBytes(subject->bytes, "copy");
  TableDefinition table = database->ReadTableDefinition(*database->FindTable(subject->table_name));

  TableDefinition bad_root = table;
  bad_root.real_indexes[subject->index_position].root_page = 2;  // the catalog's TDEF
  const IndexCheckResult root_result = CheckTableIndexes(*database, bad_root);
  EXPECT_TRUE(HasProblem(root_result, "not an index page"));
  EXPECT_TRUE(HasProblem(root_result, "have no entry"));

  TableDefinition other_collation = table;
  for (ColumnDefinition& column : other_collation.columns) {
    if (IsTextType(column.type)) column.sort_order = 0x041D;
  }
  const IndexCheckResult collation_result = CheckTableIndexes(*database, other_collation);
  EXPECT_EQ(Problems(collation_result), 0u);
  EXPECT_GT(collation_result.counts.not_covered, 0u);
  EXPECT_TRUE(std::any_of(collation_result.findings.begin(), collation_result.findings.end(),
                          [](const IndexFinding& f) { return !f.problem && f.message.find("cannot be verified") != std::string::npos; }));
}

}  // namespace
}  // namespace jet
