#pragma once
// The "Device" page and the File, Device(s) menu: the input devices with
// their mixers, the input lines of the chosen device with their volume and
// balance, the channel count and sampling frequency of the recording, the
// clipping and dithering switches of the input stream, and the buttons that
// start the desktop's volume control.
//
// InitDevices() is the device part of start-up: it lists every device in the
// event log, fills the list and the menu with the input devices (each paired
// with the recording component's mixer of the same name), logs the sample
// rates each one supports and chooses the saved device. Choosing a device
// (SetInputDevice) probes its support table, which the rate/channel rule
// reads together with the format's (RuleMatrix()).
//
// After the devices come the sound server's sources by their descriptions,
// monitors of outputs included; the list follows them as they come and go.
// A chosen source is remembered by its name: when it is not there (at start,
// or gone since) the default device stands in for it with a log line, and
// it is chosen again when it comes back, unless another choice was made.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/FormatCatalogue.h"
#include "platform/AudioSystem.h"
#include "platform/VolumeControl.h"
#include "soundserver/SourceWatcher.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QSlider;

namespace tarvexa {

class AudioDeviceBackend;
class AudioRecordRole;
struct Settings;

class DevicePage : public QWidget {
  Q_OBJECT

 public:
  struct Hooks {
    std::function<void(const std::string& text, int level)> log;
    std::function<bool()> recording;    // a recording session is active
    std::function<void()> applyFormat;  // re-applies the output format
  };
  DevicePage(Settings& settings, Hooks hooks, QWidget* parent = nullptr);
  ~DevicePage() override;

  // The device list comes from backend (not owned; PortAudio by default).
  void SetBackend(AudioDeviceBackend* backend);
  // Fills this menu with one radio item per input device (its placeholder
  // item goes when the first device comes). Not owned.
  void AttachMenu(QMenu* menu);

  // Shows the settings (channels, rate, clipping, dithering) and logs the
  // clipping and dithering state.
  void Load();

  enum class InitResult { Failed, NoDevice, Ready };
  // The start-up listing, with mixer (may be nullptr) for the input lines.
  // Failed: the library did not come up or could not count its devices
  // (*errorCode, *error). NoDevice: it has none; nothing was listed.
  InitResult InitDevices(AudioRecordRole* mixer, int* errorCode, std::string* error);

  // Chooses the device or source at a list position (out of range:
  // position 0).
  void SetInputDevice(int position);
  // A File, Device(s) command, 101 for the first device: refused with a
  // message while recording; an identifier beyond the list chooses the first.
  void DeviceCommand(int id);

  // Enables what the state allows: no device, channel or rate change while
  // a recording runs.
  void Stabilize(bool recording);
  // Shows the outcome of the rate/channel rule: the channel and rate
  // choices, enabled as the format and the device allow.
  void ShowRateChannel(const RateChannelResult& rule);

  // The support table of the chosen device; every pair before a device is
  // chosen.
  RateChannelMatrix RuleMatrix() const;
  const RateChannelMatrix& DeviceMatrix() const { return matrix_; }
  // The chosen device's library index (-1: none) and its list position.
  int InputDevice() const { return inputDevice_; }
  int Position() const { return position_; }
  int MixerIndex() const { return mixerIndex_; }
  const std::vector<InputDeviceInfo>& Devices() const { return devices_; }
  // Item data of a list position: device index x 100 + mixer index; -1 for
  // a sound-server source.
  int ItemData(int position) const;
  // The sound server's sources as listed, after the devices.
  const std::vector<SoundServerSource>& Sources() const { return sources_; }
  // The server name of the chosen source; empty when a device is chosen.
  std::string SourceName() const;
  std::string SourceDescription() const;
  // Puts the choice into the settings: the device's list position, or the
  // source's name (the device index then -1, the default).
  void SaveChoice();

  QListWidget* DeviceList() const { return deviceList_; }
  QListWidget* LineList() const { return lineList_; }
  QSlider* VolumeSlider() const { return volume_; }
  QLabel* VolumeLabel() const { return volumeLabel_; }
  QSlider* BalanceSlider() const { return balance_; }
  QLabel* BalanceLabel() const { return balanceLabel_; }
  QPushButton* CenterButton() const { return center_; }
  QRadioButton* MonoButton() const { return mono_; }
  QRadioButton* StereoButton() const { return stereo_; }
  QRadioButton* RateButton(int index) const { return rates_[static_cast<size_t>(index)]; }
  QCheckBox* ClipCheck() const { return clip_; }
  QCheckBox* DitherCheck() const { return dither_; }
  QPushButton* RecordingControlButton() const { return recordingControl_; }
  QPushButton* PlaybackControlButton() const { return playbackControl_; }
  QList<QAction*> MenuActions() const;

 private:
  struct Item {
    int device = -1;  // library index; -1 for a source
    int data = 0;     // device x 100 + mixer; -1 for a source
    std::string name;
    std::string source;  // the server name of a source
  };

  void Log(const std::string& text, int level) const;
  void AddDevice(const InputDeviceInfo& device, int data);
  void AddItem(Item item);
  void StartSources();
  void RefreshSources();
  int DefaultPosition() const;
  // Shows and uses the item at a position, without changing what the user
  // asked for.
  void Select(int position);
  void ShowPosition(int position);
  int PairMixer(const std::string& deviceName) const;
  void FillLines();
  void LineChosen(int row);
  void RefreshLevels();
  void DisableLevels();
  void VolumeMoved(int position);
  void BalanceMoved(int position);
  void Centre();
  void ChannelsChosen(int channels);
  void RateChosen(int index);
  void ShowSettings();
  void LaunchControl(VolumeControlPage page);

  Settings& settings_;
  Hooks hooks_;
  AudioDeviceBackend* backend_;
  AudioRecordRole* mixer_ = nullptr;
  QMenu* menu_ = nullptr;
  QActionGroup* menuGroup_;

  std::vector<Item> items_;
  std::vector<InputDeviceInfo> devices_;
  std::vector<SoundServerSource> sources_;
  std::unique_ptr<SourceWatcher> watcher_;
  int defaultInput_ = -1;
  std::string wantedSource_;   // the source asked for, also while it is away
  bool sourcesStale_ = false;  // changes wait for the recording's end
  int position_ = -1;
  int inputDevice_ = -1;
  int mixerIndex_ = 0;
  bool mixerReady_ = false;  // the chosen device's mixer is selected
  RateChannelMatrix matrix_ = RateChannelMatrix::All();
  RateChannelResult rule_;
  bool recording_ = false;

  QListWidget* deviceList_;
  QListWidget* lineList_;
  QSlider* volume_;
  QLabel* volumeLabel_;
  QSlider* balance_;
  QLabel* balanceLabel_;
  QPushButton* center_;
  QRadioButton* mono_;
  QRadioButton* stereo_;
  std::array<QRadioButton*, 12> rates_{};
  QCheckBox* clip_;
  QCheckBox* dither_;
  QPushButton* recordingControl_;
  QPushButton* playbackControl_;
};

}  // namespace tarvexa
