// The "Device" page and the File, Device(s) menu with devices and mixers
// that stand in for PortAudio's and the recording component's: the start-up
// listing and its probe blocks, item data and menu commands, the choice of
// the saved or the default device, the refusal while recording, the device
// support table correcting the rate and channels, the input lines with their
// volume and balance, the channel and rate buttons, the clipping and
// dithering switches, the volume-control buttons, and the failures of the
// audio library.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QtGui/QAction>
#include <QtTest/QTest>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QMenu>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QRadioButton>
#include <QtWidgets/QSlider>
#include <set>
#include <tuple>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "app/DevicePage.h"
#include "components/Component.h"
#include "recording/DeviceProbe.h"

using namespace tarvexa;
using namespace tarvexa::test;

namespace {

// Devices from a table; every device answers the probe with `supported`.
class FakeDevices : public AudioDeviceBackend {
 public:
  bool Initialize(int* code, std::string* error) override {
    if (initError == 0) return true;
    *code = initError;
    *error = "Host error";
    return false;
  }
  int DeviceCount() override {
    return countOverride ? countOverride : static_cast<int>(devices.size());
  }
  std::string ErrorText(int code) override { return "Error " + std::to_string(code); }
  bool Describe(int index, AudioDeviceDescription* out) override {
    if (index < 0 || index >= static_cast<int>(devices.size())) return false;
    *out = devices[static_cast<size_t>(index)];
    return true;
  }
  int DefaultInputDevice() override { return defaultInput; }
  int DefaultOutputDevice() override { return defaultOutput; }
  bool IsFormatSupported(int device, int channels, double rate) override {
    return !unsupported.count({device, channels, static_cast<int>(rate)});
  }

  void Add(const std::string& name, int inputs, int outputs = 0) {
    AudioDeviceDescription d;
    d.index = static_cast<int>(devices.size());
    d.name = name;
    d.hostApi = "ALSA";
    d.maxInputChannels = inputs;
    d.maxOutputChannels = outputs;
    d.defaultSampleRate = 44100;
    devices.push_back(d);
  }

  std::vector<AudioDeviceDescription> devices;
  std::set<std::tuple<int, int, int>> unsupported;  // (device, channels, rate)
  int defaultInput = -1;
  int defaultOutput = -1;
  int initError = 0;
  int countOverride = 0;
};

struct FakeLine {
  std::string name;
  bool records = false;
  bool hasVolume = true;
  bool hasBalance = true;
  int volume = 0;
  int balance = 50;
};

// Mixers from a table, remembering what was set.
class FakeMixers : public AudioRecordRole {
 public:
  struct Mixer {
    std::string name;
    std::vector<FakeLine> lines;
    int current = 0;
  };

  int MixerCount() override { return static_cast<int>(mixers.size()) - 1; }
  bool SelectMixer(int index) override {
    mixer_ = index >= 0 && index < static_cast<int>(mixers.size()) ? index : -1;
    line_ = -1;
    if (mixer_ >= 0) selected.push_back(index);
    return mixer_ >= 0;
  }
  bool MixerHasInputLines() override { return M() && !M()->lines.empty(); }
  const char* MixerName() override { return M() ? M()->name.c_str() : ""; }
  int LineCount() override { return M() ? static_cast<int>(M()->lines.size()) - 1 : -1; }
  int CurrentLine() override { return M() ? M()->current : 0; }
  bool SelectLine(int index) override {
    line_ = M() && index >= 0 && index < static_cast<int>(M()->lines.size()) ? index : -1;
    return line_ >= 0;
  }
  bool UseLineForRecording() override {
    if (!L()) return false;
    for (auto& l : M()->lines) l.records = false;
    L()->records = true;
    M()->current = line_;
    used.push_back(L()->name);
    return true;
  }
  const char* LineName() override { return L() ? L()->name.c_str() : ""; }
  bool LineSelected() override { return L() && L()->records; }
  bool VolumePresent() override { return L() && L()->hasVolume; }
  bool BalancePresent() override { return L() && L()->hasBalance; }
  int Volume() override { return L() ? L()->volume : 0; }
  void SetVolume(int v) override {
    if (!L()) return;
    L()->volume = v;
    volumes.push_back(v);
  }
  int Balance() override { return L() ? L()->balance : 50; }
  void SetBalance(int b) override {
    if (!L()) return;
    L()->balance = b;
    balances.push_back(b);
  }

