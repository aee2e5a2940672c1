// The name mode's card reading on a second thread, fed the very chunks that
// the caller reads from the books for the plain reader. Each book is still
// read once; the two readers look at each chunk at the same time instead of
// one after the other, so that the mode costs the user about nothing more
// than the plain reading on a machine with two processors. Free of window
// calls.
//
// Threads and waits:
//  - The caller's thread reads a chunk into Buffer(), hands it over with
//    Submit(), and goes on reading the same bytes (both threads only read
//    them). A buffer goes back to the pool when the reader has parsed it and
//    the caller has asked for its next one.
//  - The reader's thread waits only for the queue; it never waits for the
//    caller, so the caller's waits (a free buffer in Buffer(), the end in
//    Finish() or the destructor) always end. Before it sleeps it looks at
//    the queue for a moment (about the time the caller takes to read a
//    small book): most books are a chunk or two, and a sleep and a wake per
//    book cost more than parsing it.
//  - The sink is called on the reader's thread, one call at a time, in
//    reading order, and never after Finish() or the destructor returned.
//    It must not need the caller's thread (no windows).
//  - If the thread cannot be started, every chunk is parsed on the caller's
//    thread in Submit(): the same rows, one after the other.
//  - An exception thrown by the parser or the sink on the reader's thread is
//    rethrown by Finish(); the reader skips the rest.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "addrbook/card_parser.h"
#include "platform/text_codec.h"

namespace vantrel {

class CardReadingThread {
 public:
  // `chunk_bytes`: the size of each buffer. With `threaded` false, or when
  // the thread cannot be started, the chunks are parsed in Submit().
  CardReadingThread(NamedAddressSink& sink, const TextCodec& codec, size_t chunk_bytes,
                    bool threaded = true);
  // Stops the reader without waiting for its queue (the caller is leaving by
  // an exception); rows not yet handed out are lost.
  ~CardReadingThread();
  CardReadingThread(const CardReadingThread&) = delete;
  CardReadingThread& operator=(const CardReadingThread&) = delete;

  // A buffer of chunk_bytes to read the next chunk into; the one returned
  // before is the caller's no longer. Waits while the reader holds them all.
  char* Buffer();
  // The first `size` bytes of the last Buffer() are the book's next bytes.
  // The caller may go on reading them until its next Buffer().
  void Submit(size_t size);
  // The book ended (or could not be read further): its last line and open
  // card are read. The next Submit() starts the next book.
  void EndBook();
  // Waits until every book handed over has been read and its rows handed
  // out; rethrows what the reader threw.
  void Finish();

  // False when the thread could not be started (the chunks are then parsed
  // in Submit()).
  bool threaded() const { return thread_.joinable(); }

 private:
  struct Item {
    int buffer;  // -1: the end of a book
    size_t size;
  };
  void Run();
  void Read(const Item& item);
  void Queue(const Item& item);

  NamedAddressSink& sink_;
  const TextCodec& codec_;
  const size_t chunk_bytes_;

  // The buffers, and what holds each of them: bit 1 the caller, bit 2 the
  // reader (queued or being parsed). Free at 0.
  std::vector<std::unique_ptr<char[]>> buffers_;
  std::vector<unsigned char> holders_;
  int current_ = -1;  // the caller's, from Buffer() on

  // The reader's parser for the book being read; the reader's alone (the
  // caller's own while there is no thread).
  std::unique_ptr<CCardParser> parser_;

  // lock_ guards the queue, the holders and the flags below: the caller
  // adds, the reader takes.
  std::mutex lock_;
  std::condition_variable queued_;  // an item or the stop is there
  std::condition_variable freed_;   // a buffer is free, or the queue ran dry
  std::deque<Item> queue_;
  bool busy_ = false;  // the reader is reading an item taken off the queue
  bool stop_ = false;
  // Who sleeps on a condition: a wake costs a system call (under Wine a
  // round trip to its server), so only a sleeper is woken.
  bool reader_sleeps_ = false;
  bool caller_sleeps_ = false;
  // The queue's length, also read without the lock by the reader's short
  // spin before it sleeps.
  std::atomic<size_t> queued_items_{0};
  std::exception_ptr failure_;  // the reader's, for Finish()
  std::thread thread_;
};

}  // namespace vantrel
