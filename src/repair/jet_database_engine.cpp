#include "repair/jet_database_engine.h"

#include "jet/io/file_lock.h"
#include "repair/engine_path_names.h"

namespace vondrel::repair {
namespace {

// The engine's number for a path whose folder cannot be reached.
constexpr std::int32_t kInvalidPath = 3044;

class JetTableDef : public EngineTableDef {
 public:
  explicit JetTableDef(jet::dao::TableDef definition) : definition_(std::move(definition)) {}

 private:
  jet::dao::TableDef definition_;  // shares the open database until released
};

class JetDatabase : public EngineDatabase {
 public:
  JetDatabase(std::unique_ptr<jet::dao::Database> database, EnginePathNames names)
      : database_(std::move(database)), names_(std::move(names)) {}
  ~JetDatabase() override { database_->Close(); }

  std::unique_ptr<EngineTableDef> TableDefAt(int position) override {
    return names_.Run([&] { return std::make_unique<JetTableDef>(database_->TableDefs().Item(position)); });
  }

 private:
  std::unique_ptr<jet::dao::Database> database_;
  EnginePathNames names_;
};

}  // namespace

std::filesystem::path JetDatabaseEngine::HostPath(const platform::PathText& path) {
  try {
    return files_.HostPath(path);
  } catch (const vondrel::Error&) {
    throw vondrel::Error(kInvalidPath, "'" + platform::ToUtf8(path) + "' is not a valid path.");
  }
}

CompactResult JetDatabaseEngine::CompactDatabase(const platform::PathText& source, const platform::PathText& destination) {
  std::filesystem::path host_source = HostPath(source);
  std::filesystem::path host_destination = HostPath(destination);
  EnginePathNames names;
  names.Add(host_source, source);
  names.Add(host_destination, destination);
  return names.Run([&] {
    // Held for the whole compaction: another program with the file open, or a
    // second repair of the same file, makes this fail with 3045 instead.
    jet::io::DatabaseFileLock lock = jet::io::DatabaseFileLock::Acquire(host_source, jet::io::LockIntent::Compact);
    return CompactResult{engine_.CompactDatabase(host_source, host_destination).Salvaged()};
  });
}

std::unique_ptr<EngineDatabase> JetDatabaseEngine::OpenDatabase(const platform::PathText& name) {
  std::filesystem::path host = HostPath(name);
  EnginePathNames names;
  names.Add(host, name);
  auto database = names.Run([&] { return engine_.OpenDatabase(host); });
  return std::make_unique<JetDatabase>(std::move(database), std::move(names));
}

EngineFactory JetEngineFactory(platform::FileSystem& files, jet::compact::CompactOptions options) {
  return [&files, options = std::move(options)]() -> std::unique_ptr<DatabaseEngine> {
    return std::make_unique<JetDatabaseEngine>(files, options);
  };
}

}  // namespace vondrel::repair
