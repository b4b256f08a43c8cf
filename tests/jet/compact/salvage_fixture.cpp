#include "salvage_fixture.h"

#include <fstream>
#include <sstream>

#include "jet/checker.h"
#include "jet/write/database_writer.h"

namespace salvage_test {

using jet::ColumnType;
using jet::write::Value;

void BuildSource(const std::filesystem::path& path, jet::FormatVersion version, int people, bool scrambled) {
  jet::write::CreateOptions options;
  options.version = version;
  jet::write::DatabaseWriter db(path, options);
  const auto table = db.AddTable({"People",
                                  {{"Id", ColumnType::Long, 0, true}, {"Name", ColumnType::Text, 40}, {"Notes", ColumnType::Memo}},
                                  {{"PrimaryKey", {{"Id", true}}, true}, {"Name", {{"Name", true}}, false, true}}});
  jet::write::TableSpec wide_spec{"Wide", {}, {}};
  for (int c = 0; c < 120; ++c) wide_spec.columns.push_back({"Column number " + std::to_string(c), ColumnType::Long});
  const auto wide = db.AddTable(wide_spec);
  db.BeginRows(table);
  for (int k = 0; k < people; ++k) {
    const int id = scrambled ? 1 + (k * 7) % people : 1 + k;  // 7 is prime to the counts used
    const std::string notes = id % 10 == 0 ? std::string(3000, static_cast<char>('a' + id % 26)) : "short " + std::to_string(id);
    db.Insert({Value::Long(id), Value::Text("person " + std::to_string(id)), Value::Text(notes)});
  }
  db.EndRows();
  db.BeginRows(wide);
  for (int r = 1; r <= 5; ++r) {
    std::vector<Value> values;
    for (int c = 0; c < 120; ++c) values.push_back(Value::Long(r * 1000 + c));
    db.Insert(values);
  }
  db.EndRows();
  db.Close();
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

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

}  // namespace salvage_test
