// Compaction speed and memory against two yardsticks, measured in one run on
// Jet 4 databases this program builds with the writing API (about 20 MB and
// 200 MB): copying the file and syncing it, and exporting every table with
// mdb-export. Prints the times, the ratios and the compaction's peak memory.
//
//   compact_bench [folder] [sizes in MB...]     (default: /tmp, 20 200)
//   VONDREL_BENCH_REPEAT=n  run every measurement n times, keep the fastest
//   VONDREL_BENCH_KEEP=1    keep the built databases, and reuse them next time

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

// Runs the compaction in a child process, so that its peak resident memory
// is the child's own.
bool TimeCompaction(const std::filesystem::path& source, const std::filesystem::path& destination, Times& times,
                    long& peak_kib) {
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
  times = {Seconds(start), Sec(usage.ru_utime), Sec(usage.ru_stime)};
  peak_kib = usage.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const char* Verdict(bool ok) { return ok ? "ok" : "MISSED"; }

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : "/tmp";
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {20, 200};
  // Timings on a shared machine are noisy: VONDREL_BENCH_REPEAT=n runs each
  // measurement n times and keeps the fastest.
  const char* repeat_text = std::getenv("VONDREL_BENCH_REPEAT");
  const int repeat = std::max(1, repeat_text ? std::atoi(repeat_text) : 1);
  int failures = 0;
  std::vector<std::pair<double, double>> per_mb;  // size, compaction processor seconds
  for (int megabytes : sizes) {
    const auto source = folder / ("vondrel_bench_" + std::to_string(megabytes) + ".mdb");
    const auto copy = folder / ("vondrel_bench_" + std::to_string(megabytes) + "_copy.mdb");
    const auto output = folder / ("vondrel_bench_" + std::to_string(megabytes) + "_out.mdb");
    for (const auto& p : {copy, output}) std::filesystem::remove(p);
    const auto build_start = Clock::now();
    const bool reuse = std::getenv("VONDREL_BENCH_KEEP") && std::filesystem::exists(source);
    if (!reuse) {
      std::filesystem::remove(source);
      BuildDatabase(source, megabytes);
    }
    const double build = Seconds(build_start);
    const double size_mb = static_cast<double>(std::filesystem::file_size(source)) / (1 << 20);
    std::system("sync");

    Times cp, exported, compact;
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
      if (!TimeCompaction(source, output, t, peak)) ++failures;
      keep_best(compact, t);
      peak_kib = std::max(peak_kib, peak);
    }
    const double limit = 64 + 0.25 * size_mb;
    const double peak_mib = peak_kib / 1024.0;
    std::printf("\n%d MB target: file %.1f MiB (%s, built in %.1f s), output %.1f MiB\n", megabytes, size_mb,
                reuse ? "reused" : "new", build,
                std::filesystem::exists(output) ? static_cast<double>(std::filesystem::file_size(output)) / (1 << 20) : 0.0);
    std::printf("  %-12s %8s %8s %8s %8s\n", "", "wall s", "user s", "sys s", "cpu s");
    for (const auto& [name, t] : {std::pair<const char*, Times>{"cp+sync", cp}, {"mdb-export", exported}, {"compaction", compact}})
      std::printf("  %-12s %8.2f %8.2f %8.2f %8.2f\n", name, t.wall, t.user, t.sys, t.cpu());
    std::printf("  compaction / cp+sync     wall %6.2f  (target <= 3)   %s\n", compact.wall / cp.wall, Verdict(compact.wall <= 3 * cp.wall));
    std::printf("  mdb-export / compaction  wall %6.2f  cpu %6.2f  (target >= 5)   %s\n", exported.wall / compact.wall,
                exported.cpu() / compact.cpu(), Verdict(exported.wall >= 5 * compact.wall));
    std::printf("  peak memory %.1f MiB, limit %.1f MiB (64 + 25%% of the file)   %s\n", peak_mib, limit, Verdict(peak_mib <= limit));
    std::printf("  compaction cpu per MiB %.1f ms\n", 1000 * compact.cpu() / size_mb);
    per_mb.emplace_back(size_mb, compact.cpu());
    for (const auto& p : {copy, output}) std::filesystem::remove(p);
    if (!std::getenv("VONDREL_BENCH_KEEP")) std::filesystem::remove(source);
  }
  if (per_mb.size() >= 2) {
    const auto& [small_mb, small_cpu] = per_mb.front();
    const auto& [large_mb, large_cpu] = per_mb.back();
    std::printf("\nlinearity: %.1fx the size took %.1fx the processor time\n", large_mb / small_mb, large_cpu / small_cpu);
  }
  return failures ? 1 : 0;
}
