#pragma once
// One WMA file being written, on FFmpeg's libraries: libswresample turns the
// recorder's 16-bit PCM into the profile's rate and channels (as the
// encoder's float planes), libavcodec's WMA v2 encoder makes the
// constant-bit-rate superframes, and libavformat's ASF muxer packs them into
// data packets sized so that whole superframes fill them without padding.
// Every finished packet goes to the file at once, so a killed recording
// keeps all but its last packet; closing rewrites the header and appends a
// simple index for seeking, so a closed file is complete.
// Thread affinity: one thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AVAudioFifo;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct AVStream;
struct SwrContext;

namespace tarvexa::wma {

struct StreamFormat {
  int inRate = 44100;  // the PCM handed to Write
  int inChannels = 2;
  int rate = 44100;  // the file's
  int channels = 2;
  int bitrate = 128000;  // bit/s
};

// The ASF packet size in which whole superframes of frameBytes fill a data
// packet exactly, in the packet layout FFmpeg's muxer writes: several
// superframes per packet up to about FFmpeg's usual 3200 bytes, or one per
// packet for the largest ones.
int AsfPacketSizeFor(int frameBytes);

class AsfWmaOutput {
 public:
  AsfWmaOutput() = default;
  ~AsfWmaOutput();
  AsfWmaOutput(const AsfWmaOutput&) = delete;
  AsfWmaOutput& operator=(const AsfWmaOutput&) = delete;

  // Opens the encoder first, so that a format it refuses creates no file.
  bool Open(const std::string& path, const StreamFormat& format, std::string* error);
  // count interleaved samples of the input format (whole frames).
  bool Write(const int16_t* samples, size_t count, std::string* error);
  // Encodes what is left, rewrites the header and appends the index. After a
  // failed Write the file is left as written (it decodes up to the failure).
  bool Close(std::string* error);
  bool IsOpen() const { return format_ != nullptr; }

 private:
  bool StartFile(std::string* error);
  bool Fail(std::string* error, const std::string& what, int code);
  bool Convert(const uint8_t** in, int frames, std::string* error);
  bool EncodeFrames(bool final, std::string* error);
  bool Drain(std::string* error);
  bool Flush(std::string* error);
  bool WriteIndex(std::string* error);
  void Release();

  std::string path_;
  StreamFormat f_;
  int fd_ = -1;
  AVCodecContext* codec_ = nullptr;
  AVFormatContext* format_ = nullptr;
  AVIOContext* io_ = nullptr;
  AVStream* stream_ = nullptr;
  SwrContext* swr_ = nullptr;
  AVAudioFifo* fifo_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  std::vector<std::vector<float>> planes_;  // conversion output, one per channel
  int64_t nextPts_ = 0;                     // in samples of the file's rate
  bool failed_ = false;

  // Where the data packets start, their size and the muxer's preroll, for
  // the index: one entry per second of presentation time, each the packet
  // that holds the audio of that second's start.
  int64_t dataStart_ = 0;
  int packetSize_ = 0;
  int64_t prerollMs_ = 0;
  int64_t shiftMs_ = -1;  // what the muxer adds to make the first time 0
  int64_t endMs_ = 0;     // presentation end of the last superframe
  std::vector<uint32_t> index_;
};

}  // namespace tarvexa::wma