  std::vector<Mixer> mixers;
  std::vector<int> selected;
  std::vector<std::string> used;
  std::vector<int> volumes;
  std::vector<int> balances;

 private:
  Mixer* M() { return mixer_ >= 0 ? &mixers[static_cast<size_t>(mixer_)] : nullptr; }
  FakeLine* L() { return M() && line_ >= 0 ? &M()->lines[static_cast<size_t>(line_)] : nullptr; }
  int mixer_ = -1;
  int line_ = -1;
};

// PortAudio devices 0 (input, card 0), 1 and 2 (output only) and 3 (input,
// card 1, the default input); mixers "default" and "hw:1" (the second with
// lines), "hw:0" without lines.
struct TwoInputs {
  TwoInputs() {
    devices.Add("Internal Mic: ALC (hw:0,0) - Input", 1);
    devices.Add("Speakers - Output", 0, 2);
    devices.Add("HDMI (hw:0,3)", 0, 8);
    devices.Add("USB Headset: Audio (hw:1,0)", 2, 2);
    devices.defaultInput = 3;
    devices.defaultOutput = 1;
    mixers.mixers = {
        {"default", {{"Capture", true}}, 0},
        {"hw:1",
         {{"Mic", false, true, false, 13107},
          {"Line", true, true, true, 65535, 70},
          {"Mix", false, false, false}},
         0},
        {"hw:0", {}, 0},
    };
  }
  FakeDevices devices;
  FakeMixers mixers;
};

// A window over the devices and mixers of TwoInputs, which a test may change
// until the window starts.
struct FakeWindow : WindowFixture {
  explicit FakeWindow(const std::string& name) : WindowFixture(name) {
    Dlg().SetDeviceBackend(&fakes.devices);
    Dlg().SetMixerOverride(&fakes.mixers);
  }
  TwoInputs fakes;
};

std::vector<QString> Texts(QListWidget* list) {
  std::vector<QString> t;
  for (int i = 0; i < list->count(); ++i) t.push_back(list->item(i)->text());
  return t;
}

QMenu* DeviceMenu(CRecorderDlg& dlg) {
  for (QAction* a : dlg.MenuBar()->actions()) {
    if (!a->menu()) continue;
    for (QAction* b : a->menu()->actions())
      if (b->menu() && b->text() == "Device(s)") return b->menu();
  }
  return nullptr;
}

int CountOf(const LogLines& log, const std::string& text) {
  int n = 0;
  for (int i = log.Find(text); i >= 0; i = log.Find(text, i + 1)) ++n;
  return n;
}

std::string LongInput() {
  static const std::string path =
      MakeTestWav(ScratchDir("device-page-input") + "/long.wav", 44100, 2, 60.0);
  return path;
}

}  // namespace

