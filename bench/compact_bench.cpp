// Compaction speed and memory against two yardsticks, measured in one run:
// copying the file and syncing it, and exporting every table with mdb-export.
// Prints the times, the ratios and the compaction's peak memory, mapped file
// pages included, and the time and peak memory of checking the source. Two
// kinds of database, both built through the engine's writing: "own", as the
// writer lays out a new file (each table's rows in key order on consecutive
// pages), and "aged", as years of use leave one (see aged_database.h), in
// Jet 4 and ("aged3") Jet 3. The compaction is also timed on one processor,
// where its wall time is the work alone: half of that is the least two
// processors could take.
//
//   compact_bench [folder] [sizes in MB...]     (default: /tmp, 20 250)
//   VONDREL_BENCH_KINDS=own,aged,aged3   the kinds to measure (default: own,aged)
//   VONDREL_BENCH_REPEAT=n  run every measurement n times, keep the fastest
//   VONDREL_BENCH_KEEP=1    keep the built databases, and reuse them next time

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "base/error.h"
#include "bench/aged_database.h"
#include "jet/check/checker.h"
#include "jet/compact/compactor.h"
#include "jet/read/database.h"
#include "jet/write/database_writer.h"

namespace {

using jet::ColumnType;
using jet::write::Value;
using Clock = std::chrono::steady_clock;

std::string Word(std::mt19937& rng, int length) {
  static const char* letters = "abcdefghijklmnopqrstuvwxyz";
  std::string s;
  for (int i = 0; i < length; ++i) s.push_back(letters[rng() % 26]);
  return s;
}

// Three tables; Orders carries most of the volume. Rows per megabyte were
// measured on this layout.
std::uint64_t BuildDatabase(const std::filesystem::path& path, int megabytes) {
  std::mt19937 rng(12345);
  jet::write::DatabaseWriter db(path, {});
  const auto customers = db.AddTable({"Customers",
                                      {{"CustomerId", ColumnType::Long, 0, true},
                                       {"Name", ColumnType::Text, 60},
                                       {"City", ColumnType::Text, 40},
                                       {"Joined", ColumnType::DateTime}},
                                      {{"PrimaryKey", {{"CustomerId", true}}, true}, {"Name", {{"Name", true}}}}});
  const auto orders = db.AddTable({"Orders",
                                   {{"OrderId", ColumnType::Long, 0, true},
                                    {"CustomerId", ColumnType::Long},
                                    {"Product", ColumnType::Text, 80},
                                    {"Quantity", ColumnType::Integer},
                                    {"Price", ColumnType::Double},
                                    {"Placed", ColumnType::DateTime},
                                    {"Notes", ColumnType::Memo}},
                                   {{"PrimaryKey", {{"OrderId", true}}, true},
                                    {"CustomerId", {{"CustomerId", true}}},
                                    {"Product", {{"Product", true}}}}});
  const auto events = db.AddTable({"Events",
                                   {{"EventId", ColumnType::Long, 0, true},
                                    {"Kind", ColumnType::Byte},
                                    {"At", ColumnType::DateTime},
                                    {"Text", ColumnType::Text, 120}},
                                   {{"PrimaryKey", {{"EventId", true}}, true}, {"At", {{"At", true}}}}});
  const int customer_rows = 370 * megabytes;
  const int order_rows = 3400 * megabytes;
  const int event_rows = 1800 * megabytes;
  db.BeginRows(customers);
  for (int i = 0; i < customer_rows; ++i) {
    db.Insert({Value::Null(), Value::Text(Word(rng, 5 + rng() % 12) + " " + Word(rng, 8)), Value::Text(Word(rng, 4 + rng() % 10)),
               Value::Date(36000 + rng() % 9000 + (rng() % 86400) / 86400.0)});
  }
  db.EndRows();
  db.BeginRows(orders);
  for (int i = 0; i < order_rows; ++i) {
    const int notes = rng() % 10 < 3 ? static_cast<int>(rng() % 900) : 0;
    db.Insert({Value::Null(), Value::Long(static_cast<std::int32_t>(1 + rng() % customer_rows)),
               Value::Text("Product " + Word(rng, 3 + rng() % 20)), Value::Integer(static_cast<std::int16_t>(rng() % 100)),
               Value::Double((rng() % 100000) / 100.0), Value::Date(40000 + rng() % 5000),
               notes ? Value::Text(Word(rng, notes)) : Value::Null()});
  }
  db.EndRows();
  db.BeginRows(events);
  for (int i = 0; i < event_rows; ++i) {
    db.Insert({Value::Null(), Value::Byte(static_cast<std::uint8_t>(rng() % 8)), Value::Date(42000 + (rng() % 10000000) / 1000.0),
               Value::Text("event " + Word(rng, 10 + rng() % 60))});
  }
  db.EndRows();
  db.Close();
  return static_cast<std::uint64_t>(customer_rows) + order_rows + event_rows;
}

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

struct Times {
  double wall = 0, user = 0, sys = 0;
  double cpu() const { return user + sys; }
};

double Sec(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

Times ChildrenTimes() {
  struct rusage usage {};
  getrusage(RUSAGE_CHILDREN, &usage);
  return {0, Sec(usage.ru_utime), Sec(usage.ru_stime)};
}

// Wall and processor time of a shell command. The machine may be shared, so
// both are shown.
Times TimeShell(const std::string& command) {
  const Times before = ChildrenTimes();
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) std::cerr << "command failed: " << command << "\n";
  const Times after = ChildrenTimes();
  return {Seconds(start), after.user - before.user, after.sys - before.sys};
}

// Compacts in this process: what the child started by TimeChild runs.
int CompactHere(const char* source, const char* destination) {
  try {
    jet::compact::CompactDatabase(source, destination);
    return 0;
  } catch (const vondrel::Error& e) {
    std::fprintf(stderr, "compaction failed: %d %s\n", e.number(), e.description().c_str());
    return 1;
  }
}

// Checks in this process. A problem found in a file the generator wrote is
// a failure, as is one the check cannot get through.
int CheckHere(const char* source) {
  try {
    const auto db = jet::Database::Open(source);
    const jet::CheckReport report = jet::CheckDatabase(*db);
    if (report.ProblemCount() == 0) return 0;
    std::fprintf(stderr, "the check finds %zu problems in %s\n", report.ProblemCount(), source);
  } catch (const vondrel::Error& e) {
    std::fprintf(stderr, "check failed: %d %s\n", e.number(), e.description().c_str());
  }
  return 1;
}

// Keeps the calling process to the first processor it may run on.
void KeepToOneCore() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &allowed)) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    sched_setaffinity(0, sizeof one, &one);
    return;
  }
}

