#pragma once
// Names the split clips of a recording from the naming rule: "%of%" the
// title of the first file, "%sc%" the clip number in the count width, "%ts%"
// a timestamp of the chosen type. Replacements run in that order.
// Thread affinity: pure functions; any thread.

#include <ctime>
#include <string>

namespace tarvexa {

inline constexpr const char* kDefaultNamingRule = "%of%(Splitted Clip %sc%)";

// The option texts of the timestamp list, index 0..5.
const char* TimestampTypeText(int type);

// The timestamp for "%ts%" at time t; "" for type 0. Sets *known to false for
// a type outside 0..5 (the token is then left as it is).
std::string FormatTimestamp(int type, std::time_t t, bool* known = nullptr);

// The clip number zero-padded to width digits; "" for a width outside 1..10.
std::string FormatClipNumber(int clipNumber, int width);

// The file name (no folder, no extension) of a split clip.
std::string ExpandNamingRule(const std::string& rule, const std::string& title, int clipNumber,
                             int width, int timestampType, std::time_t now);

// Checks a rule as the naming-rule dialog does. Returns "" when it is
// acceptable, else the message to show.
std::string CheckNamingRule(const std::string& rule);

}  // namespace tarvexa