TEST(DevicePage, StartUpListsEveryDeviceAndOffersTheInputs) {
  FakeWindow w("device-listing");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  DevicePage* page = dlg.GetDevicePage();
  const LogLines& log = w.Log();

  const int found = log.Find("Found 4 devices.");
  ASSERT_GT(found, log.Find("Initializing audio devices...")) << log.Dump();
  EXPECT_EQ(log.LevelOf("Found 4 devices."), -1);
  for (int i = 0; i < 4; ++i)
    EXPECT_TRUE(
        log.Has("-------------------Device #" + std::to_string(i) + "--------------------"));
  EXPECT_TRUE(log.Has("Name                        = Internal Mic: ALC (hw:0,0)"));
  EXPECT_TRUE(log.Has("Name                        = Speakers"));
  EXPECT_LT(log.Find("-------------------Device #3"),
            log.Find("This device is the default input device."));
  EXPECT_LT(log.Find("-------------------Device #1"),
            log.Find("This device is the default output device."));

  // One probe block per input channel: one for the mono microphone, two for
  // the headset, none for the outputs.
  EXPECT_EQ(CountOf(log, "Supported standard sample rates for half-duplex 1 channel input:"), 2);
  EXPECT_EQ(CountOf(log, "Supported standard sample rates for half-duplex 2 channel input:"), 1);
  EXPECT_EQ(log.LevelOf("Supported standard sample rates for half-duplex 2 channel input:"), 0);
  const int block = log.Find("Supported standard sample rates for half-duplex 2 channel input:");
  ASSERT_GE(block, 0);
  EXPECT_EQ(log.Lines()[static_cast<size_t>(block) + 1].text,
            "006000 Hz   008000 Hz   009600 Hz   011025 Hz   012000 Hz   016000 Hz   022050 Hz");
  EXPECT_EQ(log.Lines()[static_cast<size_t>(block) + 2].text,
            "024000 Hz   032000 Hz   044100 Hz   048000 Hz   088200 Hz   096000 Hz   192000 Hz");
  EXPECT_GT(block, log.Find("-------------------Device #3"));

  // The list: the two input devices with their item data; the headset's
  // card has a mixer with lines, the microphone's card mixer has none, so
  // it keeps mixer 0.
  EXPECT_EQ(Texts(page->DeviceList()),
            (std::vector<QString>{" Internal Mic: ALC (hw:0,0)", " USB Headset: Audio (hw:1,0)"}));
  EXPECT_EQ(page->ItemData(0), 0);
  EXPECT_EQ(page->ItemData(1), 301);
  EXPECT_EQ(page->DeviceList()->item(1)->data(Qt::UserRole).toInt(), 301);

  // The menu: commands 101 and 102, the placeholder gone, the default
  // input (nothing saved) checked.
  QMenu* menu = DeviceMenu(dlg);
  ASSERT_NE(menu, nullptr);
  const QList<QAction*> items = menu->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text(), "Internal Mic: ALC (hw:0,0)");
  EXPECT_EQ(items[0]->data().toInt(), 101);
  EXPECT_EQ(items[1]->data().toInt(), 102);
  EXPECT_TRUE(items[1]->isChecked());
  EXPECT_FALSE(items[0]->isChecked());

  EXPECT_EQ(page->Position(), 1);
  EXPECT_EQ(page->InputDevice(), 3);
  EXPECT_EQ(page->MixerIndex(), 1);
  EXPECT_EQ(page->DeviceList()->currentRow(), 1);
  EXPECT_TRUE(log.Has("Set Input Device: USB Headset: Audio (hw:1,0)"));
  EXPECT_LT(log.Find("Set Input Device:"), log.Find("Finished Initialization."));
  ASSERT_EQ(dlg.InputDevices().size(), 2u);
  EXPECT_EQ(dlg.InputDevices()[1].index, 3);

  // The saved position goes to Config.ini at exit.
  page->DeviceList()->setCurrentRow(0);
  EXPECT_EQ(page->InputDevice(), 0);
  EXPECT_EQ(page->MixerIndex(), 0);
  EXPECT_TRUE(items[0]->isChecked());
  dlg.ExitSequence();
  EXPECT_NE(ReadFile(w.Home() + "/Config.ini").find("InputDevice=0"), std::string::npos);
}

TEST(DevicePage, TheSavedDeviceIsChosenOnlyWhenItIsInTheList) {
  {
    FakeWindow w("device-saved");
    WriteFile(w.Home() + "/Config.ini", "[MISC]\nInputDevice=0\n");
    ASSERT_TRUE(w.Start(false));
    EXPECT_EQ(w.Dlg().GetDevicePage()->Position(), 0);
    EXPECT_EQ(w.Dlg().GetDevicePage()->InputDevice(), 0);
  }
  {
    // Position 5 with two input devices: the default input device instead.
    FakeWindow w("device-saved-out-of-range");
    WriteFile(w.Home() + "/Config.ini", "[MISC]\nInputDevice=5\n");
    ASSERT_TRUE(w.Start(false));
    EXPECT_EQ(w.Dlg().GetDevicePage()->Position(), 1);
    EXPECT_EQ(w.Dlg().GetDevicePage()->InputDevice(), 3);
  }
}

