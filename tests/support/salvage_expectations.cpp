#include "support/salvage_expectations.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "base/error.h"
#include "jet/format/data_page_decode.h"
#include "jet/format/long_value_decode.h"

namespace vondrel::testing {
namespace {

constexpr const char kErrorTableName[] = "MSysCompactError";
constexpr std::size_t kMaxFailures = 12;

bool IsUserTable(const jet::CatalogEntry& entry) {
  if (entry.IsSystemObject()) return false;
  return entry.name.size() < 4 || entry.name.compare(0, 4, "MSys") != 0;
}

FieldKey NullKey() { return "N"; }
FieldKey EmptyKey(jet::ColumnType type) { return jet::IsTextType(type) ? "S" : "B"; }

FieldKey KeyOf(const jet::Database& db, const jet::ColumnDefinition& column, const jet::StoredField& field,
               const std::vector<std::uint8_t>* assembled) {
  if (column.type == jet::ColumnType::Boolean) return field.bool_value ? "T" : "F";
  if (field.is_null) return NullKey();
  std::span<const std::uint8_t> bytes(field.bytes.data(), field.bytes.size());
  if (assembled) bytes = std::span<const std::uint8_t>(assembled->data(), assembled->size());
  if (jet::IsTextType(column.type)) return "S" + db.DecodeText(bytes);
  return "B" + std::string(bytes.begin(), bytes.end());
}

// Field count and lengths first, so that joined keys cannot collide.
std::string RowKey(const std::vector<FieldKey>& fields) {
  std::string key;
  for (const auto& field : fields) {
    key += std::to_string(field.size());
    key += ':';
    key += field;
  }
  return key;
}

bool AnyDamaged(const std::vector<std::uint32_t>& pages, const std::set<std::uint32_t>& damaged) {
  return std::any_of(pages.begin(), pages.end(), [&](std::uint32_t p) { return damaged.count(p) != 0; });
}

// Where each catalog row was listed, for catalog rows moved to another page.
std::map<jet::RowPointer, jet::RowPointer> CatalogSlots(const jet::Database& db) {
  std::map<jet::RowPointer, jet::RowPointer> slots;
  jet::ScanOptions options;
  options.assemble_long_values = false;
  options.on_damaged_row = [](jet::RowPointer, const vondrel::Error&) {};
  jet::TableDefinition catalog = db.ReadTableDefinition(jet::kCatalogTdefPage);
  db.ScanRows(
      catalog,
      [&](const jet::Row& row) {
        slots[row.pointer] = row.listed_at;
        return true;
      },
      options);
  return slots;
}

OriginalTable ReadTable(const jet::Database& db, const jet::CatalogEntry& entry,
                        const std::map<jet::RowPointer, jet::RowPointer>& catalog_slots) {
  OriginalTable table;
  table.name = entry.name;
  const jet::TableDefinition definition = db.ReadTableDefinition(entry);
  for (const auto& column : definition.columns) table.columns.push_back(column.name);
  table.definition_pages = definition.pages;
  table.pages = definition.pages;
  table.pages.push_back(entry.row.page);
  if (auto slot = catalog_slots.find(entry.row); slot != catalog_slots.end()) table.pages.push_back(slot->second.page);
  table.pages.push_back(jet::kCatalogTdefPage);

  jet::ScanOptions options;
  options.assemble_long_values = false;
  options.on_damaged_row = [&](jet::RowPointer, const vondrel::Error&) { ++table.unreadable_rows; };
  std::vector<std::uint8_t> assembled;
  const std::size_t max_length = db.file().file_size();
  db.ScanRows(
      definition,
      [&](const jet::Row& row) {
        OriginalRow original;
        original.pages = {row.listed_at.page};
        if (row.pointer.page != row.listed_at.page) original.pages.push_back(row.pointer.page);
        const std::size_t page_size = db.constants().page_size;
        for (const jet::RowPointer at : {row.listed_at, row.pointer}) {
          if (original.ends.size() == original.pages.size()) break;
          const jet::DataPage page(db.file().Page(at.page), db.constants());
          original.ends.push_back(std::uint64_t{at.page} * page_size + page.Slot(at.row).end);
        }
        for (std::size_t i = 0; i < definition.columns.size(); ++i) {
          const auto& column = definition.columns[i];
          const auto& field = row.fields[i];
          if (!jet::IsLongValueType(column.type) || field.is_null) {
            original.fields.push_back(KeyOf(db, column, field, nullptr));
            continue;
          }
          OriginalRow::LongValue value;
          value.field = i;
          try {
            jet::AssembleLongValue(
                field.bytes,
                [&](jet::RowPointer pointer) {
                  value.pages.push_back(pointer.page);
                  return db.RowBytes(pointer);
                },
                max_length, assembled);
            original.fields.push_back(KeyOf(db, column, field, &assembled));
          } catch (const vondrel::Error&) {
            value.unreadable = true;
            original.fields.push_back(EmptyKey(column.type));
          }
          std::sort(value.pages.begin(), value.pages.end());
          value.pages.erase(std::unique(value.pages.begin(), value.pages.end()), value.pages.end());
          original.long_values.push_back(std::move(value));
        }
        table.rows.push_back(std::move(original));
        return true;
      },
      options);
  return table;
}

// The output's rows of one table, as a multiset of row keys, its columns
// reordered to the original's.
struct OutputRows {
  std::unordered_map<std::string, std::uint64_t> counts;
  std::vector<std::vector<FieldKey>> rows;
  // For each set of fields left out of the comparison: the key of the other
  // fields -> the full keys of the output rows that have them.
  std::map<std::vector<std::size_t>, std::unordered_multimap<std::string, std::size_t>> masked;

