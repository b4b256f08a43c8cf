#pragma once
// A file system for tests: the real Windows-semantics layer over a fresh
// temporary folder that is drive C: (Z: stays /), which records every call
// and can be told to make any single operation fail with a chosen error.

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/host_file_system.h"
#include "support/samples.h"

namespace vondrel::testing {

enum class FileOperation {
  OrdinaryFileExists,
  DeleteFile,
  RenameFile,
  ReplaceFile,
  ReplaceFileKeepingOld,
  ResolveFolder,
  SetCurrentFolder,
  SubFolders,
  OrdinaryFiles,
  ProgramFolder,
  HostPath,
};

struct FileCall {
  FileOperation operation;
  platform::PathText path;   // the first path argument (empty for ProgramFolder)
  platform::PathText other;  // the second one (rename, replace)
  bool failed = false;
  platform::PathText backup;  // the backup name of a replace that keeps the old file
};

class FakeFileSystem : public platform::FileSystem {
 public:
  FakeFileSystem();

  // The host folder behind drive C:.
  const std::filesystem::path& DriveC() const { return scratch_.path(); }

  // Set-up and inspection of drive C: paths; neither recorded nor subject to failures.
  // Creates a file (and its missing folders) with these bytes.
  void WriteFile(const platform::PathText& path, const std::string& bytes);
  void MakeFolder(const platform::PathText& path);
  // The bytes of the file at exactly this host name (no case matching), or nothing.
  std::optional<std::string> ReadFile(const platform::PathText& path) const;
  // Names of every entry of a folder (hidden ones too), sorted by bytes.
  std::vector<std::string> ListFolder(const platform::PathText& folder) const;
  // What ProgramFolder reports from now on (the executable's folder until then).
  void SetProgramFolder(const platform::PathText& folder) { programFolder_ = folder; }

  // The next call of `operation` fails with `error`, once; with `path`, the
  // next call whose first path argument is exactly `path`.
  void FailNext(FileOperation operation, vondrel::Error error, std::optional<platform::PathText> path = {});
  // Every call of `operation` fails from now on.
  void FailAlways(FileOperation operation, vondrel::Error error);
  // The call at this position among all recorded calls (0 = the first) fails.
  void FailCallNumber(std::size_t position, vondrel::Error error) { failAt_.emplace(position, std::move(error)); }
  void ClearFailures() {
    failures_.clear();
    failAt_.reset();
  }

  const std::vector<FileCall>& Calls() const { return calls_; }
  int CallCount(FileOperation operation) const;
  // Calls that change something: delete, rename, replace, set current folder.
  int ChangingCallCount() const;

  bool OrdinaryFileExists(const platform::PathText& path) override;
  void DeleteFile(const platform::PathText& path) override;
  void RenameFile(const platform::PathText& from, const platform::PathText& to) override;
  void ReplaceFile(const platform::PathText& from, const platform::PathText& to) override;
  void ReplaceFileKeepingOld(const platform::PathText& from, const platform::PathText& to,
                             const platform::PathText& backup) override;
  platform::PathText ResolveFolder(const platform::PathText& folder) override;
  void SetCurrentFolder(const platform::PathText& folder) override;
  std::vector<std::u16string> SubFolders(const platform::PathText& folder) override;
  std::vector<std::u16string> OrdinaryFiles(const platform::PathText& folder) override;
  platform::PathText ProgramFolder() override;
  std::filesystem::path HostPath(const platform::PathText& path) override;

 private:
  struct Failure {
    FileOperation operation;
    vondrel::Error error;
    std::optional<platform::PathText> path;
    bool always;
  };
  // Records the call and throws when a failure is armed for it.
  void Enter(FileOperation operation, const platform::PathText& path = {}, const platform::PathText& other = {},
             const platform::PathText& backup = {});
  std::filesystem::path LiteralHostPath(const platform::PathText& path) const;

  ScratchDir scratch_;
  platform::HostFileSystem real_;
  std::optional<platform::PathText> programFolder_;
  std::vector<Failure> failures_;
  std::optional<std::pair<std::size_t, vondrel::Error>> failAt_;
  std::vector<FileCall> calls_;
};

}  // namespace vondrel::testing
