#include "app/DevicePage.h"

#include <QtGui/QAction>
#include <QtGui/QActionGroup>
#include <QtWidgets/QButtonGroup>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QMenu>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QRadioButton>
#include <QtWidgets/QSlider>
#include <QtWidgets/QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "components/Component.h"
#include "components/MixerLevels.h"
#include "config/Settings.h"
#include "recording/DeviceProbe.h"
#include "soundserver/SourceWatcher.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The first menu command of the device list; the n-th device is 100 + n.
constexpr int kFirstDeviceCommand = 101;

QSlider* LevelSlider(QWidget* parent) {
  auto* s = new QSlider(Qt::Horizontal, parent);
  s->setRange(0, 100);
  s->setPageStep(10);
  s->setTickPosition(QSlider::TicksBelow);
  s->setTickInterval(10);
  return s;
}

}  // namespace

DevicePage::DevicePage(Settings& settings, Hooks hooks, QWidget* parent)
    : QWidget(parent),
      settings_(settings),
      hooks_(std::move(hooks)),
      backend_(&PortAudioDevices()),
      menuGroup_(new QActionGroup(this)) {
  menuGroup_->setExclusive(true);
  rule_.format = RateChannelMatrix::All();

  // The input devices.
  auto* deviceBox = new QGroupBox(tr("Input Device"), this);
  deviceList_ = new QListWidget(deviceBox);
  deviceList_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* deviceLayout = new QVBoxLayout(deviceBox);
  deviceLayout->addWidget(deviceList_);

  // The chosen device's input lines and their levels.
  auto* lineBox = new QGroupBox(tr("Input Line"), this);
  lineList_ = new QListWidget(lineBox);
  lineList_->setSelectionMode(QAbstractItemView::SingleSelection);
  volume_ = LevelSlider(lineBox);
  volumeLabel_ = new QLabel(lineBox);
  balance_ = LevelSlider(lineBox);
  balance_->setValue(mixer::kCentre);
  balanceLabel_ = new QLabel(lineBox);
  center_ = new QPushButton(tr("Center"), lineBox);
  center_->setAutoDefault(false);
  for (QLabel* l : {volumeLabel_, balanceLabel_})
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("Balance: -50")) + 8);
  auto* levels = new QGridLayout;
  levels->addWidget(volumeLabel_, 0, 0);
  levels->addWidget(volume_, 0, 1);
  levels->addWidget(balanceLabel_, 1, 0);
  levels->addWidget(balance_, 1, 1);
  levels->addWidget(center_, 1, 2);
  auto* lineLayout = new QVBoxLayout(lineBox);
  lineLayout->addWidget(lineList_, 1);
  lineLayout->addLayout(levels);

  // Channels and sampling frequency of the recording.
  auto* channelBox = new QGroupBox(tr("Channels"), this);
  mono_ = new QRadioButton(tr("Mono"), channelBox);
  stereo_ = new QRadioButton(tr("Stereo"), channelBox);
  auto* channelGroup = new QButtonGroup(this);
  channelGroup->addButton(mono_, 1);
  channelGroup->addButton(stereo_, 2);
  auto* channelLayout = new QVBoxLayout(channelBox);
  channelLayout->addWidget(mono_);
  channelLayout->addWidget(stereo_);
  channelLayout->addStretch(1);

  auto* rateBox = new QGroupBox(tr("Sampling Frequency"), this);
  auto* rateGroup = new QButtonGroup(this);
  auto* rateLayout = new QGridLayout(rateBox);
  for (size_t i = 0; i < rates_.size(); ++i) {
    rates_[i] = new QRadioButton(tr("%1 Hz").arg(SampleRateTable[i]), rateBox);
    rateGroup->addButton(rates_[i], static_cast<int>(i));
    rateLayout->addWidget(rates_[i], static_cast<int>(i / 4), static_cast<int>(i % 4));
  }

  // The input stream and the desktop's volume control.
  clip_ = new QCheckBox(tr("Clipping"), this);
  dither_ = new QCheckBox(tr("Dithering"), this);
  recordingControl_ = new QPushButton(tr("Launch System Recording Control"), this);
  playbackControl_ = new QPushButton(tr("Launch System Playback Control"), this);
  for (QPushButton* b : {recordingControl_, playbackControl_}) b->setAutoDefault(false);

  auto* top = new QHBoxLayout;
  top->addWidget(deviceBox, 1);
  top->addWidget(lineBox, 1);
  auto* middle = new QHBoxLayout;
  middle->addWidget(channelBox);
  middle->addWidget(rateBox, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(clip_);
  bottom->addWidget(dither_);
  bottom->addStretch(1);
  bottom->addWidget(recordingControl_);
  bottom->addWidget(playbackControl_);
  auto* page = new QVBoxLayout(this);
  page->addLayout(top, 1);
  page->addLayout(middle);
  page->addLayout(bottom);

  connect(deviceList_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) SetInputDevice(row);
  });
  connect(lineList_, &QListWidget::currentRowChanged, this, &DevicePage::LineChosen);
  connect(volume_, &QSlider::valueChanged, this, &DevicePage::VolumeMoved);
  connect(balance_, &QSlider::valueChanged, this, &DevicePage::BalanceMoved);
  connect(center_, &QPushButton::clicked, this, &DevicePage::Centre);
  connect(channelGroup, &QButtonGroup::idClicked, this, &DevicePage::ChannelsChosen);
  connect(rateGroup, &QButtonGroup::idClicked, this, &DevicePage::RateChosen);
  connect(clip_, &QCheckBox::toggled, this, [this](bool on) { settings_.DSP.Clip = on ? 1 : 0; });
  connect(dither_, &QCheckBox::toggled, this,
          [this](bool on) { settings_.DSP.Dither = on ? 1 : 0; });
  connect(recordingControl_, &QPushButton::clicked, this,
          [this] { LaunchControl(VolumeControlPage::Recording); });
  connect(playbackControl_, &QPushButton::clicked, this,
          [this] { LaunchControl(VolumeControlPage::Playback); });

  DisableLevels();
}

