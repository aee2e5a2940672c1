#include "addrbook/card_reading_thread.h"

#include <chrono>
#include <system_error>
#include <utility>

namespace vantrel {
namespace {

// One the caller reads into, one waiting, one being parsed: enough for the
// two threads never to wait for each other while both keep pace.
constexpr int kBuffers = 3;
constexpr unsigned char kCaller = 1, kReader = 2;
// How long the reader looks for the next item before it sleeps.
constexpr std::chrono::microseconds kSpin(1000);

}  // namespace

CardReadingThread::CardReadingThread(NamedAddressSink& sink, const TextCodec& codec,
                                     size_t chunk_bytes, bool threaded)
    : sink_(sink), codec_(codec), chunk_bytes_(chunk_bytes) {
  buffers_.emplace_back(new char[chunk_bytes_]);
  if (!threaded) return;
  try {
    for (int i = 1; i < kBuffers; ++i) buffers_.emplace_back(new char[chunk_bytes_]);
    holders_.assign(buffers_.size(), 0);  // before the thread looks at them
    thread_ = std::thread(&CardReadingThread::Run, this);
  } catch (const std::system_error&) {
    // No thread: the caller's thread parses, with one buffer (and no
    // holders to keep).
  } catch (const std::bad_alloc&) {
    // Likewise: the other buffers are a help, not a need.
  }
}

CardReadingThread::~CardReadingThread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  queued_.notify_one();
  thread_.join();
}

char* CardReadingThread::Buffer() {
  if (!thread_.joinable()) {
    current_ = 0;
    return buffers_[0].get();
  }
  std::unique_lock<std::mutex> hold(lock_);
  if (current_ >= 0) {
    holders_[static_cast<size_t>(current_)] &= ~kCaller;
    current_ = -1;
  }
  for (;;) {
    for (size_t i = 0; i < holders_.size(); ++i) {
      if (holders_[i] == 0) {
        holders_[i] = kCaller;
        current_ = static_cast<int>(i);
        return buffers_[i].get();
      }
    }
    caller_sleeps_ = true;
    freed_.wait(hold);
    caller_sleeps_ = false;
  }
}

void CardReadingThread::Submit(size_t size) {
  if (current_ < 0 || size == 0) return;
  const Item item = {current_, size};
  if (!thread_.joinable()) {
    Read(item);
    return;
  }
  Queue(item);
}

void CardReadingThread::Queue(const Item& item) {
  bool wake;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (item.buffer >= 0) holders_[static_cast<size_t>(item.buffer)] |= kReader;
    queue_.push_back(item);
    queued_items_.store(queue_.size(), std::memory_order_release);
    wake = reader_sleeps_;
  }
  if (wake) queued_.notify_one();
}

void CardReadingThread::EndBook() {
  const Item item = {-1, 0};
  if (!thread_.joinable()) {
    Read(item);
    return;
  }
  Queue(item);
}

void CardReadingThread::Finish() {
  if (!thread_.joinable()) return;
  std::exception_ptr failure;
  {
    std::unique_lock<std::mutex> hold(lock_);
    caller_sleeps_ = true;
    freed_.wait(hold, [this] { return queue_.empty() && !busy_; });
    caller_sleeps_ = false;
    stop_ = true;
    failure = failure_;
  }
  queued_.notify_one();
  thread_.join();
  if (failure) std::rethrow_exception(failure);
}

void CardReadingThread::Run() {
  bool failed = false;
  for (;;) {
    Item item;
    const auto spin_end = std::chrono::steady_clock::now() + kSpin;
    while (queued_items_.load(std::memory_order_acquire) == 0 &&
           std::chrono::steady_clock::now() < spin_end) {
      std::this_thread::yield();
    }
    {
      std::unique_lock<std::mutex> hold(lock_);
      reader_sleeps_ = true;
      queued_.wait(hold, [this] { return stop_ || !queue_.empty(); });
      reader_sleeps_ = false;
      if (stop_) return;
      item = queue_.front();
      queue_.pop_front();
      queued_items_.store(queue_.size(), std::memory_order_relaxed);
      busy_ = true;
    }
    std::exception_ptr failure;
    if (!failed) {
      try {
        Read(item);
      } catch (...) {
        failure = std::current_exception();
        failed = true;
      }
    }
    bool wake;
    {
      std::lock_guard<std::mutex> hold(lock_);
      busy_ = false;
      if (item.buffer >= 0) holders_[static_cast<size_t>(item.buffer)] &= ~kReader;
      if (failure) failure_ = failure;
      wake = caller_sleeps_;
    }
    // The caller may wait for a buffer (Buffer) or for the end (Finish).
    if (wake) freed_.notify_one();
  }
}

void CardReadingThread::Read(const Item& item) {
  if (item.buffer < 0) {
    if (parser_) {
      parser_->Finish();
      parser_.reset();
    }
    return;
  }
  if (!parser_) parser_.reset(new CCardParser(sink_, codec_));
  parser_->Feed(buffers_[static_cast<size_t>(item.buffer)].get(), item.size);
}

}  // namespace vantrel