// Runs this program again with `arguments` (--compact or --check), so that
// the child's peak resident memory is its own and not that of the generator
// the child of a plain fork would inherit.
// With `one_core` the child runs on one processor: its wall time is then
// the work alone, with no thread waiting for another.
bool TimeChild(const std::vector<std::string>& arguments, Times& times, long& peak_kib, bool one_core = false) {
  std::vector<char*> argv{const_cast<char*>("compact_bench")};
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    if (one_core) KeepToOneCore();
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  times = {Seconds(start), Sec(usage.ru_utime), Sec(usage.ru_stime)};
  peak_kib = usage.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const char* Verdict(bool ok) { return ok ? "ok" : "MISSED"; }

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

std::string ShellOutput(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// Live rows per user table as our reader counts them, mdb-count's counts of
// the same tables, and their sum; false (with a note) when they disagree or
// differ from what the generator wrote.
bool CheckRowCounts(const std::filesystem::path& file, std::uint64_t expected_total, const char* what) {
  try {
    const auto db = jet::Database::Open(file);
    std::uint64_t total = 0;
    bool same = true;
    for (const jet::CatalogEntry& entry : db->Tables()) {
      if (entry.IsSystemObject()) continue;
      const std::uint64_t ours = db->CountRows(db->ReadTableDefinition(entry));
      total += ours;
      const std::string theirs = Trimmed(ShellOutput("mdb-count " + Quote(file) + " '" + entry.name + "' 2>/dev/null"));
      if (!theirs.empty() && theirs != std::to_string(ours)) {
        std::printf("  CHECK FAILED: %s table %s: %llu rows, mdb-count says %s\n", what, entry.name.c_str(),
                    static_cast<unsigned long long>(ours), theirs.c_str());
        same = false;
      }
    }
    if (total != expected_total) {
      std::printf("  CHECK FAILED: %s holds %llu rows, %llu were written\n", what, static_cast<unsigned long long>(total),
                  static_cast<unsigned long long>(expected_total));
      return false;
    }
    return same;
  } catch (const vondrel::Error& e) {
    std::printf("  CHECK FAILED: %s cannot be read: %d %s\n", what, e.number(), e.description().c_str());
    return false;
  }
}

struct Measured {
  double size_mb = 0;
  Times copy;  // cp + sync
  Times compact;
};

// Builds (or reuses) one database of a kind and size, checks it and its
// compacted copy, and prints the measurements. False when something failed.
bool MeasureOne(const std::filesystem::path& folder, const std::string& kind, int megabytes, int repeat,
                Measured& measured) {
  const std::string stem = "vondrel_bench_" + (kind == "own" ? "" : kind + "_") + std::to_string(megabytes);
  const auto source = folder / (stem + ".mdb");
  const auto copy = folder / (stem + "_copy.mdb");
  const auto output = folder / (stem + "_out.mdb");
  const auto rows_file = folder / (stem + ".rows");
  for (const auto& p : {copy, output}) std::filesystem::remove(p);
  const auto build_start = Clock::now();
  const bool reuse = std::getenv("VONDREL_BENCH_KEEP") && std::filesystem::exists(source) && std::filesystem::exists(rows_file);
  std::uint64_t rows = 0;
  if (reuse) {
    rows = std::stoull(Trimmed(ShellOutput("cat " + Quote(rows_file))));
  } else {
    std::filesystem::remove(source);
    if (kind == "own") {
      rows = BuildDatabase(source, megabytes);
    } else {
      vondrel::bench::AgedOptions options;
      options.megabytes = megabytes;
      options.version = kind == "aged3" ? jet::FormatVersion::Jet3 : jet::FormatVersion::Jet4;
      rows = vondrel::bench::BuildAgedDatabase(source, options).live_rows;
    }
    std::system(("echo " + std::to_string(rows) + " > " + Quote(rows_file)).c_str());
  }
  const double build = Seconds(build_start);
  const double size_mb = static_cast<double>(std::filesystem::file_size(source)) / (1 << 20);
  std::system("sync");
  bool ok = CheckRowCounts(source, rows, "the source");

  Times cp, exported, compact, one_core;
  long peak_kib = 0;
  auto keep_best = [](Times& best, const Times& t) { if (best.wall == 0 || t.wall < best.wall) best = t; };
  for (int r = 0; r < repeat; ++r) {
    std::filesystem::remove(copy);
    keep_best(cp, TimeShell("cp " + Quote(source) + " " + Quote(copy) + " && sync " + Quote(copy)));
    keep_best(exported, TimeShell("for t in $(mdb-tables -S -1 " + Quote(source) + "); do mdb-export " + Quote(source) +
                                  " \"$t\" > /dev/null; done"));
    std::filesystem::remove(output);
    Times t;
    long peak = 0;
    if (!TimeChild({"--compact", source.string(), output.string()}, t, peak)) ok = false;
    keep_best(compact, t);
    peak_kib = std::max(peak_kib, peak);
    std::filesystem::remove(output);
    if (!TimeChild({"--compact", source.string(), output.string()}, t, peak, true)) ok = false;
    keep_best(one_core, t);
  }
  if (ok) ok = CheckRowCounts(output, rows, "the compacted copy");
  // Checked once: it is not a yardstick of the compaction, and its figures
  // vary less than the ratio above needs.
  Times checked;
  long check_peak_kib = 0;
  const bool check_clean = TimeChild({"--check", source.string()}, checked, check_peak_kib);
  const double limit = 64 + 0.10 * size_mb;
  const double peak_mib = peak_kib / 1024.0;
  const double check_peak_mib = check_peak_kib / 1024.0;
  std::printf("\n%s, %d MB target: file %.1f MiB (%s, built in %.1f s), output %.1f MiB, %llu rows\n", kind.c_str(),
              megabytes, size_mb, reuse ? "reused" : "new", build,
              std::filesystem::exists(output) ? static_cast<double>(std::filesystem::file_size(output)) / (1 << 20) : 0.0,
              static_cast<unsigned long long>(rows));
  std::printf("  %-12s %8s %8s %8s %8s\n", "", "wall s", "user s", "sys s", "cpu s");
  for (const auto& [name, t] : {std::pair<const char*, Times>{"cp+sync", cp}, {"mdb-export", exported}, {"compaction", compact},
                                {"  one core", one_core}, {"check", checked}})
    std::printf("  %-12s %8.2f %8.2f %8.2f %8.2f\n", name, t.wall, t.user, t.sys, t.cpu());
  std::printf("  compaction / cp+sync     wall %6.2f  (target <= 2)   %s\n", compact.wall / cp.wall,
              Verdict(compact.wall <= 2 * cp.wall));
  // Half the work is the least two processors could take if neither ever waited.
  std::printf("  one core / 2 / cp+sync   wall %6.2f  (both cores busy throughout; here they ran %.2fx as fast as one)\n",
              one_core.wall / 2 / cp.wall, one_core.wall / compact.wall);
  std::printf("  mdb-export / compaction  wall %6.2f  cpu %6.2f\n", exported.wall / compact.wall, exported.cpu() / compact.cpu());
  std::printf("  peak memory %.1f MiB, limit %.1f MiB (64 + 10%% of the file)   %s\n", peak_mib, limit,
              Verdict(peak_mib <= limit));
  std::printf("  check of the source: peak memory %.1f MiB (same limit)   %s; no problems found   %s\n",
              check_peak_mib, Verdict(check_peak_mib <= limit), Verdict(check_clean));
  std::printf("  compaction cpu per MiB %.1f ms, wall per MiB %.1f ms\n", 1000 * compact.cpu() / size_mb,
              1000 * compact.wall / size_mb);
  std::printf("  rows read alike by our reader and mdb-count, in the source and the compacted copy: %s\n", Verdict(ok));
  if (!check_clean) ok = false;
  measured = {size_mb, cp, compact};
  for (const auto& p : {copy, output}) std::filesystem::remove(p);
  if (!std::getenv("VONDREL_BENCH_KEEP")) {
    std::filesystem::remove(source);
    std::filesystem::remove(rows_file);
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--compact") return CompactHere(argv[2], argv[3]);
  if (argc == 3 && std::string(argv[1]) == "--check") return CheckHere(argv[2]);
  const std::filesystem::path folder = argc > 1 ? argv[1] : "/tmp";
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {20, 250};
  std::vector<std::string> kinds;
  {
    const char* text = std::getenv("VONDREL_BENCH_KINDS");
    std::string list = text ? text : "own,aged";
    for (std::size_t from = 0; from <= list.size();) {
      const std::size_t comma = std::min(list.find(',', from), list.size());
      if (comma > from) kinds.push_back(list.substr(from, comma - from));
      from = comma + 1;
    }
  }
  // Timings on a shared machine are noisy: VONDREL_BENCH_REPEAT=n runs each
  // measurement n times and keeps the fastest.
  const char* repeat_text = std::getenv("VONDREL_BENCH_REPEAT");
  const int repeat = std::max(1, repeat_text ? std::atoi(repeat_text) : 1);
  int failures = 0;
  for (const std::string& kind : kinds) {
    std::vector<Measured> per_size;
    for (int megabytes : sizes) {
      if (kind == "aged3" && megabytes > 1000) {
        std::printf("\n%s, %d MB: skipped, a Jet 3 file ends at 1 GB\n", kind.c_str(), megabytes);
        continue;
      }
      Measured m;
      if (!MeasureOne(folder, kind, megabytes, repeat, m)) ++failures;
      per_size.push_back(m);
    }
    if (per_size.size() >= 2) {
      const Measured& small = per_size.front();
      const Measured& large = per_size.back();
      const double bytes = large.size_mb / small.size_mb;
      const double wall = large.compact.wall / small.compact.wall;
      std::printf("\n%s linearity: %.1fx the size took %.1fx the wall time, %.1fx the processor time (target <= %.1fx)   %s\n",
                  kind.c_str(), bytes, wall, large.compact.cpu() / small.compact.cpu(), 1.1 * bytes,
                  Verdict(wall <= 1.1 * bytes));
      // The machine's own growth beside it: where writing a large file costs
      // more per byte than a small one (memory the host must hand back to a
      // virtual machine, a cache that no longer holds the file), cp + sync
      // grows faster than the bytes too.
      std::printf("%s linearity of cp+sync, the same files: %.1fx the wall time, %.1fx the processor time\n",
                  kind.c_str(), large.copy.wall / small.copy.wall, large.copy.cpu() / small.copy.cpu());
    }
  }
  return failures ? 1 : 0;
}
