#include "support/fake_file_system.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/windows_path.h"

namespace vondrel::testing {
namespace fs = std::filesystem;
using platform::PathText;

FakeFileSystem::FakeFileSystem() : real_(platform::DriveTable({{u'C', scratch_.path()}})) {}

fs::path FakeFileSystem::LiteralHostPath(const PathText& path) const {
  platform::WindowsPath parsed = platform::ParsePathText(path, platform::CurrentFolders{});
  if (platform::FoldCase(parsed.drive) != u'C') throw std::invalid_argument("test files live on drive C:");
  fs::path host = scratch_.path();
  for (const auto& name : parsed.components) host /= platform::ToHostName(name);
  return host;
}

void FakeFileSystem::WriteFile(const PathText& path, const std::string& bytes) {
  fs::path host = LiteralHostPath(path);
  fs::create_directories(host.parent_path());
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write test file " + host.string());
}

void FakeFileSystem::MakeFolder(const PathText& path) { fs::create_directories(LiteralHostPath(path)); }

std::optional<std::string> FakeFileSystem::ReadFile(const PathText& path) const {
  std::ifstream in(LiteralHostPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> FakeFileSystem::ListFolder(const PathText& folder) const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(LiteralHostPath(folder))) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void FakeFileSystem::FailNext(FileOperation operation, vondrel::Error error, std::optional<PathText> path) {
  failures_.push_back({operation, std::move(error), std::move(path), false});
}

void FakeFileSystem::FailAlways(FileOperation operation, vondrel::Error error) {
  failures_.push_back({operation, std::move(error), std::nullopt, true});
}

int FakeFileSystem::CallCount(FileOperation operation) const {
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const FileCall& c) { return c.operation == operation; }));
}

int FakeFileSystem::ChangingCallCount() const {
  return CallCount(FileOperation::DeleteFile) + CallCount(FileOperation::RenameFile) +
         CallCount(FileOperation::ReplaceFile) + CallCount(FileOperation::ReplaceFileKeepingOld) +
         CallCount(FileOperation::SetCurrentFolder);
}

void FakeFileSystem::Enter(FileOperation operation, const PathText& path, const PathText& other,
                           const PathText& backup) {
  calls_.push_back({operation, path, other, false, backup});
  if (failAt_ && failAt_->first == calls_.size() - 1) {
    vondrel::Error error = failAt_->second;
    failAt_.reset();
    calls_.back().failed = true;
    throw error;
  }
  for (auto it = failures_.begin(); it != failures_.end(); ++it) {
    if (it->operation != operation || (it->path && *it->path != path)) continue;
    vondrel::Error error = it->error;
    if (!it->always) failures_.erase(it);
    calls_.back().failed = true;
    throw error;
  }
}

bool FakeFileSystem::OrdinaryFileExists(const PathText& path) {
  Enter(FileOperation::OrdinaryFileExists, path);
  return real_.OrdinaryFileExists(path);
}

void FakeFileSystem::DeleteFile(const PathText& path) {
  Enter(FileOperation::DeleteFile, path);
  real_.DeleteFile(path);
}

void FakeFileSystem::RenameFile(const PathText& from, const PathText& to) {
  Enter(FileOperation::RenameFile, from, to);
  real_.RenameFile(from, to);
}

void FakeFileSystem::ReplaceFile(const PathText& from, const PathText& to) {
  Enter(FileOperation::ReplaceFile, from, to);
  real_.ReplaceFile(from, to);
}

void FakeFileSystem::ReplaceFileKeepingOld(const PathText& from, const PathText& to, const PathText& backup) {
  Enter(FileOperation::ReplaceFileKeepingOld, from, to, backup);
  real_.ReplaceFileKeepingOld(from, to, backup);
}

PathText FakeFileSystem::ResolveFolder(const PathText& folder) {
  Enter(FileOperation::ResolveFolder, folder);
  return real_.ResolveFolder(folder);
}

void FakeFileSystem::SetCurrentFolder(const PathText& folder) {
  Enter(FileOperation::SetCurrentFolder, folder);
  real_.SetCurrentFolder(folder);
}

std::vector<std::u16string> FakeFileSystem::SubFolders(const PathText& folder) {
  Enter(FileOperation::SubFolders, folder);
  return real_.SubFolders(folder);
}

std::vector<std::u16string> FakeFileSystem::OrdinaryFiles(const PathText& folder) {
  Enter(FileOperation::OrdinaryFiles, folder);
  return real_.OrdinaryFiles(folder);
}

PathText FakeFileSystem::ProgramFolder() {
  Enter(FileOperation::ProgramFolder);
  return programFolder_ ? *programFolder_ : real_.ProgramFolder();
}

fs::path FakeFileSystem::HostPath(const PathText& path) {
  Enter(FileOperation::HostPath, path);
  return real_.HostPath(path);
}

}  // namespace vondrel::testing
