#pragma once
// A base for tests that damage a database by hand: the People database the
// engine builds (Jet 3 or Jet 4, the test's parameter), held as bytes to
// change, with where each row lies in them, and compacted from those bytes.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/read/database.h"
#include "support/samples.h"

namespace vondrel::testing {

class DamagedPeopleTest : public ::testing::TestWithParam<jet::FormatVersion> {
 protected:
  void BuildPeople(int people = 600);

  // Compacts the damaged bytes: it must salvage, and the output must pass the checker.
  std::unique_ptr<jet::Database> Compact();

  // A row's entry in its page's row table, and its bytes. Rows are stored
  // from the end of the page down: each ends where the one before begins.
  std::size_t RowEntry(jet::RowPointer at) const;
  std::size_t RowStart(jet::RowPointer at) const;
  std::size_t RowEnd(jet::RowPointer at) const;

  ScratchDir dir_;
  std::vector<std::uint8_t> bytes_;
  std::unique_ptr<jet::Database> original_;
  std::size_t page_size_ = 0;
};

}  // namespace vondrel::testing
