#include "jet/compact/source_keys.h"

#include "jet/read/index_reader.h"

namespace jet::compact {

SourceKeyCache::Keys SourceKeyCache::Load(const TableDefinition& table, std::size_t real_index) const {
  Keys keys;
  const IndexTreeWalk walk = ReadIndexEntries(source_, table, table.real_indexes.at(real_index));
  // A tree with problems vouches for nothing.
  if (!walk.problems.empty()) return keys;
  for (const IndexEntry& entry : walk.entries) keys.emplace(RowPointer{entry.data_page, entry.row}.ToRaw(), entry.key);
  return keys;
}

std::optional<KeyBytes> SourceKeyCache::Find(const TableDefinition& table, std::size_t real_index, RowPointer row) {
  if (loaded_table_ != table.tdef_page) {
    keys_.clear();
    loaded_table_ = table.tdef_page;
  }
  auto slot = keys_.find(real_index);
  if (slot == keys_.end()) {
    Keys loaded;
    try {
      loaded = Load(table, real_index);
    } catch (const vondrel::Error&) {
      loaded.clear();  // a damaged source index vouches for nothing
    }
    slot = keys_.emplace(real_index, std::move(loaded)).first;
  }
  const auto it = slot->second.find(row.ToRaw());
  if (it == slot->second.end()) return std::nullopt;
  return it->second;
}

}  // namespace jet::compact
