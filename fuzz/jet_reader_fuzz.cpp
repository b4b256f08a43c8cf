// libFuzzer target: open arbitrary bytes as a database, check it, and read
// every row of every table with long values assembled. Damage must end in
// vondrel::Error, never in a crash, a sanitizer report or a hang.

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "base/error.h"
#include "jet/checker.h"
#include "jet/database.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    auto database = jet::Database::FromBytes(std::vector<std::uint8_t>(data, data + size), "fuzz.mdb");
    jet::CheckDatabase(*database);
    std::set<std::uint32_t> read;
    for (const jet::CatalogEntry& entry : database->Tables()) {
      if (!read.insert(entry.TdefPage()).second) continue;  // bounds the work on forged catalogs
      try {
        const jet::TableDefinition table = database->ReadTableDefinition(entry);
        database->ScanRows(table, [](const jet::Row&) { return true; });
      } catch (const vondrel::Error&) {
      }
    }
  } catch (const vondrel::Error&) {
  }
  return 0;
}
