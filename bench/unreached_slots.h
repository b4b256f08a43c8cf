#pragma once
// mdb-export (mdbtools 1.0) reads every slot flagged deleted (0x8000) as a
// live row and skips only slots flagged as pointers (0x4000): it counts the
// moved copies that pointers lead to, but also rows that were deleted, and
// copies whose pointer is gone. To see what it reads from live rows alone,
// the bench hides, in a copy of the damaged file, the deleted slots of
// table pages that no readable live pointer leads to.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vondrel::bench {

// Adds the pointer flag to every slot of a data page (catalog and long-value
// pages aside) that is flagged deleted, is no pointer itself, and that no
// live pointer row (or chain of them) leads to. `page_size` is 2048 for
// Jet 3 files and 4096 for Jet 4. Returns how many slots were hidden. Every
// byte read is checked against the file's length.
std::size_t HideUnreachedDeletedSlots(std::vector<std::uint8_t>& bytes, std::size_t page_size);

}  // namespace vondrel::bench
