#pragma once
// Assembles a whole database file: the header, the global usage map, every
// table's definition, rows, long values, indexes and usage maps. Tables are
// declared first (their TDEF pages are reserved at once, MSysObjects first so
// that it lands on page 2), then filled one at a time, then Commit() writes the
// usage maps and the final definitions and flushes the file.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "jet/format/header_encode.h"
#include "jet/write/page_sink.h"
#include "jet/write/table_builder.h"

namespace jet::write {

class DatabaseBuilder {
 public:
  // source_header: the unmasked page 0 of the database being rewritten, if any.
  DatabaseBuilder(const std::filesystem::path& path, const encode::HeaderSettings& settings,
                  std::optional<encode::Bytes> source_header = std::nullopt);

  // Declares a table and reserves its TDEF pages; returns its TDEF page, which
  // is also its MSysObjects Id. Long-value trailer entries are made for every
  // memo/OLE column.
  std::uint32_t DeclareTable(TableDefinition table);

  // The declared definition of the table whose TDEF page this is.
  const TableDefinition& Table(std::uint32_t tdef_page) const;
  TableDefinition& MutableTable(std::uint32_t tdef_page);
  const std::vector<std::uint32_t>& tables() const { return order_; }

  // Memory each table's index entries may take before they spill to a
  // temporary file (the output is the same either way).
  void SetIndexMemoryBudget(std::size_t bytes) { index_memory_budget_ = bytes; }

  // Starts writing the rows of a declared table; the previous table must be finished.
  TableBuilder& BeginRows(std::uint32_t tdef_page);
  // Discards the rows written since BeginRows (their pages are reused) and
  // returns a fresh builder for the same table: the file is as if the first
  // attempt had never been made.
  TableBuilder& RestartRows();
  // Writes the table's last pages and index trees; returns what was written.
  const TableResult& EndRows();

  // Writes the rows of several tables at once, so that their pages
  // interleave in the file as they fill, the way a database in use grows
  // (files for testing and measuring the reading of aged databases). Each
  // table so begun is ended by EndRows(tdef_page); BeginRows waits for all.
  TableBuilder& BeginRowsAlongside(std::uint32_t tdef_page);
  void EndRows(std::uint32_t tdef_page);

  // Writes what remains and flushes the file to disk. Without a successful
  // Commit the file is removed when the builder is destroyed.
  void Commit();

  FormatVersion version() const { return settings_.version; }
  std::size_t page_size() const { return sink_.page_size(); }
  std::uint32_t page_count() const { return sink_.page_count(); }

 private:
  struct Slot {
    TableDefinition table;
    std::size_t stream_length = 0;
    std::vector<std::uint32_t> tdef_pages;
    std::optional<TableResult> result;
  };
  Slot& Find(std::uint32_t tdef_page);
  const Slot& Find(std::uint32_t tdef_page) const;
  void WriteUsageMapsAndDefinitions();
  void WriteGlobalMap();

  encode::HeaderSettings settings_;
  std::optional<encode::Bytes> source_header_;
  PageSink sink_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<std::uint32_t> order_;
  std::unique_ptr<TableBuilder> current_;
  Slot* current_slot_ = nullptr;
  std::vector<std::pair<Slot*, std::unique_ptr<TableBuilder>>> alongside_;
  std::size_t index_memory_budget_ = kDefaultIndexMemoryBudget;
  std::uint32_t rows_first_page_ = 0;  // the sink's page count at BeginRows
};

}  // namespace jet::write
