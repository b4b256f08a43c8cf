#include "jet/io/rc4.h"

#include <utility>

namespace jet::io {

Rc4::Rc4(std::span<const std::uint8_t> key) {
  for (std::size_t k = 0; k < 256; ++k) state_[k] = static_cast<std::uint8_t>(k);
  if (key.empty()) return;
  std::uint8_t j = 0;
  for (std::size_t k = 0; k < 256; ++k) {
    j = static_cast<std::uint8_t>(j + state_[k] + key[k % key.size()]);
    std::swap(state_[k], state_[j]);
  }
}

void Rc4::Apply(std::span<std::uint8_t> data) {
  for (auto& byte : data) {
    i_ = static_cast<std::uint8_t>(i_ + 1);
    j_ = static_cast<std::uint8_t>(j_ + state_[i_]);
    std::swap(state_[i_], state_[j_]);
    byte ^= state_[static_cast<std::uint8_t>(state_[i_] + state_[j_])];
  }
}

void Rc4Apply(std::span<const std::uint8_t> key, std::span<std::uint8_t> data) {
  Rc4 cipher(key);
  cipher.Apply(data);
}

void Rc4ApplyPageKey(std::uint32_t database_key, std::uint32_t page, std::span<std::uint8_t> data) {
  const std::uint32_t value = database_key ^ page;
  const std::uint8_t key[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                               static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  Rc4Apply(key, data);
}

}  // namespace jet::io
