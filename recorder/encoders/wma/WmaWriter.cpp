#include "encoders/wma/WmaWriter.h"

#include <unistd.h>

#include "encoders/wma/WmaProfiles.h"

namespace tarvexa {

namespace {

// A fresh component instance with the profiles in use and the profile
// selected; nullptr with the reason in *error.
WmaFileRole* Bind(ComponentHandle& handle, int profile, std::string* error) {
  std::string why;
  if (!handle.Create(kWmaComponentName, ComponentFolder(), &why)) {
    *error = std::string("The WMA component ") + kWmaComponentName + " could not be loaded: " + why;
    return nullptr;
  }
  WmaFileRole* wma = handle.As<WmaFileRole>(kRoleWmaFile);
  if (!wma) {
    *error = std::string("The WMA component ") + kWmaComponentName + " cannot write WMA files.";
    handle.Reset();
    return nullptr;
  }
  // A profile file that cannot be read leaves the built-in profiles, as at
  // start-up, where the window reports it.
  const std::string file = WmaProfileFile();
  if (access(file.c_str(), F_OK) == 0) wma->LoadProfileFile(file.c_str());
  if (!wma->SelectProfile(profile)) {
    *error = wma->LastError();
    handle.Reset();
    return nullptr;
  }
  return wma;
}

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

WmaWriter::WmaWriter(const Settings& s) : settings_(s) {}

WmaWriter::~WmaWriter() {
  // A writer given up without Close still leaves a complete file.
  if (open_) wma_->CloseOutput();
}

std::string WmaWriter::Open(const std::string& path) {
  if (open_) wma_->CloseOutput();
  open_ = false;
  component_.Reset();
  error_.clear();
  wma_ = Bind(component_, settings_.WMA.Profile, &error_);
  if (!wma_) return error_;
  if (!wma_->SetInputFormat(SampleRateOf(settings_), ChannelsOf(settings_)) ||
      !wma_->OpenOutput(path.c_str())) {
    error_ = wma_->LastError();
    wma_ = nullptr;
    component_.Reset();
    return error_;
  }
  open_ = true;
  return {};
}

bool WmaWriter::Write(const int16_t* samples, size_t frames) {
  if (!open_) {
    if (error_.empty()) error_ = "No WMA file is open.";
    return false;
  }
  if (wma_->WriteSamples(samples, frames * static_cast<size_t>(ChannelsOf(settings_)))) return true;
  error_ = wma_->LastError();
  return false;
}

bool WmaWriter::Close() {
  bool ok = true;
  if (open_) {
    ok = wma_->CloseOutput();
    if (!ok) error_ = wma_->LastError();
  }
  open_ = false;
  wma_ = nullptr;
  component_.Reset();
  return ok;
}

std::string WmaFormatLabel(const Settings& s) {
  const auto profiles = WmaProfilesInUse();
  if (const WmaProfile* p = profiles->Find(s.WMA.Profile)) return "WMA:  " + p->description;
  return "WMA:  unknown profile " + std::to_string(s.WMA.Profile);
}

RateChannelMatrix WmaAllowedPairs() {
  RateChannelMatrix m;
  for (auto& row : m.allowed) {
    for (size_t i = 0; i < row.size(); ++i) row[i] = SampleRateTable[i] <= 96000;
  }
  return m;
}

std::string PrepareWma(const Settings& s) {
  ComponentHandle handle;
  std::string error;
  WmaFileRole* wma = Bind(handle, s.WMA.Profile, &error);
  if (!wma) return error;
  const std::string why = wma->ProfileRefusal();
  if (why.empty()) return {};
  return "WMA profile " + std::to_string(s.WMA.Profile) + " (" +
         Trimmed(wma->GetProfileDescription()) + ") cannot be recorded. " + why;
}

}  // namespace tarvexa
