#include "platform/drive_table.h"

#include <cstdlib>

#include "platform/file_errors.h"

namespace vondrel::platform {
namespace fs = std::filesystem;

namespace {

std::optional<char16_t> DriveLetterOf(const std::string& linkName) {
  if (linkName.size() != 2 || linkName[1] != ':') return std::nullopt;
  char c = linkName[0];
  if (c >= 'a' && c <= 'z') return static_cast<char16_t>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return static_cast<char16_t>(c);
  return std::nullopt;
}

// The number of leading components `root` shares with `path` when it holds
// it, else nothing. Both are absolute and normal.
std::optional<std::size_t> DepthIfHolds(const fs::path& root, const fs::path& path) {
  auto r = root.begin();
  auto p = path.begin();
  std::size_t depth = 0;
  for (; r != root.end(); ++r, ++p, ++depth) {
    if (p == path.end() || *r != *p) return std::nullopt;
  }
  return depth;
}

}  // namespace

DriveTable::DriveTable(std::map<char16_t, fs::path> drives) {
  for (auto& [letter, root] : drives) {
    fs::path normal = root.lexically_normal();
    if (normal.has_relative_path() && !normal.has_filename()) normal = normal.parent_path();  // "a/b/" -> "a/b"
    drives_[FoldCase(letter)] = normal;
  }
  if (!drives_.count(u'Z')) drives_[u'Z'] = "/";
}

DriveTable DriveTable::FromWinePrefix(const fs::path& prefix) {
  std::map<char16_t, fs::path> drives;
  std::error_code ec;
  fs::path devices = prefix / "dosdevices";
  if (!fs::is_directory(devices, ec)) return DriveTable(std::move(drives));
  for (fs::directory_iterator it(devices, ec), end; !ec && it != end; it.increment(ec)) {
    auto letter = DriveLetterOf(it->path().filename().string());
    if (!letter) continue;
    std::error_code linkError;
    fs::path target = fs::canonical(it->path(), linkError);  // follows ../drive_c
    if (linkError || !fs::is_directory(target, linkError)) continue;
    drives[*letter] = target;
  }
  return DriveTable(std::move(drives));
}

DriveTable DriveTable::FromEnvironment() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix && *prefix) return FromWinePrefix(prefix);
  const char* home = std::getenv("HOME");
  if (home && *home) return FromWinePrefix(fs::path(home) / ".wine");
  return DriveTable({});
}

std::optional<fs::path> DriveTable::Root(char16_t letter) const {
  auto found = drives_.find(FoldCase(letter));
  if (found == drives_.end()) return std::nullopt;
  return found->second;
}

PathText DriveTable::ShowHostPath(const fs::path& hostPath) const {
  std::error_code ec;
  fs::path path = fs::weakly_canonical(fs::absolute(hostPath, ec), ec);
  if (ec) path = hostPath.lexically_normal();
  const std::pair<const char16_t, fs::path>* best = nullptr;
  std::size_t bestDepth = 0;
  for (const auto& drive : drives_) {
    auto depth = DepthIfHolds(drive.second, path);
    if (depth && (!best || *depth > bestDepth)) best = &drive, bestDepth = *depth;
  }
  if (!best) throw FileError(kPathNotFound);
  PathText text{best->first, u':', u'\\'};
  auto component = path.begin();
  for (std::size_t i = 0; i < bestDepth; ++i) ++component;
  bool first = true;
  for (; component != path.end(); ++component) {
    if (component->empty()) continue;
    if (!first) text += u'\\';
    text += FromHostName(component->string());
    first = false;
  }
  return text;
}

}  // namespace vondrel::platform
