#include "export_value.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vondrel::jet_tool {

namespace {

std::uint64_t LittleEndian(Bytes bytes, std::size_t offset, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value |= std::uint64_t{bytes[offset + i]} << (8 * i);
  return value;
}

// A 128-bit unsigned magnitude as four 32-bit words, most significant first,
// so that the arithmetic needs no 128-bit integer type (32-bit targets lack one).
using Magnitude = std::array<std::uint32_t, 4>;

bool IsZero(const Magnitude& magnitude) {
  return (magnitude[0] | magnitude[1] | magnitude[2] | magnitude[3]) == 0;
}

// Divides `magnitude` by 10 in place and returns the remainder.
unsigned DivideByTen(Magnitude& magnitude) {
  std::uint64_t remainder = 0;
  for (std::uint32_t& word : magnitude) {
    std::uint64_t part = (remainder << 32) | word;
    word = static_cast<std::uint32_t>(part / 10);
    remainder = part % 10;
  }
  return static_cast<unsigned>(remainder);
}

// Decimal digits of `magnitude`, `width` digits wide, with a point before the
// last `scale` digits. Leading zeros are dropped down to the digit before the
// point; a scale at or beyond the width prints every digit and no point.
std::string DigitsWithPoint(Magnitude magnitude, std::size_t width, unsigned scale, bool negative) {
  std::string digits(width, '0');  // least significant first
  for (std::size_t i = 0; i < width && !IsZero(magnitude); ++i) {
    digits[i] = static_cast<char>('0' + DivideByTen(magnitude));
  }
  std::size_t top = width;
  while (top > 0 && top - 1 > scale && digits[top - 1] == '0') --top;
  std::string text;
  if (negative) text += '-';
  if (top == 0) return text + '0';
  for (std::size_t i = top; i > 0; --i) {
    if (i == scale) text += '.';
    text += digits[i - 1];
  }
  return text;
}

struct CivilTime {
  long year = 1900, month = 1, day = 0, hour = 0, minute = 0, second = 0;
};

CivilTime ToCivil(double days) {
  CivilTime t;
  if (!(days >= 0.0 && days <= 1e6)) return t;  // NaN included
  static const int kNoLeap[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
  static const int kLeap[] = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366};
  long day = static_cast<long>(days);
  long seconds = static_cast<long>((days - day) * 86400.0 + 0.5);
  // A time that rounds to midnight stays on the same day as hour 24.
  t.hour = seconds / 3600;
  t.minute = (seconds / 60) % 60;
  t.second = seconds % 60;
  day += 693593;  // days from 0001-01-01 to 1899-12-31
  long year = 1;
  long q = day / 146097;
  year += 400 * q;
  day -= q * 146097;
  q = day / 36524;
  if (q > 3) q = 3;
  year += 100 * q;
  day -= q * 36524;
  q = day / 1461;
  year += 4 * q;
  day -= q * 1461;
  q = day / 365;
  if (q > 3) q = 3;
  year += q;
  day -= q * 365;
  bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  const int* cal = leap ? kLeap : kNoLeap;
  int month = 0;
  while (month < 12 && day >= cal[month + 1]) ++month;
  t.year = year;
  t.month = month + 1;
  t.day = day - cal[month] + 1;
  return t;
}

const char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

std::string FormatCurrency(std::int64_t ten_thousandths) {
  bool negative = ten_thousandths < 0;
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(ten_thousandths)
                                     : static_cast<std::uint64_t>(ten_thousandths);
  Magnitude words{0, 0, static_cast<std::uint32_t>(magnitude >> 32), static_cast<std::uint32_t>(magnitude)};
  return DigitsWithPoint(words, 20, 4, negative);
}

std::string FormatDecimal(Bytes stored, std::uint8_t scale) {
  if (stored.size() < 17) return {};
  Magnitude magnitude{};
  for (std::size_t word = 0; word < 4; ++word) {
    magnitude[word] = static_cast<std::uint32_t>(LittleEndian(stored, 1 + 4 * word, 4));
  }
  return DigitsWithPoint(magnitude, 40, scale, (stored[0] & 0x80) != 0);
}

std::string FormatSingle(float value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.8g", static_cast<double>(value));
  return buffer;
}

std::string FormatDouble(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.16g", value);
  return buffer;
}

std::string FormatDateTime(double days) {
  CivilTime t = ToCivil(days);
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%ld-%02ld-%02ld %02ld:%02ld:%02ld", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buffer;
}

std::string GuidText(Bytes b) {
  if (b.size() < 16) return {};
  char buffer[64];
  std::snprintf(buffer, sizeof buffer,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X%02X%02X}", b[3], b[2], b[1], b[0],
                b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return buffer;
}

void AppendQuoted(std::string& out, const std::string& text) {
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendHex(std::string& out, Bytes bytes) {
  for (std::uint8_t b : bytes) {
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 0x0F];
  }
}

void AppendExportField(std::string& out, const ExportField& field, const ExportTextDecoder& text) {
  using jet::ColumnType;
  const Bytes& b = field.bytes;
  if (field.type == ColumnType::Boolean) {
    out += field.present ? '1' : '0';
    return;
  }
  if (!field.present) return;
  switch (field.type) {
    case ColumnType::Byte:
      if (b.size() >= 1) out += std::to_string(b[0]);
      return;
    case ColumnType::Integer:
      if (b.size() >= 2) out += std::to_string(static_cast<std::int16_t>(LittleEndian(b, 0, 2)));
      return;
    case ColumnType::Long:
    case ColumnType::Complex:
      if (b.size() >= 4) out += std::to_string(static_cast<std::int32_t>(LittleEndian(b, 0, 4)));
      return;
    case ColumnType::Currency:
      if (b.size() >= 8) out += FormatCurrency(static_cast<std::int64_t>(LittleEndian(b, 0, 8)));
      return;
    case ColumnType::Single:
      if (b.size() >= 4) {
        float value;
        std::uint32_t bits = static_cast<std::uint32_t>(LittleEndian(b, 0, 4));
        std::memcpy(&value, &bits, sizeof value);
        out += FormatSingle(value);
      }
      return;
    case ColumnType::Double:
    case ColumnType::DateTime:
      if (b.size() >= 8) {
        double value;
        std::uint64_t bits = LittleEndian(b, 0, 8);
        std::memcpy(&value, &bits, sizeof value);
        if (field.type == ColumnType::Double) {
          out += FormatDouble(value);
        } else {
          AppendQuoted(out, FormatDateTime(value));
        }
      }
      return;
    case ColumnType::Numeric:
      out += FormatDecimal(b, field.scale);
      return;
    case ColumnType::Text:
    case ColumnType::Memo: {
      std::string decoded = text.Decode(b);
      if (!decoded.empty()) AppendQuoted(out, decoded);
      return;
    }
    case ColumnType::Binary: {
      // Printed up to its first 0x00 byte; nothing left prints as NULL.
      std::size_t length = 0;
      while (length < b.size() && length < kExportTextLimit && b[length] != 0) ++length;
      if (length == 0) return;
      out += '"';
      AppendHex(out, b.first(length));
      out += '"';
      return;
    }
    case ColumnType::OLE:
      out += '"';
      AppendHex(out, b);
      out += '"';
      return;
    case ColumnType::Guid: {
      std::string guid = GuidText(b);
      if (guid.empty()) return;
      out += '"';
      AppendHex(out, Bytes(reinterpret_cast<const std::uint8_t*>(guid.data()), guid.size()));
      out += '"';
      return;
    }
    default:
      // Types mdb-export has no text form for (e.g. 0x11) print as NULL.
      return;
  }
}

}  // namespace vondrel::jet_tool