TEST(DevicePage, MenuCommandsChooseDevicesButNotWhileRecording) {
  FakeWindow w("device-menu");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  DevicePage* page = dlg.GetDevicePage();
  const QList<QAction*> items = page->MenuActions();
  ASSERT_EQ(items.size(), 2);

  items[0]->trigger();
  EXPECT_EQ(page->Position(), 0);
  EXPECT_EQ(page->DeviceList()->currentRow(), 0);
  EXPECT_TRUE(items[0]->isChecked());
  // An identifier beyond the list chooses the first device.
  page->DeviceCommand(102);
  EXPECT_EQ(page->Position(), 1);
  page->DeviceCommand(150);
  EXPECT_EQ(page->Position(), 0);
  EXPECT_TRUE(w.Boxes().Seen().empty());

  // While recording the choice is refused and nothing changes.
  w.UseInputFile(LongInput(), true);
  dlg.CurrentSettings().OUTPUT.OutputFormat = 1;
  ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(w.Home() + "/take.wav")));
  EXPECT_FALSE(page->DeviceList()->isEnabled());
  const int sets = CountOf(w.Log(), "Set Input Device:");
  items[1]->trigger();
  ASSERT_EQ(w.Boxes().Texts(), std::vector<QString>{"You MUST Stop Recording First!"});
  EXPECT_EQ(w.Boxes().Seen()[0].caption, "Tarvexa Sound Recorder");
  EXPECT_EQ(w.Boxes().Seen()[0].icon, QMessageBox::Critical);
  EXPECT_EQ(page->Position(), 0);
  EXPECT_EQ(page->InputDevice(), 0);
  EXPECT_TRUE(items[0]->isChecked()) << "the check stays with the device in use";
  EXPECT_FALSE(items[1]->isChecked());
  EXPECT_EQ(CountOf(w.Log(), "Set Input Device:"), sets);

  dlg.StopRecording();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.IsSessionActive(); }, 10000));
  EXPECT_TRUE(page->DeviceList()->isEnabled());
  items[1]->trigger();
  EXPECT_EQ(page->Position(), 1);
}

TEST(DevicePage, ADeviceWithout44100StereoCorrectsTheRateAndChannels) {
  FakeWindow w("device-rule");
  // The headset (the default) records neither 44100 Hz stereo nor anything
  // below 16000 Hz in mono; MP3 is the format.
  w.fakes.devices.unsupported = {{3, 2, 44100}, {3, 1, 8000}, {3, 1, 11025}, {3, 1, 12000}};
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  DevicePage* page = dlg.GetDevicePage();
  const Settings& s = dlg.CurrentSettings();
  ASSERT_EQ(s.OUTPUT.OutputFormat, 2);
  EXPECT_EQ(s.OUTPUT.Chan, 1);
  EXPECT_EQ(s.OUTPUT.Freq, 3);  // 16000 Hz mono, the first pair both allow
  EXPECT_TRUE(page->MonoButton()->isChecked());
  EXPECT_TRUE(page->RateButton(3)->isChecked());
  EXPECT_FALSE(page->RateButton(0)->isEnabled()) << "the device does not record 8000 Hz mono";
  EXPECT_TRUE(page->RateButton(8)->isEnabled());
  EXPECT_FALSE(page->RateButton(9)->isEnabled()) << "MP3 stops at 48000 Hz";
  EXPECT_FALSE(page->DeviceMatrix().allowed[1][7]);
  EXPECT_TRUE(page->DeviceMatrix().allowed[1][8]);

  // The microphone records everything: choosing it keeps the corrected pair.
  page->DeviceList()->setCurrentRow(0);
  EXPECT_EQ(s.OUTPUT.Chan, 1);
  EXPECT_EQ(s.OUTPUT.Freq, 3);
  EXPECT_TRUE(page->RateButton(0)->isEnabled());

  // Stereo at 44100 Hz is fine on the microphone's table...
  page->StereoButton()->click();
  page->RateButton(7)->click();
  EXPECT_EQ(s.OUTPUT.Chan, 2);
  EXPECT_EQ(s.OUTPUT.Freq, 7);
  // ...and corrected again, with the format re-applied, on the headset's.
  const int applied = CountOf(w.Log(), "Set audio format");
  page->DeviceList()->setCurrentRow(1);
  EXPECT_EQ(s.OUTPUT.Chan, 1);
  EXPECT_EQ(s.OUTPUT.Freq, 3);
  EXPECT_TRUE(page->MonoButton()->isChecked());
  EXPECT_GT(CountOf(w.Log(), "Set audio format"), applied) << w.Log().Dump();

  // WAV has no limits of its own; the headset's table holds all the same.
  dlg.CurrentSettings().OUTPUT.OutputFormat = 1;
  dlg.CurrentSettings().OUTPUT.Chan = 2;
  dlg.CurrentSettings().OUTPUT.Freq = 7;
  dlg.ApplyFormat();
  EXPECT_EQ(s.OUTPUT.Chan, 1);
  EXPECT_EQ(s.OUTPUT.Freq, 3);
  EXPECT_TRUE(page->RateButton(3)->isChecked());
}

