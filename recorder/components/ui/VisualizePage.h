#pragma once
// The "Visualize" page: switches visualizer 1, visualizer 2 and the
// amplitude bars on and off, and chooses visualizer 1's visual type and
// block size and visualizer 2's preset. Every choice is stored in the
// settings at once and reaches the visualizer at once; the two visualizer
// switches and the bars' switch write a line to the event log.
// Load() shows the settings without side effects; Initialize() is the
// page's start in the window's start-up (it logs the visualizers' state
// and passes the type and block size on). ApplyPreset() sets visualizer 2's
// sixteen properties from the chosen preset.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;

namespace tarvexa {

class VisualDisplays;
struct Settings;

class VisualizePage : public QWidget {
  Q_OBJECT

 public:
  using LogFn = std::function<void(const std::string& text, int level)>;
  static constexpr int kTypeCount = 6;
  static constexpr int kBlockSizeCount = 7;
  static constexpr int kPresetCount = 8;
  using PresetRow = std::array<int32_t, 16>;

  VisualizePage(Settings& settings, VisualDisplays& displays, LogFn log, QWidget* parent = nullptr);

  void Load();
  void Initialize();
  // Applies "VisPst": hold off, the sixteen properties, the log line.
  void ApplyPreset();

  // Block size of list index 0..6 (64 .. 16384), 0 for any other index.
  static int BlockSizeOf(int index);
  // Row of preset index 0..7, nullptr for any other index.
  static const PresetRow* Preset(int index);

  QCheckBox* Vis1Check() const { return vis1_; }
  QCheckBox* Vis2Check() const { return vis2_; }
  QCheckBox* AmpBarCheck() const { return ampBar_; }
  QRadioButton* TypeButton(int type) const { return types_[static_cast<size_t>(type)]; }
  QComboBox* BlockSizeList() const { return blockSize_; }
  QComboBox* PresetList() const { return preset_; }

 private:
  void Vis1Toggled(bool on);
  void Vis2Toggled(bool on);
  void AmpBarToggled(bool on);
  void TypeChosen(int type);
  void BlockSizeChosen(int index);
  void PresetChosen(int index);
  void Stabilize();

  Settings& settings_;
  VisualDisplays& displays_;
  LogFn log_;
  QCheckBox* vis1_;
  QCheckBox* vis2_;
  QCheckBox* ampBar_;
  QButtonGroup* typeGroup_;
  std::array<QRadioButton*, kTypeCount> types_{};
  QLabel* blockSizeLabel_;
  QComboBox* blockSize_;
  QLabel* presetLabel_;
  QComboBox* preset_;
};

}  // namespace tarvexa
