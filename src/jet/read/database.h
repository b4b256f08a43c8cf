#pragma once
// An open Jet 3 / Jet 4 database file, read-only: header facts, the catalog,
// table definitions, rows and long values. Every byte it reads is
// bounds-checked; damage surfaces as vondrel::Error 3049 naming file and page.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "base/error.h"
#include "jet/format/data_page_decode.h"
#include "jet/format/header_decode.h"
#include "jet/format/long_value_decode.h"
#include "jet/format/row_decode.h"
#include "jet/format/table_definition.h"
#include "jet/format/tdef_decode.h"
#include "jet/io/file_lock.h"
#include "jet/io/page_file.h"
#include "jet/read/catalog.h"

namespace jet {

// One live row handed to a scan callback. Views stay valid only during the
// call (the scan holds the pages it and the callback read until then).
struct Row {
  RowPointer pointer;    // where the row's bytes are (the overflow target for moved rows)
  RowPointer listed_at;  // the slot the scan met (differs from pointer for overflow rows)
  const TableDefinition* table = nullptr;
  std::span<const StoredField> fields;  // in the order of table->columns
  io::ByteView bytes;                   // the whole stored row
};

struct ScanOptions {
  // Replace memo/OLE headers by the whole assembled value in StoredField::bytes.
  bool assemble_long_values = true;
  // Called for a row that cannot be decoded; the scan then goes on. Without
  // it the error is thrown.
  std::function<void(RowPointer, const vondrel::Error&)> on_damaged_row;
  // Called for a row whose variable-column offsets are inconsistent but
  // which reads in exactly one well-formed way (see row_mend.h); the row is
  // then delivered as read that way. Without it such a row is damaged.
  std::function<void(RowPointer, const vondrel::Error&)> on_mended_row;
  // Called for a memo/OLE value that cannot be assembled; the field becomes
  // NULL with `damaged` set and the row is still delivered. Without it the
  // error is thrown.
  std::function<void(RowPointer, const ColumnDefinition&, const vondrel::Error&)> on_damaged_value;
  // Called for a data page whose row table cannot be read (its rows are
  // lost); the scan then goes on. Without it the error is thrown.
  std::function<void(std::uint32_t page, const vondrel::Error&)> on_damaged_page;
  // Called with each data page that can be read, before its rows.
  std::function<void(std::uint32_t page, const DataPage& data_page)> on_page;
  // Visit exactly these data pages (e.g. SalvageDataPages) instead of the map's.
  const std::vector<std::uint32_t>* pages = nullptr;
  // Rows read although their slots are marked deleted: moved rows whose
  // pointer was lost with a damaged page (Database::moved_catalog_rows()).
  const std::set<RowPointer>* moved_rows = nullptr;
};

// Where long values assembled apart from a scan are kept (see
// Database::AssembleLongValuesApart), by column: the value when it had to be
// joined, and the page copied last, which holds a value in one piece and is
// read again only when another page is asked for.
struct LongValueBuffers {
  struct Column {
    std::vector<std::uint8_t> value;
    std::vector<std::uint8_t> page;
    std::int64_t page_number = -1;  // the page in `page`, -1 for none
  };
  std::vector<Column> columns;
};

struct OpenOptions {
  // Read a damaged file as far as it goes: a header that is not Jet's is
  // inferred from the page structure, catalog rows that cannot be decoded are
  // skipped, and a catalog whose page map is damaged is read by scanning the
  // pages it owns. What was lost is listed in Database::open_losses().
  bool salvage = false;
};

// Something a salvaging open could not read.
struct OpenLoss {
  std::int32_t code = 0;
  std::string description;
  RowPointer where;  // the damaged row or page (row 0); null when none
  bool row = false;  // a single row was lost (else a page or a structure)
};

// The data pages of a table as a salvaging reader finds them.
struct SalvagePages {
  std::vector<std::uint32_t> pages;           // ascending
  bool map_unreadable = false;                // the owned-pages map itself could not be read
  std::vector<std::uint32_t> foreign_pages;   // named by the map but not data pages of the table
  std::vector<std::uint32_t> recovered_pages; // owned by the table but missing from its map
  // The map decoded but its pages hold fewer live rows than the definition
  // counts, and pages the table owns outside it were added.
  bool map_incomplete = false;
};

class Database {
 public:
  // Opens a file read-only. Errors: 3024 missing, 3051 unreadable, 3343 not a
  // Jet 3 / Jet 4 file, 3031 password-protected, 3049 damaged beyond use.
  static std::unique_ptr<Database> Open(const std::filesystem::path& path, const OpenOptions& options = {});
  // The same over bytes in memory; `name` labels errors.
  static std::unique_ptr<Database> FromBytes(std::vector<std::uint8_t> bytes, std::string name,
                                             const OpenOptions& options = {});

