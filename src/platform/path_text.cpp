#include "platform/path_text.h"

#include "base/unicode.h"

namespace vondrel::platform {
namespace {

// Host names map each byte that is not valid UTF-8 to U+DC80..U+DCFF and back;
// everything else follows the program's one rule for bad input.
std::u16string DecodeUtf8Text(std::string_view text, bool escape_invalid) {
  if (!escape_invalid) return unicode::Utf8ToUtf16(text);
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t code;
    std::size_t length = unicode::DecodeUtf8(text, pos, code);
    if (length == 0) {
      out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(text[pos]));
      ++pos;
    } else {
      unicode::AppendUtf16(code, out);
      pos += length;
    }
  }
  return out;
}

std::string EncodeUtf8Text(std::u16string_view text, bool unescape) {
  if (!unescape) return unicode::Utf16ToUtf8(text);
  std::string out;
  out.reserve(text.size());
  const auto unit = [&](std::size_t k) { return text[k]; };
  for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
    if (text[i] >= 0xDC80 && text[i] <= 0xDCFF) {
      out += static_cast<char>(text[i] - 0xDC00);
      length = 1;
    } else {
      unicode::AppendUtf8(unicode::DecodeUtf16(unit, i, text.size(), length), out);
    }
  }
  return out;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) { return unicode::Utf16ToUtf8(text); }
std::u16string FromUtf8(std::string_view text) { return unicode::Utf8ToUtf16(text); }
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

namespace {

// Length of the root part: "C:\" (3), "\\server\share\" or "\" alike.
std::size_t RootLength(const PathText& folder) {
  const std::size_t first_separator = folder.find(u'\\');
  if (first_separator == PathText::npos) return folder.size();
  return first_separator + 1;
}

}  // namespace

std::vector<PathText> FolderChain(const PathText& folder) {
  std::vector<PathText> chain;
  if (folder.empty()) return chain;
  std::size_t end = RootLength(folder);
  chain.push_back(folder.substr(0, end));
  while (end < folder.size()) {
    std::size_t next = folder.find(u'\\', end);
    if (next == PathText::npos) next = folder.size();
    if (next > end) chain.push_back(folder.substr(0, next));
    end = next + 1;
  }
  return chain;
}

std::u16string LastComponent(const PathText& folder) {
  const std::vector<PathText> chain = FolderChain(folder);
  if (chain.size() <= 1) return folder;
  const PathText& last = chain.back();
  return last.substr(last.rfind(u'\\') + 1);
}

PathText ChildFolder(const PathText& folder, const std::u16string& name) {
  if (!folder.empty() && folder.back() == u'\\') return folder + name;
  return folder + u"\\" + name;
}

}  // namespace vondrel::platform
