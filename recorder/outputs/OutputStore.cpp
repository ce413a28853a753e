#include "outputs/OutputStore.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Archive.h"
#include "platform/AtomicFile.h"

namespace tarvexa {

std::string EncodeOutputList(const std::vector<OutputEntry>& entries) {
  ArchiveWriter out;
  out.U32(static_cast<uint32_t>(entries.size()));
  for (const OutputEntry& e : entries) {
    for (const std::string* s :
         {&e.name, &e.location, &e.format, &e.duration, &e.timestamp, &e.size})
      out.Str(*s);
    out.U32(e.taggable);
  }
  return std::move(out.Bytes());
}

bool DecodeOutputList(std::string_view bytes, std::vector<OutputEntry>* entries) {
  ArchiveReader in(bytes);
  uint32_t count = 0;
  if (!in.U32(count)) return false;
  // The count is not trusted for memory: items are read one by one.
  for (uint32_t i = 0; i < count; ++i) {
    OutputEntry e;
    for (std::string* s : {&e.name, &e.location, &e.format, &e.duration, &e.timestamp, &e.size})
      if (!in.Str(*s)) return false;
    if (!in.U32(e.taggable)) return false;
    entries->push_back(std::move(e));
  }
  return true;
}

OutputFileRead ReadOutputFile(const std::string& path) {
  OutputFileRead r;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    r.exists = errno != ENOENT;
    if (r.exists) {
      r.damaged = true;
      r.error = "cannot open \"" + path + "\": " + std::strerror(errno);
    }
    return r;
  }
  r.exists = true;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) {
    r.damaged = true;
    r.error = "cannot read \"" + path + "\"";
    return r;
  }
  if (!DecodeOutputList(bytes.view(), &r.entries)) {
    r.damaged = true;
    r.error = "\"" + path + "\" ends inside item " + std::to_string(r.entries.size() + 1);
  }
  return r;
}

bool WriteOutputFile(const std::string& path, const std::vector<OutputEntry>& entries,
                     std::string* error) {
  return WriteFileAtomically(path, EncodeOutputList(entries), error);
}

}  // namespace tarvexa
