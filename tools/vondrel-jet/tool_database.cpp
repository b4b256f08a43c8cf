#include "tool_database.h"

#include "base/error.h"
#include "jet/io/error_numbers.h"

namespace vondrel::jet_tool {

std::filesystem::path HostPathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::unique_ptr<jet::Database> OpenDatabase(const std::string& path) { return jet::Database::Open(HostPathOf(path)); }

const jet::CatalogEntry& FindTable(const jet::Database& database, const std::string& name) {
  const jet::CatalogEntry* entry = database.FindTable(name);
  if (!entry) {
    throw vondrel::Error(jet::errors::kItemNotFound,
                         "There is no table '" + name + "' in the database '" + database.name() + "'.");
  }
  return *entry;
}

}  // namespace vondrel::jet_tool
