// Checks of one table: its definition, its page maps, its rows and long values.

#include <map>
#include <set>

#include "jet/check/checker.h"
#include "jet/check/checker_claims.h"
#include "jet/check/index_check.h"
#include "jet/format/data_page_decode.h"
#include "jet/format/long_value_decode.h"
#include "jet/format/tdef_decode.h"

namespace jet {
namespace {

void CheckDefinition(const TableDefinition& table, const std::string& name, CheckReport& report) {
  const std::int64_t page = table.tdef_page;
  std::size_t fixed_end = 0;
  std::map<std::uint16_t, const ColumnDefinition*> slot_owners;
  for (const ColumnDefinition& column : table.columns) {
    // A row has one value per slot: two columns in one would read the same bytes.
    if (!column.IsFixed() && !column.HasNoData()) {
      const auto [owner, first] = slot_owners.emplace(column.var_index, &column);
      if (!first)
        report.Problem(name, page, "columns '" + owner->second->name + "' and '" + column.name +
                                       "' share variable slot " + std::to_string(column.var_index));
    }
    if (column.number >= table.max_columns)
      report.Problem(name, page, "column '" + column.name + "' has number " + std::to_string(column.number) +
                                     ", not below the column limit " + std::to_string(table.max_columns));
    if (!column.IsFixed() && column.var_index >= table.var_slots)
      report.Problem(name, page, "column '" + column.name + "' uses variable slot " +
                                     std::to_string(column.var_index) + " of " + std::to_string(table.var_slots));
    if (column.IsFixed() && !column.HasNoData())
      fixed_end = std::max<std::size_t>(fixed_end, std::size_t{column.fixed_offset} + column.length);
  }
  if (fixed_end > ConstantsFor(table.version).max_row_size)
    report.Problem(name, page, "the fixed columns need " + std::to_string(fixed_end) + " bytes, more than a row holds");
  for (const RealIndexDefinition& index : table.real_indexes)
    for (const IndexKeyColumn& key : index.columns)
      if (!table.FindColumn(key.column_number))
        report.Problem(name, page, "real index " + std::to_string(index.number) + " names the missing column " +
                                       std::to_string(key.column_number));
  for (const LogicalIndexDefinition& index : table.logical_indexes)
    if (index.real_index < 0 || static_cast<std::size_t>(index.real_index) >= table.real_indexes.size())
      report.Problem(name, page, "index '" + index.name + "' names the missing real index " +
                                     std::to_string(index.real_index));
  for (const LongValueColumnMaps& maps : table.long_value_maps)
    if (!table.FindColumn(maps.column_number))
      report.Problem(name, page, "the long-value maps name the missing column " + std::to_string(maps.column_number));
}

// The pages of one map, each checked with `expect`; a map pointer of 0 is "no map".
void CheckMapPages(const Database& database, const std::string& name, RowPointer map, const std::string& what,
                   PageClaims& claims, CheckReport& report,
                   const std::function<std::string(std::uint32_t, const io::ByteView&)>& expect) {
  if (map.IsNull()) return;
  std::vector<std::uint32_t> pages;
  try {
    pages = database.UsageMapPages(map);
  } catch (const vondrel::Error& error) {
    report.Problem(name, map.page, "the " + what + " cannot be read: " + error.description());
    return;
  }
  for (std::uint32_t page : pages) {
    const std::string wrong = expect(page, database.file().Page(page));
    if (!wrong.empty()) {
      report.Problem(name, page, "the " + what + " claims page " + std::to_string(page) + ", which " + wrong);
      continue;
    }
    const std::string claimed = claims.Claim(page, name + " " + what);
    if (!claimed.empty())
      report.Problem(name, page, "page " + std::to_string(page) + " is claimed by the " + what + " and by " + claimed);
  }
}

void CheckMaps(const Database& database, const TableDefinition& table, const std::string& name, PageClaims& claims,
               CheckReport& report) {
  const auto data_of_table = [&](std::uint32_t, const io::ByteView& page) -> std::string {
    if (page.U8(0) != static_cast<std::uint8_t>(PageType::Data)) return "is not a data page";
    if (page.U32(4) != table.tdef_page) return "belongs to the definition on page " + std::to_string(page.U32(4));
    return {};
  };
  const auto long_value_page = [&](std::uint32_t, const io::ByteView& page) -> std::string {
    if (page.U8(0) != static_cast<std::uint8_t>(PageType::Data)) return "is not a data page";
    if (page.U32(4) != kLongValueOwner) return "is not a long-value page";
    return {};
  };
  const auto index_page = [&](std::uint32_t, const io::ByteView& page) -> std::string {
    const std::uint8_t type = page.U8(0);
    if (type != static_cast<std::uint8_t>(PageType::IndexLeaf) &&
        type != static_cast<std::uint8_t>(PageType::IndexNode))
      return "is not an index page";
    return {};
  };
  CheckMapPages(database, name, table.owned_map, "owned-pages map", claims, report, data_of_table);
  CheckMapPages(database, name, table.free_map, "free-space map", PageClaims::Ignored(), report, data_of_table);
  for (const LongValueColumnMaps& maps : table.long_value_maps) {
    CheckMapPages(database, name, maps.owned_map, "long-value map", claims, report, long_value_page);
    CheckMapPages(database, name, maps.free_map, "long-value free map", PageClaims::Ignored(), report,
                  long_value_page);
  }
  for (const RealIndexDefinition& index : table.real_indexes)
    CheckMapPages(database, name, index.usage_map, "map of real index " + std::to_string(index.number), claims,
                  report, index_page);

  // A data page that names the table as owner but is missing from its map is
  // invisible to Jet's scans.
  std::vector<std::uint32_t> listed;
  try {
    listed = database.TableDataPages(table);
  } catch (const vondrel::Error&) {
    return;  // reported above
  }
  const std::set<std::uint32_t> in_map(listed.begin(), listed.end());
  for (std::uint32_t page : database.TableDataPages(table, true)) {
    if (in_map.count(page) || claims.IsFree(page)) continue;
    try {
      const DataPage data(database.file().Page(page), database.constants());
      std::size_t live = 0;
      for (std::uint32_t row = 0; row < data.row_count(); ++row)
        if (!(data.RawEntry(row) & kRowDeletedFlag)) ++live;
      // Emptied pages dropped from the map are harmless leftovers.
      if (live > 0)
        report.Problem(name, page, "the data page holds " + std::to_string(live) +
                                       " rows of the table but its owned-pages map omits it");
    } catch (const vondrel::Error&) {
      // The page scan reports malformed data pages.
    }
  }
}

void CheckRows(const Database& database, const TableDefinition& table, const std::string& name,
               CheckReport& report) {
  std::uint64_t live = 0;
  std::vector<std::uint8_t> value;
  const LongValueRowFetcher fetch = [&](RowPointer pointer) {
    const DataPage page(database.file().Page(pointer.page), database.constants());
    if (!page.IsLongValuePage())
      page.bytes().Fail("a memo or OLE value points at row " + std::to_string(pointer.row) +
                        " of a page that is not a long-value page");
    return page.RowBytes(pointer.row);
  };
  ScanOptions options;
  options.assemble_long_values = false;
  options.on_damaged_row = [&](RowPointer pointer, const vondrel::Error& error) {
    report.Problem(name, pointer.page, "row " + std::to_string(pointer.row) + ": " + error.description());
  };
  try {
    database.ScanRows(
        table,
        [&](const Row& row) {
          ++live;
          for (std::size_t k = 0; k < row.fields.size(); ++k) {
            const StoredField& field = row.fields[k];
            if (field.is_null || !IsLongValueType(table.columns[k].type)) continue;
            try {
              AssembleLongValue(field.bytes, fetch, database.file().file_size(), value);
            } catch (const vondrel::Error& error) {
              report.Problem(name, row.pointer.page, "row " + std::to_string(row.pointer.row) + ", column '" +
                                                         table.columns[k].name + "': " + error.description());
            }
          }
          return true;
        },
        options);
  } catch (const vondrel::Error& error) {
    report.Problem(name, -1, "the rows cannot be read: " + error.description());
    return;
  }
  if (live != table.row_count)
    report.Note(name, table.tdef_page,
                "the definition records " + std::to_string(table.row_count) + " rows, the table holds " +
                    std::to_string(live));
}

}  // namespace

void CheckTableWithClaims(const Database& database, const CatalogEntry& entry, PageClaims& claims,
                          CheckReport& report) {
  TableDefinition table;
  std::size_t end_of_definition = 0;
  try {
    const TdefStream stream = ReadTdefStream(database.file(), database.version(), entry.TdefPage());
    table = DecodeTableDefinition(stream, database.version(), database.header().code_page, database.name(),
                                  &end_of_definition);
  } catch (const vondrel::Error& error) {
    report.Problem(entry.name, entry.TdefPage(), "the table definition cannot be read: " + error.description());
    return;
  }
  if (end_of_definition != table.tdef_length)
    report.Problem(entry.name, entry.TdefPage(),
                   "the definition records a length of " + std::to_string(table.tdef_length) + " bytes but ends at " +
                       std::to_string(end_of_definition));
  CheckDefinition(table, entry.name, report);
  CheckMaps(database, table, entry.name, claims, report);
  CheckRows(database, table, entry.name, report);
  // Index order, coverage, stored keys and row pointers.
  CheckTableIndexes(database, table, entry.name, report);
}

void CheckTable(const Database& database, const CatalogEntry& entry, CheckReport& report) {
  PageClaims claims;
  claims.free_pages = GlobalFreePages(database, nullptr);
  CheckTableWithClaims(database, entry, claims, report);
}

}  // namespace jet
