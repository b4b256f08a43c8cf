// compact SRC DST: writes a compacted copy of SRC to DST with the compactor
// the DAO facade and the repair call, and prints what a damaged source cost.
// Progress goes to standard error when it is a terminal (see ProgressMeter).
#include "commands.h"
#include "jet/compact/compactor.h"
#include "progress_meter.h"
#include "tool_database.h"

namespace vondrel::jet_tool {

int RunCompact(const Arguments& args, std::ostream& out, std::ostream& err, const ToolSettings& settings) {
  if (args.size() != 2) {
    err << "usage: vondrel-jet compact SRC DST\n";
    return kExitUsage;
  }
  ProgressMeter meter(err, settings);
  const jet::compact::CompactStatistics stats = jet::compact::CompactDatabase(HostPathOf(args[0]), HostPathOf(args[1]), meter.Options());
  meter.Clear();
  out << "compacted " << args[0] << " to " << args[1] << "\n";
  if (stats.Salvaged()) {
    out << "salvaged: " << stats.rows_dropped << " rows dropped, " << stats.values_emptied << " values emptied, "
        << stats.tables_lost << " tables lost, " << stats.errors_recorded << " errors recorded in MSysCompactError";
    if (stats.header_rebuilt) out << ", header rebuilt";
    out << "\n";
  }
  return kExitSuccess;
}

}  // namespace vondrel::jet_tool
