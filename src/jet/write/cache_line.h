#pragma once
// Objects that two threads write at the same time are kept on cache lines of
// their own: a line written by one core is fetched back by the other before
// it can touch its own bytes there.

#include <cstddef>

namespace jet::write {

// The size of a cache line, the unit in which cores hand memory back and forth.
inline constexpr std::size_t kCacheLineBytes = 64;

}  // namespace jet::write
