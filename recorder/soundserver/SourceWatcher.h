#pragma once
// The sound server's sources (microphones, line inputs and the monitors of
// its outputs), kept up to date: the watcher subscribes to the server's
// source events, so a USB microphone plugged in appears and one unplugged
// goes, and it reconnects when the server restarts. Without a server the
// list is empty and the watcher keeps looking for one.
// Thread affinity: any thread. The change hook is called on the watcher's
// own thread (the sound-server main loop): it must not block and must not
// destroy the watcher; a window forwards it to its own thread.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarvexa {

struct SoundServerSource {
  std::string name;         // the server's name: what is saved and passed to --device
  std::string description;  // what the user sees ("Monitor of Built-in Audio")
  bool monitor = false;     // the monitor of an output
  int channels = 0;
  int rate = 0;
};

class SourceWatcher {
 public:
  using Changed = std::function<void()>;

  SourceWatcher();
  ~SourceWatcher();
  SourceWatcher(const SourceWatcher&) = delete;
  SourceWatcher& operator=(const SourceWatcher&) = delete;

  // Connects and waits up to timeoutMs for the first list. false when no
  // server answered in that time (*error says why); the watcher goes on
  // looking for one every retryMs and reports the list when it finds it.
  bool Start(int timeoutMs, std::string* error, Changed onChange = nullptr, int retryMs = 2000);
  void Stop();

  bool Connected() const;
  // The sources in the server's order, and the name of its default source.
  std::vector<SoundServerSource> Sources() const;
  std::string DefaultSource() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The sources of the server once, for the command line; false with the
// reason when there is no server.
bool ListSoundServerSources(std::vector<SoundServerSource>* sources, std::string* defaultSource,
                            std::string* error, int timeoutMs = 2000);

// Position of the source called `name` in the list, or -1.
int FindSource(const std::vector<SoundServerSource>& sources, const std::string& name);

// The log line (level 1) when the chosen source is not there (at start, or
// gone since) and the default input device is used in its place.
std::string MissingSourceLine(const std::string& name);

}  // namespace tarvexa
