#include "export_text.h"

#include <cerrno>
#include <iconv.h>

namespace vondrel::jet_tool {

namespace {

iconv_t AsIconv(void* converter) { return static_cast<iconv_t>(converter); }
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

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

const char* ExportTextDecoder::CodePageName(std::uint16_t code_page) {
  switch (code_page) {
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 852: return "IBM852";
    case 855: return "IBM855";
    case 860: return "IBM860";
    case 861: return "IBM861";
    case 862: return "IBM862";
    case 865: return "IBM865";
    case 866: return "IBM866";
    case 869: return "IBM869";
    case 874: return "WINDOWS-874";
    case 932: return "SHIFT-JIS";
    case 936: return "WINDOWS-936";
    case 950: return "BIG-5";
    case 951: return "BIG5-HKSCS";
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 1250: return "WINDOWS-1250";
    case 1251: return "WINDOWS-1251";
    case 1252: return "WINDOWS-1252";
    case 1253: return "WINDOWS-1253";
    case 1254: return "WINDOWS-1254";
    case 1255: return "WINDOWS-1255";
    case 1256: return "WINDOWS-1256";
    case 1257: return "WINDOWS-1257";
    case 1258: return "WINDOWS-1258";
    case 1361: return "CP1361";
    case 20866: return "KOI8-R";
    case 20932: return "EUC-JP";
    case 21866: return "KOI8-U";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 28593: return "ISO-8859-3";
    case 28594: return "ISO-8859-4";
    case 28595: return "ISO-8859-5";
    case 28596: return "ISO-8859-6";
    case 28597: return "ISO-8859-7";
    case 28598: return "ISO-8859-8";
    case 28599: return "ISO-8859-9";
    case 28503: return "ISO-8859-13";
    case 28505: return "ISO-8859-15";
    case 51932: return "EUC-JP";
    case 51936: return "EUC-CN";
    case 51949: return "EUC-KR";
    case 65000: return "UTF-7";
    case 65001: return "UTF-8";
    default: return nullptr;
  }
}

ExportTextDecoder::ExportTextDecoder(jet::FormatVersion version, std::uint16_t code_page)
    : version_(version), converter_(kNoConverter) {
  const char* source = "UCS-2LE";
  if (version == jet::FormatVersion::Jet3) {
    source = CodePageName(code_page);
    if (!source) source = "CP1252";
  }
  iconv_t converter = iconv_open("UTF-8", source);
  if (converter == kNoConverter) converter = iconv_open("UTF-8", "CP1252");
  converter_ = converter;
}

ExportTextDecoder::~ExportTextDecoder() {
  if (AsIconv(converter_) != kNoConverter) iconv_close(AsIconv(converter_));
}

std::string ExportTextDecoder::Decode(Bytes stored) const {
  if (version_ == jet::FormatVersion::Jet4 && stored.size() >= 2 && stored[0] == 0xFF && stored[1] == 0xFE) {
    std::string units = ExpandCompressedUnicode(stored.subspan(2));
    return Convert(Bytes(reinterpret_cast<const std::uint8_t*>(units.data()), units.size()));
  }
  return Convert(stored);
}

std::string ExportTextDecoder::Convert(Bytes input) const {
  const bool jet3 = version_ == jet::FormatVersion::Jet3;
  const std::size_t step = jet3 ? 1 : 2;
  // Worst case UTF-8 growth is 3 bytes per input byte (plus '?' replacements).
  std::string out(std::min(kExportTextLimit, input.size() * 3 + 1), '\0');
  std::size_t written = 0;
  if (AsIconv(converter_) == kNoConverter) {
    out.clear();
    return out;
  }
  iconv_t cd = AsIconv(converter_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in_ptr = const_cast<char*>(reinterpret_cast<const char*>(input.data()));
  std::size_t in_left = input.size();
  char* out_ptr = out.data();
  std::size_t out_left = out.size();
  while (out_left > 0) {
    errno = 0;
    std::size_t result = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    bool too_big = result == static_cast<std::size_t>(-1) && errno == E2BIG;
    if (!jet3 && in_left <= 1) break;  // an odd trailing byte is dropped
    if (in_left == 0 || out_left == 0 || too_big) break;
    // Skip one unconvertible character and mark it.
    std::size_t skip = std::min(step, in_left);
    in_ptr += skip;
    in_left -= skip;
    *out_ptr++ = '?';
    --out_left;
  }
  written = out.size() - out_left;
  out.resize(written);
  auto nul = out.find('\0');
  if (nul != std::string::npos) out.resize(nul);
  return out;
}

}  // namespace vondrel::jet_tool
