// Key parts of the non-text column types.

#include "jet/format/index_key.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "jet/format/index_text_key.h"

namespace jet {
namespace {

void InvertFrom(KeyBytes& key, std::size_t from) {
  for (std::size_t i = from; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(~key[i]);
}

void AppendFlag(KeyBytes& key, bool ascending) {
  key.push_back(ascending ? key::kAscendingValue : key::kDescendingValue);
}

// Appends stored little-endian bytes in big-endian order; returns where they
// start. Keys are computed for every row and index, and numbers are a few
// bytes: appended one by one, they are neither zero-filled first nor moved.
std::size_t AppendReversed(KeyBytes& key, std::span<const std::uint8_t> stored) {
  const std::size_t start = key.size();
  for (std::size_t i = stored.size(); i-- > 0;) key.push_back(stored[i]);
  return start;
}

}  // namespace

namespace key {

void AppendNull(KeyBytes& key, bool ascending) {
  key.push_back(ascending ? kAscendingNull : kDescendingNull);
}

void AppendBoolean(KeyBytes& key, bool value, bool ascending) {
  AppendFlag(key, ascending);
  // Yes sorts before No.
  key.push_back((value == ascending) ? 0x00 : 0xFF);
}

void AppendByte(KeyBytes& key, std::uint8_t value, bool ascending) {
  AppendFlag(key, ascending);
  key.push_back(ascending ? value : static_cast<std::uint8_t>(~value));
}

void AppendSignedInteger(KeyBytes& key, std::span<const std::uint8_t> stored, bool ascending) {
  AppendFlag(key, ascending);
  if (stored.empty()) return;
  const std::size_t start = AppendReversed(key, stored);
  key[start] ^= 0x80;  // negative values below positive ones
  if (!ascending) InvertFrom(key, start);
}

void AppendFloatingPoint(KeyBytes& key, std::span<const std::uint8_t> stored, bool ascending) {
  AppendFlag(key, ascending);
  if (stored.empty()) return;
  const std::size_t start = AppendReversed(key, stored);
  const bool negative = (key[start] & 0x80) != 0;
  if (!negative) key[start] ^= 0x80;
  // Negative magnitudes sort in reverse, so they are inverted when ascending.
  if (negative == ascending) InvertFrom(key, start);
}

void AppendBinary(KeyBytes& key, std::span<const std::uint8_t> data, bool ascending) {
  AppendFlag(key, ascending);
  std::size_t position = 0;
  // Full groups followed by more data end with 0x09, which is never inverted.
  while (data.size() - position > 8) {
    const std::size_t start = key.size();
    key.insert(key.end(), data.begin() + position, data.begin() + position + 8);
    if (!ascending) InvertFrom(key, start);
    key.push_back(0x09);
    position += 8;
  }
  const std::size_t rest = data.size() - position;
  if (rest > 0) {
    const std::size_t start = key.size();
    key.insert(key.end(), data.begin() + position, data.end());
    key.insert(key.end(), 8 - rest, 0x00);
    key.push_back(static_cast<std::uint8_t>(rest));
    if (!ascending) InvertFrom(key, start);
  }
}

bool AppendGuid(KeyBytes& key, std::span<const std::uint8_t> stored, bool ascending) {
  if (stored.size() != 16) return false;
  // The key uses the canonical order, in which the first three fields are big-endian.
  std::array<std::uint8_t, 16> canonical;
  std::copy(stored.begin(), stored.end(), canonical.begin());
  std::reverse(canonical.begin(), canonical.begin() + 4);
  std::reverse(canonical.begin() + 4, canonical.begin() + 6);
  std::reverse(canonical.begin() + 6, canonical.begin() + 8);
  AppendBinary(key, canonical, ascending);
  return true;
}

bool AppendNumeric(KeyBytes& key, std::span<const std::uint8_t> stored, bool ascending) {
  if (stored.size() != 17) return false;
  AppendFlag(key, ascending);
  const bool negative = (stored[0] & 0x80) != 0;
  const std::size_t start = key.size();
  key.push_back(stored[0]);
  for (std::size_t word = 0; word < 4; ++word) {
    key.insert(key.end(), std::make_reverse_iterator(stored.begin() + 5 + 4 * word),
               std::make_reverse_iterator(stored.begin() + 1 + 4 * word));
  }
  // Jet 4 leaves the magnitude of descending negatives uninverted, so they
  // sort as in an ascending index (a quirk of that engine version that
  // Access-written keys show).
  if (negative == ascending) InvertFrom(key, start);
  key[start] = negative ? 0x00 : 0xFF;
  return true;
}

void AppendText(KeyBytes& key, std::u16string_view text, bool ascending) {
  AppendFlag(key, ascending);
  AppendGeneralLegacyText(key, text, ascending);
}

void AppendLatin1Text(KeyBytes& key, std::span<const std::uint8_t> latin1, bool ascending) {
  AppendFlag(key, ascending);
  AppendGeneralLegacyText(key, latin1, ascending);
}

void AppendText97(KeyBytes& key, std::span<const std::uint8_t> text, bool ascending) {
  AppendFlag(key, ascending);
  AppendGeneral97Text(key, text, ascending);
}

}  // namespace key

std::string KeyToHex(std::span<const std::uint8_t> key) {
  std::string text;
  text.reserve(key.size() * 3);
  char buffer[4];
  for (std::size_t i = 0; i < key.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i == 0 ? "%02X" : " %02X", key[i]);
    text += buffer;
  }
  return text;
}

}  // namespace jet
