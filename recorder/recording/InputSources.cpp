#include "recording/InputSources.h"

#include "formats/FormatCatalogue.h"
#include "platform/AudioSystem.h"
#include "recording/PortAudioSource.h"
#include "recording/WavFileSource.h"
#include "recording/conversion/ConvertingSource.h"
#include "soundserver/PulseSource.h"
#include "soundserver/SourceWatcher.h"

namespace tarvexa {

InputFactory DefaultInputFactory() {
  return [](const InputChoice& choice, Settings& recording,
            std::string* error) -> std::shared_ptr<InputSource> {
    if (choice.file.empty()) {
      if (!choice.source.empty()) {
        PulseSource::Options o;
        o.source = choice.source;
        o.description = choice.sourceDescription;
        return std::make_shared<PulseSource>(std::move(o));
      }
      return std::make_shared<PortAudioSource>(choice.device);
    }
    auto file = std::make_shared<WavFileSource>(choice.file, choice.fast);
    int rate = 0, channels = 0;
    int64_t frames = 0;
    if (!file->Probe(&rate, &channels, &frames, error)) return nullptr;
    if (rate == SampleRateOf(recording) && channels == ChannelsOf(recording)) return file;
    return std::make_shared<ConvertingSource>(file, rate, channels);
  };
}

InputFactory FileInsteadOfDevice(std::string path, bool fast) {
  return [path, fast](const InputChoice&, Settings& s,
                      std::string* error) -> std::shared_ptr<InputSource> {
    auto source = std::make_shared<WavFileSource>(path, fast);
    int rate = 0, channels = 0;
    int64_t frames = 0;
    if (!source->Probe(&rate, &channels, &frames, error)) return nullptr;
    if (const int freq = RateIndexOf(rate); freq >= 0) s.OUTPUT.Freq = static_cast<int16_t>(freq);
    s.OUTPUT.Chan = static_cast<int16_t>(channels);
    return source;
  };
}

bool ChooseSavedInput(const Settings& settings, const LogSink& log, InputChoice* choice,
                      std::string* error) {
  *choice = InputChoice{};
  const std::string& wanted = settings.MISC.InputSourceName;
  if (!wanted.empty()) {
    std::vector<SoundServerSource> sources;
    ListSoundServerSources(&sources, nullptr, nullptr);
    const int at = FindSource(sources, wanted);
    if (at >= 0) {
      choice->source = wanted;
      choice->sourceDescription = sources[static_cast<size_t>(at)].description;
      return true;
    }
    if (log) log(MissingSourceLine(wanted), 1);
  }
  if (!AudioSystem::Initialize(nullptr, error)) return false;
  choice->device = SavedInputDevice(settings.MISC.InputDevice);
  return true;
}

int SavedInputDevice(int saved) {
  for (const InputDeviceInfo& d : AudioSystem::ListInputDevices())
    if (d.index == saved) return saved;
  return AudioSystem::DefaultInputDevice();
}

}  // namespace tarvexa
