#include "support/samples.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace vondrel::testing {

std::optional<std::filesystem::path> SamplesDir() {
  const char* configured = std::getenv("VONDREL_SAMPLES");
  if (!configured || !*configured) return std::nullopt;
  std::filesystem::path dir(configured);
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) return std::nullopt;
  return dir;
}

std::vector<std::filesystem::path> AllSamples() {
  std::vector<std::filesystem::path> files;
  auto dir = SamplesDir();
  if (!dir) return files;
  for (const auto& entry : std::filesystem::directory_iterator(*dir)) {
    auto ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".mdb" || ext == ".eap" || ext == ".eapx")) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::optional<std::filesystem::path> Sample(const std::string& name) {
  auto dir = SamplesDir();
  if (!dir) return std::nullopt;
  auto path = *dir / name;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  return path;
}

ScratchDir::ScratchDir() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    auto candidate = base / ("vondrel-test-" + std::to_string(random()));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

}  // namespace vondrel::testing
