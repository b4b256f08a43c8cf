#include "base/unicode.h"

namespace vondrel::unicode {

std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  std::size_t length;
  char32_t minimum;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(pos + i) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || IsSurrogate(code)) return 0;
  return length;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto unit = [&](std::size_t k) { return text[k]; };
  for (std::size_t k = 0, length = 0; k < text.size(); k += length) AppendUtf8(DecodeUtf16(unit, k, text.size(), length), out);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t code;
    const std::size_t length = DecodeUtf8(text, pos, code);
    AppendUtf16(length == 0 ? kReplacement : code, out);
    pos += length == 0 ? 1 : length;
  }
  return out;
}

}  // namespace vondrel::unicode
