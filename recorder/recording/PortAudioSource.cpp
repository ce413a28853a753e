#include "recording/PortAudioSource.h"

#include "platform/AudioSystem.h"

namespace tarvexa {

namespace {

// PortAudio's text for an error; for a host error also the host's own text,
// which is the part that says what went wrong.
std::string ErrorText(PaError err) {
  std::string text = Pa_GetErrorText(err);
  if (err == paUnanticipatedHostError) {
    const PaHostErrorInfo* host = Pa_GetLastHostErrorInfo();
    if (host && host->errorText && *host->errorText) text += std::string(": ") + host->errorText;
  }
  return text;
}

bool Fail(PaError err, int* errorCode, std::string* error) {
  if (errorCode) *errorCode = err;
  if (error) *error = ErrorText(err);
  return false;
}

}  // namespace

PortAudioSource::PortAudioSource(int device) : device_(device) {}

PortAudioSource::~PortAudioSource() { Close(); }

bool PortAudioSource::Open(const OpenOptions& options, int* errorCode, std::string* error) {
  Close();
  if (errorCode) *errorCode = paNoError;
  if (error) error->clear();
  overflows_ = 0;

  if (!AudioSystem::Initialize(errorCode, error)) return false;

  const PaDeviceIndex device = device_ < 0 ? Pa_GetDefaultInputDevice() : device_;
  if (device == paNoDevice) return Fail(paInvalidDevice, errorCode, error);
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  if (!info) return Fail(paInvalidDevice, errorCode, error);

  PaStreamParameters in{};
  in.device = device;
  in.channelCount = options.channels;
  // Floats: the conversion to 16 bits is ours (SampleConverter), so the
  // clipping and dithering switches can change while the stream stays open.
  // Widening any device format to float is exact, so the library's own
  // clip and dither flags have nothing to do.
  in.sampleFormat = paFloat32;
  // The high latency on purpose: a recorder gains nothing from a short
  // device buffer, and a long one survives a busy capture thread without
  // overflowing.
  in.suggestedLatency = info->defaultHighInputLatency;
  in.hostApiSpecificStreamInfo = nullptr;

  PaStream* stream = nullptr;
  PaError err = Pa_OpenStream(&stream, &in, nullptr, options.rate, paFramesPerBufferUnspecified,
                              paClipOff | paDitherOff, nullptr, nullptr);
  if (err != paNoError) return Fail(err, errorCode, error);
  err = Pa_StartStream(stream);
  if (err != paNoError) {
    Pa_CloseStream(stream);
    return Fail(err, errorCode, error);
  }
  stream_ = stream;
  channels_ = options.channels;
  SetConversion(options.clip, options.dither);
  return true;
}

void PortAudioSource::SetConversion(bool clip, bool dither) {
  converter_.SetClip(clip);
  converter_.SetDither(dither);
}

InputSource::ReadResult PortAudioSource::Read(int16_t* dest, int frames, int* got,
                                              std::string* error) {
  *got = 0;
  if (!stream_) {
    if (error) *error = "The input stream is not open.";
    return ReadResult::Error;
  }
  if (frames <= 0) return ReadResult::Ok;
  const size_t samples = static_cast<size_t>(frames) * static_cast<size_t>(channels_);
  if (wide_.size() < samples) wide_.resize(samples);
  const PaError err = Pa_ReadStream(stream_, wide_.data(), static_cast<unsigned long>(frames));
  if (err == paInputOverflowed) {
    // The device dropped audio before this block; what was read is whole.
    overflows_.fetch_add(1);
  } else if (err != paNoError) {
    if (error) *error = ErrorText(err);
    return ReadResult::Error;
  }
  converter_.Convert(wide_.data(), dest, samples);
  *got = frames;
  return ReadResult::Ok;
}

void PortAudioSource::Close() {
  if (!stream_) return;
  Pa_StopStream(stream_);
  Pa_CloseStream(stream_);
  stream_ = nullptr;
}

}  // namespace tarvexa
