#pragma once
// A database engine for tests of the repair: "compacting" copies the source
// file's bytes behind the prefix "compacted:" into the destination, on the
// file system the tests give it; every step can be told to fail, and a
// shared log tells what ran and which handles are still open.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "repair/database_engine.h"

namespace vondrel::testing {

struct FakeEngineLog {
  int engines_created = 0;
  int open_handles = 0;  // databases and table definitions not yet released
  std::vector<std::string> calls;  // "compact <source> <destination>", "open <name>", "tabledef <position>"
  // Compactions report that the copy lost part of the source until this is cleared.
  bool compact_lossy = false;

  // Armed failures, each used once.
  std::optional<vondrel::Error> compact_error;
  std::string compact_leaves_behind;  // bytes a failing compaction leaves under the destination ("" = nothing)
  std::optional<vondrel::Error> openError;
  std::optional<vondrel::Error> tableDefError;
};

// The engine's own errors for a missing file and an existing destination.
constexpr std::int32_t kEngineFileNotFound = 3024;
constexpr std::int32_t kEngineDatabaseExists = 3204;
constexpr std::int32_t kEngineItemNotFound = 3265;

class FakeDatabaseEngine : public repair::DatabaseEngine {
 public:
  FakeDatabaseEngine(platform::FileSystem& files, FakeEngineLog& log);

  repair::CompactResult CompactDatabase(const platform::PathText& source, const platform::PathText& destination) override;
  std::unique_ptr<repair::EngineDatabase> OpenDatabase(const platform::PathText& name) override;

 private:
  platform::FileSystem& files_;
  FakeEngineLog& log_;
};

// A factory for RepairOperation that counts in `log` how often it runs.
repair::EngineFactory FakeEngineFactory(platform::FileSystem& files, FakeEngineLog& log);

}  // namespace vondrel::testing
