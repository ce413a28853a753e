#include "recording/BlockQueue.h"

#include <algorithm>
#include <cstring>

namespace tarvexa {

BlockQueue::BlockQueue(size_t capacity, size_t samplesPerBlock)
    : capacity_(std::max<size_t>(capacity, 1)),
      samplesPerBlock_(samplesPerBlock),
      storage_(capacity_ * samplesPerBlock),
      lengths_(capacity_, 0) {}

void BlockQueue::StoreLocked(const int16_t* samples, size_t count) {
  count = std::min(count, samplesPerBlock_);
  size_t slot = (head_ + size_) % capacity_;
  std::memcpy(&storage_[slot * samplesPerBlock_], samples, count * sizeof(int16_t));
  lengths_[slot] = count;
  ++size_;
}

int BlockQueue::PushOrDropOldest(const int16_t* samples, size_t count) {
  int dropped = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (size_ == capacity_) {
      head_ = (head_ + 1) % capacity_;
      --size_;
      dropped = 1;
      dropped_.fetch_add(1);
    }
    StoreLocked(samples, count);
  }
  notEmpty_.notify_one();
  return dropped;
}

int BlockQueue::Pop(int16_t* dest, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (size_ == 0 && !inputEnded_)
    notEmpty_.wait_for(lock, timeout, [&] { return size_ > 0 || inputEnded_; });
  if (size_ == 0) return -1;
  size_t count = lengths_[head_];
  std::memcpy(dest, &storage_[head_ * samplesPerBlock_], count * sizeof(int16_t));
  head_ = (head_ + 1) % capacity_;
  --size_;
  lock.unlock();
  notFull_.notify_one();
  return static_cast<int>(count);
}

void BlockQueue::MarkInputEnded() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    inputEnded_ = true;
  }
  notEmpty_.notify_all();
}

bool BlockQueue::InputEnded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return inputEnded_;
}

bool BlockQueue::Empty() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return size_ == 0;
}

size_t BlockQueue::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return size_;
}

}  // namespace tarvexa
