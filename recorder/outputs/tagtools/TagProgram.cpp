// The four tag programs of the tag editor, one source built four times:
//   tagreader FILE          Mpeg4tagreader FILE
//     write FILE's stream properties and tag into temp.tag in the data
//     folder ($TARVEXA_HOME when set), in the line order of their family;
//   tagwriter -t TITLE -a ARTIST -A ALBUM -g GENRE -c COMMENT -y YEAR -T TRACK FILE
//   Mpeg4tagwriter -s TITLE -a ARTIST -A ALBUM -g GENRE -c COMMENT -y YEAR -t TRACK FILE
//     write the given fields (an empty value removes the field, an option
//     left out leaves it alone) through a copy of FILE that replaces it only
//     when complete.
// tagreader and tagwriter handle MP3 (ID3v2), Ogg Vorbis, Ogg FLAC and FLAC
// (Vorbis comments), Musepack and WavPack (APEv2) and TTA (ID3v2); the
// Mpeg4 pair the MPEG-4 family (MP4 atoms).
// Exit status: 0 done, 2 wrong arguments, 3 the file cannot be read as one
// of these, 4 the result cannot be written.

#include <taglib/apefooter.h>
#include <taglib/apetag.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/trueaudiofile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "outputs/FileRewrite.h"
#include "outputs/TempTag.h"
#include "platform/Paths.h"

