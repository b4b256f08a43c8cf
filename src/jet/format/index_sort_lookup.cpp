// Expands one character's codes from the run tables.

#include <algorithm>

#include "jet/format/index_sort_tables.h"

namespace jet::sortcodes {

SortCode LookUp(const SortCodeRun* runs, std::size_t count, std::uint32_t character) {
  SortCode code;
  if (count == 0) return code;
  // The last run whose first character is not after this one.
  const SortCodeRun* end = runs + count;
  const SortCodeRun* run =
      std::upper_bound(runs, end, character,
                       [](std::uint32_t c, const SortCodeRun& r) { return c < r.first; });
  if (run == runs) return code;
  --run;
  code.kind = run->kind;
  code.value_length = run->value_length;
  code.extra_length = run->extra_length;
  code.flag = run->flag;
  const std::int64_t offset = static_cast<std::int64_t>(character) - run->first;
  const std::uint32_t value =
      static_cast<std::uint32_t>(static_cast<std::int64_t>(run->value) + offset * run->step);
  for (std::uint8_t i = 0; i < code.value_length; ++i) {
    code.value[i] = static_cast<std::uint8_t>(value >> (8 * (code.value_length - 1 - i)));
  }
  for (std::uint8_t i = 0; i < code.extra_length; ++i) {
    code.extra[i] = static_cast<std::uint8_t>(run->extra >> (8 * (code.extra_length - 1 - i)));
  }
  return code;
}

const std::array<SortCode, 256>& General97Codes() {
  static const std::array<SortCode, 256> codes = [] {
    std::array<SortCode, 256> all;
    for (std::uint32_t c = 0; c < all.size(); ++c) all[c] = LookUp(kGeneral97Runs, kGeneral97RunCount, c);
    return all;
  }();
  return codes;
}

}  // namespace jet::sortcodes
