// Catalog rows whose move pointer was lost. A row that grew too large for
// its page is moved: its slot keeps a pointer to the new copy, and the copy's
// own slot is marked deleted so that page scans do not see it twice. When the
// page holding the pointer is destroyed, the copy looks deleted, and with it
// the table it describes would vanish. A copy is taken back only when it can
// be nothing else: it describes a table whose definition page is in use,
// which no live catalog row claims, and it is the only such copy.
#include <map>
#include <set>

#include "jet/read/database.h"
#include "jet/format/catalog_layout.h"
#include "jet/format/data_page_decode.h"
#include "jet/format/usage_map_decode.h"

namespace jet {
namespace {

std::int32_t Integer(const StoredField& field) {
  if (field.is_null) return 0;
  if (field.bytes.size() == 4) return field.bytes.I32(0);
  if (field.bytes.size() == 2) return field.bytes.I16(0);
  return 0;
}

}  // namespace

std::set<RowPointer> Database::FindMovedCatalogRows(const TableDefinition& objects,
                                                    const std::vector<std::uint32_t>& pages,
                                                    const std::set<RowPointer>& targets) const {
  const ColumnDefinition* id_column = objects.FindColumn(msys_objects::kId);
  const ColumnDefinition* type_column = objects.FindColumn(msys_objects::kType);
  if (!id_column || !type_column) return {};
  const auto id_at = static_cast<std::size_t>(id_column - objects.columns.data());
  const auto type_at = static_cast<std::size_t>(type_column - objects.columns.data());
  // A deleted table's definition page is free; without the map that says so
  // a deleted table's row could not be told from a moved one.
  std::set<std::uint32_t> free_pages;
  try {
    for (std::uint32_t page : UsageMapPages(RowPointer{1, 0})) free_pages.insert(page);
  } catch (const vondrel::Error&) {
    return {};
  }
  std::set<std::int32_t> live_ids;
  for (const CatalogEntry& entry : catalog_) live_ids.insert(entry.id);

  std::map<std::int32_t, std::vector<RowPointer>> copies;  // by table Id
  RowStructure structure;
  std::vector<StoredField> fields;
  for (std::uint32_t page_number : pages) {
    // The page stays readable while its rows are visited, which read the
    // definition pages they name.
    const io::ReadHold page_hold(*file_);
    try {
      const DataPage page(file_->PageOrPart(page_number), constants());
      for (std::uint32_t slot = 0; slot < page.row_count(); ++slot) {
        const RowPointer at{page_number, static_cast<std::uint8_t>(slot)};
        const std::uint16_t entry = page.RawEntry(slot);
        if (!(entry & kRowDeletedFlag) || (entry & kRowOverflowFlag) || targets.count(at)) continue;
        try {
          DecodeRow(page.RowBytes(slot), objects, structure, fields);
        } catch (const vondrel::Error&) {
          continue;  // deleted rows' bytes are often overwritten in part
        }
        if (CatalogRowFault(objects, fields) || Integer(fields[type_at]) != object_types::kTable) continue;
        const std::int32_t id = Integer(fields[id_at]);
        const auto definition = static_cast<std::uint32_t>(id);
        if (definition <= kCatalogTdefPage || definition >= file_->page_count() || live_ids.count(id) ||
            free_pages.count(definition))
          continue;
        if (file_->Page(definition).U8(0) != static_cast<std::uint8_t>(PageType::TableDefinition)) continue;
        copies[id].push_back(at);
      }
    } catch (const vondrel::Error&) {
      continue;  // an unreadable page was reported by the scan
    }
  }
  std::set<RowPointer> moved;
  for (const auto& [id, at] : copies)
    if (at.size() == 1) moved.insert(at.front());
  return moved;
}

}  // namespace jet
