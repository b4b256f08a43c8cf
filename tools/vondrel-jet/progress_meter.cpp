#include "progress_meter.h"

#include <string>

namespace vondrel::jet_tool {
namespace {

constexpr std::chrono::milliseconds kRedrawInterval{100};
// Back to the line's start, and erase to its end.
constexpr char kEraseLine[] = "\r\x1b[K";
// A longer table name is cut, so that the line fits a terminal's width.
constexpr std::size_t kNameBytes = 40;

// The table name as shown: control characters (a damaged name may hold
// them) as "?", cut at a character boundary.
std::string ShownName(std::string_view name) {
  std::string shown;
  for (char c : name) {
    const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
    if (shown.size() >= kNameBytes && !continuation) return shown + "...";
    shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  }
  return shown;
}

}  // namespace

ProgressMeter::ProgressMeter(std::ostream& err, const ToolSettings& settings)
    : err_(err), enabled_(settings.err_is_terminal), show_from_(Clock::now() + settings.progress_delay) {}

jet::compact::CompactOptions ProgressMeter::Options() {
  jet::compact::CompactOptions options;
  if (enabled_) options.progress = [this](const jet::compact::CompactProgress& progress) { Report(progress); };
  return options;
}

void ProgressMeter::Report(const jet::compact::CompactProgress& progress) {
  const Clock::time_point now = Clock::now();
  if (now < show_from_) return;
  if (last_drawn_ && now - *last_drawn_ < kRedrawInterval) return;
  last_drawn_ = now;
  std::string line = "compacting table " + std::to_string(progress.table_number) + " of " +
                     std::to_string(progress.table_count) + ", " + ShownName(progress.table) + ": " +
                     std::to_string(progress.pages_done) + " of " + std::to_string(progress.pages_total) + " pages";
  if (progress.table_done) line += ", written";
  err_ << kEraseLine << line << std::flush;
  shown_ = true;
}

void ProgressMeter::Clear() {
  if (!shown_) return;
  err_ << kEraseLine << std::flush;
  shown_ = false;
}

}  // namespace vondrel::jet_tool
