#include "jet/write/value.h"

#include <cstring>

namespace jet::write {

Value Value::Number(const void* data, std::size_t size) {
  Value v(Kind::Number);
  v.bytes_.resize(size);
  // Stored little-endian, as the host holds them.
  std::memcpy(v.bytes_.data(), data, size);
  return v;
}

Value Value::Boolean(bool b) {
  Value v(Kind::Boolean);
  v.boolean_ = b;
  return v;
}
Value Value::Byte(std::uint8_t x) { return Number(&x, 1); }
Value Value::Integer(std::int16_t x) { return Number(&x, 2); }
Value Value::Long(std::int32_t x) { return Number(&x, 4); }
Value Value::Currency(std::int64_t x) { return Number(&x, 8); }
Value Value::Single(float x) { return Number(&x, 4); }
Value Value::Double(double x) { return Number(&x, 8); }
Value Value::Date(double x) { return Number(&x, 8); }
Value Value::Text(std::string_view utf8) {
  Value v(Kind::Text);
  v.text_ = std::string(utf8);
  return v;
}
Value Value::Binary(std::vector<std::uint8_t> bytes) {
  Value v(Kind::Binary);
  v.bytes_ = std::move(bytes);
  return v;
}

}  // namespace jet::write
