// The VQF writer: tvqenc.so, bound at run time, fed whole frames of samples
// from a small queue; each coded frame is packed and handed to the file at
// once, so a recording that is killed leaves whole frames.
//
// After the last, zero-padded frame the writer adds silent frames while the
// coder still holds recorded samples (it looks ahead and overlaps frames),
// so the end of a recording is not lost to the coder's delay.
#include "encoders/vqf/VqfWriter.h"

#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "encoders/vqf/VqfChunk.h"
#include "platform/Paths.h"

namespace tarvexa {

namespace {

std::mutex gLibraryMutex;
std::shared_ptr<const TvqEncLibrary> gCurrentLibrary;

constexpr std::array<VqfPreset, 18> kPresets = {{
    {"  8,000 Hz;    Mono;   8 kbps;", 8, 0, 8, 1, 0},
    {"  8,000 Hz;  Stereo;  16 kbps;", 8, 1, 16, 2, 0},
    {" 11,025 Hz;    Mono;   8 kbps;", 11, 0, 8, 1, 1},
    {" 11,025 Hz;    Mono;  10 kbps;", 11, 0, 10, 1, 1},
    {" 11,025 Hz;  Stereo;  16 kbps;", 11, 1, 16, 2, 1},
    {" 11,025 Hz;  Stereo;  20 kbps;", 11, 1, 20, 2, 1},
    {" 16,000 Hz;    Mono;  16 kbps;", 16, 0, 16, 1, 3},
    {" 16,000 Hz;  Stereo;  32 kbps;", 16, 1, 32, 2, 3},
    {" 22,050 Hz;    Mono;  20 kbps;", 22, 0, 20, 1, 4},
    {" 22,050 Hz;    Mono;  24 kbps;", 22, 0, 24, 1, 4},
    {" 22,050 Hz;    Mono;  32 kbps;", 22, 0, 32, 1, 4},
    {" 22,050 Hz;  Stereo;  40 kbps;", 22, 1, 40, 2, 4},
    {" 22,050 Hz;  Stereo;  48 kbps;", 22, 1, 48, 2, 4},
    {" 22,050 Hz;  Stereo;  64 kbps;", 22, 1, 64, 2, 4},
    {" 44,100 Hz;    Mono;  40 kbps;", 44, 0, 40, 1, 7},
    {" 44,100 Hz;    Mono;  48 kbps;", 44, 0, 48, 1, 7},
    {" 44,100 Hz;  Stereo;  80 kbps;", 44, 1, 80, 2, 7},
    {" 44,100 Hz;  Stereo;  96 kbps;", 44, 1, 96, 2, 7},
}};

// Copies text into a fixed field, cut to kVqfTextMax characters.
void SetField(char (&field)[kVqfTextMax + 1], const std::string& text) {
  const size_t n = std::min(text.size(), static_cast<size_t>(kVqfTextMax));
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

}  // namespace

// ---------------------------------------------------------------------------
// Binding

TvqEncLibrary::~TvqEncLibrary() {
  if (handle_) dlclose(handle_);
}

std::string TvqEncLibrary::LoadFolder() {
  if (const char* dir = std::getenv("TARVEXA_LIB_DIR"); dir && *dir) return dir;
  return ProgramFolder();
}

std::string TvqEncLibrary::Bind() {
  const std::string path = LoadFolder() + "/" + kTvqEncFileName;
  std::shared_ptr<TvqEncLibrary> lib(new TvqEncLibrary);
  lib->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  std::string error;
  if (!lib->handle_) {
    error = std::string("Error loading ") + kTvqEncFileName + ".";
  } else {
    auto find = [&](const char* name) { return dlsym(lib->handle_, name); };
    lib->getVersionId = reinterpret_cast<TvqGetVersionIDFn*>(find(kTvqGetVersionIDName));
    lib->initialize = reinterpret_cast<TvqEncInitializeFn*>(find(kTvqEncInitializeName));
    lib->getConfInfo = reinterpret_cast<TvqEncGetConfInfoFn*>(find(kTvqEncGetConfInfoName));
    lib->getVectorInfo = reinterpret_cast<TvqEncGetVectorInfoFn*>(find(kTvqEncGetVectorInfoName));
    lib->getFrameSize = reinterpret_cast<TvqEncGetFrameSizeFn*>(find(kTvqEncGetFrameSizeName));
    lib->getNumChannels =
        reinterpret_cast<TvqEncGetNumChannelsFn*>(find(kTvqEncGetNumChannelsName));
    lib->encodeFrame = reinterpret_cast<TvqEncodeFrameFn*>(find(kTvqEncodeFrameName));
    lib->updateVectorInfo =
        reinterpret_cast<TvqEncUpdateVectorInfoFn*>(find(kTvqEncUpdateVectorInfoName));
    lib->terminate = reinterpret_cast<TvqEncTerminateFn*>(find(kTvqEncTerminateName));
    if (!lib->getVersionId || !lib->initialize || !lib->getConfInfo || !lib->getVectorInfo ||
        !lib->getFrameSize || !lib->getNumChannels || !lib->encodeFrame || !lib->updateVectorInfo ||
        !lib->terminate) {
      error = "Unable to get TwinVQ interfaces.";
    }
  }
  std::lock_guard<std::mutex> lock(gLibraryMutex);
  gCurrentLibrary = error.empty() ? std::move(lib) : nullptr;
  return error;
}

std::shared_ptr<const TvqEncLibrary> TvqEncLibrary::Current() {
  std::lock_guard<std::mutex> lock(gLibraryMutex);
  return gCurrentLibrary;
}

// ---------------------------------------------------------------------------
// Settings

const std::array<VqfPreset, 18>& VqfPresets() { return kPresets; }

const VqfPreset* FindVqfPreset(int profile) {
  if (profile < 1 || profile > static_cast<int>(kPresets.size())) return nullptr;
  return &kPresets[static_cast<size_t>(profile - 1)];
}

std::string VqfFormatLabel(const Settings& s) {
  const VqfPreset* p = FindVqfPreset(s.VQF.Profile);
  if (!p) return "VQF:";
  char text[96];
  std::snprintf(text, sizeof text, "VQF:  %3d kbps; %5d Hz;  %s; Quality %2d;", p->kbps,
                SampleRateTable[static_cast<size_t>(p->freq)], p->chan == 1 ? "Mono" : "Stereo",
                static_cast<int>(s.VQF.Quality));
  return text;
}

RateChannelMatrix VqfFormatMatrix(const Settings& s) {
  RateChannelMatrix m;
  if (const VqfPreset* p = FindVqfPreset(s.VQF.Profile))
    m.allowed[static_cast<size_t>(p->chan - 1)][static_cast<size_t>(p->freq)] = true;
  return m;
}

std::string PrepareVqf(const Settings&) { return TvqEncLibrary::Bind(); }

VqfHeaderInfo MakeVqfHeaderInfo(const Settings& s, const TvqEncLibrary& lib) {
  VqfHeaderInfo h;
  std::memset(&h, 0, sizeof h);
  lib.getVersionId(0, h.id);
  h.id[kTvqIdLength] = '\0';
  if (const VqfPreset* p = FindVqfPreset(s.VQF.Profile)) {
    h.channelMode = p->channelMode;
    h.bitRate = p->kbps;
    h.samplingRate = p->rateCode;
  }
  return h;
}

// ---------------------------------------------------------------------------
// Writer

VqfWriter::VqfWriter(const Settings& s) : settings_(s), index_(std::make_unique<TvqIndex>()) {}

VqfWriter::~VqfWriter() { Release(); }

void VqfWriter::Release() {
  if (encoderOpen_ && lib_) lib_->terminate(index_.get());
  encoderOpen_ = false;
  if (file_.IsOpen()) file_.Close();
}

bool VqfWriter::Fail(const std::string& what) {
  if (!failed_) {
    error_ = "Error writing file " + path_ + ": " +
             (what.empty() ? std::string(std::strerror(file_.Error())) : what);
  }
  failed_ = true;
  return false;
}

std::string VqfWriter::Open(const std::string& path) {
  Release();
  path_ = path;
  error_.clear();
  failed_ = false;
  queued_ = 0;
  samplesIn_ = 0;
  framesWritten_ = 0;

  lib_ = TvqEncLibrary::Current();
  if (!lib_) {
    // Not bound for this recording yet (a writer used on its own).
    error_ = TvqEncLibrary::Bind();
    if (!error_.empty()) return error_;
    lib_ = TvqEncLibrary::Current();
  }

  header_ = MakeVqfHeaderInfo(settings_, *lib_);
  SetField(header_.file, path);
  std::memset(&specific_, 0, sizeof specific_);
  specific_.quality = settings_.VQF.Quality;

  const int rc = lib_->initialize(&header_, &specific_, index_.get(), 0);
  if (rc != 0) {
    error_ = "ErrorCode: " + std::to_string(rc) + "\nFail to Initialize TwinVQ Encoder!";
    return error_;
  }
  encoderOpen_ = true;

  // Everything that can be refused is checked before the file is created.
  lib_->getConfInfo(&conf_);
  lib_->getVectorInfo(bits0_.data(), bits1_.data());
  frameSize_ = lib_->getFrameSize();
  channels_ = lib_->getNumChannels();
  // What the library reports must fit the index record and the recording.
  bool usable = frameSize_ > 0 && frameSize_ <= (1 << 16) && channels_ >= 1 &&
                channels_ <= kTvqMaxChannels && conf_.channels == channels_ &&
                conf_.lspSplits >= 0 && conf_.lspSplits <= kTvqMaxLspSplits &&
                conf_.pitchDivisions >= 0 && conf_.pitchDivisions <= kTvqMaxPitchDivisions;
  for (int t = 0; t < kTvqFrameTypes && usable; ++t) {
    const TvqConfInfoSubBlock& s = conf_.sub[t];
    usable =
        s.subBlocks >= 1 && s.subBlocks <= kTvqMaxSubBlocks && s.divisions >= 0 &&
        s.divisions <= kTvqMaxDivisions &&
        (s.divisions == 0 || (bits0_[static_cast<size_t>(t)] && bits1_[static_cast<size_t>(t)])) &&
        s.forwardDivisions >= 0 && s.forwardDivisions <= kTvqMaxForward && s.powerSubBlocks >= 0 &&
        s.powerSubBlocks <= kTvqMaxSubBlocks &&
        (!s.pbEnabled || (s.pbFirst >= 0 && s.pbFirst <= s.pbLast && s.pbLast < kTvqMaxPb));
  }
  if (!usable) {
    Release();
    error_ = "The TwinVQ encoder reported a frame layout this writer cannot use.";
    return error_;
  }
  if (channels_ != ChannelsOf(settings_) || conf_.sampleRate != SampleRateOf(settings_)) {
    Release();
    char text[160];
    std::snprintf(text, sizeof text,
                  "The VQF preset records %d Hz with %d channel(s), not %d Hz with %d.",
                  conf_.sampleRate, channels_, SampleRateOf(settings_), ChannelsOf(settings_));
    error_ = text;
    return error_;
  }
  queue_.assign(static_cast<size_t>(frameSize_ * channels_), 0);
  planes_.assign(queue_.size(), 0.0f);

  CChunk header("");
  if (!BuildVqfHeaderChunk(header_, &header)) {
    Release();
    error_ = "Failed to create bitstream header.";
    return error_;
  }
  CChunk trac("TRAC");
  trac.PutInteger(10, 2);
  header.PutChunk(trac);

  if (!file_.Open(path, "wb")) {
    Release();
    error_ = "Output bitstream file open error!";
    return error_;
  }
  file_.PutBytes(header.Written());
  file_.PutBytes({'D', 'A', 'T', 'A'});
  if (!file_.Commit()) {
    error_ = "Error writing file " + path + ": " + std::strerror(file_.Error());
    Release();
    return error_;
  }
  return {};
}

void VqfWriter::PackFrame() {
  const TvqIndex& x = *index_;
  const int type = std::clamp(x.frameType, 0, kTvqFrameTypes - 1);
  const TvqConfInfoSubBlock& s = conf_.sub[type];
  auto put = [&](int32_t v, int32_t width) {
    return file_.PutBits(static_cast<uint32_t>(v), width);
  };

  put(x.windowType, conf_.windowTypeWidth);
  int32_t* w0 = bits0_[static_cast<size_t>(type)];
  int32_t* w1 = bits1_[static_cast<size_t>(type)];
  if (type == 2) lib_->updateVectorInfo(s.divisions, w0, w1);
  for (int d = 0; d < s.divisions; ++d) {
    if (!put(x.shape0[d], w0[d])) std::printf("shape0 %d, %d %d\n", d, x.shape0[d], w0[d]);
    if (!put(x.shape1[d], w1[d])) std::printf("shape1 %d, %d %d\n", d, x.shape1[d], w1[d]);
  }
  for (int c = 0; c < channels_; ++c)
    for (int j = 0; j < s.subBlocks; ++j)
      for (int k = 0; k < s.forwardDivisions; ++k)
        if (!put(x.forward[c][j][k], s.forwardWidth))
          std::printf("forward short %d, %d, %d, %d\n", c, j, k, x.forward[c][j][k]);
  for (int c = 0; c < channels_; ++c)
    for (int j = 0; j < s.subBlocks; ++j)
      if (!put(x.forwardAr[c][j], conf_.arWidth))
        std::printf("forward AR param. ch: %d, sh_no: %d, ind: %d\n", c, j, x.forwardAr[c][j]);
  for (int c = 0; c < channels_; ++c) {
    if (!put(x.power[c], conf_.powerWidth)) std::printf("power  %d %d\n", c, x.power[c]);
    for (int j = 0; j < s.powerSubBlocks; ++j)
      if (!put(x.powerSub[c][j], conf_.powerSubWidth))
        std::printf("power %d, %d %d\n", c, j, x.powerSub[c][j]);
  }
  for (int c = 0; c < channels_; ++c) {
    if (!put(x.lsp[c][0], conf_.lspWidths[0])) std::printf("lsp0 %d %d\n", c, x.lsp[c][0]);
    if (!put(x.lsp[c][1], conf_.lspWidths[1])) std::printf("lsp1 %d %d\n", c, x.lsp[c][1]);
    for (int k = 0; k < conf_.lspSplits; ++k)
      if (!put(x.lsp[c][2 + k], conf_.lspWidths[2]))
        std::printf("lsp2 %d, %d %d\n", c, k, x.lsp[c][2 + k]);
  }
  if (s.pitchEnabled) {
    const int32_t* p0 = bits0_[kTvqPitchTable];
    const int32_t* p1 = bits1_[kTvqPitchTable];
    for (int k = 0; k < conf_.pitchDivisions && p0 && p1; ++k) {
      if (!put(x.pitchShape0[k], p0[k]))
        std::printf("codebook0_pit %d, %d %d\n", k, x.pitchShape0[k], p0[k]);
      if (!put(x.pitchShape1[k], p1[k]))
        std::printf("codebook1_pit %d, %d %d\n", k, x.pitchShape1[k], p1[k]);
    }
    for (int c = 0; c < channels_; ++c) {
      if (!put(x.pitch[c], conf_.pitchWidth)) std::printf("index_pitch %d %d\n", c, x.pitch[c]);
      if (!put(x.pitchGain[c], conf_.pitchGainWidth))
        std::printf("index_pgain %d %d\n", c, x.pitchGain[c]);
    }
  }
  if (s.pbEnabled) {
    for (int c = 0; c < channels_; ++c)
      for (int j = 0; j < s.subBlocks; ++j)
        for (int p = s.pbFirst; p <= s.pbLast; ++p)
          if (!put(x.pb[c][j][p], s.pbWidth)) std::printf("index_pb %d %d", c, x.pb[c][j][p]);
  }
}

// Codes the queue as one frame (zeros after what it holds) and hands the
// frame to the file.
bool VqfWriter::EncodeQueue() {
  const size_t f = static_cast<size_t>(frameSize_);
  const size_t chans = static_cast<size_t>(channels_);
  std::fill(queue_.begin() + static_cast<std::ptrdiff_t>(queued_), queue_.end(), 0);
  for (size_t i = 0; i < f; ++i)
    for (size_t c = 0; c < chans; ++c) planes_[c * f + i] = queue_[i * chans + c];
  queued_ = 0;
  lib_->encodeFrame(planes_.data(), index_.get());
  PackFrame();
  if (!file_.Commit()) return Fail("");
  ++framesWritten_;
  return true;
}

bool VqfWriter::Write(const int16_t* samples, size_t frames) {
  if (!encoderOpen_ || !file_.IsOpen()) {
    if (error_.empty()) error_ = "Error writing file " + path_ + ": the file is not open";
    return false;
  }
  if (failed_) return false;
  const size_t chans = static_cast<size_t>(channels_);
  size_t left = frames * chans;
  while (left > 0) {
    const size_t take = std::min(left, queue_.size() - queued_);
    std::copy(samples, samples + take, queue_.begin() + static_cast<std::ptrdiff_t>(queued_));
    queued_ += take;
    samples += take;
    left -= take;
    samplesIn_ += static_cast<int64_t>(take / chans);
    if (queued_ == queue_.size() && !EncodeQueue()) return false;
  }
  return true;
}

bool VqfWriter::Close() {
  if (!encoderOpen_) {
    Release();
    return true;
  }
  // A failure reported by Write has left the file ending on a whole frame.
  const bool failedBefore = failed_;
  if (!failed_) {
    // The last frame, padded with zeros; then silent frames until the coder
    // has given back every recorded sample.
    bool ok = EncodeQueue();
    while (ok && samplesIn_ > 0 && framesWritten_ * frameSize_ - conf_.latency < samplesIn_)
      ok = EncodeQueue();
  }
  lib_->terminate(index_.get());
  encoderOpen_ = false;
  if (!file_.Close() && !failed_) Fail("");
  return failedBefore || !failed_;
}

}  // namespace tarvexa
