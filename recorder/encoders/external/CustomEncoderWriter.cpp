#include "encoders/external/CustomEncoderWriter.h"

#include "formats/EncoderPrograms.h"
#include "platform/ShellWords.h"

namespace tarvexa {

namespace {

// Each "%of%" of a word replaced by the path.
std::string WithOutputPath(std::string word, const std::string& path, bool* used) {
  const std::string token = kOutputFileToken;
  for (size_t at = word.find(token); at != std::string::npos;
       at = word.find(token, at + path.size())) {
    word.replace(at, token.size(), path);
    *used = true;
  }
  return word;
}

}  // namespace

ExternalCommand CustomEncoderCommand(const Settings::CustomSection& c, const std::string& path) {
  ExternalCommand cmd;
  cmd.wavHeader = c.Input != 1;
  cmd.dataLength = kUnknownDataLength;
  cmd.announce = true;
  cmd.detailLogs = c.Detail != 0;
  const ShellWords split = SplitShellWords(c.Parameter);
  if (!split.ok) {
    cmd.error =
        "Error: the User-Customized encoder parameters cannot be read: " + split.error + ".";
    return cmd;
  }
  if (c.Encoder.empty()) {
    cmd.error = std::string("Error: ") + kCustomEncoderNotFound;
    return cmd;
  }
  bool used = false;
  cmd.argv.push_back(c.Encoder);
  for (const std::string& word : split.words) cmd.argv.push_back(WithOutputPath(word, path, &used));
  // Without "%of%" the program writes wherever its parameters say.
  cmd.expectFile = used;
  return cmd;
}

FormatText DescribeCustomEncoder(const Settings& s) {
  return {"User-Customized Format: " + s.CUSTOM.FileExt,
          "Set audio format: User-Customized format " + s.CUSTOM.FileExt + "."};
}

std::string PrepareCustomEncoder(const Settings& s) {
  if (s.CUSTOM.Parameter.empty()) return kCustomParametersEmpty;
  if (s.CUSTOM.FileExt.empty()) return kCustomExtensionEmpty;
  const ShellWords split = SplitShellWords(s.CUSTOM.Parameter);
  if (!split.ok)
    return "Error: the User-Customized encoder parameters cannot be read: " + split.error + ".";
  return {};
}

}  // namespace tarvexa