DevicePage::~DevicePage() {
  // No change may arrive from the watcher's thread while the page goes.
  if (watcher_) watcher_->Stop();
}

void DevicePage::SetBackend(AudioDeviceBackend* backend) {
  backend_ = backend ? backend : &PortAudioDevices();
}

void DevicePage::AttachMenu(QMenu* menu) { menu_ = menu; }

void DevicePage::Log(const std::string& text, int level) const {
  if (hooks_.log) hooks_.log(text, level);
}

void DevicePage::Load() {
  ShowSettings();
  Log(settings_.DSP.Clip ? "Enable clipping." : "Disable clipping.", 0);
  Log(settings_.DSP.Dither ? "Enable dithering." : "Disable dithering.", 0);
}

// ---------------------------------------------------------------- devices

DevicePage::InitResult DevicePage::InitDevices(AudioRecordRole* mixer, int* errorCode,
                                               std::string* error) {
  mixer_ = mixer;
  int code = 0;
  std::string text;
  if (!backend_->Initialize(&code, &text)) {
    if (errorCode) *errorCode = code;
    if (error) *error = text;
    return InitResult::Failed;
  }
  const int count = backend_->DeviceCount();
  if (count < 0) {
    if (errorCode) *errorCode = count;
    if (error) *error = backend_->ErrorText(count);
    return InitResult::Failed;
  }
  if (count == 0) return InitResult::NoDevice;

  char found[64];
  std::snprintf(found, sizeof found, "Found %d devices.", count);
  Log(found, -1);
  const int defaultInput = backend_->DefaultInputDevice();
  defaultInput_ = defaultInput;
  const int defaultOutput = backend_->DefaultOutputDevice();
  for (int i = 0; i < count; ++i) {
    AudioDeviceDescription d;
    if (!backend_->Describe(i, &d)) continue;
    for (const std::string& line : DeviceLogLines(d, defaultInput, defaultOutput)) Log(line, -1);
    if (d.maxInputChannels <= 0) continue;

    InputDeviceInfo info;
    info.index = i;
    info.name = d.name;
    info.hostApi = d.hostApi;
    info.maxInputChannels = d.maxInputChannels;
    info.defaultSampleRate = d.defaultSampleRate;
    AddDevice(info, i * 100 + PairMixer(PlainDeviceName(d.name)));

    // What the device can do, for the log only. The recorder records one or
    // two channels, so only those are probed: sound servers offer 32 or more
    // channels on their devices, and probing every count would cost seconds
    // at each start.
    const int probed = std::min(d.maxInputChannels, 2);
    for (int channels = 1; channels <= probed; ++channels)
      for (const std::string& line : ProbeLogLines(*backend_, i, channels)) Log(line, 0);
    if (d.maxInputChannels > probed)
      Log("(Rates for 3 to " + std::to_string(d.maxInputChannels) +
              " channels not probed: the recorder records mono or stereo.)",
          0);
  }

  StartSources();

  // The saved source by its name, else the saved device by its position.
  std::vector<int> indexes;
  for (const InputDeviceInfo& d : devices_) indexes.push_back(d.index);
  int position = ChooseDevicePosition(settings_.MISC.InputDevice, indexes, defaultInput);
  wantedSource_ = settings_.MISC.InputSourceName;
  if (!wantedSource_.empty()) {
    const int at = FindSource(sources_, wantedSource_);
    if (at >= 0) {
      position = static_cast<int>(devices_.size()) + at;
    } else {
      Log(MissingSourceLine(wantedSource_), 1);
      position = DefaultPosition();
    }
  }
  if (position >= 0) Select(position);
  return InitResult::Ready;
}