  // A salvaging open: what could not be read, and whether page 0 was inferred.
  const std::vector<OpenLoss>& open_losses() const { return open_losses_; }
  bool header_inferred() const { return header_inferred_; }
  // With header_inferred(): what was wrong with a header that could still be
  // read (found elsewhere, a damaged password field); empty when page 0 was
  // rebuilt from the page layout or its database key was dropped.
  const std::string& header_repair() const { return header_repair_; }
  // The catalog's definition as read (or, when page 2 was unreadable in a
  // salvaging open, the standard layout, with catalog_rebuilt() set).
  const TableDefinition& catalog_definition() const { return catalog_definition_; }
  bool catalog_rebuilt() const { return catalog_rebuilt_; }

  const DatabaseHeader& header() const { return header_; }
  FormatVersion version() const { return header_.version; }
  const FormatConstants& constants() const { return ConstantsFor(header_.version); }
  const io::PageFile& file() const { return *file_; }
  const std::string& name() const { return file_->name(); }

  // Every MSysObjects row, in stored order.
  const std::vector<CatalogEntry>& catalog() const { return catalog_; }
  // Catalog rows of a salvaging open that were moved and whose pointer was
  // lost, read all the same (see catalog_moved_rows.cpp); a copy of the
  // catalog passes them as ScanOptions::moved_rows.
  const std::set<RowPointer>& moved_catalog_rows() const { return moved_catalog_rows_; }
  // The local tables (Type 1), system tables included, ordered by name
  // (case-insensitive ASCII, then byte order) and then Id. This is the order
  // of TableDefs.
  std::vector<CatalogEntry> Tables() const;
  // A table by name (case-insensitive), or null.
  const CatalogEntry* FindTable(const std::string& name) const;

  // Reads and decodes a table definition; throws 3049 when unusable.
  TableDefinition ReadTableDefinition(std::uint32_t tdef_page) const;
  TableDefinition ReadTableDefinition(const CatalogEntry& entry) const { return ReadTableDefinition(entry.TdefPage()); }
  // For salvage: what can still be read of a definition that
  // ReadTableDefinition refuses (see DecodeColumnsOfDamagedDefinition).
  TableDefinition ReadDamagedTableDefinition(std::uint32_t tdef_page, DefinitionSalvage& salvage) const;

  // The pages a usage-map row names (ascending, below the page count).
  std::vector<std::uint32_t> UsageMapPages(RowPointer map) const;
  // The data pages a scan visits: the owned-pages map of the table (only
  // pages whose owner is the table), or with `all_owned_pages` every data page
  // whose owner is the table and that the global map does not list as free.
  std::vector<std::uint32_t> TableDataPages(const TableDefinition& table, bool all_owned_pages = false) const;
  // The data pages of a table for a salvaging read. The map's pages when they
  // are all data pages of the table; otherwise (a damaged map, or one naming
  // other pages) the map's good pages together with every data page whose
  // owner is the table and that the global map does not list as free.
  SalvagePages SalvageDataPages(const TableDefinition& table) const;
  // The pages a table's usage map names, in the order SalvageDataPages
  // gives them for a sound table, when the map decodes and names only pages
  // within the file. The pages themselves are not read: whoever scans them
  // checks them (ScanOptions::on_page).
  std::optional<std::vector<std::uint32_t>> MapDataPages(const TableDefinition& table) const;
  // The bytes of one stored row, deleted or not; throws 3049 when absent.
  // Valid until the next page read, or for as long as an io::ReadHold of
  // file() that was opened before the call.
  io::ByteView RowBytes(RowPointer pointer) const;

