#include "support/index_pages.h"

namespace vondrel::testing {

BuiltIndexPages BuildIndexPages(std::span<const jet::IndexEntry> entries, std::uint32_t owner,
                                const jet::IndexPageLayout& layout, const jet::write::IndexPageAllocator& allocate) {
  BuiltIndexPages result;
  result.tree = jet::write::BuildIndexTree(entries, owner, layout, allocate,
                                           [&](std::uint32_t n, std::vector<std::uint8_t> bytes) {
                                             result.pages.emplace_back(n, std::move(bytes));
                                           });
  return result;
}

}  // namespace vondrel::testing
