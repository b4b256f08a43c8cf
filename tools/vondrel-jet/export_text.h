#pragma once
// Stored text (Jet 3 code-page bytes, Jet 4 UTF-16LE or compressed Unicode)
// turned into the UTF-8 that `export` prints, the way mdb-export turns it
// with iconv: characters the source encoding cannot represent (surrogates,
// which UCS-2 lacks, undefined code-page bytes) come out as '?' one by one,
// and the result stops at the first NUL and at the same length limit, so both
// tools print the same bytes. Single-byte code pages and UTF-8/UTF-16 are
// decoded by our own tables alike on every platform; multi-byte code pages go
// through iconv where the C library has it (not on Windows: there they read
// as 1252).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "jet/format/format_constants.h"

namespace vondrel::jet_tool {

using Bytes = std::span<const std::uint8_t>;

// Longest text value `export` prints, in UTF-8 bytes (mdb-export binds
// 200000-byte buffers, one of them for the terminating NUL).
inline constexpr std::size_t kExportTextLimit = 199999;

// Expands Jet 4 compressed Unicode (after its FF FE marker) into UTF-16LE:
// a 0x00 byte toggles between one-byte characters and two-byte code units.
std::string ExpandCompressedUnicode(Bytes compressed);

class ExportTextDecoder {
 public:
  // Jet 3 text is in `code_page` (unknown code pages are read as 1252);
  // Jet 4 text is UTF-16LE.
  ExportTextDecoder(jet::FormatVersion version, std::uint16_t code_page);

  // UTF-8 of one stored value, cut at the first NUL and at kExportTextLimit.
  std::string Decode(Bytes stored) const;

  // True when Jet 3 text in `code_page` is read in that code page, not as 1252.
  static bool Knows(std::uint16_t code_page);

 private:
  enum class Source { Ucs2Le, SingleByte, Utf8, Utf16Le, Utf16Be, Iconv };
  // One character at `pos`: its code point and length in bytes; length 0
  // for one the encoding cannot represent or that the input cuts short.
  struct Character {
    char32_t code = 0;
    std::size_t length = 0;
  };
  Character Next(Bytes input, std::size_t pos) const;
  std::string Convert(Bytes input) const;

  jet::FormatVersion version_;
  Source source_ = Source::Ucs2Le;
  const char16_t* upper_half_ = nullptr;  // Source::SingleByte
  const char* iconv_name_ = nullptr;      // Source::Iconv
};

// Multi-byte code-page text converted by iconv the same way (at most `limit`
// bytes of whole characters, '?' for each byte it cannot convert); nothing
// where the C library has no iconv or does not know the encoding.
std::optional<std::string> ConvertWithIconv(const char* encoding, Bytes input, std::size_t limit);

}  // namespace vondrel::jet_tool
