// The search for moved copies of a table's rows whose pointer was lost (see
// moved_rows.h): one pass over the table's pages, keys for the deleted rows
// that decode, and one walk of each index to see which lost slots hold them.
#include "jet/read/moved_rows.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "jet/format/data_page_decode.h"
#include "jet/format/index_page.h"
#include "jet/read/index_reader.h"

namespace jet {
namespace {

constexpr int kMaxPointerHops = 8;
constexpr std::uint32_t kMaxSlots = 256;  // a row pointer names slots 0-255

// What one pass over the table's pages found.
struct PageSurvey {
  bool damaged = false;
  std::set<std::uint32_t> readable;    // data pages of the table whose row table reads
  std::set<std::uint32_t> lost_pages;  // named by the map, but unreadable, another's or past the end
  std::set<RowPointer> lost_slots;     // listed on a readable page, their bytes unreadable
  std::set<RowPointer> targets;        // where any pointer leads, deleted pointers included
  std::vector<RowPointer> deleted;     // deleted slots that hold no pointer
};

// Adds every slot a pointer row leads to; false when the chain breaks.
bool FollowPointer(const Database& database, io::ByteView row, std::set<RowPointer>& targets) {
  const io::PageFile& file = database.file();
  try {
    for (int hop = 0; hop < kMaxPointerHops; ++hop) {
      const RowPointer at = OverflowTarget(row);
      targets.insert(at);
      if (!file.HasPageOrPart(at.page)) return false;
      const DataPage page(file.PageOrPart(at.page), database.constants());
      const RowSlot slot = page.Slot(at.row);
      if (!slot.overflow()) return true;
      row = page.bytes().Sub(slot.start, slot.size(), "row");
    }
  } catch (const vondrel::Error&) {
  }
  return false;
}

PageSurvey Survey(const Database& database, const TableDefinition& table, const SalvagePages& pages) {
  const io::PageFile& file = database.file();
  PageSurvey survey;
  survey.damaged = pages.map_unreadable || pages.map_incomplete || !pages.foreign_pages.empty();
  survey.lost_pages.insert(pages.foreign_pages.begin(), pages.foreign_pages.end());
  for (std::uint32_t number : pages.pages) {
    const io::ReadHold hold(file);
    std::optional<DataPage> page;
    try {
      page.emplace(file.PageOrPart(number), database.constants());
    } catch (const vondrel::Error&) {
      survey.damaged = true;
      survey.lost_pages.insert(number);
      continue;
    }
    if (page->owner() != table.tdef_page) {
      survey.damaged = true;
      survey.lost_pages.insert(number);
      continue;
    }
    survey.readable.insert(number);
    const std::uint32_t slots = std::min<std::uint32_t>(page->row_count(), kMaxSlots);
    for (std::uint32_t slot_number = 0; slot_number < slots; ++slot_number) {
      const RowPointer at{number, static_cast<std::uint8_t>(slot_number)};
      try {
        const RowSlot slot = page->Slot(slot_number);
        if (slot.overflow()) {
          const bool whole = FollowPointer(database, page->bytes().Sub(slot.start, slot.size(), "row"), survey.targets);
          if (!whole && !slot.deleted()) survey.damaged = true;
        } else if (slot.deleted()) {
          survey.deleted.push_back(at);
        }
      } catch (const vondrel::Error&) {
        survey.damaged = true;
        survey.lost_slots.insert(at);
      }
    }
  }
  return survey;
}

// Whether the slot an index entry names can no longer be read. A page the
// map does not name counts as lost only when it is not a data page of the
// table at all (index entries name live rows, which lie on such pages).
bool SlotLost(const Database& database, const TableDefinition& table, const PageSurvey& survey, RowPointer at) {
  if (survey.lost_slots.count(at) || survey.lost_pages.count(at.page)) return true;
  if (survey.readable.count(at.page)) return false;
  const io::PageFile& file = database.file();
  if (at.page == 0 || !file.HasPageOrPart(at.page)) return true;
  const io::ReadHold hold(file);
  try {
    return DataPage(file.PageOrPart(at.page), database.constants()).owner() != table.tdef_page;
  } catch (const vondrel::Error&) {
    return true;
  }
}

// An index gives evidence only for keys computed from the row alone.
bool KeyFromRowAlone(const TableDefinition& table, const RealIndexDefinition& index) {
  for (const IndexKeyColumn& key : index.columns) {
    const ColumnDefinition* column = table.FindColumn(key.column_number);
    if (!column || IsLongValueType(column->type)) return false;
  }
  return !index.columns.empty();
}

// Hands `sink` the entries of every index leaf of the table that the global
// map does not list as free, for an index whose walk broke off (a lost root
// or node page leaves leaves unreached). On the cut last page of a file only
// the entries wholly present count. With the global map unreadable nothing
// is read: a freed leaf keeps the stale entries it had.
void ReadStrayLeaves(const Database& database, const TableDefinition& table, const IndexEntrySink& sink) {
  const io::PageFile& file = database.file();
  std::set<std::uint32_t> free_pages;
  try {
    for (std::uint32_t page : database.UsageMapPages(RowPointer{1, 0})) free_pages.insert(page);
  } catch (const vondrel::Error&) {
    return;
  }
  const IndexPageLayout layout = IndexLayoutFor(database.version());
  const std::uint32_t pages = file.page_count() + (file.has_partial_page() ? 1 : 0);
  std::vector<std::uint8_t> whole(layout.page_size);
  for (std::uint32_t number = 1; number < pages; ++number) {
    if (free_pages.count(number)) continue;
    const io::ReadHold hold(file);
    const io::ByteView bytes = file.PageOrPart(number);
    if (!bytes.Contains(0, layout.first_entry_offset) || bytes.U8(0) != kIndexLeafPageType ||
        bytes.U32(4) != table.tdef_page || bytes.size() > whole.size())
      continue;
    std::fill(whole.begin(), whole.end(), std::uint8_t{0});
    std::copy(bytes.data(), bytes.data() + bytes.size(), whole.begin());
    IndexPage page;
    try {
      page = DecodeIndexPage(whole, layout);
    } catch (const vondrel::Error&) {
      continue;
    }
    // Entry n ends where the n-th set bit of the bitmap says.
    std::size_t present = 0;
    for (std::size_t bit = 0; bit <= layout.EntryCapacity(); ++bit) {
      if (!(whole[layout.bitmap_offset + bit / 8] & (1u << (bit % 8)))) continue;
      if (layout.first_entry_offset + bit > bytes.size()) break;
      ++present;
    }
    for (std::size_t k = 0; k < present && k < page.entries.size(); ++k) sink(page.entries[k], number);
  }
}

// A deleted row that decodes, with its key in each index (none where the
// key cannot be vouched for or the index leaves the row out).
struct Candidate {
  RowPointer at;
  std::vector<std::optional<KeyBytes>> keys;
};

std::vector<Candidate> Candidates(const Database& database, const TableDefinition& table, const PageSurvey& survey,
                                  const std::vector<bool>& usable) {
  const KeyDatabaseSettings settings = KeySettingsOf(database);
  std::vector<Candidate> candidates;
  RowStructure structure;
  std::vector<StoredField> fields;
  std::vector<KeyField> key_fields;
  for (const RowPointer& at : survey.deleted) {
    if (survey.targets.count(at)) continue;
    const io::ReadHold hold(database.file());
    Row row;
    try {
      DecodeRow(database.RowBytes(at), table, structure, fields);
    } catch (const vondrel::Error&) {
      continue;  // deleted rows' bytes are often overwritten in part
    }
    row.fields = fields;
    KeyFieldsOf(row, key_fields);
    Candidate candidate{at, std::vector<std::optional<KeyBytes>>(table.real_indexes.size())};
    bool any = false;
    for (std::size_t i = 0; i < table.real_indexes.size(); ++i) {
      const RealIndexDefinition& index = table.real_indexes[i];
      if (!usable[i] || (index.IgnoresNulls() && AllKeyColumnsNull(table, index, key_fields))) continue;
      KeyBytes key;
      if (!ComputeRowKey(table, index, key_fields, settings, key).covered) continue;
      candidate.keys[i] = std::move(key);
      any = true;
    }
    if (any) candidates.push_back(std::move(candidate));
  }
  return candidates;
}

std::vector<MovedRow> Search(const Database& database, const TableDefinition& table, const SalvagePages& pages) {
  const std::size_t index_count = table.real_indexes.size();
  std::vector<bool> usable(index_count);
  for (std::size_t i = 0; i < index_count; ++i) usable[i] = KeyFromRowAlone(table, table.real_indexes[i]);
  if (std::find(usable.begin(), usable.end(), true) == usable.end()) return {};  // no index could vouch
  const PageSurvey survey = Survey(database, table, pages);
  if (!survey.damaged || survey.deleted.empty()) return {};
  const std::vector<Candidate> candidates = Candidates(database, table, survey, usable);
  if (candidates.empty()) return {};

  // For each index and candidate: the lost slots its entries under the candidate's key name.
  std::vector<std::map<std::size_t, std::set<RowPointer>>> named(index_count);
  std::vector<bool> sound(index_count, false);
  for (std::size_t i = 0; i < index_count; ++i) {
    std::map<KeyBytes, std::vector<std::size_t>> wanted;
    for (std::size_t c = 0; c < candidates.size(); ++c)
      if (candidates[c].keys[i]) wanted[*candidates[c].keys[i]].push_back(c);
    if (wanted.empty()) continue;
    const auto see = [&](const IndexEntry& entry, std::uint32_t) {
      const auto found = wanted.find(entry.key);
      if (found == wanted.end()) return;
      const RowPointer at{entry.data_page, entry.row};
      if (!SlotLost(database, table, survey, at)) return;
      for (std::size_t c : found->second) named[i][c].insert(at);
    };
    sound[i] = ReadIndexEntries(database, table, table.real_indexes[i], see).problems.empty();
    // Leaves are told apart from another index's only when the table has no other.
    if (!sound[i] && index_count == 1) ReadStrayLeaves(database, table, see);
  }

  // A lost slot goes to a candidate only when no other candidate could be its copy.
  std::vector<std::set<RowPointer>> slots(candidates.size());
  std::map<RowPointer, std::vector<std::size_t>> claims;
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    std::optional<std::set<RowPointer>> common;
    bool refuted = false;
    for (std::size_t i = 0; i < index_count; ++i) {
      if (!candidates[c].keys[i]) continue;
      const auto it = named[i].find(c);
      if (it == named[i].end()) {
        refuted = refuted || sound[i];
        continue;
      }
      if (!common) {
        common = it->second;
        continue;
      }
      std::set<RowPointer> both;
      std::set_intersection(common->begin(), common->end(), it->second.begin(), it->second.end(),
                            std::inserter(both, both.end()));
      common = std::move(both);
    }
    if (refuted || !common) continue;
    slots[c] = std::move(*common);
    for (const RowPointer& lost : slots[c]) claims[lost].push_back(c);
  }
  std::vector<MovedRow> moved;
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    if (slots[c].size() != 1) continue;
    const RowPointer lost = *slots[c].begin();
    if (claims[lost].size() == 1) moved.push_back({candidates[c].at, lost});
  }
  std::sort(moved.begin(), moved.end(), [](const MovedRow& a, const MovedRow& b) { return a.at < b.at; });
  return moved;
}

}  // namespace

std::vector<MovedRow> FindMovedRows(const Database& database, const TableDefinition& table,
                                    const SalvagePages& pages) {
  try {
    return Search(database, table, pages);
  } catch (const vondrel::Error&) {
    return {};  // damage this search cannot read past leaves the rows where the scan left them
  }
}

}  // namespace jet
