#include "window_win32/memory_file_system.h"

#include <algorithm>

#include "platform/file_errors.h"
#include "platform/path_text.h"

namespace vondrel::testing {
namespace {

bool Hidden(const std::u16string& name) { return !name.empty() && name[0] == u'.'; }

}  // namespace

platform::PathText MemoryFileSystem::Normalise(const platform::PathText& path) const {
  platform::PathText text = path;
  std::replace(text.begin(), text.end(), u'/', u'\\');
  platform::PathText drive = u"C:";
  std::size_t at = 0;
  if (text.size() >= 2 && text[1] == u':') {
    drive = text.substr(0, 2);
    at = 2;
  }
  std::vector<std::u16string> names;
  if (at >= text.size() || text[at] != u'\\') {
    // Relative to the drive's current folder.
    const auto current = current_.find(platform::FoldCase(drive[0]));
    if (current != current_.end()) {
      const std::vector<platform::PathText> chain = platform::FolderChain(current->second);
      for (std::size_t i = 1; i < chain.size(); ++i) names.push_back(platform::LastComponent(chain[i]));
    }
  }
  while (at < text.size()) {
    std::size_t end = text.find(u'\\', at);
    if (end == platform::PathText::npos) end = text.size();
    const std::u16string name = text.substr(at, end - at);
    if (name == u"..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != u".") {
      names.push_back(name);
    }
    at = end + 1;
  }
  platform::PathText out = drive + u"\\";
  for (std::size_t i = 0; i < names.size(); ++i) out += (i == 0 ? u"" : u"\\") + names[i];
  return out;
}

platform::PathText MemoryFileSystem::Key(const platform::PathText& normalised) { return platform::FoldCase(normalised); }

const MemoryFileSystem::Node* MemoryFileSystem::Find(const platform::PathText& path) const {
  const auto found = nodes_.find(Key(Normalise(path)));
  return found == nodes_.end() ? nullptr : &found->second;
}

void MemoryFileSystem::MakeFolder(const platform::PathText& path) {
  for (const platform::PathText& folder : platform::FolderChain(Normalise(path))) {
    nodes_.try_emplace(Key(folder), Node{platform::LastComponent(folder), true, {}});
  }
}

void MemoryFileSystem::WriteFile(const platform::PathText& path, const std::string& bytes) {
  const platform::PathText normalised = Normalise(path);
  const platform::SplitPath split = platform::SplitLastComponent(normalised);
  MakeFolder(split.folder);
  nodes_[Key(normalised)] = Node{split.name, false, bytes};
}

std::optional<std::string> MemoryFileSystem::ReadFile(const platform::PathText& path) const {
  const Node* node = Find(path);
  if (!node || node->folder) return std::nullopt;
  return node->bytes;
}

void MemoryFileSystem::RemoveFolder(const platform::PathText& path) {
  const platform::PathText key = Key(Normalise(path));
  for (auto node = nodes_.begin(); node != nodes_.end();) {
    const bool inside = node->first == key || node->first.rfind(key + u"\\", 0) == 0;
    node = inside ? nodes_.erase(node) : std::next(node);
  }
}

bool MemoryFileSystem::OrdinaryFileExists(const platform::PathText& path) {
  const Node* node = Find(path);
  return node && !node->folder && !Hidden(node->name);
}

void MemoryFileSystem::DeleteFile(const platform::PathText& path) {
  const Node* node = Find(path);
  if (!node || node->folder) throw Error(platform::kFileNotFound, "File not found");
  nodes_.erase(Key(Normalise(path)));
}

void MemoryFileSystem::RenameFile(const platform::PathText& from, const platform::PathText& to) {
  const Node* node = Find(from);
  if (!node || node->folder) throw Error(platform::kFileNotFound, "File not found");
  const bool same = Key(Normalise(from)) == Key(Normalise(to));
  if (!same && Find(to)) throw Error(platform::kFileAlreadyExists, "File already exists");
  std::string bytes = node->bytes;
  nodes_.erase(Key(Normalise(from)));
  WriteFile(to, bytes);
}

void MemoryFileSystem::ReplaceFile(const platform::PathText& from, const platform::PathText& to) {
  const Node* node = Find(from);
  if (!node || node->folder) throw Error(platform::kFileNotFound, "File not found");
  std::string bytes = node->bytes;
  nodes_.erase(Key(Normalise(from)));
  const auto existing = nodes_.find(Key(Normalise(to)));
  if (existing != nodes_.end()) {
    existing->second.bytes = bytes;  // under its stored name
  } else {
    WriteFile(to, bytes);
  }
}

void MemoryFileSystem::ReplaceFileKeepingOld(const platform::PathText& from, const platform::PathText& to,
                                             const platform::PathText& backup) {
  if (Find(backup)) throw Error(platform::kFileAlreadyExists, "File already exists");
  if (const Node* old = Find(to)) WriteFile(backup, old->bytes);
  ReplaceFile(from, to);
}

platform::PathText MemoryFileSystem::ResolveFolder(const platform::PathText& folder) {
  const platform::PathText normalised = Normalise(folder);
  const Node* node = Find(normalised);
  // A drive root is there as soon as anything is on the drive.
  const bool root = normalised.size() == 3 &&
                    std::any_of(nodes_.begin(), nodes_.end(), [&](const auto& entry) {
                      return entry.first.rfind(Key(normalised), 0) == 0;
                    });
  if (!(node && node->folder) && !root) throw Error(platform::kPathNotFound, "Path not found");
  return normalised;
}

void MemoryFileSystem::SetCurrentFolder(const platform::PathText& folder) {
  const platform::PathText resolved = ResolveFolder(folder);
  current_[platform::FoldCase(resolved[0])] = resolved;
}

std::vector<std::u16string> MemoryFileSystem::Children(const platform::PathText& folder, bool folders) {
  const platform::PathText parent = Key(ResolveFolder(folder));
  std::vector<std::u16string> names;
  for (const auto& [key, node] : nodes_) {
    if (node.folder != folders || node.name.empty() || Hidden(node.name) || key == parent) continue;
    if (Key(platform::SplitLastComponent(key).folder) == parent) names.push_back(node.name);
  }
  std::sort(names.begin(), names.end(),
            [](const std::u16string& a, const std::u16string& b) { return platform::FoldCase(a) < platform::FoldCase(b); });
  return names;
}

std::vector<std::u16string> MemoryFileSystem::SubFolders(const platform::PathText& folder) {
  return Children(folder, true);
}

std::vector<std::u16string> MemoryFileSystem::OrdinaryFiles(const platform::PathText& folder) {
  return Children(folder, false);
}

std::filesystem::path MemoryFileSystem::HostPath(const platform::PathText&) {
  throw Error(platform::kPathFileAccessError, "Path/File access error");
}

}  // namespace vondrel::testing
