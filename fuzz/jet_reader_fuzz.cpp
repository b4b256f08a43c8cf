// libFuzzer target over the reader: open a database from the input bytes,
// run the structural check, then read every row of every table with long
// values assembled. Damage must surface as vondrel::Error; anything else (a
// crash, a sanitizer report, another exception, a hang) is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "base/error.h"
#include "jet/check/checker.h"
#include "jet/read/database.h"

namespace {

void ReadTable(const jet::Database& database, const jet::CatalogEntry& entry) {
  jet::TableDefinition table = database.ReadTableDefinition(entry);
  std::size_t checksum = 0;
  database.ScanRows(table, [&](const jet::Row& row) {
    for (const auto& field : row.fields) checksum += field.bytes.size() + (field.is_null ? 1 : 0);
    return true;
  });
  // Keep the reads from being optimised away.
  if (checksum == static_cast<std::size_t>(-1)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<jet::Database> database;
  try {
    database = jet::Database::FromBytes(std::vector<std::uint8_t>(data, data + size), "fuzz.mdb");
  } catch (const vondrel::Error&) {
    return 0;
  }
  try {
    jet::CheckReport report = jet::CheckDatabase(*database);
    (void)report;
  } catch (const vondrel::Error&) {
    // The checker reports damage as findings; an error is still a clean outcome.
  }
  std::vector<jet::CatalogEntry> tables;
  try {
    tables = database->Tables();
  } catch (const vondrel::Error&) {
    return 0;
  }
  std::set<std::uint32_t> read;
  for (const auto& entry : tables) {
    // A forged catalog may list one definition many times; reading it once
    // bounds the work per input.
    if (!read.insert(entry.TdefPage()).second) continue;
    try {
      ReadTable(*database, entry);
    } catch (const vondrel::Error&) {
      // An unreadable table does not stop the others.
    }
  }
  return 0;
}
