#pragma once
// Text helpers for Windows path text: UTF-16 <-> UTF-8 conversion, the host
// encoding of file names, case-insensitive name comparison, and composition.

#include <string>
#include <string_view>
#include <vector>

namespace vondrel::platform {

using PathText = std::u16string;

// UTF-16 to UTF-8 and back, bad input as base/unicode.h says (U+FFFD).
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// A host file name (bytes, normally UTF-8) as UTF-16 and back. Bytes that are
// not valid UTF-8 map to U+DC80..U+DCFF and back again, so that every name a
// folder listing shows can be used to reach the same file.
std::u16string FromHostName(std::string_view bytes);
std::string ToHostName(std::u16string_view name);

// The upper-case form used to compare names the way Windows does (Latin,
// Greek and Cyrillic letters; every other character compares as itself).
char16_t FoldCase(char16_t c);
std::u16string FoldCase(std::u16string_view text);
bool SameNameIgnoringCase(std::u16string_view a, std::u16string_view b);

inline bool IsPathSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// folder + "\" + name, exactly as composed for display: a folder that already
// ends in a backslash (a drive root) gives two backslashes in a row.
PathText JoinPath(const PathText& folder, const std::u16string& name);

// The text before and after the last separator ("C:\a\b.mdb" -> "C:\a", "b.mdb";
// "C:b.mdb" -> "C:", "b.mdb"; a name without folder gives an empty folder).
struct SplitPath {
  PathText folder;
  std::u16string name;
};
SplitPath SplitLastComponent(const PathText& path);

// The folders from the drive root down to `folder` itself, as full paths:
// "C:\A\B" gives "C:\", "C:\A", "C:\A\B". The folder lists show this branch.
std::vector<PathText> FolderChain(const PathText& folder);

// The last component of a folder path; the root itself for a drive root.
std::u16string LastComponent(const PathText& folder);

// `folder` + "\" + `name`, without doubling the separator at a drive root.
PathText ChildFolder(const PathText& folder, const std::u16string& name);

}  // namespace vondrel::platform
