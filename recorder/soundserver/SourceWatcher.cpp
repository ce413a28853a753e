#include "soundserver/SourceWatcher.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>
#include <pulse/timeval.h>

#include <mutex>

#include "soundserver/PulseLoop.h"

namespace tarvexa {

namespace {

bool Same(const SoundServerSource& a, const SoundServerSource& b) {
  return a.name == b.name && a.description == b.description && a.monitor == b.monitor &&
         a.channels == b.channels && a.rate == b.rate;
}

bool SameLists(const std::vector<SoundServerSource>& a, const std::vector<SoundServerSource>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!Same(a[i], b[i])) return false;
  return true;
}

}  // namespace

struct SourceWatcher::Impl {
  pulse::Loop loop;
  Changed onChange;
  int retryMs = 2000;

  // What Sources() and DefaultSource() hand out.
  mutable std::mutex mutex;
  std::vector<SoundServerSource> sources;
  std::string defaultSource;
  bool connected = false;

  // The loop's side, under its lock.
  std::vector<SoundServerSource> building;
  std::string buildingDefault;
  bool fetching = false;
  bool fetchAgain = false;
  bool settled = false;  // the first list came, or the first connection failed
  bool stopping = false;
  std::string lastError;
  pa_time_event* retry = nullptr;

  void Connect() {
    if (!loop.BeginConnect(&Impl::OnContextState, this) && !retry) {
      // pa_context_connect reports most failures through the state hook;
      // one without it (no context at all) is tried again the same way.
      lastError = "Cannot create a sound-server context.";
      Lost();
    }
  }

  // The connection is gone or never came: an empty list, and another try.
  void Lost() {
    settled = true;
    fetching = fetchAgain = false;
    building.clear();
    buildingDefault.clear();
    Publish(false);
    if (stopping || retry) return;
    struct timeval at;
    pa_timeval_add(pa_gettimeofday(&at), static_cast<pa_usec_t>(retryMs) * 1000);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop.mainloop());
    retry = api->time_new(api, &at, &Impl::OnRetry, this);
  }

  void Fetch() {
    if (fetching) {
      fetchAgain = true;
      return;
    }
    fetching = true;
    fetchAgain = false;
    building.clear();
    if (pa_operation* op = pa_context_get_server_info(loop.context(), &Impl::OnServerInfo, this))
      pa_operation_unref(op);
    else
      fetching = false;
  }

  void Publish(bool isConnected) {
    bool changed;
    {
      std::lock_guard<std::mutex> lock(mutex);
      changed = isConnected != connected || buildingDefault != defaultSource ||
                !SameLists(building, sources);
      sources = building;
      defaultSource = buildingDefault;
      connected = isConnected;
    }
    loop.Signal();
    if (changed && onChange) onChange();
  }

  static void OnContextState(pa_context* c, void* self) {
    auto* impl = static_cast<Impl*>(self);
    switch (pa_context_get_state(c)) {
      case PA_CONTEXT_READY: {
        pa_context_set_subscribe_callback(c, &Impl::OnEvent, impl);
        const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE |
                                                              PA_SUBSCRIPTION_MASK_SERVER);
        if (pa_operation* op = pa_context_subscribe(c, mask, nullptr, nullptr))
          pa_operation_unref(op);
        impl->Fetch();
        break;
      }
      case PA_CONTEXT_FAILED:
      case PA_CONTEXT_TERMINATED:
        impl->lastError = pa_strerror(pa_context_errno(c));
        impl->Lost();
        break;
      default: break;
    }
    impl->loop.Signal();
  }

  static void OnEvent(pa_context*, pa_subscription_event_type_t, uint32_t, void* self) {
    static_cast<Impl*>(self)->Fetch();
  }

  static void OnServerInfo(pa_context* c, const pa_server_info* info, void* self) {
    auto* impl = static_cast<Impl*>(self);
    impl->buildingDefault = info && info->default_source_name ? info->default_source_name : "";
    if (pa_operation* op = pa_context_get_source_info_list(c, &Impl::OnSourceInfo, impl))
      pa_operation_unref(op);
    else
      impl->fetching = false;
  }

  static void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* self) {
    auto* impl = static_cast<Impl*>(self);
    if (eol < 0) {  // the connection is failing; its state hook follows
      impl->fetching = false;
      return;
    }
    if (eol > 0) {
      impl->fetching = false;
      if (impl->fetchAgain) {
        impl->Fetch();  // the list changed while it was read
        return;
      }
      impl->settled = true;
      impl->Publish(true);
      return;
    }
    SoundServerSource s;
    s.name = info->name ? info->name : "";
    s.description = info->description && *info->description ? info->description : s.name;
    s.monitor = info->monitor_of_sink != PA_INVALID_INDEX;
    s.channels = info->sample_spec.channels;
    s.rate = static_cast<int>(info->sample_spec.rate);
    impl->building.push_back(std::move(s));
  }

  static void OnRetry(pa_mainloop_api* api, pa_time_event* e, const struct timeval*, void* self) {
    auto* impl = static_cast<Impl*>(self);
    api->time_free(e);
    impl->retry = nullptr;
    if (!impl->stopping) impl->Connect();
  }
};

SourceWatcher::SourceWatcher() : impl_(std::make_unique<Impl>()) {}

SourceWatcher::~SourceWatcher() { Stop(); }

bool SourceWatcher::Start(int timeoutMs, std::string* error, Changed onChange, int retryMs) {
  Stop();
  Impl& m = *impl_;
  m.onChange = std::move(onChange);
  m.retryMs = retryMs > 0 ? retryMs : 2000;
  m.stopping = false;
  m.settled = false;
  if (!m.loop.Start(error)) return false;
  pulse::Loop::Locked lock(m.loop);
  m.Connect();
  m.loop.WaitUntil([&m] { return m.settled; },
                   pulse::Clock::now() + std::chrono::milliseconds(timeoutMs));
  if (Connected()) return true;
  if (error) *error = m.settled ? m.lastError : pa_strerror(PA_ERR_TIMEOUT);
  return false;
}

void SourceWatcher::Stop() {
  Impl& m = *impl_;
  if (!m.loop.Running()) return;
  {
    pulse::Loop::Locked lock(m.loop);
    m.stopping = true;
    if (m.retry) {
      pa_threaded_mainloop_get_api(m.loop.mainloop())->time_free(m.retry);
      m.retry = nullptr;
    }
  }
  m.loop.Stop();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.sources.clear();
  m.defaultSource.clear();
  m.connected = false;
}

bool SourceWatcher::Connected() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->connected;
}

std::vector<SoundServerSource> SourceWatcher::Sources() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->sources;
}

std::string SourceWatcher::DefaultSource() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->defaultSource;
}

bool ListSoundServerSources(std::vector<SoundServerSource>* sources, std::string* defaultSource,
                            std::string* error, int timeoutMs) {
  SourceWatcher watcher;
  if (!watcher.Start(timeoutMs, error)) return false;
  if (sources) *sources = watcher.Sources();
  if (defaultSource) *defaultSource = watcher.DefaultSource();
  return true;
}

int FindSource(const std::vector<SoundServerSource>& sources, const std::string& name) {
  for (size_t i = 0; i < sources.size(); ++i)
    if (sources[i].name == name) return static_cast<int>(i);
  return -1;
}

std::string MissingSourceLine(const std::string& name) {
  return "The input source \"" + name +
         "\" is not available; the default input device is used instead.";
}

}  // namespace tarvexa
