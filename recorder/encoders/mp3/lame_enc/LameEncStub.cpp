// Test double: a library named lame_enc.so that has beInitStream but none of
// the other entry points, so the recorder must refuse to bind it. Built only
// with the tests; never installed.
#include "LameEnc.h"

extern "C" __attribute__((visibility("default"))) tarvexa::BeErr beInitStream() {
  return tarvexa::kBeErrInvalidFormat;
}
