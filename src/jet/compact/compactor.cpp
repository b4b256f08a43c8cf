#include "jet/compact/compactor.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "base/error.h"
#include "base/large_blocks.h"
#include "jet/compact/catalog_name_check.h"
#include "jet/compact/compact_error_table.h"
#include "jet/compact/definition_owner.h"
#include "jet/compact/definition_repair.h"
#include "jet/compact/id_remap.h"
#include "jet/compact/loss_log.h"
#include "jet/compact/lost_objects.h"
#include "jet/compact/source_keys.h"
#include "jet/compact/table_copier.h"
#include "jet/compact/table_progress.h"
#include "jet/format/page_cipher_encode.h"
#include "jet/io/error_numbers.h"
#include "jet/io/write_failure.h"
#include "jet/read/database.h"
#include "jet/read/index_reader.h"
#include "jet/read/moved_rows.h"
#include "jet/write/database_builder.h"
#include "jet/write/system_tables.h"

namespace jet::compact {
namespace {

struct SourceTable {
  std::string name;
  TableDefinition definition;
  std::uint32_t new_page = 0;
  SalvagePages pages;
  bool pages_unchecked = false;  // as the map names them, checked while they are read
  std::set<RowPointer> moved_rows;  // copies whose lost pointer the indexes vouch for, read where they lie
};

// Thrown when the pages a usage map names, checked as they are read, are not
// all the table's own or hold fewer rows than its definition counts: the
// pass is abandoned for one that checks every table's pages first.
struct PagesNeedChecking {};

// Checks the pages a table's map names as the copy reads them; a table
// copied over again reads its pages again.
class PageCheck {
 public:
  PageCheck(std::uint32_t file_pages, std::uint32_t owner) : seen_(file_pages, false), owner_(owner) {}

  void See(std::uint32_t page, const DataPage& data) {
    if (data.owner() != owner_) throw PagesNeedChecking{};  // never copy another table's rows
    if (page >= seen_.size() || seen_[page]) return;
    seen_[page] = true;
    ++pages_;
    live_rows_ += data.live_row_count();
  }
  // After the copy: every named page read, and rows enough. A pass that has
  // met damage already ends in the salvage anyway.
  void Finish(std::size_t named_pages, std::uint64_t row_count, const LossLog& losses) const {
    if (losses.empty() && (pages_ != named_pages || live_rows_ < row_count)) throw PagesNeedChecking{};
  }

 private:
  std::vector<bool> seen_;
  std::uint32_t owner_;
  std::size_t pages_ = 0;
  std::uint64_t live_rows_ = 0;
};

std::string VersionName(FormatVersion version) { return version == FormatVersion::Jet3 ? "Jet 3" : "Jet 4"; }

// Permissions of a table the engine creates, as the writer gives new tables:
// users, the creator and admins (SID, rights).
struct AceRow {
  std::uint8_t sid_a, sid_b;
  std::int32_t acm;
};
constexpr AceRow kNewTableAces[] = {{0x02, 0x04, 983294}, {0x03, 0x01, 1048575}, {0x02, 0x01, 1048319}};

class Compaction {
 public:
  // A pass that records losses always checks the pages first.
  Compaction(const Database& db, const std::filesystem::path& destination, bool record, bool check_pages_first,
             const CompactOptions& options)
      : db_(db),
        destination_(destination),
        record_(record),
        check_pages_first_(record || check_pages_first),
        options_(options) {}

  // The statistics, or nothing when this pass met losses without recording
  // them (the output is then discarded and the caller runs a recording pass).
  // Throws PagesNeedChecking when pages checked as they are read fail.
  std::optional<CompactStatistics> Run();

 private:
  void TakeSettings();
  void NoteOpenLosses();
  void ReadDefinitions();
  IdRemap DeclareTables(write::DatabaseBuilder& builder);
  void CopyTable(write::DatabaseBuilder& builder, const IdRemap& remap, SourceKeyCache& source_keys, SourceTable& t,
                 std::uint32_t table_number, CompactStatistics& stats);
  void TakeMovedRows(SourceTable& t);
  std::optional<TableDefinition> ReadDamagedDefinition(const CatalogEntry& entry, std::uint32_t page,
                                                       const vondrel::Error& error);
  void AddErrorTableCatalogRow(write::TableBuilder& rows, const TableDefinition& catalog);
  void AddErrorTableAces(write::TableBuilder& rows, const TableDefinition& aces);
  std::uint64_t WriteErrorRows(write::TableBuilder& rows, const TableDefinition& table);
  encode::Bytes MaskedSid(std::uint8_t a, std::uint8_t b) const;

