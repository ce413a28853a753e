#pragma once
// The audio components the recorder creates by name at start-up: each is a
// small shared library, <component folder>/<Name>.so, that exports
//
//   extern "C" TarvexaComponent* tarvexa_create_component(const char* name);
//
// The entry point answers only for the name it was built for (nullptr for
// any other) and the recorder gives the object back with Release(). The
// component's working interface for a role is asked for with Query().
// The recorder and the components come from one build, so these are plain
// C++ interfaces; kComponentAbi changes whenever one of them does.
// Thread affinity: the user-interface thread, unless a role says otherwise.

#include <cstddef>
#include <cstdint>

#include "recording/SampleTransform.h"

namespace tarvexa {

inline constexpr int kComponentAbi = 4;

class TarvexaComponent {
 public:
  virtual const char* Name() const = 0;
  virtual const char* Version() const = 0;
  virtual int Abi() const = 0;
  // The interface of a role (kRoleAudioRecord, ...), nullptr when the
  // component does not play it. The pointer lives as long as the component.
  virtual void* Query(const char* role) = 0;
  // Destroys the component.
  virtual void Release() = 0;

 protected:
  ~TarvexaComponent() = default;
};

inline constexpr const char* kRoleAudioRecord = "audio-record";
inline constexpr const char* kRoleWmaFile = "wma-file";
inline constexpr const char* kRoleWmaInfo = "wma-info";
inline constexpr const char* kRoleTransform = "transform";
inline constexpr const char* kRoleVisualization = "visualization";
inline constexpr const char* kRoleVisualType = "visual-type";      // visualizer 1
inline constexpr const char* kRoleVisualPreset = "visual-preset";  // visualizer 2

// The mixers of the input devices and their input lines (the device page).
// Calls address the selected mixer and, within it, the selected line; a
// call without one answers "none" (0, false, "") and changes nothing.
class AudioRecordRole {
 public:
  // The highest mixer index: mixers are 0 to MixerCount() inclusive; -1
  // when there is no mixer at all.
  virtual int MixerCount() = 0;
  // Addresses a mixer; false when there is no such mixer or it cannot be
  // opened (nothing is selected then).
  virtual bool SelectMixer(int index) = 0;
  virtual bool MixerHasInputLines() = 0;
  // The mixer's name: "default" for the default device's mixer, "hw:N" for
  // the mixer of card N.
  virtual const char* MixerName() = 0;

  // The highest line index of the selected mixer (lines are 0 to LineCount()
  // inclusive); negative when it has no input line.
  virtual int LineCount() = 0;
  // The index of the line in use: the one last made the recording source,
  // else the first that records, else 0.
  virtual int CurrentLine() = 0;
  // Addresses a line for the calls below; the mixer is not changed.
  virtual bool SelectLine(int index) = 0;
  // Makes the selected line the recording source (switches its capture on).
  virtual bool UseLineForRecording() = 0;
  virtual const char* LineName() = 0;
  // Whether the selected line records (its capture is switched on).
  virtual bool LineSelected() = 0;

  virtual bool VolumePresent() = 0;
  virtual bool BalancePresent() = 0;
  virtual int Volume() = 0;                  // 0..65535
  virtual void SetVolume(int volume) = 0;    // 0..65535, keeping the balance
  virtual int Balance() = 0;                 // 0..100, 50 the centre
  virtual void SetBalance(int balance) = 0;  // 0..100, keeping the volume

 protected:
  ~AudioRecordRole() = default;
};

// The WMA writer: the encoding profiles and the writing of WMA files (ASF
// files of Windows Media Audio 9.2). Each call answers true on success; on
// failure LastError() says why. An instance is used by one thread at a time:
// the window's on the user-interface thread, the one a recording loads for
// each file on its encoder thread.
class WmaFileRole {
 public:
  // Ends the file being written, leaving it complete with its index.
  virtual bool CloseOutput() = 0;
  // Starts a file at path with the selected profile, converting the input
  // format to the profile's. Refused for a profile that cannot be written as
  // it promises (ProfileRefusal); nothing is created then.
  virtual bool OpenOutput(const char* path) = 0;
  // Appends count interleaved 16-bit samples (whole frames) of the input format.
  virtual bool WriteSamples(const int16_t* samples, size_t count) = 0;
  // The PCM that follows: rate in Hz, 1 or 2 channels.
  virtual bool SetInputFormat(int rate, int channels) = 0;
  // Takes the profiles from a profile file. A file that cannot be read
  // leaves the profiles as they were (at first the built-in ones).
  virtual bool LoadProfileFile(const char* path) = 0;
  // Selects the profile of the next file.
  virtual bool SelectProfile(int number) = 0;
  // The selected profile's description; "" before a profile is selected.
  virtual const char* GetProfileDescription() = 0;
  // Why the selected profile cannot be written; "" when it can.
  virtual const char* ProfileRefusal() = 0;
  virtual const char* LastError() const = 0;

