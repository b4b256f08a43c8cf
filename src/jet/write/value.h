#pragma once
// A column value for the writing API, held in its stored form.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/format/bytes_encode.h"

namespace jet::write {

class Value {
 public:
  enum class Kind { Null, Boolean, Number, Text, Binary };

  static Value Null() { return Value(Kind::Null); }
  static Value Boolean(bool v);
  static Value Byte(std::uint8_t v);
  static Value Integer(std::int16_t v);
  static Value Long(std::int32_t v);
  static Value Currency(std::int64_t ten_thousandths);
  static Value Single(float v);
  static Value Double(double v);
  // Days since 1899-12-30, the fraction being the time of day.
  static Value Date(double days);
  // Text and memo values; stored per the column (compressed or UTF-16, or the code page).
  static Value Text(std::string_view utf8);
  static Value Binary(std::vector<std::uint8_t> bytes);

  Kind kind() const { return kind_; }
  bool is_null() const { return kind_ == Kind::Null; }
  bool boolean() const { return boolean_; }
  const encode::Bytes& bytes() const { return bytes_; }
  const std::string& text() const { return text_; }

 private:
  explicit Value(Kind kind) : kind_(kind) {}
  static Value Number(const void* data, std::size_t size);
  Kind kind_;
  bool boolean_ = false;
  encode::Bytes bytes_;
  std::string text_;
};

}  // namespace jet::write