void DevicePage::AddDevice(const InputDeviceInfo& device, int data) {
  devices_.push_back(device);
  AddItem({device.index, data, PlainDeviceName(device.name), std::string()});
}

void DevicePage::AddItem(Item added) {
  const std::string name = added.name;
  const int data = added.data;
  items_.push_back(std::move(added));
  {
    const QSignalBlocker block(deviceList_);
    auto* item = new QListWidgetItem(Q(" " + name), deviceList_);
    item->setData(Qt::UserRole, data);
  }
  if (!menu_) return;
  if (items_.size() == 1) menu_->clear();  // the "No Device" placeholder
  QAction* a = menu_->addAction(Q(name));
  const int id = kFirstDeviceCommand - 1 + static_cast<int>(items_.size());
  a->setData(id);
  a->setCheckable(true);
  menuGroup_->addAction(a);
  connect(a, &QAction::triggered, this, [this, id] { DeviceCommand(id); });
}

// The mixer of the recording component that belongs to a device; 0 when no
// mixer with input lines has its name.
int DevicePage::PairMixer(const std::string& deviceName) const {
  if (!mixer_) return 0;
  const std::string wanted = MixerNameFor(deviceName);
  const int last = mixer_->MixerCount();
  for (int m = 0; m <= last; ++m) {
    if (!mixer_->SelectMixer(m) || !mixer_->MixerHasInputLines()) continue;
    if (wanted == mixer_->MixerName()) return m;
  }
  return 0;
}

// ------------------------------------------------------ sound-server sources

void DevicePage::StartSources() {
  watcher_ = std::make_unique<SourceWatcher>();
  std::string error;
  // The watcher reports on its own thread; the list changes on ours.
  const bool up = watcher_->Start(1000, &error, [this] {
    QMetaObject::invokeMethod(
        this, [this] { RefreshSources(); }, Qt::QueuedConnection);
  });
  if (!up) Log("No sound server (" + error + "); its sources are listed when it starts.", 0);
  sources_ = watcher_->Sources();
  for (const SoundServerSource& s : sources_) {
    Log("Input source: " + s.description + " (" + s.name + ")", -1);
    AddItem({-1, -1, s.description, s.name});
  }
}

