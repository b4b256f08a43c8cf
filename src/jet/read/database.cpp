#include "jet/read/database.h"

#include <algorithm>
#include <cctype>

#include "jet/format/catalog_layout.h"
#include "jet/format/data_page_decode.h"
#include "jet/format/long_value_decode.h"
#include "jet/format/row_mend.h"
#include "jet/format/tdef_decode.h"
#include "jet/format/text_decode.h"
#include "jet/format/usage_map_decode.h"
#include "jet/read/header_inference.h"

namespace jet {
namespace {

// Overflow rows may point at further overflow rows; Access never chains far.
constexpr int kMaxOverflowHops = 8;

int CompareNames(const std::string& a, const std::string& b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t k = 0; k < common; ++k) {
    const int x = std::tolower(static_cast<unsigned char>(a[k]));
    const int y = std::tolower(static_cast<unsigned char>(b[k]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return 0;
}

std::int64_t FixedInteger(const StoredField& field) {
  if (field.is_null) return 0;
  switch (field.bytes.size()) {
    case 1: return field.bytes.U8(0);
    case 2: return field.bytes.I16(0);
    case 4: return field.bytes.I32(0);
    default: return 0;
  }
}

// The first three pages of the largest page size: the header and the catalog's definition.
constexpr std::size_t kHeaderPagesBytes = 3 * 4096;

// A usage map's pages past the end of the file count too: a truncated file lost them.
constexpr std::uint32_t kPagesPastTheEnd = 65536;

}  // namespace

Database::Database(DatabaseHeader header, std::unique_ptr<io::PageFile> file)
    : header_(std::move(header)), file_(std::move(file)) {}

std::unique_ptr<Database> Database::Open(const std::filesystem::path& path, const OpenOptions& options) {
  // 3045 when another program has the file open; the lock lasts as long as the database.
  io::DatabaseFileLock lock = io::DatabaseFileLock::Acquire(path, io::LockIntent::Read);
  std::unique_ptr<Database> database = FromImage(io::LoadFile(path), path.string(), options);
  database->lock_ = std::move(lock);
  return database;
}

std::unique_ptr<Database> Database::FromBytes(std::vector<std::uint8_t> bytes, std::string name,
                                              const OpenOptions& options) {
  return FromImage(io::FileImage{std::move(bytes), nullptr}, std::move(name), options);
}

std::unique_ptr<Database> Database::FromImage(io::FileImage image, std::string name, const OpenOptions& options) {
  // Page 0 decides the header and page 2 confirms a database key; only the
  // rescue of a damaged header looks at the whole file.
  const std::vector<std::uint8_t> head = image.Head(kHeaderPagesBytes);
  std::optional<std::vector<std::uint8_t>> whole;
  const auto bytes = [&]() -> std::span<const std::uint8_t> {
    if (!image.mapped) return image.bytes;
    if (!whole) whole = image.All();
    return *whole;
  };
  DatabaseHeader header;
  bool inferred = false;
  std::string repair;  // what was mended in a header that was read, not rebuilt
  try {
    header = DecodeHeader(head, name);
    // A damaged database key turns every page into noise: when the catalog
    // reads only without it, the key is what was damaged.
    if (options.salvage && header.database_key != 0 && !CatalogPageLooksRight(head, header)) {
      DatabaseHeader plain = header;
      plain.database_key = 0;
      if (CatalogPageLooksRight(head, plain) && CatalogReadsWith(bytes(), plain, name)) {
        header = std::move(plain);
        inferred = true;
      }
    }
  } catch (const vondrel::Error& error) {
    if (!options.salvage || HeaderNamesOtherFormat(head)) throw;
    if (std::optional<DatabaseHeader> displaced = FindDisplacedHeader(bytes(), name)) {
      header = std::move(*displaced);
      repair = "it was found on another page of the file and read from there";
    } else {
      std::optional<DatabaseHeader> rebuilt = InferHeader(bytes(), name);
      if (!rebuilt) throw;
      header = std::move(*rebuilt);
    }
    inferred = true;
  }
  if (options.salvage && header.has_password) {
    if (std::optional<std::string> mended = RepairPasswordField(header)) {
      repair = *mended;
      inferred = true;
    }
  }
  if (header.has_password)
    throw vondrel::Error(errors::kInvalidPassword,
                         "The database '" + name + "' is protected by a password, which was not given.");
  const std::size_t page_size = header.constants().page_size;
  const std::uint32_t key = header.database_key;
  auto file = std::make_unique<io::PageFile>(std::move(image), page_size, key, std::move(name));
  std::unique_ptr<Database> database(new Database(std::move(header), std::move(file)));
  database->header_inferred_ = inferred;
  database->header_repair_ = std::move(repair);
  database->LoadCatalog(options.salvage);
  return database;
}

void Database::LoadCatalog(bool salvage) {
  TableDefinition objects;
  try {
    objects = ReadTableDefinition(kCatalogTdefPage);
    // A definition that reads but places the object columns elsewhere would
    // turn every catalog row into noise.
    if (salvage) {
      if (std::optional<std::string> fault = CatalogDefinitionFault(objects))
        io::ThrowCorrupt(io::ByteSource{&file_->name(), kCatalogTdefPage}, "the system catalog's definition is damaged: " + *fault);
    }
  } catch (const vondrel::Error& error) {
    if (!salvage) throw;
    // The rows may have survived on the pages page 2 owns.
    objects = StandardCatalogDefinition(header_.version, header_.code_page);
    catalog_rebuilt_ = true;
    open_losses_.push_back({error.number(),
                            "The definition of the system catalog (page 2) cannot be read and was replaced by the "
                            "standard layout: " + error.description(),
                            {kCatalogTdefPage, 0}});
  }
  catalog_definition_ = objects;
  auto position = [&](const char* column_name) -> int {
    for (std::size_t k = 0; k < objects.columns.size(); ++k)
      if (CompareNames(objects.columns[k].name, column_name) == 0) return static_cast<int>(k);
    return -1;
  };
  const int id = position("Id"), parent = position("ParentId"), name = position("Name"), type = position("Type"),
            flags = position("Flags"), created = position("DateCreate"), updated = position("DateUpdate");
  if (id < 0 || parent < 0 || name < 0 || type < 0)
    io::ThrowCorrupt(io::ByteSource{&file_->name(), kCatalogTdefPage},
                     "the system catalog lacks its Id, ParentId, Name or Type column");
  ScanOptions options;
  options.assemble_long_values = false;
  SalvagePages salvage_pages;
  if (salvage) {
    salvage_pages = SalvageDataPages(objects);
    options.pages = &salvage_pages.pages;
    options.on_damaged_row = [this](RowPointer at, const vondrel::Error& error) {
      open_losses_.push_back({error.number(), "a catalog row cannot be read: " + error.description(), at, true});
    };
    // Read as a compaction copies the catalog's rows, so that the objects
    // listed are those whose rows are carried over (which records the mend).
    options.on_mended_row = [](RowPointer, const vondrel::Error&) {};
    options.on_damaged_page = [this](std::uint32_t page, const vondrel::Error& error) {
      open_losses_.push_back({error.number(), "a catalog page cannot be read: " + error.description(), {page, 0}});
    };
  }
  const std::size_t losses_before = open_losses_.size();
  std::set<RowPointer> move_targets;  // where the pointers that were read lead
  const auto add = [&](const Row& row) {
    if (row.pointer != row.listed_at) move_targets.insert(row.pointer);
    CatalogEntry entry;
    entry.row = row.pointer;
    entry.id = static_cast<std::int32_t>(FixedInteger(row.fields[id]));
    entry.parent_id = static_cast<std::int32_t>(FixedInteger(row.fields[parent]));
    entry.type = static_cast<std::int16_t>(FixedInteger(row.fields[type]));
    if (flags >= 0) entry.flags = static_cast<std::uint32_t>(FixedInteger(row.fields[flags]));
    const auto date = [&](int at) {
      const StoredField& field = row.fields[at];
      return at < 0 || field.is_null || field.bytes.size() != 8 ? 0.0 : field.bytes.F64(0);
    };
    if (created >= 0) entry.date_create = date(created);
    if (updated >= 0) entry.date_update = date(updated);
    const StoredField& text = row.fields[name];
    if (!text.is_null) entry.name = DecodeText(std::span(text.bytes.data(), text.bytes.size()));
    catalog_.push_back(std::move(entry));
    return true;
  };
  ScanRows(objects, add, options);
  // A damaged catalog page may have held the pointers to moved rows.
  if (salvage && (open_losses_.size() > losses_before || !salvage_pages.foreign_pages.empty())) {
    moved_catalog_rows_ = FindMovedCatalogRows(objects, salvage_pages.pages, move_targets);
  }
  if (!moved_catalog_rows_.empty()) {
    options.moved_rows = &moved_catalog_rows_;
    // The first read reported every damaged row and page.
    options.on_damaged_row = [](RowPointer, const vondrel::Error&) {};
    options.on_damaged_page = [](std::uint32_t, const vondrel::Error&) {};
    ScanRows(
        objects,
        [&](const Row& row) {
          if (!moved_catalog_rows_.count(row.listed_at)) return true;
          add(row);
          open_losses_.push_back({errors::kCorrupt,
                                  "the catalog row of the table " + catalog_.back().name + " at page " +
                                      std::to_string(row.listed_at.page) + ", row " + std::to_string(row.listed_at.row) +
                                      " was moved there and the pointer to it was lost; it is read where it lies",
                                  row.listed_at, false});
          return true;
        },
        options);
  }
  if (salvage && catalog_.empty())
    throw vondrel::Error(errors::kCorrupt, "The system catalog of '" + file_->name() + "' cannot be found: " +
                                               (catalog_rebuilt_ ? "its definition on page 2 is unreadable and "
                                                                 : "") +
                                               "none of its rows can be read.");
}

std::vector<CatalogEntry> Database::Tables() const {
  std::vector<CatalogEntry> tables;
  for (const auto& entry : catalog_)
    if (entry.IsTable()) tables.push_back(entry);
  std::stable_sort(tables.begin(), tables.end(), [](const CatalogEntry& a, const CatalogEntry& b) {
    const int order = CompareNames(a.name, b.name);
    if (order != 0) return order < 0;
    return a.name != b.name ? a.name < b.name : a.id < b.id;
  });
  return tables;
}

const CatalogEntry* Database::FindTable(const std::string& table_name) const {
  const CatalogEntry* found = nullptr;
  for (const auto& entry : catalog_) {
    if (!entry.IsTable()) continue;
    if (entry.name == table_name) return &entry;
    if (!found && CompareNames(entry.name, table_name) == 0) found = &entry;
  }
  return found;
}

TableDefinition Database::ReadDamagedTableDefinition(std::uint32_t tdef_page, DefinitionSalvage& salvage) const {
  return DecodeColumnsOfDamagedDefinition(ReadTdefStreamUntilDamage(*file_, tdef_page), header_.version,
                                          header_.code_page, file_->name(), salvage);
}

TableDefinition Database::ReadTableDefinition(std::uint32_t tdef_page) const {
  return jet::ReadTableDefinition(*file_, header_.version, header_.code_page, tdef_page);
}

io::ByteView Database::RowBytes(RowPointer pointer) const {
  const DataPage page(file_->PageOrPart(pointer.page), constants());
  return page.RowBytes(pointer.row);
}

std::vector<std::uint32_t> Database::UsageMapPages(RowPointer map) const {
  const UsageMap decoded = DecodeUsageMap(RowBytes(map));
  return jet::UsageMapPages(decoded, constants(), file_->page_count(),
                            [this](std::uint32_t page) { return file_->Page(page); });
}

std::vector<std::uint32_t> Database::TableDataPages(const TableDefinition& table, bool all_owned_pages) const {
  std::vector<std::uint32_t> pages;
  if (all_owned_pages) {
    const auto& owned = OwnedPages();
    auto at = std::lower_bound(owned.begin(), owned.end(), std::make_pair(table.tdef_page, std::uint32_t{0}));
    for (; at != owned.end() && at->first == table.tdef_page; ++at) pages.push_back(at->second);
    return pages;
  }
  for (std::uint32_t page : UsageMapPages(table.owned_map)) {
    const io::ByteView bytes = file_->Page(page);
    if (bytes.U8(0) == static_cast<std::uint8_t>(PageType::Data) && bytes.U32(4) == table.tdef_page)
      pages.push_back(page);
  }
  return pages;
}

const std::vector<std::pair<std::uint32_t, std::uint32_t>>& Database::OwnedPages() const {
  if (owned_pages_) return *owned_pages_;
  // A cut last page counts too: the rows that remain whole on it are read.
  const std::uint32_t pages = file_->page_count() + (file_->has_partial_page() ? 1 : 0);
  std::vector<bool> free(pages, false);
  try {
    for (std::uint32_t page : UsageMapPages(RowPointer{1, 0})) free[page] = true;
  } catch (const vondrel::Error&) {
    std::fill(free.begin(), free.end(), false);  // no global map: every page counts
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> owned;
  for (std::uint32_t page = 3; page < pages; ++page) {
    if (free[page]) continue;
    const io::ByteView bytes = file_->PageOrPart(page);
    if (!bytes.Contains(0, 8) || bytes.U8(0) != static_cast<std::uint8_t>(PageType::Data) || bytes.U8(1) != 0x01)
      continue;
    owned.emplace_back(bytes.U32(4), page);
  }
  std::sort(owned.begin(), owned.end());
  owned_pages_ = std::move(owned);
  return *owned_pages_;
}

std::optional<std::vector<std::uint32_t>> Database::NamedPages(const TableDefinition& table) const {
  try {
    const UsageMap map = DecodeUsageMap(RowBytes(table.owned_map));
    return jet::UsageMapPages(map, constants(), file_->page_count() + kPagesPastTheEnd,
                              [this](std::uint32_t page) { return file_->Page(page); });
  } catch (const vondrel::Error&) {
    return std::nullopt;
  }
}

std::optional<std::vector<std::uint32_t>> Database::MapDataPages(const TableDefinition& table) const {
  std::optional<std::vector<std::uint32_t>> named = NamedPages(table);
  if (!named) return std::nullopt;
  for (std::uint32_t page : *named)
    if (!file_->HasPage(page)) return std::nullopt;
  return named;
}

SalvagePages Database::SalvageDataPages(const TableDefinition& table) const {
  SalvagePages out;
  std::optional<std::vector<std::uint32_t>> map_pages = NamedPages(table);
  out.map_unreadable = !map_pages;
  const std::vector<std::uint32_t> named = map_pages ? std::move(*map_pages) : std::vector<std::uint32_t>{};
  // Live rows are counted in the same pass, each page read once.
  std::uint64_t live_rows = 0;
  for (std::uint32_t page : named) {
    if (!file_->HasPageOrPart(page)) {
      out.foreign_pages.push_back(page);
      continue;
    }
    const io::ByteView bytes = file_->PageOrPart(page);
    if (bytes.Contains(0, 8) && bytes.U8(0) == static_cast<std::uint8_t>(PageType::Data) &&
        bytes.U32(4) == table.tdef_page) {
      out.pages.push_back(page);
      live_rows += LiveRowSlots(bytes);
    } else {
      out.foreign_pages.push_back(page);
    }
  }
  // A map that still decodes may name too few pages (a swapped map page
  // holding another table's map): fewer live rows than the definition counts
  // make the owned pages worth a look. Sound files keep counts at or below
  // the live rows, so they never get here.
  const bool short_of_rows =
      !out.map_unreadable && out.foreign_pages.empty() && table.row_count > 0 && live_rows < table.row_count;
  if (!out.map_unreadable && out.foreign_pages.empty() && !short_of_rows) return out;
  // The map cannot be trusted: add every page the table owns.
  const auto& owned = OwnedPages();
  auto it = std::lower_bound(owned.begin(), owned.end(), std::make_pair(table.tdef_page, std::uint32_t{0}));
  for (; it != owned.end() && it->first == table.tdef_page; ++it) {
    if (!std::binary_search(out.pages.begin(), out.pages.end(), it->second)) out.recovered_pages.push_back(it->second);
  }
  out.map_incomplete = short_of_rows && !out.recovered_pages.empty();
  out.pages.insert(out.pages.end(), out.recovered_pages.begin(), out.recovered_pages.end());
  std::sort(out.pages.begin(), out.pages.end());
  return out;
}

std::uint64_t Database::LiveRowSlots(io::ByteView data_page) const {
  try {
    return DataPage(data_page, constants()).live_row_count();
  } catch (const vondrel::Error&) {
    return 0;  // an unreadable page holds no rows a scan could deliver
  }
}

io::ByteView Database::ResolveRow(RowPointer listed, RowPointer& actual) const {
  actual = listed;
  for (int hop = 0;; ++hop) {
    const DataPage page(file_->PageOrPart(actual.page), constants());
    const RowSlot slot = page.Slot(actual.row);
    io::ByteView bytes = page.bytes().Sub(slot.start, slot.size(), "row");
    if (!slot.overflow()) return bytes;
    if (hop >= kMaxOverflowHops) bytes.Fail("overflow rows point at each other without end");
    actual = OverflowTarget(bytes);
  }
}

void Database::ReadLongValue(const io::ByteView& field, std::vector<std::uint8_t>& out) const {
  AssembleLongValue(
      field, [this](RowPointer pointer) { return RowBytes(pointer); }, file_->file_size(), out);
}

std::vector<std::uint8_t> Database::ReadLongValue(const io::ByteView& field) const {
  std::vector<std::uint8_t> out;
  ReadLongValue(field, out);
  return out;
}

void Database::ScanRows(const TableDefinition& table, const std::function<bool(const Row&)>& visit,
                        const ScanOptions& options) const {
  std::vector<std::uint32_t> own_pages;
  if (!options.pages) own_pages = TableDataPages(table);
  const std::vector<std::uint32_t>& pages = options.pages ? *options.pages : own_pages;
  RowStructure structure;
  std::vector<StoredField> fields;
  std::vector<std::vector<std::uint8_t>> long_values(table.columns.size());
  const LongValueRowFetcher fetch_row = [this](RowPointer pointer) { return RowBytes(pointer); };
  std::vector<std::size_t> long_value_positions;  // looked at in every row: found once
  for (std::size_t k = 0; k < table.columns.size(); ++k)
    if (IsLongValueType(table.columns[k].type)) long_value_positions.push_back(k);
  const FormatConstants& c = constants();
  // Catalog rows must also read as objects (see CatalogRowFault).
  const bool catalog = table.tdef_page == kCatalogTdefPage;
  for (std::uint32_t page_number : pages) {
    // The page's bytes stay valid while its rows are visited, and so does
    // whatever a row's visit reads until the next row.
    const io::ReadHold page_hold(*file_);
    std::optional<DataPage> readable;
    try {
      readable.emplace(file_->PageOrPart(page_number), c);
    } catch (const vondrel::Error& error) {
      if (!options.on_damaged_page) throw;
      options.on_damaged_page(page_number, error);
      continue;
    }
    const DataPage& page = *readable;
    if (options.on_page) options.on_page(page_number, page);
    for (std::uint32_t slot_number = 0; slot_number < page.row_count(); ++slot_number) {
      const RowPointer listed{page_number, static_cast<std::uint8_t>(slot_number)};
      const io::ReadHold row_hold(*file_);
      Row row;
      row.listed_at = listed;
      row.table = &table;
      try {
        const std::uint16_t entry = page.RawEntry(slot_number);
        if ((entry & kRowDeletedFlag) && !(options.moved_rows && options.moved_rows->count(listed))) continue;
        // Most rows lie on the page that lists them: read them from the page at hand.
        const RowSlot slot = page.Slot(slot_number);
        if (!slot.overflow()) {
          row.pointer = listed;
          row.bytes = page.bytes().Sub(slot.start, slot.size(), "row");
        } else {
          row.bytes = ResolveRow(listed, row.pointer);
        }
        DecodeRow(row.bytes, table, structure, fields);
        if (catalog) {
          if (const std::optional<std::string> fault = CatalogRowFault(table, fields)) row.bytes.Fail(*fault);
        }
      } catch (const vondrel::Error& error) {
        if (options.on_mended_row && DecodeRowMendingOffsets(row.bytes, table, structure, fields) &&
            !(catalog && CatalogRowFault(table, fields))) {
          options.on_mended_row(listed, error);
        } else {
          if (!options.on_damaged_row) throw;
          options.on_damaged_row(listed, error);
          continue;
        }
      }
      if (options.assemble_long_values) {
        for (std::size_t k : long_value_positions)
          AssembleLongValueField(table, k, row.pointer, fields[k], fetch_row, long_values[k], options);
      }
      row.fields = fields;
      if (!visit(row)) return;
    }
  }
}

void Database::AssembleLongValueField(const TableDefinition& table, std::size_t k, RowPointer pointer,
                                      StoredField& field, const LongValueRowFetcher& fetch,
                                      std::vector<std::uint8_t>& joined, const ScanOptions& options) const {
  if (field.is_null) return;
  try {
    if (const auto piece = LongValueInOnePiece(field.bytes, fetch, file_->file_size())) {
      field.bytes = *piece;
    } else {
      AssembleLongValue(field.bytes, fetch, file_->file_size(), joined);
      field.bytes = io::ByteView(joined.data(), joined.size(), field.bytes.source());
    }
  } catch (const vondrel::Error& error) {
    if (!options.on_damaged_value) throw;
    field.is_null = true;
    field.damaged = true;
    field.bytes = io::ByteView();
    options.on_damaged_value(pointer, table.columns[k], error);
  }
}

void Database::AssembleLongValuesApart(const TableDefinition& table, RowPointer pointer, std::span<StoredField> fields,
                                       LongValueBuffers& buffers, const ScanOptions& options) const {
  buffers.columns.resize(table.columns.size());
  for (std::size_t k = 0; k < table.columns.size() && k < fields.size(); ++k) {
    if (!IsLongValueType(table.columns[k].type)) continue;
    // Errors name the page the row was read from, as they do in a scan.
    const io::ByteView& stored = fields[k].bytes;
    fields[k].bytes = io::ByteView(stored.data(), stored.size(), io::ByteSource{&file_->name(), pointer.page});
    LongValueBuffers::Column& column = buffers.columns[k];
    const LongValueRowFetcher fetch = [&](RowPointer row) {
      if (column.page_number != row.page) {
        column.page_number = -1;  // until the copy succeeds
        file_->CopyPage(row.page, column.page);
        column.page_number = row.page;
      }
      const io::ByteView page(column.page.data(), column.page.size(), io::ByteSource{&file_->name(), row.page});
      return DataPage(page, constants()).RowBytes(row.row);
    };
    AssembleLongValueField(table, k, pointer, fields[k], fetch, column.value, options);
  }
}

std::uint64_t Database::CountRows(const TableDefinition& table) const {
  std::uint64_t count = 0;
  ScanOptions options;
  options.assemble_long_values = false;
  ScanRows(
      table,
      [&](const Row&) {
        ++count;
        return true;
      },
      options);
  return count;
}

std::string Database::DecodeText(std::span<const std::uint8_t> bytes) const {
  if (header_.version == FormatVersion::Jet3) return DecodeJet3Text(bytes, header_.code_page);
  return DecodeJet4Text(bytes);
}

}  // namespace jet
