// Values as a Jet column stores them: little-endian integers and IEEE doubles.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace vondrel::jet_tool {

inline std::vector<std::uint8_t> LittleEndianBytes(std::uint64_t value, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return bytes;
}

inline std::vector<std::uint8_t> DoubleBytes(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return LittleEndianBytes(bits, 8);
}

}  // namespace vondrel::jet_tool
