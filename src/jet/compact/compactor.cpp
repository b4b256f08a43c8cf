#include "jet/compact/compactor.h"

#include <algorithm>
#include <map>

#include "base/error.h"
#include "jet/compact/id_remap.h"
#include "jet/compact/source_keys.h"
#include "jet/compact/table_copier.h"
#include "jet/database.h"
#include "jet/index_reader.h"
#include "jet/io/error_numbers.h"
#include "jet/write/database_builder.h"

namespace jet::compact {
namespace {

struct SourceTable {
  std::string name;
  TableDefinition definition;
  std::uint32_t new_page = 0;
};

bool SameName(const std::string& a, const char* b) {
  if (a.size() != std::char_traits<char>::length(b)) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

CompactStatistics CompactDatabase(const std::filesystem::path& source, const std::filesystem::path& destination,
                                  const CompactOptions&) {
  std::error_code ec;
  if (std::filesystem::exists(destination, ec) || std::filesystem::is_symlink(destination, ec)) {
    throw vondrel::Error(errors::kAlreadyExists, "Database " + destination.string() + " already exists.");
  }
  const std::unique_ptr<Database> db = Database::Open(source);
  const DatabaseHeader& header = db->header();

  encode::HeaderSettings settings;
  settings.version = header.version;
  settings.code_page = header.code_page;
  settings.sort_order = header.sort_order;
  settings.sort_order_version = header.sort_order_version;
  settings.database_key = header.database_key;
  settings.creation_date = header.creation_date;
  std::optional<encode::Bytes> source_header;
  if (header.unmasked_page.size() == header.constants().page_size) source_header = header.unmasked_page;

  // Every local table, the catalog first so that it lands on page 2 again,
  // then by definition page, which keeps a second compaction identical.
  std::map<std::uint32_t, std::string> pages;
  pages[kCatalogTdefPage] = "MSysObjects";
  for (const CatalogEntry& entry : db->catalog()) {
    if (entry.IsTable() && entry.TdefPage() != kCatalogTdefPage) pages.emplace(entry.TdefPage(), entry.name);
  }
  std::vector<SourceTable> tables;
  for (const auto& [page, name] : pages) tables.push_back({name, db->ReadTableDefinition(page), 0});

  write::DatabaseBuilder builder(destination, settings, source_header);
  IdRemap remap;
  for (SourceTable& t : tables) {
    t.new_page = builder.DeclareTable(t.definition);
    remap.Add(t.definition.tdef_page, t.new_page);
  }
  // Relationship indexes name the other table by its definition page.
  for (SourceTable& t : tables) {
    for (LogicalIndexDefinition& logical : builder.MutableTable(t.new_page).logical_indexes) {
      if (logical.related_table_page != 0) logical.related_table_page = remap.Page(logical.related_table_page);
    }
  }

  CompactStatistics stats;
  stats.source_pages = db->file().page_count();
  SourceKeyCache source_keys(*db);
  for (SourceTable& t : tables) {
    IdColumnRole role = IdColumnRole::None;
    if (t.definition.tdef_page == kCatalogTdefPage) role = IdColumnRole::CatalogId;
    else if (SameName(t.name, "MSysACEs")) role = IdColumnRole::AceObjectId;
    write::TableBuilder& rows = builder.BeginRows(t.new_page);
    const CopyJob job{*db, t.definition, builder.Table(t.new_page), role, remap, source_keys, KeySettingsOf(*db)};
    stats.rows += CopyTableRows(job, rows, [&builder]() -> write::TableBuilder& { return builder.RestartRows(); });
    builder.EndRows();
    ++stats.tables;
  }
  db->file().CheckUnchanged();  // a source that shrank while read gave zeros somewhere
  builder.Commit();
  stats.destination_pages = builder.page_count();
  return stats;
}

}  // namespace jet::compact
