#include "jet/format/text_encode.h"

#include "base/unicode.h"

namespace jet::encode {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 = unassigned.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

using vondrel::unicode::Utf8ToUtf16;

}  // namespace

Bytes EncodeUtf16Le(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  Bytes out;
  out.reserve(units.size() * 2);
  for (char16_t u : units) {
    out.push_back(static_cast<std::uint8_t>(u));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  return out;
}

Bytes EncodeJet4Text(std::string_view utf8, bool compression_allowed) {
  const std::u16string units = Utf8ToUtf16(utf8);
  // An empty text is stored as nothing: a lone FF FE marker reads as U+FEFF
  // in other readers.
  if (units.empty()) return {};
  bool compressible = compression_allowed && units.size() <= 1024;
  for (char16_t u : units) {
    if (u == 0 || u > 0xFF) { compressible = false; break; }
  }
  Bytes out;
  if (compressible) {
    out.reserve(units.size() + 2);
    out.push_back(0xFF);
    out.push_back(0xFE);
    for (char16_t u : units) out.push_back(static_cast<std::uint8_t>(u));
    return out;
  }
  out.reserve(units.size() * 2);
  for (char16_t u : units) {
    out.push_back(static_cast<std::uint8_t>(u));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  return out;
}

Bytes EncodeCodePageText(std::string_view utf8, std::uint16_t code_page) {
  const std::u16string units = Utf8ToUtf16(utf8);
  Bytes out;
  out.reserve(units.size());
  for (char16_t u : units) {
    if (u < 0x80) { out.push_back(static_cast<std::uint8_t>(u)); continue; }
    std::uint8_t byte = '?';
    if (code_page == 1252) {
      if (u >= 0xA0 && u <= 0xFF) byte = static_cast<std::uint8_t>(u);
      for (int k = 0; k < 32; ++k) {
        if (kCp1252High[k] == u) byte = static_cast<std::uint8_t>(0x80 + k);
      }
    }
    out.push_back(byte);
  }
  return out;
}

}  // namespace jet::encode
