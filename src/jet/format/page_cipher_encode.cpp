#include "jet/format/page_cipher_encode.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace jet::encode {

void Rc4Apply(const std::uint8_t* key, std::size_t key_length, std::uint8_t* data, std::size_t length) {
  std::uint8_t state[256];
  for (int i = 0; i < 256; ++i) state[i] = static_cast<std::uint8_t>(i);
  std::uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<std::uint8_t>(j + state[i] + key[i % key_length]);
    std::swap(state[i], state[j]);
  }
  std::uint8_t a = 0, b = 0;
  for (std::size_t n = 0; n < length; ++n) {
    a = static_cast<std::uint8_t>(a + 1);
    b = static_cast<std::uint8_t>(b + state[a]);
    std::swap(state[a], state[b]);
    data[n] ^= state[static_cast<std::uint8_t>(state[a] + state[b])];
  }
}

void ApplyHeaderMask(std::uint8_t* page, std::size_t page_size, FormatVersion version) {
  static constexpr std::uint8_t kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
  const std::size_t length = ConstantsFor(version).header_mask_length;
  if (page_size < 0x18 + length) throw std::logic_error("header page too small");
  Rc4Apply(kHeaderKey, sizeof kHeaderKey, page + 0x18, length);
}

void ApplyPageCipher(std::uint8_t* page, std::size_t page_size, std::uint32_t number, std::uint32_t database_key) {
  if (number == 0 || database_key == 0) return;
  const std::uint32_t key = database_key ^ number;
  const std::uint8_t key_bytes[4] = {static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8),
                                     static_cast<std::uint8_t>(key >> 16), static_cast<std::uint8_t>(key >> 24)};
  Rc4Apply(key_bytes, 4, page, page_size);
}

std::uint32_t SidMaskKey(const std::uint8_t* header, std::size_t size) {
  if (size < 0x42 + 80 || size < 0x76) throw std::logic_error("header page too small");
  std::uint32_t key = static_cast<std::uint32_t>(header[0x72]) | (static_cast<std::uint32_t>(header[0x73]) << 8) |
        (static_cast<std::uint32_t>(header[0x74]) << 16) | (static_cast<std::uint32_t>(header[0x75]) << 24);
  // The password area is masked with the whole-day part of the creation date.
  double created;
  std::memcpy(&created, header + 0x72, 8);
  const auto day = static_cast<std::uint32_t>(static_cast<std::int32_t>(created));
  std::uint8_t area[80];
  std::memcpy(area, header + 0x42, 80);
  for (int i = 0; i < 40; ++i) area[i] ^= static_cast<std::uint8_t>(day >> (8 * (i % 4)));
  for (int i = 0; i < 40; ++i) key ^= static_cast<std::uint32_t>(area[2 * i]) << (i % 24);
  return key;
}

void ApplySidMask(std::uint32_t sid_key, std::uint8_t* sid, std::size_t length) {
  const std::uint8_t key_bytes[4] = {static_cast<std::uint8_t>(sid_key), static_cast<std::uint8_t>(sid_key >> 8),
                                     static_cast<std::uint8_t>(sid_key >> 16), static_cast<std::uint8_t>(sid_key >> 24)};
  Rc4Apply(key_bytes, 4, sid, length);
}

}  // namespace jet::encode
