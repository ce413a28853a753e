#include "encoders/soundfile/SoundFileRepair.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "encoders/RepairFile.h"

namespace tarvexa {

namespace {

// What a container repair found and did.
struct Fix {
  bool recognised = false;  // a container this file knows
  bool changed = false;     // header sizes rewritten
  bool cut = false;         // a partial frame or block cut off the end
  bool toRf64 = false;      // a WAV past 4 GiB became RF64
  std::string error;        // the repair failed
};

bool Is(const std::vector<unsigned char>& b, size_t at, const char* id) {
  return b.size() >= at + 4 && std::memcmp(b.data() + at, id, 4) == 0;
}

// Cuts the file to `end` and adds the pad byte an odd chunk needs (a pad
// that does not fit on a full disk is left out; readers accept that).
bool CutTo(RepairFile& f, uint64_t size, uint64_t end, bool pad, uint64_t* newSize) {
  if (end < size && !f.Truncate(end)) return false;
  *newSize = end;
  if (pad) {
    const unsigned char zero = 0;
    if (f.Write(end, &zero, 1)) *newSize = end + 1;
  }
  return true;
}

// --- RIFF/WAVE and RF64 ------------------------------------------------------

bool PcmLikeTag(uint16_t tag) {
  return tag == 1 || tag == 3 || tag == 6 || tag == 7 || tag == 0xFFFE;
}

Fix RepairRiff(RepairFile& f, uint64_t size) {
  Fix fix;
  const auto head = f.Read(0, 12);
  if (!(Is(head, 0, "RIFF") || Is(head, 0, "RF64")) || !Is(head, 8, "WAVE")) return fix;
  fix.recognised = true;
  bool rf64 = Is(head, 0, "RF64");
  uint64_t pos = 12, ds64At = 0, junkAt = 0, factAt = 0, dataHeaderAt = 0;
  uint32_t junkSize = 0, factSize = 0;
  uint16_t tag = 0, blockAlign = 0, samplesPerBlock = 0;
  bool haveFmt = false;
  while (pos + 8 <= size) {
    const auto ch = f.Read(pos, 8);
    if (ch.size() < 8) break;
    const uint32_t sz = GetLe32(&ch[4]);
    if (Is(ch, 0, "data")) {
      dataHeaderAt = pos;
      break;
    }
    if (Is(ch, 0, "ds64")) ds64At = pos + 8;
    if (Is(ch, 0, "JUNK") && pos == 12) junkAt = pos, junkSize = sz;
    if (Is(ch, 0, "fact")) factAt = pos + 8, factSize = sz;
    if (Is(ch, 0, "fmt ")) {
      const auto b = f.Read(pos + 8, std::min<uint32_t>(sz, 40));
      if (b.size() >= 16) {
        haveFmt = true;
        tag = GetLe16(&b[0]);
        blockAlign = GetLe16(&b[12]);
        if (!PcmLikeTag(tag) && b.size() >= 20 && GetLe16(&b[16]) >= 2)
          samplesPerBlock = GetLe16(&b[18]);
      }
    }
    pos += 8 + static_cast<uint64_t>(sz) + (sz & 1);
  }
  if (!haveFmt || dataHeaderAt == 0 || blockAlign == 0) {
    fix.error = "it has no format or data chunk";
    return fix;
  }
  const uint64_t dataAt = dataHeaderAt + 8;
  const uint64_t avail = size > dataAt ? size - dataAt : 0;
  const auto sizes = f.Read(dataHeaderAt + 4, 4);
  const auto ds64 = ds64At ? f.Read(ds64At, 24) : std::vector<unsigned char>();
  uint64_t declared = GetLe32(sizes.data());
  uint64_t riffDeclared = GetLe32(&head[4]);
  if (rf64 && ds64.size() == 24) {
    riffDeclared = GetLe64(&ds64[0]);
    if (declared == 0xFFFFFFFFu) declared = GetLe64(&ds64[8]);
  }
  if (declared <= avail && declared % blockAlign == 0 && riffDeclared == size - 8) return fix;

  const uint64_t data = avail / blockAlign * blockAlign;
  fix.cut = data != avail;
  uint64_t newSize = 0;
  if (!CutTo(f, size, dataAt + data, (data & 1) != 0, &newSize)) {
    fix.error = f.Error();
    return fix;
  }
  const uint64_t riff = newSize - 8;
  const uint64_t frames = PcmLikeTag(tag) ? data / blockAlign : data / blockAlign * samplesPerBlock;
  const bool needs64 = riff > 0xFFFFFFFFull || data > 0xFFFFFFFFull;
  unsigned char v[28] = {};
  bool ok = true;
  if (needs64 && !rf64 && junkAt == 12 && junkSize >= 28) {
    // The room kept for this: the JUNK chunk becomes ds64.
    ds64At = junkAt + 8;
    ok = f.Write(junkAt, "ds64", 4);
    rf64 = fix.toRf64 = true;
  }
  const unsigned char unknown[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  if (rf64 && ds64At) {
    PutLe64(v, riff);
    PutLe64(v + 8, data);
    PutLe64(v + 16, frames);
    ok = ok && f.Write(ds64At, v, 24) && f.Write(dataHeaderAt + 4, unknown, 4) &&
         f.Write(0, "RF64", 4) && f.Write(4, unknown, 4);
  } else {
    // A plain WAV cannot say more than 4 GiB; it says as much as it can.
    PutLe32(v, static_cast<uint32_t>(std::min<uint64_t>(riff, 0xFFFFFFFFu)));
    PutLe32(v + 4, static_cast<uint32_t>(std::min<uint64_t>(data, 0xFFFFFFFFu)));
    ok = ok && f.Write(4, v, 4) && f.Write(dataHeaderAt + 4, v + 4, 4);
  }
  if (ok && factAt && factSize >= 4 && (PcmLikeTag(tag) || samplesPerBlock)) {
    PutLe32(v, static_cast<uint32_t>(std::min<uint64_t>(frames, 0xFFFFFFFFu)));
    ok = f.Write(factAt, v, 4);
  }
  if (!ok) fix.error = f.Error();
  fix.changed = true;
  return fix;
}

// --- AIFF and AIFF-C ---------------------------------------------------------

// Bytes per sample frame of an AIFF compression type; 0 when frames are not
// of a fixed size (the ADPCM and DWVW codecs).
uint32_t AiffFrameBytes(const std::string& compression, int channels, int bits) {
  if (compression == "NONE" || compression == "twos" || compression == "sowt" ||
      compression == "raw ")
    return static_cast<uint32_t>(channels * ((bits + 7) / 8));
  if (compression == "in24") return static_cast<uint32_t>(3 * channels);
  if (compression == "in32" || compression == "fl32" || compression == "FL32")
    return static_cast<uint32_t>(4 * channels);
  if (compression == "fl64" || compression == "FL64") return static_cast<uint32_t>(8 * channels);
  if (compression == "ulaw" || compression == "ULAW" || compression == "alaw" ||
      compression == "ALAW")
    return static_cast<uint32_t>(channels);
  return 0;
}

Fix RepairAiff(RepairFile& f, uint64_t size) {
  Fix fix;
  const auto head = f.Read(0, 12);
  if (!Is(head, 0, "FORM") || !(Is(head, 8, "AIFF") || Is(head, 8, "AIFC"))) return fix;
  fix.recognised = true;
  const bool aifc = Is(head, 8, "AIFC");
  uint64_t pos = 12, framesAt = 0, ssndAt = 0;
  uint32_t frameBytes = 0;
  while (pos + 8 <= size) {
    const auto ch = f.Read(pos, 8);
    if (ch.size() < 8) break;
    const uint32_t sz = GetBe32(&ch[4]);
    if (Is(ch, 0, "SSND")) {
      ssndAt = pos;
      break;
    }
    if (Is(ch, 0, "COMM")) {
      const auto b = f.Read(pos + 8, std::min<uint32_t>(sz, 64));
      if (b.size() >= 18) {
        framesAt = pos + 8 + 2;
        const std::string compression =
            aifc && b.size() >= 22 ? std::string(b.begin() + 18, b.begin() + 22) : "NONE";
        frameBytes = AiffFrameBytes(compression, GetBe16(&b[0]), GetBe16(&b[6]));
      }
    }
    pos += 8 + static_cast<uint64_t>(sz) + (sz & 1);
  }
  if (framesAt == 0 || ssndAt == 0) {
    fix.error = "it has no COMM or SSND chunk";
    return fix;
  }
  if (frameBytes == 0) {
    fix.recognised = false;  // a codec with blocks of its own: measured as it is
    return fix;
  }
  const auto ssnd = f.Read(ssndAt + 4, 8);
  const auto frames = f.Read(framesAt, 4);
  if (ssnd.size() < 8 || frames.size() < 4) {
    fix.error = "its SSND chunk is cut off";
    return fix;
  }
  const uint64_t offset = GetBe32(&ssnd[4]);
  const uint64_t dataAt = ssndAt + 16 + offset;
  const uint64_t avail = size > dataAt ? size - dataAt : 0;
  const uint64_t ssndSize = GetBe32(&ssnd[0]);
  const uint64_t declared = ssndSize >= 8 + offset ? ssndSize - 8 - offset : UINT64_MAX;
  if (declared <= avail && declared % frameBytes == 0 &&
      static_cast<uint64_t>(GetBe32(frames.data())) * frameBytes == declared &&
      GetBe32(&head[4]) == size - 8)
    return fix;

  const uint64_t data = std::min<uint64_t>(avail / frameBytes * frameBytes,
                                           (0xFFFFFFFFull - 8 - offset) / frameBytes * frameBytes);
  fix.cut = data != avail;
  uint64_t newSize = 0;
  if (!CutTo(f, size, dataAt + data, ((8 + offset + data) & 1) != 0, &newSize)) {
    fix.error = f.Error();
    return fix;
  }
  unsigned char v[12];
  PutBe32(v, static_cast<uint32_t>(8 + offset + data));
  PutBe32(v + 4, static_cast<uint32_t>(data / frameBytes));
  PutBe32(v + 8, static_cast<uint32_t>(std::min<uint64_t>(newSize - 8, 0xFFFFFFFFu)));
  if (!f.Write(ssndAt + 4, v, 4) || !f.Write(framesAt, v + 4, 4) || !f.Write(4, v + 8, 4))
    fix.error = f.Error();
  fix.changed = true;
  return fix;
}

// --- Sony Wave64 -------------------------------------------------------------

constexpr unsigned char kW64RiffTail[12] = {0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6,
                                            0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
constexpr unsigned char kW64ChunkTail[12] = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1,
                                             0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};

bool IsW64(const std::vector<unsigned char>& b, size_t at, const char* id,
           const unsigned char* tail) {
  return Is(b, at, id) && b.size() >= at + 16 && std::memcmp(b.data() + at + 4, tail, 12) == 0;
}

Fix RepairW64(RepairFile& f, uint64_t size) {
  Fix fix;
  const auto head = f.Read(0, 40);
  if (!IsW64(head, 0, "riff", kW64RiffTail) || !IsW64(head, 24, "wave", kW64ChunkTail)) return fix;
  fix.recognised = true;
  uint64_t pos = 40, dataHeaderAt = 0, factAt = 0, factSize = 0;
  uint16_t tag = 0, blockAlign = 0, samplesPerBlock = 0;
  while (pos + 24 <= size) {
    const auto ch = f.Read(pos, 24);
    if (ch.size() < 24) break;
    const uint64_t sz = GetLe64(&ch[16]);
    if (IsW64(ch, 0, "data", kW64ChunkTail)) {
      dataHeaderAt = pos;
      break;
    }
    if (IsW64(ch, 0, "fact", kW64ChunkTail)) factAt = pos + 24, factSize = sz - 24;
    if (IsW64(ch, 0, "fmt ", kW64ChunkTail)) {
      const auto b = f.Read(pos + 24, 40);
      if (b.size() >= 16) {
        tag = GetLe16(&b[0]);
        blockAlign = GetLe16(&b[12]);
        if (!PcmLikeTag(tag) && b.size() >= 20 && GetLe16(&b[16]) >= 2)
          samplesPerBlock = GetLe16(&b[18]);
      }
    }
    if (sz < 24) break;
    pos += (sz + 7) & ~uint64_t{7};
  }
  if (dataHeaderAt == 0 || blockAlign == 0) {
    fix.error = "it has no format or data chunk";
    return fix;
  }
  const uint64_t dataAt = dataHeaderAt + 24;
  const uint64_t avail = size > dataAt ? size - dataAt : 0;
  const auto d = f.Read(dataHeaderAt + 16, 8);
  const uint64_t declared =
      d.size() == 8 && GetLe64(d.data()) >= 24 ? GetLe64(d.data()) - 24 : ~0ull;
  if (declared <= avail && declared % blockAlign == 0 && GetLe64(&head[16]) == size) return fix;

  const uint64_t data = avail / blockAlign * blockAlign;
  fix.cut = data != avail;
  uint64_t newSize = 0;
  if (!CutTo(f, size, dataAt + data, false, &newSize)) {
    fix.error = f.Error();
    return fix;
  }
  // The last chunk gets no padding to 8 bytes: readers take the file's
  // length for the data's end.
  const uint64_t frames = PcmLikeTag(tag) ? data / blockAlign : data / blockAlign * samplesPerBlock;
  unsigned char v[24];
  PutLe64(v, 24 + data);
  PutLe64(v + 8, newSize);
  PutLe64(v + 16, frames);
  bool ok = f.Write(dataHeaderAt + 16, v, 8) && f.Write(16, v + 8, 8);
  if (ok && factAt && factSize >= 4 && (PcmLikeTag(tag) || samplesPerBlock))
    ok = f.Write(factAt, v + 16, factSize >= 8 ? 8 : 4);
  if (!ok) fix.error = f.Error();
  fix.changed = true;
  return fix;
}

// --- Core Audio Format ---------------------------------------------------------

Fix RepairCaf(RepairFile& f, uint64_t size) {
  Fix fix;
  const auto head = f.Read(0, 8);
  if (!Is(head, 0, "caff")) return fix;
  fix.recognised = true;
  uint64_t pos = 8, dataHeaderAt = 0;
  uint32_t bytesPerPacket = 0;
  while (pos + 12 <= size) {
    const auto ch = f.Read(pos, 12);
    if (ch.size() < 12) break;
    const uint64_t sz = GetBe64(&ch[4]);
    if (Is(ch, 0, "data")) {
      dataHeaderAt = pos;
      break;
    }
    if (Is(ch, 0, "desc")) {
      const auto b = f.Read(pos + 12, 32);
      if (b.size() >= 32) bytesPerPacket = GetBe32(&b[16]);
    }
    if (sz > size) break;
    pos += 12 + sz;
  }
  if (dataHeaderAt == 0) {
    fix.error = "it has no data chunk";
    return fix;
  }
  if (bytesPerPacket == 0) {
    fix.recognised = false;  // packets of varying size: measured as it is
    return fix;
  }
  const uint64_t dataAt = dataHeaderAt + 12 + 4;  // after the edit count
  const uint64_t avail = size > dataAt ? size - dataAt : 0;
  const auto d = f.Read(dataHeaderAt + 4, 8);
  const uint64_t declared = d.size() == 8 ? GetBe64(d.data()) : ~0ull;
  if (declared != ~0ull && declared >= 4) {
    const uint64_t audio = declared - 4;
    // Whole, and followed by nothing or by whole chunks up to the end.
    if (audio <= avail && audio % bytesPerPacket == 0) {
      uint64_t at = dataAt + audio;
      while (at + 12 <= size) {
        const auto ch = f.Read(at, 12);
        const uint64_t sz = GetBe64(&ch[4]);
        if (sz > size - at - 12) break;
        at += 12 + sz;
      }
      if (at == size) return fix;
    }
  }
  const uint64_t data = avail / bytesPerPacket * bytesPerPacket;
  fix.cut = data != avail;
  uint64_t newSize = 0;
  if (!CutTo(f, size, dataAt + data, false, &newSize)) {
    fix.error = f.Error();
    return fix;
  }
  unsigned char v[8];
  PutBe64(v, 4 + data);
  if (!f.Write(dataHeaderAt + 4, v, 8)) fix.error = f.Error();
  fix.changed = true;
  return fix;
}

}  // namespace

RecoveredFile RecoverSoundFile(int, const std::string& path) {
  RecoveredFile r;
  Fix fix;
  {
    RepairFile f(path);
    if (!f.ok()) {
      r.error = f.Error();
      return r;
    }
    const uint64_t size = f.Size();
    for (auto repair : {RepairRiff, RepairAiff, RepairW64, RepairCaf}) {
      fix = repair(f, size);
      if (fix.recognised || !fix.error.empty()) break;
    }
    if (fix.error.empty() && fix.changed && !f.Sync()) fix.error = f.Error();
  }
  if (!fix.error.empty()) {
    r.error = fix.error;
    return r;
  }
  // What a reader makes of it now.
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    r.error = std::string("it cannot be read: ") + sf_strerror(nullptr);
    return r;
  }
  sf_close(file);
  r.ok = true;
  r.changed = fix.changed;
  r.seconds = info.samplerate > 0 ? static_cast<double>(info.frames) / info.samplerate : -1;
  if (!fix.recognised) {
    r.done = "its header was left as it was written";
  } else if (!fix.changed) {
    r.done = "it was already complete";
  } else {
    r.done = "the sizes in its header were set from the file's length";
    if (fix.cut) r.done += ", cut back to its last whole sample frame";
    if (fix.toRf64) r.done += ", and it became RF64 (it is larger than 4 GiB)";
  }
  return r;
}

}  // namespace tarvexa
