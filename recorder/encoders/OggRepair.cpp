#include "encoders/OggRepair.h"

#include <array>
#include <cstring>

#include "encoders/RepairFile.h"

namespace tarvexa {

namespace {

constexpr size_t kPageHeader = 27;
constexpr unsigned char kEndOfStream = 0x04;

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t r = i << 24;
      for (int b = 0; b < 8; ++b) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
      t[i] = r;
    }
    return t;
  }();
  return table;
}

// The sample rate in the first packet of the stream: a Vorbis or a FLAC
// identification header; 0 when it is neither.
int RateOfFirstPacket(const std::vector<unsigned char>& p) {
  if (p.size() >= 16 && p[0] == 1 && std::memcmp(&p[1], "vorbis", 6) == 0)
    return static_cast<int>(GetLe32(&p[12]));
  if (p.size() >= 30 && p[0] == 0x7F && std::memcmp(&p[1], "FLAC", 4) == 0 &&
      std::memcmp(&p[9], "fLaC", 4) == 0)
    return (p[27] << 12) | (p[28] << 4) | (p[29] >> 4);
  return 0;
}

}  // namespace

uint32_t OggPageChecksum(const unsigned char* page, size_t size) {
  const auto& table = CrcTable();
  uint32_t crc = 0;
  for (size_t i = 0; i < size; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ page[i]) & 0xFF];
  return crc;
}

RecoveredFile RecoverOggFile(const std::string& path) {
  RecoveredFile r;
  RepairFile f(path);
  if (!f.ok()) {
    r.error = f.Error();
    return r;
  }
  const uint64_t size = f.Size();
  uint64_t pos = 0;
  int rate = 0;
  // The last page that ends on a packet boundary: where it starts and ends,
  // its granule position and whether it already ends the stream.
  uint64_t lastAt = 0, lastEnd = 0;
  int64_t lastGranule = 0;
  bool lastIsEnd = false, any = false;
  while (pos + kPageHeader <= size) {
    const auto head = f.Read(pos, kPageHeader);
    if (head.size() < kPageHeader || std::memcmp(head.data(), "OggS", 4) != 0 || head[4] != 0)
      break;
    const size_t segments = head[26];
    const auto table = f.Read(pos + kPageHeader, segments);
    if (table.size() < segments) break;
    uint64_t body = 0;
    for (unsigned char s : table) body += s;
    const uint64_t length = kPageHeader + segments + body;
    if (pos + length > size) break;  // cut off in the middle
    auto page = f.Read(pos, length);
    if (page.size() < length) break;
    const uint32_t stored = GetLe32(&page[22]);
    std::memset(&page[22], 0, 4);
    if (OggPageChecksum(page.data(), page.size()) != stored) break;  // torn or garbage
    if (!any) {
      // The first packet begins on the first page.
      size_t first = 0;
      for (size_t i = 0; i < segments; ++i) {
        first += table[i];
        if (table[i] < 255) break;
      }
      rate = RateOfFirstPacket(std::vector<unsigned char>(
          page.begin() + kPageHeader + segments, page.begin() + kPageHeader + segments + first));
    }
    any = true;
    const int64_t granule = static_cast<int64_t>(GetLe64(&page[6]));
    const bool endsPacket = segments > 0 && table[segments - 1] < 255;
    if (granule != -1 && endsPacket) {
      lastAt = pos;
      lastEnd = pos + length;
      lastGranule = granule;
      lastIsEnd = (head[5] & kEndOfStream) != 0;
    }
    pos += length;
  }
  if (lastEnd == 0) {
    r.error = "it holds no complete Ogg page";
    return r;
  }
  r.seconds = rate > 0 ? static_cast<double>(lastGranule) / rate : -1;
  if (lastIsEnd && lastEnd == size) {
    r.ok = true;
    r.done = "it was already complete";
    return r;
  }
  if (lastEnd < size && !f.Truncate(lastEnd)) {
    r.error = f.Error();
    return r;
  }
  if (!lastIsEnd) {
    auto page = f.Read(lastAt, lastEnd - lastAt);
    page[5] |= kEndOfStream;
    std::memset(&page[22], 0, 4);
    PutLe32(&page[22], OggPageChecksum(page.data(), page.size()));
    if (!f.Write(lastAt, page.data(), kPageHeader)) {
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
  r.done = lastEnd < size ? "cut back to its last whole page, which now ends the stream"
                          : "its last page now ends the stream";
  return r;
}

}  // namespace tarvexa
