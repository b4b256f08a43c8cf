#include "jet/dao/dao.h"

namespace jet::dao {

jet::compact::CompactStatistics DBEngine::CompactDatabase(const std::filesystem::path& source,
                                                         const std::filesystem::path& destination) {
  return jet::compact::CompactDatabase(source, destination, compact_options_);
}

}  // namespace jet::dao
