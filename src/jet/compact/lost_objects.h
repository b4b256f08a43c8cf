#pragma once
// Tables a salvage cannot carry over, and everything that names them: their
// catalog rows, their permissions, the relationships they take part in (rows
// of MSysRelationships and the relationship's own catalog row) and the
// relationship indexes of other tables that point at them. Leaving those out
// keeps the output consistent.

#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>

#include "jet/read/database.h"

namespace jet::compact {

// Case-insensitive ASCII comparison of object names.
bool SameName(const std::string& a, const char* b);

class LostObjects {
 public:
  void Add(std::uint32_t tdef_page, const std::string& name);
  bool empty() const { return pages_.empty(); }
  bool IsLostPage(std::uint32_t tdef_page) const { return pages_.count(tdef_page) != 0; }

  // Reads MSysRelationships (when given) for the relationships naming a lost table.
  void FindRelationships(const Database& db, const TableDefinition* relationships);

  // A row filter for the copy of this table: false for rows that name a
  // lost table; empty when nothing of the table needs filtering.
  std::function<bool(std::span<const StoredField>)> FilterFor(const Database& db, const TableDefinition& table,
                                                              const std::string& table_name) const;

 private:
  bool IsLostName(const std::string& name) const { return names_.count(Lower(name)) != 0; }
  static std::string Lower(const std::string& name);
  std::set<std::uint32_t> pages_;
  std::set<std::string> names_;          // lower-case
  std::set<std::string> relationships_;  // lower-case szRelationship values
};

// Turns a relationship (foreign-key side or referenced side) index into a
// plain index that names no other table.
void DetachRelationship(LogicalIndexDefinition& index);

}  // namespace jet::compact
