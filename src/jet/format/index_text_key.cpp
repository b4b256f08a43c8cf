// Text key assembly. A Jet 4 key is: the inline codes of every character,
// 0x01, then the accent ("extra") codes, then flags of some East Asian and
// combining characters, then the positions of unprintable characters. A Jet 3
// key is the inline codes followed by a nibble stream of accent codes.

#include "jet/format/index_text_key.h"

#include <array>
#include <string_view>

#include "jet/format/index_sort_tables.h"

namespace jet {
namespace {

using sortcodes::SortCode;
using sortcodes::SortCodeKind;

constexpr std::uint8_t kEndOfText = 0x01;
constexpr std::uint8_t kEndOfValue = 0x00;
constexpr std::uint8_t kExtraPlaceholder = 0x02;
constexpr std::uint8_t kUnprintableMarker = 0x06;
constexpr std::uint8_t kFlagTrimmed = 0x03;  // trailing flags of this value are dropped
constexpr std::uint8_t kFlagSuffix[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
constexpr std::uint8_t kFlagUnprintableSuffix = 0xFF;
constexpr std::uint8_t kSurrogateExtra = 0x3F;

void Invert(std::vector<std::uint8_t>& key, std::size_t from) {
  for (std::size_t i = from; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(~key[i]);
}

template <typename Unit>
std::size_t KeyedLength(const Unit* text, std::size_t size) {
  if (size > kMaxKeyTextCharacters) size = kMaxKeyTextCharacters;
  while (size > 0 && text[size - 1] == Unit{0x20}) --size;
  return size;
}

// Surrogate halves are not in the tables; their inline codes follow from the
// code unit (a fixed offset for high halves, a banded one for low halves).
SortCode SurrogateCode(char16_t c) {
  SortCode code;
  code.kind = sortcodes::kSurrogate;
  std::uint32_t index;
  if (c < 0xDC00) {
    index = c - 10238u;
  } else {
    const std::uint32_t offset = (c - 0xDC00u) % 1024u;
    std::uint32_t base = 9984;
    if (offset < 8) base = 9992;
    else if (offset < 8 + 254) base = 9990;
    else if (offset < 8 + 2 * 254) base = 9988;
    else if (offset < 8 + 3 * 254) base = 9986;
    index = c - base;
  }
  code.value_length = 2;
  code.value = {static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index), 0, 0};
  code.extra_length = 1;
  code.extra = {kSurrogateExtra, 0};
  return code;
}

bool HasInlineBytes(SortCodeKind kind) {
  return kind == sortcodes::kSimple || kind == sortcodes::kInternational ||
         kind == sortcodes::kFlagged || kind == sortcodes::kSignificant ||
         kind == sortcodes::kSurrogate;
}

// Whether `code` is a one-byte code some character from `letters` has.
template <typename LookUpFn>
std::array<bool, 256> CodesOf(std::string_view letters, LookUpFn look_up) {
  std::array<bool, 256> codes{};
  for (char letter : letters) {
    const SortCode code = look_up(letter);
    if (code.value_length == 1) codes[code.value[0]] = true;
  }
  return codes;
}

// Ligatures and the like (ae, ss, th, ij, dz ...) have inline codes made of
// several letter codes. Until the first accent code of a value, Access
// counts them as that many characters when it places accent codes and
// unprintable positions after them; once accent codes have begun, as one.
// (Access-written keys show both: "...groß|märkte" and "Nuß-Nougat" count
// ß twice, a run "...ÅÆÇ..." counts Æ once.)
// The letter codes are worked out once: working them out per character cost
// the text-index sample's compaction 15% more instructions (19.8 M against
// 17.2 M, callgrind); the same holds for SignificantLetters below.
std::size_t CharacterWidth(const SortCode& code) {
  static const std::array<bool, 256> letter_codes = CodesOf(
      "abcdefghijklmnopqrstuvwxyz", [](char c) { return sortcodes::GeneralLegacyCode(static_cast<char16_t>(c)); });
  if (code.value_length < 2) return 1;
  for (std::size_t i = 0; i < code.value_length; ++i) {
    if (!letter_codes[code.value[i]]) return 1;
  }
  return code.value_length;
}

// Jet 3: how many letters of a ligature's inline code are "significant"
// ones (those that can carry accents), which the accent nibble stream counts.
std::size_t SignificantLetters(const SortCode& code) {
  static const std::array<bool, 256> significant_codes = [] {
    std::array<bool, 256> codes{};
    for (unsigned c = 0; c < 256; ++c) {
      const SortCode s = sortcodes::General97Code(static_cast<std::uint8_t>(c));
      if (s.kind == sortcodes::kSignificant && s.value_length == 1) codes[s.value[0]] = true;
    }
    return codes;
  }();
  if (code.kind != sortcodes::kSimple || code.value_length < 2) return 0;
  std::size_t count = 0;
  for (std::size_t i = 0; i < code.value_length; ++i) count += significant_codes[code.value[i]] ? 1 : 0;
  return count;
}

// Accent codes of a Jet 4 key: one slot per inline-producing character.
struct ExtraCodes {
  std::vector<std::uint8_t> bytes;
  std::size_t slots = 0;            // characters accounted for so far
  std::size_t leading_modifier = 0; // a modifier that came before any slot
  bool used = false;
};

// Most text is Latin: characters below 256 whose code is one inline byte and
// nothing else are looked up here, marked by bit 8, to skip the general path
// (which would do exactly the same for them). Measured against the general
// path alone: 17% fewer instructions for a 20 MB compaction (653.9 M against
// 787.5 M, callgrind), 8% for the text-index sample.
std::array<std::uint16_t, 256> PlainLatinCodes() {
  std::array<std::uint16_t, 256> plain{};
  for (unsigned c = 0; c < 256; ++c) {
    const SortCode code = sortcodes::GeneralLegacyCode(static_cast<char16_t>(c));
    const bool inline_only = code.kind == sortcodes::kSimple || code.kind == sortcodes::kSignificant;
    if (inline_only && code.value_length == 1) plain[c] = static_cast<std::uint16_t>(0x100 | code.value[0]);
  }
  return plain;
}

// The same for Jet 3 keys, whose table covers all 256 bytes: bit 8 marks a
// byte whose code is one inline byte and nothing else, bit 9 one that also
// counts as a significant letter in the accent nibble stream. On a 250 MB
// Jet 3 file with text indexes this halved the key-computing thread's time
// and cut the compaction's processor time by 7%.
std::array<std::uint16_t, 256> PlainGeneral97Codes() {
  std::array<std::uint16_t, 256> plain{};
  for (unsigned c = 0; c < 256; ++c) {
    const SortCode& code = sortcodes::General97Codes()[c];
    const bool inline_only = code.kind == sortcodes::kSimple || code.kind == sortcodes::kSignificant;
    if (!inline_only || code.value_length != 1) continue;
    const unsigned counts = code.kind == sortcodes::kSignificant ? 0x200 : 0;
    plain[c] = static_cast<std::uint16_t>(0x100 | counts | code.value[0]);
  }
  return plain;
}

// Unit: char16_t for UTF-16 code units, std::uint8_t for characters below 256.
template <typename Unit>
void AppendGeneralLegacyUnits(std::vector<std::uint8_t>& key, std::span<const Unit> text, bool ascending) {
  const std::size_t length = KeyedLength(text.data(), text.size());
  const std::size_t start = key.size();
  ExtraCodes extra;
  std::vector<std::uint8_t> unprintables;
  std::vector<std::uint8_t> flags;
  std::size_t inline_count = 0;

  static const std::array<std::uint16_t, 256> plain_codes = PlainLatinCodes();
  const auto plain = [&](std::size_t i) {
    if constexpr (sizeof(Unit) == 1) {
      return plain_codes[text[i]] != 0;
    } else {
      return text[i] < 256 && plain_codes[text[i]] != 0;
    }
  };
  for (std::size_t i = 0; i < length; ++i) {
    if (plain(i)) {
      // A run of them is written through a pointer: byte stores through the
      // vector would have it reloaded after every one.
      std::size_t end = i + 1;
      while (end < length && plain(end)) ++end;
      const std::size_t at = key.size();
      key.resize(at + (end - i));
      std::uint8_t* out = key.data() + at;
      for (std::size_t k = i; k < end; ++k) *out++ = static_cast<std::uint8_t>(plain_codes[text[k]]);
      inline_count += end - i;
      i = end - 1;
      continue;
    }
    const char16_t c = static_cast<char16_t>(text[i]);
    const SortCode code = (c >= 0xD800 && c <= 0xDFFF) ? SurrogateCode(c)
                                                        : sortcodes::GeneralLegacyCode(c);
    const std::size_t position = inline_count;
    const std::size_t width = extra.used ? 1 : CharacterWidth(code);
    if (HasInlineBytes(code.kind)) {
      for (std::uint8_t b = 0; b < code.value_length; ++b) key.push_back(code.value[b]);
      inline_count += width;
    }
    if (code.kind == sortcodes::kSimple || code.kind == sortcodes::kIgnored ||
        code.kind == sortcodes::kSignificant) {
      continue;
    }
    const bool has_extra = code.kind != sortcodes::kModifier && code.extra_length > 0;
    const bool is_modifier = code.kind == sortcodes::kModifier && code.value[0] != 0;
    if (has_extra || is_modifier) {
      extra.used = true;
      if (extra.slots < position) {
        extra.bytes.insert(extra.bytes.end(), position - extra.slots, kExtraPlaceholder);
        extra.slots = position;
      }
      if (has_extra) {
        extra.bytes.insert(extra.bytes.end(), code.extra.begin(),
                           code.extra.begin() + code.extra_length);
        extra.slots += width;
      } else if (!extra.bytes.empty()) {
        extra.bytes.back() = static_cast<std::uint8_t>(extra.bytes.back() + code.value[0]);
      } else {
        extra.bytes.push_back(code.value[0]);
        extra.leading_modifier = 1;
      }
    }
    if (code.kind == sortcodes::kUnprintable) {
      // The recorded position counts accent bytes, including slots not yet
      // filled, rather than characters.
      std::size_t offset = position;
      if (extra.used) {
        offset = extra.bytes.size() + (position - extra.slots) - extra.leading_modifier;
      }
      const std::uint16_t marker = static_cast<std::uint16_t>((7 + 4 * offset) | 0x8000);
      unprintables.push_back(static_cast<std::uint8_t>(marker >> 8));
      unprintables.push_back(static_cast<std::uint8_t>(marker));
      unprintables.push_back(kUnprintableMarker);
      unprintables.insert(unprintables.end(), code.value.begin(),
                          code.value.begin() + code.value_length);
    }
    if (code.kind == sortcodes::kFlagged && code.flag != 0) flags.push_back(code.flag);
  }

  key.push_back(kEndOfText);
  while (!extra.bytes.empty() && extra.bytes.back() <= kExtraPlaceholder) extra.bytes.pop_back();
  const bool has_unprintables = !unprintables.empty();
  const bool has_flags = !flags.empty();
  key.insert(key.end(), extra.bytes.begin(), extra.bytes.end());
  if (has_flags || has_unprintables) {
    key.push_back(kEndOfText);
    key.push_back(kEndOfText);
    if (has_flags) {
      while (!flags.empty() && flags.back() == kFlagTrimmed) flags.pop_back();
      // Three two-bit flags per byte under a 0x80 marker, first flag highest.
      for (std::size_t i = 0; i < flags.size(); i += 3) {
        std::uint8_t packed = 0x80;
        for (std::size_t j = 0; j < 3 && i + j < flags.size(); ++j) {
          packed = static_cast<std::uint8_t>(packed | (flags[i + j] << ((2 - j) * 2)));
        }
        key.push_back(packed);
      }
      key.insert(key.end(), std::begin(kFlagSuffix), std::end(kFlagSuffix));
      if (has_unprintables) key.push_back(kFlagUnprintableSuffix);
    }
    if (has_unprintables) {
      key.push_back(kEndOfText);
      key.insert(key.end(), unprintables.begin(), unprintables.end());
    }
  }
  if (!ascending) {
    key.push_back(kEndOfValue);
    Invert(key, start);
  }
  key.push_back(kEndOfValue);
}

}  // namespace

void AppendGeneralLegacyText(std::vector<std::uint8_t>& key, std::u16string_view text, bool ascending) {
  AppendGeneralLegacyUnits(key, std::span<const char16_t>(text.data(), text.size()), ascending);
}

void AppendGeneralLegacyText(std::vector<std::uint8_t>& key, std::span<const std::uint8_t> latin1, bool ascending) {
  AppendGeneralLegacyUnits(key, latin1, ascending);
}

void AppendGeneral97Text(std::vector<std::uint8_t>& key, std::span<const std::uint8_t> text,
                         bool ascending) {
  static const std::array<std::uint16_t, 256> plain_codes = PlainGeneral97Codes();
  const std::array<SortCode, 256>& codes = sortcodes::General97Codes();
  const std::size_t length = KeyedLength(text.data(), text.size());
  const std::size_t start = key.size();
  std::vector<std::uint8_t> nibbles;
  std::size_t significant = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (plain_codes[text[i]] != 0) {
      // A run of them is written through a pointer, as in Jet 4 keys.
      std::size_t end = i + 1;
      while (end < length && plain_codes[text[end]] != 0) ++end;
      const std::size_t at = key.size();
      key.resize(at + (end - i));
      std::uint8_t* out = key.data() + at;
      for (std::size_t k = i; k < end; ++k) {
        const std::uint16_t plain = plain_codes[text[k]];
        *out++ = static_cast<std::uint8_t>(plain);
        significant += plain >> 9;
      }
      i = end - 1;
      continue;
    }
    const SortCode& code = codes[text[i]];
    if (HasInlineBytes(code.kind)) {
      for (std::uint8_t b = 0; b < code.value_length; ++b) key.push_back(code.value[b]);
    }
    if (code.kind == sortcodes::kSignificant) {
      ++significant;
    } else if (code.kind == sortcodes::kSimple) {
      // Ligatures count their significant letters, as in Jet 4 only before
      // the first accent.
      if (nibbles.empty()) significant += SignificantLetters(code);
    } else if (code.kind == sortcodes::kInternational && code.extra_length > 0) {
      if (nibbles.empty()) nibbles.push_back(0);
      nibbles.insert(nibbles.end(), significant, kExtraPlaceholder);
      nibbles.push_back(code.extra[0] & 0x0F);
      significant = 0;
    }
  }
  if (nibbles.empty()) {
    key.push_back(kEndOfValue);
  } else {
    nibbles.push_back(0);
    for (std::size_t i = 0; i < nibbles.size(); i += 2) {
      const std::uint8_t low = i + 1 < nibbles.size() ? nibbles[i + 1] : 0;
      key.push_back(static_cast<std::uint8_t>((nibbles[i] << 4) | low));
    }
  }
  if (!ascending) Invert(key, start);
}

}  // namespace jet
