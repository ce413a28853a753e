#pragma once
// Thread priorities on Linux: the five Windows-style levels map to nice
// values of the calling thread. Raising priority needs privileges; without
// them the request is ignored and the thread keeps its priority.

namespace tarvexa {

// level: -2 lowest, -1 below normal, 0 normal, +1 above normal, +2 highest.
// Returns false when the system refused.
bool SetCurrentThreadPriority(int level);

}  // namespace tarvexa
