#pragma once
// An index B-tree built with its pages collected in memory, for tests that
// decode and walk what the builder wrote.

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "jet/write/index_builder.h"

namespace vondrel::testing {

struct BuiltIndexPages {
  jet::write::BuiltIndexTree tree;
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> pages;  // in the order written
};

BuiltIndexPages BuildIndexPages(std::span<const jet::IndexEntry> entries, std::uint32_t owner,
                                const jet::IndexPageLayout& layout, const jet::write::IndexPageAllocator& allocate);

}  // namespace vondrel::testing
