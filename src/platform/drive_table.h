#pragma once
// Drive letters and the host folders behind them, as Wine maps them: every
// link "x:" in a prefix's dosdevices folder is drive X (c: -> ../drive_c,
// z: -> /). Without a prefix only Z: = / exists.

#include <filesystem>
#include <map>
#include <optional>

#include "platform/path_text.h"

namespace vondrel::platform {

class DriveTable {
 public:
  // Letter (upper case) -> host folder. Drive Z: = / is added when no drive
  // is given the letter Z, so that every host path can be shown.
  explicit DriveTable(std::map<char16_t, std::filesystem::path> drives);

  // The drives of a Wine prefix; only Z: when the prefix has no dosdevices.
  static DriveTable FromWinePrefix(const std::filesystem::path& prefix);
  // The prefix that WINEPREFIX names, else ~/.wine.
  static DriveTable FromEnvironment();

  // The host folder of a drive letter (either case); nothing when absent.
  std::optional<std::filesystem::path> Root(char16_t letter) const;
  const std::map<char16_t, std::filesystem::path>& Drives() const { return drives_; }

  // A host path shown as path text under the drive whose folder holds it
  // most closely: "C:\" for a drive root, "C:\a\b" below it. Fails with
  // "path not found" when no drive holds it.
  PathText ShowHostPath(const std::filesystem::path& host_path) const;

 private:
  std::map<char16_t, std::filesystem::path> drives_;
};

}  // namespace vondrel::platform
