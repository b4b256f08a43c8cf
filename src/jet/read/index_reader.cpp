// Index reading over the page file of an open database.

#include "jet/read/index_reader.h"

#include <vector>

namespace jet {

namespace {

IndexPageFetch PageFetchOf(const io::PageFile& file) {
  return [&file](std::uint32_t n) -> std::optional<std::span<const std::uint8_t>> {
    if (n == 0 || !file.HasPage(n)) return std::nullopt;
    const io::ByteView page = file.Page(n);
    return std::span<const std::uint8_t>(page.data(), page.size());
  };
}

// The walk decodes each page whole before it fetches the next, so one
// buffer serves every page.
IndexPageFetch PageCopyFetchOf(const io::PageFile& file, std::vector<std::uint8_t>& buffer) {
  return [&file, &buffer](std::uint32_t n) -> std::optional<std::span<const std::uint8_t>> {
    if (n == 0 || !file.HasPage(n)) return std::nullopt;
    const io::ByteView page = file.CopyPage(n, buffer);
    return std::span<const std::uint8_t>(page.data(), page.size());
  };
}

}  // namespace

IndexTreeWalk ReadIndexEntries(const Database& database, const TableDefinition& table,
                               const RealIndexDefinition& index) {
  const io::PageFile& file = database.file();
  return WalkIndexTree(index.root_page, table.tdef_page, IndexLayoutFor(database.version()), PageFetchOf(file),
                       file.page_count());
}

IndexTreeWalk ReadIndexEntries(const Database& database, const TableDefinition& table,
                               const RealIndexDefinition& index, const IndexEntrySink& sink) {
  const io::PageFile& file = database.file();
  return WalkIndexTree(index.root_page, table.tdef_page, IndexLayoutFor(database.version()), PageFetchOf(file),
                       file.page_count(), sink);
}

IndexTreeWalk ReadIndexEntriesApart(const Database& database, const TableDefinition& table,
                                    const RealIndexDefinition& index, const IndexEntrySink& sink) {
  const io::PageFile& file = database.file();
  std::vector<std::uint8_t> buffer;
  return WalkIndexTree(index.root_page, table.tdef_page, IndexLayoutFor(database.version()),
                       PageCopyFetchOf(file, buffer), file.page_count(), sink);
}

KeyDatabaseSettings KeySettingsOf(const Database& database) {
  KeyDatabaseSettings settings;
  settings.version = database.version();
  settings.sort_order = database.header().sort_order;
  settings.code_page = database.header().code_page;
  return settings;
}

void KeyFieldsOf(const Row& row, std::vector<KeyField>& out) {
  out.resize(row.fields.size());
  for (std::size_t i = 0; i < row.fields.size(); ++i) {
    const StoredField& field = row.fields[i];
    out[i].is_null = field.is_null;
    out[i].bool_value = field.bool_value;
    out[i].bytes = std::span<const std::uint8_t>(field.bytes.data(), field.bytes.size());
  }
}

std::string RealIndexName(const TableDefinition& table, const RealIndexDefinition& index) {
  std::string names;
  for (const LogicalIndexDefinition& logical : table.logical_indexes) {
    if (logical.real_index != static_cast<std::int32_t>(index.number)) continue;
    if (!names.empty()) names += ", ";
    names += logical.name;
  }
  return names.empty() ? "index " + std::to_string(index.number) : names;
}

}  // namespace jet
