// compact SRC DST: writes a compacted copy of SRC to DST through the DAO
// facade, the same call the repair makes.
#include "commands.h"
#include "jet/dao/dao.h"

namespace vondrel::jet_tool {

int RunCompact(const Arguments& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) {
    err << "usage: vondrel-jet compact SRC DST\n";
    return kExitUsage;
  }
  jet::dao::DBEngine engine;
  engine.CompactDatabase(args[0], args[1]);
  out << "compacted " << args[0] << " to " << args[1] << "\n";
  return kExitSuccess;
}

}  // namespace vondrel::jet_tool
