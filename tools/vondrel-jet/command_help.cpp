// The texts of --help, COMMAND --help and --version. The man page
// vondrel-jet.1 says the same at more length; keep the two in step.
#include <cstring>

#include "commands.h"
#include "resources/version.h"

namespace vondrel::jet_tool {

const char* UsageText() {
  return "usage: vondrel-jet COMMAND [ARGUMENT...]\n"
         "       vondrel-jet COMMAND --help\n"
         "       vondrel-jet --help | --version\n"
         "Compacts, repairs and inspects Microsoft Jet databases (.mdb files of Access 95 to 2003).\n"
         "\n"
         "commands:\n"
         "  info [--json] FILE    version, page size, sort order, code page, pages, password, tables\n"
         "  tables FILE           every table, system tables included, one per line\n"
         "  export FILE TABLE     the table's rows as CSV (the dialect of mdb-export -b hex with\n"
         "                        dates as %Y-%m-%d %H:%M:%S)\n"
         "  dump FILE [TABLE...]  every row with typed values, one line each, for comparisons\n"
         "  check [--json] FILE   structural findings; lines start with \"note:\" or \"problem:\"\n"
         "  compact SRC DST       writes a compacted copy of SRC to DST\n"
         "  repair FILE           repairs FILE in place as the Vondrel window does; FILE is a\n"
         "                        host path or Windows path text such as C:\\Data\\Data.mdb\n"
         "\n"
         "Results go to standard output; errors, usage and progress to standard error.\n"
         "compact and repair show their progress when standard error is a terminal and the\n"
         "work takes longer than a second.\n"
         "\n"
         "exit status: 0 success, 1 error, problems found by check or a failed repair,\n"
         "2 bad usage\n";
}

namespace {

struct CommandHelp {
  const char* name;
  const char* text;
};

constexpr CommandHelp kCommandHelp[] = {
    {"info",
     "usage: vondrel-jet info [--json] FILE\n"
     "Prints the header facts of FILE (format, version byte, page size, page count, sort order,\n"
     "code page, password, encoding, creation date) and each table with the row, column and\n"
     "index counts its definition records. The header facts are printed even when the rest\n"
     "cannot be read. --json prints the same as one JSON document.\n"
     "exit status: 0 success, 1 error (a table that cannot be read included), 2 bad usage\n"},
    {"tables",
     "usage: vondrel-jet tables FILE\n"
     "Prints every table of FILE, system tables included, one name per line.\n"
     "exit status: 0 success, 1 error, 2 bad usage\n"},
    {"export",
     "usage: vondrel-jet export FILE TABLE\n"
     "Prints the rows of TABLE as CSV with a header line, in the dialect of\n"
     "mdb-export -b hex -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S'. Table names match\n"
     "without regard to case.\n"
     "exit status: 0 success, 1 error, 2 bad usage\n"},
    {"dump",
     "usage: vondrel-jet dump FILE [TABLE...]\n"
     "Prints every row of the tables named (all tables when none is named) with typed\n"
     "values, one line each, for comparisons with other readers.\n"
     "exit status: 0 success, 1 error, 2 bad usage\n"},
    {"check",
     "usage: vondrel-jet check [--json] FILE\n"
     "Checks the structure of FILE. Prints one line per finding, starting \"note: \" (a\n"
     "harmless quirk Access leaves) or \"problem: \" (damage), with the table and page when\n"
     "known, then a summary line. --json prints the same findings as one JSON document:\n"
     "{\"file\", \"problems\", \"notes\", \"findings\": [{\"severity\", \"table\", \"page\",\n"
     "\"message\"}]}, with null for a table or page that is not known.\n"
     "exit status: 0 no problems (notes only), 1 problems found or error, 2 bad usage\n"},
    {"compact",
     "usage: vondrel-jet compact SRC DST\n"
     "Writes a compacted copy of SRC to DST, which must not exist. Whatever a damaged SRC\n"
     "cost is printed and listed in the table MSysCompactError of DST. Progress is shown on\n"
     "standard error when it is a terminal and the work takes longer than a second.\n"
     "exit status: 0 success, 1 error, 2 bad usage\n"},
    {"repair",
     "usage: vondrel-jet repair FILE\n"
     "Repairs FILE in place exactly as the Repair button of the Vondrel window does: a\n"
     "leftover copy (base name + \"rpr\") is deleted, FILE is compacted into that copy, the\n"
     "copy is opened, and it takes FILE's place under the name with a lower-case \"mdb\"\n"
     "extension. A database that another program holds open is refused. FILE is a host path\n"
     "(absolute, or relative to the current folder) or Windows path text with a drive letter\n"
     "(C:\\Data\\Data.mdb), whose drives are those of the Wine prefix in WINEPREFIX (else\n"
     "~/.wine), with Z: as /.\n"
     "Prints the message the window would show: \"Repair was successful!\" on standard output,\n"
     "or the error message on standard error, its line breaks kept as the window's CR LF.\n"
     "Progress is shown on standard error when it is a terminal and the work takes longer\n"
     "than a second.\n"
     "exit status: 0 success, 1 the repair failed, 2 bad usage\n"},
};

}  // namespace

const char* CommandHelpText(const std::string& command) {
  for (const CommandHelp& help : kCommandHelp) {
    if (command == help.name) return help.text;
  }
  return nullptr;
}

std::string VersionText() { return std::string("vondrel-jet ") + resources::kVersionText + "\n"; }

}  // namespace vondrel::jet_tool
