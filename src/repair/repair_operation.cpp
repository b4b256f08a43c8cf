#include "repair/repair_operation.h"

#include <new>
#include <string>

#include "platform/file_errors.h"

namespace vondrel::repair {

namespace {

// Numbers the language runtime gives for failures of its own.
constexpr std::int32_t kInvalidArgument = 5;
constexpr std::int32_t kOutOfMemory = 7;
constexpr std::int32_t kInternalError = 51;

// Backup names tried after base + "bak": base + "bak1" up to this number.
constexpr int kLastBackupNumber = 9999;

platform::PathText BackupName(const platform::PathText& base, int number) {
  platform::PathText name = base + u"bak";
  if (number > 0) {
    for (char digit : std::to_string(number)) name += static_cast<char16_t>(digit);
  }
  return name;
}

}  // namespace

RepairOperation::RepairOperation(platform::FileSystem& files, EngineFactory create_engine)
    : files_(files), create_engine_(std::move(create_engine)) {}

DatabaseEngine& RepairOperation::Engine() {
  if (!engine_) {
    engine_ = create_engine_();
    if (!engine_) throw vondrel::Error(kInternalError, "The database engine could not be created");
  }
  return *engine_;
}

RepairOutcome RepairOperation::Run(const platform::PathText& selected_path) {
  if (selected_path.empty()) return RepairOutcome::NothingSelected();
  try {
    Repair(selected_path);
    return RepairOutcome::Succeeded();
  } catch (const vondrel::Error& error) {
    return RepairOutcome::Failed(error.number(), error.description());
  } catch (const std::bad_alloc&) {
    return RepairOutcome::Failed(kOutOfMemory, "Out of memory");
  } catch (const std::exception& error) {
    return RepairOutcome::Failed(kInternalError, error.what());
  }
}

void RepairOperation::Repair(const platform::PathText& selected_path) {
  if (selected_path.size() < 3) throw vondrel::Error(kInvalidArgument, "The path is too short to name a database");
  // The last three characters give way to "mdb" and "rpr"; "x.MDB" becomes "x.mdb".
  const platform::PathText base = selected_path.substr(0, selected_path.size() - 3);
  const platform::PathText database = base + u"mdb";
  const platform::PathText copy = base + u"rpr";

  // A leftover copy goes, but only while the database it was made from is
  // there: without it the copy may hold the only data left.
  if (files_.OrdinaryFileExists(copy) && files_.OrdinaryFileExists(database)) files_.DeleteFile(copy);

  const CompactResult compacted = Engine().CompactDatabase(database, copy);

  {
    std::unique_ptr<EngineDatabase> opened = engine_->OpenDatabase(copy);
    std::unique_ptr<EngineTableDef> second = opened->TableDefAt(1);
    // Both are released here, closing the copy before it is moved.
    second.reset();
    opened.reset();
  }

  // One atomic step: at every instant a complete database is under a name the
  // file list shows, the old one until the copy takes its place. The copy
  // takes the name the old file is stored under ("DATA.MDB" on a
  // case-sensitive host), so that one name never holds two databases. A copy
  // that lost part of the source must not cost the old file, the only place
  // left that holds what was lost: the old file keeps a backup name.
  if (compacted.lossy)
    ReplaceKeepingOld(copy, database, base);
  else
    files_.ReplaceFile(copy, database);
  // Then the extension becomes lower case in a rename of its own: the file
  // that the name reaches is given the name as written.
  if (selected_path.compare(selected_path.size() - 3, 3, u"mdb") != 0) files_.RenameFile(database, database);
}

void RepairOperation::ReplaceKeepingOld(const platform::PathText& copy, const platform::PathText& database,
                                        const platform::PathText& base) {
  for (int number = 0;; ++number) {
    try {
      files_.ReplaceFileKeepingOld(copy, database, BackupName(base, number));
      return;
    } catch (const vondrel::Error& error) {
      // A taken backup name (any entry, hidden or not, in any case) fails
      // with "already exists" before anything changes, and the next is tried.
      if (error.number() != platform::kFileAlreadyExists || number == kLastBackupNumber) throw;
    }
  }
}

}  // namespace vondrel::repair
