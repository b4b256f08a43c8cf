#pragma once
// Per-character sort codes of the two text orders our index keys cover:
// Jet 4 "General legacy" (LCID 1033, version 0) over U+0000..U+FFFF and Jet 3
// "General" over the 256 positions of code page 1252. The tables are runs of
// consecutive characters (see index_sort_tables.cpp for how they were made).
// Layout: docs/jet-format.md, section 10.1.

#include <array>
#include <cstddef>
#include <cstdint>

namespace jet::sortcodes {

// What a character contributes to a text key.
enum SortCodeKind : std::uint8_t {
  kIgnored,        // nothing at all
  kSimple,         // inline bytes only
  kInternational,  // inline bytes and extra bytes (accents and the like)
  kUnprintable,    // no inline bytes; recorded in the unprintable section
  kModifier,       // adds its value to the previous extra byte
  kFlagged,        // inline bytes, optional extra bytes, a two-bit flag
  kSignificant,    // inline bytes that count in the Jet 3 extra nibble stream
  kSurrogate,      // UTF-16 surrogate halves: codes computed from the unit
};

// One run: characters first..(next run's first - 1). Character first + i has
// the value (value + i * step) in value_length big-endian bytes, and shares
// extra, extra_length and flag with the whole run.
struct SortCodeRun {
  char16_t first;
  SortCodeKind kind;
  std::uint8_t value_length;
  std::uint8_t extra_length;
  std::uint8_t flag;
  std::uint32_t value;
  std::int32_t step;
  std::uint16_t extra;
};

extern const SortCodeRun kGeneralLegacyRuns[];
extern const std::size_t kGeneralLegacyRunCount;
extern const SortCodeRun kGeneral97Runs[];
extern const std::size_t kGeneral97RunCount;

// The codes of one character, expanded from its run.
struct SortCode {
  SortCodeKind kind = kIgnored;
  std::uint8_t value_length = 0;
  std::uint8_t extra_length = 0;
  std::uint8_t flag = 0;
  std::array<std::uint8_t, 4> value{};
  std::array<std::uint8_t, 2> extra{};
};

// Looks a character up in a run table; characters past the table's last run
// belong to that run. Returns kIgnored for an empty table.
SortCode LookUp(const SortCodeRun* runs, std::size_t count, std::uint32_t character);

// A per-character table of expanded codes for all of UTF-16 in front of this
// search was measured and dropped: it saved 0.06% of a 20 MB compaction's
// instructions (callgrind) and 0.85% of the text-index sample's, whose keys
// cover every character class.
inline SortCode GeneralLegacyCode(char16_t c) {
  return LookUp(kGeneralLegacyRuns, kGeneralLegacyRunCount, c);
}
// The codes of all 256 bytes, expanded from the runs once: Jet 3 text keys
// look up every character, and the search took a tenth of the compaction of
// a large Jet 3 file with text indexes.
const std::array<SortCode, 256>& General97Codes();

// c is a code-page 1252 byte.
inline SortCode General97Code(std::uint8_t c) {
  return General97Codes()[c];
}

}  // namespace jet::sortcodes
