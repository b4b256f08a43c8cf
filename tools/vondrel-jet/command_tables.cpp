// tables FILE: every local table, system tables included, one name per line,
// in the engine's table order.
#include "commands.h"
#include "tool_database.h"

namespace vondrel::jet_tool {

int RunTables(const Arguments& args, std::ostream& out, std::ostream& err, const ToolSettings&) {
  if (args.size() != 1) {
    err << "usage: vondrel-jet tables FILE\n";
    return kExitUsage;
  }
  auto database = OpenDatabase(args[0]);
  for (const auto& entry : database->Tables()) out << entry.name << "\n";
  return kExitSuccess;
}

}  // namespace vondrel::jet_tool
