// vqfdec: decodes a VQF file written by the recorder into a 16-bit WAV file.
//
//   vqfdec IN.vqf OUT.wav
//
// It reads the header chunk (the "COMM" chunk gives the channels, the bit
// rate and the sampling rate), then the frames after "DATA", each exactly
// the frame length of the mode, bit-contiguous and most significant bit
// first. A last frame cut short (a recording that was killed) is left out.
// The audio is our own TwinVQ-structured coding: files of other TwinVQ
// encoders have the same header but codebooks of their own, so their audio
// decodes into noise here.
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "TvqCoder.h"
#include "TvqLayout.h"

using namespace tarvexa;
using namespace tarvexa::tvq;

namespace {

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Reads the frame bits from the file a few kilobytes at a time.
class BitReader {
 public:
  BitReader(std::istream& in, uint64_t bytes) : in_(in), bits_(bytes * 8) {}
  uint64_t Left() const { return bits_ - pos_; }
  int Get(int n) {
    int v = 0;
    for (int i = 0; i < n; ++i, ++pos_) {
      if ((pos_ & 7) == 0) Next();
      v = (v << 1) | ((byte_ >> (7 - (pos_ & 7))) & 1);
    }
    return v;
  }

 private:
  void Next() {
    if (at_ == buffer_.size()) {
      in_.read(reinterpret_cast<char*>(buffer_.data()),
               static_cast<std::streamsize>(buffer_.size()));
      std::fill(buffer_.begin() + in_.gcount(), buffer_.end(), 0);
      at_ = 0;
    }
    byte_ = buffer_[at_++];
  }

  std::istream& in_;
  uint64_t bits_;
  uint64_t pos_ = 0;
  std::array<uint8_t, 8192> buffer_{};
  size_t at_ = buffer_.size();
  uint8_t byte_ = 0;
};

// The fields of one frame, in the order the recorder writes them.
bool ReadFrame(BitReader& in, const Layout& l, TvqIndex& x) {
  const TvqConfInfo conf = l.Conf();
  std::memset(&x, 0, sizeof x);
  x.windowType = in.Get(conf.windowTypeWidth);
  if (x.windowType >= kWindowTypes) return false;
  x.frameType = TypeOfWindow(x.windowType);
  const TypeLayout& t = l.types[static_cast<size_t>(x.frameType)];
  const TvqConfInfoSubBlock& s = conf.sub[x.frameType];
  for (int d = 0; d < s.divisions; ++d) {
    x.shape0[d] = in.Get(t.bits0[static_cast<size_t>(d)]);
    x.shape1[d] = in.Get(t.bits1[static_cast<size_t>(d)]);
  }
  for (int c = 0; c < conf.channels; ++c)
    for (int j = 0; j < s.subBlocks; ++j)
      for (int k = 0; k < s.forwardDivisions; ++k) x.forward[c][j][k] = in.Get(s.forwardWidth);
  for (int c = 0; c < conf.channels; ++c)
    for (int j = 0; j < s.subBlocks; ++j) x.forwardAr[c][j] = in.Get(conf.arWidth);
  for (int c = 0; c < conf.channels; ++c) {
    x.power[c] = in.Get(conf.powerWidth);
    for (int j = 0; j < s.powerSubBlocks; ++j) x.powerSub[c][j] = in.Get(conf.powerSubWidth);
  }
  for (int c = 0; c < conf.channels; ++c) {
    x.lsp[c][0] = in.Get(conf.lspWidths[0]);
    x.lsp[c][1] = in.Get(conf.lspWidths[1]);
    for (int k = 0; k < conf.lspSplits; ++k) x.lsp[c][2 + k] = in.Get(conf.lspWidths[2]);
  }
  return true;
}

int Fail(const std::string& text) {
  std::fprintf(stderr, "vqfdec: %s\n", text.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vqfdec IN.vqf OUT.wav\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary | std::ios::ate);
  if (!file) return Fail(std::string("cannot open ") + argv[1]);
  const uint64_t fileSize = static_cast<uint64_t>(file.tellg());
  file.seekg(0);

  // The header chunk: "TWIN" and the version, its length, its sub-chunks.
  std::vector<uint8_t> head(16);
  if (fileSize < 20 || !file.read(reinterpret_cast<char*>(head.data()), 16) ||
      std::memcmp(head.data(), "TWIN", 4) != 0)
    return Fail("not a VQF file (no TWIN header)");
  const uint64_t headerEnd = 16 + uint64_t{Be32(head.data() + 12)};
  if (headerEnd + 4 > fileSize) return Fail("the header chunk runs past the end of the file");
  head.resize(static_cast<size_t>(headerEnd + 4));
  if (!file.read(reinterpret_cast<char*>(head.data() + 16),
                 static_cast<std::streamsize>(headerEnd - 12)))
    return Fail("cannot read the header");
  int channelMode = -1, bitRate = 0, rateCode = 0;
  for (uint64_t at = 16; at + 8 <= headerEnd;) {
    const uint8_t* chunk = head.data() + at;
    const uint64_t size = Be32(chunk + 4);
    if (at + 8 + size > headerEnd) return Fail("a header chunk runs past the header");
    if (std::memcmp(chunk, "COMM", 4) == 0 && size >= 12) {
      channelMode = static_cast<int>(Be32(chunk + 8));
      bitRate = static_cast<int>(Be32(chunk + 12));
      rateCode = static_cast<int>(Be32(chunk + 16));
    }
    at += 8 + size;
  }
  if (channelMode != 0 && channelMode != 1) return Fail("no usable COMM chunk");
  if (std::memcmp(head.data() + headerEnd, "DATA", 4) != 0) return Fail("no DATA after the header");

  const int channels = channelMode + 1;
  const Mode* mode = FindMode(rateCode, bitRate / channels);
  if (!mode || bitRate % channels != 0) {
    return Fail("no decoder for " + std::to_string(rateCode) + " kHz at " +
                std::to_string(bitRate) + " kbit/s with " + std::to_string(channels) +
                " channel(s)");
  }
  const Layout layout = MakeLayout(*mode, channels);
  if (!BooksCover(layout, DefaultBooks())) return Fail("this build lacks codebooks for the mode");
  Decoder decoder(layout, DefaultBooks());

  SF_INFO info{};
  info.samplerate = layout.sampleRate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* out = sf_open(argv[2], SFM_WRITE, &info);
  if (!out) return Fail(std::string("cannot create ") + argv[2] + ": " + sf_strerror(nullptr));

  // Frame by frame; the coder's delay comes off the front.
  BitReader in(file, fileSize - headerEnd - 4);
  const int f = layout.frameSize;
  std::vector<float> frame(static_cast<size_t>(f * channels));
  std::vector<int16_t> pcm(frame.size());
  int64_t skip = layout.latency;
  bool written = true;
  TvqIndex index;
  while (written && in.Left() >= static_cast<uint64_t>(layout.frameBits)) {
    if (!ReadFrame(in, layout, index)) {
      sf_close(out);
      return Fail("a broken frame (window type out of range)");
    }
    decoder.DecodeFrame(index, frame.data());
    for (size_t i = 0; i < frame.size(); ++i)
      pcm[i] = static_cast<int16_t>(std::lrint(std::clamp(frame[i], -32768.0f, 32767.0f)));
    const int64_t from = std::min<int64_t>(skip, f);
    skip -= from;
    const sf_count_t n = f - from;
    written = n == 0 || sf_writef_short(out, pcm.data() + from * channels, n) == n;
  }
  if (sf_close(out) != 0 || !written) return Fail(std::string("cannot write ") + argv[2]);
  return 0;
}
