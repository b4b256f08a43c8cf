#pragma once
// One press of the repair button: compact the selected database into a
// sibling copy (base name + "rpr"), check that the copy opens, and put it in
// the place of the old file under base name + "mdb". When the copy lost part
// of a damaged source, the old file is kept beside it under the first free
// name of base name + "bak", "bak1", "bak2", ...

#include <memory>

#include "platform/file_system.h"
#include "repair/database_engine.h"
#include "repair/repair_outcome.h"

namespace vondrel::repair {

class RepairOperation {
 public:
  RepairOperation(platform::FileSystem& files, EngineFactory create_engine);

  RepairOutcome Run(const platform::PathText& selected_path);

  // Whether the engine exists yet; it is created on the first compaction and
  // kept for the life of this object (the life of the process).
  bool EngineCreated() const { return engine_ != nullptr; }

 private:
  void Repair(const platform::PathText& selected_path);
  // Puts the copy in the database's place and keeps the old database under
  // the first free backup name: base + "bak", "bak1", "bak2", ...
  void ReplaceKeepingOld(const platform::PathText& copy, const platform::PathText& database,
                         const platform::PathText& base);
  DatabaseEngine& Engine();

  platform::FileSystem& files_;
  EngineFactory create_engine_;
  std::unique_ptr<DatabaseEngine> engine_;
};

}  // namespace vondrel::repair
