#pragma once
// The 148 genre names (the ID3v1 genres 0 to 79 and the common extended
// ones 80 to 147) that turn a numeric genre into text.
// Thread affinity: any thread.

#include <string>

namespace tarvexa {

inline constexpr int kGenreCount = 148;

// The name of genre `index`; "Other" outside 0 to 147.
std::string GenreName(int index);

}  // namespace tarvexa
