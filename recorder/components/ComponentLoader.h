#pragma once
// Creates a component by name: looks the name up in the component registry
// (ComponentRegistry.h), loads the library registered for it, asks its entry
// point for the component and checks what it got. The component folder, which
// holds the installed components and their registry, is $TARVEXA_COMPONENT_DIR
// when set, else "components" beside the executable.
// Thread affinity: any thread (the registry is read afresh, nothing is
// shared); a handle and its component are used by one thread at a time.

#include <memory>
#include <string>

#include "components/Component.h"

namespace tarvexa {

// The folder of the installed components and their registry.
std::string ComponentFolder();

// One created component with its library. Releasing the component comes
// before closing the library that holds its code.
class ComponentHandle {
 public:
  ComponentHandle() = default;
  ~ComponentHandle();
  ComponentHandle(const ComponentHandle&) = delete;
  ComponentHandle& operator=(const ComponentHandle&) = delete;
  ComponentHandle(ComponentHandle&& other) noexcept;
  ComponentHandle& operator=(ComponentHandle&& other) noexcept;

  // Loads and creates the component registered as `name` (the user's
  // registry first, then the one in `folder`); on failure returns false with
  // the reason in *error and holds nothing.
  bool Create(const std::string& name, const std::string& folder, std::string* error);
  void Reset();

  explicit operator bool() const { return component_ != nullptr; }
  TarvexaComponent* get() const { return component_; }
  // The role interface, nullptr when there is no component or it does not
  // play the role.
  template <class Role>
  Role* As(const char* role) const {
    return component_ ? static_cast<Role*>(component_->Query(role)) : nullptr;
  }

 private:
  void* library_ = nullptr;
  TarvexaComponent* component_ = nullptr;
};

}  // namespace tarvexa
