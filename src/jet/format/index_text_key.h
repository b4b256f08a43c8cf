#pragma once
// Text values in index keys: the Jet 4 "General legacy" order and the Jet 3
// "General" order. Both append the value bytes that follow the 0x7F / 0x80
// start flag of a non-null text column.
// Layout: docs/jet-format.md, section 10.1.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace jet {

// Text longer than this many characters is keyed on its first ones only.
inline constexpr std::size_t kMaxKeyTextCharacters = 255;

// text: UTF-16 code units as the column holds them (already decompressed).
void AppendGeneralLegacyText(std::vector<std::uint8_t>& key, std::u16string_view text,
                             bool ascending);
// The same for text whose characters are all below 256, one byte each (as
// Jet 4 compressed text holds them).
void AppendGeneralLegacyText(std::vector<std::uint8_t>& key, std::span<const std::uint8_t> latin1,
                             bool ascending);

// text: code-page 1252 bytes as a Jet 3 column holds them.
void AppendGeneral97Text(std::vector<std::uint8_t>& key, std::span<const std::uint8_t> text,
                         bool ascending);

}  // namespace jet
