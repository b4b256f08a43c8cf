#include "jet/compact/compactor.h"
#include "jet/dao/dao.h"

namespace jet::dao {

void DBEngine::CompactDatabase(const std::filesystem::path& source, const std::filesystem::path& destination) {
  jet::compact::CompactDatabase(source, destination, compact_options_);
}

}  // namespace jet::dao
