#include "export_text.h"

#include <algorithm>

#include "base/code_page_tables.h"
#include "base/unicode.h"

namespace vondrel::jet_tool {

namespace {

// The iconv names of the multi-byte code pages that have no table here.
const char* MultiByteName(std::uint16_t code_page) {
  switch (code_page) {
    case 932: return "SHIFT-JIS";
    case 936: return "WINDOWS-936";
    case 950: return "BIG-5";
    case 951: return "BIG5-HKSCS";
    case 1361: return "CP1361";
    case 20932: return "EUC-JP";
    case 51932: return "EUC-JP";
    case 51936: return "EUC-CN";
    case 51949: return "EUC-KR";
    case 65000: return "UTF-7";
    default: return nullptr;
  }
}

}  // namespace

std::string ExpandCompressedUnicode(Bytes compressed) {
  std::string units;
  units.reserve(compressed.size() * 2);
  bool one_byte_mode = true;
  std::size_t i = 0;
  while (i < compressed.size()) {
    std::uint8_t b = compressed[i];
    if (b == 0) {
      one_byte_mode = !one_byte_mode;
      ++i;
    } else if (one_byte_mode) {
      units.push_back(static_cast<char>(b));
      units.push_back('\0');
      ++i;
    } else if (compressed.size() - i >= 2) {
      units.push_back(static_cast<char>(compressed[i]));
      units.push_back(static_cast<char>(compressed[i + 1]));
      i += 2;
    } else {
      break;  // a dangling half code unit ends the value
    }
  }
  return units;
}

bool ExportTextDecoder::Knows(std::uint16_t code_page) {
  if (code_page::UpperHalf(code_page) || code_page == 65001 || code_page == 1200 || code_page == 1201) return true;
  const char* name = MultiByteName(code_page);
  return name && ConvertWithIconv(name, Bytes(), 1).has_value();
}

ExportTextDecoder::ExportTextDecoder(jet::FormatVersion version, std::uint16_t code_page) : version_(version) {
  if (version != jet::FormatVersion::Jet3) return;
  source_ = Source::SingleByte;
  upper_half_ = code_page::UpperHalf(code_page);
  if (upper_half_) return;
  if (code_page == 65001) {
    source_ = Source::Utf8;
  } else if (code_page == 1200) {
    source_ = Source::Utf16Le;
  } else if (code_page == 1201) {
    source_ = Source::Utf16Be;
  } else if (Knows(code_page)) {
    source_ = Source::Iconv;
    iconv_name_ = MultiByteName(code_page);
  } else {
    upper_half_ = code_page::UpperHalf(1252);
  }
}

std::string ExportTextDecoder::Decode(Bytes stored) const {
  if (version_ == jet::FormatVersion::Jet4 && stored.size() >= 2 && stored[0] == 0xFF && stored[1] == 0xFE) {
    std::string units = ExpandCompressedUnicode(stored.subspan(2));
    return Convert(Bytes(reinterpret_cast<const std::uint8_t*>(units.data()), units.size()));
  }
  return Convert(stored);
}

ExportTextDecoder::Character ExportTextDecoder::Next(Bytes input, std::size_t pos) const {
  const std::size_t left = input.size() - pos;
  const auto unit = [&](std::size_t at, bool little) -> char32_t {
    return little ? input[at] | input[at + 1] << 8 : input[at] << 8 | input[at + 1];
  };
  switch (source_) {
    case Source::SingleByte: {
      const std::uint8_t byte = input[pos];
      if (byte < 0x80) return {byte, 1};
      const char16_t code = upper_half_[byte - 0x80];
      return code ? Character{code, 1} : Character{};
    }
    case Source::Ucs2Le: {
      const char32_t code = unit(pos, true);  // the caller leaves at least two bytes
      return unicode::IsSurrogate(code) ? Character{} : Character{code, 2};
    }
    case Source::Utf16Le:
    case Source::Utf16Be: {
      const bool little = source_ == Source::Utf16Le;
      if (left < 2) return {};
      const char32_t first = unit(pos, little);
      if (!unicode::IsSurrogate(first)) return {first, 2};
      if (!unicode::IsHighSurrogate(first) || left < 4) return {};
      const char32_t second = unit(pos + 2, little);
      if (!unicode::IsLowSurrogate(second)) return {};
      return {0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00), 4};
    }
    case Source::Utf8: {
      const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
      char32_t code = 0;
      const std::size_t length = unicode::DecodeUtf8(text, pos, code);
      return length ? Character{code, length} : Character{};
    }
    case Source::Iconv: break;
  }
  return {};
}

std::string ExportTextDecoder::Convert(Bytes input) const {
  const bool jet3 = version_ == jet::FormatVersion::Jet3;
  // mdb-export's buffer: at most the limit, and never more than 3 bytes per input byte.
  const std::size_t capacity = std::min(kExportTextLimit, input.size() * 3 + 1);
  std::string out;
  if (source_ == Source::Iconv) {
    out = ConvertWithIconv(iconv_name_, input, capacity).value_or(std::string());
  } else {
    out.reserve(capacity);
    const std::size_t step = jet3 ? 1 : 2;
    std::string encoded;
    for (std::size_t pos = 0; pos < input.size() && out.size() < capacity;) {
      if (!jet3 && input.size() - pos < 2) break;  // an odd trailing byte is dropped
      const Character character = Next(input, pos);
      if (character.length == 0) {
        // Skip one unconvertible character and mark it.
        pos += std::min(step, input.size() - pos);
        out += '?';
        continue;
      }
      encoded.clear();
      unicode::AppendUtf8(character.code, encoded);
      if (out.size() + encoded.size() > capacity) break;  // whole characters only
      out += encoded;
      pos += character.length;
    }
  }
  const auto nul = out.find('\0');
  if (nul != std::string::npos) out.resize(nul);
  return out;
}

}  // namespace vondrel::jet_tool
