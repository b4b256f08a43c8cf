#pragma once
// The keys a source index holds, by the row they point at: compaction falls
// back to them for rows whose key the encoder cannot vouch for (a collation
// it does not know), so such indexes are carried over key for key.

#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>

#include "jet/format/index_key.h"
#include "jet/read/database.h"

namespace jet::compact {

class SourceKeyCache {
 public:
  explicit SourceKeyCache(const Database& source) : source_(source) {}
  // The key the source index stores for the row listed at `row`, if it has one.
  std::optional<KeyBytes> Find(const TableDefinition& table, std::size_t real_index, RowPointer row);

 private:
  using Keys = std::unordered_map<std::uint32_t, KeyBytes>;
  Keys Load(const TableDefinition& table, std::size_t real_index) const;
  const Database& source_;
  std::uint32_t loaded_table_ = 0;  // indexes of one table are kept at a time
  std::map<std::size_t, Keys> keys_;
};

}  // namespace jet::compact
