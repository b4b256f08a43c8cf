#pragma once
// The repair's engine backed by the project's own Jet engine: path text is
// turned into host paths through the file system, then handed to jet::dao;
// the engine's errors come back naming the files by that path text.

#include "jet/dao/dao.h"
#include "platform/file_system.h"
#include "repair/database_engine.h"

namespace vondrel::repair {

class JetDatabaseEngine : public DatabaseEngine {
 public:
  explicit JetDatabaseEngine(platform::FileSystem& files, jet::compact::CompactOptions options = {})
      : files_(files), engine_(std::move(options)) {}

  CompactResult CompactDatabase(const platform::PathText& source, const platform::PathText& destination) override;
  std::unique_ptr<EngineDatabase> OpenDatabase(const platform::PathText& name) override;

 private:
  // Fails with the engine's "not a valid path" when the folder is unreachable.
  std::filesystem::path HostPath(const platform::PathText& path);

  platform::FileSystem& files_;
  jet::dao::DBEngine engine_;
};

// The factory the window hands to RepairOperation; the command-line repair
// passes options that report the compaction's progress.
EngineFactory JetEngineFactory(platform::FileSystem& files, jet::compact::CompactOptions options = {});

}  // namespace vondrel::repair
