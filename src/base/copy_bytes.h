#pragma once
// Copies of a few bytes, as column values and key parts mostly are: done
// inline with two overlapping loads and stores, where a call to memcpy
// would cost more than the copy. Longer copies go to memcpy.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vondrel {

inline void CopyBytes(std::uint8_t* to, const std::uint8_t* from, std::size_t size) {
  if (size >= 8 && size <= 16) {
    std::uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + size - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + size - 8, &tail, 8);
  } else if (size >= 4 && size < 8) {
    std::uint32_t head, tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + size - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + size - 4, &tail, 4);
  } else if (size < 4) {
    for (std::size_t i = 0; i < size; ++i) to[i] = from[i];
  } else {
    std::memcpy(to, from, size);
  }
}

}  // namespace vondrel
