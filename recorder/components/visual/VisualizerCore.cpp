#include "components/visual/VisualizerCore.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "components/visual/Scope.h"

namespace tarvexa {

// ------------------------------------------------------------------ common

void VisualizerCore::SetFormat(int rate, int channels) {
  rate_ = rate > 0 ? rate : 44100;
  channels_ = channels == 1 ? 1 : 2;
  last_.clear();
  signal_ = false;
  Restyle();
}

void VisualizerCore::Feed(const int16_t* samples, int count) {
  if (!samples || count < channels_) return;
  last_.assign(samples, samples + count);
  signal_ = true;
  Compute(kBlockMs);
  Publish();
}

int VisualizerCore::Snapshot(int16_t* out, int max) const {
  const int n = std::min<int>(max, static_cast<int>(last_.size()));
  std::copy(last_.begin(), last_.begin() + n, out);
  return n;
}

void VisualizerCore::Clear() {
  last_.clear();
  signal_ = false;
  linearRef_ = 0;
  dynamics_.Clear();
  Publish();
}

void VisualizerCore::SetViewSize(int width, int height) {
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  Restyle();
}

void VisualizerCore::Restyle() {
  look_ = CurrentLook();
  points_ = PointsFor(look_);
  dynamics_.SetParams(look_.dynamics);
  dynamics_.Resize(look_.style == VisualFrame::kScope ? 0 : look_.rows * points_);
  if (signal_) Compute(0);
  Publish();
}

int VisualizerCore::PointsFor(const Look& look) const {
  // Before the window has said how big it is.
  const int w = width_ > 0 ? width_ : 256;
  const int h = height_ > 0 ? height_ : 96;
  if (look.style == VisualFrame::kScope) return std::clamp(w, 2, 2048);
  if (look.style == VisualFrame::kWaterfall) return std::clamp(h / look.rows, 1, 1024);
  const int rowWidth = RowsSideBySide(look.style) ? w / look.rows : w;
  const int step = look.barWidth > 0 ? look.barWidth + look.gap : 1;
  return std::clamp(rowWidth / step, 1, 2048);
}

void VisualizerCore::Compute(int elapsedMs) {
  const int frames = static_cast<int>(last_.size()) / channels_;
  const int rows = look_.rows;
  const size_t total = static_cast<size_t>(rows) * static_cast<size_t>(points_);
  if (look_.style == VisualFrame::kScope) {
    trace_.resize(total);
    ScopeTrace(last_.data(), frames, channels_, rows, points_, trace_.data());
    return;
  }
  targets_.resize(total);
  for (int r = 0; r < rows; ++r) {
    Analyzer().Analyze(last_.data(), frames, channels_, rows == 1 ? -1 : r, magnitudes_);
    MapBands(magnitudes_, rate_, look_.axis, points_,
             targets_.data() + static_cast<ptrdiff_t>(r) * points_);
  }
  if (look_.decibels) {
    for (float& v : targets_) v = DecibelHeight(v, look_.rangeDb);
  } else {
    // Linear: the loudest band of the last second or so is full height;
    // quiet input is not blown up past the decibel range.
    const float loudest =
        targets_.empty() ? 0.0f : *std::max_element(targets_.begin(), targets_.end());
    const float floor = std::pow(10.0f, -look_.rangeDb / 20.0f);
    linearRef_ = std::max({loudest, linearRef_ * 0.9f, floor});
    for (float& v : targets_) v /= linearRef_;
  }
  dynamics_.Update(targets_.data(), static_cast<int>(total), elapsedMs);
}

void VisualizerCore::Publish() {
  VisualFrame f;
  f.style = look_.style;
  f.palette = look_.palette;
  f.rows = look_.rows;
  f.barWidth = look_.barWidth;
  f.gap = look_.gap;
  f.grid = look_.grid;
  f.gradient = look_.gradient;
  std::copy(look_.colours.begin(), look_.colours.end(), f.colours);
  f.serial = ++serial_;
  const size_t total = static_cast<size_t>(look_.rows) * static_cast<size_t>(points_);
  if (look_.style == VisualFrame::kScope) {
    if (signal_ && trace_.size() == total) {
      f.points = points_;
      f.values = trace_.data();
    }
  } else if (dynamics_.Bars().size() == total) {
    const bool peaks = look_.peaks && look_.style != VisualFrame::kWaterfall;
    const auto& held = dynamics_.Peaks();
    // After a Clear only held peak marks are left to show.
    const bool show =
        signal_ || (peaks && std::any_of(held.begin(), held.end(), [](float v) { return v > 0; }));
    if (show) {
      f.points = points_;
      f.values = dynamics_.Bars().data();
      f.peaks = peaks ? held.data() : nullptr;
    }
  }
  frame_ = f;
}

// ------------------------------------------------------------ visualizer 1

namespace {
struct TypeStyle {
  int style;
  int palette;
  bool logarithmic;
  int barWidth;
  int gap;
  bool peaks;
  BarDynamics::Params dynamics;
};
constexpr TypeStyle kTypes[TypeVisualizer::kTypeCount] = {
    {VisualFrame::kScope, VisualFrame::kPhosphor, false, 0, 0, false, {0.0f, 0, 0.0f}},
    {VisualFrame::kBars, VisualFrame::kLinear, false, 2, 1, true, {0.55f, 300, 0.6f}},
    {VisualFrame::kBars, VisualFrame::kNormal, true, 4, 1, true, {0.55f, 500, 0.8f}},
    {VisualFrame::kWaterfall, VisualFrame::kFire, true, 0, 0, false, {0.3f, 0, 1.0f}},
    {VisualFrame::kBars, VisualFrame::kGlass, true, 7, 2, true, {0.6f, 600, 0.6f}},
    {VisualFrame::kSegments, VisualFrame::kKryptonite, true, 5, 2, true, {0.5f, 800, 0.5f}},
};
}  // namespace

TypeVisualizer::TypeVisualizer() { Restyle(); }

void TypeVisualizer::SetVisualType(int type) {
  if (type < 0 || type >= kTypeCount || type == type_) return;
  type_ = type;
  Restyle();
}

void TypeVisualizer::SetBlockSize(int samples) {
  if (samples == analyzer_.Size() || !analyzer_.SetSize(samples)) return;
  Restyle();
}

VisualizerCore::Look TypeVisualizer::CurrentLook() const {
  const TypeStyle& t = kTypes[type_];
  Look look;
  look.style = t.style;
  look.palette = t.palette;
  look.rows = t.style == VisualFrame::kScope ? Channels() : 1;
  const double nyquist = Rate() / 2.0;
  look.axis = t.logarithmic ? BandAxis{30.0, std::min(20000.0, nyquist), true}
                            : BandAxis{0.0, nyquist, false};
  look.barWidth = t.barWidth;
  look.gap = t.gap;
  look.peaks = t.peaks;
  look.dynamics = t.dynamics;
  look.grid = t.style == VisualFrame::kScope;
  return look;
}

// ------------------------------------------------------------ visualizer 2

PresetVisualizer::PresetVisualizer() {
  p_ = {3, 1, 1, 3, 1, 220, 1, 2, 1, 2000, 10, 70, 20, 0x00FF00, 0xFFFF00, 0xFF0000};
  Restyle();
}

void PresetVisualizer::SetProperty(int number, int32_t value) {
  if (number < 1 || number > kPropertyCount) return;
  if (p_[static_cast<size_t>(number - 1)] == value) return;
  p_[static_cast<size_t>(number - 1)] = value;
  Restyle();
}

int32_t PresetVisualizer::Property(int number) const {
  return number >= 1 && number <= kPropertyCount ? p_[static_cast<size_t>(number - 1)] : 0;
}

void PresetVisualizer::SetHold(bool on) {
  if (on == Dynamics().Hold()) return;
  Dynamics().SetHold(on);
  Publish();
}

bool PresetVisualizer::Hold() const { return Dynamics().Hold(); }

VisualizerCore::Look PresetVisualizer::CurrentLook() const {
  auto p = [this](int n) { return p_[static_cast<size_t>(n - 1)]; };
  Look look;
  look.style =
      p(1) >= VisualFrame::kScope && p(1) <= VisualFrame::kWaterfall ? p(1) : VisualFrame::kBars;
  look.palette = VisualFrame::kCustom;
  look.peaks = p(2) != 0;
  look.gradient = p(3) != 0;
  look.barWidth = std::clamp(p(4), 0, 64);
  look.gap = look.barWidth > 0 ? 1 : 0;
  look.grid = p(5) != 0;
  const double nyquist = Rate() / 2.0;
  const double high = p(6) > 0 ? std::min(50.0 * p(6), nyquist) : nyquist;
  look.axis = p(7) ? BandAxis{std::min(30.0, high / 4), high, true} : BandAxis{0.0, high, false};
  look.rows = p(8) == 2 && Channels() == 2 ? 2 : 1;
  look.decibels = p(9) != 0;
  look.rangeDb = static_cast<float>(std::clamp(p(12) > 0 ? p(12) : 60, 10, 120));
  look.dynamics.holdMs = std::max(0, p(10));
  look.dynamics.fallPerSecond = static_cast<float>(std::max(0, p(11))) / 100.0f;
  look.dynamics.smoothing = static_cast<float>(std::clamp(p(13), 0, 95)) / 100.0f;
  for (int i = 0; i < 3; ++i)
    look.colours[static_cast<size_t>(i)] = static_cast<uint32_t>(p(14 + i)) & 0xFFFFFFu;
  return look;
}

}  // namespace tarvexa
