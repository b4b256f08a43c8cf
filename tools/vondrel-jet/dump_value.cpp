#include "dump_value.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/unicode.h"
#include "export_value.h"

namespace vondrel::jet_tool {

namespace {

std::uint64_t LittleEndian(Bytes bytes, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value |= std::uint64_t{bytes[i]} << (8 * i);
  return value;
}

const char16_t kWindows1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

std::u16string TextUnits(Bytes stored, jet::FormatVersion version) {
  std::u16string units;
  if (version == jet::FormatVersion::Jet3) {
    for (std::uint8_t b : stored) units += (b >= 0x80 && b < 0xA0) ? kWindows1252High[b - 0x80] : char16_t{b};
    return units;
  }
  std::string raw;
  Bytes utf16 = stored;
  if (stored.size() >= 2 && stored[0] == 0xFF && stored[1] == 0xFE) {
    raw = ExpandCompressedUnicode(stored.subspan(2));
    utf16 = Bytes(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
  }
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) units += static_cast<char16_t>(utf16[i] | utf16[i + 1] << 8);
  return units;
}

void AppendLowerHex(std::string& out, Bytes bytes) {
  static const char kDigits[] = "0123456789abcdef";
  for (std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
}

}  // namespace

void AppendJsonUtf16(std::string& out, const std::u16string& units) {
  out += '"';
  const auto unit = [&](std::size_t k) { return units[k]; };
  for (std::size_t i = 0; i < units.size(); ++i) {
    char16_t u = units[i];
    char escaped[8];
    switch (u) {
      case u'"': out += "\\\""; continue;
      case u'\\': out += "\\\\"; continue;
      case u'\b': out += "\\b"; continue;
      case u'\f': out += "\\f"; continue;
      case u'\n': out += "\\n"; continue;
      case u'\r': out += "\\r"; continue;
      case u'\t': out += "\\t"; continue;
      default: break;
    }
    std::size_t length;
    const char32_t code = unicode::DecodeUtf16(unit, i, units.size(), length);
    if (u < 0x20 || (length == 1 && unicode::IsSurrogate(u))) {
      // A lone surrogate is escaped as JSON.stringify escapes it rather than
      // replaced: this form compares code units.
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(u));
      out += escaped;
    } else {
      unicode::AppendUtf8(code, out);
      i += length - 1;
    }
  }
  out += '"';
}

void AppendJsonUtf8(std::string& out, const std::string& text) { AppendJsonUtf16(out, unicode::Utf8ToUtf16(text)); }

std::string CanonicalDecimal(const std::string& text) {
  bool negative = !text.empty() && text[0] == '-';
  std::string digits = negative ? text.substr(1) : text;
  std::string whole = digits, fraction;
  if (auto point = digits.find('.'); point != std::string::npos) {
    whole = digits.substr(0, point);
    fraction = digits.substr(point + 1);
  }
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  if (whole.empty()) whole = "0";
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (whole == "0" && fraction.empty()) negative = false;
  return (negative ? "-" : "") + whole + (fraction.empty() ? "" : "." + fraction);
}

std::string UnixMillisecondsToken(double days) {
  double ms = (days - 25569) * 86400 * 1000;
  double rounded = std::floor(ms);
  if (ms - rounded >= 0.5) rounded += 1;
  if (!(std::fabs(rounded) <= 8.64e15)) return "t:invalid";
  if (rounded == 0) rounded = 0;  // no negative zero
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "t:%.0f", rounded);
  return buffer;
}

void AppendDumpField(std::string& out, const DumpField& field, jet::FormatVersion version) {
  using jet::ColumnType;
  const Bytes& b = field.bytes;
  if (field.type == ColumnType::Boolean) {
    out += field.present ? "true" : "false";
    return;
  }
  if (!field.present) {
    out += "null";
    return;
  }
  auto need = [&](std::size_t size) {
    if (b.size() >= size) return true;
    out += "?";
    return false;
  };
  switch (field.type) {
    case ColumnType::Byte:
      if (need(1)) out += std::to_string(b[0]);
      return;
    case ColumnType::Integer:
      if (need(2)) out += std::to_string(static_cast<std::int16_t>(LittleEndian(b, 2)));
      return;
    case ColumnType::Long:
      if (need(4)) out += std::to_string(static_cast<std::int32_t>(LittleEndian(b, 4)));
      return;
    case ColumnType::Currency:
      if (need(8)) out += CanonicalDecimal(FormatCurrency(static_cast<std::int64_t>(LittleEndian(b, 8))));
      return;
    case ColumnType::Numeric:
      if (need(17)) out += CanonicalDecimal(FormatDecimal(b, field.scale));
      return;
    case ColumnType::Single:
    case ColumnType::Double:
    case ColumnType::DateTime: {
      double value;
      if (field.type == ColumnType::Single) {
        if (!need(4)) return;
        float single;
        std::uint32_t bits = static_cast<std::uint32_t>(LittleEndian(b, 4));
        std::memcpy(&single, &bits, sizeof single);
        value = single;
      } else {
        if (!need(8)) return;
        std::uint64_t bits = LittleEndian(b, 8);
        std::memcpy(&value, &bits, sizeof value);
      }
      if (field.type == ColumnType::DateTime) {
        out += UnixMillisecondsToken(value);
      } else if (std::isnan(value)) {
        out += "f:nan";
      } else {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "f:%016llx", static_cast<unsigned long long>(bits));
        out += buffer;
      }
      return;
    }
    case ColumnType::Binary:
    case ColumnType::OLE:
      out += "x:";
      AppendLowerHex(out, b);
      return;
    case ColumnType::Guid: {
      if (!need(16)) return;
      // xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx, first three groups little-endian.
      static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
      out += "g:";
      for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        AppendLowerHex(out, b.subspan(kOrder[i], 1));
      }
      return;
    }
    case ColumnType::Text:
    case ColumnType::Memo:
      AppendJsonUtf16(out, TextUnits(b, version));
      return;
    default:
      out += "?";
      return;
  }
}

}  // namespace vondrel::jet_tool
