#pragma once
// Damaged copies of database files for robustness and salvage tests: bit
// flips, zeroed pages, pages of random bytes, swapped pages, truncation, aimed
// at any page or at pages of one role (header, catalog, table definition,
// usage map, data, long value, index). Every copy follows from a seed, the same
// on every machine, and says which pages it damaged so a test can tell what
// must survive.
//
// Page roles are read from the raw bytes here (page type byte and owner
// field), independently of the engine under test.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/file_bytes.h"  // the copies go to files through these

namespace vondrel::testing {

// SplitMix64: a small generator whose sequence depends only on the seed.
class SeededRandom {
 public:
  explicit SeededRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // Uniform in [0, bound); 0 when bound is 0.
  std::uint64_t Below(std::uint64_t bound);

 private:
  std::uint64_t state_;
};

enum class PageRole {
  Header,           // page 0
  Catalog,          // data page of MSysObjects (owner = page 2)
  TableDefinition,  // type 0x02
  UsageMap,         // type 0x05 bitmap pages, and data pages holding map rows (owner 0, page 1)
  Data,             // data page of any other table
  LongValue,        // data page owned by "LVAL"
  Index,            // types 0x03 and 0x04
  Other,            // free or unknown pages
};
const char* PageRoleName(PageRole role);

enum class DamageKind { BitFlips, ZeroedPage, RandomPage, SwappedPages, Truncation };
const char* DamageKindName(DamageKind kind);

struct DamagedCopy {
  std::vector<std::uint8_t> bytes;
  DamageKind kind = DamageKind::BitFlips;
  // Pages whose bytes differ from the original or are missing; sorted, unique.
  std::vector<std::uint32_t> damaged_pages;
  // For reports and failure messages, e.g. "zeroed page 7 (Data)".
  std::string description;

  // The length the file was cut to, for a truncation.
  std::optional<std::uint64_t> cut_length() const {
    if (kind != DamageKind::Truncation) return std::nullopt;
    return bytes.size();
  }
};

class DamageGenerator {
 public:
  // `original` is a whole database file; the page size follows from its
  // version byte (0 = Jet 3: 2048, otherwise 4096).
  explicit DamageGenerator(std::vector<std::uint8_t> original);

  const std::vector<std::uint8_t>& original() const { return original_; }
  std::size_t page_size() const { return page_size_; }
  std::uint32_t page_count() const { return static_cast<std::uint32_t>(roles_.size()); }
  PageRole RoleOf(std::uint32_t page) const { return roles_.at(page); }
  std::vector<std::uint32_t> PagesWithRole(PageRole role) const;

  // `count` single-bit flips at positions drawn from `seed`, on pages of
  // `target` when given (and present), else anywhere.
  DamagedCopy FlipBits(std::uint64_t seed, unsigned count, std::optional<PageRole> target = {}) const;
  DamagedCopy ZeroPage(std::uint32_t page) const;
  DamagedCopy RandomizePage(std::uint32_t page, std::uint64_t seed) const;
  DamagedCopy SwapPages(std::uint32_t first, std::uint32_t second) const;
  // Keeps the first `length` bytes (at most the file's size).
  DamagedCopy Truncate(std::size_t length) const;

  // One damage whose kind, pages and details all follow from `seed`; aimed at
  // pages of `target` when given and present.
  DamagedCopy Random(std::uint64_t seed, std::optional<PageRole> target = {}) const;

 private:
  std::uint32_t PickPage(SeededRandom& random, std::optional<PageRole> target) const;
  std::string PageLabel(std::uint32_t page) const;

  std::vector<std::uint8_t> original_;
  std::size_t page_size_;
  std::vector<PageRole> roles_;
};

}  // namespace vondrel::testing
