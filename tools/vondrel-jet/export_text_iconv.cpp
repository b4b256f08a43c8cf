// Multi-byte Jet 3 code pages through the C library's iconv, where it has one.
#include "export_text.h"

#if __has_include(<iconv.h>)
#include <cerrno>
#include <iconv.h>
#endif

namespace vondrel::jet_tool {

#if __has_include(<iconv.h>)

std::optional<std::string> ConvertWithIconv(const char* encoding, Bytes input, std::size_t limit) {
  const iconv_t none = reinterpret_cast<iconv_t>(-1);
  iconv_t converter = iconv_open("UTF-8", encoding);
  if (converter == none) return std::nullopt;
  std::string out(limit, '\0');
  char* in_ptr = const_cast<char*>(reinterpret_cast<const char*>(input.data()));
  std::size_t in_left = input.size();
  char* out_ptr = out.data();
  std::size_t out_left = out.size();
  while (out_left > 0) {
    errno = 0;
    const std::size_t result = iconv(converter, &in_ptr, &in_left, &out_ptr, &out_left);
    const bool too_big = result == static_cast<std::size_t>(-1) && errno == E2BIG;
    if (in_left == 0 || out_left == 0 || too_big) break;
    // Skip one unconvertible byte and mark it.
    ++in_ptr;
    --in_left;
    *out_ptr++ = '?';
    --out_left;
  }
  iconv_close(converter);
  out.resize(out.size() - out_left);
  return out;
}

#else

std::optional<std::string> ConvertWithIconv(const char*, Bytes, std::size_t) { return std::nullopt; }

#endif

}  // namespace vondrel::jet_tool
