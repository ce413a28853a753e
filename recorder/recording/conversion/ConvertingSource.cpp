#include "recording/conversion/ConvertingSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "recording/AudioTransform.h"

namespace tarvexa {

ConvertingSource::ConvertingSource(std::shared_ptr<InputSource> inner, int rate, int channels)
    : inner_(std::move(inner)), inRate_(rate), inChannels_(std::max(1, channels)) {}

ConvertingSource::~ConvertingSource() = default;

std::vector<int> ConvertingSource::RateSteps(int from, int to) {
  // One step of the resampler takes ratios from 1/5 to 5.
  const double maxRatio = AudioTransform::kMaxResamplePercent / 100.0;
  const double ratio = static_cast<double>(to) / from;
  const int count = std::max(
      1, static_cast<int>(std::ceil(std::abs(std::log(ratio)) / std::log(maxRatio) - 1e-9)));
  std::vector<int> steps{from};
  for (int i = 1; i < count; ++i)
    steps.push_back(
        static_cast<int>(std::lround(from * std::pow(ratio, static_cast<double>(i) / count))));
  steps.push_back(to);
  return steps;
}

bool ConvertingSource::Open(const OpenOptions& options, int* errorCode, std::string* error) {
  OpenOptions own = options;
  own.rate = inRate_;
  own.channels = inChannels_;
  own.framesPerBlock = std::max(1, inRate_ / 10);
  if (!inner_->Open(own, errorCode, error)) return false;
  // The next clip goes on where the last one stopped: what is converted
  // and not yet given out, and the resamplers' state, are kept.
  const int outChannels = options.channels == 1 ? 1 : 2;
  std::vector<int> steps =
      inRate_ == options.rate ? std::vector<int>{} : RateSteps(inRate_, options.rate);
  if (configured_ && outChannels == outChannels_ && steps == steps_) return true;
  configured_ = true;
  outChannels_ = outChannels;
  steps_ = std::move(steps);
  stages_.clear();
  for (size_t i = 1; i < steps_.size(); ++i) {
    auto stage = std::make_unique<AudioTransform>();
    stage->SetChannels(outChannels_);
    stage->SetSampleRate(steps_[i - 1]);
    stages_.push_back(std::move(stage));
  }
  block_.resize(static_cast<size_t>(own.framesPerBlock) * static_cast<size_t>(inChannels_));
  pending_.clear();
  pendingAt_ = 0;
  ended_ = false;
  return true;
}

void ConvertingSource::Resample(std::vector<int16_t>& channel, int index, bool flush) {
  for (size_t i = 0; i < stages_.size(); ++i) {
    const float percent = static_cast<float>(100.0 * steps_[i + 1] / steps_[i]);
    stages_[i]->Resample(channel, percent, index);
    if (flush) stages_[i]->FlushResampler(channel, index);
  }
}

void ConvertingSource::Convert(const int16_t* in, int frames) {
  const size_t n = static_cast<size_t>(frames);
  std::vector<int16_t> side[2];
  for (int c = 0; c < outChannels_; ++c) side[c].resize(n);
  for (size_t f = 0; f < n; ++f) {
    const int16_t* frame = in + f * static_cast<size_t>(inChannels_);
    if (outChannels_ == 1 || inChannels_ == 1) {
      // To mono, or mono to both sides: the mean of every channel.
      int sum = 0;
      for (int c = 0; c < inChannels_; ++c) sum += frame[c];
      const int16_t v = static_cast<int16_t>(sum / inChannels_);
      for (int c = 0; c < outChannels_; ++c) side[c][f] = v;
    } else {
      // To stereo: the even channels left, the odd ones right.
      int sums[2] = {0, 0}, counts[2] = {0, 0};
      for (int c = 0; c < inChannels_; ++c) {
        sums[c % 2] += frame[c];
        ++counts[c % 2];
      }
      side[0][f] = static_cast<int16_t>(sums[0] / counts[0]);
      side[1][f] = static_cast<int16_t>(sums[1] / counts[1]);
    }
  }
  for (int c = 0; c < outChannels_; ++c) Resample(side[c], c, ended_);
  const size_t out = outChannels_ == 1 ? side[0].size() : std::min(side[0].size(), side[1].size());
  if (pendingAt_ > 0) {
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_));
    pendingAt_ = 0;
  }
  for (size_t f = 0; f < out; ++f)
    for (int c = 0; c < outChannels_; ++c) pending_.push_back(side[c][f]);
}

InputSource::ReadResult ConvertingSource::Read(int16_t* dest, int frames, int* got,
                                               std::string* error) {
  *got = 0;
  const size_t want = static_cast<size_t>(frames) * static_cast<size_t>(outChannels_);
  const int blockFrames = static_cast<int>(block_.size()) / inChannels_;
  while (pending_.size() - pendingAt_ < want && !ended_) {
    int read = 0;
    const ReadResult r = inner_->Read(block_.data(), blockFrames, &read, error);
    if (r == ReadResult::Error) return r;
    if (r == ReadResult::End) ended_ = true;  // the resamplers give out their rest now
    Convert(block_.data(), read);
  }
  const size_t give = std::min(want, pending_.size() - pendingAt_);
  std::memcpy(dest, pending_.data() + pendingAt_, give * sizeof(int16_t));
  pendingAt_ += give;
  *got = static_cast<int>(give / static_cast<size_t>(outChannels_));
  return give < want ? ReadResult::End : ReadResult::Ok;
}

void ConvertingSource::Close() { inner_->Close(); }

}  // namespace tarvexa
