#include "support/damage.h"

#include <algorithm>

namespace vondrel::testing {

namespace {

std::uint32_t ReadU32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return std::uint32_t{bytes[offset]} | std::uint32_t{bytes[offset + 1]} << 8 |
         std::uint32_t{bytes[offset + 2]} << 16 | std::uint32_t{bytes[offset + 3]} << 24;
}

PageRole Classify(const std::vector<std::uint8_t>& file, std::uint32_t page, std::size_t page_size) {
  if (page == 0) return PageRole::Header;
  std::size_t start = std::size_t{page} * page_size;
  switch (file[start]) {
    case 0x01: {
      if (page == 1) return PageRole::UsageMap;
      std::uint32_t owner = ReadU32(file, start + 4);
      if (owner == 0x4C41564Cu) return PageRole::LongValue;  // "LVAL"
      if (owner == 0) return PageRole::UsageMap;
      if (owner == 2) return PageRole::Catalog;
      return PageRole::Data;
    }
    case 0x02: return PageRole::TableDefinition;
    case 0x03:
    case 0x04: return PageRole::Index;
    case 0x05: return PageRole::UsageMap;
    default: return PageRole::Other;
  }
}

}  // namespace

std::uint64_t SeededRandom::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint64_t SeededRandom::Below(std::uint64_t bound) { return bound == 0 ? 0 : Next() % bound; }

const char* PageRoleName(PageRole role) {
  switch (role) {
    case PageRole::Header: return "Header";
    case PageRole::Catalog: return "Catalog";
    case PageRole::TableDefinition: return "TableDefinition";
    case PageRole::UsageMap: return "UsageMap";
    case PageRole::Data: return "Data";
    case PageRole::LongValue: return "LongValue";
    case PageRole::Index: return "Index";
    case PageRole::Other: return "Other";
  }
  return "?";
}

const char* DamageKindName(DamageKind kind) {
  switch (kind) {
    case DamageKind::BitFlips: return "bit flips";
    case DamageKind::ZeroedPage: return "zeroed page";
    case DamageKind::RandomPage: return "random page";
    case DamageKind::SwappedPages: return "swapped pages";
    case DamageKind::Truncation: return "truncation";
  }
  return "?";
}

DamageGenerator::DamageGenerator(std::vector<std::uint8_t> original) : original_(std::move(original)) {
  page_size_ = (original_.size() > 0x14 && original_[0x14] == 0) ? 2048 : 4096;
  std::size_t pages = original_.size() / page_size_;
  roles_.reserve(pages);
  for (std::size_t p = 0; p < pages; ++p) roles_.push_back(Classify(original_, static_cast<std::uint32_t>(p), page_size_));
}

std::vector<std::uint32_t> DamageGenerator::PagesWithRole(PageRole role) const {
  std::vector<std::uint32_t> pages;
  for (std::uint32_t p = 0; p < roles_.size(); ++p)
    if (roles_[p] == role) pages.push_back(p);
  return pages;
}

std::string DamageGenerator::PageLabel(std::uint32_t page) const {
  std::string label = "page " + std::to_string(page);
  if (page < roles_.size()) label += std::string(" (") + PageRoleName(roles_[page]) + ")";
  return label;
}

std::uint32_t DamageGenerator::PickPage(SeededRandom& random, std::optional<PageRole> target) const {
  if (target) {
    auto pages = PagesWithRole(*target);
    if (!pages.empty()) return pages[random.Below(pages.size())];
  }
  return static_cast<std::uint32_t>(random.Below(std::max<std::size_t>(roles_.size(), 1)));
}

DamagedCopy DamageGenerator::FlipBits(std::uint64_t seed, unsigned count, std::optional<PageRole> target) const {
  DamagedCopy copy{original_, DamageKind::BitFlips, {}, {}};
  SeededRandom random(seed);
  if (original_.empty()) return copy;
  for (unsigned i = 0; i < count; ++i) {
    std::uint32_t page = PickPage(random, target);
    std::size_t start = std::size_t{page} * page_size_;
    std::size_t span = std::min(page_size_, original_.size() - std::min(start, original_.size()));
    if (span == 0) {
      start = 0;
      span = original_.size();
    }
    std::size_t offset = start + random.Below(span);
    copy.bytes[offset] ^= static_cast<std::uint8_t>(1u << random.Below(8));
  }
  for (std::size_t p = 0; p < roles_.size(); ++p) {
    auto begin = copy.bytes.begin() + static_cast<std::ptrdiff_t>(p * page_size_);
    if (!std::equal(begin, begin + static_cast<std::ptrdiff_t>(page_size_),
                    original_.begin() + static_cast<std::ptrdiff_t>(p * page_size_)))
      copy.damaged_pages.push_back(static_cast<std::uint32_t>(p));
  }
  copy.description = std::to_string(count) + " bit flips (seed " + std::to_string(seed) + ") on";
  for (auto p : copy.damaged_pages) copy.description += " " + PageLabel(p);
  return copy;
}

