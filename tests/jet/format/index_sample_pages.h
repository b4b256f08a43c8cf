#pragma once
// Reads the raw pages of a sample file for tests that need index pages
// before (or without) the database reader: whole file in memory, version
// from the header, page n at n times the page size.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "jet/format/index_page.h"
#include "support/file_bytes.h"

namespace vondrel::testing {

struct RawJetFile {
  std::vector<std::uint8_t> bytes;
  bool jet3 = false;
  jet::IndexPageLayout layout = jet::IndexPageLayout::Jet4();

  std::size_t PageCount() const { return bytes.size() / layout.page_size; }
  std::span<const std::uint8_t> Page(std::size_t n) const {
    return std::span<const std::uint8_t>(bytes).subspan(n * layout.page_size, layout.page_size);
  }
};

// The database key at 0x3E, under the header's RC4 mask (key C7 DA 39 6B).
inline std::uint32_t DatabaseKey(const std::vector<std::uint8_t>& header) {
  std::uint8_t state[256];
  for (int i = 0; i < 256; ++i) state[i] = static_cast<std::uint8_t>(i);
  const std::uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + state[i] + key[i % 4]) & 0xFF;
    std::swap(state[i], state[j]);
  }
  std::uint8_t stream[0x3E - 0x18 + 4];
  for (int n = 0, i = 0, j = 0; n < static_cast<int>(sizeof stream); ++n) {
    i = (i + 1) & 0xFF;
    j = (j + state[i]) & 0xFF;
    std::swap(state[i], state[j]);
    stream[n] = state[(state[i] + state[j]) & 0xFF];
  }
  std::uint32_t value = 0;
  for (int b = 0; b < 4; ++b) {
    value |= std::uint32_t(header[0x3E + b] ^ stream[0x3E - 0x18 + b]) << (8 * b);
  }
  return value;
}

// Nothing for files that are not plain Jet 3 / Jet 4 files (ACE, encrypted pages).
inline std::optional<RawJetFile> ReadRawJetFile(const std::filesystem::path& path) {
  RawJetFile file;
  file.bytes = ReadFileBytes(path);
  if (file.bytes.size() < 2048 || file.bytes[0] != 0 || file.bytes[0x14] > 1) return std::nullopt;
  file.jet3 = file.bytes[0x14] == 0;
  file.layout = file.jet3 ? jet::IndexPageLayout::Jet3() : jet::IndexPageLayout::Jet4();
  // Files whose pages are encrypted (non-zero database key) are left out.
  if (DatabaseKey(file.bytes) != 0) return std::nullopt;
  if (file.bytes.size() % file.layout.page_size != 0) return std::nullopt;
  return file;
}

}  // namespace vondrel::testing
