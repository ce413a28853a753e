// MACDll.so: the entry points of MACDll.h over our own version 3990
// compressor (ApeCompressor), a header reader for the stream properties, and
// the tag calls over TagLib's APE file support.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v1tag.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "ApeCodec.h"
#include "ApeCompressor.h"
#include "MACDll.h"

#define MAC_EXPORT extern "C" __attribute__((visibility("default")))

using namespace tarvexa;
using namespace tarvexa::ape;

namespace {

constexpr uint32_t kCompressMagic = 0x4D414343;    // "MACC"
constexpr uint32_t kDecompressMagic = 0x4D414344;  // "MACD"

struct CompressHandle {
  uint32_t magic = kCompressMagic;
  Compressor compressor;
};

Compressor* CompressorOf(MacCompressHandle h) {
  auto* c = static_cast<CompressHandle*>(h);
  return c && c->magic == kCompressMagic ? &c->compressor : nullptr;
}

struct StreamInfo {
  uint32_t magic = kDecompressMagic;
  FileHeader header;
  int version = 0;
  uint64_t apeBytes = 0;  // the file less its tags
};

StreamInfo* InfoOf(MacDecompressHandle h) {
  auto* i = static_cast<StreamInfo*>(h);
  return i && i->magic == kDecompressMagic ? i : nullptr;
}

bool ReadAt(int fd, uint8_t* buf, size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t n = pread(fd, buf, size, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buf += n;
    size -= size_t(n);
    offset += uint64_t(n);
  }
  return true;
}

// Bytes of the tags at the end of a file: an ID3v1 tag, an APEv2 (or v1)
// tag before it or alone.
uint64_t TrailingTagBytes(int fd, uint64_t size) {
  uint64_t end = size;
  uint8_t b[32];
  if (end >= 128 && ReadAt(fd, b, 3, end - 128) && std::memcmp(b, "TAG", 3) == 0) end -= 128;
  if (end >= 32 && ReadAt(fd, b, 32, end - 32) && std::memcmp(b, "APETAGEX", 8) == 0) {
    const uint32_t tagSize =
        uint32_t(b[12]) | uint32_t(b[13]) << 8 | uint32_t(b[14]) << 16 | uint32_t(b[15]) << 24;
    const bool hasHeader = (b[23] & 0x80) != 0;
    const uint64_t whole = uint64_t(tagSize) + (hasHeader ? 32 : 0);
    if (whole <= end) end -= whole;
  }
  return size - end;
}

// UTF-8 text cut to at most `size` bytes on a character boundary, padded
// with zero bytes.
void CopyField(char* field, size_t size, const TagLib::String& text) {
  std::memset(field, 0, size);
  const std::string s = text.to8Bit(true);
  size_t n = std::min(size, s.size());
  while (n > 0 && n < s.size() && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  std::memcpy(field, s.data(), n);
}

bool Given(const char* text) { return text && *text; }

unsigned ParseNumber(const char* text) {
  unsigned v = 0;
  for (const char* p = text; *p >= '0' && *p <= '9' && v < 100000000; ++p)
    v = v * 10 + unsigned(*p - '0');
  return v;
}

}  // namespace

MAC_EXPORT int GetInterfaceCompatibility(int version, int /*showWarnings*/, void* /*parent*/) {
  return version == kMacInterfaceVersion ? kMacSuccess : kMacErrorIncompatible;
}

// --- Compressor -------------------------------------------------------------

MAC_EXPORT MacCompressHandle c_APECompress_Create(int* errorCode) {
  auto* h = new (std::nothrow) CompressHandle;
  if (errorCode) *errorCode = h ? kMacSuccess : kMacErrorBadParameter;
  return h;
}

MAC_EXPORT void c_APECompress_Destroy(MacCompressHandle handle) {
  auto* h = static_cast<CompressHandle*>(handle);
  if (!h || h->magic != kCompressMagic) return;
  h->magic = 0;
  delete h;
}

MAC_EXPORT int c_APECompress_SetFrameBlocks(MacCompressHandle handle, int blocks) {
  Compressor* c = CompressorOf(handle);
  return c ? c->SetFrameBlocks(blocks) : kMacErrorBadHandle;
}

MAC_EXPORT int c_APECompress_Start(MacCompressHandle handle, const char* path,
                                   const MacWaveFormat* format, int64_t maxAudioBytes, int level,
                                   const void* headerData, int headerBytes) {
  Compressor* c = CompressorOf(handle);
  return c ? c->Start(path, format, maxAudioBytes, level, headerData, headerBytes)
           : kMacErrorBadHandle;
}

MAC_EXPORT int c_APECompress_AddData(MacCompressHandle handle, const unsigned char* data,
                                     int bytes) {
  Compressor* c = CompressorOf(handle);
  if (!c) return kMacErrorBadHandle;
  if (bytes < 0) return kMacErrorBadParameter;
  return c->AddData(data, size_t(bytes));
}

MAC_EXPORT int c_APECompress_Finish(MacCompressHandle handle, const unsigned char* tailData,
                                    int tailBytes, int wavTailBytes) {
  Compressor* c = CompressorOf(handle);
  if (!c) return kMacErrorBadHandle;
  if (tailData || tailBytes != 0 || wavTailBytes != 0) return kMacErrorBadParameter;
  return c->Finish();
}

// --- Stream properties ------------------------------------------------------

MAC_EXPORT MacDecompressHandle c_APEDecompress_Create(const char* path, int* errorCode) {
  int dummy;
  int& error = errorCode ? *errorCode : dummy;
  error = kMacSuccess;
  if (!path) {
    error = kMacErrorBadParameter;
    return nullptr;
  }
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = kMacErrorOpenFile;
    return nullptr;
  }
  struct stat st {};
  fstat(fd, &st);
  const uint64_t size = uint64_t(st.st_size);
  // An ID3v2 tag may stand before the audio.
  uint64_t start = 0;
  uint8_t id3[10];
  if (ReadAt(fd, id3, sizeof id3, 0) && std::memcmp(id3, "ID3", 3) == 0) {
    start = 10 + (uint64_t(id3[6] & 0x7F) << 21 | uint64_t(id3[7] & 0x7F) << 14 |
                  uint64_t(id3[8] & 0x7F) << 7 | uint64_t(id3[9] & 0x7F));
    if (id3[5] & 0x10) start += 10;  // footer
  }
  uint8_t head[256] = {};
  const size_t got = size > start ? size_t(std::min<uint64_t>(sizeof head, size - start)) : 0;
  auto* info = new StreamInfo;
  if (got < 8 || !ReadAt(fd, head, got, start)) {
    error = kMacErrorNotApeFile;
  } else if (!FileHeader::Parse(head, got, &info->header, &info->version)) {
    error = info->version == 0 ? kMacErrorNotApeFile : kMacErrorUnsupportedFile;
  } else {
    info->apeBytes = size - start - TrailingTagBytes(fd, size);
  }
  close(fd);
  if (error != kMacSuccess) {
    delete info;
    return nullptr;
  }
  return info;
}

