#include "platform/priority/RealtimeKit.h"

#include <systemd/sd-bus.h>

#include <cstring>

namespace tarvexa {

namespace {

constexpr const char* kService = "org.freedesktop.RealtimeKit1";
constexpr const char* kPath = "/org/freedesktop/RealtimeKit1";
constexpr const char* kInterface = "org.freedesktop.RealtimeKit1";
constexpr uint64_t kCallTimeoutUsec = 2'000'000;

std::string ErrorText(const sd_bus_error& e, int r) {
  if (sd_bus_error_is_set(&e)) {
    std::string text = e.name ? e.name : "";
    if (e.message) text += std::string(": ") + e.message;
    return text;
  }
  return std::strerror(r < 0 ? -r : r);
}

}  // namespace

RealtimeKit::RealtimeKit() {
  const int r = sd_bus_open_system(&bus_);
  if (r < 0) {
    bus_ = nullptr;
    error_ = std::string("no connection to the system bus (") + std::strerror(-r) + ")";
    return;
  }
  sd_bus_set_method_call_timeout(bus_, kCallTimeoutUsec);
}

RealtimeKit::~RealtimeKit() {
  if (bus_) sd_bus_flush_close_unref(bus_);
}

bool RealtimeKit::ReadLimits(Limits* limits) {
  if (!bus_) return false;
  Limits read = *limits;
  struct Property {
    const char* name;
    char type;
    void* value;
  } const properties[] = {
      {"MaxRealtimePriority", 'i', &read.maxRealtimePriority},
      {"MinNiceLevel", 'i', &read.minNiceLevel},
      {"RTTimeUSecMax", 'x', &read.rtTimeUSecMax},
  };
  for (const Property& p : properties) {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    const int r =
        sd_bus_get_property_trivial(bus_, kService, kPath, kInterface, p.name, &e, p.type, p.value);
    if (r < 0) {
      error_ = ErrorText(e, r);
      sd_bus_error_free(&e);
      return false;
    }
  }
  *limits = read;
  return true;
}

bool RealtimeKit::MakeThreadRealtime(pid_t tid, int priority) {
  if (!bus_) return false;
  sd_bus_error e = SD_BUS_ERROR_NULL;
  const int r =
      sd_bus_call_method(bus_, kService, kPath, kInterface, "MakeThreadRealtime", &e, nullptr, "tu",
                         static_cast<uint64_t>(tid), static_cast<uint32_t>(priority));
  if (r < 0) error_ = ErrorText(e, r);
  sd_bus_error_free(&e);
  return r >= 0;
}

bool RealtimeKit::MakeThreadHighPriority(pid_t tid, int nice) {
  if (!bus_) return false;
  sd_bus_error e = SD_BUS_ERROR_NULL;
  const int r =
      sd_bus_call_method(bus_, kService, kPath, kInterface, "MakeThreadHighPriority", &e, nullptr,
                         "ti", static_cast<uint64_t>(tid), static_cast<int32_t>(nice));
  if (r < 0) error_ = ErrorText(e, r);
  sd_bus_error_free(&e);
  return r >= 0;
}

}  // namespace tarvexa
