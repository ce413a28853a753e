#pragma once
// The spin boxes of the option pages: right-aligned, committing their value
// when editing ends rather than on every keystroke.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QSpinBox>

namespace tarvexa {

inline QSpinBox* MakeSpinBox(int min, int max, QWidget* parent) {
  auto* s = new QSpinBox(parent);
  s->setRange(min, max);
  s->setAlignment(Qt::AlignRight);
  s->setKeyboardTracking(false);
  return s;
}

}  // namespace tarvexa
