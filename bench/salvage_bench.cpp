// Salvage figures over a corpus: every file gets N damaged copies from fixed
// seeds (bit flips, zeroed, random and swapped pages, truncation, aimed at
// each page role in turn); each copy is compacted in a child process with a
// time limit, so that a crash or a hang is counted rather than fatal; the
// output is checked and held against what must survive (rows whose pages
// were not damaged).
//
//   salvage_bench [--copies N] [--seconds S] [--tool VONDREL_JET] [--keep DIR] [--no-built] [--verbose]
//                 [--mdbtools] [FOLDER|FILE ...]
//
// Without folders it reads the samples (VONDREL_SAMPLES, else
// ../shared/jet-samples beside the checkout); it also builds a Jet 3 and a Jet 4 database
// of its own unless --no-built. --keep DIR keeps the damaged copy behind
// each incident (crash, timeout, lost rows, unsound output) for a closer look.
// --mdbtools also reads every damaged copy with mdb-export and counts the
// rows equal to a row of the undamaged file ("genuine") that mdbtools reads
// from it against those our output keeps: a salvage should keep at least
// what another reader can still read. mdb-export also reads slots flagged
// deleted, which no reader can tell from live rows unless a pointer leads
// there; a copy counts against us only when mdbtools reads more genuine rows
// with those slots hidden (see unreached_slots.h), and the rows it reads
// from them alone are reported apart.

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "jet/check/checker.h"
#include "jet/read/database.h"
#include "support/damage.h"
#include "support/salvage_corpus.h"
#include "support/salvage_expectations.h"
#include "support/salvage_run.h"
#include "unreached_slots.h"

namespace fs = std::filesystem;
using vondrel::testing::DamagedCopy;
using vondrel::testing::DamageGenerator;
using vondrel::testing::CompactionRun;
using vondrel::testing::PageRole;

namespace {

using Clock = std::chrono::steady_clock;

struct Settings {
  int copies = 20;
  int seconds = 60;
  bool built = true;
  bool verbose = false;
  bool mdbtools = false;  // also hold each damaged copy against what mdb-export reads from it
  std::string tool;
  fs::path keep;  // where the damaged copies behind incidents are kept, if anywhere
  std::vector<fs::path> inputs;
};

struct Figures {
  int files = 0, originals_unreadable = 0, copies = 0;
  std::uint64_t damaged_pages = 0;
  std::uint64_t rows_expected = 0, rows_salvaged = 0, values_emptied = 0, values_altered = 0, rows_beyond = 0, rows_unmatched = 0;
  int compacted = 0, refused = 0, crashes = 0, timeouts = 0;
  int refusals_leaving_file = 0, copies_losing_required = 0;
  int outputs_unreadable = 0, outputs_failing_checker = 0, outputs_failing_tool = 0;
  int headers_rebuilt = 0, error_table_missing = 0, error_table_without_visible_loss = 0, clean_outputs = 0;
  std::map<int, int> refusal_numbers;
  jet::compact::CompactStatistics salvage;  // summed over the compacted copies
  double slowest_ms = 0;
  std::string slowest;
  long peak_kb = 0;
  std::vector<std::string> incidents;  // crashes, timeouts, broken outputs (first ones)
  int incidents_seen = 0;
  // With --mdbtools: rows equal to a row of the undamaged file ("genuine") as
  // mdb-export reads them from our output and from the damaged copy itself.
  std::uint64_t genuine_ours = 0, genuine_mdbtools = 0, other_ours = 0, other_mdbtools = 0;
  // Genuine rows mdbtools reads only from deleted slots that no pointer leads to.
  std::uint64_t genuine_mdbtools_unreached = 0;
  int copies_mdbtools_keeps_more = 0, mdbtools_failures = 0;
  int copies_more_only_from_unreached = 0;  // mdbtools reads more only with those slots
};

// The data records of one table as `program` exports it (mdb-export, or our
// tool's export, which prints the same dialect), sorted; nothing when it
// fails or takes longer than `seconds` (damaged files can make mdb-export
// hang or crash). A record ends at a line end outside quotes: a memo's own
// line ends stay inside its record, so that a value pieced together from
// the lines of others does not count as rows of them.
// mdb-export prints a hex dump of a property blob it cannot parse to
// standard output ("0016x  64 00 65 00 ..."), before the table's header:
// no record of the table starts so (text is quoted, numbers hold no x).
bool BufferDumpLine(const std::string& text, std::size_t start, std::size_t end) {
  if (end - start < 7) return false;
  for (std::size_t k = 0; k < 4; ++k)
    if (!std::isdigit(static_cast<unsigned char>(text[start + k]))) return false;
  return text.compare(start + 4, 3, "x  ") == 0;
}

std::vector<std::string> ExportLines(const std::string& program, const fs::path& database, const std::string& table,
                                     int seconds, bool& ok) {
  const std::string command = "timeout -k 2 " + std::to_string(seconds) + " " + program + " '" + database.string() +
                              "' '" + table + "' 2>/dev/null";
  std::vector<std::string> lines;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    ok = false;
    return lines;
  }
  std::string text;
  char buffer[65536];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  ok = pclose(pipe) == 0;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= text.size(); ++at) {
    if (at < text.size() && text[at] == '"') quoted = !quoted;  // a doubled quote toggles twice
    if (at < text.size() && (quoted || text[at] != '\n')) continue;
    if ((at > start || at < text.size()) && !BufferDumpLine(text, start, at))
      lines.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  if (!lines.empty()) lines.erase(lines.begin());  // the header
  std::sort(lines.begin(), lines.end());
  return lines;
}

