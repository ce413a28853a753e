#include "outputs/TagAccess.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "components/Component.h"
#include "outputs/ApeTags.h"
#include "outputs/ProgramRun.h"
#include "platform/Text.h"

namespace tarvexa {

namespace {

std::string LowerExtension(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  const size_t dot = name.find_last_of('.');
  std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

const char* ReaderName(TagRoute route) {
  return route == TagRoute::Plain ? "tagreader" : "Mpeg4tagreader";
}
const char* WriterName(TagRoute route) {
  return route == TagRoute::Plain ? "tagwriter" : "Mpeg4tagwriter";
}

// What a program printed, for the log: its last line.
std::string LastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const size_t nl = text.find_last_of('\n');
  return nl == std::string::npos ? text : text.substr(nl + 1);
}

std::string Failure(const ProgramRun& run) {
  std::string why = run.error;
  const std::string said = LastLine(run.output);
  if (!said.empty()) why += (why.empty() ? "" : ": ") + said;
  return why;
}

}  // namespace

TagRoute TagRouteFor(const std::string& path) {
  const std::string ext = LowerExtension(path);
  if (ext == "wma") return TagRoute::Wma;
  if (ext == "ape") return TagRoute::Ape;
  for (const char* plain : {"mp3", "ogg", "flac", "mpc", "wv", "tta"})
    if (ext == plain) return TagRoute::Plain;
  return TagRoute::Mpeg4;
}

std::vector<std::string> TagWriterArguments(TagRoute route, const std::string& programFolder,
                                            const TagFields& f, const std::string& path) {
  if (route == TagRoute::Plain) {
    return {programFolder + "/" + WriterName(route),
            "-t",
            f.title,
            "-a",
            f.artist,
            "-A",
            f.album,
            "-g",
            f.genre,
            "-c",
            f.comment,
            "-y",
            f.year,
            "-T",
            f.track,
            path};
  }
  return {programFolder + "/" + WriterName(route),
          "-s",
          f.title,
          "-a",
          f.artist,
          "-A",
          f.album,
          "-g",
          f.genre,
          "-c",
          f.comment,
          "-y",
          f.year.empty() ? "0" : f.year,
          "-t",
          f.track.empty() ? "0" : f.track,
          path};
}

TagAccess::TagAccess(WmaInfoRole* wma, ApeTagLibrary* ape, std::string programFolder,
                     std::string dataFolder)
    : wma_(wma),
      ape_(ape),
      programFolder_(std::move(programFolder)),
      dataFolder_(std::move(dataFolder)) {}

TagAccess::Outcome TagAccess::Load(const std::string& path) {
  const TagRoute route = TagRouteFor(path);
  if (route == TagRoute::Wma) return LoadWma(path);
  if (route == TagRoute::Ape) {
    Outcome out;
    if (!ape_) {
      out.error = "Monkey's Audio files cannot be read by this build";
      out.log.emplace_back(out.error + ".", 1);
      return out;
    }
    out.ok = ape_->Read(path, &out.sheet, &out.log);
    return out;
  }
  return LoadWithProgram(route, path);
}

TagAccess::Outcome TagAccess::LoadWma(const std::string& path) {
  Outcome out;
  if (!wma_ || !wma_->Open(path.c_str())) {
    out.error = wma_ ? wma_->ErrorText() : "the WMA information component is not there";
    out.log.emplace_back("Cannot read the WMA file " + path + ": " + out.error, 1);
    return out;
  }
  const int s = wma_->DurationSeconds();
  out.sheet.duration = Printf("Duration: %02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
  out.sheet.bitrate = Printf("Bitrate: %d kbps", wma_->BitrateKbps());
  out.sheet.samplerate = Printf("Samplerate: %d Hz", wma_->SampleRate());
  out.sheet.channel = Printf("Channel: %d", wma_->Channels());
  TagFields& f = out.sheet.fields;
  f.title = wma_->Attribute(WmaInfoRole::kTitle);
  f.artist = wma_->Attribute(WmaInfoRole::kAuthor);
  f.album = wma_->Attribute(WmaInfoRole::kAlbum);
  f.genre = wma_->Attribute(WmaInfoRole::kGenre);
  f.year = wma_->Attribute(WmaInfoRole::kYear);
  f.track = wma_->Attribute(WmaInfoRole::kTrack);
  f.comment = wma_->Attribute(WmaInfoRole::kDescription);
  out.ok = true;
  return out;
}

TagAccess::Outcome TagAccess::LoadWithProgram(TagRoute route, const std::string& path) {
  Outcome out;
  const std::string tempTag = TempTagPath();
  std::remove(tempTag.c_str());
  const ProgramRun run =
      RunProgram({programFolder_ + "/" + ReaderName(route), path}, {{"TARVEXA_HOME", dataFolder_}});
  std::ifstream in(tempTag, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  in.close();
  std::remove(tempTag.c_str());
  if (!run.Succeeded() || text.str().empty()) {
    out.error = run.Succeeded() ? std::string(ReaderName(route)) + " wrote nothing" : Failure(run);
    out.log.emplace_back("Cannot read the tag of " + path + ": " + out.error, 1);
    return out;
  }
  const TagFamily family = route == TagRoute::Plain ? TagFamily::Plain : TagFamily::Mpeg4;
  out.sheet = ParseTempTag(family, text.str());
  if (LowerExtension(path) == "wv") {
    out.sheet.bitrate = TagSheet().bitrate;
    out.sheet.duration = TagSheet().duration;
  }
  out.ok = true;
  return out;
}

TagAccess::Outcome TagAccess::Save(const std::string& path, const TagFields& f) {
  Outcome out;
  const TagRoute route = TagRouteFor(path);
  switch (route) {
    case TagRoute::Wma: {
      if (!wma_ || !wma_->Open(path.c_str())) {
        out.error = wma_ ? wma_->ErrorText() : "the WMA information component is not there";
        return out;
      }
      const std::pair<const char*, const std::string*> values[] = {
          {WmaInfoRole::kTitle, &f.title},         {WmaInfoRole::kAuthor, &f.artist},
          {WmaInfoRole::kAlbum, &f.album},         {WmaInfoRole::kGenre, &f.genre},
          {WmaInfoRole::kDescription, &f.comment}, {WmaInfoRole::kYear, &f.year},
          {WmaInfoRole::kTrack, &f.track}};
      for (const auto& [name, value] : values) wma_->SetAttribute(name, value->c_str());
      out.ok = wma_->Save();
      if (!out.ok) out.error = wma_->ErrorText();
      wma_->Close();
      return out;
    }
    case TagRoute::Ape:
      if (!ape_) {
        out.error = "Monkey's Audio files cannot be tagged by this build";
        return out;
      }
      out.ok = ape_->Write(path, f, &out.error);
      return out;
    case TagRoute::Plain:
    case TagRoute::Mpeg4: {
      const ProgramRun run = RunProgram(TagWriterArguments(route, programFolder_, f, path),
                                        {{"TARVEXA_HOME", dataFolder_}});
      out.ok = run.Succeeded();
      if (!out.ok) out.error = Failure(run);
      return out;
    }
  }
  return out;
}

}  // namespace tarvexa
