#include "platform/drive_table.h"

#include <cstdlib>

#include "platform/file_errors.h"

namespace vondrel::platform {
namespace fs = std::filesystem;

namespace {

std::optional<char16_t> DriveLetterOf(const std::string& link_name) {
  if (link_name.size() != 2 || link_name[1] != ':') return std::nullopt;
  char c = link_name[0];
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
    std::error_code link_error;
    fs::path target = fs::canonical(it->path(), link_error);  // follows ../drive_c
    if (link_error || !fs::is_directory(target, link_error)) continue;
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

PathText DriveTable::ShowHostPath(const fs::path& host_path) const {
  std::error_code ec;
  fs::path path = fs::weakly_canonical(fs::absolute(host_path, ec), ec);
  if (ec) path = host_path.lexically_normal();
  const std::pair<const char16_t, fs::path>* best = nullptr;
  std::size_t best_depth = 0;
  for (const auto& drive : drives_) {
    auto depth = DepthIfHolds(drive.second, path);
    if (depth && (!best || *depth > best_depth)) best = &drive, best_depth = *depth;
  }
  if (!best) throw FileError(kPathNotFound);
  PathText text{best->first, u':', u'\\'};
  auto component = path.begin();
  for (std::size_t i = 0; i < best_depth; ++i) ++component;
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
