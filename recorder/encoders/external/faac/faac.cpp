// faac: the recorder's AAC encoder program. It reads a 16-bit PCM WAV
// stream (from standard input, "-", or a file) and writes AAC with FFmpeg's
// own AAC encoder: raw ADTS, or in an MP4 wrapper (-w; .m4a and .m4b as
// iTunes-style MP4). It takes the switches the recorder gives it:
//
//   faac [-q QUALITY | -b KBPS] [--tns] [--no-midside] [--mpeg-vers 2|4]
//        [--obj-type LC|Main|LTP] [--shortctl 0|1|2] [-w] -o OUTPUT INPUT
//
// QUALITY is 10 to 500 (100 is about 128 kbit/s for stereo at 44.1 kHz),
// KBPS the average bitrate of all channels. The object types are those of
// plain AAC; HE-AAC is not offered. Exit status 0 after a complete file,
// 1 when encoding or writing failed, 2 for a wrong command line.
//
// With standard input the header's data length is not believed (the
// recorder cannot know it): the stream is read to its end.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Options {
  int quality = 100;  // used unless bitrate > 0
  int bitrateKbps = 0;
  bool tns = false;
  bool midSide = true;
  int mpegVersion = 4;
  std::string objectType = "LC";
  int shortCtl = 0;
  bool wrapper = false;
  std::string output;
  std::string input;
};

const char kUsage[] =
    "usage: faac [-q QUALITY | -b KBPS] [--tns] [--no-midside] [--mpeg-vers 2|4]\n"
    "            [--obj-type LC|Main|LTP] [--shortctl 0|1|2] [-w] -o OUTPUT INPUT|-\n";

bool ParseInt(const char* text, int min, int max, int* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < min || v > max) return false;
  *out = static_cast<int>(v);
  return true;
}

// Empty when the command line is right, else what is wrong with it.
std::string Parse(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)what;
      return argv[++i];
    };
    if (a == "-q" || a == "-b" || a == "--mpeg-vers" || a == "--obj-type" || a == "--shortctl" ||
        a == "-o") {
      const char* v = value(a.c_str());
      if (!v) return a + " needs a value";
      if (a == "-q" && !ParseInt(v, 10, 500, &o->quality)) return "-q takes 10 to 500";
      if (a == "-b" && !ParseInt(v, 8, 576, &o->bitrateKbps)) return "-b takes 8 to 576 kbit/s";
      if (a == "--mpeg-vers" && (!ParseInt(v, 2, 4, &o->mpegVersion) || o->mpegVersion == 3))
        return "--mpeg-vers takes 2 or 4";
      if (a == "--obj-type") {
        o->objectType = v;
        if (o->objectType != "LC" && o->objectType != "Main" && o->objectType != "LTP")
          return "--obj-type takes LC, Main or LTP";
      }
      if (a == "--shortctl" && !ParseInt(v, 0, 2, &o->shortCtl))
        return "--shortctl takes 0, 1 or 2";
      if (a == "-o") o->output = v;
    } else if (a == "--tns") {
      o->tns = true;
    } else if (a == "--no-midside") {
      o->midSide = false;
    } else if (a == "-w") {
      o->wrapper = true;
    } else if (a == "-" || (!a.empty() && a[0] != '-')) {
      if (!o->input.empty()) return "only one input, please";
      o->input = a;
    } else {
      return "unknown switch " + a;
    }
  }
  if (o->output.empty()) return "no output file (-o)";
  if (o->input.empty()) return "no input (a file, or - for standard input)";
  if (o->objectType == "LTP" && o->mpegVersion == 2) return "LTP is an MPEG-4 object type";
  return {};
}

struct WavInput {
  FILE* file = nullptr;
  int rate = 0;
  int channels = 0;
  int64_t dataLeft = -1;  // bytes; -1: to the end of the stream
};

uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

bool ReadExactly(FILE* f, void* buffer, size_t size) {
  return std::fread(buffer, 1, size, f) == size;
}

bool SkipBytes(FILE* f, uint32_t size) {
  unsigned char scratch[4096];
  while (size > 0) {
    const size_t n = size < sizeof scratch ? size : sizeof scratch;
    if (!ReadExactly(f, scratch, n)) return false;
    size -= static_cast<uint32_t>(n);
  }
  return true;
}

