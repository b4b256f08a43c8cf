#include <exception>

#include "base/error.h"
#include "commands.h"
#include "tool_errors.h"

namespace vondrel::jet_tool {

const char* UsageText() {
  return "usage: vondrel-jet COMMAND ...\n"
         "  info FILE             version, page size, sort order, code page, pages, password, tables\n"
         "  tables FILE           every table, system tables included, one per line\n"
         "  export FILE TABLE     the table's rows as CSV (the dialect of mdb-export -b hex with\n"
         "                        dates as %Y-%m-%d %H:%M:%S)\n"
         "  dump FILE [TABLE...]  every row with typed values, one line each, for comparisons\n"
         "  check FILE            structural findings; lines start with \"note:\" or \"problem:\"\n"
         "  compact SRC DST       writes a compacted copy of SRC to DST\n"
         "exit status: 0 success, 1 error or problems found, 2 bad usage\n";
}

int RunCommandLine(const Arguments& argv, std::ostream& out, std::ostream& err) {
  if (argv.size() < 2) {
    err << UsageText();
    return kExitUsage;
  }
  const std::string& command = argv[1];
  Arguments args(argv.begin() + 2, argv.end());
  using Runner = int (*)(const Arguments&, std::ostream&, std::ostream&);
  struct Entry {
    const char* name;
    Runner run;
  };
  static const Entry kCommands[] = {
      {"info", RunInfo},   {"tables", RunTables}, {"export", RunExport},
      {"dump", RunDump},   {"check", RunCheck},   {"compact", RunCompact},
  };
  for (const auto& entry : kCommands) {
    if (command != entry.name) continue;
    try {
      return entry.run(args, out, err);
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
