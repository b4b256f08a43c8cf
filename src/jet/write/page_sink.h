#pragma once
// The destination file of a database being written: pages are numbered as
// they are allocated and written at their place, encrypted when the database
// is encoded. Pages are written a little out of order (a data page is
// finished after the long-value pages its rows point to), so they are gathered
// in windows of consecutive page numbers and written as runs; a second thread
// hands the runs to the kernel while the caller goes on building pages. The
// two newest windows stay open, so that a page finished late usually joins
// its neighbours in one write rather than splitting the writes around it.
// Windows are written in the order they were handed over, so the file does not
// depend on the timing. Where the file system allows, they go from the window
// straight to the device, past the page cache (RawFile::WriteDirect): the file
// is not read again soon, and copying each byte into the cache cost more
// processor time than any other step of writing it (on a 1.8 GB file, 3 s
// of kernel time against 0.2 s written directly). Where it does not, they go
// through the page cache, and the kernel is asked to start writing each
// window back as soon as it is written, without waiting: on a machine with
// memory to spare it would otherwise keep the whole file in the cache and
// write it all in Commit(), after the compaction's work instead of beside
// it. Either way the file is made durable once, by Commit(), as a copy
// followed by a sync is; flushing as they went made the thread wait for the
// device (and a journal commit as the file grew) every few megabytes.
// Nothing relies on a page being on disk before Commit() returns.
// The file is created exclusively; unless Commit() succeeds it is removed
// again, so a failed write never leaves something that could pass for a
// database.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jet/format/bytes_encode.h"
#include "jet/format/format_constants.h"
#include "jet/io/raw_file.h"

namespace jet::write {

class PageSink {
 public:
  // Throws vondrel::Error 3204 when the file exists, or a write error.
  PageSink(const std::filesystem::path& path, FormatVersion version, std::uint32_t database_key);
  ~PageSink();
  PageSink(const PageSink&) = delete;
  PageSink& operator=(const PageSink&) = delete;

  // Reserves `count` consecutive pages and returns the first one's number.
  std::uint32_t Allocate(std::uint32_t count = 1);
  std::uint32_t page_count() const { return page_count_; }
  std::size_t page_size() const { return page_size_; }
  FormatVersion version() const { return version_; }

  // Writes an allocated page (plain bytes; encryption is applied here).
  // A failed earlier write is reported here or by Commit.
  void Write(std::uint32_t page, const encode::Bytes& bytes);

  // Forgets every page from `page_count` on, as if they had never been
  // allocated: they are allocated and written again later. Bytes they left in
  // the file are overwritten then, or zeroed by Commit.
  void Rewind(std::uint32_t page_count);

  // Writes every pending page, extends the file to its page count, flushes to
  // disk and closes. The file stays.
  void Commit();

  // How many writes the file took so far: one per run of consecutive pages
  // gathered. Final once Commit() returns.
  std::uint64_t writes_made() const { return writes_made_.load(); }

 private:
  // Window bytes start at a multiple of RawFile::kDirectAlignment, as direct writes need.
  struct AlignedDelete {
    void operator()(std::uint8_t* bytes) const;
  };
  // Pages [first, first + kWindowPages) of which those marked present are
  // written; `first` is a multiple of kWindowPages.
  struct Window {
    std::uint32_t first = 0;
    std::unique_ptr<std::uint8_t[], AlignedDelete> bytes;  // kWindowPages pages
    std::vector<std::uint8_t> present;  // one flag per page
    bool empty = true;
  };

  Window NewWindow();
  // The open window that holds `page`, opened for it (handing older ones
  // over) when there is none.
  Window& WindowFor(std::uint32_t page);
  // Hands a window's pages to the writing thread; `window` is left empty.
  void HandOver(Window& window);
  // Hands over both open windows, the older first.
  void Flush();
  bool WriteWindow(const Window& window);
  // Waits until every window handed over is written; throws if one failed.
  void Drain();
  void WriteWindows();
  // Returns false with errno set when the write failed.
  bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
  void ThrowIfWriteFailed();
  [[noreturn]] void Fail(const std::string& what) const;

  std::filesystem::path path_;
  FormatVersion version_;
  std::size_t page_size_;
  std::uint32_t database_key_;
  io::RawFile file_;
  bool committed_ = false;
  std::uint32_t page_count_ = 0;
  Window newest_, older_;  // the open windows; older_ was opened before newest_
  // After a Rewind: pages [stale_begin_, stale_end_) may hold bytes written
  // before it. written_ says which pages have been written (since the last
  // rewind that gave them up).
  std::uint32_t stale_begin_ = 0, stale_end_ = 0;
  std::vector<bool> written_;
  std::atomic<std::uint64_t> writes_made_ = 0;

  // Shared with the writing thread, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Window> queue_;    // handed over, not yet written
  std::vector<Window> spare_;   // written, for reuse
  bool busy_ = false;                     // the thread is writing a window
  bool stopping_ = false;
  int write_errno_ = 0;                   // first failure, 0 while none
  std::thread writer_;                    // not started when no thread could be had
};

}  // namespace jet::write