// How many of `rows` (sorted) are in `genuine` (sorted), each genuine row used once.
std::uint64_t CountGenuine(const std::vector<std::string>& rows, const std::vector<std::string>& genuine) {
  std::vector<std::string> common;
  std::set_intersection(rows.begin(), rows.end(), genuine.begin(), genuine.end(), std::back_inserter(common));
  return common.size();
}

const char* const kMdbExport = "mdb-export -b hex -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S'";

std::vector<std::string> MdbExport(const fs::path& database, const std::string& table, int seconds, bool& ok) {
  return ExportLines(kMdbExport, database, table, seconds, ok);
}

// Each user table's rows in the undamaged file, as our reader exports them:
// mdb-export also prints deleted and stale moved rows of some files, which
// are no rows to keep.
using PeerRows = std::map<std::string, std::vector<std::string>>;

std::uint64_t NameSeed(const std::string& name) {
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

void Incident(Figures& figures, const std::string& text) {
  if (figures.incidents.size() < 40) figures.incidents.push_back(text);
  ++figures.incidents_seen;
}

bool ToolCheckPasses(const std::string& tool, const fs::path& file) {
  std::string command = "'" + tool + "' check '" + file.string() + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Genuine rows that mdb-export reads from the damaged copy (and from it
// with the deleted slots no pointer leads to hidden) and from our output of
// it; a copy where mdbtools reads more from live slots is an incident.
void CompareWithMdbtools(const DamagedCopy& copy, std::size_t page_size, const fs::path& source,
                         const fs::path& output, bool compacted, const PeerRows& genuine, const std::string& label,
                         const Settings& settings, Figures& figures) {
  std::vector<std::uint8_t> live_bytes = copy.bytes;
  const bool hidden = vondrel::bench::HideUnreachedDeletedSlots(live_bytes, page_size) > 0;
  const fs::path live = source.parent_path() / "live-slots.mdb";
  if (hidden) vondrel::testing::WriteFileBytes(live.string(), live_bytes);
  std::uint64_t ours = 0, theirs = 0, theirs_live = 0, other_ours = 0;
  for (const auto& [table, rows] : genuine) {
    bool ok = true;
    const std::vector<std::string> read = MdbExport(source, table, settings.seconds, ok);
    if (!ok) ++figures.mdbtools_failures;
    const std::uint64_t read_genuine = CountGenuine(read, rows);
    theirs += read_genuine;
    figures.other_mdbtools += read.size() - read_genuine;
    theirs_live += hidden ? CountGenuine(MdbExport(live, table, settings.seconds, ok), rows) : read_genuine;
    if (!compacted) continue;
    const std::vector<std::string> kept = MdbExport(output, table, settings.seconds, ok);
    const std::uint64_t kept_genuine = CountGenuine(kept, rows);
    ours += kept_genuine;
    other_ours += kept.size() - kept_genuine;
  }
  figures.other_ours += other_ours;
  if (settings.verbose) {
    std::cout << label << ": genuine rows kept " << ours << ", read by mdbtools " << theirs << " (from live slots "
              << theirs_live << "), other rows kept " << other_ours << "\n";
  }
  figures.genuine_ours += ours;
  figures.genuine_mdbtools += theirs;
  figures.genuine_mdbtools_unreached += theirs > theirs_live ? theirs - theirs_live : 0;
  if (theirs_live > ours) {
    ++figures.copies_mdbtools_keeps_more;
    Incident(figures, "mdbtools reads " + std::to_string(theirs_live) + " genuine rows from live slots, we keep " +
                          std::to_string(ours) + ": " + label);
  } else if (theirs > ours) {
    ++figures.copies_more_only_from_unreached;
    Incident(figures, "mdbtools reads " + std::to_string(theirs) + " genuine rows, " + std::to_string(theirs_live) +
                          " of them from live slots, the rest from deleted slots no pointer leads to; we keep " +
                          std::to_string(ours) + ": " + label);
  }
}

void Examine(const DamagedCopy& copy, std::size_t page_size, const std::string& label,
             const vondrel::testing::OriginalContent& original, const PeerRows& genuine, const fs::path& scratch,
             const Settings& settings, Figures& figures) {
  const fs::path source = scratch / "damaged.mdb";
  const fs::path destination = scratch / "salvaged.mdb";
  std::error_code ec;
  fs::remove(source, ec);
  fs::remove(destination, ec);
  vondrel::testing::WriteFileBytes(source.string(), copy.bytes);

  const vondrel::testing::SalvageExpectation expected = original.Expect(copy.damaged_pages, copy.cut_length());
  ++figures.copies;
  figures.damaged_pages += copy.damaged_pages.size();
  figures.rows_expected += expected.rows_required;

  const int incidents_before = figures.incidents_seen;
  CompactionRun outcome = vondrel::testing::CompactInChild(source, destination, settings.seconds);
  figures.peak_kb = std::max(figures.peak_kb, outcome.peak_kb);
  if (outcome.milliseconds > figures.slowest_ms) {
    figures.slowest_ms = outcome.milliseconds;
    figures.slowest = label;
  }
  std::string verdict;
  switch (outcome.kind) {
    case CompactionRun::Crashed:
    case CompactionRun::Unnumbered:
      ++figures.crashes;
      Incident(figures, outcome.Summary() + ": " + label);
      verdict = "crash";
      break;
    case CompactionRun::TimedOut:
      ++figures.timeouts;
      Incident(figures, "timeout: " + label);
      verdict = "timeout";
      break;
    case CompactionRun::Refused:
      ++figures.refused;
      ++figures.refusal_numbers[outcome.number];
      if (fs::exists(destination, ec)) {
        ++figures.refusals_leaving_file;
        Incident(figures, "refusal left a file behind: " + label);
      }
      if (expected.rows_required > 0) {
        ++figures.copies_losing_required;
        Incident(figures, "refused (" + std::to_string(outcome.number) + ") although " +
                              std::to_string(expected.rows_required) + " rows were expected: " + label);
      }
      verdict = "refused " + std::to_string(outcome.number) + ": " + outcome.description;
      break;
    case CompactionRun::Compacted: {
      ++figures.compacted;
      figures.salvage.rows_dropped += outcome.statistics.rows_dropped;
      figures.salvage.values_emptied += outcome.statistics.values_emptied;
      figures.salvage.tables_lost += outcome.statistics.tables_lost;
      figures.salvage.errors_recorded += outcome.statistics.errors_recorded;
      figures.headers_rebuilt += outcome.statistics.header_rebuilt ? 1 : 0;
      try {
        auto output = jet::Database::Open(destination);
        const jet::CheckReport report = jet::CheckDatabase(*output);
        if (report.HasProblems()) {
          ++figures.outputs_failing_checker;
          std::string first;
          for (const auto& finding : report.findings) {
            if (finding.severity == jet::Severity::Problem && first.empty()) first = finding.table + ": " + finding.message;
          }
          Incident(figures, "output fails the checker (" + first + "): " + label);
        }
        auto comparison = vondrel::testing::CompareSalvage(expected, *output);
        figures.rows_salvaged += comparison.rows_required_found;
        figures.values_emptied += comparison.values_emptied;
        figures.values_altered += comparison.values_altered;
        figures.rows_beyond += comparison.rows_optional_found;
        figures.rows_unmatched += comparison.rows_unmatched;
        if (!comparison.RequirementsMet()) {
          ++figures.copies_losing_required;
          Incident(figures, "expected rows lost (" +
                                (comparison.failures.empty() ? std::string("?") : comparison.failures.front()) +
                                "): " + label);
        }
        if (comparison.everything_kept && !comparison.error_table) ++figures.clean_outputs;
        if (comparison.visible_loss && !comparison.error_table) {
          ++figures.error_table_missing;
          Incident(figures, "losses without MSysCompactError: " + label);
        }
        if (!comparison.visible_loss && comparison.error_table) ++figures.error_table_without_visible_loss;
        verdict = vondrel::testing::Describe(comparison);
      } catch (const vondrel::Error& error) {
        ++figures.outputs_unreadable;
        Incident(figures, "output unreadable (" + error.description() + "): " + label);
        verdict = "output unreadable";
      }
      if (!settings.tool.empty() && !ToolCheckPasses(settings.tool, destination)) {
        ++figures.outputs_failing_tool;
        Incident(figures, "output fails vondrel-jet check: " + label);
      }
      break;
    }
  }
  if (settings.mdbtools)
    CompareWithMdbtools(copy, page_size, source, destination, outcome.kind == CompactionRun::Compacted, genuine, label,
                        settings, figures);
  if (!settings.keep.empty() && figures.incidents_seen > incidents_before) {
    const fs::path kept = settings.keep / ("incident-" + std::to_string(figures.incidents_seen) + ".mdb");
    fs::copy_file(source, kept, fs::copy_options::overwrite_existing, ec);
    if (figures.incidents.size() < 40) figures.incidents.back() += " [kept as " + kept.string() + "]";
  }
  if (settings.verbose) {
    std::cout << label << ": " << static_cast<long>(outcome.milliseconds) << " ms, " << verdict << "\n";
  }
}

void RunFile(const fs::path& path, const fs::path& scratch, const Settings& settings, Figures& figures) {
  const std::string name = path.filename().string();
  std::vector<std::uint8_t> bytes = vondrel::testing::ReadFileBytes(path.string());
  ++figures.files;
  std::optional<vondrel::testing::OriginalContent> original;
  try {
    original = vondrel::testing::OriginalContent::Read(bytes, name);
  } catch (const vondrel::Error& error) {
    ++figures.originals_unreadable;
    if (settings.verbose) std::cout << name << ": original not readable: " << error.description() << "\n";
    return;
  }
  PeerRows genuine;
  if (settings.mdbtools && !settings.tool.empty()) {
    for (const auto& table : original->tables()) {
      bool ok = true;
      genuine[table.name] = ExportLines("'" + settings.tool + "' export", path, table.name, settings.seconds, ok);
    }
  }
  DamageGenerator generator(std::move(bytes));
  const std::optional<PageRole> targets[] = {std::nullopt,          PageRole::Header, PageRole::Catalog,
                                             PageRole::TableDefinition, PageRole::UsageMap, PageRole::Data,
                                             PageRole::LongValue,   PageRole::Index};
  const std::uint64_t seed = NameSeed(name);
  for (int i = 0; i < settings.copies; ++i) {
    DamagedCopy copy = generator.Random(seed + static_cast<std::uint64_t>(i), targets[i % std::size(targets)]);
    Examine(copy, generator.page_size(), name + ": " + copy.description, *original, genuine, scratch, settings,
            figures);
  }
}

std::vector<fs::path> CorpusFiles(const std::vector<fs::path>& inputs) {
  std::vector<fs::path> files;
  for (const auto& input : inputs) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
      for (const auto& entry : fs::directory_iterator(input, ec)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
        if (entry.is_regular_file() && (extension == ".mdb" || extension == ".eap" || extension == ".eapx"))
          files.push_back(entry.path());
      }
    } else if (fs::is_regular_file(input, ec)) {
      files.push_back(input);
    } else {
      std::cerr << "salvage_bench: not found: " << input << "\n";
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string DefaultTool(const char* argv0) {
  std::error_code ec;
  fs::path beside = fs::weakly_canonical(fs::path(argv0), ec).parent_path().parent_path() / "tools" / "vondrel-jet";
  return fs::exists(beside, ec) ? beside.string() : std::string();
}

void Print(const Figures& f, const Settings& settings) {
  std::cout << "files " << f.files << " (originals not readable " << f.originals_unreadable << "), damaged copies "
            << f.copies << " (" << settings.copies << " per file), damaged pages " << f.damaged_pages << "\n";
  std::cout << "rows expected " << f.rows_expected << ", rows salvaged " << f.rows_salvaged
            << " of the expected (with a damaged long value emptied " << f.values_emptied << ", altered "
            << f.values_altered << ")"
            << ", copies losing expected rows " << f.copies_losing_required << "\n";
  std::cout << "rows salvaged beyond the expected (from damaged pages) " << f.rows_beyond
            << ", output rows matching no original row " << f.rows_unmatched << "\n";
  std::cout << "compacted " << f.compacted << ", files refused " << f.refused << " (numbered error";
  for (const auto& [number, count] : f.refusal_numbers) std::cout << "; " << number << ": " << count;
  std::cout << "), refusals leaving a file " << f.refusals_leaving_file << ", crashes " << f.crashes << ", timeouts "
            << f.timeouts << " (limit " << settings.seconds << " s)\n";
  std::cout << "outputs not readable " << f.outputs_unreadable << ", failing our checker " << f.outputs_failing_checker
            << ", failing vondrel-jet check " << (settings.tool.empty() ? std::string("(not run)") : std::to_string(f.outputs_failing_tool))
            << ", losses without MSysCompactError " << f.error_table_missing
            << ", MSysCompactError without a visible loss " << f.error_table_without_visible_loss
            << ", whole and clean " << f.clean_outputs << "\n";
  std::cout << "the compactor's own figures: rows dropped " << f.salvage.rows_dropped << ", values emptied "
            << f.salvage.values_emptied << ", tables lost " << f.salvage.tables_lost << ", errors recorded "
            << f.salvage.errors_recorded << ", headers rebuilt " << f.headers_rebuilt << "\n";
  std::cout << "slowest " << static_cast<long>(f.slowest_ms) << " ms (" << f.slowest << "), peak child memory "
            << f.peak_kb / 1024 << " MB\n";
  if (settings.mdbtools) {
    std::cout << "genuine rows (equal to a row of the undamaged file as our reader exports it), as mdb-export reads them: kept by us "
              << f.genuine_ours << ", read by mdbtools from the damaged copies " << f.genuine_mdbtools
              << " (of them only from deleted slots that no pointer leads to " << f.genuine_mdbtools_unreached << ")"
              << "; other rows: ours " << f.other_ours << ", mdbtools " << f.other_mdbtools
              << "; copies where mdbtools reads more genuine rows from live slots " << f.copies_mdbtools_keeps_more
              << ", more only with deleted slots no pointer leads to " << f.copies_more_only_from_unreached
              << "; mdb-export failures or timeouts " << f.mdbtools_failures << "\n";
  }
  for (const auto& incident : f.incidents) std::cout << "  " << incident << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  settings.tool = DefaultTool(argv[0]);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--copies" && i + 1 < argc) {
      settings.copies = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--seconds" && i + 1 < argc) {
      settings.seconds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--tool" && i + 1 < argc) {
      settings.tool = argv[++i];
    } else if (arg == "--keep" && i + 1 < argc) {
      settings.keep = argv[++i];
      fs::create_directories(settings.keep);
    } else if (arg == "--no-built") {
      settings.built = false;
    } else if (arg == "--verbose") {
      settings.verbose = true;
    } else if (arg == "--mdbtools") {
      settings.mdbtools = true;
    } else if (!arg.empty() && arg[0] == '-') {
      std::cerr << "usage: salvage_bench [--copies N] [--seconds S] [--tool VONDREL_JET] [--keep DIR] [--no-built] [--verbose] [--mdbtools] "
                   "[FOLDER|FILE ...]\n";
      return 2;
    } else {
      settings.inputs.emplace_back(arg);
    }
  }
  if (settings.inputs.empty()) {
    const char* samples = std::getenv("VONDREL_SAMPLES");
    settings.inputs.emplace_back(samples && *samples ? samples : VONDREL_DEFAULT_SAMPLES);
  }

  char scratch_template[] = "/tmp/salvage_bench.XXXXXX";
  if (!mkdtemp(scratch_template)) {
    std::cerr << "salvage_bench: cannot create a scratch folder\n";
    return 1;
  }
  const fs::path scratch = scratch_template;
  std::vector<fs::path> files = CorpusFiles(settings.inputs);
  if (settings.built) {
    fs::create_directories(scratch / "built");
    for (const auto& path : vondrel::testing::BuildSalvageCorpus(scratch / "built", 1500)) files.push_back(path);
  }
  Figures figures;
  auto started = Clock::now();
  for (const auto& file : files) RunFile(file, scratch, settings, figures);
  Print(figures, settings);
  std::cout << "total " << static_cast<long>(std::chrono::duration<double>(Clock::now() - started).count()) << " s\n";
  std::error_code ec;
  fs::remove_all(scratch, ec);
  return figures.crashes == 0 && figures.timeouts == 0 ? 0 : 1;
}
