#include "formats/FormatNames.h"

#include <algorithm>
#include <cctype>

#include "formats/FormatCatalogue.h"
#include "platform/Paths.h"

namespace tarvexa {

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

// The extension of a file name, with its dot, lower case; "" for none.
std::string ExtensionOf(const std::string& path) {
  const std::string name = FileNameOf(path);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return {};
  return Lower(name.substr(dot));
}

// The settings of one choice of every extension selector: `choice` in each.
Settings WithExtensionChoice(int choice) {
  Settings s;
  s.AIFF.Ext = static_cast<int16_t>(choice);
  s.AAC.ContainerFormat = static_cast<int16_t>(choice);
  s.MPC.Ext = static_cast<int16_t>(choice);
  for (auto& e : s.OTHER.Ext) e = static_cast<int16_t>(choice);
  s.FLAC.Native = choice == 0;
  return s;
}

// Enough choices for the longest extension list (AAC's containers 0..8).
constexpr int kChoices = 9;

}  // namespace

int FormatByName(const std::string& name) {
  if (name.empty()) return 0;
  if (std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); })) {
    const int code = name.size() <= 2 ? std::stoi(name) : 0;
    return code >= kFirstFormat && code <= kLastFormat ? code : 0;
  }
  const std::string wanted = Lower(name);
  for (int f = kFirstFormat; f <= kLastFormat; ++f)
    if (Lower(FormatTag(f)) == wanted) return f;
  return 0;
}

std::vector<std::string> ExtensionsOf(int format) {
  std::vector<std::string> out;
  if (format < kFirstFormat || format >= kFormatUserCustomized) return out;
  for (int choice = 0; choice < kChoices; ++choice) {
    const std::string ext = Lower(FileExtensionFor(format, WithExtensionChoice(choice)));
    if (!ext.empty() && std::find(out.begin(), out.end(), ext) == out.end()) out.push_back(ext);
  }
  return out;
}

std::vector<int> FormatsForExtension(const std::string& path) {
  const std::string ext = ExtensionOf(path);
  std::vector<int> out;
  if (ext.empty()) return out;
  for (int f = kFirstFormat; f < kFormatUserCustomized; ++f) {
    const std::vector<std::string> all = ExtensionsOf(f);
    if (std::find(all.begin(), all.end(), ext) != all.end()) out.push_back(f);
  }
  return out;
}

bool ChooseExtension(int format, const std::string& path, Settings& s) {
  const std::string ext = ExtensionOf(path);
  for (int choice = 0; choice < kChoices; ++choice) {
    const Settings variant = WithExtensionChoice(choice);
    if (Lower(FileExtensionFor(format, variant)) != ext) continue;
    switch (format) {
      case kFormatAIFF: s.AIFF.Ext = variant.AIFF.Ext; break;
      case kFormatAAC: s.AAC.ContainerFormat = variant.AAC.ContainerFormat; break;
      case kFormatMPC: s.MPC.Ext = variant.MPC.Ext; break;
      case kFormatFLAC: s.FLAC.Native = variant.FLAC.Native; break;
      default:
        if (format >= kFormatAU && format <= kFormatSD2)
          s.OTHER.Ext[static_cast<size_t>(format - kFormatAU)] = static_cast<int16_t>(choice);
        break;
    }
    return true;
  }
  return false;
}

}  // namespace tarvexa
