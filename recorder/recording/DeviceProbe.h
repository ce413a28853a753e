#pragma once
// The input devices as the device page and the start-up listing see them:
// the audio library's device list behind a small interface (tests stand in
// devices PortAudio does not have), the event-log text of every device, the
// probe of the standard sample rates, and the device support table that the
// rate/channel rule reads.
// Thread affinity: the user-interface thread; the PortAudio backend needs the
// library initialised (its Initialize does that).

#include <array>
#include <string>
#include <vector>

#include "formats/FormatCatalogue.h"

namespace tarvexa {

// The rates of the start-up probe, in Hz.
inline constexpr std::array<int, 14> kProbeRates = {
    6000, 8000, 9600, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 88200, 96000, 192000};

struct AudioDeviceDescription {
  int index = -1;  // the library's device index
  std::string name;
  std::string hostApi;
  int maxInputChannels = 0;
  int maxOutputChannels = 0;
  double defaultLowInputLatency = 0;
  double defaultLowOutputLatency = 0;
  double defaultHighInputLatency = 0;
  double defaultHighOutputLatency = 0;
  double defaultSampleRate = 0;
  bool hostApiDefaultInput = false;   // the default input of its host API
  bool hostApiDefaultOutput = false;  // the default output of its host API
};

class AudioDeviceBackend {
 public:
  virtual ~AudioDeviceBackend() = default;
  // Brings the library up; false with its error number and text.
  virtual bool Initialize(int* errorCode, std::string* error) = 0;
  // Number of devices; a negative value is the library's error number.
  virtual int DeviceCount() = 0;
  virtual std::string ErrorText(int code) = 0;
  virtual bool Describe(int index, AudioDeviceDescription* out) = 0;
  virtual int DefaultInputDevice() = 0;   // -1 when there is none
  virtual int DefaultOutputDevice() = 0;  // -1 when there is none
  // Whether the device opens for input with 16-bit samples, `channels`
  // channels at `rate` (latency 0, as the probe asks).
  virtual bool IsFormatSupported(int device, int channels, double rate) = 0;
};

// The real devices, through PortAudio (AudioSystem initialises it).
AudioDeviceBackend& PortAudioDevices();

// The device name without PortAudio's " - Input" and " - Output".
std::string PlainDeviceName(std::string name);

// The name of the recording component's mixer that belongs to a device: the
// card's control ("hw:N") for a device on card N (a name ending in
// "(hw:N,M)"), else "default", the mixer of the default device.
std::string MixerNameFor(const std::string& deviceName);

// The start-up listing of one device, every line at level -1.
std::vector<std::string> DeviceLogLines(const AudioDeviceDescription& d, int defaultInput,
                                        int defaultOutput);

// The probe block of one channel count: the heading "Supported standard
// sample rates for half-duplex N channel input:" and the lines of supported
// rates, all at level 0. A line breaks before 24000 Hz when that rate is
// supported; empty lines are not logged.
std::vector<std::string> ProbeLogLines(AudioDeviceBackend& backend, int device, int channels);

// The device support table: mono and stereo at each rate of SampleRateTable.
RateChannelMatrix ProbeDeviceMatrix(AudioDeviceBackend& backend, int device);

// The list position to choose at start-up: the saved one when it lies in the
// list, else the first item on the default input device, else 0 (-1 for an
// empty list). deviceIndexes are the items' device indexes in list order.
int ChooseDevicePosition(int saved, const std::vector<int>& deviceIndexes, int defaultInput);

}  // namespace tarvexa
