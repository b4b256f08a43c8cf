#pragma once
// How the tool reports an engine error: "error NUMBER: description".

#include <ostream>

#include "base/error.h"

namespace vondrel::jet_tool {

inline void PrintError(std::ostream& err, const vondrel::Error& error) {
  err << "error " << error.number() << ": " << error.description() << "\n";
}

}  // namespace vondrel::jet_tool
