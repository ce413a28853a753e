// The window parts of the format families: one line per family (see
// formats/ui/FormatFamilyUi.h).
#include "formats/ui/FormatFamilyUi.h"
#include "formats/ui/pages/AacPages.h"
#include "formats/ui/pages/ApePages.h"
#include "formats/ui/pages/CustomPages.h"
#include "formats/ui/pages/EncoderPages.h"
#include "formats/ui/pages/FlacPages.h"
#include "formats/ui/pages/Mp2Pages.h"
#include "formats/ui/pages/Mp3Pages.h"
#include "formats/ui/pages/MpcPages.h"
#include "formats/ui/pages/OggPages.h"
#include "formats/ui/pages/VqfPages.h"
#include "formats/ui/pages/WmaPages.h"
#include "formats/ui/pages/WvPages.h"

namespace tarvexa {

const std::vector<FormatFamilyUi>& FormatFamiliesUi() {
  static const std::vector<FormatFamilyUi> table = {
      SoundFileFamilyUi(),       // WAV, AIFF, AU ... SD2
      Mp3FamilyUi(),             // MP3
      WmaFamilyUi(),             // WMA
      OggVorbisFamilyUi(),       // OGG
      ApeFamilyUi(),             // APE
      FlacFamilyUi(),            // FLAC, Ogg FLAC
      Mp2FamilyUi(),             // MP2
      VqfFamilyUi(),             // VQF
      AacFamilyUi(),             // AAC
      MpcFamilyUi(),             // MPC
      WavPackFamilyUi(),         // WV
      UserCustomizedFamilyUi(),  // User-Customized
  };
  return table;
}

}  // namespace tarvexa
