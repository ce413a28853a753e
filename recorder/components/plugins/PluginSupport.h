#pragma once
// What every component library shares: the name check of the entry point and
// the bookkeeping of TarvexaComponent.

#include <cstring>

#include "components/Component.h"

namespace tarvexa::plugin {

template <class Derived>
class ComponentBase : public TarvexaComponent {
 public:
  const char* Name() const override { return Derived::kName; }
  const char* Version() const override { return Derived::kVersion; }
  int Abi() const override { return kComponentAbi; }
  void Release() override { delete static_cast<Derived*>(this); }
};

}  // namespace tarvexa::plugin

// Exports the entry point for one component class. A library copied or
// renamed to stand for another component refuses to create it.
#define TARVEXA_EXPORT_COMPONENT(Class)                                        \
  extern "C" __attribute__((visibility("default"))) tarvexa::TarvexaComponent* \
  tarvexa_create_component(const char* name) {                                 \
    if (!name || std::strcmp(name, Class::kName) != 0) return nullptr;         \
    try {                                                                      \
      return new Class();                                                      \
    } catch (...) {                                                            \
      return nullptr;                                                          \
    }                                                                          \
  }
