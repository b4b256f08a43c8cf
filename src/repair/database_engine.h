#pragma once
// The database engine as the repair uses it: compact one file into a new one,
// open a file, and fetch a table definition by zero-based position. Every
// failure throws vondrel::Error with the engine's number and description.
// Releasing an object (destroying it) closes what it holds.

#include <functional>
#include <memory>

#include "platform/path_text.h"

namespace vondrel::repair {

class EngineTableDef {
 public:
  virtual ~EngineTableDef() = default;
};

class EngineDatabase {
 public:
  virtual ~EngineDatabase() = default;
  // The table definition at `position` of the database's TableDefs.
  virtual std::unique_ptr<EngineTableDef> TableDefAt(int position) = 0;
};

// What a compaction says about the copy it wrote.
struct CompactResult {
  // The source was damaged and the copy lacks part of it: rows, values,
  // tables or objects left behind (the copy's MSysCompactError lists them).
  bool lossy = false;
};

class DatabaseEngine {
 public:
  virtual ~DatabaseEngine() = default;
  // Writes a compacted, repaired copy of `source` to `destination`, which must
  // not exist; `source` stays unchanged.
  virtual CompactResult CompactDatabase(const platform::PathText& source, const platform::PathText& destination) = 0;
  virtual std::unique_ptr<EngineDatabase> OpenDatabase(const platform::PathText& name) = 0;
};

// Creates the engine; called once, on the first compaction.
using EngineFactory = std::function<std::unique_ptr<DatabaseEngine>()>;

}  // namespace vondrel::repair