TEST(DevicePage, ChannelAndRateButtonsSetTheSettingsAndReapplyTheFormat) {
  FakeWindow w("device-buttons");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  DevicePage* page = dlg.GetDevicePage();
  Settings& s = dlg.CurrentSettings();
  s.OUTPUT.OutputFormat = 1;  // WAV allows every pair
  dlg.ApplyFormat();
  EXPECT_TRUE(page->StereoButton()->isChecked());
  EXPECT_TRUE(page->RateButton(7)->isChecked());
  EXPECT_EQ(page->RateButton(7)->text(), "44100 Hz");

  page->MonoButton()->click();
  EXPECT_EQ(s.OUTPUT.Chan, 1);
  EXPECT_TRUE(dlg.StatusText(3).contains("Mono")) << dlg.StatusText(3).toStdString();
  page->RateButton(11)->click();
  EXPECT_EQ(s.OUTPUT.Freq, 11);
  EXPECT_TRUE(dlg.StatusText(3).contains("192000 Hz")) << dlg.StatusText(3).toStdString();
  EXPECT_TRUE(page->RateButton(11)->isChecked());
  EXPECT_FALSE(page->RateButton(7)->isChecked());

  // A format that forbids stereo disables it and moves to mono.
  s.OUTPUT.OutputFormat = 16;  // SVX: mono only
  s.OUTPUT.Chan = 2;
  dlg.ApplyFormat();
  EXPECT_EQ(s.OUTPUT.Chan, 1);
  EXPECT_FALSE(page->StereoButton()->isEnabled());
  EXPECT_TRUE(page->MonoButton()->isChecked());
}