// Reads up to the first sample; empty on success, else why not.
std::string OpenWav(const std::string& path, WavInput* in) {
  in->file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (!in->file) return path + ": " + std::strerror(errno);
  unsigned char riff[12];
  if (!ReadExactly(in->file, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0) {
    return "the input is not a WAV stream";
  }
  bool haveFormat = false;
  for (;;) {
    unsigned char chunk[8];
    if (!ReadExactly(in->file, chunk, 8)) return "the WAV stream has no data chunk";
    const uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || size > 4096) return "the WAV format chunk is damaged";
      std::vector<unsigned char> fmt(size);
      if (!ReadExactly(in->file, fmt.data(), size)) return "the WAV format chunk is damaged";
      const uint16_t tag = Le16(&fmt[0]);
      const bool pcm = tag == 1 || (tag == 0xFFFE && size >= 26 && Le16(&fmt[24]) == 1);
      in->channels = Le16(&fmt[2]);
      in->rate = static_cast<int>(Le32(&fmt[4]));
      if (!pcm || Le16(&fmt[14]) != 16) return "only 16-bit PCM is taken";
      if (in->channels < 1 || in->channels > 8) return "1 to 8 channels are taken";
      if (size & 1) SkipBytes(in->file, 1);
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return "the WAV stream has no format before its data";
      // A file says how much it holds; a stream cannot know.
      struct stat st {};
      const bool regular = fstat(fileno(in->file), &st) == 0 && S_ISREG(st.st_mode);
      if (regular && size != 0 && size != 0xFFFFFFFF) in->dataLeft = size;
      return {};
    } else if (!SkipBytes(in->file, size + (size & 1))) {
      return "the WAV stream ends before its data";
    }
  }
}

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// The muxer: ADTS without the wrapper; with it the MP4 flavour the
// extension names (ipod for .m4a/.m4b), plain MP4 for anything else.
const AVOutputFormat* MuxerFor(const Options& o) {
  if (!o.wrapper) return av_guess_format("adts", nullptr, nullptr);
  const AVOutputFormat* guessed = av_guess_format(nullptr, o.output.c_str(), nullptr);
  if (guessed) {
    for (const char* name : {"mp4", "ipod", "mov", "3gp", "3g2"})
      if (std::strcmp(guessed->name, name) == 0) return guessed;
  }
  return av_guess_format("mp4", nullptr, nullptr);
}

class Encoder {
 public:
  ~Encoder() {
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&codec_);
    if (mux_) {
      if (mux_->pb) avio_closep(&mux_->pb);
      avformat_free_context(mux_);
    }
  }

  std::string Open(const Options& o, int rate, int channels) {
    const AVCodec* aac = avcodec_find_encoder_by_name("aac");
    if (!aac) return "this FFmpeg has no AAC encoder";
    const AVOutputFormat* format = MuxerFor(o);
    if (!format) return "this FFmpeg has no muxer for the output";
    if (avformat_alloc_output_context2(&mux_, format, nullptr, o.output.c_str()) < 0 || !mux_)
      return "cannot set up the output";

    codec_ = avcodec_alloc_context3(aac);
    if (!codec_) return "out of memory";
    codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec_->sample_rate = rate;
    codec_->time_base = AVRational{1, rate};
    av_channel_layout_default(&codec_->ch_layout, channels);
    if (o.bitrateKbps > 0) {
      codec_->bit_rate = static_cast<int64_t>(o.bitrateKbps) * 1000;
    } else {
      // FFmpeg's quality scale runs 0.1 to 5 where ours runs 10 to 500.
      codec_->flags |= AV_CODEC_FLAG_QSCALE;
      codec_->global_quality = FF_QP2LAMBDA * o.quality / 100;
    }
    if (o.objectType == "Main") {
      codec_->profile = FF_PROFILE_AAC_MAIN;
    } else if (o.objectType == "LTP") {
      codec_->profile = FF_PROFILE_AAC_LTP;
      codec_->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    } else {
      codec_->profile = o.mpegVersion == 2 ? FF_PROFILE_MPEG2_AAC_LOW : FF_PROFILE_AAC_LOW;
    }
    av_opt_set_int(codec_->priv_data, "aac_tns", o.tns ? 1 : 0, 0);
    // Mid/side off, or left to the encoder.
    if (!o.midSide) av_opt_set_int(codec_->priv_data, "aac_ms", 0, 0);
    // Noise substitution is an MPEG-4 tool.
    if (o.mpegVersion == 2) av_opt_set_int(codec_->priv_data, "aac_pns", 0, 0);
    if (mux_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int r = avcodec_open2(codec_, aac, nullptr);
    if (r < 0) return "cannot open the AAC encoder: " + AvError(r);

    stream_ = avformat_new_stream(mux_, nullptr);
    if (!stream_) return "out of memory";
    stream_->time_base = codec_->time_base;
    avcodec_parameters_from_context(stream_->codecpar, codec_);
    r = avio_open(&mux_->pb, o.output.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) return o.output + ": " + AvError(r);
    AVDictionary* options = nullptr;
    if (!o.wrapper && o.mpegVersion == 2) av_dict_set(&options, "write_mpeg2", "1", 0);
    r = avformat_write_header(mux_, &options);
    av_dict_free(&options);
    if (r < 0) return "cannot write " + o.output + ": " + AvError(r);

    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!frame_ || !packet_) return "out of memory";
    frame_->format = codec_->sample_fmt;
    frame_->sample_rate = rate;
    av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
    frame_->nb_samples = codec_->frame_size;
    if (av_frame_get_buffer(frame_, 0) < 0) return "out of memory";
    channels_ = channels;
    return {};
  }

  int FrameSize() const { return codec_->frame_size; }

  // Encodes `frames` interleaved 16-bit frames (at most FrameSize()).
  std::string Encode(const int16_t* pcm, int frames) {
    int r = av_frame_make_writable(frame_);
    if (r < 0) return AvError(r);
    frame_->nb_samples = frames;
    for (int c = 0; c < channels_; ++c) {
      float* plane = reinterpret_cast<float*>(frame_->extended_data[c]);
      for (int i = 0; i < frames; ++i) plane[i] = pcm[i * channels_ + c] * (1.0f / 32768.0f);
    }
    frame_->pts = samples_;
    samples_ += frames;
    return Send(frame_);
  }

  std::string Finish() {
    std::string err = Send(nullptr);
    if (!err.empty()) return err;
    const int r = av_write_trailer(mux_);
    if (r < 0) return "cannot finish the file: " + AvError(r);
    if (mux_->pb->error < 0) return "cannot write the file: " + AvError(mux_->pb->error);
    const int closed = avio_closep(&mux_->pb);
    if (closed < 0) return "cannot close the file: " + AvError(closed);
    return {};
  }

  int64_t Samples() const { return samples_; }

 private:
  std::string Send(const AVFrame* frame) {
    int r = avcodec_send_frame(codec_, frame);
    if (r < 0) return "cannot encode: " + AvError(r);
    for (;;) {
      r = avcodec_receive_packet(codec_, packet_);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return {};
      if (r < 0) return "cannot encode: " + AvError(r);
      av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      r = av_interleaved_write_frame(mux_, packet_);
      if (r < 0) return "cannot write the file: " + AvError(r);
    }
  }

  AVFormatContext* mux_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVStream* stream_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int channels_ = 0;
  int64_t samples_ = 0;
};

