#include "repair/repair_operation.h"

#include <new>

namespace vondrel::repair {

namespace {

// Numbers the language runtime gives for failures of its own.
constexpr std::int32_t kInvalidArgument = 5;
constexpr std::int32_t kOutOfMemory = 7;
constexpr std::int32_t kInternalError = 51;

}  // namespace

RepairOperation::RepairOperation(platform::FileSystem& files, EngineFactory createEngine)
    : files_(files), createEngine_(std::move(createEngine)) {}

DatabaseEngine& RepairOperation::Engine() {
  if (!engine_) {
    engine_ = createEngine_();
    if (!engine_) throw vondrel::Error(kInternalError, "The database engine could not be created");
  }
  return *engine_;
}

RepairOutcome RepairOperation::Run(const platform::PathText& selectedPath) {
  if (selectedPath.empty()) return RepairOutcome::NothingSelected();
  try {
    Repair(selectedPath);
    return RepairOutcome::Succeeded();
  } catch (const vondrel::Error& error) {
    return RepairOutcome::Failed(error.number(), error.description());
  } catch (const std::bad_alloc&) {
    return RepairOutcome::Failed(kOutOfMemory, "Out of memory");
  } catch (const std::exception& error) {
    return RepairOutcome::Failed(kInternalError, error.what());
  }
}

void RepairOperation::Repair(const platform::PathText& selectedPath) {
  if (selectedPath.size() < 3) throw vondrel::Error(kInvalidArgument, "The path is too short to name a database");
  // The last three characters give way to "mdb" and "rpr"; "x.MDB" becomes "x.mdb".
  const platform::PathText base = selectedPath.substr(0, selectedPath.size() - 3);
  const platform::PathText database = base + u"mdb";
  const platform::PathText copy = base + u"rpr";

  // A leftover copy goes, but only while the database it was made from is
  // there: without it the copy may hold the only data left.
  if (files_.OrdinaryFileExists(copy) && files_.OrdinaryFileExists(database)) files_.DeleteFile(copy);

  Engine().CompactDatabase(database, copy);

  {
    std::unique_ptr<EngineDatabase> opened = engine_->OpenDatabase(copy);
    std::unique_ptr<EngineTableDef> second = opened->TableDefAt(1);
    // Both are released here, closing the copy before it is moved.
    second.reset();
    opened.reset();
  }

  // One atomic step: at every instant a complete database is under a name the
  // file list shows, the old one until the copy takes its place.
  files_.ReplaceFile(copy, database);
}

}  // namespace vondrel::repair
