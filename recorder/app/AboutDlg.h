#pragma once
// The About box: program name and version, the home page and support lines.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QDialog>

#include "platform/Version.h"

namespace tarvexa {

inline constexpr const char* kHomePage = "https://tarvexa.org/sound-recorder/";
inline constexpr const char* kSupportPage = "https://tarvexa.org/sound-recorder/support/";
inline constexpr const char* kSupportMail = "support@tarvexa.org";

class AboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDlg(QWidget* parent = nullptr);
};

}  // namespace tarvexa
