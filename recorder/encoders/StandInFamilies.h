#pragma once
// Stand-ins for the families whose writers are not built yet (WMA): each
// names its
// format, restricts rate and channels as the real encoder will, and has no
// writer, so choosing it works and recording with it says that the format
// is not available. A family's own descriptor takes the place of its
// stand-in in the table.
// Thread affinity: constants; see formats/FormatFamily.h.

#include "formats/FormatFamily.h"

namespace tarvexa {

// The stand-in of kFormatWMA.
const FormatFamily& StandInFamily(int format);

}  // namespace tarvexa
