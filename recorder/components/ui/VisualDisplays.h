#pragma once
// The recording's displays beside the time: the two visualizers and the two
// amplitude bars. Takes every display block of a recording, counts it, and
// when the window shows it sets the bars and feeds the visualizers that
// are on; resets them at the end of a recording and runs the window's timer
// 5, which lets visualizer 2's held peak marks go eight seconds later.
// The counters let tests and the benchmark see what was drawn.
// Thread affinity: the user-interface thread.

#include <QtCore/QObject>
#include <QtCore/QTimer>
#include <cstdint>
#include <vector>

#include "components/Component.h"

namespace tarvexa {

class AmpBar;
class AudioComponents;
class VisualizerView;
struct Settings;

class VisualDisplays : public QObject {
  Q_OBJECT

 public:
  static constexpr int kHoldMs = 8000;  // timer 5

  VisualDisplays(Settings& settings, VisualizerView* vis1, VisualizerView* vis2, AmpBar* left,
                 AmpBar* right, QObject* parent = nullptr);

  // Binds the views to the created components; Detach lets go of them
  // before they are released.
  void Attach(const AudioComponents& components);
  void Detach();

  VisualizationRole* Visualizer(int which) const;  // 1 or 2; nullptr before Attach
  VisualTypeRole* Visualizer1() const;
  VisualPresetRole* Visualizer2() const;
  VisualizerView* View(int which) const { return which == 1 ? view1_ : view2_; }

  // A display block of the recording (empty when the recording sends none).
  // shown is false while the window is minimised, hidden in the tray or no
  // recording runs: the block is only counted.
  void Block(const std::vector<int16_t>& samples, int channels, bool shown);
  // Both visualizers are told the format of the recording.
  void RecordingStarted(int rate, int channels);
  // Visualizer 1 cleared; visualizer 2 held and cleared, timer 5 started;
  // both bars at rest.
  void RecordingFinished();

  void ClearBoth();
  void SetBarsAtRest();
  // Visualizer 2 switched off: held, cleared, timer 5 started.
  void HoldVisualizer2();
  // Redraws a visualizer after its settings changed.
  void Refresh(int which);

  QTimer& HoldTimer() { return holdTimer_; }

  struct Counters {
    int blocks = 0;  // every block received
    int shown = 0;   // blocks that reached the displays
    int levels = 0;  // level-bar updates
    int fed1 = 0;    // blocks handed to visualizer 1
    int fed2 = 0;    // and to visualizer 2
  };
  const Counters& Count() const { return count_; }

 private:
  Settings& settings_;
  VisualizerView* view1_;
  VisualizerView* view2_;
  AmpBar* left_;
  AmpBar* right_;
  VisualizationRole* vis_[2] = {nullptr, nullptr};
  VisualTypeRole* type_ = nullptr;
  VisualPresetRole* preset_ = nullptr;
  QTimer holdTimer_;
  Counters count_;
};

}  // namespace tarvexa
