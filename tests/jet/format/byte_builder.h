#pragma once
// Little helpers to lay out bytes of pages and rows in tests.

#include <cstdint>
#include <string>
#include <vector>

namespace jet::testing {

inline void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b.at(at) = static_cast<std::uint8_t>(v);
  b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
inline void Append16(std::vector<std::uint8_t>& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Append32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  Append16(b, v & 0xFFFF);
  Append16(b, v >> 16);
}
inline void AppendBytes(std::vector<std::uint8_t>& b, const std::string& text) { b.insert(b.end(), text.begin(), text.end()); }
inline void AppendUtf16(std::vector<std::uint8_t>& b, const std::string& ascii) {
  for (char c : ascii) Append16(b, static_cast<unsigned char>(c));
}

// A data page with the given rows, stored from the page end downwards.
// `flags[i]` is OR-ed into row i's offset entry.
inline std::vector<std::uint8_t> MakeDataPage(std::size_t page_size, bool jet3, std::uint32_t owner,
                                              const std::vector<std::vector<std::uint8_t>>& rows,
                                              const std::vector<std::uint16_t>& flags = {}) {
  std::vector<std::uint8_t> page(page_size, 0);
  page[0] = 0x01;
  page[1] = 0x01;
  Put32(page, 4, owner);
  const std::size_t count_at = jet3 ? 8 : 12;
  const std::size_t table_at = jet3 ? 10 : 14;
  Put16(page, count_at, static_cast<std::uint32_t>(rows.size()));
  std::size_t end = page_size;
  std::size_t used = 0;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const std::size_t start = end - rows[k].size();
    std::copy(rows[k].begin(), rows[k].end(), page.begin() + static_cast<std::ptrdiff_t>(start));
    Put16(page, table_at + 2 * k, static_cast<std::uint32_t>(start | (k < flags.size() ? flags[k] : 0)));
    used += rows[k].size();
    end = start;
  }
  Put16(page, 2, static_cast<std::uint32_t>(page_size - table_at - 2 * rows.size() - used));
  return page;
}

}  // namespace jet::testing
