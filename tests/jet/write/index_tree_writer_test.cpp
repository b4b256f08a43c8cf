// A table's trees written by two threads, the helper's leaves placed after
// the fact: the file must be the one a single thread writes, tree after
// tree, whatever the timing, and a failure must surface in list order.

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "base/error.h"
#include "index_entry_reference.h"
#include "jet/format/index_row_key.h"
#include "jet/io/page_file.h"
#include "jet/write/index_tree_writer.h"
#include "support/samples.h"

namespace jet::write {
namespace {

using vondrel::testing::ScratchDir;

// Lists of different sizes (the helper finishes at other moments than the
// caller), one of them partly spilled to a run on disk.
std::vector<IndexEntryList> MakeLists(std::size_t per_list) {
  std::vector<IndexEntryList> lists(4);
  for (std::size_t r = 0; r < lists.size(); ++r) {
    for (const Reference& e : MakeEntries(per_list * (r % 2 ? 3 : 1), static_cast<unsigned>(r + 1)))
      lists[r].Add(e.key, e.row);
    if (r == 2) lists[r].Spill();
  }
  return lists;
}

TEST(WriteIndexTrees, WritesTheFileOneThreadWritesTreeAfterTree) {
  ScratchDir dir;
  for (std::size_t per_list : {std::size_t{50}, kIndexTreeThreadWorthEntries}) {  // alone, and with the helper
    std::vector<std::vector<IndexTree>> written;
    for (const bool shared : {false, true}) {
      const auto path = dir / (std::to_string(per_list) + (shared ? "shared.mdb" : "alone.mdb"));
      PageSink sink(path, FormatVersion::Jet4, 0);
      sink.Allocate(3);
      std::vector<IndexEntryList> lists = MakeLists(per_list);
      std::vector<IndexTree> trees;
      if (shared) {
        trees = WriteIndexTrees(sink, lists, 2);
      } else {
        for (IndexEntryList& list : lists) trees.push_back(WriteIndexTree(sink, list, 2));
      }
      sink.Commit();
      written.push_back(std::move(trees));
    }
    ASSERT_EQ(written[1].size(), 4u);
    for (std::size_t r = 0; r < 4; ++r) {
      EXPECT_EQ(written[0][r].root_page, written[1][r].root_page) << "tree " << r;
      EXPECT_EQ(written[0][r].pages, written[1][r].pages) << "tree " << r;
      EXPECT_EQ(written[0][r].distinct_keys, written[1][r].distinct_keys) << "tree " << r;
    }
    // The trees follow one another, each from where the previous one ended.
    EXPECT_EQ(written[1][1].pages.front(), written[1][0].pages.size() + 3);
    if (per_list > 50) {
      EXPECT_GT(written[1][3].pages.size(), 20u);
    }
    const auto alone = io::ReadWholeFile(dir / (std::to_string(per_list) + "alone.mdb"));
    EXPECT_FALSE(alone.empty());
    EXPECT_TRUE(alone == io::ReadWholeFile(dir / (std::to_string(per_list) + "shared.mdb"))) << per_list << " per list";
  }
}

// The file the lists' trees give, written tree after tree by one thread or
// shared with the helper.
std::vector<std::uint8_t> TreesFile(const std::filesystem::path& path, std::vector<IndexEntryList> lists, bool shared,
                                    std::size_t leaves_in_memory = kLeavesAheadInMemory) {
  PageSink sink(path, FormatVersion::Jet4, 0);
  if (shared) {
    WriteIndexTrees(sink, lists, 2, leaves_in_memory);
  } else {
    for (IndexEntryList& list : lists) WriteIndexTree(sink, list, 2);
  }
  sink.Commit();
  return io::ReadWholeFile(path);
}

// The lists' file is the same with the helper as without it (and at least
// `least_pages` long); an entry too long for a page at the end of the
// helper's list fails the writing, whoever builds that leaf, and the helper
// is joined.
void ExpectTheHelperChangesNothing(const std::function<std::vector<IndexEntryList>()>& make_lists,
                                   std::size_t least_pages, const KeyBytes& too_long) {
  ScratchDir dir;
  const auto alone = TreesFile(dir / "alone.mdb", make_lists(), false);
  EXPECT_GT(alone.size(), least_pages * 4096);
  EXPECT_TRUE(alone == TreesFile(dir / "shared.mdb", make_lists(), true));
  // Leaves built ahead moved to a temporary file every few pages.
  EXPECT_TRUE(alone == TreesFile(dir / "shared-filed.mdb", make_lists(), true, 3 * 4096));
  PageSink sink(dir / "failing.mdb", FormatVersion::Jet4, 0);
  std::vector<IndexEntryList> lists = make_lists();
  lists[1].Add(too_long, RowPointer{0xFFFFFF, 0});
  EXPECT_THROW(WriteIndexTrees(sink, lists, 2), vondrel::Error);
}

// A list, then a longer one kept in memory: the caller reaches the long
// one while the helper still sorts it, and builds its tree as the entries
// come into place.
TEST(WriteIndexTrees, AListReadWhileTheHelperSortsItGivesTheSameFile) {
  const auto make_lists = [] {
    std::vector<IndexEntryList> lists(2);
    for (const Reference& e : MakeEntries(20000, 1)) lists[0].Add(e.key, e.row);
    for (const Reference& e : MakeEntries(150000, 2)) lists[1].Add(e.key, e.row);
    return lists;
  };
  ExpectTheHelperChangesNothing(make_lists, 200, KeyBytes(5000, 0x41));
}

// Entries in key order on rows in order, as a primary key's arrive.
std::vector<Reference> AscendingEntries(std::size_t count) {
  std::vector<Reference> out;
  for (std::size_t i = 0; i < count; ++i) {
    KeyBytes key = {0x7F, static_cast<std::uint8_t>(i >> 16), static_cast<std::uint8_t>(i >> 8),
                    static_cast<std::uint8_t>(i)};
    if (i % 3 == 0) key.push_back(0x41);  // keys of two lengths
    out.push_back({key, RowPointer{static_cast<std::uint32_t>(10 + i / 50), static_cast<std::uint8_t>(i % 50)}});
  }
  return out;
}

// A list, then a far longer one already in order: the helper finds it
// sorted at once and builds its leaves; the caller, done with the first,
// takes over the leaves where the helper is, instead of waiting for them.
TEST(WriteIndexTrees, LeavesTheHelperIsBuildingAreFinishedByTheCaller) {
  const auto make_lists = [] {
    std::vector<IndexEntryList> lists(2);
    for (const Reference& e : MakeEntries(20000, 1)) lists[0].Add(e.key, e.row);
    for (const Reference& e : AscendingEntries(400000)) lists[1].Add(e.key, e.row);
    return lists;
  };
  ExpectTheHelperChangesNothing(make_lists, 500, KeyBytes(5000, 0x7F));
}

TEST(WriteIndexTrees, StreamedLeavesWriteTheTreeOfTheEntries) {
  ScratchDir dir;
  const auto ascending = AscendingEntries(30000);
  auto broken = ascending;  // in order for many pages, then not
  std::swap(broken[20000], broken[20001]);
  // Kept entry by entry, streamed onto leaves in memory, and streamed with
  // the finished leaves moved to a temporary file now and then.
  enum Mode { kEntries, kStreamed, kStreamedSpilled };
  for (const std::vector<Reference>* entries : {&ascending, static_cast<const std::vector<Reference>*>(&broken)}) {
    std::vector<std::vector<std::uint8_t>> files;
    for (const Mode mode : {kEntries, kStreamed, kStreamedSpilled}) {
      const bool streamed = mode != kEntries;
      const auto path = dir / ((entries == &ascending ? "in-order" : "broken") + std::to_string(mode));
      PageSink sink(path, FormatVersion::Jet4, 0);
      sink.Allocate(3);
      std::vector<IndexEntryList> lists(2);
      for (IndexEntryList& list : lists) {
        if (streamed) list.StreamLeaves(2, IndexLayoutFor(FormatVersion::Jet4));
        for (std::size_t i = 0; i < entries->size(); ++i) {
          list.Add((*entries)[i].key, (*entries)[i].row);
          if (mode == kStreamedSpilled && i % 7000 == 6999 && list.streamed()) {
            // Finished leaves count as the list's memory until they are moved.
            EXPECT_GE(list.used_bytes(), 4096u) << i;
            list.Spill();
            EXPECT_EQ(list.used_bytes(), 0u) << i;
          }
        }
      }
      EXPECT_EQ(lists[0].streamed(), streamed && entries == &ascending);
      EXPECT_EQ(lists[0].size(), entries->size());
      const std::vector<IndexTree> trees = WriteIndexTrees(sink, lists, 2);
      EXPECT_EQ(trees[0].distinct_keys, entries->size());
      sink.Commit();
      files.push_back(io::ReadWholeFile(path));
    }
    EXPECT_GT(files[0].size(), 100u * 4096);
    EXPECT_TRUE(files[0] == files[1]) << (entries == &ascending ? "in order" : "broken order");
    EXPECT_TRUE(files[0] == files[2]) << (entries == &ascending ? "in order, spilled" : "broken order, spilled");
  }
  // A streamed list can still be read entry by entry, its leaves in memory
  // or partly in a temporary file.
  for (const bool spilled : {false, true}) {
    IndexEntryList list;
    list.StreamLeaves(2, IndexLayoutFor(FormatVersion::Jet4));
    for (std::size_t i = 0; i < ascending.size(); ++i) {
      list.Add(ascending[i].key, ascending[i].row);
      if (spilled && i == ascending.size() / 2) list.Spill();
    }
    EXPECT_TRUE(list.streamed());
    EXPECT_TRUE(ReadAll(list) == ascending) << spilled;
  }
}

// An entry too long for any page fails its tree; the error names its size
// (the key and 4 bytes of row pointer).
void AddUnfittingEntry(IndexEntryList& list, std::size_t bytes) {
  list.Add(KeyBytes(bytes, 0x41), RowPointer{500, 0});
}

// What WriteIndexTrees fails with, or "" when it does not.
std::string FailureOf(PageSink& sink, std::vector<IndexEntryList>& lists) {
  try {
    WriteIndexTrees(sink, lists, 2);
  } catch (const vondrel::Error& e) {
    return e.description();
  }
  return "";
}

TEST(WriteIndexTrees, TheFirstFailingTreeInListOrderIsReported) {
  ScratchDir dir;
  {  // only the last tree fails: the helper's, reported when its turn comes
    PageSink sink(dir / "last.mdb", FormatVersion::Jet4, 0);
    std::vector<IndexEntryList> lists = MakeLists(kIndexTreeThreadWorthEntries);
    AddUnfittingEntry(lists[3], 5000);
    const std::string failure = FailureOf(sink, lists);
    EXPECT_NE(failure.find("5004 bytes"), std::string::npos) << failure;
  }
  {  // the first and the last fail: the first is reported, and the helper is joined
    PageSink sink(dir / "both.mdb", FormatVersion::Jet4, 0);
    std::vector<IndexEntryList> lists = MakeLists(kIndexTreeThreadWorthEntries);
    AddUnfittingEntry(lists[0], 6000);
    AddUnfittingEntry(lists[3], 5000);
    const std::string failure = FailureOf(sink, lists);
    EXPECT_NE(failure.find("6004 bytes"), std::string::npos) << failure;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "both.mdb"));  // never committed
}

}  // namespace
}  // namespace jet::write