DamagedCopy DamageGenerator::ZeroPage(std::uint32_t page) const {
  DamagedCopy copy{original_, DamageKind::ZeroedPage, {}, "zeroed " + PageLabel(page)};
  if (page >= roles_.size()) return copy;
  std::fill_n(copy.bytes.begin() + static_cast<std::ptrdiff_t>(std::size_t{page} * page_size_), page_size_, 0);
  copy.damaged_pages.push_back(page);
  return copy;
}

DamagedCopy DamageGenerator::RandomizePage(std::uint32_t page, std::uint64_t seed) const {
  DamagedCopy copy{original_, DamageKind::RandomPage, {},
                   "random bytes (seed " + std::to_string(seed) + ") on " + PageLabel(page)};
  if (page >= roles_.size()) return copy;
  SeededRandom random(seed);
  std::size_t start = std::size_t{page} * page_size_;
  for (std::size_t i = 0; i < page_size_; ++i) copy.bytes[start + i] = static_cast<std::uint8_t>(random.Next());
  // Half of the random pages keep a plausible page type byte, so the damage
  // gets past the first type check and into the structure behind it.
  if (random.Below(2) == 0) copy.bytes[start] = original_[start];
  copy.damaged_pages.push_back(page);
  return copy;
}

DamagedCopy DamageGenerator::SwapPages(std::uint32_t first, std::uint32_t second) const {
  DamagedCopy copy{original_, DamageKind::SwappedPages, {}, "swapped " + PageLabel(first) + " and " + PageLabel(second)};
  if (first >= roles_.size() || second >= roles_.size() || first == second) return copy;
  std::swap_ranges(copy.bytes.begin() + static_cast<std::ptrdiff_t>(std::size_t{first} * page_size_),
                   copy.bytes.begin() + static_cast<std::ptrdiff_t>(std::size_t{first} * page_size_ + page_size_),
                   copy.bytes.begin() + static_cast<std::ptrdiff_t>(std::size_t{second} * page_size_));
  copy.damaged_pages = {std::min(first, second), std::max(first, second)};
  return copy;
}

DamagedCopy DamageGenerator::Truncate(std::size_t length) const {
  length = std::min(length, original_.size());
  DamagedCopy copy{std::vector<std::uint8_t>(original_.begin(), original_.begin() + static_cast<std::ptrdiff_t>(length)),
                   DamageKind::Truncation, {}, "truncated to " + std::to_string(length) + " bytes"};
  for (std::size_t p = length / page_size_; p < roles_.size(); ++p) copy.damaged_pages.push_back(static_cast<std::uint32_t>(p));
  return copy;
}

DamagedCopy DamageGenerator::Random(std::uint64_t seed, std::optional<PageRole> target) const {
  SeededRandom random(seed);
  switch (random.Below(5)) {
    case 0: return FlipBits(random.Next(), 1 + static_cast<unsigned>(random.Below(16)), target);
    case 1: return ZeroPage(PickPage(random, target));
    case 2: {
      std::uint32_t page = PickPage(random, target);
      return RandomizePage(page, random.Next());
    }
    case 3: {
      std::uint32_t first = PickPage(random, target);
      std::uint32_t second = static_cast<std::uint32_t>(random.Below(roles_.size()));
      if (second == first && roles_.size() > 1) second = (first + 1) % static_cast<std::uint32_t>(roles_.size());
      return SwapPages(first, second);
    }
    default: {
      // Cut inside a page of the target role, or anywhere in the file.
      std::size_t length = random.Below(original_.size() + 1);
      if (target) {
        auto pages = PagesWithRole(*target);
        if (!pages.empty()) length = std::size_t{pages[random.Below(pages.size())]} * page_size_ + random.Below(page_size_);
      }
      return Truncate(length);
    }
  }
}

}  // namespace vondrel::testing
