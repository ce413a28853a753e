#include "formats/EncoderPrograms.h"

#include <sys/stat.h>

#include "platform/Paths.h"

namespace tarvexa {

namespace {
bool IsFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

std::string CheckCustomEncoder(const std::string& encoder, const std::string& parameter,
                               const std::string& fileExt) {
  if (!IsFile(encoder)) return kCustomEncoderNotFound;
  if (parameter.empty()) return kCustomParametersEmpty;
  if (fileExt.empty()) return kCustomExtensionEmpty;
  return {};
}

std::string ExternalEncoderFolder() { return ProgramFolder() + "/External"; }

std::string UserExternalEncoderFolder() {
  if (!IsInstalledProgramFolder(ProgramFolder())) return ExternalEncoderFolder();
  return DataFolder() + "/External";
}

std::string ExternalEncoderProgram(const std::string& name) {
  const std::string own = UserExternalEncoderFolder() + "/" + name;
  if (IsFile(own)) return own;
  return ExternalEncoderFolder() + "/" + name;
}

bool NeroAacEncoderPresent() { return IsFile(ExternalEncoderProgram("neroAacEnc")); }

bool CtAacEncoderPresent() { return IsFile(ExternalEncoderProgram("enc_aacplus")); }

}  // namespace tarvexa
