#include "dump_value.h"

#include <cmath>
#include <cstdio>
#include <cstring>

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

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
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
    if (u < 0x20) {
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(u));
      out += escaped;
    } else if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      AppendUtf8(out, 0x10000 + ((std::uint32_t{u} - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u < 0xE000) {
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(u));
      out += escaped;
    } else {
      AppendUtf8(out, u);
    }
  }
  out += '"';
}

void AppendJsonUtf8(std::string& out, const std::string& text) {
  std::u16string units;
  for (std::size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    std::uint32_t cp = 0xFFFD;
    std::size_t length = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 0x6 || (c >> 4) == 0xE || (c >> 3) == 0x1E) {
      length = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : 4;
      cp = c & (0x7F >> length);
      bool valid = i + length <= text.size();
      for (std::size_t k = 1; valid && k < length; ++k) {
        auto next = static_cast<unsigned char>(text[i + k]);
        valid = (next & 0xC0) == 0x80;
        cp = (cp << 6) | (next & 0x3F);
      }
      if (!valid || cp > 0x10FFFF) {
        cp = 0xFFFD;
        length = 1;
      }
    }
    i += length;
    if (cp >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(cp);
    }
  }
  AppendJsonUtf16(out, units);
}

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
