#include "recording/DeviceProbe.h"

#include "platform/Text.h"

#include <portaudio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <regex>

#include "platform/AlsaErrors.h"
#include "platform/AudioSystem.h"

namespace tarvexa {

namespace {

class PortAudioBackend final : public AudioDeviceBackend {
 public:
  bool Initialize(int* errorCode, std::string* error) override {
    return AudioSystem::Initialize(errorCode, error);
  }
  int DeviceCount() override { return Pa_GetDeviceCount(); }
  std::string ErrorText(int code) override { return Pa_GetErrorText(code); }

  bool Describe(int index, AudioDeviceDescription* out) override {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
    if (!info) return false;
    const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
    AudioDeviceDescription d;
    d.index = index;
    d.name = info->name ? info->name : "";
    d.hostApi = api && api->name ? api->name : "";
    d.maxInputChannels = info->maxInputChannels;
    d.maxOutputChannels = info->maxOutputChannels;
    d.defaultLowInputLatency = info->defaultLowInputLatency;
    d.defaultLowOutputLatency = info->defaultLowOutputLatency;
    d.defaultHighInputLatency = info->defaultHighInputLatency;
    d.defaultHighOutputLatency = info->defaultHighOutputLatency;
    d.defaultSampleRate = info->defaultSampleRate;
    d.hostApiDefaultInput = api && api->defaultInputDevice == index;
    d.hostApiDefaultOutput = api && api->defaultOutputDevice == index;
    *out = std::move(d);
    return true;
  }

  int DefaultInputDevice() override {
    const PaDeviceIndex d = Pa_GetDefaultInputDevice();
    return d == paNoDevice ? -1 : d;
  }
  int DefaultOutputDevice() override {
    const PaDeviceIndex d = Pa_GetDefaultOutputDevice();
    return d == paNoDevice ? -1 : d;
  }

  bool IsFormatSupported(int device, int channels, double rate) override {
    if (device < 0 || device >= Pa_GetDeviceCount()) return false;
    PaStreamParameters p{};
    p.device = device;
    p.channelCount = channels;
    p.sampleFormat = paInt16;
    p.suggestedLatency = 0;
    p.hostApiSpecificStreamInfo = nullptr;
    // A probe asks about many configurations ALSA cannot open, on purpose.
    QuietAlsaErrors quiet;
    return Pa_IsFormatSupported(&p, nullptr, rate) == paFormatIsSupported;
  }
};

}  // namespace

AudioDeviceBackend& PortAudioDevices() {
  static PortAudioBackend backend;
  return backend;
}

std::string PlainDeviceName(std::string name) {
  for (const char* tail : {" - Input", " - Output"}) {
    for (auto pos = name.find(tail); pos != std::string::npos; pos = name.find(tail))
      name.erase(pos, std::strlen(tail));
  }
  return name;
}

std::string MixerNameFor(const std::string& deviceName) {
  static const std::regex card(R"(\(hw:(\d+),\d+\)$)");
  std::smatch m;
  if (std::regex_search(deviceName, m, card)) return "hw:" + m[1].str();
  return "default";
}

std::vector<std::string> DeviceLogLines(const AudioDeviceDescription& d, int defaultInput,
                                        int defaultOutput) {
  std::vector<std::string> lines;
  lines.push_back(Printf("-------------------Device #%d--------------------", d.index));
  if (d.index == defaultInput)
    lines.push_back("This device is the default input device.");
  else if (d.hostApiDefaultInput)
    lines.push_back(Printf("This device is the default %s input", d.hostApi.c_str()));
  if (d.index == defaultOutput)
    lines.push_back("This device is the default output device.");
  else if (d.hostApiDefaultOutput)
    lines.push_back(Printf("This device is the default %s output", d.hostApi.c_str()));
  lines.push_back(Printf("Name                        = %s", PlainDeviceName(d.name).c_str()));
  lines.push_back(Printf("Host API                    = %s", d.hostApi.c_str()));
  lines.push_back(Printf("Max inputs channels = %d", d.maxInputChannels));
  lines.push_back(Printf("Max outputs channels= %d", d.maxOutputChannels));
  lines.push_back(Printf("Default low input latency    = %8.3f", d.defaultLowInputLatency));
  lines.push_back(Printf("Default low output latency  = %8.3f", d.defaultLowOutputLatency));
  lines.push_back(Printf("Default high input latency   = %8.3f", d.defaultHighInputLatency));
  lines.push_back(Printf("Default high output latency = %8.3f", d.defaultHighOutputLatency));
  lines.push_back(Printf("Default sample rate         = %8.1f", d.defaultSampleRate));
  return lines;
}

std::vector<std::string> ProbeLogLines(AudioDeviceBackend& backend, int device, int channels) {
  std::vector<std::string> lines;
  lines.push_back(
      Printf("Supported standard sample rates for half-duplex %d channel input:", channels));
  std::string line;
  for (size_t i = 0; i < kProbeRates.size(); ++i) {
    const int rate = kProbeRates[i];
    if (!backend.IsFormatSupported(device, channels, rate)) continue;
    if (rate == 24000 && !line.empty()) {
      lines.push_back(line);
      line.clear();
    }
    line += Printf(line.empty() ? "%06d Hz" : "   %06d Hz", rate);
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

RateChannelMatrix ProbeDeviceMatrix(AudioDeviceBackend& backend, int device) {
  RateChannelMatrix m;
  for (size_t row = 0; row < 2; ++row) {
    for (size_t i = 0; i < SampleRateTable.size(); ++i)
      m.allowed[row][i] =
          backend.IsFormatSupported(device, static_cast<int>(row) + 1, SampleRateTable[i]);
  }
  return m;
}

int ChooseDevicePosition(int saved, const std::vector<int>& deviceIndexes, int defaultInput) {
  const int count = static_cast<int>(deviceIndexes.size());
  if (count == 0) return -1;
  if (saved >= 0 && saved < count) return saved;
  for (int i = 0; i < count; ++i)
    if (deviceIndexes[static_cast<size_t>(i)] == defaultInput) return i;
  return 0;
}

}  // namespace tarvexa