  bool Take(const std::string& key) {
    auto found = counts.find(key);
    if (found == counts.end() || found->second == 0) return false;
    --found->second;
    return true;
  }
  // Takes a row equal to `fields` in every field but those in `ignored`;
  // returns it, or null.
  const std::vector<FieldKey>* TakeIgnoring(const std::vector<FieldKey>& fields, const std::vector<std::size_t>& ignored) {
    auto index = masked.find(ignored);
    if (index == masked.end()) {
      index = masked.emplace(ignored, std::unordered_multimap<std::string, std::size_t>{}).first;
      for (std::size_t i = 0; i < rows.size(); ++i) index->second.emplace(RowKey(Masked(rows[i], ignored)), i);
    }
    auto [begin, end] = index->second.equal_range(RowKey(Masked(fields, ignored)));
    for (auto it = begin; it != end; ++it) {
      if (Take(RowKey(rows[it->second]))) return &rows[it->second];
    }
    return nullptr;
  }
  static std::vector<FieldKey> Masked(std::vector<FieldKey> fields, const std::vector<std::size_t>& ignored) {
    for (std::size_t i : ignored) fields[i] = "*";
    return fields;
  }
};

// A missing column is a failure only for a `required` table: the definition
// of another may have been lost and rebuilt differently.
OutputRows ReadOutputRows(const jet::Database& output, const jet::CatalogEntry& entry, const OriginalTable& original,
                          bool required, std::vector<std::string>& failures) {
  OutputRows rows;
  const jet::TableDefinition definition = output.ReadTableDefinition(entry);
  std::vector<std::optional<std::size_t>> position(original.columns.size());
  for (std::size_t i = 0; i < original.columns.size(); ++i) {
    for (std::size_t j = 0; j < definition.columns.size(); ++j) {
      if (definition.columns[j].name == original.columns[i]) position[i] = j;
    }
    if (!position[i] && required) failures.push_back(original.name + ": column " + original.columns[i] + " is missing");
  }
  jet::ScanOptions options;
  options.on_damaged_row = [&](jet::RowPointer at, const vondrel::Error& error) {
    failures.push_back(original.name + ": output row on page " + std::to_string(at.page) +
                       " cannot be read: " + error.description());
  };
  options.on_damaged_value = [&](jet::RowPointer at, const jet::ColumnDefinition& column, const vondrel::Error&) {
    failures.push_back(original.name + ": output value " + column.name + " on page " + std::to_string(at.page) +
                       " cannot be read");
  };
  std::vector<FieldKey> fields(original.columns.size());
  output.ScanRows(
      definition,
      [&](const jet::Row& row) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
          fields[i] = position[i] ? KeyOf(output, definition.columns[*position[i]], row.fields[*position[i]], nullptr)
                                  : NullKey();
        }
        ++rows.counts[RowKey(fields)];
        rows.rows.push_back(fields);
        return true;
      },
      options);
  return rows;
}

