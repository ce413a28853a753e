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
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
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

class BitReader {
 public:
  BitReader(const uint8_t* data, size_t bytes) : data_(data), bits_(bytes * 8) {}
  size_t Left() const { return bits_ - pos_; }
  int Get(int n) {
    int v = 0;
    for (int i = 0; i < n; ++i, ++pos_) v = (v << 1) | ((data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1);
    return v;
  }

 private:
  const uint8_t* data_;
  size_t bits_;
  size_t pos_ = 0;
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
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) return Fail(std::string("cannot open ") + argv[1]);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());

  // The header chunk: "TWIN" and the version, its length, its sub-chunks.
  if (bytes.size() < 20 || std::memcmp(bytes.data(), "TWIN", 4) != 0)
    return Fail("not a VQF file (no TWIN header)");
  const uint64_t headerEnd = 16 + uint64_t{Be32(bytes.data() + 12)};
  if (headerEnd + 4 > bytes.size()) return Fail("the header chunk runs past the end of the file");
  int channelMode = -1, bitRate = 0, rateCode = 0;
  for (uint64_t at = 16; at + 8 <= headerEnd;) {
    const uint8_t* chunk = bytes.data() + at;
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
  if (std::memcmp(bytes.data() + headerEnd, "DATA", 4) != 0)
    return Fail("no DATA after the header");

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

  const size_t dataAt = static_cast<size_t>(headerEnd) + 4;
  BitReader in(bytes.data() + dataAt, bytes.size() - dataAt);
  const int f = layout.frameSize;
  std::vector<float> decoded;
  std::vector<float> frame(static_cast<size_t>(f * channels));
  TvqIndex index;
  while (in.Left() >= static_cast<size_t>(layout.frameBits)) {
    if (!ReadFrame(in, layout, index)) return Fail("a broken frame (window type out of range)");
    decoder.DecodeFrame(index, frame.data());
    decoded.insert(decoded.end(), frame.begin(), frame.end());
  }

  // The coder's delay comes off the front.
  const size_t skip =
      std::min(decoded.size(), static_cast<size_t>(layout.latency) * static_cast<size_t>(channels));
  std::vector<int16_t> pcm(decoded.size() - skip);
  for (size_t i = 0; i < pcm.size(); ++i) {
    const float v = std::clamp(decoded[skip + i], -32768.0f, 32767.0f);
    pcm[i] = static_cast<int16_t>(std::lrint(v));
  }
  SF_INFO info{};
  info.samplerate = layout.sampleRate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* out = sf_open(argv[2], SFM_WRITE, &info);
  if (!out) return Fail(std::string("cannot create ") + argv[2] + ": " + sf_strerror(nullptr));
  const sf_count_t frames = static_cast<sf_count_t>(pcm.size() / static_cast<size_t>(channels));
  const bool written = sf_writef_short(out, pcm.data(), frames) == frames;
  if (sf_close(out) != 0 || !written) return Fail(std::string("cannot write ") + argv[2]);
  return 0;
}
