// Leaf pages kept in order, partly moved to a temporary file: they must come
// back byte for byte, and the memory they take must be what is left in memory.

#include <gtest/gtest.h>

#include <stdexcept>

#include "jet/write/leaf_pages.h"

namespace jet::write {
namespace {

// A page whose every byte depends on its position in the list and in the page.
std::vector<std::uint8_t> PageNumbered(std::size_t n) {
  std::vector<std::uint8_t> page(4096);
  for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(n * 31 + i * 7 + (i >> 8));
  return page;
}

TEST(LeafPages, PagesMovedToTheFileInSeveralSpillsComeBackInOrder) {
  LeafPages pages;
  // Spills of one page, of more pages than one transfer holds, and a tail
  // left in memory.
  const std::size_t spill_after[] = {1, 2, 150, 151, 300};
  std::size_t next_spill = 0;
  for (std::size_t n = 0; n < 320; ++n) {
    pages.Append(PageNumbered(n));
    if (next_spill < std::size(spill_after) && n + 1 == spill_after[next_spill]) {
      EXPECT_GT(pages.memory_bytes(), 0u);
      pages.Spill();
      EXPECT_EQ(pages.memory_bytes(), 0u) << n;
      EXPECT_EQ(pages.filed_bytes(), (n + 1) * 4096u);
      ++next_spill;
    }
  }
  EXPECT_EQ(pages.size(), 320u);
  EXPECT_EQ(pages.memory_bytes(), 20u * 4096);
  for (std::size_t n = 0; n < pages.size(); ++n) ASSERT_EQ(pages.Take(n), PageNumbered(n)) << "page " << n;
}

TEST(LeafPages, PagesKeptInMemoryAndMovedListsReadTheSame) {
  LeafPages kept, moved;
  for (std::size_t n = 0; n < 70; ++n) {
    kept.Append(PageNumbered(n));
    moved.Append(PageNumbered(n));
  }
  moved.Spill();
  moved.Spill();  // nothing left to move: changes nothing
  EXPECT_EQ(moved.filed_bytes(), 70u * 4096);
  EXPECT_EQ(kept.filed_bytes(), 0u);
  for (std::size_t n = 0; n < 70; ++n) EXPECT_EQ(kept.Take(n), moved.Take(n)) << "page " << n;
  EXPECT_THROW(moved.Take(70), std::logic_error);
  EXPECT_THROW(kept.Append(std::vector<std::uint8_t>(2048)), std::logic_error);
}

}  // namespace
}  // namespace jet::write
