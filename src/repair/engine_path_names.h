#pragma once
// The engine names files by their host paths ("/root/.wine/drive_c/..."); the
// window must name them as the user sees them, by the path text the repair
// was given ("c:\Program Files\Tamberlo\Data.mdb"). This rewrites the one
// into the other in the descriptions of errors that leave the engine adapter.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "platform/path_text.h"

namespace vondrel::repair {

class EnginePathNames {
 public:
  // From now on `host` in a description reads `text`.
  void Add(const std::filesystem::path& host, const platform::PathText& text);

  // The error with every host path of this list replaced by its path text.
  vondrel::Error Shown(const vondrel::Error& error) const;

  // Runs `action`; an error it throws is thrown again as Shown gives it.
  template <typename Action>
  decltype(auto) Run(Action&& action) const {
    try {
      return std::forward<Action>(action)();
    } catch (const vondrel::Error& error) {
      throw Shown(error);
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> names_;  // host path -> text; the longest host path first
};

}  // namespace vondrel::repair
