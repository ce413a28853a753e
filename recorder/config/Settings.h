#pragma once
// Every setting of the recorder, one field per key of Config.ini, grouped by
// the INI section it is stored in. Loaded and saved by ConfigStore.
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
    int32_t Mute = 1;
    int32_t HotKey = 0;
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
    int16_t SubFormat = 2;
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

// Calls v(section, key, field, missingDefault, min, max) for every numeric key
// and v(section, key, field, missingDefault, limit) for every string key, in
// the order the keys are written. min > max means the key has no range check.
template <class S, class V>
void VisitSettings(S& s, V&& v) {
  v("MISC", std::string("Vis1"), s.MISC.Vis1, 1, 1, 0);
  v("MISC", std::string("Vis2"), s.MISC.Vis2, 1, 1, 0);
  v("MISC", std::string("AmpBar"), s.MISC.AmpBar, 1, 1, 0);
  v("MISC", std::string("BlockSize"), s.MISC.BlockSize, 2, 0, 6);
  v("MISC", std::string("VisTyp"), s.MISC.VisTyp, 1, 0, 5);
  v("MISC", std::string("VisPst"), s.MISC.VisPst, 3, 0, 7);
  v("MISC", std::string("Split"), s.MISC.Split, 0, 1, 0);
  v("MISC", std::string("SplitHour"), s.MISC.SplitHour, 0, 0, 23);
  v("MISC", std::string("SplitMin"), s.MISC.SplitMin, 0, 0, 59);
  v("MISC", std::string("SplitSec"), s.MISC.SplitSec, 30, 0, 59);
  v("MISC", std::string("Stop"), s.MISC.Stop, 0, 1, 0);
  v("MISC", std::string("StopHour"), s.MISC.StopHour, 0, 0, 23);
  v("MISC", std::string("StopMin"), s.MISC.StopMin, 2, 0, 59);
  v("MISC", std::string("StopSec"), s.MISC.StopSec, 30, 0, 59);
  v("MISC", std::string("MinToTray"), s.MISC.MinToTray, 0, 1, 0);
  v("MISC", std::string("CloseToTray"), s.MISC.CloseToTray, 0, 1, 0);
  v("MISC", std::string("PowerAlwOn"), s.MISC.PowerAlwOn, 1, 1, 0);
  v("MISC", std::string("DispAlwOn"), s.MISC.DispAlwOn, 1, 1, 0);
  v("MISC", std::string("ActAftRec"), s.MISC.ActAftRec, 2, 0, 7);
  v("MISC", std::string("Rename"), s.MISC.Rename, 5, 1, 0);
  v("MISC", std::string("timestamp"), s.MISC.timestamp, 2, 1, 0);
  v("MISC", std::string("RecPro"), s.MISC.RecPro, 0, 0, 5);
  v("MISC", std::string("EncPro"), s.MISC.EncPro, 0, 0, 5);
  v("MISC", std::string("InputDevice"), s.MISC.InputDevice, -1, 1, 0);
  v("MISC", std::string("Mute"), s.MISC.Mute, 1, 1, 0);
  v("MISC", std::string("HotKey"), s.MISC.HotKey, 1, 1, 0);
  v("MISC", std::string("WriteLog"), s.MISC.WriteLog, 1, 1, 0);
  v("MISC", std::string("RenameStr"), s.MISC.RenameStr, std::string("%of%(Splitted Clip %sc%)"), 1024);
  v("DSP", std::string("Amp"), s.DSP.Amp, 0, 1, 0);
  v("DSP", std::string("AmpN"), s.DSP.AmpN, 100, 1, 0);
  v("DSP", std::string("Nor"), s.DSP.Nor, 0, 1, 0);
  v("DSP", std::string("NorN"), s.DSP.NorN, 50, 1, 0);
  v("DSP", std::string("Res"), s.DSP.Res, 0, 1, 0);
  v("DSP", std::string("ResN"), s.DSP.ResN, 100, 1, 0);
  v("DSP", std::string("NorLev"), s.DSP.NorLev, 1, 1, 0);
  v("DSP", std::string("Clip"), s.DSP.Clip, 1, 1, 0);
  v("DSP", std::string("Dither"), s.DSP.Dither, 1, 1, 0);
  v("SIL", std::string("Det"), s.SIL.Det, 0, 1, 0);
  v("SIL", std::string("SilLev"), s.SIL.SilLev, -40, -92, 0);
  v("SIL", std::string("SilTime"), s.SIL.SilTime, 30, 5, 900);
  v("SIL", std::string("NoiLev"), s.SIL.NoiLev, -40, -92, 0);
  v("SIL", std::string("NoiTime"), s.SIL.NoiTime, 60, 5, 900);
  v("SIL", std::string("Split"), s.SIL.Split, 0, 1, 0);
  v("SIL", std::string("StopSilence"), s.SIL.StopSilence, 0, 1, 0);
  v("OUTPUT", std::string("OutputFormat"), s.OUTPUT.OutputFormat, 2, 1, 31);
  v("OUTPUT", std::string("Freq"), s.OUTPUT.Freq, 7, 0, 11);
  v("OUTPUT", std::string("Chan"), s.OUTPUT.Chan, 2, 1, 2);
  v("WAV", std::string("SubFormat"), s.WAV.SubFormat, 1, 1, 0);
  v("AIFF", std::string("SubFormat"), s.AIFF.SubFormat, 0, 1, 0);
  v("AIFF", std::string("Ext"), s.AIFF.Ext, 0, 1, 0);
  v("MP3", std::string("LameTab"), s.MP3.LameTab, 1, 1, 0);
  v("MP3", std::string("LameBits"), s.MP3.LameBits, 11, 0, 16);
  v("MP3", std::string("LameChannel"), s.MP3.LameChannel, 1, 0, 2);
  v("MP3", std::string("LameQuality"), s.MP3.LameQuality, 5, 0, 9);
  v("MP3", std::string("LameCodingMode"), s.MP3.LameCodingMode, 2, 0, 4);
  v("MP3", std::string("LameMaxVBRBit"), s.MP3.LameMaxVBRBit, 16, 0, 16);
  v("MP3", std::string("LameQualityVBR"), s.MP3.LameQualityVBR, 500, 1, 0);
  v("MP3", std::string("LameTargetBit"), s.MP3.LameTargetBit, 128, 1, 0);
  v("MP3", std::string("LameMinVBRBit"), s.MP3.LameMinVBRBit, 0, 0, 16);
  v("MP3", std::string("LameWriteHead"), s.MP3.LameWriteHead, 1, 1, 0);
  v("MP3", std::string("LameHFil"), s.MP3.LameHFil, 0, 1, 0);
  v("MP3", std::string("LameLFil"), s.MP3.LameLFil, 0, 1, 0);
  v("MP3", std::string("LameHFilFreq"), s.MP3.LameHFilFreq, 30, 1, 0);
  v("MP3", std::string("LameHFilWid"), s.MP3.LameHFilWid, 5, 1, 0);
  v("MP3", std::string("LameLFilFreq"), s.MP3.LameLFilFreq, 15160, 1, 0);
  v("MP3", std::string("LameLFilWid"), s.MP3.LameLFilWid, 750, 1, 0);
  v("MP3", std::string("LamePreset"), s.MP3.LamePreset, 1, 0, 17);
  v("MP3", std::string("LameBitsRes"), s.MP3.LameBitsRes, 1, 1, 0);
  v("MP3", std::string("LameComplyISO"), s.MP3.LameComplyISO, 0, 1, 0);
  v("MP3", std::string("LameCopyRight"), s.MP3.LameCopyRight, 0, 1, 0);
  v("MP3", std::string("LameCRC"), s.MP3.LameCRC, 0, 1, 0);
  v("MP3", std::string("LameOriginal"), s.MP3.LameOriginal, 0, 1, 0);
  v("MP3", std::string("LamePrivate"), s.MP3.LamePrivate, 0, 1, 0);
  v("MP2", std::string("Bits"), s.MP2.Bits, 11, 0, 17);
  v("MP2", std::string("Channel"), s.MP2.Channel, 0, 0, 3);
  v("MP2", std::string("CopyRight"), s.MP2.CopyRight, 0, 1, 0);
  v("MP2", std::string("Original"), s.MP2.Original, 0, 1, 0);
  v("APE", std::string("CompLev"), s.APE.CompLev, 3000, 1, 0);
  v("FLAC", std::string("Native"), s.FLAC.Native, 1, 1, 0);
  v("FLAC", std::string("Verify"), s.FLAC.Verify, 0, 1, 0);
  v("FLAC", std::string("CompLev"), s.FLAC.CompLev, 5, 0, 8);
  v("FLAC", std::string("BlockSize"), s.FLAC.BlockSize, 0, 0, 10);
  v("WMA", std::string("Profile"), s.WMA.Profile, 47, 0, 124);
  v("VQF", std::string("Profile"), s.VQF.Profile, 18, 1, 0);
  v("VQF", std::string("Quality"), s.VQF.Quality, 16, 1, 0);
  v("OGG", std::string("Quality"), s.OGG.Quality, 1, 1, 0);
  v("OGG", std::string("VBR"), s.OGG.VBR, 0, 1, 0);
  v("OGG", std::string("NomiBit"), s.OGG.NomiBit, 11, 0, 16);
  v("OGG", std::string("MaxBit"), s.OGG.MaxBit, 11, 0, 16);
  v("OGG", std::string("MinBit"), s.OGG.MinBit, 11, 0, 16);
  v("OGG", std::string("QualityCompression"), s.OGG.QualityCompression, 35, 1, 0);
  v("AAC", std::string("ContainerFormat"), s.AAC.ContainerFormat, 3, 0, 8);
  v("AAC", std::string("FAACEncMode"), s.AAC.FAACEncMode, 0, 1, 0);
  v("AAC", std::string("FAACQuality"), s.AAC.FAACQuality, 100, 1, 0);
  v("AAC", std::string("FAACAbr"), s.AAC.FAACAbr, 128, 1, 0);
  v("AAC", std::string("FAACObjType"), s.AAC.FAACObjType, 0, 1, 0);
  v("AAC", std::string("FAACBlkType"), s.AAC.FAACBlkType, 0, 1, 0);
  v("AAC", std::string("FAACTns"), s.AAC.FAACTns, 0, 1, 0);
  v("AAC", std::string("FAACMidside"), s.AAC.FAACMidside, 0, 1, 0);
  v("AAC", std::string("MPEGVer"), s.AAC.MPEGVer, 1, 1, 0);
  v("AAC", std::string("NEROEncMode"), s.AAC.NEROEncMode, 0, 1, 0);
  v("AAC", std::string("NEROQuality"), s.AAC.NEROQuality, 35, 1, 0);
  v("AAC", std::string("NEROEncCbr"), s.AAC.NEROEncCbr, 96000, 1, 0);
  v("AAC", std::string("NEROAbr"), s.AAC.NEROAbr, 96000, 1, 0);
  v("AAC", std::string("NEROForPro"), s.AAC.NEROForPro, 0, 1, 0);
  v("AAC", std::string("CTCbr"), s.AAC.CTCbr, 128000, 1, 0);
  v("AAC", std::string("CTPs"), s.AAC.CTPs, 0, 1, 0);
  v("AAC", std::string("CTIs"), s.AAC.CTIs, 0, 1, 0);
  v("AAC", std::string("CTMono"), s.AAC.CTMono, 0, 1, 0);
  v("AAC", std::string("CTForPro"), s.AAC.CTForPro, 0, 1, 0);
  v("AAC", std::string("CTSpeech"), s.AAC.CTSpeech, 0, 1, 0);
  v("AAC", std::string("CTPns"), s.AAC.CTPns, 0, 1, 0);
  v("MPC", std::string("Ext"), s.MPC.Ext, 0, 0, 2);
  v("MPC", std::string("Quality"), s.MPC.Quality, 50, 1, 0);
  v("MPC", std::string("Preset"), s.MPC.Preset, 3, 1, 0);
  v("WV", std::string("Merge"), s.WV.Merge, 0, 1, 0);
  v("WV", std::string("Dynamic"), s.WV.Dynamic, 0, 1, 0);
  v("WV", std::string("EncMod"), s.WV.EncMod, 0, 1, 0);
  v("WV", std::string("ComLev"), s.WV.ComLev, 1, 1, 0);
  v("WV", std::string("EnableBlkSize"), s.WV.EnableBlkSize, 0, 1, 0);
  v("WV", std::string("BlkSize"), s.WV.BlkSize, 65536, 1, 0);
  v("WV", std::string("ExtMod"), s.WV.ExtMod, 0, 1, 0);
  v("WV", std::string("SteMod"), s.WV.SteMod, 0, 1, 0);
  v("WV", std::string("CrtWvc"), s.WV.CrtWvc, 0, 1, 0);
  v("WV", std::string("OptWvc"), s.WV.OptWvc, 0, 1, 0);
  v("WV", std::string("CalNos"), s.WV.CalNos, 0, 1, 0);
  v("WV", std::string("EnableShape"), s.WV.EnableShape, 0, 1, 0);
  v("WV", std::string("Shape"), s.WV.Shape, 0, 1, 0);
  v("WV", std::string("Kbps"), s.WV.Kbps, 320, 1, 0);
  for (int i = 0; i < 18; ++i) {
    v("OTHER", "Codec" + std::to_string(i), s.OTHER.Codec[i], 0, 1, 0);
    v("OTHER", "Ext" + std::to_string(i), s.OTHER.Ext[i], 0, 1, 0);
  }
  v("CUSTOM", std::string("Encoder"), s.CUSTOM.Encoder, std::string("/usr/bin/lame"), 512);
  v("CUSTOM", std::string("Parameter"), s.CUSTOM.Parameter, std::string("-V0 - %of%"), 1024);
  v("CUSTOM", std::string("FileExt"), s.CUSTOM.FileExt, std::string("mp3"), 8);
  v("CUSTOM", std::string("Input"), s.CUSTOM.Input, 0, 1, 0);
  v("CUSTOM", std::string("Detail"), s.CUSTOM.Detail, 1, 1, 0);
}

}  // namespace tarvexa
