#include "components/ui/VisualDisplays.h"

#include "components/AudioComponents.h"
#include "config/Settings.h"
#include "widgets/AmpBar.h"
#include "widgets/VisualizerView.h"

namespace tarvexa {

VisualDisplays::VisualDisplays(Settings& settings, VisualizerView* vis1, VisualizerView* vis2,
                               AmpBar* left, AmpBar* right, QObject* parent)
    : QObject(parent), settings_(settings), view1_(vis1), view2_(vis2), left_(left), right_(right) {
  holdTimer_.setSingleShot(true);
  holdTimer_.setInterval(kHoldMs);
  connect(&holdTimer_, &QTimer::timeout, this, [this] {
    if (preset_) preset_->SetHold(false);
    Refresh(2);
  });
}

void VisualDisplays::Attach(const AudioComponents& components) {
  vis_[0] = components.Visualizer(1);
  vis_[1] = components.Visualizer(2);
  const ComponentHandle& one = components.Get(ComponentId::Visualization);
  const ComponentHandle& two = components.Get(ComponentId::VisualizationEx);
  type_ = one.As<VisualTypeRole>(kRoleVisualType);
  preset_ = two.As<VisualPresetRole>(kRoleVisualPreset);
  view1_->SetVisualization(vis_[0]);
  view2_->SetVisualization(vis_[1]);
}

void VisualDisplays::Detach() {
  holdTimer_.stop();
  view1_->SetVisualization(nullptr);
  view2_->SetVisualization(nullptr);
  vis_[0] = vis_[1] = nullptr;
  type_ = nullptr;
  preset_ = nullptr;
}

VisualizationRole* VisualDisplays::Visualizer(int which) const {
  return which == 1 ? vis_[0] : which == 2 ? vis_[1] : nullptr;
}
VisualTypeRole* VisualDisplays::Visualizer1() const { return type_; }
VisualPresetRole* VisualDisplays::Visualizer2() const { return preset_; }

void VisualDisplays::Block(const std::vector<int16_t>& samples, int channels, bool shown) {
  ++count_.blocks;
  if (!shown || samples.empty()) return;
  ++count_.shown;
  const int count = static_cast<int>(samples.size());
  if (settings_.MISC.AmpBar) {
    int l = 0, r = 0;
    AmpBar::LevelsOf(samples.data(), samples.size(), channels, &l, &r);
    left_->SetLevel(l);
    right_->SetLevel(r);
    ++count_.levels;
  }
  if (settings_.MISC.Vis1 && vis_[0]) {
    vis_[0]->Feed(samples.data(), count);
    view1_->update();
    ++count_.fed1;
  }
  if (settings_.MISC.Vis2 && vis_[1]) {
    vis_[1]->Feed(samples.data(), count);
    view2_->update();
    ++count_.fed2;
  }
}

void VisualDisplays::RecordingStarted(int rate, int channels) {
  for (VisualizationRole* v : vis_)
    if (v) v->SetFormat(rate, channels);
}

void VisualDisplays::RecordingFinished() {
  if (vis_[0]) vis_[0]->Clear();
  Refresh(1);
  HoldVisualizer2();
  SetBarsAtRest();
}

void VisualDisplays::ClearBoth() {
  for (VisualizationRole* v : vis_)
    if (v) v->Clear();
  Refresh(1);
  Refresh(2);
}

void VisualDisplays::SetBarsAtRest() {
  left_->SetLevel(AmpBar::kRestLevel);
  right_->SetLevel(AmpBar::kRestLevel);
}

void VisualDisplays::HoldVisualizer2() {
  if (preset_) preset_->SetHold(true);
  if (vis_[1]) vis_[1]->Clear();
  Refresh(2);
  holdTimer_.start();
}

void VisualDisplays::Refresh(int which) {
  if (VisualizerView* v = View(which)) v->update();
}

}  // namespace tarvexa