void DevicePage::RefreshSources() {
  if (!watcher_) return;
  if (recording_) {  // the list stays as it is until the recording ends
    sourcesStale_ = true;
    return;
  }
  sourcesStale_ = false;
  std::vector<SoundServerSource> now = watcher_->Sources();
  auto same = [](const SoundServerSource& a, const SoundServerSource& b) {
    return a.name == b.name && a.description == b.description;
  };
  if (std::equal(now.begin(), now.end(), sources_.begin(), sources_.end(), same)) return;
  for (const SoundServerSource& s : now)
    if (FindSource(sources_, s.name) < 0) Log("Input source connected: " + s.description, -1);
  for (const SoundServerSource& s : sources_)
    if (FindSource(now, s.name) < 0) Log("Input source disconnected: " + s.description, -1);

  // The devices stay; the sources after them are listed anew.
  const std::string current = SourceName();
  const std::string currentName = SourceDescription();
  const int devices = static_cast<int>(devices_.size());
  {
    const QSignalBlocker block(deviceList_);
    while (deviceList_->count() > devices) delete deviceList_->takeItem(deviceList_->count() - 1);
  }
  const QList<QAction*> actions = MenuActions();
  for (int i = devices; i < actions.size(); ++i) {
    menuGroup_->removeAction(actions[i]);
    if (menu_) menu_->removeAction(actions[i]);
    delete actions[i];
  }
  items_.resize(static_cast<size_t>(devices));
  sources_ = std::move(now);
  for (const SoundServerSource& s : sources_) AddItem({-1, -1, s.description, s.name});

  const int wanted = wantedSource_.empty() ? -1 : FindSource(sources_, wantedSource_);
  if (wanted >= 0 && current == wantedSource_) {
    ShowPosition(devices + wanted);  // still there, perhaps elsewhere in the list
  } else if (wanted >= 0) {
    Select(devices + wanted);  // back: chosen again
  } else if (!current.empty()) {
    Log(MissingSourceLine(currentName), 1);
    Select(DefaultPosition());
  } else {
    ShowPosition(position_);
  }
}

int DevicePage::DefaultPosition() const {
  std::vector<int> indexes;
  for (const InputDeviceInfo& d : devices_) indexes.push_back(d.index);
  return ChooseDevicePosition(-1, indexes, defaultInput_);
}

std::string DevicePage::SourceName() const {
  return position_ >= 0 && position_ < static_cast<int>(items_.size())
             ? items_[static_cast<size_t>(position_)].source
             : std::string();
}

std::string DevicePage::SourceDescription() const {
  return SourceName().empty() ? std::string() : items_[static_cast<size_t>(position_)].name;
}

void DevicePage::SaveChoice() {
  if (!wantedSource_.empty()) {
    settings_.MISC.InputSourceName = wantedSource_;
    settings_.MISC.InputDevice = -1;
  } else if (position_ >= 0) {
    settings_.MISC.InputSourceName.clear();
    settings_.MISC.InputDevice = static_cast<int16_t>(position_);
  }
}

int DevicePage::ItemData(int position) const {
  return position >= 0 && position < static_cast<int>(items_.size())
             ? items_[static_cast<size_t>(position)].data
             : -1;
}

QList<QAction*> DevicePage::MenuActions() const { return menuGroup_->actions(); }

void DevicePage::DeviceCommand(int id) {
  if (hooks_.recording && hooks_.recording()) {
    ShowMessageBox(this, tr("You MUST Stop Recording First!"), QString::fromUtf8(kAppCaption),
                   QMessageBox::Critical);
    // The check stays with the device in use.
    const QList<QAction*> actions = MenuActions();
    if (position_ >= 0 && position_ < actions.size()) actions[position_]->setChecked(true);
    return;
  }
  int position = id - kFirstDeviceCommand;
  if (position < 0 || position >= static_cast<int>(items_.size())) position = 0;
  SetInputDevice(position);
}

void DevicePage::SetInputDevice(int position) {
  if (items_.empty()) return;
  if (position < 0 || position >= static_cast<int>(items_.size())) position = 0;
  wantedSource_ = items_[static_cast<size_t>(position)].source;
  Select(position);
}

