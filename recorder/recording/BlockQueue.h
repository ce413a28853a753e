#pragma once
// The hand-off between the capture thread and the encoder thread: a bounded
// ring of fixed-size blocks allocated once per recording. A real-time capture
// never waits: when the ring is full the oldest block is dropped and counted.
// A capture that may wait (a file read as fast as possible) blocks instead.
// The queue belongs to the whole recording, so blocks not yet fetched when a
// clip ends go into the next clip.
// Thread affinity: one producer thread and one consumer thread at a time.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tarvexa {

class BlockQueue {
 public:
  // capacity blocks of samplesPerBlock interleaved samples each.
  BlockQueue(size_t capacity, size_t samplesPerBlock);

  size_t Capacity() const { return capacity_; }
  size_t SamplesPerBlock() const { return samplesPerBlock_; }

  // Real-time push: never waits; drops the oldest block when full.
  // Returns the number of blocks dropped by this push (0 or 1).
  int PushOrDropOldest(const int16_t* samples, size_t count);

  // Waiting push: waits for room while keepWaiting() is true, testing it at
  // least every 50 ms. Returns false if it gave up without queueing.
  template <class Pred>
  bool PushWait(const int16_t* samples, size_t count, Pred keepWaiting);

  // Takes the oldest block into dest (room for SamplesPerBlock samples).
  // Waits up to timeout for one. Returns the number of samples, or -1 when
  // nothing came (timed out, or the input has ended and the queue is empty).
  int Pop(int16_t* dest, std::chrono::milliseconds timeout);

  // The input will deliver nothing more: Pop stops waiting once empty.
  void MarkInputEnded();
  bool InputEnded() const;
  bool Empty() const;
  size_t Size() const;

  int64_t Dropped() const { return dropped_.load(); }

 private:
  void StoreLocked(const int16_t* samples, size_t count);

  const size_t capacity_;
  const size_t samplesPerBlock_;
  std::vector<int16_t> storage_;
  std::vector<size_t> lengths_;
  size_t head_ = 0;  // oldest
  size_t size_ = 0;
  bool inputEnded_ = false;
  mutable std::mutex mutex_;
  std::condition_variable notEmpty_;
  std::condition_variable notFull_;
  std::atomic<int64_t> dropped_{0};
};

template <class Pred>
bool BlockQueue::PushWait(const int16_t* samples, size_t count, Pred keepWaiting) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (size_ == capacity_) {
    if (!keepWaiting()) return false;
    notFull_.wait_for(lock, std::chrono::milliseconds(50));
  }
  StoreLocked(samples, count);
  lock.unlock();
  notEmpty_.notify_one();
  return true;
}

}  // namespace tarvexa
