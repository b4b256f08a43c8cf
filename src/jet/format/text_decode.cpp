#include "jet/format/text_decode.h"

#include <mutex>
#include <string>
#include <unordered_map>

#include "base/unicode.h"

#if __has_include(<iconv.h>)
#include <iconv.h>
#define VONDREL_HAVE_ICONV 1
#endif

namespace jet {
namespace {

using vondrel::unicode::AppendUtf8;

// Windows-1252 0x80..0x9F; the rest of the upper half equals Latin-1.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

std::string DecodeCp1252(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::uint8_t byte : bytes) {
    if (byte < 0x80)
      out.push_back(static_cast<char>(byte));
    else if (byte < 0xA0)
      AppendUtf8(kCp1252High[byte - 0x80], out);
    else
      AppendUtf8(byte, out);
  }
  return out;
}

#ifdef VONDREL_HAVE_ICONV
// Converts with iconv; false when the code page is unknown to it.
bool DecodeWithIconv(std::span<const std::uint8_t> bytes, std::uint16_t code_page, std::string& out) {
  // One converter per code page for the life of the process, closed at exit.
  struct Converters {
    std::unordered_map<std::uint16_t, iconv_t> by_code_page;
    ~Converters() {
      for (auto& [code_page, converter] : by_code_page)
        if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
    }
  };
  static std::mutex mutex;
  static Converters converters;
  std::lock_guard lock(mutex);
  auto found = converters.by_code_page.find(code_page);
  if (found == converters.by_code_page.end()) {
    const std::string name = "CP" + std::to_string(code_page);
    iconv_t converter = iconv_open("UTF-8", name.c_str());
    found = converters.by_code_page.emplace(code_page, converter).first;
  }
  iconv_t converter = found->second;
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  out.clear();
  std::string buffer(bytes.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  std::size_t in_left = bytes.size();
  char* dest = buffer.data();
  std::size_t dest_left = buffer.size();
  while (in_left > 0) {
    if (iconv(converter, &in, &in_left, &dest, &dest_left) == static_cast<std::size_t>(-1)) {
      // Skip one undecodable byte, mark it, and go on.
      if (dest_left < 3) break;
      ++in;
      --in_left;
      const char replacement[3] = {'\xEF', '\xBF', '\xBD'};
      for (char c : replacement) *dest++ = c;
      dest_left -= 3;
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
  }
  out.assign(buffer.data(), dest);
  return true;
}
#endif

}  // namespace

std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  const std::size_t units = bytes.size() / 2;
  const auto unit = [&](std::size_t k) { return char16_t(bytes[2 * k] | bytes[2 * k + 1] << 8); };
  for (std::size_t k = 0, length = 0; k < units; k += length) AppendUtf8(vondrel::unicode::DecodeUtf16(unit, k, units, length), out);
  return out;
}

std::string DecodeJet4Text(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return Utf16LeToUtf8(bytes);
  // Expand to UTF-16LE first so surrogate pairs split across runs still join.
  std::string utf16;
  utf16.reserve(bytes.size() * 2);
  bool compressed = true;
  std::size_t k = 2;
  while (k < bytes.size()) {
    if (bytes[k] == 0x00) {
      compressed = !compressed;
      ++k;
    } else if (compressed) {
      utf16.push_back(static_cast<char>(bytes[k]));
      utf16.push_back('\0');
      ++k;
    } else if (k + 1 < bytes.size()) {
      utf16.push_back(static_cast<char>(bytes[k]));
      utf16.push_back(static_cast<char>(bytes[k + 1]));
      k += 2;
    } else {
      break;  // odd trailing byte
    }
  }
  return Utf16LeToUtf8(std::span(reinterpret_cast<const std::uint8_t*>(utf16.data()), utf16.size()));
}

std::string DecodeJet3Text(std::span<const std::uint8_t> bytes, std::uint16_t code_page) {
  bool ascii = true;
  for (std::uint8_t byte : bytes) ascii = ascii && byte < 0x80;
  if (ascii) return std::string(bytes.begin(), bytes.end());
  if (code_page == 1252 || code_page == 0) return DecodeCp1252(bytes);
#ifdef VONDREL_HAVE_ICONV
  std::string out;
  if (DecodeWithIconv(bytes, code_page, out)) return out;
#endif
  return DecodeCp1252(bytes);
}

}  // namespace jet
