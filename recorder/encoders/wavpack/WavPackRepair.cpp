#include "encoders/wavpack/WavPackRepair.h"

#include <wavpack/wavpack.h>

#include <cstring>
#include <vector>

#include "encoders/RepairFile.h"
#include "encoders/wavpack/WavPackWriter.h"

namespace tarvexa {

namespace {

constexpr size_t kHeader = sizeof(WavpackHeader);  // 32
constexpr uint32_t kMaxBlock = 1 << 24;

WavpackHeader HeaderOf(const unsigned char* b) {
  WavpackHeader h;
  std::memcpy(&h, b, sizeof h);
  WavpackLittleEndianToNative(&h, const_cast<char*>(WavpackHeaderFormat));
  return h;
}

// Where the block's checksum sub-block starts and how long its value is;
// false when the block has none.
bool FindChecksum(const unsigned char* b, size_t size, size_t* at, size_t* length) {
  size_t p = kHeader;
  while (p + 2 <= size) {
    const unsigned char id = b[p];
    size_t words = b[p + 1], head = 2;
    if (id & ID_LARGE) {
      if (p + 4 > size) return false;
      words |= (static_cast<size_t>(b[p + 2]) << 8) | (static_cast<size_t>(b[p + 3]) << 16);
      head = 4;
    }
    if ((id & ID_UNIQUE) == ID_BLOCK_CHECKSUM) {
      *at = p;
      *length = words * 2 - ((id & ID_ODD_SIZE) ? 1 : 0);
      return p + head + *length <= size;
    }
    p += head + words * 2;
  }
  return false;
}

bool ChecksumHolds(const unsigned char* b, size_t size) {
  size_t at = 0, length = 0;
  if (!FindChecksum(b, size, &at, &length)) return true;  // nothing to check
  const size_t head = (b[at] & ID_LARGE) ? 4 : 2;
  const uint32_t sum = WavPackBlockChecksum(b, at);
  if (length == 2) return GetLe16(b + at + head) == static_cast<uint16_t>(sum ^ (sum >> 16));
  if (length == 4) return GetLe32(b + at + head) == sum;
  return false;
}

void SetChecksum(unsigned char* b, size_t size) {
  size_t at = 0, length = 0;
  if (!FindChecksum(b, size, &at, &length)) return;
  const size_t head = (b[at] & ID_LARGE) ? 4 : 2;
  const uint32_t sum = WavPackBlockChecksum(b, at);
  if (length == 2) {
    const uint16_t v = static_cast<uint16_t>(sum ^ (sum >> 16));
    b[at + head] = static_cast<unsigned char>(v);
    b[at + head + 1] = static_cast<unsigned char>(v >> 8);
  } else if (length == 4) {
    PutLe32(b + at + head, sum);
  }
}

struct Walk {
  uint64_t end = 0;       // after the last whole block (of at most `limit` samples)
  int64_t samples = 0;    // samples in the blocks up to there
  int64_t declared = -1;  // what the first block says
  uint32_t firstSize = 0;
};

// The whole blocks of a file, up to `limit` samples (-1: all).
Walk WalkBlocks(RepairFile& f, uint64_t size, int64_t limit) {
  Walk w;
  uint64_t pos = 0;
  while (pos + kHeader <= size) {
    const auto head = f.Read(pos, kHeader);
    if (head.size() < kHeader || std::memcmp(head.data(), "wvpk", 4) != 0) break;
    const WavpackHeader h = HeaderOf(head.data());
    const uint64_t length = static_cast<uint64_t>(h.ckSize) + 8;
    if (h.ckSize < kHeader - 8 || h.ckSize > kMaxBlock || pos + length > size) break;
    const auto block = f.Read(pos, length);
    if (block.size() < length || !ChecksumHolds(block.data(), block.size())) break;
    const int64_t blockEnd = GET_BLOCK_INDEX(h) + h.block_samples;
    if (limit >= 0 && blockEnd > limit) break;
    if (pos == 0) {
      w.declared = GET_TOTAL_SAMPLES(h);
      w.firstSize = static_cast<uint32_t>(length);
    }
    if (h.block_samples > 0) w.samples = blockEnd;
    pos += length;
    w.end = pos;
  }
  return w;
}

// Cuts one file to its whole blocks and writes their count into its first
// block. *samples: the limit on the way in (-1 none), the count on the way
// out. *changed: whether anything had to change.
bool RepairOne(const std::string& path, int64_t* samples, bool* changed, int* rate,
               std::string* error) {
  RepairFile f(path);
  if (!f.ok()) {
    *error = path + ": " + f.Error();
    return false;
  }
  const uint64_t size = f.Size();
  const Walk w = WalkBlocks(f, size, *samples);
  if (w.end == 0) {
    *error = path + " holds no whole WavPack block";
    return false;
  }
  *samples = w.samples;
  auto first = f.Read(0, w.firstSize);
  if (rate) {
    const WavpackHeader h = HeaderOf(first.data());
    static constexpr int kRates[] = {6000,  8000,  9600,  11025, 12000, 16000, 22050, 24000,
                                     32000, 44100, 48000, 64000, 88200, 96000, 192000};
    const uint32_t index = (h.flags & SRATE_MASK) >> SRATE_LSB;
    *rate = index < 15 ? kRates[index] : 0;
  }
  *changed = w.end != size || w.declared != w.samples;
  if (!*changed) return true;
  if (w.end < size && !f.Truncate(w.end)) {
    *error = path + ": " + f.Error();
    return false;
  }
  if (w.declared != w.samples) {
    WavpackHeader h = HeaderOf(first.data());
    SET_TOTAL_SAMPLES(h, w.samples);
    WavpackNativeToLittleEndian(&h, const_cast<char*>(WavpackHeaderFormat));
    std::memcpy(first.data(), &h, sizeof h);
    SetChecksum(first.data(), first.size());
    if (!f.Write(0, first.data(), first.size())) {
      *error = path + ": " + f.Error();
      return false;
    }
  }
  if (!f.Sync()) {
    *error = path + ": " + f.Error();
    return false;
  }
  return true;
}

}  // namespace

uint32_t WavPackBlockChecksum(const unsigned char* block, size_t bytes) {
  uint32_t sum = 0xFFFFFFFFu;
  for (size_t i = 0; i + 1 < bytes; i += 2) sum = sum * 3 + GetLe16(block + i);
  return sum;
}

RecoveredFile RecoverWavPackFile(int, const std::string& path) {
  RecoveredFile r;
  int64_t samples = -1;
  bool changed = false, correctionChanged = false;
  int rate = 0;
  if (!RepairOne(path, &samples, &changed, &rate, &r.error)) return r;
  const std::string correction = WavPackWriter::CorrectionPathFor(path);
  RepairFile probe(correction);
  if (probe.ok()) {
    // The pair must cover the same samples: the shorter decides.
    int64_t both = samples;
    if (!RepairOne(correction, &both, &correctionChanged, nullptr, &r.error)) return r;
    if (both < samples) {
      bool again = false;
      if (!RepairOne(path, &both, &again, nullptr, &r.error)) return r;
      changed = true;
      samples = both;
    }
  }
  r.ok = true;
  r.changed = changed || correctionChanged;
  r.seconds = rate > 0 ? static_cast<double>(samples) / rate : -1;
  r.done = changed || correctionChanged
               ? "cut back to its last whole block, with its sample count written"
               : "it was already complete";
  return r;
}

}  // namespace tarvexa
