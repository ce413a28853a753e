#include "encoders/mp3/Mp3Repair.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "encoders/RepairFile.h"

namespace tarvexa {

namespace {

// One MPEG-1/2/2.5 Layer III frame header.
struct FrameHeader {
  int version = 0;  // 1 MPEG-1, 2 MPEG-2, 25 MPEG-2.5
  int bitrateIndex = 0;
  int rate = 0;
  bool crc = false;
  bool mono = false;
  uint32_t length = 0;
  int samples = 0;   // per frame
  int sideInfo = 0;  // bytes after the header (and its CRC)
};

bool ParseHeader(const unsigned char* h, FrameHeader* out) {
  static constexpr int kKbps1[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                     112, 128, 160, 192, 224, 256, 320, 0};
  static constexpr int kKbps2[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                     64, 80, 96, 112, 128, 144, 160, 0};
  static constexpr int kRates[3] = {44100, 48000, 32000};
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
  const int versionBits = (h[1] >> 3) & 3, layer = (h[1] >> 1) & 3;
  const int bitrateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3;
  if (versionBits == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
    return false;
  FrameHeader f;
  f.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
  f.bitrateIndex = bitrateIndex;
  f.rate = kRates[rateIndex] / (f.version == 1 ? 1 : f.version == 2 ? 2 : 4);
  f.crc = (h[1] & 1) == 0;
  f.mono = (h[3] >> 6) == 3;
  const int kbps = f.version == 1 ? kKbps1[bitrateIndex] : kKbps2[bitrateIndex];
  const int padding = (h[2] >> 1) & 1;
  f.length = static_cast<uint32_t>((f.version == 1 ? 144000 : 72000) * kbps / f.rate + padding);
  f.samples = f.version == 1 ? 1152 : 576;
  f.sideInfo = f.version == 1 ? (f.mono ? 17 : 32) : (f.mono ? 9 : 17);
  *out = f;
  return true;
}

// Offset of the first frame: past an ID3v2 tag when there is one.
uint64_t FirstFrameAt(RepairFile& f) {
  const auto h = f.Read(0, 10);
  if (h.size() < 10 || std::memcmp(h.data(), "ID3", 3) != 0 || ((h[6] | h[7] | h[8] | h[9]) & 0x80))
    return 0;
  const uint64_t size = (static_cast<uint64_t>(h[6]) << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
  return 10 + size + ((h[5] & 0x10) ? 10 : 0);
}

// CRC-16 (polynomial 0xA001, reflected) of the encoder's tag in the
// information frame.
uint16_t TagCrc(const unsigned char* p, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int b = 0; b < 8; ++b)
      crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

}  // namespace

RecoveredFile RecoverMp3File(int, const std::string& path) {
  RecoveredFile r;
  RepairFile f(path);
  if (!f.ok()) {
    r.error = f.Error();
    return r;
  }
  const uint64_t size = f.Size();
  const uint64_t start = FirstFrameAt(f);
  std::vector<uint64_t> frames;  // offsets
  FrameHeader first, h;
  bool sameBitrate = true;
  uint64_t pos = start;
  while (pos + 4 <= size) {
    const auto b = f.Read(pos, 4);
    if (b.size() < 4 || !ParseHeader(b.data(), &h)) break;
    if (!frames.empty() && (h.version != first.version || h.rate != first.rate)) break;
    if (pos + h.length > size) break;  // cut off in the middle
    if (frames.empty())
      first = h;
    else if (frames.size() > 1 && h.bitrateIndex != first.bitrateIndex)
      sameBitrate = false;
    frames.push_back(pos);
    pos += h.length;
  }
  if (frames.empty()) {
    r.error = "it holds no whole MPEG audio frame";
    return r;
  }
  uint64_t end = pos;
  // An ID3v1 tag after the last frame belongs to the file.
  if (size - end == 128) {
    const auto tag = f.Read(end, 3);
    if (tag.size() == 3 && std::memcmp(tag.data(), "TAG", 3) == 0) end = size;
  }

  const uint64_t tagAt = frames[0] + 4 + (first.crc ? 2 : 0) + first.sideInfo;
  auto frame0 = f.Read(frames[0], first.length);
  const size_t tagOffset = static_cast<size_t>(tagAt - frames[0]);
  const bool hasTag =
      frame0.size() >= tagOffset + 16 && (std::memcmp(&frame0[tagOffset], "Xing", 4) == 0 ||
                                          std::memcmp(&frame0[tagOffset], "Info", 4) == 0);
  bool placeholder = false;
  if (!hasTag && frames.size() >= 2) {
    // The reserved frame: nothing but its header, and the next frame does
    // not reach back into it for audio data.
    placeholder = true;
    for (size_t i = 4; i < frame0.size() && placeholder; ++i) placeholder = frame0[i] == 0;
    const auto next = f.Read(frames[1] + 4 + (first.crc ? 2 : 0), 2);
    const int mainDataBegin = next.size() < 2      ? 1
                              : first.version == 1 ? (next[0] << 1) | (next[1] >> 7)
                                                   : next[0];
    placeholder = placeholder && mainDataBegin == 0;
  }
  const size_t audioFrames = hasTag || placeholder ? frames.size() - 1 : frames.size();
  r.seconds = static_cast<double>(audioFrames) * first.samples / first.rate;

  bool rewrite = placeholder;
  if (hasTag) {
    const uint32_t flags = GetBe32(&frame0[tagOffset + 4]);
    rewrite = !(flags & 1) || GetBe32(&frame0[tagOffset + 8]) != audioFrames;
  }
  if (!rewrite && end == size) {
    r.ok = true;
    r.done = "it was already complete";
    return r;
  }
  if (end < size && !f.Truncate(end)) {
    r.error = f.Error();
    return r;
  }
  if (rewrite) {
    const uint64_t bytes = end - frames[0];
    unsigned char toc[100];
    for (int i = 0; i < 100; ++i) {
      const size_t k = 1 + static_cast<size_t>(static_cast<double>(i) / 100.0 * audioFrames);
      const uint64_t at = frames[std::min(k, frames.size() - 1)] - frames[0];
      toc[i] = static_cast<unsigned char>(std::min<uint64_t>(255, at * 256 / bytes));
    }
    if (placeholder) {
      if (frame0.size() < tagOffset + 116) {
        r.error = "its first frame is too small for the information frame";
        return r;
      }
      std::memcpy(&frame0[tagOffset], sameBitrate ? "Info" : "Xing", 4);
      PutBe32(&frame0[tagOffset + 4], 7);  // frames, bytes, seek table
      PutBe32(&frame0[tagOffset + 8], static_cast<uint32_t>(audioFrames));
      PutBe32(&frame0[tagOffset + 12], static_cast<uint32_t>(bytes));
      std::memcpy(&frame0[tagOffset + 16], toc, 100);
    } else {
      // An information frame with other counts: the counts that are there
      // are corrected, and the encoder's tag keeps a valid checksum.
      const uint32_t flags = GetBe32(&frame0[tagOffset + 4]);
      size_t at = tagOffset + 8;
      if (flags & 1) PutBe32(&frame0[at], static_cast<uint32_t>(audioFrames)), at += 4;
      if (flags & 2) PutBe32(&frame0[at], static_cast<uint32_t>(bytes)), at += 4;
      if ((flags & 4) && at + 100 <= frame0.size()) std::memcpy(&frame0[at], toc, 100), at += 100;
      if (flags & 8) at += 4;
      if (at + 36 <= frame0.size() && std::memcmp(&frame0[at], "LAME", 4) == 0) {
        const size_t crcAt = at + 34;
        const uint16_t crc = TagCrc(frame0.data(), crcAt);
        frame0[crcAt] = static_cast<unsigned char>(crc >> 8);
        frame0[crcAt + 1] = static_cast<unsigned char>(crc);
      }
    }
    if (!f.Write(frames[0], frame0.data(), frame0.size())) {
      r.error = f.Error();
      return r;
    }
  }
  if (!f.Sync()) {
    r.error = f.Error();
    return r;
  }
  r.ok = true;
  r.changed = true;
  if (end < size) r.done = "cut back to its last whole frame";
  if (rewrite)
    r.done += std::string(r.done.empty() ? "" : ", ") + "its information frame was written";
  return r;
}

}  // namespace tarvexa
