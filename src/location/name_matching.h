#pragma once
// File-name rules of the file list: wildcard patterns and ordering, both
// without regard to case, as the Windows file system compares names.

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace vondrel::location {

// True when `name` matches one wildcard pattern: "*" stands for any run of
// characters, "?" for any one character. A pattern ending in ".*" also takes
// names without an extension, as "*.*" takes every name on Windows.
bool MatchesWildcard(std::u16string_view name, std::u16string_view pattern);

// True when `name` matches any of the patterns in a ";"-separated list.
// Blanks around each pattern are ignored; an empty list matches nothing.
bool MatchesPatternList(std::u16string_view name, std::u16string_view pattern_list);

// Sorts names without regard to case; names equal but for case keep a fixed
// order by their code units.
void SortNames(std::vector<std::u16string>& names);

// The ordinary files of `folder` whose names match `pattern_list`, sorted as
// the file list shows them; none for an empty folder text. Throws as the
// file system does for a missing folder.
std::vector<std::u16string> MatchingFiles(platform::FileSystem& files, const platform::PathText& folder,
                                          std::u16string_view pattern_list);

}  // namespace vondrel::location
