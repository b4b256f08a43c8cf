// Hiding the deleted slots no pointer leads to (see unreached_slots.h).
#include "unreached_slots.h"

#include <cstring>
#include <set>
#include <utility>

namespace vondrel::bench {
namespace {

constexpr std::uint16_t kDeleted = 0x8000;
constexpr std::uint16_t kPointer = 0x4000;
constexpr std::uint16_t kOffsetMask = 0x1FFF;
constexpr std::uint32_t kCatalogPage = 2;
constexpr int kMaxHops = 8;

using Slot = std::pair<std::uint32_t, std::uint32_t>;  // page, row

// A data page's row table as far as the bytes hold it.
class PageRows {
 public:
  PageRows(const std::vector<std::uint8_t>& bytes, std::size_t page_size, std::uint32_t page)
      : bytes_(bytes), start_(static_cast<std::size_t>(page) * page_size), page_size_(page_size) {
    count_offset_ = page_size == 2048 ? 8 : 12;
    if (!Has(0, count_offset_ + 2) || bytes[start_] != 0x01) return;
    data_ = true;
    owner_ = U32(4);
    count_ = U16(count_offset_);
  }
  bool data() const { return data_; }
  bool long_values() const { return Has(4, 4) && std::memcmp(&bytes_[start_ + 4], "LVAL", 4) == 0; }
  std::uint32_t owner() const { return owner_; }
  std::uint32_t count() const { return count_; }
  // The slot's entry, or nothing when it lies outside the bytes.
  bool Entry(std::uint32_t row, std::uint16_t& entry) const {
    if (row >= count_ || EntryOffset(row) + 2 > page_size_ || !Has(EntryOffset(row), 2)) return false;
    entry = U16(EntryOffset(row));
    return true;
  }
  std::size_t EntryOffset(std::uint32_t row) const { return count_offset_ + 2 + 2 * static_cast<std::size_t>(row); }
  // The row pointer stored at the start of a pointer slot: row byte, then a 3-byte page.
  bool Target(std::uint16_t entry, Slot& target) const {
    const std::size_t at = entry & kOffsetMask;
    if (at + 4 > page_size_ || !Has(at, 4)) return false;
    const std::uint8_t* p = &bytes_[start_ + at];
    target = {static_cast<std::uint32_t>(p[1] | (p[2] << 8) | (p[3] << 16)), p[0]};
    return true;
  }

 private:
  bool Has(std::size_t offset, std::size_t size) const { return start_ + offset + size <= bytes_.size(); }
  std::uint16_t U16(std::size_t offset) const {
    return static_cast<std::uint16_t>(bytes_[start_ + offset] | (bytes_[start_ + offset + 1] << 8));
  }
  std::uint32_t U32(std::size_t offset) const {
    return static_cast<std::uint32_t>(U16(offset)) | (static_cast<std::uint32_t>(U16(offset + 2)) << 16);
  }
  const std::vector<std::uint8_t>& bytes_;
  std::size_t start_, page_size_, count_offset_ = 0;
  bool data_ = false;
  std::uint32_t owner_ = 0, count_ = 0;
};

bool TablePage(const PageRows& rows) { return rows.data() && !rows.long_values() && rows.owner() != kCatalogPage; }

}  // namespace

std::size_t HideUnreachedDeletedSlots(std::vector<std::uint8_t>& bytes, std::size_t page_size) {
  const std::uint32_t pages = static_cast<std::uint32_t>((bytes.size() + page_size - 1) / page_size);
  std::set<Slot> reached;
  for (std::uint32_t page = 1; page < pages; ++page) {
    const PageRows rows(bytes, page_size, page);
    if (!TablePage(rows)) continue;
    for (std::uint32_t row = 0; row < rows.count(); ++row) {
      std::uint16_t entry = 0;
      if (!rows.Entry(row, entry) || (entry & kDeleted) || !(entry & kPointer)) continue;
      Slot at;
      if (!rows.Target(entry, at)) continue;
      for (int hop = 0; hop < kMaxHops && reached.insert(at).second; ++hop) {
        if (at.first >= pages) break;
        const PageRows next(bytes, page_size, at.first);
        std::uint16_t next_entry = 0;
        if (!next.data() || !next.Entry(at.second, next_entry) || !(next_entry & kPointer) ||
            !next.Target(next_entry, at))
          break;
      }
    }
  }
  std::size_t hidden = 0;
  for (std::uint32_t page = 1; page < pages; ++page) {
    const PageRows rows(bytes, page_size, page);
    if (!TablePage(rows)) continue;
    for (std::uint32_t row = 0; row < rows.count(); ++row) {
      std::uint16_t entry = 0;
      if (!rows.Entry(row, entry) || (entry & (kDeleted | kPointer)) != kDeleted || reached.count({page, row})) continue;
      bytes[static_cast<std::size_t>(page) * page_size + rows.EntryOffset(row) + 1] |= kPointer >> 8;
      ++hidden;
    }
  }
  return hidden;
}

}  // namespace vondrel::bench
