#include "soundserver/PulseLoop.h"

#include <pulse/error.h>
#include <pulse/rtclock.h>
#include <pulse/subscribe.h>
#include <pulse/timeval.h>

namespace tarvexa::pulse {

namespace {

void Wake(pa_context*, void* loop) {
  pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

void WakeOnTime(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* loop) {
  pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

}  // namespace

bool Loop::Start(std::string* error) {
  if (loop_) return true;
  loop_ = pa_threaded_mainloop_new();
  if (!loop_) {
    if (error) *error = "Cannot create the sound-server main loop.";
    return false;
  }
  pa_threaded_mainloop_set_name(loop_, "pulse-loop");
  if (pa_threaded_mainloop_start(loop_) < 0) {
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
    if (error) *error = "Cannot start the sound-server main loop.";
    return false;
  }
  return true;
}

void Loop::Stop() {
  if (!loop_) return;
  {
    Locked lock(*this);
    DropContext();
  }
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
  loop_ = nullptr;
}

bool Loop::BeginConnect(pa_context_notify_cb_t onState, void* userdata) {
  DropContext();
  context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), kClientName);
  if (!context_) return false;
  pa_context_set_state_callback(context_, onState, userdata);
  // PA_CONTEXT_NOAUTOSPAWN: a recorder never starts a sound server itself.
  return pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
}

bool Loop::Connect(Clock::time_point deadline, int* code, std::string* error) {
  if (BeginConnect(&Wake, loop_)) {
    const bool settled = WaitUntil(
        [this] {
          const pa_context_state_t s = pa_context_get_state(context_);
          return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        },
        deadline);
    if (ContextReady()) return true;
    if (!settled) {
      if (code) *code = PA_ERR_TIMEOUT;
      if (error) *error = pa_strerror(PA_ERR_TIMEOUT);
      DropContext();
      return false;
    }
  }
  if (code) *code = context_ ? ErrorCode() : PA_ERR_INTERNAL;
  if (error) *error = context_ ? ErrorText() : "Cannot create a sound-server context.";
  DropContext();
  return false;
}

void Loop::DropContext() {
  if (!context_) return;
  pa_context_set_state_callback(context_, nullptr, nullptr);
  pa_context_set_subscribe_callback(context_, nullptr, nullptr);
  pa_context_disconnect(context_);
  pa_context_unref(context_);
  context_ = nullptr;
}

bool Loop::ContextReady() const {
  return context_ && pa_context_get_state(context_) == PA_CONTEXT_READY;
}

int Loop::ErrorCode() const {
  const int e = context_ ? pa_context_errno(context_) : PA_ERR_CONNECTIONTERMINATED;
  return e == PA_OK ? PA_ERR_UNKNOWN : e;
}

std::string Loop::ErrorText() const { return pa_strerror(ErrorCode()); }

bool Loop::WaitUntil(const std::function<bool()>& done, Clock::time_point deadline) {
  while (!done()) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return false;
    const auto usec = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
    // A timer on the loop wakes the wait at the deadline; the sound
    // server's callbacks wake it earlier.
    pa_time_event* timer = nullptr;
    if (context_) {
      timer = pa_context_rttime_new(context_, pa_rtclock_now() + static_cast<pa_usec_t>(usec),
                                    &WakeOnTime, loop_);
    } else {
      struct timeval at;
      pa_timeval_add(pa_gettimeofday(&at), static_cast<pa_usec_t>(usec));
      pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
      timer = api->time_new(api, &at, &WakeOnTime, loop_);
    }
    pa_threaded_mainloop_wait(loop_);
    if (timer) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
  }
  return true;
}

void Loop::Signal() { pa_threaded_mainloop_signal(loop_, 0); }

}  // namespace tarvexa::pulse
