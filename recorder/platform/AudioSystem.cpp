#include "platform/AudioSystem.h"

#include <dlfcn.h>
#include <portaudio.h>

#include <mutex>

#include "platform/AlsaErrors.h"

namespace tarvexa {

namespace {

std::mutex gMutex;
bool gInitialized = false;

void QuietJack(const char*) {}

// While PortAudio probes the devices, ALSA reports every configuration entry
// it cannot open (cards that do not exist, plugins for absent servers) and
// libjack reports that no JACK server runs. None of it is an error of ours,
// so both are quiet during the probe and speak again afterwards. libjack is
// only reached when the PortAudio build links it, so it is looked up, not
// linked.
class QuietProbe {
 public:
  using JackPrinter = void (*)(const char*);
  using JackSetter = void (*)(JackPrinter);

  QuietProbe() {
    setError_ = reinterpret_cast<JackSetter>(dlsym(RTLD_DEFAULT, "jack_set_error_function"));
    setInfo_ = reinterpret_cast<JackSetter>(dlsym(RTLD_DEFAULT, "jack_set_info_function"));
    errorHook_ = static_cast<JackPrinter*>(dlsym(RTLD_DEFAULT, "jack_error_callback"));
    infoHook_ = static_cast<JackPrinter*>(dlsym(RTLD_DEFAULT, "jack_info_callback"));
    if (errorHook_) savedError_ = *errorHook_;
    if (infoHook_) savedInfo_ = *infoHook_;
    if (setError_) setError_(&QuietJack);
    if (setInfo_) setInfo_(&QuietJack);
  }

  ~QuietProbe() {
    // Without the saved printers there is nothing to go back to: libjack
    // then stays quiet, which loses only its own diagnostics.
    if (setError_ && savedError_) setError_(savedError_);
    if (setInfo_ && savedInfo_) setInfo_(savedInfo_);
  }

  QuietProbe(const QuietProbe&) = delete;
  QuietProbe& operator=(const QuietProbe&) = delete;

 private:
  QuietAlsaErrors alsa_;
  JackSetter setError_ = nullptr;
  JackSetter setInfo_ = nullptr;
  JackPrinter* errorHook_ = nullptr;
  JackPrinter* infoHook_ = nullptr;
  JackPrinter savedError_ = nullptr;
  JackPrinter savedInfo_ = nullptr;
};

}  // namespace

bool AudioSystem::Initialize(int* errorCode, std::string* error) {
  std::lock_guard<std::mutex> lock(gMutex);
  if (errorCode) *errorCode = paNoError;
  if (gInitialized) return true;
  PaError err;
  {
    QuietProbe quiet;
    err = Pa_Initialize();
  }
  if (err != paNoError) {
    if (errorCode) *errorCode = err;
    if (error) *error = Pa_GetErrorText(err);
    return false;
  }
  gInitialized = true;
  return true;
}

void AudioSystem::Terminate() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!gInitialized) return;
  Pa_Terminate();
  gInitialized = false;
}

bool AudioSystem::IsInitialized() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gInitialized;
}

std::vector<InputDeviceInfo> AudioSystem::ListInputDevices() {
  std::lock_guard<std::mutex> lock(gMutex);
  std::vector<InputDeviceInfo> devices;
  if (!gInitialized) return devices;
  const PaDeviceIndex count = Pa_GetDeviceCount();
  for (PaDeviceIndex i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (!info || info->maxInputChannels <= 0) continue;
    InputDeviceInfo d;
    d.index = i;
    d.name = info->name ? info->name : "";
    const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
    d.hostApi = api && api->name ? api->name : "";
    d.maxInputChannels = info->maxInputChannels;
    d.defaultSampleRate = info->defaultSampleRate;
    devices.push_back(std::move(d));
  }
  return devices;
}

int AudioSystem::DefaultInputDevice() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!gInitialized) return -1;
  const PaDeviceIndex d = Pa_GetDefaultInputDevice();
  return d == paNoDevice ? -1 : static_cast<int>(d);
}

AudioSystemScope::AudioSystemScope() {
  const bool alreadyUp = AudioSystem::IsInitialized();
  ok_ = AudioSystem::Initialize(&errorCode_, &error_);
  owner_ = ok_ && !alreadyUp;
}

AudioSystemScope::~AudioSystemScope() {
  if (owner_) AudioSystem::Terminate();
}

}  // namespace tarvexa
