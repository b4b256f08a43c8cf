#include "window/path_text.h"

namespace vondrel::window {
namespace {

// Length of the root part: "C:\" (3), "\\server\share\" or "\" alike.
std::size_t RootLength(const platform::PathText& folder) {
  const std::size_t firstSeparator = folder.find(u'\\');
  if (firstSeparator == platform::PathText::npos) return folder.size();
  return firstSeparator + 1;
}

}  // namespace

std::vector<platform::PathText> FolderChain(const platform::PathText& folder) {
  std::vector<platform::PathText> chain;
  if (folder.empty()) return chain;
  std::size_t end = RootLength(folder);
  chain.push_back(folder.substr(0, end));
  while (end < folder.size()) {
    std::size_t next = folder.find(u'\\', end);
    if (next == platform::PathText::npos) next = folder.size();
    if (next > end) chain.push_back(folder.substr(0, next));
    end = next + 1;
  }
  return chain;
}

std::u16string LastComponent(const platform::PathText& folder) {
  const std::vector<platform::PathText> chain = FolderChain(folder);
  if (chain.size() <= 1) return folder;
  const platform::PathText& last = chain.back();
  return last.substr(last.rfind(u'\\') + 1);
}

platform::PathText ChildFolder(const platform::PathText& folder, const std::u16string& name) {
  if (!folder.empty() && folder.back() == u'\\') return folder + name;
  return folder + u"\\" + name;
}

}  // namespace vondrel::window
