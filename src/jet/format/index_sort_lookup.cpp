// Expands one character's codes from the run tables.

#include <algorithm>
#include <atomic>
#include <memory>

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

const SortCode* GeneralLegacyCodeBlock(std::uint8_t high) {
  // Blocks live as long as the program; two threads expanding the same block
  // at once keep the first one stored.
  static std::atomic<const SortCode*> blocks[256];
  if (const SortCode* block = blocks[high].load(std::memory_order_acquire)) return block;
  auto fresh = std::make_unique<SortCode[]>(256);
  for (std::uint32_t low = 0; low < 256; ++low)
    fresh[low] = LookUp(kGeneralLegacyRuns, kGeneralLegacyRunCount, (std::uint32_t{high} << 8) | low);
  const SortCode* stored = nullptr;
  if (blocks[high].compare_exchange_strong(stored, fresh.get(), std::memory_order_acq_rel)) return fresh.release();
  return stored;
}

}  // namespace jet::sortcodes