namespace {

using namespace tarvexa;

enum { kDone = 0, kUsage = 2, kUnreadable = 3, kUnwritable = 4 };

#ifndef TAG_PROGRAM_MPEG4
constexpr bool kMpeg4 = false;
#else
constexpr bool kMpeg4 = true;
#endif

TagLib::String Utf8(const std::string& s) { return TagLib::String(s, TagLib::String::UTF8); }
std::string Text(const TagLib::String& s) { return s.to8Bit(true); }

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// Opens a file of this program's family, by extension (an .ogg file may hold
// Vorbis, FLAC or Opus). Null when it is none of them or cannot be read.
std::unique_ptr<TagLib::File> OpenFile(const std::string& path, const std::string& ext,
                                       bool readProperties) {
  const char* p = path.c_str();
  const auto style = TagLib::AudioProperties::Average;
  std::vector<std::unique_ptr<TagLib::File>> tries;
  if (kMpeg4) {
    tries.emplace_back(new TagLib::MP4::File(p, readProperties, style));
  } else if (ext == "mp3") {
    tries.emplace_back(new TagLib::MPEG::File(p, readProperties, style));
  } else if (ext == "ogg" || ext == "oga") {
    tries.emplace_back(new TagLib::Ogg::Vorbis::File(p, readProperties, style));
    if (!tries.back()->isValid())
      tries.emplace_back(new TagLib::Ogg::FLAC::File(p, readProperties, style));
    if (!tries.back()->isValid())
      tries.emplace_back(new TagLib::Ogg::Opus::File(p, readProperties, style));
  } else if (ext == "flac") {
    tries.emplace_back(new TagLib::FLAC::File(p, readProperties, style));
  } else if (ext == "mpc") {
    tries.emplace_back(new TagLib::MPC::File(p, readProperties, style));
  } else if (ext == "wv") {
    tries.emplace_back(new TagLib::WavPack::File(p, readProperties, style));
  } else if (ext == "tta") {
    tries.emplace_back(new TagLib::TrueAudio::File(p, readProperties, style));
  }
  if (tries.empty() || !tries.back()->isValid()) return nullptr;
  // TagLib takes almost any bytes for MPEG audio; a file must hold a stream.
  if (readProperties) {
    const TagLib::AudioProperties* stream = tries.back()->audioProperties();
    if (!stream || stream->sampleRate() <= 0) return nullptr;
  }
  return std::move(tries.back());
}

// The tags a writer sets: the one of the file's own kind (created when
// missing) and an ID3v1 tag an MP3 already has.
std::vector<TagLib::Tag*> TagsToWrite(TagLib::File* file) {
  if (auto* f = dynamic_cast<TagLib::MPEG::File*>(file)) {
    std::vector<TagLib::Tag*> tags{f->ID3v2Tag(true)};
    if (f->hasID3v1Tag()) tags.push_back(f->ID3v1Tag());
    return tags;
  }
  if (auto* f = dynamic_cast<TagLib::FLAC::File*>(file)) return {f->xiphComment(true)};
  if (auto* f = dynamic_cast<TagLib::MPC::File*>(file)) return {f->APETag(true)};
  if (auto* f = dynamic_cast<TagLib::WavPack::File*>(file)) return {f->APETag(true)};
  return {file->tag()};  // Ogg's Vorbis comment, MP4's atoms
}

bool Save(TagLib::File* file) {
  if (auto* f = dynamic_cast<TagLib::MPEG::File*>(file)) {
    // ID3v2.3: what most players and car radios read.
    int tags = TagLib::MPEG::File::ID3v2;
    if (f->hasID3v1Tag()) tags |= TagLib::MPEG::File::ID3v1;
    return f->save(tags, TagLib::File::StripNone, TagLib::ID3v2::v3, TagLib::File::DoNotDuplicate);
  }
  return file->save();
}

// TTA files carry APEv2 tags at their end (before an ID3v1 tag), as other
// tools write them; TagLib's TTA support knows only ID3, so the APE tag is
// found and replaced here.
struct ApeSpan {
  long start = 0;    // where the tag (with its header) begins
  long end = 0;      // where it ends: the ID3v1 tag or the end of the file
  long footer = -1;  // its footer, -1 when the file has no APE tag
};

ApeSpan FindApeTag(TagLib::File& file) {
  ApeSpan span;
  const long size = file.length();
  span.end = size;
  if (size >= 128) {
    file.seek(size - 128);
    if (file.readBlock(3) == TagLib::ByteVector("TAG", 3)) span.end = size - 128;
  }
  span.start = span.end;
  if (span.end >= 32) {
    file.seek(span.end - 32);
    const TagLib::ByteVector data = file.readBlock(32);
    if (data.startsWith("APETAGEX")) {
      const TagLib::APE::Footer footer(data);
      if (footer.completeTagSize() <= static_cast<unsigned>(span.end)) {
        span.footer = span.end - 32;
        span.start = span.end - static_cast<long>(footer.completeTagSize());
      }
    }
  }
  return span;
}

// ----------------------------------------------------------------- reader

std::string FirstValue(const TagLib::PropertyMap& props, const char* key) {
  const auto it = props.find(key);
  return it == props.end() || it->second.isEmpty() ? std::string() : Text(it->second.front());
}

[[maybe_unused]] int Read(const std::string& path) {
  const std::unique_ptr<TagLib::File> file = OpenFile(path, LowerExtension(path), true);
  if (!file) {
    std::fprintf(stderr, "cannot read the tag of %s\n", path.c_str());
    return kUnreadable;
  }
  StreamValues stream;
  if (const TagLib::AudioProperties* p = file->audioProperties()) {
    stream.seconds = p->lengthInSeconds();
    stream.kbps = p->bitrate();
    stream.rate = p->sampleRate();
    stream.channels = p->channels();
  }
  TagFields fields;
  std::unique_ptr<TagLib::APE::Tag> ape;
  if (dynamic_cast<TagLib::TrueAudio::File*>(file.get())) {
    if (const ApeSpan span = FindApeTag(*file); span.footer >= 0)
      ape = std::make_unique<TagLib::APE::Tag>(file.get(), span.footer);
  }
  const TagLib::Tag* tag = ape ? ape.get() : file->tag();
  if (tag) {
    fields.title = Text(tag->title());
    fields.artist = Text(tag->artist());
    fields.album = Text(tag->album());
    fields.genre = Text(tag->genre());
    fields.comment = Text(tag->comment());
  }
  // Year and track as they stand in the tag; a track "3/12" shows as 3.
  const TagLib::PropertyMap props = ape ? ape->properties() : file->properties();
  fields.year = FirstValue(props, "DATE");
  fields.track = FirstValue(props, "TRACKNUMBER");
  fields.track = fields.track.substr(0, fields.track.find('/'));
  if (fields.year == "0") fields.year.clear();
  if (fields.track == "0") fields.track.clear();

  const std::string out = DataFile("temp.tag");
  std::ofstream f(out, std::ios::binary | std::ios::trunc);
  f << FormatTempTag(kMpeg4 ? TagFamily::Mpeg4 : TagFamily::Plain, stream, fields);
  f.close();
  if (!f) {
    std::fprintf(stderr, "cannot write %s\n", out.c_str());
    return kUnwritable;
  }
  return kDone;
}

// ----------------------------------------------------------------- writer

int Usage(const char* program) {
  if (kMpeg4)
    std::fprintf(
        stderr, "usage: %s -s TITLE -a ARTIST -A ALBUM -g GENRE -c COMMENT -y YEAR -t TRACK FILE\n",
        program);
  else
    std::fprintf(
        stderr, "usage: %s -t TITLE -a ARTIST -A ALBUM -g GENRE -c COMMENT -y YEAR -T TRACK FILE\n",
        program);
  return kUsage;
}

[[maybe_unused]] int Write(int argc, char** argv) {
  // Option letter -> property name.
  const std::map<std::string, const char*> options =
      kMpeg4 ? std::map<std::string, const char*>{{"-s", "TITLE"},      {"-a", "ARTIST"},
                                                  {"-A", "ALBUM"},      {"-g", "GENRE"},
                                                  {"-c", "COMMENT"},    {"-y", "DATE"},
                                                  {"-t", "TRACKNUMBER"}}
             : std::map<std::string, const char*>{
                   {"-t", "TITLE"},   {"-a", "ARTIST"}, {"-A", "ALBUM"},      {"-g", "GENRE"},
                   {"-c", "COMMENT"}, {"-y", "DATE"},   {"-T", "TRACKNUMBER"}};
  if (argc < 2 || argc % 2 != 0) return Usage(argv[0]);
  std::map<std::string, std::string> values;
  for (int i = 1; i + 1 < argc; i += 2) {
    const auto it = options.find(argv[i]);
    if (it == options.end()) return Usage(argv[0]);
    values[it->second] = argv[i + 1];
  }
  // The MPEG-4 family passes an empty year or track as 0.
  for (const char* number : {"DATE", "TRACKNUMBER"})
    if (kMpeg4 && values.count(number) && values[number] == "0") values[number].clear();

  const std::string path = argv[argc - 1];
  const std::string ext = LowerExtension(path);
  if (!OpenFile(path, ext, true)) {
    std::fprintf(stderr, "cannot read the tag of %s\n", path.c_str());
    return kUnreadable;
  }
  FileRewrite rewrite(path);
  std::string error;
  if (!rewrite.Begin(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kUnwritable;
  }
  {
    const std::unique_ptr<TagLib::File> file = OpenFile(rewrite.CopyPath(), ext, false);
    if (!file) {
      std::fprintf(stderr, "cannot read the tag of %s\n", path.c_str());
      return kUnreadable;
    }
    auto apply = [&](TagLib::Tag* tag) {
      TagLib::PropertyMap props = tag->properties();
      for (const auto& [key, value] : values) {
        if (value.empty())
          props.erase(key);
        else
          props.replace(key, TagLib::StringList(Utf8(value)));
      }
      tag->setProperties(props);
    };
    if (dynamic_cast<TagLib::TrueAudio::File*>(file.get())) {
      const ApeSpan span = FindApeTag(*file);
      TagLib::APE::Tag ape;
      std::unique_ptr<TagLib::APE::Tag> old;
      if (span.footer >= 0) old = std::make_unique<TagLib::APE::Tag>(file.get(), span.footer);
      TagLib::APE::Tag* tag = old ? old.get() : &ape;
      apply(tag);
      file->insert(tag->render(), static_cast<unsigned long>(span.start),
                   static_cast<unsigned long>(span.end - span.start));
      if (file->readOnly() || !file->isValid()) {
        std::fprintf(stderr, "cannot write the tag of %s\n", path.c_str());
        return kUnwritable;
      }
    } else {
      for (TagLib::Tag* tag : TagsToWrite(file.get()))
        if (tag) apply(tag);
      if (!Save(file.get())) {
        std::fprintf(stderr, "cannot write the tag of %s\n", path.c_str());
        return kUnwritable;
      }
    }
  }
  if (!rewrite.Commit(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kUnwritable;
  }
  return kDone;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef TAG_PROGRAM_WRITER
  return Write(argc, argv);
#else
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return kUsage;
  }
  return Read(argv[1]);
#endif
}
