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

#include <cstdint>

namespace tarvexa {

inline constexpr int kComponentAbi = 1;

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

// Mixer lines of the input devices (the device page). Filled by the device work.
class AudioRecordRole {
 public:
  virtual int MixerCount() const = 0;

 protected:
  ~AudioRecordRole() = default;
};

// The WMA writer.
class WmaFileRole {
 public:
  // The profile file the writer takes its encoding profiles from.
  virtual void SetProfileFile(const char* path) = 0;
  virtual const char* ProfileFile() const = 0;

 protected:
  ~WmaFileRole() = default;
};

// Reading and writing the tags of WMA files (the metadata page).
class WmaInfoRole {
 public:
  virtual bool CanRead(const char* path) const = 0;

 protected:
  ~WmaInfoRole() = default;
};

// The sample processing stage. Told the format of each recording before it starts.
class TransformRole {
 public:
  virtual void SetFormat(int channels, int rate) = 0;
  virtual int Channels() const = 0;
  virtual int Rate() const = 0;

 protected:
  ~TransformRole() = default;
};

// A visualizer: fed the display copy of every captured block, drawn by the
// window from what Snapshot returns.
class VisualizationRole {
 public:
  virtual void SetFormat(int rate, int channels) = 0;
  virtual void Feed(const int16_t* samples, int count) = 0;
  // Copies up to max samples of the last block into out; returns how many.
  virtual int Snapshot(int16_t* out, int max) const = 0;
  virtual int Channels() const = 0;
  virtual void Clear() = 0;

 protected:
  ~VisualizationRole() = default;
};

}  // namespace tarvexa

extern "C" {
// The one symbol every component library exports.
typedef tarvexa::TarvexaComponent* (*TarvexaCreateComponentFn)(const char* name);
}

#define TARVEXA_COMPONENT_ENTRY "tarvexa_create_component"
