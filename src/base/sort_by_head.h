#pragma once
// A stable sort of items by their 64-bit `head` (a key's first bytes as a
// number), one byte at a time from the lowest (a radix sort): linear in the
// items, where a comparison sort moves each item log n times. Bytes that
// every head shares are skipped, and a few items are sorted by insertion.
// Items with equal heads keep their order; telling their keys apart beyond
// the head is the caller's.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace vondrel {

// Sorts the n items at `items` by head, using the room for n items at
// `spare` on the way; the heads agree in every bit from `low_bits` up.
template <typename Item>
void StableSortByHead(Item* items, Item* spare, std::size_t n, int low_bits = 64) {
  constexpr std::size_t kInsertionSortItems = 32;
  if (n <= kInsertionSortItems) {
    for (std::size_t i = 1; i < n; ++i) {
      const Item item = items[i];
      std::size_t j = i;
      for (; j > 0 && items[j - 1].head > item.head; --j) items[j] = items[j - 1];
      items[j] = item;
    }
    return;
  }
  const int bytes = (low_bits + 7) / 8;
  std::array<std::uint32_t, 256> counts[8];
  for (int b = 0; b < bytes; ++b) counts[b].fill(0);
  for (std::size_t i = 0; i < n; ++i)
    for (int b = 0; b < bytes; ++b) ++counts[b][(items[i].head >> (8 * b)) & 0xFF];
  Item* in = items;
  Item* out = spare;
  for (int b = 0; b < bytes; ++b) {
    std::array<std::uint32_t, 256>& count = counts[b];
    if (count[(in[0].head >> (8 * b)) & 0xFF] == n) continue;  // every head has this byte alike
    std::uint32_t position = 0;
    for (std::uint32_t& c : count) position += std::exchange(c, position);
    for (std::size_t i = 0; i < n; ++i) out[count[(in[i].head >> (8 * b)) & 0xFF]++] = in[i];
    std::swap(in, out);
  }
  if (in != items) std::memcpy(static_cast<void*>(items), in, n * sizeof(Item));
}

}  // namespace vondrel
