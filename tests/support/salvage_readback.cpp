#include "support/salvage_readback.h"

#include <algorithm>

#include "jet/check/checker.h"

namespace vondrel::testing {

namespace {

std::string Hex(const jet::StoredField& field) {
  if (field.is_null) return "-";
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < field.bytes.size(); ++i) {
    out.push_back(digits[field.bytes.U8(i) >> 4]);
    out.push_back(digits[field.bytes.U8(i) & 15]);
  }
  return out;
}

}  // namespace

RowsById ReadRows(const jet::Database& db, const std::string& table) {
  RowsById rows;
  const jet::CatalogEntry* entry = db.FindTable(table);
  if (!entry) return rows;
  const jet::TableDefinition definition = db.ReadTableDefinition(*entry);
  db.ScanRows(definition, [&](const jet::Row& row) {
    std::string line;
    for (const jet::StoredField& field : row.fields) line += Hex(field) + ",";
    rows[row.fields[0].is_null ? -1 : row.fields[0].bytes.I32(0)] = line;
    return true;
  });
  return rows;
}

std::vector<std::string> CompactErrors(const jet::Database& db) {
  std::vector<std::string> errors;
  const jet::CatalogEntry* entry = db.FindTable("MSysCompactError");
  if (!entry) return errors;
  const jet::TableDefinition definition = db.ReadTableDefinition(*entry);
  db.ScanRows(definition, [&](const jet::Row& row) {
    auto text = [&](std::size_t k) {
      const jet::StoredField& f = row.fields[k];
      return f.is_null ? std::string("-") : db.DecodeText(std::span(f.bytes.data(), f.bytes.size()));
    };
    errors.push_back(std::to_string(row.fields[0].bytes.I32(0)) + "|" + text(1) + "|" + text(3));
    return true;
  });
  return errors;
}

std::vector<std::string> CheckProblems(const jet::Database& db) {
  std::vector<std::string> problems;
  for (const jet::Finding& finding : jet::CheckDatabase(db).findings) {
    if (finding.severity == jet::Severity::Problem) problems.push_back(finding.table + ": " + finding.message);
  }
  return problems;
}

std::vector<std::uint32_t> DataPagesOf(const jet::Database& db, const std::string& table) {
  return db.TableDataPages(db.ReadTableDefinition(*db.FindTable(table)));
}

std::set<std::int32_t> IdsOnPages(const jet::Database& db, const std::string& table, const std::set<std::uint32_t>& pages) {
  std::set<std::int32_t> ids;
  db.ScanRows(db.ReadTableDefinition(*db.FindTable(table)), [&](const jet::Row& row) {
    if (pages.count(row.pointer.page)) ids.insert(row.fields[0].bytes.I32(0));
    return true;
  });
  return ids;
}

void ZeroPage(std::vector<std::uint8_t>& bytes, std::size_t page_size, std::uint32_t page) {
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(page * page_size),
            bytes.begin() + static_cast<std::ptrdiff_t>((page + 1) * page_size), 0);
}

}  // namespace vondrel::testing