TEST(DevicePage, InputLinesAndTheirLevels) {
  FakeWindow w("device-lines");
  ASSERT_TRUE(w.Start());
  DevicePage* page = w.Dlg().GetDevicePage();
  FakeMixers& mixers = w.fakes.mixers;

  // The headset's mixer (hw:1): its lines, the one in use chosen, listing
  // them changed nothing.
  EXPECT_EQ(Texts(page->LineList()), (std::vector<QString>{" Mic", " Line", " Mix"}));
  EXPECT_EQ(page->LineList()->currentRow(), 1);
  EXPECT_TRUE(mixers.used.empty());
  EXPECT_TRUE(mixers.volumes.empty());
  EXPECT_TRUE(page->VolumeSlider()->isEnabled());
  EXPECT_EQ(page->VolumeSlider()->value(), 100);
  EXPECT_EQ(page->VolumeLabel()->text(), "Volume: 100");
  EXPECT_EQ(page->BalanceSlider()->value(), 70);
  EXPECT_EQ(page->BalanceLabel()->text(), "Balance: 20");

  // Slider to volume: 100 sets 65535; the balance is passed as it is.
  page->VolumeSlider()->setValue(40);
  EXPECT_EQ(mixers.volumes.back(), 26214);
  EXPECT_EQ(page->VolumeLabel()->text(), "Volume: 40");
  page->VolumeSlider()->setValue(100);
  EXPECT_EQ(mixers.volumes.back(), 65535);
  page->BalanceSlider()->setValue(80);
  EXPECT_EQ(mixers.balances.back(), 80);
  EXPECT_EQ(page->BalanceLabel()->text(), "Balance: 30");
  page->CenterButton()->click();
  EXPECT_EQ(mixers.balances.back(), 50);
  EXPECT_EQ(page->BalanceSlider()->value(), 50);
  EXPECT_EQ(page->BalanceLabel()->text(), "Balance: 0");

  // Choosing a line makes it the recording source; a line without balance
  // disables that slider and empties its label.
  page->LineList()->setCurrentRow(0);
  EXPECT_EQ(mixers.used, std::vector<std::string>{"Mic"});
  EXPECT_EQ(page->VolumeSlider()->value(), 20);  // 13107
  EXPECT_FALSE(page->BalanceSlider()->isEnabled());
  EXPECT_FALSE(page->CenterButton()->isEnabled());
  EXPECT_TRUE(page->BalanceLabel()->text().isEmpty());
  page->LineList()->setCurrentRow(2);
  EXPECT_FALSE(page->VolumeSlider()->isEnabled());
  EXPECT_TRUE(page->VolumeLabel()->text().isEmpty());
  const size_t set = mixers.volumes.size();
  page->VolumeSlider()->setValue(10);
  EXPECT_EQ(mixers.volumes.size(), set) << "a disabled slider sets nothing";

  // The component remembers the line in use for the next visit.
  page->DeviceList()->setCurrentRow(0);
  EXPECT_EQ(Texts(page->LineList()), std::vector<QString>{" Capture"});
  page->DeviceList()->setCurrentRow(1);
  EXPECT_EQ(page->LineList()->currentRow(), 2);
}

TEST(DevicePage, MixersWithoutLinesAndDevicesWithoutMixers) {
  {
    // The chosen device's mixer has no input line at all.
    FakeWindow w("device-no-line");
    w.fakes.mixers.mixers[0].lines.clear();
    WriteFile(w.Home() + "/Config.ini", "[MISC]\nInputDevice=0\n");
    ASSERT_TRUE(w.Start());
    DevicePage* page = w.Dlg().GetDevicePage();
    EXPECT_TRUE(w.Boxes().Saw("No input line found!"));
    EXPECT_EQ(w.Boxes().Seen().back().icon, QMessageBox::Critical);
    EXPECT_EQ(page->LineList()->count(), 0);
    EXPECT_FALSE(page->VolumeSlider()->isEnabled());
    EXPECT_FALSE(page->BalanceSlider()->isEnabled());
  }
  {
    // No mixer at all: an empty list, disabled levels and a log line, no box.
    FakeWindow w("device-no-mixer");
    w.fakes.mixers.mixers.clear();
    ASSERT_TRUE(w.Start());
    DevicePage* page = w.Dlg().GetDevicePage();
    EXPECT_TRUE(w.Boxes().Seen().empty());
    EXPECT_EQ(page->ItemData(1), 300);
    EXPECT_EQ(page->LineList()->count(), 0);
    EXPECT_FALSE(page->VolumeSlider()->isEnabled());
    EXPECT_FALSE(page->CenterButton()->isEnabled());
    EXPECT_EQ(w.Log().LevelOf("No mixer found for this input device"), 1) << w.Log().Dump();
  }
}

TEST(DevicePage, ClippingAndDitheringAreLoggedWhenThePageOpensAndStored) {
  FakeWindow w("device-clip");
  WriteFile(w.Home() + "/Config.ini", "[DSP]\nClip=0\nDither=1\n");
  ASSERT_TRUE(w.Start(false));
  DevicePage* page = w.Dlg().GetDevicePage();
  EXPECT_EQ(w.Log().LevelOf("Disable clipping."), 0);
  EXPECT_EQ(w.Log().LevelOf("Enable dithering."), 0);
  EXPECT_FALSE(w.Log().Has("Enable clipping."));
  EXPECT_LT(w.Log().Find("Disable clipping."), w.Log().Find("Initializing main dialog..."));
  EXPECT_FALSE(page->ClipCheck()->isChecked());
  EXPECT_TRUE(page->DitherCheck()->isChecked());
  page->ClipCheck()->click();
  page->DitherCheck()->click();
  EXPECT_EQ(w.Dlg().CurrentSettings().DSP.Clip, 1);
  EXPECT_EQ(w.Dlg().CurrentSettings().DSP.Dither, 0);
}

