#pragma once
// Text as this engine stores it: names and values from UTF-8 to Jet 4's
// UTF-16LE (optionally the compressed form) or to Jet 3's code page.
// Layout: docs/jet-format.md, section 8.

#include <cstdint>
#include <string>
#include <string_view>

#include "jet/format/bytes_encode.h"

namespace jet::encode {

// UTF-16LE bytes of the text (bad UTF-8 as base/unicode.h says: U+FFFD).
Bytes EncodeUtf16Le(std::string_view utf8);

// A Jet 4 text value: the compressed form (FF FE + one byte per character)
// when allowed and every character is U+0001..U+00FF and the text is at most
// 1024 characters, otherwise plain UTF-16LE; no bytes for an empty text.
Bytes EncodeJet4Text(std::string_view utf8, bool compression_allowed);

// Text in a single-byte code page (1252 and its ASCII subset for others);
// characters it cannot represent become '?'.
Bytes EncodeCodePageText(std::string_view utf8, std::uint16_t code_page);

}  // namespace jet::encode
