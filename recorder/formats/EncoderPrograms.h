#pragma once
// The outside encoder programs the format choice depends on: the checks of
// the user-customised encoder and whether the Nero and CT AAC encoders are
// in the "External" folder under the program folder.
// Thread affinity: any thread (file-system look-ups only).

#include <string>

#include "config/Settings.h"

namespace tarvexa {

inline constexpr char kCustomEncoderNotFound[] = "User-Customized External Encoder Not Found!";
inline constexpr char kCustomParametersEmpty[] =
    "Null User-Customized External Encoder Parameters!";
inline constexpr char kCustomExtensionEmpty[] =
    "User-Customized Format File Extension Not Specified!";

// The three checks of a user-customised encoder, in order: the program must
// be an existing file, the parameters and the extension must not be empty.
// Returns "" when they pass, else the message of the first that fails.
std::string CheckCustomEncoder(const std::string& encoder, const std::string& parameter,
                               const std::string& fileExt);
inline std::string CheckCustomEncoder(const Settings::CustomSection& c) {
  return CheckCustomEncoder(c.Encoder, c.Parameter, c.FileExt);
}

// ProgramFolder() + "/External": the encoder programs that come with the
// recorder.
std::string ExternalEncoderFolder();

// Where the user puts outside encoder programs of his own: the program
// folder's "External" folder, except for an installed recorder, whose
// program folder is shared and not the user's to change: then DataFolder()
// + "/External".
std::string UserExternalEncoderFolder();

// The outside encoder program NAME: the user's own in
// UserExternalEncoderFolder() when there is one, else the one in
// ExternalEncoderFolder() (which may not exist).
std::string ExternalEncoderProgram(const std::string& name);

// The Nero AAC encoder program (AAC containers 4 to 7).
bool NeroAacEncoderPresent();
// The CT AAC+ encoder program (AAC container 8).
bool CtAacEncoderPresent();

inline constexpr char kNeroAacNotFound[] =
    "Warning: Nero AAC Encoder NOT Found!  Please Refer to FAQ Section of Help to Get Nero AAC "
    "Encoder.";
inline constexpr char kCtAacNotFound[] =
    "Warning: CT AAC+ Encoder NOT Found!  Please Refer to FAQ Section of Help to Get CT AAC Plus "
    "Encoder.";
inline constexpr char kRawAacQuestion[] =
    "Raw AAC Format is NOT Recommended since it is NOT Seekable and Taggable.\n"
    "                        Do You Wish to Continue?";

}  // namespace tarvexa
