#pragma once
// Page 0 of a damaged file rebuilt from the rest of the file: the page size
// and version follow from where a table definition of the right layout sits
// on page 2 (Jet 3: 2 KiB pages, "VC" at bytes 2-3; Jet 4: 4 KiB pages) and
// from the data page on page 1; code page and sort order take the defaults
// of the version, since nothing else records them.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "jet/format/header_decode.h"

namespace jet {

// The header of a file whose page 0 is unusable, or nothing when no page
// structure of Jet 3 or Jet 4 can be recognised (an encoded file, whose pages
// need the lost database key, is never recognised).
std::optional<DatabaseHeader> InferHeader(std::span<const std::uint8_t> file, const std::string& name);

// A Jet header that sits on another page (page 0 swapped with another
// page), with whose settings and database key the catalog on page 2 reads;
// nothing when there is none.
std::optional<DatabaseHeader> FindDisplacedHeader(std::span<const std::uint8_t> file, const std::string& name);

// A password field that cannot hold a password: a password has a first
// character, so a field whose first character is empty but that holds
// bits further on was damaged, and so was a Jet 4 creation date whose
// whole days no longer give the mask the field is stored with. Clears the
// field (and mends the date) in `header`, its unmasked page included, and
// says what was wrong; nothing when the field may hold a real password.
std::optional<std::string> RepairPasswordField(DatabaseHeader& header);

// Whether page 0 says plainly that the file is some other format (ACE,
// MSISAM, a newer Jet version), which salvage must not second-guess.
bool HeaderNamesOtherFormat(std::span<const std::uint8_t> file);

// Whether page 2 starts like a table definition page once decoded with
// this header's database key (a cheap test before CatalogReadsWith).
bool CatalogPageLooksRight(std::span<const std::uint8_t> file, const DatabaseHeader& header);

// Whether the catalog's definition on page 2 reads with this header.
bool CatalogReadsWith(std::span<const std::uint8_t> file, const DatabaseHeader& header, const std::string& name);

}  // namespace jet
