#include "jet/write/index_tree_writer.h"

#include "jet/format/index_row_key.h"
#include "jet/write/index_builder.h"

namespace jet::write {

IndexTree WriteIndexTree(PageSink& sink, IndexEntryList& entries, std::uint32_t owner) {
  IndexTree tree;
  entries.StartReading();
  const BuiltIndexTree built = BuildIndexTree(
      [&](IndexEntry& next) { return entries.Next(next); },
      owner, IndexLayoutFor(sink.version()), [&sink]() { return sink.Allocate(); },
      [&sink, &tree](std::uint32_t page, std::vector<std::uint8_t> bytes) {
        sink.Write(page, bytes);
        tree.pages.push_back(page);
      });
  entries.Clear();
  tree.root_page = built.root_page;
  tree.distinct_keys = static_cast<std::uint32_t>(built.distinct_keys);
  return tree;
}

}  // namespace jet::write
