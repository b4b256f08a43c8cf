// A list read on one thread and taken on another: every entry, in the order
// of the list itself, and a consumer that gives up leaves no thread behind.

#include <gtest/gtest.h>

#include <thread>

#include "index_entry_reference.h"
#include "jet/write/entry_relay.h"

namespace jet::write {
namespace {

// Entries in memory and in two spilled runs, so that reading merges.
IndexEntryList MakeSpilledList(std::size_t count) {
  IndexEntryList list;
  const std::vector<Reference> entries = MakeEntries(count, 7);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    list.Add(entries[i].key, entries[i].row);
    if (i == count / 3 || i == 2 * count / 3) list.Spill();
  }
  return list;
}

TEST(EntryRelay, TakesEveryEntryInTheOrderOfTheList) {
  IndexEntryList direct = MakeSpilledList(5000);
  const std::vector<Reference> expected = ReadAll(direct);
  ASSERT_EQ(expected.size(), 5000u);

  IndexEntryList list = MakeSpilledList(5000);
  list.StartReading();
  // The consumer reads a few entries itself before handing the list over,
  // as the tree writer does when the helper becomes free.
  std::vector<Reference> taken;
  IndexEntry entry;
  for (int i = 0; i < 100 && list.Next(entry); ++i) taken.push_back({entry.key, RowPointer{entry.data_page, entry.row}});
  EntryRelay relay(list);
  relay.Start();
  std::thread producer([&relay] { relay.Produce(); });
  // Entries are swapped out of the relay: `entry` keeps handing back buffers.
  while (relay.Next(entry)) taken.push_back({entry.key, RowPointer{entry.data_page, entry.row}});
  EXPECT_FALSE(relay.Next(entry));  // and stays at the end
  producer.join();
  EXPECT_TRUE(taken == expected);
}

TEST(EntryRelay, AConsumerThatGivesUpEndsTheProducer) {
  for (const std::size_t take : {std::size_t{0}, std::size_t{1}, std::size_t{3000}}) {
    IndexEntryList list = MakeSpilledList(20000);
    list.StartReading();
    std::thread producer;
    {
      EntryRelay relay(list);
      relay.Start();
      producer = std::thread([&relay] { relay.Produce(); });
      IndexEntry entry;
      for (std::size_t i = 0; i < take; ++i) ASSERT_TRUE(relay.Next(entry));
    }  // gives up, and returns only once the producer is done with the list
    producer.join();
    list.Clear();
  }
}

TEST(EntryRelay, ARelayNeverStartedNeedsNoProducer) {
  IndexEntryList list = MakeSpilledList(100);
  { EntryRelay relay(list); }
  EXPECT_EQ(ReadAll(list).size(), 100u);
}

}  // namespace
}  // namespace jet::write
