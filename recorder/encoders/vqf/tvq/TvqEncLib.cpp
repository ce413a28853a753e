// tvqenc.so: the entry points of TvqEnc.h over our TwinVQ-structured coder
// (TvqCoder.h).
//
// Each encoder belongs to the index record it was initialised with, so a
// second TvqEncInitialize with the same record is refused instead of
// silently replacing a running encoder; the queries without a record answer
// for the encoder initialised last, as callers use them right after
// initialising.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "TvqCoder.h"
#include "TvqEnc.h"
#include "TvqLayout.h"

#define TVQ_EXPORT extern "C" __attribute__((visibility("default")))

namespace tarvexa::tvq {
namespace {

struct Instance {
  std::unique_ptr<Layout> layout;
  std::unique_ptr<Encoder> encoder;
  std::array<std::vector<int32_t>, kTvqWidthTables> bits0, bits1;
};

std::mutex gMutex;
std::map<const TvqIndex*, std::unique_ptr<Instance>> gEncoders;
Instance* gLast = nullptr;

Instance* Find(const TvqIndex* index) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gEncoders.find(index);
  return it == gEncoders.end() ? nullptr : it->second.get();
}

Instance* Last() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gLast;
}

}  // namespace
}  // namespace tarvexa::tvq

using namespace tarvexa;
using namespace tarvexa::tvq;

TVQ_EXPORT int TvqGetVersionID(int versionNumber, char* id) {
  if (id) std::memcpy(id, "TWIN97012000", kTvqIdLength + 1);
  return versionNumber;
}

TVQ_EXPORT int TvqEncInitialize(const VqfHeaderInfo* setup, const TvqEncSpecificInfo* specific,
                                TvqIndex* index, int /*showMessages*/) {
  if (!setup || !index) return kTvqErrBadArgument;
  if (setup->channelMode != 0 && setup->channelMode != 1) return kTvqErrUnsupportedMode;
  const int channels = setup->channelMode + 1;
  if (setup->bitRate <= 0 || setup->bitRate % channels != 0) return kTvqErrUnsupportedMode;
  const Mode* mode = FindMode(setup->samplingRate, setup->bitRate / channels);
  if (!mode) return kTvqErrUnsupportedMode;

  auto inst = std::make_unique<Instance>();
  inst->layout = std::make_unique<Layout>(MakeLayout(*mode, channels));
  const Layout& layout = *inst->layout;
  for (int t = 0; t < kFrameTypes; ++t) {
    if (layout.FieldBits(t) != layout.frameBits) return kTvqErrUnsupportedMode;
  }
  if (!BooksCover(layout, DefaultBooks())) return kTvqErrNoCodebook;
  const int quality = specific && specific->quality > 0 ? specific->quality : 16;
  inst->encoder = std::make_unique<Encoder>(layout, quality, DefaultBooks());
  for (int t = 0; t < kFrameTypes; ++t) {
    inst->bits0[static_cast<size_t>(t)] = layout.types[static_cast<size_t>(t)].bits0;
    inst->bits1[static_cast<size_t>(t)] = layout.types[static_cast<size_t>(t)].bits1;
  }
  // This coder has no pitch component: the pitch tables stay empty.

  std::lock_guard<std::mutex> lock(gMutex);
  if (gEncoders.count(index)) return kTvqErrInUse;
  std::memset(index, 0, sizeof *index);
  gLast = inst.get();
  gEncoders[index] = std::move(inst);
  return kTvqErrNone;
}

TVQ_EXPORT void TvqEncGetConfInfo(TvqConfInfo* conf) {
  if (!conf) return;
  Instance* inst = Last();
  *conf = inst ? inst->layout->Conf() : TvqConfInfo{};
}

TVQ_EXPORT void TvqEncGetVectorInfo(int32_t* bits0[kTvqWidthTables],
                                    int32_t* bits1[kTvqWidthTables]) {
  Instance* inst = Last();
  for (int t = 0; t < kTvqWidthTables; ++t) {
    if (bits0) bits0[t] = inst ? inst->bits0[static_cast<size_t>(t)].data() : nullptr;
    if (bits1) bits1[t] = inst ? inst->bits1[static_cast<size_t>(t)].data() : nullptr;
  }
}

TVQ_EXPORT int TvqEncGetFrameSize() {
  Instance* inst = Last();
  return inst ? inst->layout->frameSize : 0;
}

TVQ_EXPORT int TvqEncGetNumChannels() {
  Instance* inst = Last();
  return inst ? inst->layout->channels : 0;
}

TVQ_EXPORT void TvqEncodeFrame(const float* planes, TvqIndex* index) {
  Instance* inst = Find(index);
  if (!inst || !planes) return;
  inst->encoder->EncodeFrame(planes, index);
}

TVQ_EXPORT void TvqEncUpdateVectorInfo(int divisions, int32_t* bits0, int32_t* bits1) {
  Instance* inst = Last();
  if (!inst || divisions <= 0) return;
  const auto& w0 = inst->bits0[kLong];
  const auto& w1 = inst->bits1[kLong];
  const size_t n = std::min(static_cast<size_t>(divisions), w0.size());
  if (bits0 && bits0 != w0.data())
    std::copy(w0.begin(), w0.begin() + static_cast<std::ptrdiff_t>(n), bits0);
  if (bits1 && bits1 != w1.data())
    std::copy(w1.begin(), w1.begin() + static_cast<std::ptrdiff_t>(n), bits1);
}

TVQ_EXPORT void TvqEncTerminate(TvqIndex* index) {
  std::unique_ptr<Instance> gone;
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gEncoders.find(index);
  if (it == gEncoders.end()) return;
  gone = std::move(it->second);
  gEncoders.erase(it);
  if (gLast == gone.get()) gLast = gEncoders.empty() ? nullptr : gEncoders.begin()->second.get();
}
