#pragma once
// RC4 as Jet uses it: the fixed keystream that masks the page 0 header, the
// per-page encryption of encoded databases, and the keystream that masks
// Jet 4 SIDs. Applying the same keystream twice restores the bytes.
// Layout: docs/jet-format.md, section 3.

#include <cstddef>
#include <cstdint>

#include "jet/format/format_constants.h"

namespace jet::encode {

// XORs data with the RC4 keystream of key.
void Rc4Apply(const std::uint8_t* key, std::size_t key_length, std::uint8_t* data, std::size_t length);

// Masks (or unmasks) the header fields of page 0 from 0x18 on.
void ApplyHeaderMask(std::uint8_t* page, std::size_t page_size, FormatVersion version);

// Encrypts (or decrypts) page `number` of a database whose key is `database_key`;
// page 0 and key 0 leave the bytes as they are.
void ApplyPageCipher(std::uint8_t* page, std::size_t page_size, std::uint32_t number, std::uint32_t database_key);

// The RC4 key that masks every SID of a Jet 4 database, derived from its
// unmasked page 0 (creation date and the password area).
std::uint32_t SidMaskKey(const std::uint8_t* unmasked_header, std::size_t size);

// Masks (or unmasks) one SID value of a Jet 4 database.
void ApplySidMask(std::uint32_t sid_key, std::uint8_t* sid, std::size_t length);

}  // namespace jet::encode
