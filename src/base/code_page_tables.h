#pragma once
// The single-byte code pages a Jet 3 database may name, as tables of their
// upper halves: bytes 0x00..0x7F are ASCII in all of them. The same tables on
// every platform, so that text reads alike on Linux and Windows.

#include <cstdint>

namespace vondrel::code_page {

// The characters of bytes 0x80..0xFF of a Windows code page number (437, 850,
// 1250..1258, 20866, 28591, ...), 0 where the code page leaves a byte
// undefined; null for a code page without a table here (multi-byte ones).
const char16_t* UpperHalf(std::uint16_t number);

}  // namespace vondrel::code_page
