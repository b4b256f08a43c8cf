#pragma once
// Table Ids are the pages of their definitions, so a rewritten file renumbers
// them; this maps every old table Id to its new one.

#include <cstdint>
#include <map>

namespace jet::compact {

class IdRemap {
 public:
  void Add(std::uint32_t old_page, std::uint32_t new_page) { pages_[old_page] = new_page; }
  // The new TDEF page of a table, or the page itself when it is no table's.
  std::uint32_t Page(std::uint32_t old_page) const {
    const auto it = pages_.find(old_page);
    return it == pages_.end() ? old_page : it->second;
  }
  bool IsTable(std::uint32_t old_page) const { return pages_.count(old_page) != 0; }
  // An MSysObjects Id or an MSysACEs ObjectId: table Ids follow their table,
  // every other Id (containers, queries, documents) stays.
  std::int32_t Id(std::int32_t old_id) const {
    const auto value = static_cast<std::uint32_t>(old_id);
    if (value & 0xFF000000u) return old_id;
    const auto it = pages_.find(value);
    return it == pages_.end() ? old_id : static_cast<std::int32_t>(it->second);
  }

 private:
  std::map<std::uint32_t, std::uint32_t> pages_;
};

}  // namespace jet::compact
