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

bool NeroAacEncoderPresent() { return IsFile(ExternalEncoderFolder() + "/neroAacEnc"); }

bool CtAacEncoderPresent() { return IsFile(ExternalEncoderFolder() + "/enc_aacplus"); }

}  // namespace tarvexa