  const Database& db_;
  const std::filesystem::path& destination_;
  const bool record_;
  const bool check_pages_first_;
  const CompactOptions& options_;
  LossLog losses_;
  encode::HeaderSettings settings_;
  std::optional<encode::Bytes> source_header_;
  std::uint32_t sid_key_ = 0;
  std::vector<SourceTable> tables_;
  LostObjects lost_;
  std::uint32_t error_table_page_ = 0;
};

void Compaction::NoteOpenLosses() {
  const DatabaseHeader& header = db_.header();
  if (db_.header_inferred()) {
    std::string what = "The database header (page 0) was damaged and was rebuilt: " + VersionName(header.version) +
                       " with " + std::to_string(header.constants().page_size) + "-byte pages, as the page layout shows";
    if (!db_.header_repair().empty())
      what = "The database header (page 0) was damaged: " + db_.header_repair();
    else if (header.unmasked_page.empty())
      what += "; code page " + std::to_string(header.code_page) + " and sort order " +
              std::to_string(header.sort_order) + " are the defaults of the version, and permissions may need resetting";
    else
      what += "; its database key was not usable and the pages are read unencoded";
    losses_.Add({LossKind::Header, errors::kCorrupt, what + ".", "", {}, false});
  }
  for (const OpenLoss& loss : db_.open_losses())
    losses_.Add({loss.row ? LossKind::Row : LossKind::Page, loss.code, loss.description, "MSysObjects", loss.where,
                 !loss.where.IsNull()});
  for (const SuspectCatalogRow& row : CatalogRowsDisagreeingWithIndex(db_)) {
    losses_.Add({LossKind::Object, errors::kCorrupt,
                 "The catalog row at page " + std::to_string(row.at.page) + ", row " + std::to_string(row.at.row) +
                     " names the object " + row.name +
                     ", which the catalog's index on names does not hold: the name (or that index) was damaged, and "
                     "the object is carried over under this name.",
                 "MSysObjects", row.at, true});
  }
}

// The columns of a definition that cannot be read whole, where its column
// descriptors still can: the rows stay readable. Names that cannot be read
// are made up and the indexes are left out, each recorded.
std::optional<TableDefinition> Compaction::ReadDamagedDefinition(const CatalogEntry& entry, std::uint32_t page,
                                                                 const vondrel::Error& error) {
  DefinitionSalvage salvage;
  try {
    TableDefinition definition = db_.ReadDamagedTableDefinition(page, salvage);
    // Without a column there is no row to keep: the table is lost.
    if (definition.columns.empty()) throw vondrel::Error(errors::kCorrupt, "no column of it could be read");
    std::string what = "The definition of " + entry.name + " was damaged (" + error.description() + ")";
    if (!salvage.named.empty()) {
      std::string names;
      for (const std::string& name : salvage.named) names += (names.empty() ? "" : ", ") + name;
      what += salvage.names_read == 0
                  ? "; the names of its columns could not be read, and they are named " + names
                  : "; the names of its columns after the first " + std::to_string(salvage.names_read) +
                        " could not be read, and those columns are named " + names;
    }
    if (salvage.indexes_lost) what += "; its indexes could not be read and are left out";
    losses_.Add({LossKind::Object, errors::kCorrupt, what + ".", entry.name, {page, 0}, true});
    return definition;
  } catch (const vondrel::Error&) {
    return std::nullopt;  // the columns themselves are unreadable: the table is lost as reported
  }
}

void Compaction::ReadDefinitions() {
  // Every local table, the catalog first so that it lands on page 2 again,
  // then by definition page, which keeps a second compaction identical.
  std::map<std::uint32_t, const CatalogEntry*> pages;
  for (const CatalogEntry& entry : db_.catalog()) {
    if (entry.IsTable() && entry.TdefPage() != kCatalogTdefPage) pages.emplace(entry.TdefPage(), &entry);
  }
  struct Unreadable {
    std::int32_t code = 0;
    std::string why;
  };
  std::vector<DefinitionRead> reads;
  std::vector<Unreadable> unreadable;  // for each read without a definition
  reads.push_back({"MSysObjects", kCatalogTdefPage, object_flags::kEngineSystem, db_.catalog_definition()});
  unreadable.emplace_back();
  for (const auto& [page, entry] : pages) {
    // A table left by an earlier repair makes way for this repair's own.
    if (record_ && SameName(entry->name, kCompactErrorTableName)) {
      lost_.Add(page, entry->name);
      continue;
    }
    reads.push_back({entry->name, page, entry->flags, std::nullopt});
    unreadable.emplace_back();
    try {
      reads.back().definition = db_.ReadTableDefinition(page);
    } catch (const vondrel::Error& error) {
      unreadable.back() = {error.number(), error.description()};
      if (record_) reads.back().definition = ReadDamagedDefinition(*entry, page, error);
    }
  }
  for (const DefinitionMismatch& m : MatchDefinitionsToPages(db_, reads)) {
    const DefinitionRead& read = reads[m.table];
    if (m.exchanged) {
      losses_.Add({LossKind::Object, errors::kCorrupt,
                   "The definition of " + read.name + " was found on page " + std::to_string(reads[m.other].page) +
                       ", the page of " + reads[m.other].name + ", whose own definition was on page " +
                       std::to_string(read.page) + "; each table was read with its own.",
                   read.name, {read.page, 0}, true});
    } else {
      unreadable[m.table] = {errors::kCorrupt, "page " + std::to_string(read.page) +
                                                   " holds the definition of another table"};
    }
  }
  for (std::size_t i = 0; i < reads.size(); ++i) {
    DefinitionRead& read = reads[i];
    try {
      if (!read.definition) throw vondrel::Error(unreadable[i].code, unreadable[i].why);
      SourceTable table{read.name, std::move(*read.definition), 0, {}, false, {}};
      for (const std::string& repair : RepairDefinition(table.definition)) {
        losses_.Add({LossKind::Object, errors::kCorrupt,
                     "The definition of " + read.name + " was damaged: " + repair + ".", read.name, {read.page, 0},
                     true},
                    repair);
      }
      // Reading every data page up front costs a pass over the file; unless
      // asked for, a map that decodes is taken as it stands and its pages
      // are checked as the copy reads them.
      std::optional<std::vector<std::uint32_t>> named;
      if (!check_pages_first_) named = db_.MapDataPages(table.definition);
      if (named) {
        table.pages.pages = std::move(*named);
        table.pages_unchecked = true;
      } else {
        table.pages = db_.SalvageDataPages(table.definition);
      }
      tables_.push_back(std::move(table));
    } catch (const vondrel::Error& error) {
      if (read.page == kCatalogTdefPage) throw;
      lost_.Add(read.page, read.name);
      losses_.Add({LossKind::Table, error.number(),
                   "The table " + read.name + " was lost: its definition cannot be read (" + error.description() + ").",
                   read.name, {read.page, 0}, true});
    }
  }
  for (const SourceTable& t : tables_) {
    for (std::uint32_t page : t.pages.foreign_pages) {
      const bool missing = !db_.file().HasPage(page);
      losses_.Add({LossKind::Page, errors::kCorrupt,
                   "Page " + std::to_string(page) + ", listed as a data page of " + t.name +
                       (missing ? ", lies past the end of the file" : ", is not one") +
                       "; whatever rows it held are lost.",
                   t.name, {page, 0}, true});
    }
  }
}

encode::Bytes Compaction::MaskedSid(std::uint8_t a, std::uint8_t b) const {
  encode::Bytes sid{a, b};
  if (settings_.version == FormatVersion::Jet4) encode::ApplySidMask(sid_key_, sid.data(), sid.size());
  return sid;
}

void Compaction::AddErrorTableCatalogRow(write::TableBuilder& rows, const TableDefinition& catalog) {
  NamedRow row(catalog);
  row.Set("Id", StoredLong(static_cast<std::int32_t>(error_table_page_)));
  row.Set("ParentId", StoredLong(write::kTablesContainerId));
  row.Set("Name", StoredText(kCompactErrorTableName, settings_.version, settings_.code_page, true, 0));
  row.Set("Type", StoredInteger(object_types::kTable));
  row.Set("DateCreate", StoredDouble(settings_.creation_date));
  row.Set("DateUpdate", StoredDouble(settings_.creation_date));
  row.Set("Owner", MaskedSid(0x02, 0x03));
  row.Set("Flags", StoredLong(static_cast<std::int32_t>(kCompactErrorObjectFlags)));
  rows.AddRow(row.values());
}

void Compaction::AddErrorTableAces(write::TableBuilder& rows, const TableDefinition& aces) {
  for (const AceRow& ace : kNewTableAces) {
    NamedRow row(aces);
    row.Set("ObjectId", StoredLong(static_cast<std::int32_t>(error_table_page_)));
    row.Set("SID", MaskedSid(ace.sid_a, ace.sid_b));
    row.Set("ACM", StoredLong(ace.acm));
    row.SetBoolean("FInheritable", false);
    rows.AddRow(row.values());
  }
}

std::uint64_t Compaction::WriteErrorRows(write::TableBuilder& rows, const TableDefinition& table) {
  std::uint64_t written = 0;
  for (const Loss& loss : losses_.losses()) {
    NamedRow row(table);
    FillErrorRow(row, loss, settings_.version, settings_.code_page);
    rows.AddRow(row.values());
    ++written;
  }
  for (const auto& [table_name, count] : losses_.unlisted()) {
    NamedRow row(table);
    FillErrorRow(row,
                 {LossKind::Object, errors::kCorrupt,
                  std::to_string(count) + " further losses in this table are not listed one by one.", table_name, {},
                  false},
                 settings_.version, settings_.code_page);
    rows.AddRow(row.values());
    ++written;
  }
  return written;
}

void Compaction::TakeSettings() {
  const DatabaseHeader& header = db_.header();
  settings_.version = header.version;
  settings_.code_page = header.code_page;
  settings_.sort_order = header.sort_order;
  settings_.sort_order_version = header.sort_order_version;
  settings_.database_key = header.database_key;
  settings_.creation_date = header.creation_date;
  if (header.unmasked_page.size() == header.constants().page_size) source_header_ = header.unmasked_page;
  if (settings_.version == FormatVersion::Jet4) {
    const encode::Bytes written = encode::BuildHeaderPage(settings_, source_header_ ? &*source_header_ : nullptr);
    sid_key_ = encode::SidMaskKey(written.data(), written.size());
  }
}

// Declares every table that can be written (a table whose definition cannot
// be is lost) and the error table of a recording pass, and points
// relationship indexes at the new pages.
IdRemap Compaction::DeclareTables(write::DatabaseBuilder& builder) {
  IdRemap remap;
  for (auto it = tables_.begin(); it != tables_.end();) {
    try {
      TableDefinition written = it->definition;
      ArrangeSlotsForWriting(written);
      it->new_page = builder.DeclareTable(std::move(written));
      remap.Add(it->definition.tdef_page, it->new_page);
      ++it;
    } catch (const io::WriteFailure&) {
      throw;
    } catch (const vondrel::Error& error) {
      if (it->definition.tdef_page == kCatalogTdefPage) throw;
      lost_.Add(it->definition.tdef_page, it->name);
      losses_.Add({LossKind::Table, error.number(),
                   "The table " + it->name + " was lost: its definition cannot be written (" + error.description() + ").",
                   it->name, {it->definition.tdef_page, 0}, true});
      it = tables_.erase(it);
    }
  }
  for (const SourceTable& t : tables_) {
    if (SameName(t.name, "MSysRelationships")) lost_.FindRelationships(db_, &t.definition);
  }
  if (record_) {
    error_table_page_ =
        builder.DeclareTable(CompactErrorDefinition(settings_.version, settings_.code_page, settings_.sort_order));
  }
  // Relationship indexes name the other table by its definition page; those
  // naming a lost table become plain indexes.
  for (SourceTable& t : tables_) {
    for (LogicalIndexDefinition& logical : builder.MutableTable(t.new_page).logical_indexes) {
      if (logical.related_table_page == 0) continue;
      if (lost_.IsLostPage(logical.related_table_page)) {
        DetachRelationship(logical);
        continue;
      }
      logical.related_table_page = remap.Page(logical.related_table_page);
    }
  }
  return remap;
}

// A damaged page may have held the pointers to moved rows; the copies that
// the table's indexes still name are read where they lie, each recorded.
void Compaction::TakeMovedRows(SourceTable& t) {
  t.moved_rows.clear();
  for (const MovedRow& row : FindMovedRows(db_, t.definition, t.pages)) {
    t.moved_rows.insert(row.at);
    losses_.Add({LossKind::Page, errors::kCorrupt,
                 "the row of " + t.name + " at page " + std::to_string(row.at.page) + ", row " +
                     std::to_string(row.at.row) + " was moved there from page " + std::to_string(row.lost.page) +
                     ", row " + std::to_string(row.lost.row) +
                     ", which was lost with the pointer to it; the table's indexes name that row with this one's "
                     "keys, and it is read where it lies",
                 t.name, row.at, true},
                "moved");
  }
}

void Compaction::CopyTable(write::DatabaseBuilder& builder, const IdRemap& remap, SourceKeyCache& source_keys,
                           SourceTable& t, std::uint32_t table_number, CompactStatistics& stats) {
  std::optional<TableProgress> progress;
  if (options_.progress) {
    progress.emplace(options_.progress, t.name, table_number, static_cast<std::uint32_t>(tables_.size()),
                     t.pages.pages.size(), db_.file().page_count());
  }
  IdColumnRole role = IdColumnRole::None;
  if (t.definition.tdef_page == kCatalogTdefPage) role = IdColumnRole::CatalogId;
  else if (SameName(t.name, "MSysACEs")) role = IdColumnRole::AceObjectId;
  const bool catalog = t.definition.tdef_page == kCatalogTdefPage;
  if (record_ && !catalog) TakeMovedRows(t);
  write::TableBuilder& rows = builder.BeginRows(t.new_page);
  const TableDefinition& target = builder.Table(t.new_page);
  CopyJob job{.source = db_,
              .source_table = t.definition,
              .target_table = target,
              .id_role = role,
              .remap = remap,
              .source_keys = source_keys,
              .key_settings = KeySettingsOf(db_),
              .losses = &losses_,
              .table_name = t.name,
              .pages = &t.pages.pages,
              .moved_rows = catalog ? &db_.moved_catalog_rows() : &t.moved_rows,
              .keep = lost_.FilterFor(db_, t.definition, t.name),
              .check_keys = record_,
              .restart = {},
              .on_page = {}};
  // Only the clean pass starts a table over: `rows` is not used after the copy there.
  if (!record_) job.restart = [&builder]() -> write::TableBuilder& { return builder.RestartRows(); };
  std::optional<PageCheck> check;
  if (t.pages_unchecked) check.emplace(db_.file().page_count(), t.definition.tdef_page);
  if (check || progress) {
    job.on_page = [&check, &progress](std::uint32_t page, const DataPage& data) {
      if (check) check->See(page, data);
      if (progress) progress->See(page);
    };
  }
  const std::uint64_t copied = CopyTableRows(job, rows);
  if (check) check->Finish(t.pages.pages.size(), t.definition.row_count, losses_);
  stats.rows += copied;
  // With its map unreadable, a table's pages are found by their owner
  // field; fewer rows than the definition counts means pages went missing.
  if ((t.pages.map_unreadable || t.pages.map_incomplete) && copied < t.definition.row_count) {
    losses_.Add({LossKind::Object, errors::kCorrupt,
                 "The page map of " + t.name + (t.pages.map_unreadable ? " could not be read" : " was damaged") +
                     "; the pages found by their owner hold " +
                     std::to_string(copied) + " of the " + std::to_string(t.definition.row_count) +
                     " rows its definition counts, the rest are lost.",
                 t.name, {t.definition.tdef_page, 0}, true});
  }
  if (record_ && role == IdColumnRole::CatalogId) AddErrorTableCatalogRow(rows, target);
  if (record_ && role == IdColumnRole::AceObjectId) AddErrorTableAces(rows, target);
  const write::TableResult& written = builder.EndRows();
  // A pass without checking writes every row; a unique key written twice
  // shows where the index's sorted entries meet, and calls for the pass
  // that checks each row.
  if (!record_) {
    for (std::size_t r = 0; r < written.indexes.size(); ++r) {
      if (target.real_indexes.at(r).IsUnique() && written.indexes[r].repeated_keys > 0) {
        losses_.Add({LossKind::Object, 3022, "a unique index receives a key twice", t.name, {}, false});
        break;
      }
    }
  }
  if (progress) progress->Finish();
  ++stats.tables;
}

std::optional<CompactStatistics> Compaction::Run() {
  TakeSettings();
  NoteOpenLosses();
  ReadDefinitions();

  write::DatabaseBuilder builder(destination_, settings_, source_header_);
  // Index entries may take a sixty-fourth of the source's size on top of a
  // quarter of the default before they spill: a large table's indexes then
  // sort in memory in few runs, while the whole compaction (the entries and
  // their sorting room, a primary key's leaf pages held until the table
  // ends, the source's windows, the rows on their way to the file) stays
  // within 64 MiB and a tenth of the source's size.
  builder.SetIndexMemoryBudget(write::kDefaultIndexMemoryBudget / 4 + db_.file().file_size() / 64);
  const IdRemap remap = DeclareTables(builder);

  CompactStatistics stats;
  stats.source_pages = db_.file().page_count();
  SourceKeyCache source_keys(db_);
  std::uint32_t table_number = 0;
  for (SourceTable& t : tables_) {
    // A pass that does not record losses has failed at its first: the
    // recording pass starts without copying the rest, nor the rest of the
    // table where the loss was met.
    if (!record_ && !losses_.empty()) return std::nullopt;
    try {
      CopyTable(builder, remap, source_keys, t, ++table_number, stats);
    } catch (const LossEndsCopy&) {
      return std::nullopt;
    }
  }
  db_.file().CheckUnchanged();  // a source that shrank while read gave zeros somewhere
  if (!record_ && !losses_.empty()) return std::nullopt;  // the builder removes the file
  if (record_) {
    write::TableBuilder& rows = builder.BeginRows(error_table_page_);
    stats.errors_recorded = static_cast<std::uint32_t>(WriteErrorRows(rows, builder.Table(error_table_page_)));
    builder.EndRows();
    ++stats.tables;
  }
  builder.Commit();
  stats.destination_pages = builder.page_count();
  stats.rows_dropped = losses_.rows_dropped();
  stats.values_emptied = losses_.values_emptied();
  stats.tables_lost = losses_.tables_lost();
  stats.header_rebuilt = db_.header_inferred();
  return stats;
}

}  // namespace

CompactStatistics CompactDatabase(const std::filesystem::path& source, const std::filesystem::path& destination,
                                  const CompactOptions& options) {
  std::error_code ec;
  if (std::filesystem::exists(destination, ec) || std::filesystem::is_symlink(destination, ec)) {
    throw vondrel::Error(errors::kAlreadyExists, "Database " + destination.string() + " already exists.");
  }
  vondrel::ReturnLargeBlocksToTheSystem();  // memory stays bounded as buffers come and go
  OpenOptions open;
  open.salvage = true;
  const std::unique_ptr<Database> db = Database::Open(source, open);

  // A sound source is copied in one pass. When that pass meets damage, its
  // output is discarded and a second pass writes the salvage with the losses
  // recorded in MSysCompactError, whose catalog row must precede the tables.
  // The first pass takes the usage maps as they stand and checks each page
  // as it reads it; pages out of place there, or too few rows, call for a
  // pass that checks every table's pages first. A failure of the
  // destination's disk is no damage of the source: it ends the compaction.
  std::optional<vondrel::Error> first_failure;
  for (const bool check_pages_first : {false, true}) {
    try {
      Compaction clean(*db, destination, false, check_pages_first, options);
      if (std::optional<CompactStatistics> stats = clean.Run()) return *stats;
      break;
    } catch (const PagesNeedChecking&) {
      std::filesystem::remove(destination, ec);
    } catch (const io::WriteFailure&) {
      std::filesystem::remove(destination, ec);
      throw;
    } catch (const vondrel::Error& error) {
      if (error.number() == errors::kAlreadyExists) throw;
      std::filesystem::remove(destination, ec);
      first_failure = error;
      break;
    }
  }
  CompactStatistics salvaged = *Compaction(*db, destination, true, true, options).Run();
  if (salvaged.errors_recorded > 0) return salvaged;
  // The salvage found nothing to record, so what stopped the first pass was
  // not damage it can name: fail with that rather than hand over an error
  // table without rows.
  std::filesystem::remove(destination, ec);
  throw first_failure ? *first_failure : vondrel::Error(errors::kCorrupt, "The database could not be compacted.");
}

}  // namespace jet::compact
