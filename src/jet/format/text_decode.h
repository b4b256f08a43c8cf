#pragma once
// Text as Jet stores it, converted to UTF-8: Jet 4 UTF-16LE with optional
// "compressed Unicode" runs, Jet 3 bytes in the database's code page.
// Layout: docs/jet-format.md, section 8.

#include <cstdint>
#include <span>
#include <string>

namespace jet {

// UTF-16LE bytes to UTF-8; unpaired surrogates become U+FFFD (base/unicode.h),
// an odd trailing byte is dropped.
std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes);

// A Jet 4 text value: compressed when it starts with FF FE (a 0x00 byte
// toggles between one-byte characters U+0000..U+00FF and UTF-16LE pairs),
// otherwise plain UTF-16LE.
std::string DecodeJet4Text(std::span<const std::uint8_t> bytes);

// A Jet 3 text value in `code_page` (1252 built in; other code pages through
// the C library's converter where available, else bytes >= 0x80 read as 1252).
std::string DecodeJet3Text(std::span<const std::uint8_t> bytes, std::uint16_t code_page);

}  // namespace jet
