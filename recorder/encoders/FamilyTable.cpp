// The table of format families: one line per family. A new family is a
// folder under encoders/ with its descriptor (see formats/FormatFamily.h),
// registered here by its header and its line.
#include <array>

#include "encoders/ape/ApeFamily.h"
#include "encoders/external/ExternalFamilies.h"
#include "encoders/flac/FlacFamily.h"
#include "encoders/mp2/Mp2Family.h"
#include "encoders/mp3/Mp3Family.h"
#include "encoders/ogg/OggVorbisFamily.h"
#include "encoders/soundfile/SoundFileFamily.h"
#include "encoders/vqf/VqfFamily.h"
#include "encoders/wavpack/WavPackFamily.h"
#include "encoders/wma/WmaFamily.h"
#include "formats/FormatFamily.h"

namespace tarvexa {

const std::vector<const FormatFamily*>& FormatFamilies() {
  static const std::vector<const FormatFamily*> table = {
      &SoundFileFamily(),      // WAV, AIFF, AU ... SD2
      &Mp3Family(),            // MP3
      &WmaFamily(),            // WMA
      &OggVorbisFamily(),      // OGG
      &ApeFamily(),            // APE
      &FlacFamily(),           // FLAC
      &Mp2Family(),            // MP2
      &VqfFamily(),            // VQF
      &AacFamily(),            // AAC
      &MusepackFamily(),       // MPC
      &WavPackFamily(),        // WV
      &CustomEncoderFamily(),  // User-Customized
  };
  return table;
}

const FormatFamily* FamilyOf(int format) {
  // Code -> family, made once from the table; a code claimed twice keeps
  // its first family (the table test reports it).
  static const std::array<const FormatFamily*, kLastFormat + 1> byCode = [] {
    std::array<const FormatFamily*, kLastFormat + 1> a{};
    for (const FormatFamily* family : FormatFamilies()) {
      for (int code : family->codes) {
        if (code >= kFirstFormat && code <= kLastFormat && !a[static_cast<size_t>(code)])
          a[static_cast<size_t>(code)] = family;
      }
    }
    return a;
  }();
  if (format < kFirstFormat || format > kLastFormat) return nullptr;
  return byCode[static_cast<size_t>(format)];
}

}  // namespace tarvexa