TEST(DevicePage, VolumeControlButtonsStartTheDesktopMixerOrSaySo) {
  FakeWindow w("device-volume-control");
  ASSERT_TRUE(w.Start(false));
  DevicePage* page = w.Dlg().GetDevicePage();

  const std::string started = w.Home() + "/started";
  const std::string fake = w.Home() + "/mixer";
  WriteFile(fake, "#!/bin/sh\necho \"$*\" >> '" + started + "'\n");
  chmod(fake.c_str(), 0755);
  setenv("TARVEXA_VOLUME_CONTROL", fake.c_str(), 1);
  page->RecordingControlButton()->click();
  page->PlaybackControlButton()->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ReadFile(started).size() >= 16; }, 5000));
  EXPECT_NE(ReadFile(started).find("--tab=4\n"), std::string::npos);
  EXPECT_NE(ReadFile(started).find("--tab=3\n"), std::string::npos);
  EXPECT_TRUE(w.Boxes().Seen().empty());

  setenv("TARVEXA_VOLUME_CONTROL", (w.Home() + "/no-such-mixer").c_str(), 1);
  page->RecordingControlButton()->click();
  ASSERT_EQ(w.Boxes().Texts(),
            std::vector<QString>{"Fail to Launch Recording Volume & Balance Control!"});
  EXPECT_EQ(w.Boxes().Seen()[0].icon, QMessageBox::Critical);
  EXPECT_EQ(w.Log().LevelOf("Fail to launch recording volume & balance control"), 1);
  page->PlaybackControlButton()->click();
  EXPECT_TRUE(w.Boxes().Saw("Fail to Launch Playback Volume & Balance Control!"));
  EXPECT_EQ(w.Log().LevelOf("Fail to launch playback volume & balance control"), 1);
  EXPECT_TRUE(w.Log().Has("no-such-mixer")) << "the reason follows";
  unsetenv("TARVEXA_VOLUME_CONTROL");
}

TEST(DevicePage, FailuresOfTheAudioLibrary) {
  {
    FakeWindow w("device-init-failure");
    w.fakes.devices.initError = -9999;
    ASSERT_TRUE(w.Start(false));
    EXPECT_EQ(w.Log().LevelOf("An error occurred while using the stream."), 1);
    EXPECT_TRUE(w.Log().Has("Error number: -9999    Error message: Host error."));
    EXPECT_FALSE(w.Log().Has("Finished Initialization.")) << "start-up ends with the devices";
    EXPECT_EQ(w.Dlg().GetDevicePage()->DeviceList()->count(), 0);
  }
  {
    FakeWindow w("device-count-failure");
    w.fakes.devices.countOverride = -9996;
    ASSERT_TRUE(w.Start(false));
    EXPECT_TRUE(w.Log().Has("Error number: -9996    Error message: Error -9996."));
    EXPECT_FALSE(w.Log().Has("Finished Initialization."));
  }
  {
    FakeWindow w("device-none");
    w.fakes.devices.devices.clear();
    ASSERT_TRUE(w.Start(false));
    EXPECT_TRUE(w.Boxes().Saw("Warning: No Device Found !"));
    EXPECT_EQ(w.Log().LevelOf("Warning: No Device Found !"), 2);
    EXPECT_TRUE(w.Log().Has("Finished Initialization.")) << "start-up goes on";
    QMenu* menu = DeviceMenu(w.Dlg());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), "No Device");
    EXPECT_EQ(w.Dlg().GetDevicePage()->InputDevice(), -1);
    // Nothing chosen: the rule sees every pair.
    EXPECT_TRUE(w.Dlg().GetDevicePage()->RuleMatrix().allowed[1][7]);
  }
}
