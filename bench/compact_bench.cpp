// Compaction speed and memory against two yardsticks, measured in one run on
// Jet 4 databases this program builds with the writing API (about 20 MB and
// 200 MB): copying the file and syncing it, and exporting every table with
// mdb-export. Prints the times, the ratios and the compaction's peak memory.
//
//   compact_bench [folder] [sizes in MB...]     (default: /tmp, 20 200)

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "base/error.h"
#include "jet/compact/compactor.h"
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
void BuildDatabase(const std::filesystem::path& path, int megabytes) {
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
}

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double ChildrenCpu() {
  struct rusage usage {};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Wall time of a shell command; its processor time goes to `cpu`. The machine
// may be shared, so both are shown.
double TimeShell(const std::string& command, double& cpu) {
  const double cpu_before = ChildrenCpu();
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) std::cerr << "command failed: " << command << "\n";
  cpu = ChildrenCpu() - cpu_before;
  return Seconds(start);
}

// Runs the compaction in a child process, so that its peak resident memory
// is the child's own.
bool TimeCompaction(const std::filesystem::path& source, const std::filesystem::path& destination, double& seconds,
                    double& cpu, long& peak_kib) {
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    try {
      jet::compact::CompactDatabase(source, destination);
      _exit(0);
    } catch (const vondrel::Error& e) {
      std::fprintf(stderr, "compaction failed: %d %s\n", e.number(), e.description().c_str());
      _exit(1);
    }
  }
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  seconds = Seconds(start);
  cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  peak_kib = usage.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : "/tmp";
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {20, 200};
  std::printf("%8s %8s %10s %10s %10s %9s %9s %10s %10s\n", "target", "MB", "cp+sync s", "export s", "compact s",
              "x cp", "export/x", "peak MiB", "limit MiB");
  int failures = 0;
  for (int megabytes : sizes) {
    const auto source = folder / ("vondrel_bench_" + std::to_string(megabytes) + ".mdb");
    const auto copy = folder / ("vondrel_bench_" + std::to_string(megabytes) + "_copy.mdb");
    const auto output = folder / ("vondrel_bench_" + std::to_string(megabytes) + "_out.mdb");
    for (const auto& p : {source, copy, output}) std::filesystem::remove(p);
    const auto build_start = Clock::now();
    BuildDatabase(source, megabytes);
    const double build = Seconds(build_start);
    const double size_mb = static_cast<double>(std::filesystem::file_size(source)) / (1 << 20);
    std::system("sync");

    double cp_cpu = 0, export_cpu = 0, compact_cpu = 0;
    const double cp = TimeShell("cp " + Quote(source) + " " + Quote(copy) + " && sync " + Quote(copy), cp_cpu);
    const double exported = TimeShell("for t in $(mdb-tables -S -1 " + Quote(source) + "); do mdb-export " + Quote(source) +
                                      " \"$t\" > /dev/null; done", export_cpu);
    double compact = 0;
    long peak_kib = 0;
    if (!TimeCompaction(source, output, compact, compact_cpu, peak_kib)) ++failures;
    const double limit = 64 + 0.25 * size_mb;
    std::printf("%8d %8.1f %10.2f %10.2f %10.2f %9.2f %9.1f %10.1f %10.1f\n", megabytes, size_mb, cp, exported, compact,
                compact / cp, exported / compact, peak_kib / 1024.0, limit);
    std::printf("         processor time: cp+sync %.2f s, export %.2f s, compact %.2f s (export/compact %.1f)\n", cp_cpu,
                export_cpu, compact_cpu, compact_cpu > 0 ? export_cpu / compact_cpu : 0.0);
    std::printf("         (built in %.1f s; output %.1f MB)\n", build,
                std::filesystem::exists(output) ? static_cast<double>(std::filesystem::file_size(output)) / (1 << 20) : 0.0);
    for (const auto& p : {copy, output}) std::filesystem::remove(p);
    if (!std::getenv("VONDREL_BENCH_KEEP")) std::filesystem::remove(source);
  }
  std::printf("targets: compact <= 3 x cp+sync, export/compact >= 5, peak <= 64 MiB + 25%% of the file\n");
  return failures ? 1 : 0;
}
