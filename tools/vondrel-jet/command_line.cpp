#include <algorithm>
#include <exception>

#include "base/error.h"
#include "commands.h"
#include "tool_errors.h"

namespace vondrel::jet_tool {

bool TakeOption(Arguments& args, const std::string& option) {
  auto found = std::find(args.begin(), args.end(), option);
  if (found == args.end()) return false;
  args.erase(found);
  return true;
}

int RunCommandLine(const Arguments& argv, std::ostream& out, std::ostream& err, const ToolSettings& settings) {
  if (argv.size() < 2) {
    err << UsageText();
    return kExitUsage;
  }
  const std::string& command = argv[1];
  if (command == "--help" || command == "-h") {
    out << UsageText();
    return kExitSuccess;
  }
  if (command == "--version") {
    out << VersionText();
    return kExitSuccess;
  }
  Arguments args(argv.begin() + 2, argv.end());
  using Runner = int (*)(const Arguments&, std::ostream&, std::ostream&, const ToolSettings&);
  struct Entry {
    const char* name;
    Runner run;
  };
  static const Entry kCommands[] = {
      {"info", RunInfo},   {"tables", RunTables}, {"export", RunExport},   {"dump", RunDump},
      {"check", RunCheck}, {"compact", RunCompact}, {"repair", RunRepair},
  };
  for (const auto& entry : kCommands) {
    if (command != entry.name) continue;
    // A file named "--help" can still be given as ./--help.
    if (std::find(args.begin(), args.end(), "--help") != args.end()) {
      out << CommandHelpText(command);
      return kExitSuccess;
    }
    try {
      return entry.run(args, out, err, settings);
    } catch (const vondrel::Error& error) {
      PrintError(err, error);
      return kExitFailure;
    } catch (const std::bad_alloc&) {
      PrintError(err, vondrel::Error(7, "Out of memory."));
      return kExitFailure;
    } catch (const std::exception& error) {
      PrintError(err, vondrel::Error(3049, std::string("Unexpected failure: ") + error.what()));
      return kExitFailure;
    }
  }
  err << "vondrel-jet: unknown command '" << command << "'\n" << UsageText();
  return kExitUsage;
}

}  // namespace vondrel::jet_tool
