#include "jet/write/index_tree_writer.h"

#include "jet/format/index_row_key.h"
#include "jet/write/index_builder.h"

namespace jet::write {

IndexTree WriteIndexTree(PageSink& sink, IndexEntryList& entries, std::uint32_t owner) {
  IndexTree tree;
  entries.StartReading();
  KeyBytes previous_key;
  bool first = true;
  const BuiltIndexTree built = BuildIndexTree(
      [&](IndexEntry& next) {
        if (!entries.Next(next)) return false;
        if (first || next.key != previous_key) {
          ++tree.distinct_keys;
          previous_key.assign(next.key.begin(), next.key.end());
          first = false;
        }
        return true;
      },
      owner, IndexLayoutFor(sink.version()), [&sink]() { return sink.Allocate(); },
      [&sink, &tree](std::uint32_t page, std::vector<std::uint8_t> bytes) {
        sink.Write(page, bytes);
        tree.pages.push_back(page);
      });
  entries.Clear();
  tree.root_page = built.root_page;
  return tree;
}

}  // namespace jet::write