enum class Match { None, Exact, Altered, Emptied };

// Takes one output row matching `expected`, exactly or else with its
// emptiable values left out of the comparison (a damaged long-value page may
// leave such a value NULL, empty or altered).
Match TakeExpected(OutputRows& rows, const ExpectedRow& expected) {
  if (rows.Take(RowKey(expected.row->fields))) return Match::Exact;
  if (expected.emptiable.empty()) return Match::None;
  const std::vector<FieldKey>* taken = rows.TakeIgnoring(expected.row->fields, expected.emptiable);
  if (!taken) return Match::None;
  for (std::size_t field : expected.emptiable) {
    const FieldKey& value = (*taken)[field];
    if (value.size() <= 1 && expected.row->fields[field].size() > 1) return Match::Emptied;
  }
  return Match::Altered;
}

}  // namespace

OriginalContent OriginalContent::Read(const std::vector<std::uint8_t>& bytes, const std::string& name) {
  OriginalContent content;
  auto db = jet::Database::FromBytes(bytes, name);
  const std::size_t page_size = db->constants().page_size;
  for (std::size_t start = 0; start + page_size <= bytes.size(); start += page_size) {
    const std::uint8_t type = bytes[start];
    const std::uint32_t owner = std::uint32_t{bytes[start + 4]} | std::uint32_t{bytes[start + 5]} << 8 |
                                std::uint32_t{bytes[start + 6]} << 16 | std::uint32_t{bytes[start + 7]} << 24;
    // Page 1 and data pages owned by no table hold usage maps.
    const bool map_page = start == page_size || owner == 0;
    content.content_pages_.push_back(start == 0 || type == 0x02 || (type == 0x01 && !map_page));
  }
  std::map<jet::RowPointer, jet::RowPointer> catalog_slots;
  try {
    catalog_slots = CatalogSlots(*db);
  } catch (const vondrel::Error&) {
  }
  for (const auto& entry : db->Tables()) {
    if (!IsUserTable(entry)) continue;
    try {
      content.tables_.push_back(ReadTable(*db, entry, catalog_slots));
    } catch (const vondrel::Error&) {
      // A table the reader cannot read in the original is expected nowhere.
    }
  }
  return content;
}

std::uint64_t OriginalContent::row_count() const {
  std::uint64_t rows = 0;
  for (const auto& table : tables_) rows += table.rows.size();
  return rows;
}

SalvageExpectation OriginalContent::Expect(const std::vector<std::uint32_t>& damaged_pages,
                                          std::optional<std::uint64_t> file_length) const {
  const std::set<std::uint32_t> damaged(damaged_pages.begin(), damaged_pages.end());
  auto row_damaged = [&](const OriginalRow& row) {
    for (std::size_t i = 0; i < row.pages.size(); ++i) {
      if (damaged.count(row.pages[i]) && !(file_length && row.ends[i] <= *file_length)) return true;
    }
    return false;
  };
  SalvageExpectation expectation;
  expectation.catalog_definition_damaged = damaged.count(jet::kCatalogTdefPage) != 0;
  for (std::uint32_t page : damaged) {
    if (page < content_pages_.size() && content_pages_[page]) expectation.content_damaged = true;
  }
  for (const auto& table : tables_) {
    ExpectedTable expected;
    expected.table = &table;
    expected.required = !AnyDamaged(table.pages, damaged);
    if (!expected.required) expectation.content_damaged = true;
    for (const auto& row : table.rows) {
      ExpectedRow expected_row;
      expected_row.row = &row;
      expected_row.required = expected.required && !row_damaged(row);
      if (AnyDamaged(row.pages, damaged)) expectation.content_damaged = true;
      for (const auto& value : row.long_values) {
        if (value.unreadable || AnyDamaged(value.pages, damaged)) {
          expected_row.emptiable.push_back(value.field);
          if (AnyDamaged(value.pages, damaged)) expectation.content_damaged = true;
        }
      }
      if (expected_row.required) {
        ++expectation.rows_required;
        expectation.values_emptiable += expected_row.emptiable.size();
      }
      expected.rows.push_back(std::move(expected_row));
    }
    expectation.rows_original += table.rows.size();
    expectation.tables.push_back(std::move(expected));
  }
  return expectation;
}