 protected:
  ~WmaFileRole() = default;
};

// Reading and writing the tags of WMA files (the metadata page). Calls
// address the file last opened. One caller at a time, on any thread (the
// metadata page calls from its worker thread).
class WmaInfoRole {
 public:
  // The attributes the metadata page reads and writes.
  static constexpr const char* kTitle = "Title";
  static constexpr const char* kAuthor = "Author";
  static constexpr const char* kAlbum = "WM/AlbumTitle";
  static constexpr const char* kGenre = "WM/Genre";
  static constexpr const char* kYear = "WM/Year";
  static constexpr const char* kTrack = "WM/TrackNumber";
  static constexpr const char* kDescription = "Description";

  // Reads the stream properties and attributes of a WMA (ASF) file; false
  // with ErrorText() when it is none or cannot be read.
  virtual bool Open(const char* path) = 0;
  virtual void Close() = 0;
  virtual int DurationSeconds() const = 0;
  virtual int BitrateKbps() const = 0;
  virtual int SampleRate() const = 0;  // Hz
  virtual int Channels() const = 0;
  // An attribute's value as UTF-8, "" when the file has none. Valid until
  // the next call.
  virtual const char* Attribute(const char* name) = 0;
  // Sets an attribute for the next Save; an empty value removes it.
  virtual void SetAttribute(const char* name, const char* value) = 0;
  // Writes the attributes set since Open into the file, through a copy that
  // replaces it only when complete. False with ErrorText() on failure.
  virtual bool Save() = 0;
  virtual const char* ErrorText() const = 0;

 protected:
  ~WmaInfoRole() = default;
};

// The sample processing stage: the engine's SampleTransform operations. Told
// the format of each recording before it starts; while the recording runs,
// its encoder thread is the only caller.
class TransformRole : public SampleTransform {
 public:
  void SetFormat(int channels, int rate) {
    SetChannels(channels);
    SetSampleRate(rate);
  }
  int Rate() const { return SampleRate(); }

 protected:
  ~TransformRole() = default;
};

// What a visualizer shows after its last block, in display terms; the
// window turns it into pixels. Values are rows of `points` numbers: the
// oscilloscope's samples in -1..1, a spectrum's bands in 0..1 from the
// lowest frequency up.
struct VisualFrame {
  enum Style : int { kScope, kBars, kCurve, kSegments, kMirror, kDots, kWaterfall };
  enum Palette : int { kPhosphor, kLinear, kNormal, kFire, kGlass, kKryptonite, kCustom };

  int style = kBars;
  int palette = kNormal;
  int rows = 0;                   // 1, or 2 (left, right)
  int points = 0;                 // values per row; 0 shows the empty display
  const float* values = nullptr;  // rows x points
  const float* peaks = nullptr;   // rows x points, nullptr when peaks are not shown
  int barWidth = 0;               // pixels of a band, 0 for one pixel column each
  int gap = 0;                    // pixels between bands
  bool grid = false;
  bool gradient = true;  // colour along each bar (else one colour per bar)
  uint32_t colours[3] = {0x00FF00, 0xFFFF00, 0xFF0000};  // 0xRRGGBB low, middle, high
  uint64_t serial = 0;                                   // changes whenever the content does
};

// Two rows share the display: side by side for the bar styles, one above
// the other for the oscilloscope, the waterfall and the mirror.
inline bool RowsSideBySide(int style) {
  return style == VisualFrame::kBars || style == VisualFrame::kCurve ||
         style == VisualFrame::kSegments || style == VisualFrame::kDots;
}

// A visualizer: fed the display copy of every captured block (one per
// 100 ms), drawn by the window from what Frame returns.
class VisualizationRole {
 public:
  virtual void SetFormat(int rate, int channels) = 0;
  virtual void Feed(const int16_t* samples, int count) = 0;
  // Copies up to max samples of the last block into out; returns how many.
  virtual int Snapshot(int16_t* out, int max) const = 0;
  virtual int Channels() const = 0;
  virtual void Clear() = 0;
  // The drawing area in pixels; the number of points follows from it.
  virtual void SetViewSize(int width, int height) = 0;
  // Valid until the next call of any other method.
  virtual const VisualFrame& Frame() const = 0;

 protected:
  ~VisualizationRole() = default;
};

// Visualizer 1: the visual type (0 Analog, 1 FFTLinear, 2 FFTNormal,
// 3 FFTFire, 4 FFTGlass, 5 FFTKryptonite) and the analysis block size in
// samples (a power of two, 64 to 16384). Values out of range are ignored.
class VisualTypeRole {
 public:
  virtual void SetVisualType(int type) = 0;
  virtual int VisualType() const = 0;
  virtual void SetBlockSize(int samples) = 0;
  virtual int BlockSize() const = 0;

 protected:
  ~VisualTypeRole() = default;
};

// Visualizer 2: sixteen numbered properties (1 to 16) and the hold switch.
// While hold is on the peak marks stay where they are; switching it off
// lets them start again from the bars.
class VisualPresetRole {
 public:
  static constexpr int kPropertyCount = 16;
  virtual void SetProperty(int number, int32_t value) = 0;
  virtual int32_t Property(int number) const = 0;
  virtual void SetHold(bool on) = 0;
  virtual bool Hold() const = 0;

 protected:
  ~VisualPresetRole() = default;
};

}  // namespace tarvexa

extern "C" {
// The one symbol every component library exports.
typedef tarvexa::TarvexaComponent* (*TarvexaCreateComponentFn)(const char* name);
}

#define TARVEXA_COMPONENT_ENTRY "tarvexa_create_component"
