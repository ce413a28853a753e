#pragma once
// Our TwinVQ-structured transform coder. A frame of F samples per channel
// (mid and side for stereo) is one long MDCT block, a few medium ones or
// many short ones, chosen by a transient detector that looks one frame ahead;
// the overlap at each boundary is the smaller of the two blocks there. The
// spectrum is flattened by a linear-prediction envelope (LSP, two-stage VQ
// with interframe prediction), a gain per channel and block, and a
// bark-scale envelope per block (split VQ with prediction); what is left is
// interleaved across the whole frame into divisions of 9 to 30 coefficients,
// each coded as the sum of a vector from each of two conjugate codebooks,
// chosen by weighted distortion (weights follow the envelope).
//
// The encoder mirrors the decoder's reconstruction of the envelopes, so both
// keep the same prediction history.
// Thread affinity: an Encoder or Decoder is used by one thread at a time.

#include <array>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "TvqBooks.h"
#include "TvqDsp.h"
#include "TvqEnc.h"
#include "TvqLayout.h"

namespace tarvexa::tvq {

// True when the books hold every codebook the layout needs.
bool BooksCover(const Layout& layout, const Books& books);

// Windows of every block size and pair of overlaps used so far.
class WindowCache {
 public:
  const float* Get(int n, int left, int right);

 private:
  std::map<std::tuple<int, int, int>, std::vector<float>> windows_;
};

// The envelope parameters as the decoder rebuilds them from indices, with
// the prediction history that goes with them.
class Reconstruction {
 public:
  Reconstruction(const Layout& layout, const Books& books);

  // LSP of channel ch from its indices (mode, stage 1, stage 2 ...).
  // Candidate leaves the history alone; Decode moves it on.
  void LspCandidate(int ch, const int32_t* idx, double* lsp) const;
  void DecodeLsp(int ch, const int32_t* idx, double* lsp);
  const double* LspHistory(int ch) const { return lspHist_[static_cast<size_t>(ch)].data(); }

  // Log2 envelope of the bands of one block.
  void BarkCandidate(int type, int ch, const int32_t* idx, int ar, float* bands) const;
  void DecodeBark(int type, int ch, const int32_t* idx, int ar, float* bands);
  const float* BarkHistory(int type, int ch) const {
    return barkHist_[static_cast<size_t>(type)][static_cast<size_t>(ch)].data();
  }

  // The residual of a frame from its shape indices, by spectrum position.
  void Shapes(int type, const TvqIndex& index, float* residual) const;

  const LspBook& LspCodebook() const { return *lsp_; }
  const BarkBook& BarkCodebook(int type) const { return *bark_[static_cast<size_t>(type)]; }
  const ShapeBook& ShapeCodebook(int length) const;

 private:
  const Layout& layout_;
  const Books& books_;
  const LspBook* lsp_;
  std::array<const BarkBook*, kFrameTypes> bark_{};
  std::vector<std::vector<double>> lspHist_;
  std::array<std::vector<std::vector<float>>, kFrameTypes> barkHist_;
};

// Prediction weights: the decoded value is (1 - a) * codebook + a * history.
inline constexpr double kLspPrediction = 0.5;
inline constexpr float kBarkPrediction = 0.4f;
inline constexpr float kBarkMin = -12.0f;
inline constexpr float kBarkMax = 6.0f;

float MainGain(int index);               // 0 is silence
float BlockGain(float main, int index);  // a step of 2 dB below the main gain per index
int MainGainIndex(float gain);
int BlockGainIndex(float main, float gain);

// What the encoder sees, for training codebooks.
class TrainingTap {
 public:
  virtual ~TrainingTap() = default;
  // The unquantised LSP of a channel and frame.
  virtual void OnLsp(int /*order*/, int /*splits*/, const double* /*lsp*/) {}
  // The target log2 envelope of a block's bands with their widths in bins.
  virtual void OnBark(const TypeLayout& /*type*/, const float* /*bands*/, const float* /*widths*/) {
  }
  // One division: the residual and the weights of its coefficients.
  virtual void OnShape(const float* /*x*/, const float* /*w*/, int /*length*/) {}
};

class Encoder {
 public:
  // quality: search effort, 1 to 32.
  Encoder(const Layout& layout, int quality, const Books& books);
  const Layout& GetLayout() const { return layout_; }
  void SetTap(TrainingTap* tap) { tap_ = tap; }

  // planes: channels planes of frameSize samples (left, right).
  void EncodeFrame(const float* planes, TvqIndex* index);

 private:
  int DecideType(const std::vector<std::vector<float>>& buffer);
  void Transform(int type, int left, int right);
  void QuantizeLsp(int ch, const double* lsp, int32_t* idx, double* decoded);
  void LinearPrediction(int c, int type, int32_t* idx);
  void BarkEnvelope(int c, int type, float g, const float* y, int32_t* idx, int32_t* ar,
                    float* bands);

  Layout layout_;
  const Books& books_;
  Reconstruction rec_;
  int shapeCandidates_;
  int lspCandidates_;
  TrainingTap* tap_ = nullptr;

  std::vector<std::vector<float>> input_;  // per channel: 3 frames of time signal
  int type_ = kLong;                       // type of the frame to code next
  int leftOverlap_;                        // its overlap with the frame before
  std::array<double, 4> recentEnergy_{};
  std::array<float, kTvqMaxChannels> lastSample_{};
  std::array<std::unique_ptr<Mdct>, kFrameTypes> mdct_;
  std::array<std::vector<double>, kFrameTypes> cosines_;
  WindowCache windows_;

  // Scratch of one frame.
  std::vector<float> spectrum_, residual_, weight_, env_, block_, power_;
  std::vector<float> x_, w_;
};

class Decoder {
 public:
  Decoder(const Layout& layout, const Books& books);
  const Layout& GetLayout() const { return layout_; }

  // Decodes one frame into frameSize interleaved samples per channel (the
  // signal of layout.latency samples earlier, as 16-bit values).
  void DecodeFrame(const TvqIndex& index, float* interleaved);

 private:
  Layout layout_;
  Reconstruction rec_;
  int prevType_ = kLong;
  std::array<std::unique_ptr<Mdct>, kFrameTypes> mdct_;
  std::array<std::vector<double>, kFrameTypes> cosines_;
  WindowCache windows_;
  std::vector<std::vector<float>> overlap_;  // per channel: 2 frames
  std::vector<float> spectrum_, residual_, env_, block_, time_;
};

}  // namespace tarvexa::tvq
