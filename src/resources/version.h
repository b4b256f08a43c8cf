#pragma once
// The program's version: 1.0.0.0, shown as "1.00".

namespace vondrel::resources {

inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 0;
inline constexpr char kVersionText[] = "1.00";

}  // namespace vondrel::resources
