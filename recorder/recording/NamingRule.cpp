#include "recording/NamingRule.h"

#include <cstdio>

namespace tarvexa {

namespace {
void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
  size_t pos = 0;
  while ((pos = s.find(from, pos)) != std::string::npos) {
    s.replace(pos, from.size(), to);
    pos += to.size();
  }
}

constexpr const char* kTypeTexts[] = {" None",
                                      " mm-ss",
                                      " hh-mm-ss",
                                      " MM DD hh-mm-ss",
                                      " YY MM DD hh-mm-ss",
                                      " YYYY MM DD hh-mm-ss "};
constexpr const char* kTypeFormats[] = {
    "", "%M-%S", "%H-%M-%S", "%b %d %H-%M-%S", "%y %b %d %H-%M-%S", "%Y %b %d %H-%M-%S"};
}  // namespace

const char* TimestampTypeText(int type) { return type >= 0 && type <= 5 ? kTypeTexts[type] : ""; }

std::string FormatTimestamp(int type, std::time_t t, bool* known) {
  if (known) *known = type >= 0 && type <= 5;
  if (type <= 0 || type > 5) return {};
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[80];
  size_t n = std::strftime(buf, sizeof buf, kTypeFormats[type], &tm);
  return std::string(buf, n);
}

std::string FormatClipNumber(int clipNumber, int width) {
  if (width < 1 || width > 10) return {};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*d", width, clipNumber);
  return buf;
}

std::string ExpandNamingRule(const std::string& rule, const std::string& title, int clipNumber,
                             int width, int timestampType, std::time_t now) {
  std::string name = rule;
  ReplaceAll(name, "%of%", title);
  ReplaceAll(name, "%sc%", FormatClipNumber(clipNumber, width));
  bool known = false;
  std::string ts = FormatTimestamp(timestampType, now, &known);
  if (known) ReplaceAll(name, "%ts%", ts);
  return name;
}

std::string CheckNamingRule(const std::string& rule) {
  if (rule.find("%sc%") == std::string::npos) return "You MUST Include %sc% in The Naming Rule";
  for (char c : std::string("\\/\"<>|*:?")) {
    if (rule.find(c) != std::string::npos) return "Invalid Character(s) Found!";
  }
  return {};
}

}  // namespace tarvexa
