#pragma once
// One connection to the sound server on a libpulse threaded main loop: the
// loop's thread runs every libpulse callback; callers take the loop's lock
// around everything they do with the context or its streams, and wait for
// the callbacks' results with WaitUntil.
// Thread affinity: Start and Stop on the owner's thread without the lock;
// everything else with the lock held (Locked), never on the loop's thread.

#include <pulse/context.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <functional>
#include <string>

namespace tarvexa::pulse {

using Clock = std::chrono::steady_clock;

// The name the sound server shows for our connections.
inline constexpr const char* kClientName = "Tarvexa Sound Recorder";

class Loop {
 public:
  Loop() = default;
  ~Loop() { Stop(); }
  Loop(const Loop&) = delete;
  Loop& operator=(const Loop&) = delete;

  // Creates the loop and starts its thread; nothing when it runs already.
  bool Start(std::string* error);
  // Drops the context and ends the thread.
  void Stop();
  bool Running() const { return loop_ != nullptr; }

  // With the lock held: a new context, connected and ready before the
  // deadline (the server is never started on our behalf). On failure the
  // context is dropped and *code and *error say why.
  bool Connect(Clock::time_point deadline, int* code, std::string* error);
  // With the lock held, or on the loop's thread: a new context that starts
  // connecting and tells onState of each state (which must Signal() for
  // waiters). false when it failed at once.
  bool BeginConnect(pa_context_notify_cb_t onState, void* userdata);
  void DropContext();
  bool ContextReady() const;
  pa_context* context() const { return context_; }
  pa_threaded_mainloop* mainloop() const { return loop_; }
  // The context's last error number and its text.
  int ErrorCode() const;
  std::string ErrorText() const;

  // With the lock held: waits until done() holds (true) or the deadline
  // passes (false). Callbacks that change what done() reads call Signal().
  bool WaitUntil(const std::function<bool()>& done, Clock::time_point deadline);
  void Signal();

  // Holds the loop's lock for a scope.
  class Locked {
   public:
    explicit Locked(Loop& l) : l_(l) { pa_threaded_mainloop_lock(l_.loop_); }
    ~Locked() { pa_threaded_mainloop_unlock(l_.loop_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

   private:
    Loop& l_;
  };

 private:
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
};

}  // namespace tarvexa::pulse