SalvageComparison CompareSalvage(const SalvageExpectation& expected, const jet::Database& output) {
  SalvageComparison result;
  result.rows_required = expected.rows_required;
  result.everything_kept = true;
  auto fail = [&](std::string message) {
    if (result.failures.size() < kMaxFailures) result.failures.push_back(std::move(message));
  };
  if (const jet::CatalogEntry* errors = output.FindTable(kErrorTableName)) {
    result.error_table = true;
    try {
      result.error_table_rows = output.CountRows(output.ReadTableDefinition(*errors));
    } catch (const vondrel::Error& error) {
      fail(std::string(kErrorTableName) + " cannot be read: " + error.description());
    }
  }
  for (const auto& table : expected.tables) {
    const OriginalTable& original = *table.table;
    if (table.required) ++result.tables_required;
    const jet::CatalogEntry* entry = output.FindTable(original.name);
    if (!entry) {
      result.everything_kept = false;
      result.visible_loss = true;
      if (table.required) fail("table " + original.name + " is missing");
      continue;
    }
    std::vector<std::string> read_failures;
    OutputRows rows;
    try {
      rows = ReadOutputRows(output, *entry, original, table.required, read_failures);
    } catch (const vondrel::Error& error) {
      // The output must read whole, whatever the table.
      result.everything_kept = false;
      result.visible_loss = true;
      fail("table " + original.name + " cannot be read: " + error.description());
      continue;
    }
    for (auto& failure : read_failures) fail(std::move(failure));
    if (table.required) ++result.tables_required_found;
    std::uint64_t matched = 0, missing = 0, lost = 0;
    // Required rows first, so that rows of damaged pages cannot take their place.
    for (const auto& row : table.rows) {
      if (!row.required) continue;
      const Match match = TakeExpected(rows, row);
      if (match == Match::None) {
        ++missing;
        continue;
      }
      ++result.rows_required_found;
      ++matched;
      if (match != Match::Exact) result.everything_kept = false;
      if (match == Match::Emptied) {
        ++result.values_emptied;
        result.visible_loss = true;
      }
      if (match == Match::Altered) ++result.values_altered;
    }
    if (missing > 0) {
      result.everything_kept = false;
      fail("table " + original.name + ": " + std::to_string(missing) + " of " +
           std::to_string(missing + matched) + " required rows are missing");
    }
    for (const auto& row : table.rows) {
      if (row.required) continue;
      if (rows.Take(RowKey(row.row->fields))) {
        ++result.rows_optional_found;
        ++matched;
      } else {
        result.everything_kept = false;
        ++lost;
      }
    }
    lost += missing;
    const std::uint64_t unmatched = rows.rows.size() - matched;
    result.rows_unmatched += unmatched;
    // Rows that came out altered stand in for the same number of originals.
    if (lost > unmatched) result.visible_loss = true;
  }
  return result;
}

std::string Describe(const SalvageComparison& c) {
  std::string text = "required rows " + std::to_string(c.rows_required_found) + " of " +
                     std::to_string(c.rows_required) + " (long values emptied " + std::to_string(c.values_emptied) +
                     ", altered " + std::to_string(c.values_altered) + "), required tables " + std::to_string(c.tables_required_found) + " of " +
                     std::to_string(c.tables_required) + ", rows from damaged pages " +
                     std::to_string(c.rows_optional_found) + ", unmatched " + std::to_string(c.rows_unmatched) +
                     (c.everything_kept ? ", everything kept" : c.visible_loss ? ", something lost" : ", something altered") +
                     (c.error_table ? ", MSysCompactError rows " + std::to_string(c.error_table_rows) : "");
  for (const auto& failure : c.failures) text += "\n  " + failure;
  return text;
}

}  // namespace vondrel::testing
