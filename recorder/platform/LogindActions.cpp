#include "platform/LogindActions.h"

#include <systemd/sd-bus.h>

#include <cstring>
#include <memory>

namespace tarvexa {

namespace {

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr uint64_t kCallTimeoutUsec = 5'000'000;

struct BusCloser {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
  void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};

// "name: message" of a bus error, else the errno text.
std::string Failure(const std::string& what, sd_bus_error* e, int r) {
  std::string text = what + ": ";
  if (sd_bus_error_is_set(e)) {
    text += e->name ? e->name : "";
    if (e->message) text += std::string(": ") + e->message;
  } else {
    text += std::strerror(r < 0 ? -r : r);
  }
  sd_bus_error_free(e);
  return text;
}

}  // namespace

const char* LogindMethod(LogindAction action) {
  switch (action) {
    case LogindAction::Suspend: return "Suspend";
    case LogindAction::Hibernate: return "Hibernate";
    case LogindAction::Reboot: return "Reboot";
    case LogindAction::PowerOff: return "PowerOff";
  }
  return "";
}

bool RequestLogindAction(LogindAction action, std::string* error) {
  std::string ignored;
  std::string& why = error ? *error : ignored;
  const std::string method = LogindMethod(action);
  sd_bus* raw = nullptr;
  int r = sd_bus_open_system(&raw);
  if (r < 0) {
    why = std::string("no connection to the system bus (") + std::strerror(-r) + ")";
    return false;
  }
  const std::unique_ptr<sd_bus, BusCloser> bus(raw);
  sd_bus_set_method_call_timeout(bus.get(), kCallTimeoutUsec);

  sd_bus_error e = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  r = sd_bus_call_method(bus.get(), kService, kPath, kManager, ("Can" + method).c_str(), &e, &reply,
                         "");
  if (r < 0) {
    why = Failure("logind did not answer Can" + method, &e, r);
    return false;
  }
  const std::unique_ptr<sd_bus_message, MessageUnref> answer(reply);
  const char* can = nullptr;
  r = sd_bus_message_read(answer.get(), "s", &can);
  if (r < 0 || !can) {
    why = "logind's answer to Can" + method + " could not be read";
    return false;
  }
  if (std::strcmp(can, "no") == 0 || std::strcmp(can, "na") == 0) {
    why = "logind answers Can" + method + " with \"" + can + "\"";
    return false;
  }
  r = sd_bus_call_method(bus.get(), kService, kPath, kManager, method.c_str(), &e, nullptr, "b", 0);
  if (r < 0) {
    why = Failure("logind refused " + method, &e, r);
    return false;
  }
  return true;
}

}  // namespace tarvexa
