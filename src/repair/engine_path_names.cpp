#include "repair/engine_path_names.h"

#include <algorithm>

namespace vondrel::repair {

void EnginePathNames::Add(const std::filesystem::path& host, const platform::PathText& text) {
  if (host.empty()) return;
  names_.emplace_back(host.string(), platform::ToUtf8(text));
  // A longer host path is replaced before any shorter one that begins it.
  std::stable_sort(names_.begin(), names_.end(),
                   [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
}

vondrel::Error EnginePathNames::Shown(const vondrel::Error& error) const {
  std::string description = error.description();
  for (const auto& [host, text] : names_) {
    for (std::size_t at = description.find(host); at != std::string::npos; at = description.find(host, at + text.size())) {
      description.replace(at, host.size(), text);
    }
  }
  return {error.number(), std::move(description)};
}

}  // namespace vondrel::repair
