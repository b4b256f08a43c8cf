#include "platform/path_text.h"

namespace vondrel::platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t code) {
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

void AppendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
  } else {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  }
}

// Decodes one UTF-8 sequence at `pos`; returns its length, or 0 when the bytes
// there are not a valid, shortest-form sequence of a scalar value.
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& code) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(pos);
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
  if (pos + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(pos + i) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

std::u16string DecodeUtf8Text(std::string_view text, bool escapeInvalid) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t code;
    std::size_t length = DecodeUtf8(text, pos, code);
    if (length == 0) {
      out += escapeInvalid ? static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(text[pos])) : kReplacement;
      ++pos;
    } else {
      AppendUtf16(out, code);
      pos += length;
    }
  }
  return out;
}

std::string EncodeUtf8Text(std::u16string_view text, bool unescape) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
      ++i;
    } else if (unit >= 0xDC80 && unit <= 0xDCFF && unescape) {
      out += static_cast<char>(unit - 0xDC00);
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) { return EncodeUtf8Text(text, false); }
std::u16string FromUtf8(std::string_view text) { return DecodeUtf8Text(text, false); }
std::u16string FromHostName(std::string_view bytes) { return DecodeUtf8Text(bytes, true); }
std::string ToHostName(std::u16string_view name) { return EncodeUtf8Text(name, true); }

char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? c - 0x20 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  // Latin Extended-A: upper and lower case alternate in pairs.
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~char16_t{1};
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if (c >= 0x3B1 && c <= 0x3CB) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

std::u16string FoldCase(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = FoldCase(c);
  return out;
}

bool SameNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

PathText JoinPath(const PathText& folder, const std::u16string& name) { return folder + u"\\" + name; }

SplitPath SplitLastComponent(const PathText& path) {
  std::size_t cut = path.size();
  while (cut > 0 && !IsPathSeparator(path[cut - 1])) --cut;
  if (cut == 0 && path.size() >= 2 && path[1] == u':') cut = 2;  // "C:name"
  SplitPath split{path.substr(0, cut), path.substr(cut)};
  // Drop the separator itself, except the one that marks a drive's root.
  if (!split.folder.empty() && IsPathSeparator(split.folder.back())) {
    bool driveRoot = split.folder.size() == 3 && split.folder[1] == u':';
    bool bareRoot = split.folder.size() == 1;
    if (!driveRoot && !bareRoot) split.folder.pop_back();
  }
  return split;
}

}  // namespace vondrel::platform
