#pragma once
// Every setting of the recorder, one field per key of Config.ini, grouped by
// the INI section it is stored in, with its built-in value (the value of a
// first start); loaded and saved by ConfigStore. VisitSettings below lists
// the keys in the order they are written, with their ranges.
// Thread affinity: owned by the user-interface thread; a recording takes a copy.

#include <array>
#include <cstdint>
#include <string>

namespace tarvexa {

struct Settings {
  struct MiscSection {
    int32_t Vis1 = 1;
    int32_t Vis2 = 1;
    int32_t AmpBar = 1;
    int16_t BlockSize = 2;
    int16_t VisTyp = 1;
    int16_t VisPst = 3;
    int16_t Split = 0;
    int16_t SplitHour = 0;
    int16_t SplitMin = 0;
    int16_t SplitSec = 30;
    int32_t Stop = 0;
    int16_t StopHour = 0;
    int16_t StopMin = 2;
    int16_t StopSec = 30;
    int32_t MinToTray = 0;
    int32_t CloseToTray = 0;
    int32_t PowerAlwOn = 1;
    int32_t DispAlwOn = 1;
    int16_t ActAftRec = 2;
    int16_t Rename = 5;
    int16_t timestamp = 2;
    int16_t RecPro = 0;
    int16_t EncPro = 0;
    int16_t InputDevice = -1;
    // The sound-server source chosen instead of a device, by its server
    // name (it survives reboots and reordering); empty: a device.
    std::string InputSourceName;
    int32_t Mute = 1;
    int32_t HotKey = 0;  // a file without the key reads 1 (MissingKeyDefaults)
    int32_t WriteLog = 1;
    std::string RenameStr = "%of%(Splitted Clip %sc%)";
    int32_t Tip = 1;  // read and written only by the tip of the day
  } MISC;
  struct DspSection {
    int32_t Amp = 0;
    int16_t AmpN = 100;
    int32_t Nor = 0;
    int16_t NorN = 50;
    int32_t Res = 0;
    int16_t ResN = 100;
    int32_t NorLev = 1;
    int32_t Clip = 1;
    int32_t Dither = 1;
  } DSP;
  struct SilSection {
    int32_t Det = 0;
    int16_t SilLev = -40;
    int16_t SilTime = 30;
    int16_t NoiLev = -40;
    int16_t NoiTime = 60;
    int32_t Split = 0;
    int32_t StopSilence = 0;
  } SIL;
  struct OutputSection {
    int16_t OutputFormat = 2;
    int16_t Freq = 7;
    int16_t Chan = 2;
  } OUTPUT;
  struct WavSection {
    int16_t SubFormat = 1;
  } WAV;
  struct AiffSection {
    int16_t SubFormat = 2;  // a file without the key reads 0 (MissingKeyDefaults)
    int16_t Ext = 0;
  } AIFF;
  struct Mp3Section {
    int16_t LameTab = 1;
    int16_t LameBits = 11;
    int16_t LameChannel = 1;
    int16_t LameQuality = 5;
    int16_t LameCodingMode = 2;
    int16_t LameMaxVBRBit = 16;
    int16_t LameQualityVBR = 500;
    int16_t LameTargetBit = 128;
    int16_t LameMinVBRBit = 0;
    int32_t LameWriteHead = 1;
    int32_t LameHFil = 0;
    int32_t LameLFil = 0;
    int32_t LameHFilFreq = 30;
    int32_t LameHFilWid = 5;
    int32_t LameLFilFreq = 15160;
    int32_t LameLFilWid = 750;
    int16_t LamePreset = 1;
    int32_t LameBitsRes = 1;
    int32_t LameComplyISO = 0;
    int32_t LameCopyRight = 0;
    int32_t LameCRC = 0;
    int32_t LameOriginal = 0;
    int32_t LamePrivate = 0;
  } MP3;
  struct Mp2Section {
    int16_t Bits = 11;
    int16_t Channel = 0;
    int32_t CopyRight = 0;
    int32_t Original = 0;
  } MP2;
  struct ApeSection {
    int16_t CompLev = 3000;
  } APE;
  struct FlacSection {
    int32_t Native = 1;
    int32_t Verify = 0;
    int16_t CompLev = 5;
    int16_t BlockSize = 0;
  } FLAC;
  struct WmaSection {
    int16_t Profile = 47;
  } WMA;
  struct VqfSection {
    int16_t Profile = 18;
    int16_t Quality = 16;
  } VQF;
  struct OggSection {
    int32_t Quality = 1;
    int32_t VBR = 0;
    int16_t NomiBit = 11;
    int16_t MaxBit = 11;
    int16_t MinBit = 11;
    int16_t QualityCompression = 35;
  } OGG;
  struct AacSection {
    int16_t ContainerFormat = 3;
    int32_t FAACEncMode = 0;
    int16_t FAACQuality = 100;
    int16_t FAACAbr = 128;
    int16_t FAACObjType = 0;
    int16_t FAACBlkType = 0;
    int32_t FAACTns = 0;
    int32_t FAACMidside = 0;
    int32_t MPEGVer = 1;
    int16_t NEROEncMode = 0;
    int16_t NEROQuality = 35;
    int32_t NEROEncCbr = 96000;
    int32_t NEROAbr = 96000;
    int16_t NEROForPro = 0;
    int32_t CTCbr = 128000;
    int32_t CTPs = 0;
    int32_t CTIs = 0;
    int32_t CTMono = 0;
    int16_t CTForPro = 0;
    int32_t CTSpeech = 0;
    int32_t CTPns = 0;
  } AAC;
  struct MpcSection {
    int16_t Ext = 0;
    int16_t Quality = 50;
    int16_t Preset = 3;
  } MPC;
  struct WvSection {
    int32_t Merge = 0;
    int32_t Dynamic = 0;
    int32_t EncMod = 0;
    int16_t ComLev = 1;
    int32_t EnableBlkSize = 0;
    int32_t BlkSize = 65536;
    int16_t ExtMod = 0;
    int16_t SteMod = 0;
    int32_t CrtWvc = 0;
    int32_t OptWvc = 0;
    int32_t CalNos = 0;
    int32_t EnableShape = 0;
    int16_t Shape = 0;
    int16_t Kbps = 320;
  } WV;
  struct OtherSection {
    std::array<int16_t, 18> Codec{};
    std::array<int16_t, 18> Ext{};
  } OTHER;
  struct CustomSection {
    std::string Encoder = "/usr/bin/lame";
    std::string Parameter = "-V0 - %of%";
    std::string FileExt = "mp3";
    int16_t Input = 0;
    int32_t Detail = 1;
  } CUSTOM;
};

enum class KeyWidth { I16, I32 };

// The value each key takes when Config.ini or the key is missing: the
// built-in value above, except that a file without them has the global
// hotkeys on and AIFF in unsigned 8 bit (a first start, without a file, has
// them off and in signed 16 bit).
inline const Settings& MissingKeyDefaults() {
  static const Settings defaults = [] {
    Settings d;
    d.MISC.HotKey = 1;
    d.AIFF.SubFormat = 0;
    return d;
  }();
  return defaults;
}

// Calls v(section, key, field, missingDefault, min, max) for every numeric key
// and v(section, key, field, missingDefault, limit) for every string key, in
// the order the keys are written. min > max means the key has no range check.
template <class S, class V>
void VisitSettings(S& s, V&& v) {
  const Settings& d = MissingKeyDefaults();
  // The key is the field's name; the string key's limit counts the
  // terminator.
#define TARVEXA_KEY(section, key, min, max) \
  v(#section, std::string(#key), s.section.key, d.section.key, min, max)
#define TARVEXA_TEXT_KEY(section, key, limit) \
  v(#section, std::string(#key), s.section.key, d.section.key, limit)
  TARVEXA_KEY(MISC, Vis1, 1, 0);
  TARVEXA_KEY(MISC, Vis2, 1, 0);
  TARVEXA_KEY(MISC, AmpBar, 1, 0);
  TARVEXA_KEY(MISC, BlockSize, 0, 6);
  TARVEXA_KEY(MISC, VisTyp, 0, 5);
  TARVEXA_KEY(MISC, VisPst, 0, 7);
  TARVEXA_KEY(MISC, Split, 1, 0);
  TARVEXA_KEY(MISC, SplitHour, 0, 23);
  TARVEXA_KEY(MISC, SplitMin, 0, 59);
  TARVEXA_KEY(MISC, SplitSec, 0, 59);
  TARVEXA_KEY(MISC, Stop, 1, 0);
  TARVEXA_KEY(MISC, StopHour, 0, 23);
  TARVEXA_KEY(MISC, StopMin, 0, 59);
  TARVEXA_KEY(MISC, StopSec, 0, 59);
  TARVEXA_KEY(MISC, MinToTray, 1, 0);
  TARVEXA_KEY(MISC, CloseToTray, 1, 0);
  TARVEXA_KEY(MISC, PowerAlwOn, 1, 0);
  TARVEXA_KEY(MISC, DispAlwOn, 1, 0);
  TARVEXA_KEY(MISC, ActAftRec, 0, 7);
  TARVEXA_KEY(MISC, Rename, 1, 0);
  TARVEXA_KEY(MISC, timestamp, 1, 0);
  TARVEXA_KEY(MISC, RecPro, 0, 5);
  TARVEXA_KEY(MISC, EncPro, 0, 5);
  TARVEXA_KEY(MISC, InputDevice, 1, 0);
  TARVEXA_TEXT_KEY(MISC, InputSourceName, 1024);
  TARVEXA_KEY(MISC, Mute, 1, 0);
  TARVEXA_KEY(MISC, HotKey, 1, 0);
  TARVEXA_KEY(MISC, WriteLog, 1, 0);
  TARVEXA_TEXT_KEY(MISC, RenameStr, 1024);
  TARVEXA_KEY(DSP, Amp, 1, 0);
  TARVEXA_KEY(DSP, AmpN, 1, 0);
  TARVEXA_KEY(DSP, Nor, 1, 0);
  TARVEXA_KEY(DSP, NorN, 1, 0);
  TARVEXA_KEY(DSP, Res, 1, 0);
  TARVEXA_KEY(DSP, ResN, 1, 0);
  TARVEXA_KEY(DSP, NorLev, 1, 0);
  TARVEXA_KEY(DSP, Clip, 1, 0);
  TARVEXA_KEY(DSP, Dither, 1, 0);
  TARVEXA_KEY(SIL, Det, 1, 0);
  TARVEXA_KEY(SIL, SilLev, -92, 0);
  TARVEXA_KEY(SIL, SilTime, 5, 900);
  TARVEXA_KEY(SIL, NoiLev, -92, 0);
  TARVEXA_KEY(SIL, NoiTime, 5, 900);
  TARVEXA_KEY(SIL, Split, 1, 0);
  TARVEXA_KEY(SIL, StopSilence, 1, 0);
  TARVEXA_KEY(OUTPUT, OutputFormat, 1, 31);
  TARVEXA_KEY(OUTPUT, Freq, 0, 11);
  TARVEXA_KEY(OUTPUT, Chan, 1, 2);
  TARVEXA_KEY(WAV, SubFormat, 1, 0);
  TARVEXA_KEY(AIFF, SubFormat, 1, 0);
  TARVEXA_KEY(AIFF, Ext, 1, 0);
  TARVEXA_KEY(MP3, LameTab, 1, 0);
  TARVEXA_KEY(MP3, LameBits, 0, 16);
  TARVEXA_KEY(MP3, LameChannel, 0, 2);
  TARVEXA_KEY(MP3, LameQuality, 0, 9);
  TARVEXA_KEY(MP3, LameCodingMode, 0, 4);
  TARVEXA_KEY(MP3, LameMaxVBRBit, 0, 16);
  TARVEXA_KEY(MP3, LameQualityVBR, 1, 0);
  TARVEXA_KEY(MP3, LameTargetBit, 1, 0);
  TARVEXA_KEY(MP3, LameMinVBRBit, 0, 16);
  TARVEXA_KEY(MP3, LameWriteHead, 1, 0);
  TARVEXA_KEY(MP3, LameHFil, 1, 0);
  TARVEXA_KEY(MP3, LameLFil, 1, 0);
  TARVEXA_KEY(MP3, LameHFilFreq, 1, 0);
  TARVEXA_KEY(MP3, LameHFilWid, 1, 0);
  TARVEXA_KEY(MP3, LameLFilFreq, 1, 0);
  TARVEXA_KEY(MP3, LameLFilWid, 1, 0);
  TARVEXA_KEY(MP3, LamePreset, 0, 17);
  TARVEXA_KEY(MP3, LameBitsRes, 1, 0);
  TARVEXA_KEY(MP3, LameComplyISO, 1, 0);
  TARVEXA_KEY(MP3, LameCopyRight, 1, 0);
  TARVEXA_KEY(MP3, LameCRC, 1, 0);
  TARVEXA_KEY(MP3, LameOriginal, 1, 0);
  TARVEXA_KEY(MP3, LamePrivate, 1, 0);
  TARVEXA_KEY(MP2, Bits, 0, 17);
  TARVEXA_KEY(MP2, Channel, 0, 3);
  TARVEXA_KEY(MP2, CopyRight, 1, 0);
  TARVEXA_KEY(MP2, Original, 1, 0);
  TARVEXA_KEY(APE, CompLev, 1, 0);
  TARVEXA_KEY(FLAC, Native, 1, 0);
  TARVEXA_KEY(FLAC, Verify, 1, 0);
  TARVEXA_KEY(FLAC, CompLev, 0, 8);
  TARVEXA_KEY(FLAC, BlockSize, 0, 10);
  TARVEXA_KEY(WMA, Profile, 1, 125);
  TARVEXA_KEY(VQF, Profile, 1, 0);
  TARVEXA_KEY(VQF, Quality, 1, 0);
  TARVEXA_KEY(OGG, Quality, 1, 0);
  TARVEXA_KEY(OGG, VBR, 1, 0);
  TARVEXA_KEY(OGG, NomiBit, 0, 16);
  TARVEXA_KEY(OGG, MaxBit, 0, 16);
  TARVEXA_KEY(OGG, MinBit, 0, 16);
  TARVEXA_KEY(OGG, QualityCompression, 1, 0);
  TARVEXA_KEY(AAC, ContainerFormat, 0, 8);
  TARVEXA_KEY(AAC, FAACEncMode, 1, 0);
  TARVEXA_KEY(AAC, FAACQuality, 1, 0);
  TARVEXA_KEY(AAC, FAACAbr, 1, 0);
  TARVEXA_KEY(AAC, FAACObjType, 1, 0);
  TARVEXA_KEY(AAC, FAACBlkType, 1, 0);
  TARVEXA_KEY(AAC, FAACTns, 1, 0);
  TARVEXA_KEY(AAC, FAACMidside, 1, 0);
  TARVEXA_KEY(AAC, MPEGVer, 1, 0);
  TARVEXA_KEY(AAC, NEROEncMode, 1, 0);
  TARVEXA_KEY(AAC, NEROQuality, 1, 0);
  TARVEXA_KEY(AAC, NEROEncCbr, 1, 0);
  TARVEXA_KEY(AAC, NEROAbr, 1, 0);
  TARVEXA_KEY(AAC, NEROForPro, 1, 0);
  TARVEXA_KEY(AAC, CTCbr, 1, 0);
  TARVEXA_KEY(AAC, CTPs, 1, 0);
  TARVEXA_KEY(AAC, CTIs, 1, 0);
  TARVEXA_KEY(AAC, CTMono, 1, 0);
  TARVEXA_KEY(AAC, CTForPro, 1, 0);
  TARVEXA_KEY(AAC, CTSpeech, 1, 0);
  TARVEXA_KEY(AAC, CTPns, 1, 0);
  TARVEXA_KEY(MPC, Ext, 0, 2);
  TARVEXA_KEY(MPC, Quality, 1, 0);
  TARVEXA_KEY(MPC, Preset, 1, 0);
  TARVEXA_KEY(WV, Merge, 1, 0);
  TARVEXA_KEY(WV, Dynamic, 1, 0);
  TARVEXA_KEY(WV, EncMod, 1, 0);
  TARVEXA_KEY(WV, ComLev, 1, 0);
  TARVEXA_KEY(WV, EnableBlkSize, 1, 0);
  TARVEXA_KEY(WV, BlkSize, 1, 0);
  TARVEXA_KEY(WV, ExtMod, 1, 0);
  TARVEXA_KEY(WV, SteMod, 1, 0);
  TARVEXA_KEY(WV, CrtWvc, 1, 0);
  TARVEXA_KEY(WV, OptWvc, 1, 0);
  TARVEXA_KEY(WV, CalNos, 1, 0);
  TARVEXA_KEY(WV, EnableShape, 1, 0);
  TARVEXA_KEY(WV, Shape, 1, 0);
  TARVEXA_KEY(WV, Kbps, 1, 0);
  for (int i = 0; i < 18; ++i) {
    v("OTHER", "Codec" + std::to_string(i), s.OTHER.Codec[i], d.OTHER.Codec[i], 1, 0);
    v("OTHER", "Ext" + std::to_string(i), s.OTHER.Ext[i], d.OTHER.Ext[i], 1, 0);
  }
  TARVEXA_TEXT_KEY(CUSTOM, Encoder, 512);
  TARVEXA_TEXT_KEY(CUSTOM, Parameter, 1024);
  TARVEXA_TEXT_KEY(CUSTOM, FileExt, 8);
  TARVEXA_KEY(CUSTOM, Input, 1, 0);
  TARVEXA_KEY(CUSTOM, Detail, 1, 0);
#undef TARVEXA_KEY
#undef TARVEXA_TEXT_KEY
}

}  // namespace tarvexa
