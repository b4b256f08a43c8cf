#pragma once
// How the C library's allocator treats large blocks.

namespace vondrel {

// Gives every block of 64 KiB or more a mapping of its own, which goes back
// to the system when it is freed. By default glibc raises that threshold
// each time such a block is freed, after which large buffers (batches of
// rows, index lists, read buffers) come from the heap and, once freed, stay
// with the process, often as gaps the next buffer of another size does not
// fit: on a 1 GB file that was a third of the peak memory of a compaction.
// Process-wide and idempotent; does nothing where the allocator is not glibc's.
void ReturnLargeBlocksToTheSystem();

}  // namespace vondrel
