#include "support/fake_database_engine.h"

#include <fstream>
#include <sstream>

#include "platform/path_text.h"

namespace vondrel::testing {
namespace {

std::optional<std::string> ReadHostFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteHostFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

void ThrowIfArmed(std::optional<vondrel::Error>& armed) {
  if (!armed) return;
  vondrel::Error error = *armed;
  armed.reset();
  throw error;
}

class Handle {
 public:
  explicit Handle(FakeEngineLog& log) : log_(log) { ++log_.open_handles; }
  ~Handle() { --log_.open_handles; }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

 protected:
  FakeEngineLog& log_;
};

class FakeTableDef : public repair::EngineTableDef, Handle {
 public:
  using Handle::Handle;
};

class FakeDatabase : public repair::EngineDatabase, Handle {
 public:
  FakeDatabase(FakeEngineLog& log, std::string contents) : Handle(log), contents_(std::move(contents)) {}

  std::unique_ptr<repair::EngineTableDef> TableDefAt(int position) override {
    log_.calls.push_back("tabledef " + std::to_string(position));
    ThrowIfArmed(log_.tableDefError);
    if (contents_.rfind("compacted:", 0) != 0) throw vondrel::Error(kEngineItemNotFound, "No such table definition");
    return std::make_unique<FakeTableDef>(log_);
  }

 private:
  std::string contents_;
};

}  // namespace

FakeDatabaseEngine::FakeDatabaseEngine(platform::FileSystem& files, FakeEngineLog& log) : files_(files), log_(log) {}

repair::CompactResult FakeDatabaseEngine::CompactDatabase(const platform::PathText& source, const platform::PathText& destination) {
  log_.calls.push_back("compact " + platform::ToUtf8(source) + " " + platform::ToUtf8(destination));
  if (log_.compact_error) {
    if (!log_.compact_leaves_behind.empty()) WriteHostFile(files_.HostPath(destination), log_.compact_leaves_behind);
    ThrowIfArmed(log_.compact_error);
  }
  auto bytes = ReadHostFile(files_.HostPath(source));
  if (!bytes) throw vondrel::Error(kEngineFileNotFound, "Could not find the database file");
  auto target = files_.HostPath(destination);
  std::error_code ec;
  if (std::filesystem::exists(target, ec)) throw vondrel::Error(kEngineDatabaseExists, "The destination exists");
  WriteHostFile(target, "compacted:" + *bytes);
  return {log_.compact_lossy};
}

std::unique_ptr<repair::EngineDatabase> FakeDatabaseEngine::OpenDatabase(const platform::PathText& name) {
  log_.calls.push_back("open " + platform::ToUtf8(name));
  ThrowIfArmed(log_.openError);
  auto bytes = ReadHostFile(files_.HostPath(name));
  if (!bytes) throw vondrel::Error(kEngineFileNotFound, "Could not find the database file");
  return std::make_unique<FakeDatabase>(log_, *bytes);
}

repair::EngineFactory FakeEngineFactory(platform::FileSystem& files, FakeEngineLog& log) {
  return [&files, &log]() -> std::unique_ptr<repair::DatabaseEngine> {
    ++log.engines_created;
    return std::make_unique<FakeDatabaseEngine>(files, log);
  };
}

}  // namespace vondrel::testing
