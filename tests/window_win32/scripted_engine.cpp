#include "window_win32/scripted_engine.h"

#include <memory>

#include "platform/path_text.h"

namespace vondrel::testing {
namespace {

constexpr std::int32_t kEngineFileNotFound = 3024;
constexpr std::int32_t kEngineDatabaseExists = 3204;

class ScriptedDatabase : public repair::EngineDatabase {
 public:
  std::unique_ptr<repair::EngineTableDef> TableDefAt(int) override { return std::make_unique<repair::EngineTableDef>(); }
};

class ScriptedEngine : public repair::DatabaseEngine {
 public:
  ScriptedEngine(MemoryFileSystem& files, EngineScript& script) : files_(files), script_(script) {}

  repair::CompactResult CompactDatabase(const platform::PathText& source, const platform::PathText& destination) override {
    script_.calls.push_back("compact " + platform::ToUtf8(source) + " " + platform::ToUtf8(destination));
    if (script_.compact_error) {
      const Error error = *script_.compact_error;
      script_.compact_error.reset();
      throw error;
    }
    const std::optional<std::string> bytes = files_.ReadFile(source);
    if (!bytes) throw Error(kEngineFileNotFound, "Could not find file '" + platform::ToUtf8(source) + "'.");
    if (files_.ReadFile(destination)) throw Error(kEngineDatabaseExists, "Database already exists.");
    files_.WriteFile(destination, "compacted:" + *bytes);
    return {};
  }

  std::unique_ptr<repair::EngineDatabase> OpenDatabase(const platform::PathText& name) override {
    script_.calls.push_back("open " + platform::ToUtf8(name));
    if (!files_.ReadFile(name)) throw Error(kEngineFileNotFound, "Could not find file '" + platform::ToUtf8(name) + "'.");
    return std::make_unique<ScriptedDatabase>();
  }

 private:
  MemoryFileSystem& files_;
  EngineScript& script_;
};

}  // namespace

repair::EngineFactory ScriptedEngineFactory(MemoryFileSystem& files, EngineScript& script) {
  return [&files, &script]() -> std::unique_ptr<repair::DatabaseEngine> {
    ++script.engines_created;
    return std::make_unique<ScriptedEngine>(files, script);
  };
}

}  // namespace vondrel::testing