  // Calls `visit` for every live row in page order, row order; overflow rows
  // are followed, deleted rows skipped. `visit` returns false to stop.
  void ScanRows(const TableDefinition& table, const std::function<bool(const Row&)>& visit,
                const ScanOptions& options = {}) const;
  // Assembles the memo/OLE values among `fields` as a scan assembling long
  // values does: `fields` are a row of `table` read by a scan without them,
  // from the bytes at `pointer` (Row::pointer). Each value replaces its
  // header; one that cannot be assembled goes to options.on_damaged_value,
  // without which the error is thrown. The pages are copied one by one
  // (PageFile::CopyPage) rather than read through windows, which suits rows
  // visited out of file order. The values stay valid while `buffers` is
  // neither used again nor destroyed.
  void AssembleLongValuesApart(const TableDefinition& table, RowPointer pointer, std::span<StoredField> fields,
                               LongValueBuffers& buffers, const ScanOptions& options) const;
  // Counts live rows (no field decoding beyond the structure check).
  std::uint64_t CountRows(const TableDefinition& table) const;

  // Assembles a memo/OLE value from its stored field (header + inline data).
  void ReadLongValue(const io::ByteView& field, std::vector<std::uint8_t>& out) const;
  std::vector<std::uint8_t> ReadLongValue(const io::ByteView& field) const;

  // Text (Text or Memo bytes) as UTF-8, in this database's encoding.
  std::string DecodeText(std::span<const std::uint8_t> bytes) const;

 private:
  Database(DatabaseHeader header, std::unique_ptr<io::PageFile> file);
  // The body of Open and FromBytes: the file mapped or in memory.
  static std::unique_ptr<Database> FromImage(io::FileImage image, std::string name, const OpenOptions& options);
  void LoadCatalog(bool salvage);
  std::set<RowPointer> FindMovedCatalogRows(const TableDefinition& objects, const std::vector<std::uint32_t>& pages,
                                            const std::set<RowPointer>& targets) const;
  // Data pages by owner, found by one pass over the file (salvaging reads).
  const std::vector<std::pair<std::uint32_t, std::uint32_t>>& OwnedPages() const;
  // The pages a table's usage map names, pages past the end of the file
  // included; nothing when the map cannot be read.
  std::optional<std::vector<std::uint32_t>> NamedPages(const TableDefinition& table) const;
  // Row slots not marked deleted on a data page (an unreadable one counts none).
  std::uint64_t LiveRowSlots(io::ByteView data_page) const;
  // Replaces a long value's header in `field` (column `k` of `table`) by
  // the value, reading rows with `fetch`; a value in one piece is used where
  // it lies, else joined in `joined`.
  void AssembleLongValueField(const TableDefinition& table, std::size_t k, RowPointer pointer, StoredField& field,
                              const LongValueRowFetcher& fetch, std::vector<std::uint8_t>& joined,
                              const ScanOptions& options) const;
  // Follows overflow pointers from a listed slot to the row's bytes.
  io::ByteView ResolveRow(RowPointer listed, RowPointer& actual) const;

  DatabaseHeader header_;
  std::unique_ptr<io::PageFile> file_;
  std::vector<CatalogEntry> catalog_;
  std::set<RowPointer> moved_catalog_rows_;
  std::vector<OpenLoss> open_losses_;
  bool header_inferred_ = false;
  std::string header_repair_;
  TableDefinition catalog_definition_;
  bool catalog_rebuilt_ = false;
  // (owner, page) pairs of every data page not listed as free, sorted; built on first use.
  mutable std::optional<std::vector<std::pair<std::uint32_t, std::uint32_t>>> owned_pages_;
  // Held while the database is open, so that Jet and our other engines see it in use.
  io::DatabaseFileLock lock_;
};

}  // namespace jet