MAC_EXPORT int64_t c_APEDecompress_GetInfo(MacDecompressHandle handle, int field) {
  const StreamInfo* i = InfoOf(handle);
  if (!i) return -1;
  const FileHeader& h = i->header;
  const uint64_t blocks = h.TotalBlocks();
  const uint64_t ms = h.sampleRate ? blocks * 1000 / h.sampleRate : 0;
  switch (field) {
    case kMacInfoFileVersion: return i->version;
    case kMacInfoCompressionLevel: return h.level;
    case kMacInfoFormatFlags: return h.formatFlags;
    case kMacInfoSampleRate: return h.sampleRate;
    case kMacInfoBitsPerSample: return h.bitsPerSample;
    case kMacInfoChannels: return h.channels;
    case kMacInfoBlockAlign: return int64_t(h.channels) * h.bitsPerSample / 8;
    case kMacInfoBlocksPerFrame: return h.blocksPerFrame;
    case kMacInfoFinalFrameBlocks: return h.finalFrameBlocks;
    case kMacInfoTotalFrames: return h.totalFrames;
    case kMacInfoTotalBlocks: return int64_t(blocks);
    case kMacInfoLengthMs: return int64_t(ms);
    case kMacInfoAverageBitrate: return ms ? int64_t((i->apeBytes * 8 + ms / 2) / ms) : 0;
    case kMacInfoApeFileBytes: return int64_t(i->apeBytes);
    default: return -1;
  }
}

