#pragma once
// UTF-8 and UTF-16 for the whole program, with one rule for bad input: what is
// not a Unicode scalar value in well-formed, shortest form becomes U+FFFD.
//   UTF-8:  each byte that does not begin a complete, shortest-form sequence of
//           a scalar value is one U+FFFD, and decoding goes on at the next byte
//           (so "\xC0\xAF", an overlong '/', is two; "\xED\xA0\x80", an encoded
//           surrogate, is three; "\xE2\x82" cut short is two).
//   UTF-16: each surrogate without its partner is one U+FFFD.
//   A code point given to an encoder that is a surrogate or above U+10FFFF is
//   one U+FFFD.

#include <cstddef>
#include <string>
#include <string_view>

namespace vondrel::unicode {

inline constexpr char32_t kReplacement = 0xFFFD;

inline bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// Appends the UTF-8 form of `code`.
inline void AppendUtf8(char32_t code, std::string& out) {
  if (code > 0x10FFFF || IsSurrogate(code)) code = kReplacement;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Appends the UTF-16 form of `code` (a pair above U+FFFF).
inline void AppendUtf16(char32_t code, std::u16string& out) {
  if (code > 0x10FFFF || IsSurrogate(code)) code = kReplacement;
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
  } else {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  }
}

// The code point of the UTF-16 text whose unit k is unit(k) (k < count) that
// starts at unit `at`; `length` receives the units it took (2 for a pair, else
// 1). A lone surrogate gives U+FFFD. A template so that stored UTF-16LE bytes
// are read in place.
template <typename UnitAt>
char32_t DecodeUtf16(const UnitAt& unit, std::size_t at, std::size_t count, std::size_t& length) {
  const char32_t first = unit(at);
  length = 1;
  if (!IsSurrogate(first)) return first;
  if (IsHighSurrogate(first) && at + 1 < count) {
    const char32_t second = unit(at + 1);
    if (IsLowSurrogate(second)) {
      length = 2;
      return 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
    }
  }
  return kReplacement;
}

// The length of the UTF-8 sequence at `pos` with its code point in `code`, or
// 0 when the bytes there are not a complete, shortest-form sequence of a
// scalar value.
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& code);

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace vondrel::unicode
