#include "location/name_matching.h"

#include <algorithm>
#include <cstddef>

#include "platform/path_text.h"

namespace vondrel::location {

using platform::FoldCase;

namespace {

std::u16string_view Trimmed(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

// Iterative matcher that backtracks only to the last "*": at worst
// name length x pattern length steps, and no recursion however long the pattern.
bool MatchesExactly(std::u16string_view name, std::u16string_view pattern) {
  std::size_t n = 0, p = 0;
  std::size_t star_pattern = std::u16string_view::npos, star_name = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star_pattern = p++;
      star_name = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
      ++p;
      ++n;
    } else if (star_pattern != std::u16string_view::npos) {
      p = star_pattern + 1;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesWildcard(std::u16string_view name, std::u16string_view pattern) {
  if (pattern.empty() || name.empty()) return false;
  if (MatchesExactly(name, pattern)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" &&
      name.find(u'.') == std::u16string_view::npos) {
    return MatchesExactly(name, pattern.substr(0, pattern.size() - 2));
  }
  return false;
}

bool MatchesPatternList(std::u16string_view name, std::u16string_view pattern_list) {
  while (true) {
    const std::size_t separator = pattern_list.find(u';');
    if (MatchesWildcard(name, Trimmed(pattern_list.substr(0, separator)))) return true;
    if (separator == std::u16string_view::npos) return false;
    pattern_list.remove_prefix(separator + 1);
  }
}

void SortNames(std::vector<std::u16string>& names) {
  std::sort(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
      const char16_t fa = FoldCase(a[i]), fb = FoldCase(b[i]);
      if (fa != fb) return fa < fb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
  });
}

std::vector<std::u16string> MatchingFiles(platform::FileSystem& files, const platform::PathText& folder,
                                          std::u16string_view pattern_list) {
  std::vector<std::u16string> names;
  if (folder.empty()) return names;
  for (std::u16string& name : files.OrdinaryFiles(folder)) {
    if (MatchesPatternList(name, pattern_list)) names.push_back(std::move(name));
  }
  SortNames(names);
  return names;
}

}  // namespace vondrel::location