void DevicePage::ShowPosition(int position) {
  position_ = position;
  {
    const QSignalBlocker block(deviceList_);
    deviceList_->setCurrentRow(position);
  }
  const QList<QAction*> actions = MenuActions();
  if (position >= 0 && position < actions.size()) actions[position]->setChecked(true);
}

void DevicePage::Select(int position) {
  if (items_.empty()) return;
  if (position < 0 || position >= static_cast<int>(items_.size())) position = 0;
  ShowPosition(position);

  const Item& item = items_[static_cast<size_t>(position)];
  const bool source = !item.source.empty();
  inputDevice_ = source ? -1 : item.data / 100;
  mixerIndex_ = source ? 0 : item.data - inputDevice_ * 100;
  mixerReady_ = !source && mixer_ && mixer_->SelectMixer(mixerIndex_);
  Log("Set Input Device: " + item.name, -1);

  // The pairs this device records, for the rate/channel rule; the sound
  // server converts its sources to any of them.
  matrix_ = source ? RateChannelMatrix::All() : ProbeDeviceMatrix(*backend_, inputDevice_);
  const RateChannelResult rule = RateChannelRule(settings_, matrix_);
  if (rule.changed && hooks_.applyFormat)
    hooks_.applyFormat();  // shows the corrected pair through ShowRateChannel
  else
    ShowRateChannel(rule);

  if (source) {  // the sound server sets its sources' levels
    const QSignalBlocker block(lineList_);
    lineList_->clear();
    DisableLevels();
    return;
  }
  FillLines();
}

RateChannelMatrix DevicePage::RuleMatrix() const {
  return position_ >= 0 ? matrix_ : RateChannelMatrix::All();
}

// ------------------------------------------------------------ input lines

void DevicePage::FillLines() {
  {
    const QSignalBlocker block(lineList_);
    lineList_->clear();
  }
  if (!mixerReady_) {
    Log("No mixer found for this input device: its input lines, volume and balance cannot be "
        "set here.",
        1);
    DisableLevels();
    return;
  }
  const int last = mixer_->LineCount();
  if (last < 0) {
    DisableLevels();
    ShowMessageBox(this, tr("No input line found!"), QString(), QMessageBox::Critical);
    return;
  }
  int chosen = mixer_->CurrentLine();
  bool inUse = false;
  {
    const QSignalBlocker block(lineList_);
    for (int i = 0; i <= last; ++i) {
      mixer_->SelectLine(i);
      lineList_->addItem(Q(std::string(" ") + mixer_->LineName()));
      if (!inUse && mixer_->LineSelected()) {
        chosen = i;
        inUse = true;
      }
    }
    if (chosen < 0 || chosen > last) chosen = 0;
    lineList_->setCurrentRow(chosen);
  }
  mixer_->SelectLine(chosen);
  RefreshLevels();
}

void DevicePage::LineChosen(int row) {
  if (!mixerReady_ || row < 0) return;
  mixer_->SelectLine(row);
  mixer_->UseLineForRecording();
  RefreshLevels();
}

void DevicePage::RefreshLevels() {
  const bool line = mixerReady_ && lineList_->currentRow() >= 0;
  const bool hasVolume = line && mixer_->VolumePresent();
  const bool hasBalance = line && mixer_->BalancePresent();
  const QSignalBlocker b1(volume_), b2(balance_);
  volume_->setEnabled(hasVolume);
  if (hasVolume) {
    volume_->setValue(mixer::VolumeToSlider(mixer_->Volume()));
    volumeLabel_->setText(tr("Volume: %1").arg(volume_->value()));
  } else {
    volumeLabel_->clear();
  }
  balance_->setEnabled(hasBalance);
  center_->setEnabled(hasBalance);
  if (hasBalance) {
    balance_->setValue(std::clamp(mixer_->Balance(), 0, 100));
    balanceLabel_->setText(tr("Balance: %1").arg(mixer::BalanceLabelValue(balance_->value())));
  } else {
    balanceLabel_->clear();
  }
}

