#pragma once
// The recorder's icons, drawn rather than shipped: the program icon in its
// idle, recording and paused looks, and the button icons.
// Thread affinity: the user-interface thread (needs a QGuiApplication).

#include <QtGui/QIcon>

namespace tarvexa::icons {

QIcon Program();    // idle
QIcon Recording();  // program icon with a red dot
QIcon Paused();     // program icon with a pause sign
QIcon Record();
QIcon Pause();
QIcon Stop();

}  // namespace tarvexa::icons
