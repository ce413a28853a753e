#include "encoders/flac/FlacRepair.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>

#include <cstring>

#include "encoders/OggRepair.h"
#include "encoders/RepairFile.h"

namespace tarvexa {

namespace {

// Walks the frames of a native FLAC file without decoding their samples:
// where the last frame whose checksum holds ends, and how many samples the
// frames up to there hold.
struct FrameWalk {
  FLAC__StreamMetadata_StreamInfo info{};
  bool haveInfo = false;
  bool broken = false;  // the decoder met something that is not a whole frame
  uint64_t end = 0;     // byte offset after the last whole frame
  uint64_t samples = 0;
};

FLAC__StreamDecoderWriteStatus OnWrite(const FLAC__StreamDecoder*, const FLAC__Frame*,
                                       const FLAC__int32* const[], void*) {
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}
void OnMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* m, void* data) {
  auto* walk = static_cast<FrameWalk*>(data);
  if (m->type == FLAC__METADATA_TYPE_STREAMINFO) {
    walk->info = m->data.stream_info;
    walk->haveInfo = true;
  }
}
void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* data) {
  static_cast<FrameWalk*>(data)->broken = true;
}

bool WalkFrames(const std::string& path, FrameWalk* walk, std::string* error) {
  FLAC__StreamDecoder* d = FLAC__stream_decoder_new();
  if (!d) {
    *error = "the FLAC decoder could not be made";
    return false;
  }
  FLAC__stream_decoder_set_md5_checking(d, false);
  bool ok = FLAC__stream_decoder_init_file(d, path.c_str(), OnWrite, OnMetadata, OnError, walk) ==
            FLAC__STREAM_DECODER_INIT_STATUS_OK;
  ok = ok && FLAC__stream_decoder_process_until_end_of_metadata(d) && walk->haveInfo;
  FLAC__uint64 at = 0;
  ok = ok && FLAC__stream_decoder_get_decode_position(d, &at);
  if (!ok) {
    *error = "its stream header cannot be read";
  } else {
    walk->end = at;
    while (!walk->broken) {
      if (!FLAC__stream_decoder_skip_single_frame(d)) break;
      if (walk->broken || FLAC__stream_decoder_get_state(d) == FLAC__STREAM_DECODER_END_OF_STREAM ||
          !FLAC__stream_decoder_get_decode_position(d, &at) || at <= walk->end) {
        break;
      }
      walk->end = at;
      walk->samples += FLAC__stream_decoder_get_blocksize(d);
    }
  }
  FLAC__stream_decoder_finish(d);
  FLAC__stream_decoder_delete(d);
  return ok;
}

// Writes the sample count (and, when it changed, a cleared MD5) into
// STREAMINFO through the library's metadata editor: the block keeps its
// size, so it is rewritten in place.
bool WriteStreamInfo(const std::string& path, uint64_t samples, bool clearMd5, std::string* error) {
  FLAC__Metadata_SimpleIterator* it = FLAC__metadata_simple_iterator_new();
  bool ok = it && FLAC__metadata_simple_iterator_init(it, path.c_str(), false, true) &&
            FLAC__metadata_simple_iterator_get_block_type(it) == FLAC__METADATA_TYPE_STREAMINFO;
  if (ok) {
    FLAC__StreamMetadata* block = FLAC__metadata_simple_iterator_get_block(it);
    ok = block != nullptr;
    if (ok) {
      block->data.stream_info.total_samples = samples;
      if (clearMd5) std::memset(block->data.stream_info.md5sum, 0, 16);
      ok = FLAC__metadata_simple_iterator_set_block(it, block, false);
      FLAC__metadata_object_delete(block);
    }
  }
  if (!ok) {
    *error =
        std::string("its stream header could not be rewritten") +
        (it ? std::string(": ") +
                  FLAC__Metadata_SimpleIteratorStatusString[FLAC__metadata_simple_iterator_status(
                      it)]
            : std::string());
  }
  if (it) FLAC__metadata_simple_iterator_delete(it);
  return ok;
}

}  // namespace

RecoveredFile RecoverFlacFile(int, const std::string& path) {
  RecoveredFile r;
  uint64_t size = 0;
  {
    RepairFile f(path);
    if (!f.ok()) {
      r.error = f.Error();
      return r;
    }
    const auto magic = f.Read(0, 4);
    if (magic.size() == 4 && std::memcmp(magic.data(), "OggS", 4) == 0) return RecoverOggFile(path);
    size = f.Size();
  }
  FrameWalk walk;
  if (!WalkFrames(path, &walk, &r.error)) return r;
  const uint32_t rate = walk.info.sample_rate;
  r.seconds = rate ? static_cast<double>(walk.samples) / rate : -1;
  const bool countRight = walk.info.total_samples == walk.samples;
  if (walk.end == size && countRight) {
    r.ok = true;
    r.done = "it was already complete";
    return r;
  }
  {
    RepairFile f(path);
    if (walk.end < size && !f.Truncate(walk.end)) {
      r.error = f.Error();
      return r;
    }
  }
  if (!countRight && !WriteStreamInfo(path, walk.samples, true, &r.error)) return r;
  RepairFile f(path);
  if (!f.Sync()) {
    r.error = f.Error();
    return r;
  }
  r.ok = true;
  r.changed = true;
  r.done = walk.end < size ? "cut back to its last whole frame, with its sample count written"
                           : "its sample count was written";
  return r;
}

}  // namespace tarvexa