int Fail(const std::string& why) {
  std::fprintf(stderr, "faac: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  const std::string wrong = Parse(argc, argv, &o);
  if (!wrong.empty()) {
    std::fprintf(stderr, "faac: %s\n%s", wrong.c_str(), kUsage);
    return 2;
  }
  av_log_set_level(AV_LOG_ERROR);
  if (o.shortCtl != 0) {
    std::fprintf(stderr, "faac: --shortctl %d: FFmpeg's encoder chooses the block types itself\n",
                 o.shortCtl);
  }

  WavInput in;
  std::string err = OpenWav(o.input, &in);
  if (!err.empty()) return Fail(err);
  Encoder encoder;
  err = encoder.Open(o, in.rate, in.channels);
  if (!err.empty()) return Fail(err);

  const int frameSize = encoder.FrameSize();
  const size_t frameBytes = static_cast<size_t>(in.channels) * 2;
  std::vector<unsigned char> bytes(static_cast<size_t>(frameSize) * frameBytes);
  std::vector<int16_t> pcm(static_cast<size_t>(frameSize) * static_cast<size_t>(in.channels));
  size_t filled = 0;  // bytes in `bytes`
  for (;;) {
    size_t want = bytes.size() - filled;
    if (in.dataLeft >= 0 && static_cast<int64_t>(want) > in.dataLeft)
      want = static_cast<size_t>(in.dataLeft);
    const size_t got = want > 0 ? std::fread(bytes.data() + filled, 1, want, in.file) : 0;
    filled += got;
    if (in.dataLeft >= 0) in.dataLeft -= static_cast<int64_t>(got);
    const bool end = got == 0 || (in.dataLeft == 0);
    if (filled == bytes.size() || (end && filled >= frameBytes)) {
      const int frames = static_cast<int>(filled / frameBytes);
      for (size_t i = 0; i < static_cast<size_t>(frames) * in.channels; ++i)
        pcm[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
      err = encoder.Encode(pcm.data(), frames);
      if (!err.empty()) return Fail(err);
      filled -=
          static_cast<size_t>(frames) * frameBytes;  // a torn frame at the very end is dropped
      if (filled > 0 && !end)
        std::memmove(bytes.data(), bytes.data() + frames * frameBytes, filled);
    }
    if (end) break;
  }
  if (std::ferror(in.file))
    return Fail(std::string("cannot read the input: ") + std::strerror(errno));
  err = encoder.Finish();
  if (!err.empty()) return Fail(err);
  std::printf("faac: %lld samples encoded into %s\n", static_cast<long long>(encoder.Samples()),
              o.output.c_str());
  return 0;
}
