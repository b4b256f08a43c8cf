#pragma once
// What a salvaging compaction must keep of a damaged database, and whether
// its output kept it.
//
// The original (undamaged) file is read once with the project's reader; each
// user table's live rows are remembered with the pages they depend on: the
// table's definition pages, the page of its catalog row, the row's slot page
// and overflow target, and the long-value pages of each memo/OLE value. Given
// the pages a damaged copy differs on, a row must survive when none of the
// pages it depends on is damaged; a memo/OLE value whose own long-value pages
// were damaged may come out empty, NULL or altered (damage inside the data of
// a long value cannot be told from the data). Usage maps and index pages are not
// dependencies: a salvage rebuilds both from the data pages. A damaged
// definition page of the catalog itself (page 2) leaves nothing required.
//
// Rows compare as multisets of field values by column name: text and memo as
// decoded text (the writer may store them compressed or not), every other
// type as its stored bytes, Booleans as their bit.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/read/database.h"

namespace vondrel::testing {

// One column value in comparison form.
using FieldKey = std::string;

struct OriginalRow {
  std::vector<FieldKey> fields;  // in the order of OriginalTable::columns
  std::vector<std::uint32_t> pages;  // slot page, overflow target
  std::vector<std::uint64_t> ends;   // for each of `pages`: the file offset just past the row's bytes there
  // For each memo/OLE field: the field index and the long-value pages it was read from.
  struct LongValue {
    std::size_t field = 0;
    std::vector<std::uint32_t> pages;
    bool unreadable = false;  // could not be assembled even in the original
  };
  std::vector<LongValue> long_values;
};

struct OriginalTable {
  std::string name;
  std::vector<std::string> columns;
  std::vector<std::uint32_t> definition_pages;  // in stream order
  std::vector<std::uint32_t> pages;  // definition pages, catalog row pages and page 2
  std::vector<OriginalRow> rows;
  std::uint64_t unreadable_rows = 0;  // rows the reader could not decode in the original
};

// One expected row of one table of a damaged copy.
struct ExpectedRow {
  const OriginalRow* row = nullptr;
  bool required = false;                 // every page it depends on is intact
  std::vector<std::size_t> emptiable;    // fields that may come out empty, NULL or altered
};

struct ExpectedTable {
  const OriginalTable* table = nullptr;
  bool required = false;  // definition and catalog row intact
  std::vector<ExpectedRow> rows;  // every original row, required or not
};

struct SalvageExpectation {
  std::vector<ExpectedTable> tables;
  std::uint64_t rows_required = 0;
  std::uint64_t rows_original = 0;
  std::uint64_t values_emptiable = 0;  // memo/OLE values of required rows that may be emptied
  bool catalog_definition_damaged = false;
  // Some page that holds content is damaged: the header, a table definition,
  // or a data page of any table (catalog, system tables and long values
  // included). Damage elsewhere (indexes, usage maps, free pages) loses nothing.
  bool content_damaged = false;
};

class OriginalContent {
 public:
  // Reads every user table of an undamaged file. Throws vondrel::Error when
  // the file cannot be opened at all.
  static OriginalContent Read(const std::vector<std::uint8_t>& bytes, const std::string& name);

  const std::vector<OriginalTable>& tables() const { return tables_; }
  std::uint64_t row_count() const;

  // What must survive when `damaged_pages` (sorted or not) are damaged.
  // With `file_length`, the file was cut there: a row whose bytes lie wholly
  // before the cut still must survive, though its page was cut.
  SalvageExpectation Expect(const std::vector<std::uint32_t>& damaged_pages,
                            std::optional<std::uint64_t> file_length = std::nullopt) const;

 private:
  std::vector<OriginalTable> tables_;
  std::vector<bool> content_pages_;  // see SalvageExpectation::content_damaged
};

// The outcome of holding a salvaged database against an expectation.
struct SalvageComparison {
  std::uint64_t rows_required = 0;
  std::uint64_t rows_required_found = 0;  // required rows present (damaged long values allowed where permitted)
  std::uint64_t values_emptied = 0;       // of those, rows whose damaged long values came out NULL or empty
  std::uint64_t values_altered = 0;       // of those, rows whose damaged long values came out otherwise
  std::uint64_t rows_optional_found = 0;  // rows from damaged pages that came out intact anyway
  std::uint64_t rows_unmatched = 0;       // output rows matching no original row (garbage or altered)
  std::uint64_t tables_required = 0;
  std::uint64_t tables_required_found = 0;
  // Every original table and row came out whole.
  bool everything_kept = false;
  // Something is missing that the salvage could see: a table, a value
  // emptied, or more original rows than the output has rows that match none
  // (an altered row, from bit flips in its data, looks sound to any reader).
  bool visible_loss = false;
  bool error_table = false;           // the output has MSysCompactError
  std::uint64_t error_table_rows = 0;
  // Human-readable reasons for failed requirements (capped), for test messages.
  std::vector<std::string> failures;

  bool RequirementsMet() const {
    return rows_required_found == rows_required && tables_required_found == tables_required && failures.empty();
  }
};

// Reads every table of the expectation from `output` (the salvaged
// database) and matches its rows. Reading errors in the output count as failures.
SalvageComparison CompareSalvage(const SalvageExpectation& expected, const jet::Database& output);

// Human-readable one-line summary of a comparison.
std::string Describe(const SalvageComparison& comparison);

}  // namespace vondrel::testing