MAC_EXPORT void c_APEDecompress_Destroy(MacDecompressHandle handle) {
  auto* i = InfoOf(handle);
  if (!i) return;
  i->magic = 0;
  delete i;
}

// --- Tags -------------------------------------------------------------------

MAC_EXPORT int GetID3Tag(const char* path, MacId3Tag* out) {
  if (!path || !out) return kMacErrorBadParameter;
  std::memset(out, 0, sizeof *out);
  out->genre = 255;
  TagLib::APE::File file(path, false);
  if (!file.isOpen() || !file.isValid()) return kMacErrorOpenFile;
  TagLib::Tag* tag = nullptr;
  if (file.hasAPETag() && !file.APETag()->isEmpty())
    tag = file.APETag();
  else if (file.hasID3v1Tag() && !file.ID3v1Tag()->isEmpty())
    tag = file.ID3v1Tag();
  if (!tag) return kMacErrorNoTag;
  std::memcpy(out->header, "TAG", 3);
  CopyField(out->title, sizeof out->title, tag->title());
  CopyField(out->artist, sizeof out->artist, tag->artist());
  CopyField(out->album, sizeof out->album, tag->album());
  CopyField(out->comment, sizeof out->comment, tag->comment());
  if (tag->year() > 0)
    CopyField(out->year, sizeof out->year, TagLib::String::number(int(tag->year())));
  out->track = uint8_t(std::min(tag->track(), 255u));
  out->genre = uint8_t(std::min(TagLib::ID3v1::genreIndex(tag->genre()), 255));
  return kMacSuccess;
}

MAC_EXPORT int TagFileSimple(const char* path, const char* artist, const char* album,
                             const char* title, const char* comment, const char* genre,
                             const char* year, const char* track, int clearFirst, int useOldId3) {
  if (!path) return kMacErrorBadParameter;
  TagLib::APE::File file(path, false);
  if (!file.isOpen() || !file.isValid()) return kMacErrorOpenFile;
  if (file.readOnly()) return kMacErrorTag;
  if (clearFirst) file.strip(TagLib::APE::File::AllTags);
  auto text = [](const char* t) { return TagLib::String(t, TagLib::String::UTF8); };
  if (useOldId3) {
    TagLib::ID3v1::Tag* tag = file.ID3v1Tag(true);
    if (Given(artist)) tag->setArtist(text(artist));
    if (Given(album)) tag->setAlbum(text(album));
    if (Given(title)) tag->setTitle(text(title));
    if (Given(comment)) tag->setComment(text(comment));
    if (Given(genre)) tag->setGenre(text(genre));
    if (Given(year)) tag->setYear(ParseNumber(year));
    if (Given(track)) tag->setTrack(ParseNumber(track));
  } else {
    // APEv2 items are text: the year and track are kept as typed.
    TagLib::APE::Tag* tag = file.APETag(true);
    const std::pair<const char*, const char*> items[] = {
        {"Artist", artist}, {"Album", album}, {"Title", title}, {"Comment", comment},
        {"Genre", genre},   {"Year", year},   {"Track", track}};
    for (const auto& [key, value] : items) {
      if (Given(value)) tag->addValue(key, text(value), true);
    }
  }
  return file.save() ? kMacSuccess : kMacErrorTag;
}
