#pragma once
// A saved user-customised encoder (".ces" file): the encoder path, the
// parameters, the file extension, the input type and the write-details
// flag, serialised field by field with no count, class tag or version: the
// three strings each as a length prefix and their bytes (the prefix is one
// byte below 255; else 0xFF and a 16-bit length below 0xFFFE; else 0xFF,
// 0xFFFF and a 32-bit length), then the input type in 2 bytes and the flag
// in 4, little-endian.
// Thread affinity: any thread.

#include <cstdint>
#include <string>
#include <vector>

#include "config/Settings.h"

namespace tarvexa {

inline constexpr char kCesLoadError[] = "An Error Occurred While Loading.";
inline constexpr char kCesSaveError[] = "An Error Occurred While Saving.";

class CCusSetting {
 public:
  std::string encoder;
  std::string parameter;
  std::string fileExt;
  int16_t input = 0;
  int32_t detail = 1;

  static CCusSetting From(const Settings::CustomSection& c);
  void ApplyTo(Settings::CustomSection& c) const;

  // The bytes of a ".ces" file.
  std::vector<uint8_t> Serialize() const;
  // False for anything that is not exactly one setting: short or trailing
  // bytes, a string longer than its Config.ini key holds, an input type
  // other than 0 or 1. *out is unchanged then.
  static bool Deserialize(const std::vector<uint8_t>& bytes, CCusSetting* out);
};

// Reads a ".ces" file; false when it cannot be read or is not one.
bool LoadCesFile(const std::string& path, CCusSetting* out);
// Writes the bytes of `setting` into an existing or new file; false (with
// the reason in *error) when that fails.
bool SaveCesFile(const std::string& path, const CCusSetting& setting, std::string* error);

}  // namespace tarvexa
