#pragma once
// Little-endian stores into byte buffers, the writing counterpart of
// jet::io::ByteView. Callers size their buffers first; every store is
// checked against the buffer so an encoder bug cannot write past the end.
// Layout: docs/jet-format.md, section 1.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace jet::encode {

using Bytes = std::vector<std::uint8_t>;

inline void RequireRoom(std::size_t size, std::size_t offset, std::size_t length) {
  if (offset > size || length > size - offset) throw std::logic_error("encoder wrote past its buffer");
}

inline void PutU16(Bytes& out, std::size_t offset, std::uint16_t value) {
  RequireRoom(out.size(), offset, 2);
  out[offset] = static_cast<std::uint8_t>(value);
  out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}
inline void PutU32(Bytes& out, std::size_t offset, std::uint32_t value) {
  RequireRoom(out.size(), offset, 4);
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline void PutBytes(Bytes& out, std::size_t offset, const std::uint8_t* data, std::size_t length) {
  RequireRoom(out.size(), offset, length);
  if (length) std::memcpy(out.data() + offset, data, length);
}

// Appends little-endian values to a growing buffer.
class Appender {
 public:
  explicit Appender(Bytes& out) : out_(out) {}
  void U8(std::uint8_t v) { out_.push_back(v); }
  void U16(std::uint16_t v) {
    out_.push_back(static_cast<std::uint8_t>(v));
    out_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void Raw(const std::uint8_t* data, std::size_t length) { out_.insert(out_.end(), data, data + length); }
  void Raw(const Bytes& data) { out_.insert(out_.end(), data.begin(), data.end()); }
  void Zeros(std::size_t count) { out_.insert(out_.end(), count, 0); }
  std::size_t size() const { return out_.size(); }

 private:
  Bytes& out_;
};

}  // namespace jet::encode
