#pragma once
// The user-customised encoder: any console program the user names
// (CUSTOM.Encoder), started for each output file with the user's parameters
// (CUSTOM.Parameter) and fed the recording on its standard input, with or
// without the WAV header (CUSTOM.Input 0 or 1).
// Thread affinity: the writer runs on the encoder thread; the free
// functions are pure over a Settings value (any thread).

#include <string>

#include "encoders/external/ExternalWriter.h"
#include "formats/FormatFamily.h"

namespace tarvexa {

// The token in the parameters that stands for the output path.
inline constexpr char kOutputFileToken[] = "%of%";

// The input type list of the page, by CUSTOM.Input.
inline constexpr const char* kCustomInputTexts[] = {" Stdin With Wav Header ",
                                                    " Stdin Without Wav Header "};

// The command for one output file: the program, then the words of the
// parameters split as a shell splits them (quotes honoured, nothing
// expanded, nothing run), each "%of%" replaced by the output path, which
// thus stays one argument (or part of one) whatever characters it holds.
ExternalCommand CustomEncoderCommand(const Settings::CustomSection& c, const std::string& path);

class CustomEncoderWriter final : public ExternalClipWriter {
 public:
  explicit CustomEncoderWriter(const Settings& s) : ExternalClipWriter(s) {}
  ExternalCommand CommandFor(const std::string& path) const override {
    return CustomEncoderCommand(settings().CUSTOM, path);
  }
};

// The format label and the log line of User-Customized.
FormatText DescribeCustomEncoder(const Settings& s);
// Refuses empty parameters, an empty extension and parameters that cannot
// be split into words. Whether the program starts shows when the first
// file starts (an error of the recording then).
std::string PrepareCustomEncoder(const Settings& s);

}  // namespace tarvexa
