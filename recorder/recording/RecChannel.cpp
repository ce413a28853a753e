#include "recording/RecChannel.h"

namespace tarvexa {

void RecChannel::SetWakeup(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(mutex_);
  wake_ = std::move(wake);
}

void RecChannel::Post(RecMessage msg) {
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({std::move(msg), nullptr});
    wake = wake_;
  }
  arrived_.notify_all();
  if (wake) wake();
}

void RecChannel::PostLog(const std::string& text, int level) {
  // The event log holds one line per entry: a text of several lines is
  // posted line by line.
  size_t begin = 0;
  do {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    RecMessage m;
    m.type = RecMsg::Log;
    m.param = level;
    m.text = text.substr(begin, end - begin);
    if (!m.text.empty() && m.text.back() == '\r') m.text.pop_back();
    Post(std::move(m));
    begin = end + 1;
  } while (begin < text.size());
}

void RecChannel::Send(RecMessage msg) {
  auto done = std::make_shared<bool>(false);
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return;
    queue_.push_back({std::move(msg), done});
    wake = wake_;
  }
  arrived_.notify_all();
  if (wake) wake();
  std::unique_lock<std::mutex> lock(mutex_);
  handled_.wait(lock, [&] { return *done || closed_; });
}

int RecChannel::Pump(const Handler& handler, int waitMs) {
  int count = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  if (waitMs > 0 && queue_.empty())
    arrived_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return !queue_.empty(); });
  while (!queue_.empty()) {
    Item item = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    if (handler) handler(item.msg);
    ++count;
    lock.lock();
    if (item.done) {
      *item.done = true;
      handled_.notify_all();
    }
  }
  return count;
}

void RecChannel::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  handled_.notify_all();
}

void RecChannel::Reopen() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = false;
}

}  // namespace tarvexa
