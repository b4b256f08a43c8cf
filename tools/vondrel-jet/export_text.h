#pragma once
// Stored text (Jet 3 code-page bytes, Jet 4 UTF-16LE or compressed Unicode)
// turned into the UTF-8 that `export` prints. Conversion goes through iconv
// so that characters the source encoding cannot represent (lone surrogates,
// undefined code-page bytes) come out as '?' one by one, and the result stops
// at the first NUL and at the same length limit as mdb-export's, so both
// tools print the same bytes.

#include <cstddef>
#include <cstdint>
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
  ~ExportTextDecoder();
  ExportTextDecoder(const ExportTextDecoder&) = delete;
  ExportTextDecoder& operator=(const ExportTextDecoder&) = delete;

  // UTF-8 of one stored value, cut at the first NUL and at kExportTextLimit.
  std::string Decode(Bytes stored) const;

  // The iconv name of a Windows code page, or null when unknown.
  static const char* CodePageName(std::uint16_t code_page);

 private:
  std::string Convert(Bytes input) const;

  jet::FormatVersion version_;
  void* converter_;  // iconv_t
};

}  // namespace vondrel::jet_tool
