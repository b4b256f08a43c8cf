#pragma once
// RC4 keystream, used by Jet to mask the header of page 0 and to scramble the
// pages of encoded databases. XOR-ing twice with the same key restores the data.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace jet::io {

class Rc4 {
 public:
  explicit Rc4(std::span<const std::uint8_t> key);
  // XORs `data` in place with the next bytes of the keystream.
  void Apply(std::span<std::uint8_t> data);

 private:
  std::array<std::uint8_t, 256> state_{};
  std::uint8_t i_ = 0;
  std::uint8_t j_ = 0;
};

// XORs `data` with the keystream of `key` started afresh.
void Rc4Apply(std::span<const std::uint8_t> key, std::span<std::uint8_t> data);

// Jet's page key: the 4 little-endian bytes of database_key XOR page number.
void Rc4ApplyPageKey(std::uint32_t database_key, std::uint32_t page, std::span<std::uint8_t> data);

}  // namespace jet::io
