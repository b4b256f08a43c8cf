#pragma once
// A database engine for the window's tests: "compacting" writes the source
// file's bytes behind the prefix "compacted:" to the destination on the
// in-memory file system; a compaction can be told to fail once.

#include <optional>
#include <string>
#include <vector>

#include "repair/database_engine.h"
#include "window_win32/memory_file_system.h"

namespace vondrel::testing {

struct EngineScript {
  int engines_created = 0;
  std::vector<std::string> calls;  // "compact <source> <destination>", "open <name>"
  std::optional<Error> compact_error;
};

repair::EngineFactory ScriptedEngineFactory(MemoryFileSystem& files, EngineScript& script);

}  // namespace vondrel::testing