void DevicePage::DisableLevels() {
  for (QWidget* w : std::initializer_list<QWidget*>{volume_, balance_, center_})
    w->setEnabled(false);
  volumeLabel_->clear();
  balanceLabel_->clear();
}

void DevicePage::VolumeMoved(int position) {
  if (!mixerReady_ || !volume_->isEnabled()) return;
  volumeLabel_->setText(tr("Volume: %1").arg(position));
  mixer_->SetVolume(mixer::SliderToVolume(position));
}

void DevicePage::BalanceMoved(int position) {
  if (!mixerReady_ || !balance_->isEnabled()) return;
  balanceLabel_->setText(tr("Balance: %1").arg(mixer::BalanceLabelValue(position)));
  mixer_->SetBalance(position);
}

void DevicePage::Centre() {
  if (!mixerReady_ || !balance_->isEnabled()) return;
  {
    const QSignalBlocker block(balance_);
    balance_->setValue(mixer::kCentre);
  }
  balanceLabel_->setText(tr("Balance: %1").arg(0));
  mixer_->SetBalance(mixer::kCentre);
}

// ------------------------------------------------ channels, rate, stream

void DevicePage::ChannelsChosen(int channels) {
  settings_.OUTPUT.Chan = static_cast<int16_t>(channels);
  if (hooks_.applyFormat)
    hooks_.applyFormat();
  else
    ShowSettings();
}

void DevicePage::RateChosen(int index) {
  settings_.OUTPUT.Freq = static_cast<int16_t>(index);
  if (hooks_.applyFormat)
    hooks_.applyFormat();
  else
    ShowSettings();
}

void DevicePage::ShowSettings() {
  const bool stereo = ChannelsOf(settings_) == 2;
  {
    const QSignalBlocker b1(mono_), b2(stereo_);
    (stereo ? stereo_ : mono_)->setChecked(true);
  }
  const int freq = settings_.OUTPUT.Freq;
  for (size_t i = 0; i < rates_.size(); ++i) {
    QRadioButton* b = rates_[i];
    const QSignalBlocker block(b);
    if (static_cast<int>(i) == freq) {
      b->setChecked(true);
    } else if (b->isChecked()) {
      // An exclusive group keeps its one checked button: let go of it.
      b->group()->setExclusive(false);
      b->setChecked(false);
      b->group()->setExclusive(true);
    }
  }
  const QSignalBlocker b3(clip_), b4(dither_);
  clip_->setChecked(settings_.DSP.Clip != 0);
  dither_->setChecked(settings_.DSP.Dither != 0);
}

void DevicePage::ShowRateChannel(const RateChannelResult& rule) {
  rule_ = rule;
  ShowSettings();
  const bool changeable = !recording_;
  mono_->setEnabled(changeable && rule.monoAllowed);
  stereo_->setEnabled(changeable && rule.stereoAllowed);
  const size_t row = static_cast<size_t>(ChannelsOf(settings_) - 1);
  const RateChannelMatrix device = RuleMatrix();
  for (size_t i = 0; i < rates_.size(); ++i)
    rates_[i]->setEnabled(changeable && rule.format.allowed[row][i] && device.allowed[row][i]);
}

void DevicePage::Stabilize(bool recording) {
  recording_ = recording;
  deviceList_->setEnabled(!recording);
  if (!recording && sourcesStale_) RefreshSources();
  ShowRateChannel(rule_);
}

// ------------------------------------------------- desktop volume control

void DevicePage::LaunchControl(VolumeControlPage page) {
  std::string error;
  // One more try before giving up.
  if (LaunchVolumeControl(page, &error) || LaunchVolumeControl(page, &error)) return;
  const bool recording = page == VolumeControlPage::Recording;
  ShowMessageBox(this,
                 recording ? tr("Fail to Launch Recording Volume & Balance Control!")
                           : tr("Fail to Launch Playback Volume & Balance Control!"),
                 QString(), QMessageBox::Critical);
  Log(recording ? "Fail to launch recording volume & balance control"
                : "Fail to launch playback volume & balance control",
      1);
  Log(error, 1);
}

}  // namespace tarvexa
