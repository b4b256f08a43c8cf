#include "jet/format/text_encode.h"

namespace jet::encode {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 = unassigned.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::uint32_t cp = 0xFFFD;
    std::size_t extra = 0;
    if (b < 0x80) { cp = b; }
    else if ((b & 0xE0) == 0xC0) { cp = b & 0x1F; extra = 1; }
    else if ((b & 0xF0) == 0xE0) { cp = b & 0x0F; extra = 2; }
    else if ((b & 0xF8) == 0xF0) { cp = b & 0x07; extra = 3; }
    else { out.push_back(0xFFFD); ++i; continue; }
    bool ok = true;
    for (std::size_t k = 1; k <= extra; ++k) {
      if (i + k >= text.size()) { ok = false; break; }
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (c & 0x3F);
    }
    if (!ok) { out.push_back(0xFFFD); ++i; continue; }
    i += extra + 1;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      out.push_back(0xFFFD);
    }
  }
  return out;
}

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
