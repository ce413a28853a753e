#include "encoders/vqf/VqfChunk.h"

#include <cstring>

namespace tarvexa {

void CChunk::PutInteger(uint32_t value, int bytes) {
  if (bytes < 1 || bytes > 4) throw err_FailPut;
  for (int i = bytes - 1; i >= 0; --i) data_.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void CChunk::PutString(const std::string& text) {
  data_.insert(data_.end(), text.begin(), text.end());
}

void CChunk::PutChunk(const CChunk& sub) {
  const std::vector<uint8_t> written = sub.Written();
  data_.insert(data_.end(), written.begin(), written.end());
}

std::vector<uint8_t> CChunk::Written() const {
  std::vector<uint8_t> out(id_.begin(), id_.end());
  const auto size = static_cast<uint32_t>(data_.size());
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(size >> (8 * i)));
  out.insert(out.end(), data_.begin(), data_.end());
  return out;
}

namespace {

// A text field: at most kVqfTextMax characters, even without a terminator.
std::string Field(const char* text) { return std::string(text, strnlen(text, kVqfTextMax)); }

}  // namespace

bool BuildVqfHeaderChunk(const VqfHeaderInfo& info, CChunk* out) {
  const std::string id(info.id, strnlen(info.id, sizeof info.id));
  if (id.size() != static_cast<size_t>(kTvqIdLength)) return false;
  try {
    CChunk header(id);
    CChunk comm("COMM");
    comm.PutInteger(static_cast<uint32_t>(info.channelMode), 4);
    comm.PutInteger(static_cast<uint32_t>(info.bitRate), 4);
    comm.PutInteger(static_cast<uint32_t>(info.samplingRate), 4);
    comm.PutInteger(static_cast<uint32_t>(info.securityLevel), 4);
    header.PutChunk(comm);

    const std::pair<const char*, const char*> texts[] = {{"NAME", info.name},
                                                         {"COMT", info.comment},
                                                         {"AUTH", info.author},
                                                         {"(c) ", info.copyright},
                                                         {"FILE", info.file}};
    for (const auto& [tag, text] : texts) {
      const std::string value = Field(text);
      if (value.empty()) continue;
      CChunk chunk(tag);
      chunk.PutString(value);
      header.PutChunk(chunk);
    }
    if (info.dataSize > 0) {
      CChunk dsiz("DSIZ");
      dsiz.PutInteger(static_cast<uint32_t>(info.dataSize), 4);
      header.PutChunk(dsiz);
    }
    // The extended chunks ("TRAC", "YEAR", "ALBM" and the like, and the
    // secondary chunk "SCND" that would hold them) carry information this
    // recorder does not have; the writer adds "TRAC" itself.
    *out = std::move(header);
  } catch (CChunk::Error) {
    return false;
  }
  return true;
}

}  // namespace tarvexa
