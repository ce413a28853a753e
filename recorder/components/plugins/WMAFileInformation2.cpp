// WMA tags and stream properties for the metadata page, on TagLib's ASF
// support. Opening reads everything at once and closes the file; saving
// edits a copy and renames it over the file, so a failure never damages
// the recording.
#include <taglib/asffile.h>
#include <taglib/asftag.h>

#include <map>
#include <string>

#include "PluginSupport.h"
#include "outputs/FileRewrite.h"

namespace {

using tarvexa::WmaInfoRole;

TagLib::String Wide(const std::string& utf8) { return TagLib::String(utf8, TagLib::String::UTF8); }

class WMAFileInformation2 final : public tarvexa::plugin::ComponentBase<WMAFileInformation2>,
                                  public WmaInfoRole {
 public:
  static constexpr const char* kName = "WMAFileInformation2";
  static constexpr const char* kVersion = "2.1.0";

  void* Query(const char* role) override {
    if (std::strcmp(role, tarvexa::kRoleWmaInfo) == 0) return static_cast<WmaInfoRole*>(this);
    return nullptr;
  }

  bool Open(const char* path) override {
    Close();
    TagLib::ASF::File file(path, true, TagLib::AudioProperties::Accurate);
    if (!file.isValid() || !file.audioProperties()) {
      error_ = std::string("not a readable WMA file: ") + path;
      return false;
    }
    const TagLib::ASF::Properties* p = file.audioProperties();
    seconds_ = p->lengthInSeconds();
    kbps_ = p->bitrate();
    rate_ = p->sampleRate();
    channels_ = p->channels();
    if (const TagLib::ASF::Tag* tag = file.tag()) {
      values_[kTitle] = tag->title().to8Bit(true);
      values_[kAuthor] = tag->artist().to8Bit(true);
      values_[kDescription] = tag->comment().to8Bit(true);
      for (const auto& [name, list] : tag->attributeListMap()) {
        if (list.isEmpty()) continue;
        const TagLib::ASF::Attribute& a = list.front();
        std::string value;
        switch (a.type()) {
          case TagLib::ASF::Attribute::UnicodeType: value = a.toString().to8Bit(true); break;
          case TagLib::ASF::Attribute::DWordType: value = std::to_string(a.toUInt()); break;
          case TagLib::ASF::Attribute::QWordType: value = std::to_string(a.toULongLong()); break;
          case TagLib::ASF::Attribute::WordType: value = std::to_string(a.toUShort()); break;
          default: continue;  // pictures and binary data are not shown
        }
        values_[name.to8Bit(true)] = value;
      }
    }
    path_ = path;
    return true;
  }

  void Close() override {
    path_.clear();
    values_.clear();
    changed_.clear();
    seconds_ = kbps_ = rate_ = channels_ = 0;
  }

  int DurationSeconds() const override { return seconds_; }
  int BitrateKbps() const override { return kbps_; }
  int SampleRate() const override { return rate_; }
  int Channels() const override { return channels_; }

  const char* Attribute(const char* name) override {
    auto it = values_.find(name);
    scratch_ = it == values_.end() ? std::string() : it->second;
    return scratch_.c_str();
  }

  void SetAttribute(const char* name, const char* value) override {
    values_[name] = value;
    changed_[name] = value;
  }

  bool Save() override {
    if (path_.empty()) {
      error_ = "no file is open";
      return false;
    }
    tarvexa::FileRewrite rewrite(path_);
    if (!rewrite.Begin(&error_)) return false;
    {
      TagLib::ASF::File file(rewrite.CopyPath().c_str(), false);
      if (!file.isValid() || !file.tag()) {
        error_ = "not a writable WMA file: " + path_;
        return false;
      }
      TagLib::ASF::Tag* tag = file.tag();
      for (const auto& [name, value] : changed_) {
        if (name == kTitle)
          tag->setTitle(Wide(value));
        else if (name == kAuthor)
          tag->setArtist(Wide(value));
        else if (name == kDescription)
          tag->setComment(Wide(value));
        else if (value.empty())
          tag->removeItem(name.c_str());
        else
          tag->setAttribute(name.c_str(), TagLib::ASF::Attribute(Wide(value)));
      }
      if (!file.save()) {
        error_ = "cannot write the tag of " + path_;
        return false;
      }
    }
    if (!rewrite.Commit(&error_)) return false;
    changed_.clear();
    return true;
  }

  const char* ErrorText() const override { return error_.c_str(); }

 private:
  std::string path_;
  std::map<std::string, std::string> values_;
  std::map<std::string, std::string> changed_;
  std::string scratch_;
  std::string error_;
  int seconds_ = 0, kbps_ = 0, rate_ = 0, channels_ = 0;
};

}  // namespace

TARVEXA_EXPORT_COMPONENT(WMAFileInformation2)
