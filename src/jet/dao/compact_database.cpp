#include "jet/dao/dao.h"

namespace jet::dao {

// Placeholder until the compactor is connected: refuses instead of
// pretending to have compacted.
void DBEngine::CompactDatabase(const std::filesystem::path& source, const std::filesystem::path&) {
  throw vondrel::Error(3049, "Compaction of '" + source.string() + "' is not available in this build yet.");
}

}  // namespace jet::dao
