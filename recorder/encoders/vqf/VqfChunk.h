#pragma once
// The chunks of a VQF header: `CChunk`, an identifier and a byte buffer that
// integers, strings and sub-chunks are appended to, and the header chunk
// built from a `VqfHeaderInfo`.
// Thread affinity: plain values; any thread.

#include <cstdint>
#include <string>
#include <vector>

#include "encoders/vqf/tvq/TvqEnc.h"

namespace tarvexa {

class CChunk {
 public:
  // Thrown when an integer of more than 4 bytes (or none) is asked for.
  enum Error { err_FailPut = 1 };

  // id: 4 characters, 12 for the outermost chunk.
  explicit CChunk(std::string id) : id_(std::move(id)) {}

  const std::string& Id() const { return id_; }
  const std::vector<uint8_t>& Data() const { return data_; }

  // The low `bytes` bytes of value, big-endian; bytes must be 1 to 4.
  void PutInteger(uint32_t value, int bytes);
  // The characters without a terminator.
  void PutString(const std::string& text);
  // The sub-chunk's identifier, its data length (4 bytes, big-endian) and
  // its data.
  void PutChunk(const CChunk& sub);

  // The written form: identifier, data length (4 bytes, big-endian), data.
  std::vector<uint8_t> Written() const;

 private:
  std::string id_;
  std::vector<uint8_t> data_;
};

// The header chunk of a VQF file: the identifier of the record as the outer
// identifier, "COMM" (channel mode, bit rate, sampling-rate code and
// security level, 4 bytes each), then "NAME", "COMT", "AUTH", "(c) " and
// "FILE" for the texts that are not empty, and "DSIZ" when the data size is
// set. False when the record cannot make a header (an identifier that is not
// 12 characters).
bool BuildVqfHeaderChunk(const VqfHeaderInfo& info, CChunk* out);

}  // namespace tarvexa
